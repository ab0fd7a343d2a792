#include "events/event_program.h"

#include <algorithm>
#include <cstring>

#include "events/event_journal.h"
#include "events/event_time.h"
#include "platform/child_process.h"
#include "platform/text.h"
#include "resources/strings.h"
#include "settings/app_settings.h"

namespace kestrune::evt {

std::chrono::milliseconds ProgramTimeLimit(std::uint32_t seconds) {
  if (seconds == 0) seconds = settings::kDefaultProgramTimeLimit;
  return std::chrono::seconds(std::min(seconds, settings::kMaxProgramTimeLimit));
}

ProgramEnvironment EventProgramEnvironment(const EventRecord& record, std::uint32_t adapterNumber,
                                           const std::wstring& text) {
  ProgramEnvironment environment;
  for (platform::JournalField& field : EventJournalFields(record, adapterNumber))
    environment.emplace_back(std::move(field.name), std::move(field.value));
  const char* severity = "Unknown";
  switch (record.severity) {
    case static_cast<std::uint32_t>(EventSeverity::Informational):
      severity = "Informational";
      break;
    case static_cast<std::uint32_t>(EventSeverity::Warning):
      severity = "Warning";
      break;
    case static_cast<std::uint32_t>(EventSeverity::Error):
      severity = "Error";
      break;
    default:
      break;
  }
  environment.emplace_back("KESTRUNE_SEVERITY_NAME", severity);
  const std::tm utc = FiletimeToUtc(record.timeStamp);
  environment.emplace_back(
      "KESTRUNE_TIME",
      fmt::format("{:04d}-{:02d}-{:02d}T{:02d}:{:02d}:{:02d}Z", utc.tm_year + 1900, utc.tm_mon + 1,
                  utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec));
  // An environment value ends at a NUL; the text has none that matters.
  std::string utf8 = platform::ToUtf8(text);
  utf8.erase(std::remove(utf8.begin(), utf8.end(), '\0'), utf8.end());
  environment.emplace_back("KESTRUNE_TEXT", std::move(utf8));
  return environment;
}

bool RunEventProgram(const EventProgramRun& run, std::wstring& error,
                     const std::shared_ptr<platform::StopSignal>& stop,
                     platform::Journal* journal) {
  if (run.program.empty() || run.program.front() != L'/') {
    error = res::FormatString(res::kStrProgramNotAbsolute, run.program);
    return false;
  }
  platform::ProgramRequest request;
  request.path = platform::ToUtf8(run.program);
  request.environment = run.environment;
  request.input = platform::ToUtf8(run.text);
  request.timeLimit = run.timeLimit;
  if (journal != nullptr) {
    request.output = [&](bool errorStream, const std::string& line) {
      std::vector<platform::JournalField> fields{
          {"KESTRUNE_ENTRY", "program-output"},
          {"KESTRUNE_PROGRAM_STREAM", errorStream ? "stderr" : "stdout"}};
      fields.insert(fields.end(), run.journalFields.begin(), run.journalFields.end());
      journal->Send(
          errorStream ? platform::JournalPriority::Warning : platform::JournalPriority::Info, line,
          fields);
    };
  }
  const platform::ProgramResult result = platform::RunProgram(request, stop);
  using Kind = platform::ProgramResult::Kind;
  switch (result.kind) {
    case Kind::Exited:
      if (result.code == 0) return true;
      error = res::FormatString(res::kStrProgramExited, run.program, result.code);
      return false;
    case Kind::Signaled:
      error = res::FormatString(res::kStrProgramKilled, run.program, result.code);
      return false;
    case Kind::TimedOut: {
      const auto seconds =
          std::chrono::duration_cast<std::chrono::milliseconds>(run.timeLimit).count();
      error = res::FormatString(res::kStrProgramTimedOut, run.program,
                                static_cast<int>((seconds + 999) / 1000));
      return false;
    }
    case Kind::Stopped:
      return false;
    case Kind::NotStarted:
      error = res::FormatString(res::kStrProgramNotStarted, run.program,
                                platform::FromUtf8(std::strerror(result.code)));
      return false;
  }
  return false;
}

}  // namespace kestrune::evt
