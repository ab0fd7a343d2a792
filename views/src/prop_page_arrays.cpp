#include "views/prop_page_arrays.h"

#include "ui_prop_page_arrays.h"

namespace kestrune::views {

CPropPageArrays::CPropPageArrays(NodeContext& context, const NodeRef& node)
    : CNodePage(context, node), ui_(std::make_unique<::Ui::CPropPageArrays>()) {
  SetUpForm(*ui_);
}

CPropPageArrays::~CPropPageArrays() = default;

}  // namespace kestrune::views
