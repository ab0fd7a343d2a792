// Discovery plus the full refresh of the largest machine the model holds:
// four extended RAID adapters, four channels of fifteen disks, two sets each.
#include <benchmark/benchmark.h>

#include <memory>

#include "controller/controller_io.h"
#include "platform/linux_files.h"
#include "platform/manual_clock.h"
#include "platform/recording_ui.h"
#include "simulator/simulator.h"

namespace {

using namespace kestrune;

sim::Scenario MaximalScenario() {
  sim::Scenario scenario;
  for (int a = 0; a < 4; ++a) {
    sim::AdapterSpec adapter;
    adapter.driverMajor = 2;
    adapter.driverMinor = 1;
    adapter.chipId = 0x7420;
    adapter.chipType = 2;
    adapter.name = "bv7420r";
    adapter.adapterId = static_cast<std::uint32_t>(a + 1);
    adapter.pciBus = static_cast<std::uint32_t>(a + 2);
    adapter.channels = 4;
    adapter.devicesPerChannel = 15;
    for (std::uint8_t c = 0; c < 4; ++c) {
      for (std::uint8_t d = 0; d < 15; ++d) {
        sim::DiskSpec disk;
        disk.channel = c;
        disk.device = d;
        disk.sectors = 488397168;
        disk.serial = "BENCH" + std::to_string(a * 100 + c * 15 + d);
        adapter.disks.push_back(disk);
      }
    }
    for (std::uint8_t s = 0; s < 2; ++s) {
      sim::SetSpec set;
      set.type = sim::SetType::Mirrored;
      set.members = {{static_cast<std::uint8_t>(s * 2), 0, sim::MemberState::Current, 0},
                     {static_cast<std::uint8_t>(s * 2 + 1), 1, sim::MemberState::Current, 0}};
      adapter.sets.push_back(set);
    }
    scenario.adapters.push_back(adapter);
  }
  return scenario;
}

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
