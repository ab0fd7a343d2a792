#include "views/prop_page_channel.h"

#include <QLabel>
#include <QPushButton>

#include "platform/text.h"
#include "resources/resource_ids.h"
#include "ui_prop_page_channel.h"

namespace kestrune::views {

CPropPageChannel::CPropPageChannel(NodeContext& context, const NodeRef& node)
    : CNodePage(context, node), ui_(std::make_unique<::Ui::CPropPageChannel>()) {
  SetUpForm(*ui_);
  ShowPicture(ui_->pictureLabel, res::kBitmapChannel);
  // A wrapped text's minimum height is one line; this one needs up to three.
  ui_->hotSwapLabel->setMinimumHeight(3 * ui_->hotSwapLabel->fontMetrics().lineSpacing());
  connect(ui_->refreshButton, &QPushButton::clicked, this, [this] { OnRefresh(); });
}

CPropPageChannel::~CPropPageChannel() = default;

bool CPropPageChannel::OnSetActive() {
  ctl::ChannelRecord shown;
  bool refreshOffered = true;
  {
    platform::WaitCursor wait(Context().Ui());
    ctl::CControllerIo& io = Context().Io();
    ctl::CControllerIo::Lock lock(io);
    const ResolvedNode adapter = Resolve(io.Model(), NodeRef::Adapter(Node().adapter));
    if (adapter.adapter != nullptr) io.QueryAdapterInfo(*adapter.adapter);
    const ResolvedNode found = Resolve(io.Model(), Node());
    if (found.channel != nullptr) shown = *found.channel;
    // On the other family a standard chip cannot reset a channel.
    if (!io.Model().ntFamily && found.adapter != nullptr &&
        found.adapter->chipKind == ctl::ChipKind::kStandard)
      refreshOffered = false;
  }
  SetValue(ui_->ideBaseValue, shown.ideBase);
  SetValue(ui_->altBaseValue, shown.altBase);
  SetValue(ui_->dmaBaseValue, shown.dmaBase);
  ui_->refreshButton->setEnabled(refreshOffered);
  return CNodePage::OnSetActive();
}

void CPropPageChannel::OnRefresh() {
  const std::uint32_t adapterNumber = Node().adapter;
  {
    ctl::CControllerIo& io = Context().Io();
    ctl::CControllerIo::Lock lock(io);
    ctl::AdapterRecord* adapter = io.Model().Adapter(adapterNumber);
    if (adapter == nullptr) return;
    // Whatever the reset answers, the branch is read again.
    io.ResetChannel(*adapter, static_cast<std::uint8_t>(Node().channel));
  }
  // The rebuild may replace the sheet (later, not under this handler).
  Context().RebuildAdapterBranch(adapterNumber);
}

}  // namespace kestrune::views
