// The monitor's metrics in the Prometheus text exposition format.
#include "events/metrics.h"

#include <fcntl.h>
#include <fmt/format.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <utility>

#include "controller/identity.h"
#include "platform/text.h"

namespace kestrune::evt {
namespace {

// The states a set, member or SMART status can be in; any other text counts
// as the last, "UNKNOWN". Every state gets its series, 1 for the current one,
// so that an alert can ask for a state being 0 as well as 1.
constexpr std::array<const wchar_t*, 4> kSetStates = {L"Online", L"Available", L"Sync", L"UNKNOWN"};
constexpr std::array<const wchar_t*, 6> kMemberStates = {L"Current", L"Rebuild", L"Sync",
                                                         L"Dropped", L"Removed", L"UNKNOWN"};
// A set's place in kSetStates, by its code.
std::size_t SetStateAt(ctl::SetStatus status) {
  switch (status) {
    case ctl::SetStatus::kOnline:
      return 0;
    case ctl::SetStatus::kAvailable:
      return 1;
    case ctl::SetStatus::kSync:
      return 2;
    case ctl::SetStatus::kUnknown:
      break;
  }
  return kSetStates.size() - 1;
}

// A member's place in kMemberStates, by its code.
std::size_t MemberStateAt(ctl::MemberStatus status) {
  switch (status) {
    case ctl::MemberStatus::kCurrent:
      return 0;
    case ctl::MemberStatus::kRebuild:
      return 1;
    case ctl::MemberStatus::kSync:
      return 2;
    case ctl::MemberStatus::kDropped:
      return 3;
    case ctl::MemberStatus::kRemoved:
      return 4;
    case ctl::MemberStatus::kUnknown:
      break;
  }
  return kMemberStates.size() - 1;
}
constexpr std::array<const wchar_t*, 4> kSmartStates = {L"OK", L"Exceeded", L"N/A", L"UNKNOWN"};
constexpr std::array<const char*, 4> kSeverityNames = {"other", "informational", "warning",
                                                       "error"};

class Exposition {
 public:
  void Family(const char* name, const char* type, const char* help) {
    out_ += fmt::format("# HELP {} {}\n# TYPE {} {}\n", name, help, name, type);
  }
  // `labels` is "key=value" pairs already escaped and quoted, or empty.
  void Sample(const char* name, const std::string& labels, const std::string& value) {
    out_ += name;
    if (!labels.empty()) out_ += "{" + labels + "}";
    out_ += " " + value + "\n";
  }
  template <std::size_t N>
  void States(const char* name, const std::string& labels, const std::wstring& current,
              const std::array<const wchar_t*, N>& states, const char* key = "state") {
    const auto known = std::find_if(states.begin(), states.end() - 1, [&](const wchar_t* state) {
      return platform::EqualsNoCase(current, state);
    });
    StatesAt(name, labels, static_cast<std::size_t>(known - states.begin()), states, key);
  }
  // The same with the current state by its place in `states`.
  template <std::size_t N>
  void StatesAt(const char* name, const std::string& labels, std::size_t current,
                const std::array<const wchar_t*, N>& states, const char* key = "state") {
    for (std::size_t i = 0; i < N; ++i) {
      Sample(name, labels + "," + Label(key, platform::ToUtf8(states[i])),
             i == current ? "1" : "0");
    }
  }
  static std::string Label(const char* key, const std::string& value) {
    return fmt::format("{}=\"{}\"", key, EscapeLabelValue(value));
  }
  std::string Take() { return std::move(out_); }

 private:
  std::string out_;
};

// The driver pads its text fields with blanks; a label is the text alone.
std::string Text(const std::wstring& text) {
  const auto end = text.find_last_not_of(L" \t");
  return platform::ToUtf8(end == std::wstring::npos ? std::wstring() : text.substr(0, end + 1));
}

std::string Location(std::size_t deviceIndex, bool extendedNaming) {
  return platform::ToUtf8(
      ctl::ChannelAndDeviceName(static_cast<unsigned>(deviceIndex), extendedNaming).Joined());
}

std::string Seconds(std::chrono::system_clock::time_point at) {
  const auto ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(at.time_since_epoch()).count();
  return fmt::format("{}.{:03d}", ms / 1000, static_cast<int>(ms % 1000));
}

// "35 %" -> "35"; nothing when the text holds no number.
std::optional<std::string> PercentNumber(const std::wstring& text) {
  std::string digits;
  for (wchar_t c : text) {
    if (c < L'0' || c > L'9' || digits.size() == 3) break;
    digits += static_cast<char>(c);
  }
  if (digits.empty()) return std::nullopt;
  return digits;
}

std::size_t SlotsPerChannel(const ctl::AdapterRecord& adapter) {
  return std::min<std::size_t>(adapter.devicesPerChannel, ctl::kMaxDevicesPerChannel);
}

std::size_t Channels(const ctl::AdapterRecord& adapter) {
  return std::min<std::size_t>(adapter.channelCount, ctl::kMaxChannels);
}

}  // namespace

std::string EscapeLabelValue(std::string_view value) {
  std::string out;
  out.reserve(value.size());
  for (char c : value) {
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '"') {
      out += "\\\"";
    } else if (c == '\n') {
      out += "\\n";
    } else {
      out += c;
    }
  }
  return out;
}

std::string FormatMetrics(const ctl::ConfigurationModel& model, const MetricsCounters& counters) {
  using L = Exposition;
  Exposition out;
  const std::size_t adapterCount = model.AdapterCount();
  out.Family("kestrune_adapters", "gauge", "Adapters found.");
  out.Sample("kestrune_adapters", "", std::to_string(adapterCount));

  struct Each {
    std::string labels;
    const ctl::AdapterRecord* adapter;
    const ctl::SetRecord* set;
    std::size_t setIndex;
  };
  std::vector<Each> sets;
  for (std::size_t n = 0; n < adapterCount; ++n) {
    const ctl::AdapterRecord* adapter = model.Adapter(n);
    if (adapter == nullptr || !adapter->IsRaidChip()) continue;
    const std::size_t count = std::min<std::size_t>(adapter->setCount, ctl::kMaxSets);
    for (std::size_t i = 0; i < count; ++i) {
      const ctl::SetRecord& set = adapter->sets[i];
      sets.push_back({L::Label("adapter", std::to_string(n)) + "," +
                          L::Label("set", std::to_string(i)) + "," +
                          L::Label("name", Text(set.name)),
                      adapter, &set, i});
    }
  }

  out.Family("kestrune_set_state", "gauge",
             "State of each RAID set: 1 for the state it is in, 0 for the others.");
  for (const Each& each : sets) {
    out.StatesAt("kestrune_set_state",
                 each.labels + "," + L::Label("location", Text(each.set->locationText)),
                 SetStateAt(each.set->status), kSetStates);
  }
  out.Family("kestrune_set_members", "gauge", "Members of each RAID set.");
  for (const Each& each : sets) {
    out.Sample("kestrune_set_members", each.labels, std::to_string(each.set->memberCount));
  }

  out.Family("kestrune_member_state", "gauge",
             "State of each member of a RAID set: 1 for the state it is in, 0 for the others.");
  std::vector<std::pair<std::string, std::string>> rebuilds;
  for (const Each& each : sets) {
    const std::size_t count = std::min<std::size_t>(each.set->memberCount, ctl::kMaxMembers);
    for (std::size_t k = 0; k < count; ++k) {
      const ctl::MemberRecord& member = each.set->members[k];
      const std::string labels =
          each.labels + "," + L::Label("member", std::to_string(k)) + "," +
          L::Label("device_index", std::to_string(member.deviceIndex)) + "," +
          L::Label("location", Location(member.deviceIndex, model.extendedNaming));
      out.StatesAt("kestrune_member_state", labels, MemberStateAt(member.status), kMemberStates);
      if (member.status == ctl::MemberStatus::kRebuild) {
        if (const auto percent = PercentNumber(member.rebuildPercent))
          rebuilds.emplace_back(labels, *percent);
      }
    }
  }
  out.Family("kestrune_member_rebuild_percent", "gauge",
             "Rebuild progress of each member that is being rebuilt, in percent.");
  for (const auto& [labels, percent] : rebuilds) {
    out.Sample("kestrune_member_rebuild_percent", labels, percent);
  }

  out.Family("kestrune_spare_drives", "gauge", "Hot spare drives of each RAID adapter.");
  for (std::size_t n = 0; n < adapterCount; ++n) {
    const ctl::AdapterRecord* adapter = model.Adapter(n);
    if (adapter == nullptr || !adapter->IsRaidChip()) continue;
    int spares = 0;
    for (std::size_t c = 0; c < Channels(*adapter); ++c) {
      for (std::size_t d = 0; d < SlotsPerChannel(*adapter); ++d) {
        const ctl::DeviceRecord& device = adapter->channels[c].devices[d];
        if (device.present != 0 && device.spare != 0) ++spares;
      }
    }
    out.Sample("kestrune_spare_drives", L::Label("adapter", std::to_string(n)),
               std::to_string(spares));
  }

  out.Family("kestrune_device_smart_status", "gauge",
             "SMART status of each device: 1 for the status it reports, 0 for the others "
             "(N/A: SMART not supported or not enabled).");
  for (std::size_t n = 0; n < adapterCount; ++n) {
    const ctl::AdapterRecord* adapter = model.Adapter(n);
    if (adapter == nullptr) continue;
    for (std::size_t c = 0; c < Channels(*adapter); ++c) {
      for (std::size_t d = 0; d < SlotsPerChannel(*adapter); ++d) {
        const ctl::DeviceRecord& device = adapter->channels[c].devices[d];
        if (device.present == 0) continue;
        const std::size_t index = c * adapter->devicesPerChannel + d;
        out.States("kestrune_device_smart_status",
                   L::Label("adapter", std::to_string(n)) + "," +
                       L::Label("device_index", std::to_string(index)) + "," +
                       L::Label("location", Location(index, model.extendedNaming)) + "," +
                       L::Label("model", Text(device.modelNumber)) + "," +
                       L::Label("serial", Text(device.serialNumber)),
                   device.smartStatus, kSmartStates, "status");
      }
    }
  }

  out.Family("kestrune_events_total", "counter", "Events logged since the start, by severity.");
  for (std::size_t s = 1; s <= kSeverityNames.size(); ++s) {
    const std::size_t at = s % kSeverityNames.size();  // informational .. error, then other
    out.Sample("kestrune_events_total", L::Label("severity", kSeverityNames[at]),
               std::to_string(counters.events[at]));
  }
  out.Family("kestrune_event_mail_failures_total", "counter",
             "Event mails that could not be sent since the start.");
  out.Sample("kestrune_event_mail_failures_total", "", std::to_string(counters.mailFailures));

  out.Family("kestrune_last_poll_timestamp_seconds", "gauge",
             "Time of the last poll for events, in seconds since 1970.");
  out.Sample("kestrune_last_poll_timestamp_seconds", "",
             counters.lastPoll ? Seconds(*counters.lastPoll) : "0");
  out.Family("kestrune_last_successful_poll_timestamp_seconds", "gauge",
             "Time of the last poll in which every adapter answered, in seconds since 1970 "
             "(0: none yet).");
  out.Sample("kestrune_last_successful_poll_timestamp_seconds", "",
             counters.lastSuccessfulPoll ? Seconds(*counters.lastSuccessfulPoll) : "0");
  out.Family("kestrune_last_poll_failed", "gauge",
             "1 when an adapter did not answer the last poll for events, else 0.");
  out.Sample("kestrune_last_poll_failed", "", counters.lastPollFailed ? "1" : "0");
  return out.Take();
}

void RefreshForMetrics(ctl::CControllerIo& io, bool smart) {
  io.RereadStatusOfAll(smart);
}

bool WriteFileAtomically(const std::string& path, std::string_view content, std::string& error) {
  const std::filesystem::path target(path);
  const std::filesystem::path folder =
      target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
  // A leading dot: the textfile collector reads only "*.prom" files.
  std::string temp = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
  const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) {
    error = fmt::format("cannot create a file in {}: {}", folder.string(), std::strerror(errno));
    return false;
  }
  bool ok = ::fchmod(fd, 0644) == 0;
  for (std::size_t at = 0; ok && at < content.size();) {
    const ssize_t n = ::write(fd, content.data() + at, content.size() - at);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = false;
      break;
    }
    at += static_cast<std::size_t>(n);
  }
  const int savedErrno = errno;
  if (::close(fd) != 0 && ok) ok = false;
  if (ok && ::rename(temp.c_str(), path.c_str()) == 0) return true;
  error = fmt::format("cannot write {}: {}", path, std::strerror(ok ? errno : savedErrno));
  ::unlink(temp.c_str());
  return false;
}

MetricsFile::MetricsFile(std::string path, std::shared_ptr<platform::Clock> clock,
                         std::chrono::seconds smartInterval)
    : path_(std::move(path)),
      clock_(std::move(clock)),
      smartInterval_(smartInterval),
      smartReadAt_(clock_->Now()) {}

void MetricsFile::CountEvent(const EventRecord& record) {
  const std::size_t at = record.severity >= 1 && record.severity <= 3 ? record.severity : 0;
  ++counters_.events[at];
}

bool MetricsFile::PollDone(ctl::CControllerIo& io, const PollOutcome& outcome, std::string& error) {
  const auto now = clock_->Now();
  counters_.lastPoll = now;
  counters_.lastPollFailed = outcome.failedFetches != 0;
  if (!counters_.lastPollFailed) counters_.lastSuccessfulPoll = now;
  const bool smart = now - smartReadAt_ >= smartInterval_;
  if (smart) smartReadAt_ = now;
  RefreshForMetrics(io, smart);
  std::string text;
  {
    ctl::CControllerIo::Lock lock(io);
    text = FormatMetrics(io.Model(), counters_);
  }
  return WriteFileAtomically(path_, text, error);
}

}  // namespace kestrune::evt
