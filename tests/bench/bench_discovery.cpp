// Discovery plus the full refresh of the largest machine the model holds:
// four extended RAID adapters, four channels of fifteen disks, two sets each.
#include <benchmark/benchmark.h>

#include <memory>

#include "controller/controller_io.h"
#include "maximal_scenario.h"
#include "platform/manual_clock.h"
#include "platform/recording_ui.h"
#include "support/test_machine.h"

namespace {

using namespace kestrune;

using bench::MaximalScenario;

void BM_DiscoverMaximalMachine(benchmark::State& state) {
  const machine::Machine machine = test::MakeTestMachine(
      test::TestMachineOptions(MaximalScenario(), std::make_shared<platform::ManualClock>()));
  const ctl::ControllerServices services =
      machine.ControllerServices(std::make_shared<platform::RecordingUi>());
  for (auto _ : state) {
    ctl::CControllerIo io(services);
    const bool found = io.Discover();
    benchmark::DoNotOptimize(found);
    if (!found || io.Model().AdapterCount() != 4) state.SkipWithError("discovery failed");
  }
}
BENCHMARK(BM_DiscoverMaximalMachine)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
