// The configuration report of the largest machine the model holds: four
// extended RAID adapters, four channels of fifteen disks, two sets each.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "controller/controller_io.h"
#include "platform/linux_files.h"
#include "platform/manual_clock.h"
#include "platform/recording_ui.h"
#include "report/report.h"
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

struct Machine {
  std::shared_ptr<platform::ManualClock> clock = std::make_shared<platform::ManualClock>();
  std::shared_ptr<platform::RecordingUi> ui = std::make_shared<platform::RecordingUi>();
  sim::Simulator simulator{MaximalScenario(), clock, platform::MakeLinuxFiles()};
  ctl::CControllerIo io{{simulator.DeviceControl(), simulator.DeviceManager(), nullptr,
                         simulator.Files(), ui, clock}};
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
