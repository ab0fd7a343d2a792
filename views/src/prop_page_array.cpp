#include "views/prop_page_array.h"

#include "ui_prop_page_array.h"

namespace kestrune::views {

CPropPageArray::CPropPageArray(NodeContext& context, const NodeRef& node)
    : CNodePage(context, node), ui_(std::make_unique<::Ui::CPropPageArray>()) {
  SetUpForm(*ui_);
}

CPropPageArray::~CPropPageArray() = default;

}  // namespace kestrune::views
