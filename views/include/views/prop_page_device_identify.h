// CPropPageDeviceIdentify: the 256 IDENTIFY words of the selected device, or
// of the disk a selected set presents, eight to a row in hexadecimal.
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

  bool OnSetActive() override;
  bool OnKillActive() override;

 private:
  void Empty();

  std::unique_ptr<::Ui::CPropPageDeviceIdentify> ui_;
};

}  // namespace kestrune::views
