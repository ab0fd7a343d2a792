// CPropPageDevice: the identity of the selected device.
// A placeholder for now: its form holds the tab caption and template only.
#pragma once

#include <memory>

#include "views/node_page.h"

namespace Ui {
class CPropPageDevice;
}

namespace kestrune::views {

class CPropPageDevice final : public CNodePage {
  Q_OBJECT

 public:
  CPropPageDevice(NodeContext& context, const NodeRef& node);
  ~CPropPageDevice() override;

 private:
  std::unique_ptr<::Ui::CPropPageDevice> ui_;
};

}  // namespace kestrune::views
