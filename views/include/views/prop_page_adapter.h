// CPropPageAdapter: the chip, driver and PCI facts of the selected adapter, read
// again from the driver each time the page is shown.
#pragma once

#include <memory>

#include "views/node_page.h"

namespace Ui {
class CPropPageAdapter;
}

namespace kestrune::views {

class CPropPageAdapter final : public CNodePage {
  Q_OBJECT

 public:
  CPropPageAdapter(NodeContext& context, const NodeRef& node);
  ~CPropPageAdapter() override;

  bool OnSetActive() override;

 private:
  std::unique_ptr<::Ui::CPropPageAdapter> ui_;
};

}  // namespace kestrune::views
