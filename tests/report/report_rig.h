// A controller over the test machine with a fixed computer, program and time
// zone, so that report texts can be written out by hand.
#pragma once

#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "controller/controller_io.h"
#include "platform/manual_clock.h"
#include "platform/recording_ui.h"
#include "report/report.h"
#include "simulator/scenario.h"
#include "support/test_machine.h"

namespace kestrune::test {

inline constexpr wchar_t kNow[] = L"15-January-2026 10:00.00";

struct ReportMachine {
  std::shared_ptr<platform::ManualClock> clock = std::make_shared<platform::ManualClock>();
  std::shared_ptr<platform::RecordingUi> ui = std::make_shared<platform::RecordingUi>();
  machine::Machine machine;
  std::shared_ptr<platform::Registry> registry;
  std::unique_ptr<ctl::CControllerIo> io;

  explicit ReportMachine(sim::Scenario scenario) {
    // File dates and the clock's text are local times.
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    machine = MakeTestMachine(TestMachineOptions(std::move(scenario), clock));
    registry = machine.Registry();
    io = std::make_unique<ctl::CControllerIo>(machine.ControllerServices(ui));
    io->ReadComputerInfo();
    {
      ctl::CControllerIo::Lock lock(*io);
      io->Model().program.productName = L"Kestrune";
      io->Model().program.productVersion = L"1.0.0.7";
    }
    io->Discover();
  }

  // Refreshed and built as the program does, at the fixed time.
  std::wstring Report() {
    ctl::CControllerIo::Lock lock(*io);
    rpt::RefreshForReport(*io);
    return rpt::BuildReport(io->Model(), kNow);
  }
};

// The lines of a text ended by "\r\n"; a text that does not end so gets a
// last line "<no line end>".
inline std::vector<std::wstring> Lines(const std::wstring& text) {
  std::vector<std::wstring> lines;
  std::size_t at = 0;
  for (;;) {
    const std::size_t end = text.find(L"\r\n", at);
    if (end == std::wstring::npos) break;
    lines.push_back(text.substr(at, end - at));
    at = end + 2;
  }
  if (at != text.size()) lines.push_back(L"<no line end>");
  return lines;
}

}  // namespace kestrune::test
