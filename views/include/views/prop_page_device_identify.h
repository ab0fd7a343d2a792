// CPropPageDeviceIdentify: the IDENTIFY data of the selected device or of the disk a set presents.
// A placeholder for now: its form holds the tab caption and template only.
#pragma once

#include <memory>

#include "views/node_page.h"

namespace Ui {
class CPropPageDeviceIdentify;
}

namespace kestrune::views {

class CPropPageDeviceIdentify final : public CNodePage {
  Q_OBJECT

 public:
  CPropPageDeviceIdentify(NodeContext& context, const NodeRef& node);
  ~CPropPageDeviceIdentify() override;

 private:
  std::unique_ptr<::Ui::CPropPageDeviceIdentify> ui_;
};

}  // namespace kestrune::views
