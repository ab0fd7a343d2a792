// The configuration report as JSON.
#include "report/report_json.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <nlohmann/json.hpp>
#include <optional>
#include <string_view>
#include <tuple>

#include "controller/identity.h"
#include "events/event_time.h"
#include "platform/text.h"
#include "report/report.h"

namespace kestrune::rpt {
namespace {

using Json = nlohmann::ordered_json;

std::string Utf8(const std::wstring& text) {
  return platform::ToUtf8(text);
}

// "35 %" -> 35; nothing when the text holds no percentage.
std::optional<int> Percent(const std::wstring& text) {
  int value = 0;
  std::size_t digits = 0;
  for (wchar_t c : text) {
    if (c < L'0' || c > L'9') break;
    value = value * 10 + (c - L'0');
    if (++digits > 3) return std::nullopt;
  }
  if (digits == 0) return std::nullopt;
  return value;
}

// A number the model keeps as its text ("11", hexadecimal "1f"); null when
// the text is no such number (UNKNOWN: the driver did not say).
Json Number(const std::wstring& text, int base = 10) {
  if (text.empty() || text.size() > 16) return nullptr;
  std::uint64_t value = 0;
  for (wchar_t c : text) {
    int digit = -1;
    if (c >= L'0' && c <= L'9') digit = c - L'0';
    if (base == 16 && c >= L'a' && c <= L'f') digit = c - L'a' + 10;
    if (base == 16 && c >= L'A' && c <= L'F') digit = c - L'A' + 10;
    if (digit < 0) return nullptr;
    value = value * static_cast<unsigned>(base) + static_cast<unsigned>(digit);
  }
  return value;
}

// "Yes" / "No" as a switch; null for any other text (UNKNOWN, N/A).
Json Switch(const std::wstring& text) {
  if (platform::EqualsNoCase(text, L"Yes")) return true;
  if (platform::EqualsNoCase(text, L"No")) return false;
  return nullptr;
}

Json IdentifyWords(const ctl::IdentifyBytes& identify) {
  Json words = Json::array();
  for (std::size_t at = 0; at + 1 < std::tuple_size_v<ctl::IdentifyBytes>; at += 2) {
    words.push_back(static_cast<unsigned>(identify[at] | (identify[at + 1] << 8)));
  }
  return words;
}

// The switches as booleans and the status as its text, null where the
// record says UNKNOWN or N/A; "text" keeps the three texts as the text
// report shows them (N/A and UNKNOWN say different things).
Json Smart(const std::wstring& support, const std::wstring& enabled, const std::wstring& status) {
  const bool known = status != ctl::kUnknown && status != ctl::kNotApplicable;
  return Json{{"support", Switch(support)},
              {"enabled", Switch(enabled)},
              {"status", known ? Json(Utf8(status)) : Json(nullptr)},
              {"text", Json{{"support", Utf8(support)},
                            {"enabled", Utf8(enabled)},
                            {"status", Utf8(status)}}}};
}

Json Device(const ctl::DeviceRecord& device, std::size_t channel, std::size_t slot,
            std::size_t deviceIndex, bool extendedNaming) {
  Json out;
  out["channel"] = channel;
  out["device"] = slot;
  out["deviceIndex"] = deviceIndex;
  out["location"] =
      Utf8(ctl::ChannelAndDeviceName(static_cast<unsigned>(deviceIndex), extendedNaming).Joined());
  out["present"] = device.present != 0;
  out["type"] = Utf8(device.deviceType);
  // As the text report: only disks say whether they are hot spares.
  out["hotSpare"] = device.isDisk ? Json(device.spare != 0) : Json(nullptr);
  out["model"] = Utf8(device.modelNumber);
  out["firmware"] = Utf8(device.firmwareVersion);
  out["serial"] = Utf8(device.serialNumber);
  out["currentMode"] = Utf8(device.currentMode);
  out["supportedModes"] = Utf8(device.supportedModes);
  out["sectorsPerInterrupt"] = Utf8(device.sectorsPerInterrupt);
  out["mediaType"] = Utf8(device.mediaType);
  out["ataVersion"] = Utf8(device.ataVersion);
  out["smart"] = Smart(device.smartSupport, device.smartEnabled, device.smartStatus);
  out["lookAhead"] = Utf8(device.lookAhead);
  out["writeCache"] = Utf8(device.writeCache);
  out["capacity"] = Utf8(device.capacity);
  out["identifyWords"] = IdentifyWords(device.identify);
  return out;
}

Json Set(const ctl::SetRecord& set, std::size_t index) {
  Json out;
  out["index"] = index;
  out["name"] = Utf8(set.name);
  out["type"] = Utf8(set.type);
  out["state"] = Utf8(set.state);
  out["location"] = Utf8(set.locationText);
  out["metaVersion"] = Utf8(set.metaVersion);
  out["capacity"] = Utf8(set.capacity);
  out["smart"] = Smart(set.smartSupport, set.smartEnabled, set.smartStatus);
  // As the text report: a stripe size, or for a mirror whether a spare may
  // take a failed member's place.
  const bool mirrored = set.kind == ctl::SetKind::kMirrored;
  out["stripeSize"] = mirrored ? Json(nullptr) : Json(set.stripeSize);
  out["hotSpare"] = mirrored ? Json(set.spareEnabled != 0) : Json(nullptr);
  out["rebuildRate"] = set.rebuildRate;
  out["memberCount"] = set.memberCount;
  Json members = Json::array();
  const std::size_t count = std::min<std::size_t>(set.memberCount, ctl::kMaxMembers);
  for (std::size_t k = 0; k < count; ++k) {
    const ctl::MemberRecord& member = set.members[k];
    const auto percent = member.Rebuilding() ? Percent(member.rebuildPercent) : std::nullopt;
    members.push_back(Json{{"index", k},
                           {"deviceIndex", member.deviceIndex},
                           {"position", member.position},
                           {"state", Utf8(member.state)},
                           {"rebuildPercent", percent ? Json(*percent) : Json(nullptr)}});
  }
  out["members"] = std::move(members);
  out["identifyWords"] = IdentifyWords(set.identify);
  return out;
}

Json Adapter(const ctl::AdapterRecord& adapter, std::size_t number, bool extendedNaming) {
  Json out;
  out["number"] = number;
  out["chipModel"] = Utf8(adapter.chipModel);
  out["chipRevision"] = Utf8(adapter.chipRevision);
  out["chipType"] = Utf8(adapter.chipType);
  out["driverStatus"] = Number(adapter.driverStatus, 16);
  out["driver"] = Json{{"major", Number(adapter.driverMajorText)},
                       {"minor", Number(adapter.driverMinorText)},
                       {"fileVersion", Utf8(adapter.driverFileVersion)},
                       {"fileDate", Utf8(adapter.driverFileDate)}};
  out["pci"] = Json{{"irq", Number(adapter.pciInterrupt)},
                    {"bus", Number(adapter.pciBus)},
                    {"device", Number(adapter.pciDevice)}};
  const std::size_t channels = std::min<std::size_t>(adapter.channelCount, ctl::kMaxChannels);
  const std::size_t perChannel =
      std::min<std::size_t>(adapter.devicesPerChannel, ctl::kMaxDevicesPerChannel);
  Json channelList = Json::array();
  for (std::size_t c = 0; c < channels; ++c) {
    const ctl::ChannelRecord& channel = adapter.channels[c];
    Json devices = Json::array();
    for (std::size_t d = 0; d < perChannel; ++d) {
      devices.push_back(
          Device(channel.devices[d], c, d, c * adapter.devicesPerChannel + d, extendedNaming));
    }
    channelList.push_back(Json{{"number", c},
                               {"ideBase", Utf8(channel.ideBase)},
                               {"altBase", Utf8(channel.altBase)},
                               {"dmaBase", Utf8(channel.dmaBase)},
                               {"devices", std::move(devices)}});
  }
  out["channels"] = std::move(channelList);
  if (adapter.IsRaidChip()) {
    Json sets = Json::array();
    const std::size_t count = std::min<std::size_t>(adapter.setCount, ctl::kMaxSets);
    for (std::size_t i = 0; i < count; ++i) sets.push_back(Set(adapter.sets[i], i));
    out["raid"] = Json{{"major", Number(adapter.rioMajorText)},
                       {"minor", Number(adapter.rioMinorText)},
                       {"arrayConflicts", Switch(adapter.arrayConflicts)},
                       {"setCount", adapter.setCount},
                       {"sets", std::move(sets)}};
  } else {
    out["raid"] = nullptr;
  }
  return out;
}

}  // namespace

ReportTime ReportTimeAt(std::chrono::system_clock::time_point at) {
  const std::time_t now = std::chrono::system_clock::to_time_t(at);
  std::tm local{};
  if (localtime_r(&now, &local) == nullptr && gmtime_r(&now, &local) == nullptr) local = std::tm{};
  char stamp[40] = {};
  const std::size_t length = std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%S%z", &local);
  // %z gives "+0100"; the extended form that goes with the date is "+01:00".
  std::string iso;
  if (length >= 5) {
    const std::string_view all(stamp, length);
    iso.append(all.substr(0, length - 2)).append(":").append(all.substr(length - 2));
  }
  return ReportTime{evt::FormatLocalTime(local), iso};
}

std::string BuildReportJson(const ctl::ConfigurationModel& model, const ReportTime& time) {
  Json out;
  out["format"] = kReportJsonFormat;
  out["time"] = time.iso8601;
  out["timeText"] = Utf8(time.text);
  out["program"] = Json{{"name", Utf8(model.program.productName)},
                        {"version", Utf8(model.program.productVersion)}};
  const ctl::ComputerInfo& computer = model.computer;
  Json computerJson{{"name", Utf8(computer.computerName)},
                    {"os", Utf8(computer.osName)},
                    {"osVersion", Utf8(computer.osVersion)}};
  if (model.ntFamily) {
    computerJson["servicePack"] = Utf8(computer.servicePack);
  } else {
    computerJson["description"] = Utf8(computer.computerComment);
  }
  out["computer"] = std::move(computerJson);
  out["supportDriver"] = model.ntFamily ? Json(nullptr)
                                        : Json{{"major", Number(model.supportMajorText)},
                                               {"minor", Number(model.supportMinorText)},
                                               {"fileVersion", Utf8(model.supportFileVersion)},
                                               {"fileDate", Utf8(model.supportFileDate)}};
  Json adapters = Json::array();
  for (std::size_t n = 0; n < model.AdapterCount(); ++n) {
    if (const ctl::AdapterRecord* adapter = model.Adapter(n))
      adapters.push_back(Adapter(*adapter, n, model.extendedNaming));
  }
  out["adapters"] = std::move(adapters);
  // Texts from a driver are never trusted to be valid: replaced, not thrown.
  return out.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

std::string ProduceReportJson(ctl::CControllerIo& io, platform::Clock& clock,
                              platform::UiServices& ui) {
  platform::WaitCursor wait(ui);
  ctl::CControllerIo::Lock lock(io);
  RefreshForReport(io);
  return BuildReportJson(io.Model(), ReportTimeAt(clock.Now()));
}

}  // namespace kestrune::rpt
