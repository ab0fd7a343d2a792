// Metrics in the Prometheus text exposition format, for node_exporter's
// textfile collector: the state of every RAID set and member, rebuild
// progress, spare drives and SMART status from the configuration model, the
// events counted by severity and the state of the polls. Metric names and an
// alert example are in docs/kestrune-monitor.md.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "controller/controller_io.h"
#include "controller/model.h"
#include "events/event_log_thread.h"
#include "events/event_record.h"
#include "platform/clock.h"

namespace kestrune::evt {

// What the model does not hold: counts since the start and the polls.
struct MetricsCounters {
  // By severity: [0] any other value, [1] Informational, [2] Warning,
  // [3] Error.
  std::array<std::uint64_t, 4> events{};
  std::uint64_t mailFailures = 0;
  std::optional<std::chrono::system_clock::time_point> lastPoll;
  std::optional<std::chrono::system_clock::time_point> lastSuccessfulPoll;
  bool lastPollFailed = false;
};

// The exposition text. The caller holds the model lock.
std::string FormatMetrics(const ctl::ConfigurationModel& model, const MetricsCounters& counters);

// A label value as the exposition format writes it: backslash, double quote
// and line feed escaped.
std::string EscapeLabelValue(std::string_view value);

// Reads again what the metrics show and a poll does not keep current: the
// sets (states, members, rebuild progress) and spare drives of every RAID
// adapter, and with `smart` every present disk's SMART status. A failed set
// query is silent and leaves its sets "UNKNOWN"; the spare drives are then
// not asked for, so that a driver that has gone does not bring a message box
// every poll.
void RefreshForMetrics(ctl::CControllerIo& io, bool smart);

// Replaces the file at `path` whole: the content goes into a temporary file
// in the same folder (named so that the textfile collector skips it), which
// is then renamed over the path, so a reader sees the old file or the new one,
// never a part. The file is made readable for everyone (the collector runs
// as another user). False, with the reason, when that fails.
bool WriteFileAtomically(const std::string& path, std::string_view content, std::string& error);

// The monitor's metrics file: counts the events and mail failures the
// logger reports, and after every poll refreshes the model, formats the
// metrics and writes the file. Used on the logger thread only.
class MetricsFile {
 public:
  // SMART status is read at most every `smartInterval` (disks are asked
  // little; discovery has read it once at the start).
  MetricsFile(std::string path, std::shared_ptr<platform::Clock> clock,
              std::chrono::seconds smartInterval = std::chrono::minutes(5));

  void CountEvent(const EventRecord& record);
  void CountMailFailure() { ++counters_.mailFailures; }
  // Refreshes, formats and writes; false (with the reason) when the file
  // cannot be written.
  bool PollDone(ctl::CControllerIo& io, const PollOutcome& outcome, std::string& error);

  const MetricsCounters& Counters() const { return counters_; }

 private:
  std::string path_;
  std::shared_ptr<platform::Clock> clock_;
  std::chrono::seconds smartInterval_;
  std::chrono::system_clock::time_point smartReadAt_;
  MetricsCounters counters_;
};

}  // namespace kestrune::evt
