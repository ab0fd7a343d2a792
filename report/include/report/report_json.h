// The configuration report as JSON, for scripts and fleet tools: the same
// machine the text report describes (computer, adapters with their channels
// and device slots, RAID sets with their members), with counts and flags as
// JSON numbers and booleans and the model's texts as they are. The layout is
// documented in docs/kestrune-report.md; "format" names its version.
#pragma once

#include <string>

#include "controller/controller_io.h"
#include "controller/model.h"
#include "platform/clock.h"
#include "platform/ui_services.h"

namespace kestrune::rpt {

inline constexpr char kReportJsonFormat[] = "kestrune-report/1";

// UTF-8 JSON text, indented, ending in a line feed. `nowText` is the time
// the text report's title line shows. The caller holds the model lock.
std::string BuildReportJson(const ctl::ConfigurationModel& model, const std::wstring& nowText);

// The same refresh as the text report's, then the JSON, under one hold of the
// model lock.
std::string ProduceReportJson(ctl::CControllerIo& io, platform::Clock& clock,
                              platform::UiServices& ui);

}  // namespace kestrune::rpt
