// CPropPageDevice: the identity of the selected device, as the model holds it.
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

  bool OnSetActive() override;

 private:
  std::unique_ptr<::Ui::CPropPageDevice> ui_;
};

}  // namespace kestrune::views
