// CPropPageChannel: the addresses of a channel while no adapter is extended, and
// Refresh: the channel's bus reset, then the adapter's branch read again.
#pragma once

#include <memory>

#include "views/node_page.h"

namespace Ui {
class CPropPageChannel;
}

namespace kestrune::views {

class CPropPageChannel final : public CNodePage {
  Q_OBJECT

 public:
  CPropPageChannel(NodeContext& context, const NodeRef& node);
  ~CPropPageChannel() override;

  bool OnSetActive() override;

 private:
  void OnRefresh();

  std::unique_ptr<::Ui::CPropPageChannel> ui_;
};

}  // namespace kestrune::views
