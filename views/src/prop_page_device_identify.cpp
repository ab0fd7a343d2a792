#include "views/prop_page_device_identify.h"

#include "ui_prop_page_device_identify.h"

namespace kestrune::views {

CPropPageDeviceIdentify::CPropPageDeviceIdentify(NodeContext& context, const NodeRef& node)
    : CNodePage(context, node), ui_(std::make_unique<::Ui::CPropPageDeviceIdentify>()) {
  SetUpForm(*ui_);
}

CPropPageDeviceIdentify::~CPropPageDeviceIdentify() = default;

}  // namespace kestrune::views
