// CPropPageMyComputer: the computer and its operating system (the root node), from
// what was read at start-up; no request is sent.
#pragma once

#include <memory>

#include "views/node_page.h"

namespace Ui {
class CPropPageMyComputer;
}

namespace kestrune::views {

class CPropPageMyComputer final : public CNodePage {
  Q_OBJECT

 public:
  CPropPageMyComputer(NodeContext& context, const NodeRef& node);
  ~CPropPageMyComputer() override;

  bool OnSetActive() override;

 private:
  std::unique_ptr<::Ui::CPropPageMyComputer> ui_;
};

}  // namespace kestrune::views
