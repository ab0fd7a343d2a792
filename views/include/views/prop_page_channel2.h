// CPropPageChannel2: the link speed and port multiplier of a channel, when any
// adapter is extended.
#pragma once

#include <memory>

#include "views/node_page.h"

namespace Ui {
class CPropPageChannel2;
}

namespace kestrune::views {

class CPropPageChannel2 final : public CNodePage {
  Q_OBJECT

 public:
  CPropPageChannel2(NodeContext& context, const NodeRef& node);
  ~CPropPageChannel2() override;

  bool OnSetActive() override;

 private:
  std::unique_ptr<::Ui::CPropPageChannel2> ui_;
};

}  // namespace kestrune::views
