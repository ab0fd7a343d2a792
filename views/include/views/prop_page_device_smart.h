// CPropPageDeviceSmart: the SMART state of the selected device, its transfer mode after a restart
// and its write cache. A placeholder for now: its form holds the tab caption and template only.
#pragma once

#include <memory>

#include "views/node_page.h"

namespace Ui {
class CPropPageDeviceSmart;
}

namespace kestrune::views {

class CPropPageDeviceSmart final : public CNodePage {
  Q_OBJECT

 public:
  CPropPageDeviceSmart(NodeContext& context, const NodeRef& node);
  ~CPropPageDeviceSmart() override;

 private:
  std::unique_ptr<::Ui::CPropPageDeviceSmart> ui_;
};

}  // namespace kestrune::views
