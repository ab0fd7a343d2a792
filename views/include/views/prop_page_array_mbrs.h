// CPropPageArrayMbrs: the members of the selected set.
// A placeholder for now: its form holds the tab caption and template only.
#pragma once

#include <memory>

#include "views/node_page.h"

namespace Ui {
class CPropPageArrayMbrs;
}

namespace kestrune::views {

class CPropPageArrayMbrs final : public CNodePage {
  Q_OBJECT

 public:
  CPropPageArrayMbrs(NodeContext& context, const NodeRef& node);
  ~CPropPageArrayMbrs() override;

 private:
  std::unique_ptr<::Ui::CPropPageArrayMbrs> ui_;
};

}  // namespace kestrune::views
