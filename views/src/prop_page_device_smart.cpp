#include "views/prop_page_device_smart.h"

#include "ui_prop_page_device_smart.h"

namespace kestrune::views {

CPropPageDeviceSmart::CPropPageDeviceSmart(NodeContext& context, const NodeRef& node)
    : CNodePage(context, node), ui_(std::make_unique<::Ui::CPropPageDeviceSmart>()) {
  SetUpForm(*ui_);
}

CPropPageDeviceSmart::~CPropPageDeviceSmart() = default;

}  // namespace kestrune::views
