#include "views/prop_page_device.h"

#include "ui_prop_page_device.h"

namespace kestrune::views {

CPropPageDevice::CPropPageDevice(NodeContext& context, const NodeRef& node)
    : CNodePage(context, node), ui_(std::make_unique<::Ui::CPropPageDevice>()) {
  SetUpForm(*ui_);
}

CPropPageDevice::~CPropPageDevice() = default;

}  // namespace kestrune::views
