// CPropPageArray: the description and rebuild rate of the selected set.
// A placeholder for now: its form holds the tab caption and template only.
#pragma once

#include <memory>

#include "views/node_page.h"

namespace Ui {
class CPropPageArray;
}

namespace kestrune::views {

class CPropPageArray final : public CNodePage {
  Q_OBJECT

 public:
  CPropPageArray(NodeContext& context, const NodeRef& node);
  ~CPropPageArray() override;

 private:
  std::unique_ptr<::Ui::CPropPageArray> ui_;
};

}  // namespace kestrune::views
