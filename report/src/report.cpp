// Building and delivering the configuration report.
#include "report/report.h"

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <tuple>
#include <vector>

#include "events/event_text.h"
#include "platform/replace_file.h"
#include "platform/text.h"
#include "resources/strings.h"
#include "settings/app_settings.h"

namespace kestrune::rpt {
namespace {

using res::FormatString;
using res::LoadString;

constexpr wchar_t kLineEnd[] = L"\r\n";
constexpr wchar_t kBlankLineEnd[] = L"\r\n\r\n";

// String-table entries of the report, by what they label.
enum Id : unsigned {
  kDescription = 68,
  kTitle = 69,
  kProgramVersion = 70,
  kAdapterHeading = 71,
  kComputerHeading = 72,
  kComputerName = 73,
  kSupportDriverHeading = 74,
  kMajorVersion = 75,
  kMinorVersion = 76,
  kFileVersion = 77,
  kFileDate = 78,
  kChipModel = 79,
  kChipRevision = 80,
  kChipType = 81,
  kDriverStatus = 82,
  kPciIrq = 83,
  kPciBus = 84,
  kPciDevice = 85,
  kPrimaryChannel = 86,
  kSecondaryChannel = 87,
  kIdeBase = 88,
  kAltBase = 89,
  kDmaBase = 90,
  kMasterDevice = 92,
  kDeviceType = 96,
  kHotSpareYes = 97,
  kHotSpareNo = 98,
  kModelNumber = 99,
  kFirmwareVersion = 100,
  kSerialNumber = 101,
  kCurrentMode = 102,
  kSupportedModes = 103,
  kSectorsPerInterrupt = 104,
  kMediaType = 105,
  kAtaVersion = 106,
  kSmartSupport = 107,
  kSmartEnabled = 108,
  kSmartStatus = 109,
  kLookAhead = 110,
  kWriteCache = 111,
  kCapacity = 112,
  kIdentifyHeading = 113,
  kIdentifyLine = 114,
  kRioHeading = 115,
  kRioMajor = 116,
  kRioMinor = 117,
  kArrayConflicts = 118,
  kSetCount = 119,
  kSetHeading = 120,
  kSetName = 121,
  kSetType = 122,
  kSetState = 123,
  kSetLocation = 124,
  kMetaVersion = 125,
  kStripeSize = 126,
  kMemberCount = 127,
  kMembersHeading = 128,
  kMemberIndex = 129,
  kDeviceIndex = 130,
  kMemberState = 131,
  kRebuildPercent = 132,
  kNoAdapters = 253,
};

class ReportWriter {
 public:
  // Label, value and line end.
  void Line(unsigned label, const std::wstring& value, const wchar_t* end = kLineEnd) {
    text_ += LoadString(label);
    text_ += value;
    text_ += end;
  }
  void Text(const std::wstring& text) { text_ += text; }
  void Text(unsigned id) { text_ += LoadString(id); }
  template <typename... Args>
  void Format(unsigned id, const Args&... args) {
    text_ += FormatString(id, args...);
  }

  // 32 lines of eight words each, offset in decimal and words in lower-case
  // hexadecimal.
  void IdentifyDump(const ctl::IdentifyBytes& identify) {
    constexpr std::size_t kWords = std::tuple_size_v<ctl::IdentifyBytes> / 2;
    for (std::size_t k = 0; k < kWords; k += 8) {
      unsigned w[8];
      for (std::size_t i = 0; i < 8; ++i) {
        const std::size_t at = 2 * (k + i);
        w[i] = static_cast<unsigned>(identify[at] | (identify[at + 1] << 8));
      }
      Format(kIdentifyLine, static_cast<int>(k), w[0], w[1], w[2], w[3], w[4], w[5], w[6], w[7]);
    }
  }

  std::wstring Take() { return std::move(text_); }

 private:
  std::wstring text_;
};

void WriteComputer(ReportWriter& out, const ctl::ConfigurationModel& model,
                   const std::wstring& nowText) {
  const ctl::ComputerInfo& computer = model.computer;
  out.Line(kTitle, nowText);
  out.Format(kProgramVersion, model.program.productName, model.program.productVersion);
  out.Text(kBlankLineEnd);
  out.Text(kComputerHeading);
  out.Line(kComputerName, computer.computerName);
  out.Text(L"\t" + computer.osName + L" " + computer.osVersion + kLineEnd);
  if (model.ntFamily) {
    out.Text(L"\t" + computer.servicePack + kLineEnd);
  } else {
    out.Line(kDescription, computer.computerComment);
  }
  out.Text(kLineEnd);
  if (!model.ntFamily) {
    out.Text(kSupportDriverHeading);
    out.Line(kMajorVersion, model.supportMajorText);
    out.Line(kMinorVersion, model.supportMinorText);
    out.Line(kFileVersion, model.supportFileVersion);
    out.Line(kFileDate, model.supportFileDate, kBlankLineEnd);
  }
}

void WriteDevice(ReportWriter& out, const ctl::DeviceRecord& device) {
  out.Line(kDeviceType, device.deviceType);
  if (platform::EqualsNoCase(device.deviceType, L"disk")) {
    out.Text(device.spare != 0 ? kHotSpareYes : kHotSpareNo);
  }
  out.Line(kModelNumber, device.modelNumber);
  out.Line(kFirmwareVersion, device.firmwareVersion);
  out.Line(kSerialNumber, device.serialNumber);
  out.Line(kCurrentMode, device.currentMode);
  out.Line(kSupportedModes, device.supportedModes);
  out.Line(kSectorsPerInterrupt, device.sectorsPerInterrupt);
  out.Line(kMediaType, device.mediaType);
  out.Line(kAtaVersion, device.ataVersion);
  // These three, the capacity and the dump heading sit one tab deeper than
  // their labels.
  out.Text(L"\t");
  out.Line(kSmartSupport, device.smartSupport);
  out.Text(L"\t");
  out.Line(kSmartEnabled, device.smartEnabled);
  out.Text(L"\t");
  out.Line(kSmartStatus, device.smartStatus);
  out.Line(kLookAhead, device.lookAhead);
  out.Line(kWriteCache, device.writeCache);
  out.Text(L"\t");
  out.Line(kCapacity, device.capacity, kBlankLineEnd);
  out.Text(L"\t");
  out.Text(kIdentifyHeading);
  out.IdentifyDump(device.identify);
  out.Text(kLineEnd);
}

void WriteSet(ReportWriter& out, const ctl::SetRecord& set, std::size_t index) {
  out.Format(kSetHeading, static_cast<int>(index));
  out.Line(kSetName, set.name);
  out.Line(kSetType, set.type);
  out.Line(kSetState, set.state);
  out.Line(kSetLocation, set.locationText);
  out.Line(kMetaVersion, set.metaVersion);
  out.Line(kCapacity, set.capacity);
  out.Line(kSmartSupport, set.smartSupport);
  out.Line(kSmartEnabled, set.smartEnabled);
  out.Line(kSmartStatus, set.smartStatus);
  if (!platform::EqualsNoCase(set.type, L"Mirrored Set")) {
    out.Format(kStripeSize, set.stripeSize);
  } else {
    out.Text(set.spareEnabled != 0 ? kHotSpareYes : kHotSpareNo);
  }
  out.Format(kMemberCount, static_cast<int>(set.memberCount));
  out.Text(kMembersHeading);
  const std::size_t members = std::min<std::size_t>(set.memberCount, ctl::kMaxMembers);
  for (std::size_t k = 0; k < members; ++k) {
    const ctl::MemberRecord& member = set.members[k];
    out.Format(kMemberIndex, static_cast<int>(k));
    out.Format(kDeviceIndex, static_cast<int>(member.deviceIndex));
    out.Format(kMemberState, member.state);
    if (platform::EqualsNoCase(member.state, L"rebuild") ||
        platform::EqualsNoCase(member.state, L"sync")) {
      out.Format(kRebuildPercent, member.rebuildPercent);
    }
    out.Text(kLineEnd);
  }
  out.Text(kIdentifyHeading);
  out.IdentifyDump(set.identify);
  out.Text(kLineEnd);
}

void WriteAdapter(ReportWriter& out, const ctl::AdapterRecord& adapter, std::size_t number) {
  out.Format(kAdapterHeading, static_cast<int>(number));
  out.Line(kChipModel, adapter.chipModel);
  out.Line(kChipRevision, adapter.chipRevision);
  out.Line(kChipType, adapter.chipType);
  out.Line(kDriverStatus, adapter.driverStatus);
  out.Line(kMajorVersion, adapter.driverMajorText);
  out.Line(kMinorVersion, adapter.driverMinorText);
  out.Line(kFileVersion, adapter.driverFileVersion);
  out.Line(kFileDate, adapter.driverFileDate);
  out.Line(kPciIrq, adapter.pciInterrupt);
  out.Line(kPciBus, adapter.pciBus);
  out.Line(kPciDevice, adapter.pciDevice, kBlankLineEnd);

  // Counts beyond what the model holds are cut to it; the model has no
  // records for the rest.
  const std::size_t channels = std::min<std::size_t>(adapter.channelCount, ctl::kMaxChannels);
  const std::size_t devices =
      std::min<std::size_t>(adapter.devicesPerChannel, ctl::kMaxDevicesPerChannel);
  for (std::size_t c = 0; c < channels; ++c) {
    const ctl::ChannelRecord& channel = adapter.channels[c];
    out.Text(c == 0 ? kPrimaryChannel : kSecondaryChannel);
    out.Line(kIdeBase, channel.ideBase);
    out.Line(kAltBase, channel.altBase);
    out.Line(kDmaBase, channel.dmaBase, kBlankLineEnd);
    out.Text(kMasterDevice);
    for (std::size_t d = 0; d < devices; ++d) WriteDevice(out, channel.devices[d]);
  }

  if (adapter.IsRaidChip()) {
    out.Text(kRioHeading);
    out.Format(kRioMajor, adapter.rioMajorText);
    out.Format(kRioMinor, adapter.rioMinorText);
    out.Format(kArrayConflicts, adapter.arrayConflicts);
    out.Format(kSetCount, adapter.setCount);
    const std::size_t sets = std::min<std::size_t>(adapter.setCount, ctl::kMaxSets);
    for (std::size_t i = 0; i < sets; ++i) WriteSet(out, adapter.sets[i], i);
  }
}

}  // namespace

std::wstring BuildReport(const ctl::ConfigurationModel& model, const std::wstring& nowText) {
  ReportWriter out;
  WriteComputer(out, model, nowText);
  if (model.AdapterCount() == 0) {
    out.Text(kLineEnd);
    out.Text(kNoAdapters);
    out.Text(kLineEnd);
    return out.Take();
  }
  for (std::size_t n = 0; n < model.AdapterCount(); ++n) {
    if (const ctl::AdapterRecord* adapter = model.Adapter(n)) WriteAdapter(out, *adapter, n);
  }
  return out.Take();
}

std::wstring CurrentTimeText(platform::Clock& clock) {
  const std::time_t now = std::chrono::system_clock::to_time_t(clock.Now());
  std::tm local{};
  if (localtime_r(&now, &local) == nullptr && gmtime_r(&now, &local) == nullptr) {
    local = std::tm{};
  }
  return evt::FormatLocalTime(local);
}

void RefreshForReport(ctl::CControllerIo& io) {
  // ReadDriverFiles is exactly this refresh.
  io.ReadDriverFiles();
}

std::wstring ProduceReportText(ctl::CControllerIo& io, platform::Clock& clock,
                               platform::UiServices& ui) {
  platform::WaitCursor wait(ui);
  // One hold over refresh and build, so that the logger cannot change the
  // model between them.
  ctl::CControllerIo::Lock lock(io);
  RefreshForReport(io);
  return BuildReport(io.Model(), CurrentTimeText(clock));
}

bool SaveReportFile(const std::string& path, const std::wstring& report, std::string* why) {
  std::string error;
  const bool saved = platform::ReplaceFileContent(path, platform::ToUtf16Le(report), error);
  if (why != nullptr) *why = error;
  return saved;
}

bool CopyReportToClipboard(platform::UiServices& ui, const std::wstring& report) {
  return ui.SetClipboardText(report);
}

bool MailReport(const std::wstring& server, const std::wstring& recipients,
                const std::wstring& subject, const std::wstring& sender, const std::wstring& report,
                std::wstring& error, evt::SmtpOptions options, std::uint16_t port) {
  evt::SmtpSession session(options);
  return session.SmtpConnect(server, port, error) &&
         session.SmtpAddresses(sender, recipients, error) &&
         session.SmtpData(sender, recipients, subject, report, error) && session.SmtpQuit(error);
}

void ShowFileFailure(platform::UiServices& ui) {
  ui.MessageBox(LoadString(kFileFailureId), settings::kProductName, platform::MsgButtons::Ok,
                platform::MsgIcon::None);
}

void ShowMailFailure(platform::UiServices& ui, const std::wstring& error) {
  ui.MessageBox(error, LoadString(kMailErrorCaptionId), platform::MsgButtons::Ok,
                platform::MsgIcon::Information);
}

}  // namespace kestrune::rpt
