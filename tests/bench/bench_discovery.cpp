// Discovery plus the full refresh of the largest machine the model holds:
// four extended RAID adapters, four channels of fifteen disks, two sets each.
#include <benchmark/benchmark.h>

#include <memory>

#include "controller/controller_io.h"
#include "platform/linux_files.h"
#include "platform/manual_clock.h"
#include "platform/recording_ui.h"
#include "simulator/simulator.h"
#include "maximal_scenario.h"

namespace {

using namespace kestrune;

using bench::MaximalScenario;

void BM_DiscoverMaximalMachine(benchmark::State& state) {
  auto clock = std::make_shared<platform::ManualClock>();
  sim::Simulator simulator(MaximalScenario(), clock, platform::MakeLinuxFiles());
  ctl::ControllerServices services{simulator.DeviceControl(), simulator.DeviceManager(), nullptr,
                                   simulator.Files(), std::make_shared<platform::RecordingUi>(),
                                   clock};
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
