// The configuration report as JSON, for scripts and fleet tools: the same
// machine the text report describes (computer, adapters with their channels
// and device slots, RAID sets with their members), with numbers as JSON
// numbers, switches as booleans, null where the driver did not say, and the
// model's other texts as they are. The layout is
// documented in docs/kestrune-report.md; "format" names its version.
#pragma once

#include <chrono>
#include <string>

#include "controller/controller_io.h"
#include "controller/model.h"
#include "platform/clock.h"
#include "platform/ui_services.h"

namespace kestrune::rpt {

inline constexpr char kReportJsonFormat[] = "kestrune-report/2";

// When the report was made: as the text report's title line shows it, and
// as ISO 8601 with the local offset ("2026-01-15T10:00:00+01:00").
struct ReportTime {
  std::wstring text;
  std::string iso8601;
};
ReportTime ReportTimeAt(std::chrono::system_clock::time_point at);

// UTF-8 JSON text, indented, ending in a line feed. The caller holds the
// model lock.
std::string BuildReportJson(const ctl::ConfigurationModel& model, const ReportTime& time);

// The same refresh as the text report's, then the JSON, under one hold of the
// model lock.
std::string ProduceReportJson(ctl::CControllerIo& io, platform::Clock& clock,
                              platform::UiServices& ui);

}  // namespace kestrune::rpt
