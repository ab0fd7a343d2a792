// CPropPageArrays: the RAID layer's version and conflict state of the adapter
// under "Sets", read again each time the page is shown.
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

  bool OnSetActive() override;

 private:
  std::unique_ptr<::Ui::CPropPageArrays> ui_;
};

}  // namespace kestrune::views
