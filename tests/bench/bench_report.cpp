// The configuration report of the largest machine the model holds: four
// extended RAID adapters, four channels of fifteen disks, two sets each.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "controller/controller_io.h"
#include "maximal_scenario.h"
#include "platform/manual_clock.h"
#include "platform/recording_ui.h"
#include "report/report.h"
#include "support/test_machine.h"

namespace {

using namespace kestrune;

using bench::MaximalScenario;

struct Machine {
  std::shared_ptr<platform::ManualClock> clock = std::make_shared<platform::ManualClock>();
  std::shared_ptr<platform::RecordingUi> ui = std::make_shared<platform::RecordingUi>();
  machine::Machine machine =
      test::MakeTestMachine(test::TestMachineOptions(MaximalScenario(), clock));
  ctl::CControllerIo io{machine.ControllerServices(ui)};
  bool ready = io.Discover() && io.Model().AdapterCount() == 4;
};

void BM_BuildReportMaximalMachine(benchmark::State& state) {
  Machine m;
  if (!m.ready) state.SkipWithError("discovery failed");
  rpt::RefreshForReport(m.io);
  std::size_t characters = 0;
  for (auto _ : state) {
    ctl::CControllerIo::Lock lock(m.io);
    const std::wstring report = rpt::BuildReport(m.io.Model(), L"15-January-2026 10:00.00");
    characters = report.size();
    benchmark::DoNotOptimize(report.data());
  }
  state.counters["characters"] = static_cast<double>(characters);
}
BENCHMARK(BM_BuildReportMaximalMachine)->Unit(benchmark::kMillisecond);

void BM_RefreshAndBuildReportMaximalMachine(benchmark::State& state) {
  Machine m;
  if (!m.ready) state.SkipWithError("discovery failed");
  for (auto _ : state) {
    const std::wstring report = rpt::ProduceReportText(m.io, *m.clock, *m.ui);
    benchmark::DoNotOptimize(report.data());
  }
}
BENCHMARK(BM_RefreshAndBuildReportMaximalMachine)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
