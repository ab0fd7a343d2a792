// CPropPageArrays: the RAID layer's version and conflict state of the adapter under "Sets".
// A placeholder for now: its form holds the tab caption and template only.
#pragma once

#include <memory>

#include "views/node_page.h"

namespace Ui {
class CPropPageArrays;
}

namespace kestrune::views {

class CPropPageArrays final : public CNodePage {
  Q_OBJECT

 public:
  CPropPageArrays(NodeContext& context, const NodeRef& node);
  ~CPropPageArrays() override;

 private:
  std::unique_ptr<::Ui::CPropPageArrays> ui_;
};

}  // namespace kestrune::views
