#include "views/prop_page_array_smart.h"

#include "ui_prop_page_array_smart.h"

namespace kestrune::views {

CPropPageArraySmart::CPropPageArraySmart(NodeContext& context, const NodeRef& node)
    : CNodePage(context, node), ui_(std::make_unique<::Ui::CPropPageArraySmart>()) {
  SetUpForm(*ui_);
}

CPropPageArraySmart::~CPropPageArraySmart() = default;

}  // namespace kestrune::views
