#include "views/prop_page_channel2.h"

#include "resources/resource_ids.h"
#include "resources/string_ids.h"
#include "resources/strings.h"
#include "ui_prop_page_channel2.h"

namespace kestrune::views {

namespace {

constexpr std::uint32_t kPortMultiplierAttached = 0x1;

}  // namespace

CPropPageChannel2::CPropPageChannel2(NodeContext& context, const NodeRef& node)
    : CNodePage(context, node), ui_(std::make_unique<::Ui::CPropPageChannel2>()) {
  SetUpForm(*ui_);
  ShowPicture(ui_->pictureLabel, res::kBitmapChannel);
}

CPropPageChannel2::~CPropPageChannel2() = default;

bool CPropPageChannel2::OnSetActive() {
  ctl::ChannelRecord shown;
  {
    platform::WaitCursor wait(Context().Ui());
    ctl::CControllerIo& io = Context().Io();
    ctl::CControllerIo::Lock lock(io);
    // For an extended adapter this reads the channels too.
    const ResolvedNode adapter = Resolve(io.Model(), NodeRef::Adapter(Node().adapter));
    if (adapter.adapter != nullptr) io.QueryAdapterInfo(*adapter.adapter);
    const ResolvedNode found = Resolve(io.Model(), Node());
    if (found.channel != nullptr) shown = *found.channel;
  }
  SetValue(ui_->speedValue,
           shown.linkGeneration == 1 ? res::LoadString(res::kStrLinkGeneration1) : L"");
  const bool attached = (shown.flags & kPortMultiplierAttached) != 0;
  // The two bytes are shown as the characters they encode; a NUL shows nothing.
  auto character = [](std::uint8_t value) {
    return value == 0 ? std::wstring() : std::wstring(1, static_cast<wchar_t>(value));
  };
  SetValue(ui_->vendorValue, attached ? res::FormatString(res::kStrFormatHex, unsigned{shown.pmVendor}) : L"");
  SetValue(ui_->deviceIdValue, attached ? res::FormatString(res::kStrFormatHex, unsigned{shown.pmDevice}) : L"");
  SetValue(ui_->portsValue, attached ? res::FormatString(res::kStrFormatDecimal, int{shown.pmPorts}) : L"");
  SetValue(ui_->specVersionValue, attached ? character(shown.pmSpecVersion) : L"");
  SetValue(ui_->revisionValue, attached ? character(shown.pmRevision) : L"");
  // Without a port multiplier its group and captions are greyed.
  ui_->portMultiplierGroup->setEnabled(attached);
  return CNodePage::OnSetActive();
}

}  // namespace kestrune::views
