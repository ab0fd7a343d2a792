#include "views/prop_page_array_mbrs.h"

#include "ui_prop_page_array_mbrs.h"

namespace kestrune::views {

CPropPageArrayMbrs::CPropPageArrayMbrs(NodeContext& context, const NodeRef& node)
    : CNodePage(context, node), ui_(std::make_unique<::Ui::CPropPageArrayMbrs>()) {
  SetUpForm(*ui_);
}

CPropPageArrayMbrs::~CPropPageArrayMbrs() = default;

}  // namespace kestrune::views
