// Building and delivering the configuration report.
#include "report/report.h"
#include "report/report_json.h"

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <tuple>
#include <utility>
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
      Format(res::kStrReportIdentifyLine, static_cast<int>(k), w[0], w[1], w[2], w[3], w[4], w[5],
             w[6], w[7]);
    }
  }

  std::wstring Take() { return std::move(text_); }

 private:
  std::wstring text_;
};

void WriteComputer(ReportWriter& out, const ctl::ConfigurationModel& model,
                   const std::wstring& nowText) {
  const ctl::ComputerInfo& computer = model.computer;
  out.Line(res::kStrReportTitle, nowText);
  out.Format(res::kStrReportProgramVersion, model.program.productName,
             model.program.productVersion);
  out.Text(kBlankLineEnd);
  out.Text(res::kStrReportComputerHeading);
  out.Line(res::kStrReportComputerName, computer.computerName);
  out.Text(L"\t" + computer.osName + L" " + computer.osVersion + kLineEnd);
  if (model.ntFamily) {
    out.Text(L"\t" + computer.servicePack + kLineEnd);
  } else {
    out.Line(res::kStrReportDescription, computer.computerComment);
  }
  out.Text(kLineEnd);
  if (!model.ntFamily) {
    out.Text(res::kStrReportSupportDriverHeading);
    out.Line(res::kStrReportMajorVersion, model.supportMajorText);
    out.Line(res::kStrReportMinorVersion, model.supportMinorText);
    out.Line(res::kStrReportFileVersion, model.supportFileVersion);
    out.Line(res::kStrReportFileDate, model.supportFileDate, kBlankLineEnd);
  }
}

void WriteDevice(ReportWriter& out, const ctl::DeviceRecord& device) {
  out.Line(res::kStrReportDeviceType, device.deviceType);
  if (device.isDisk) {
    out.Text(device.spare != 0 ? res::kStrReportHotSpareYes : res::kStrReportHotSpareNo);
  }
  out.Line(res::kStrReportModelNumber, device.modelNumber);
  out.Line(res::kStrReportFirmwareVersion, device.firmwareVersion);
  out.Line(res::kStrReportSerialNumber, device.serialNumber);
  out.Line(res::kStrReportCurrentMode, device.currentMode);
  out.Line(res::kStrReportSupportedModes, device.supportedModes);
  out.Line(res::kStrReportSectorsPerInterrupt, device.sectorsPerInterrupt);
  out.Line(res::kStrReportMediaType, device.mediaType);
  out.Line(res::kStrReportAtaVersion, device.ataVersion);
  // These three, the capacity and the dump heading sit one tab deeper than
  // their labels.
  out.Text(L"\t");
  out.Line(res::kStrReportSmartSupport, device.smartSupport);
  out.Text(L"\t");
  out.Line(res::kStrReportSmartEnabled, device.smartEnabled);
  out.Text(L"\t");
  out.Line(res::kStrReportSmartStatus, device.smartStatus);
  out.Line(res::kStrReportLookAhead, device.lookAhead);
  out.Line(res::kStrReportWriteCache, device.writeCache);
  out.Text(L"\t");
  out.Line(res::kStrReportCapacity, device.capacity, kBlankLineEnd);
  out.Text(L"\t");
  out.Text(res::kStrReportIdentifyHeading);
  out.IdentifyDump(device.identify);
  out.Text(kLineEnd);
}

void WriteSet(ReportWriter& out, const ctl::SetRecord& set, std::size_t index) {
  out.Format(res::kStrReportSetHeading, static_cast<int>(index));
  out.Line(res::kStrReportSetName, set.name);
  out.Line(res::kStrReportSetType, set.type);
  out.Line(res::kStrReportSetState, set.state);
  out.Line(res::kStrReportSetLocation, set.locationText);
  out.Line(res::kStrReportMetaVersion, set.metaVersion);
  out.Line(res::kStrReportCapacity, set.capacity);
  out.Line(res::kStrReportSmartSupport, set.smartSupport);
  out.Line(res::kStrReportSmartEnabled, set.smartEnabled);
  out.Line(res::kStrReportSmartStatus, set.smartStatus);
  if (set.kind != ctl::SetKind::kMirrored) {
    out.Format(res::kStrReportStripeSize, set.stripeSize);
  } else {
    out.Text(set.spareEnabled != 0 ? res::kStrReportHotSpareYes : res::kStrReportHotSpareNo);
  }
  out.Format(res::kStrReportMemberCount, static_cast<int>(set.memberCount));
  out.Text(res::kStrReportMembersHeading);
  const std::size_t members = std::min<std::size_t>(set.memberCount, ctl::kMaxMembers);
  for (std::size_t k = 0; k < members; ++k) {
    const ctl::MemberRecord& member = set.members[k];
    out.Format(res::kStrReportMemberIndex, static_cast<int>(k));
    out.Format(res::kStrReportDeviceIndex, static_cast<int>(member.deviceIndex));
    out.Format(res::kStrReportMemberState, member.state);
    if (member.Rebuilding()) {
      out.Format(res::kStrReportRebuildPercent, member.rebuildPercent);
    }
    out.Text(kLineEnd);
  }
  out.Text(res::kStrReportIdentifyHeading);
  out.IdentifyDump(set.identify);
  out.Text(kLineEnd);
}

void WriteAdapter(ReportWriter& out, const ctl::AdapterRecord& adapter, std::size_t number) {
  out.Format(res::kStrReportAdapterHeading, static_cast<int>(number));
  out.Line(res::kStrReportChipModel, adapter.chipModel);
  out.Line(res::kStrReportChipRevision, adapter.chipRevision);
  out.Line(res::kStrReportChipType, adapter.chipType);
  out.Line(res::kStrReportDriverStatus, adapter.driverStatus);
  out.Line(res::kStrReportMajorVersion, adapter.driverMajorText);
  out.Line(res::kStrReportMinorVersion, adapter.driverMinorText);
  out.Line(res::kStrReportFileVersion, adapter.driverFileVersion);
  out.Line(res::kStrReportFileDate, adapter.driverFileDate);
  out.Line(res::kStrReportPciIrq, adapter.pciInterrupt);
  out.Line(res::kStrReportPciBus, adapter.pciBus);
  out.Line(res::kStrReportPciDevice, adapter.pciDevice, kBlankLineEnd);

  // Counts beyond what the model holds are cut to it; the model has no
  // records for the rest.
  const std::size_t channels = std::min<std::size_t>(adapter.channelCount, ctl::kMaxChannels);
  const std::size_t devices =
      std::min<std::size_t>(adapter.devicesPerChannel, ctl::kMaxDevicesPerChannel);
  for (std::size_t c = 0; c < channels; ++c) {
    const ctl::ChannelRecord& channel = adapter.channels[c];
    out.Text(c == 0 ? res::kStrReportPrimaryChannel : res::kStrReportSecondaryChannel);
    out.Line(res::kStrReportIdeBase, channel.ideBase);
    out.Line(res::kStrReportAltBase, channel.altBase);
    out.Line(res::kStrReportDmaBase, channel.dmaBase, kBlankLineEnd);
    out.Text(res::kStrReportMasterDevice);
    for (std::size_t d = 0; d < devices; ++d) WriteDevice(out, channel.devices[d]);
  }

  if (adapter.IsRaidChip()) {
    out.Text(res::kStrReportRioHeading);
    out.Format(res::kStrReportRioMajor, adapter.rioMajorText);
    out.Format(res::kStrReportRioMinor, adapter.rioMinorText);
    out.Format(res::kStrReportArrayConflicts, adapter.arrayConflicts);
    out.Format(res::kStrReportSetCount, adapter.setCount);
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
    out.Text(res::kStrReportNoAdapters);
    out.Text(kLineEnd);
    return out.Take();
  }
  for (std::size_t n = 0; n < model.AdapterCount(); ++n) {
    if (const ctl::AdapterRecord* adapter = model.Adapter(n)) WriteAdapter(out, *adapter, n);
  }
  return out.Take();
}

std::wstring CurrentTimeText(platform::Clock& clock) { return ReportTimeAt(clock.Now()).text; }

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

bool MailReport(const std::wstring& server, const evt::SmtpAccount& account,
                const std::wstring& recipients, const std::wstring& subject,
                const std::wstring& sender, const std::wstring& report, std::wstring& error,
                evt::SmtpOptions options) {
  return evt::SendMailWith(server, account, sender, recipients, subject, report, error,
                           std::move(options));
}

bool MailReport(const std::wstring& server, const std::wstring& recipients,
                const std::wstring& subject, const std::wstring& sender, const std::wstring& report,
                std::wstring& error, evt::SmtpOptions options, std::uint16_t port) {
  evt::SmtpAccount plain;
  plain.port = port;
  return MailReport(server, plain, recipients, subject, sender, report, error, std::move(options));
}

void ShowFileFailure(platform::UiServices& ui) {
  ui.MessageBox(LoadString(res::kStrReportFileFailure), settings::kProductName,
                platform::MsgButtons::Ok, platform::MsgIcon::None);
}

void ShowMailFailure(platform::UiServices& ui, const std::wstring& error) {
  ui.MessageBox(error, LoadString(res::kStrMailErrorCaption), platform::MsgButtons::Ok,
                platform::MsgIcon::Information);
}

}  // namespace kestrune::rpt
