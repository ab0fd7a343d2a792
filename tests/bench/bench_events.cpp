// Events per second through the logger's per-event work: the text of a
// record (with its GPIO read to the simulated adapter) and its log entry,
// appended to a real UTF-16 file with an open and close per entry.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>

#include "controller/controller_io.h"
#include "events/event_record.h"
#include "events/event_text.h"
#include "events/log_file.h"
#include "platform/manual_clock.h"
#include "platform/recording_ui.h"
#include "platform/text.h"
#include "support/scenarios.h"
#include "support/test_machine.h"

namespace {

using namespace kestrune;

sim::Scenario OneRaidAdapter() {
  sim::AdapterSpec adapter = test::ExtendedRaidAdapter();
  for (std::uint8_t c = 0; c < 2; ++c) {
    sim::DiskSpec disk;
    disk.channel = c;
    disk.sectors = 488397168;
    adapter.disks.push_back(disk);
  }
  sim::Scenario scenario;
  scenario.adapters = {adapter};
  return scenario;
}

// A member-dropped record (GUID 4B705BF7-2A71-47CE-B026-76263ADA8717):
// set 0, member 1, port error, SRB status 8, device index 1.
evt::EventRecord DroppedMember() {
  std::vector<std::uint8_t> bytes(88, 0);
  const std::uint8_t guid[16] = {0xF7, 0x5B, 0x70, 0x4B, 0x71, 0x2A, 0xCE, 0x47,
                                 0xB0, 0x26, 0x76, 0x26, 0x3A, 0xDA, 0x87, 0x17};
  std::copy(std::begin(guid), std::end(guid), bytes.begin());
  const std::uint64_t stamp = 127229692290000000ULL;
  for (std::size_t i = 0; i < 8; ++i) bytes[24 + i] = static_cast<std::uint8_t>(stamp >> (8 * i));
  bytes[40] = 3;
  bytes[44] = 0;
  bytes[45] = 1;
  bytes[46] = 1;
  bytes[47] = 8;
  bytes[48] = 1;
  return evt::DecodeEventRecord(bytes);
}

struct Bench {
  machine::Machine machine;
  std::unique_ptr<ctl::CControllerIo> io;
  std::filesystem::path log;

  Bench() {
    machine = test::MakeTestMachine(
        test::TestMachineOptions(OneRaidAdapter(), std::make_shared<platform::ManualClock>()));
    io = std::make_unique<ctl::CControllerIo>(
        machine.ControllerServices(std::make_shared<platform::RecordingUi>()));
    io->Discover();
    log = std::filesystem::temp_directory_path() /
          ("kestrune-bench-" + std::to_string(::getpid()) + ".txt");
  }
  ~Bench() { std::filesystem::remove(log); }
};

void BM_FormatAndLogEvent(benchmark::State& state) {
  Bench bench;
  const std::wstring path = platform::FromUtf8(bench.log.string());
  evt::LogFileHandle held = evt::OpenLogFile(path, true);
  if (!held) {
    state.SkipWithError("cannot create the log file");
    return;
  }
  evt::EventFormatter formatter(*bench.io);
  const evt::EventRecord record = DroppedMember();
  std::wstring text;
  for (auto _ : state) {
    if (const auto led = formatter.FormatEvent(record, 0, text)) formatter.ApplyLedChange(0, *led);
    evt::WriteLogEntry(path, text, true);
    formatter.ClearMarks();
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FormatAndLogEvent)->Unit(benchmark::kMicrosecond);

void BM_FormatEventOnly(benchmark::State& state) {
  Bench bench;
  evt::EventFormatter formatter(*bench.io);
  const evt::EventRecord record = DroppedMember();
  std::wstring text;
  for (auto _ : state) {
    if (const auto led = formatter.FormatEvent(record, 0, text)) formatter.ApplyLedChange(0, *led);
    benchmark::DoNotOptimize(text.data());
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FormatEventOnly)->Unit(benchmark::kMicrosecond);

void BM_WriteLogEntryOnly(benchmark::State& state) {
  Bench bench;
  const std::wstring path = platform::FromUtf8(bench.log.string());
  evt::LogFileHandle held = evt::OpenLogFile(path, true);
  const std::wstring text =
      L"05-March-2004 14:07.09\tError         - Member dropped\n\t\tSet 0 dropped Channel 1 "
      L"Device on adapter 0 due to a port error. SRB status was Device Did Not Respond.\n";
  for (auto _ : state) evt::WriteLogEntry(path, text, true);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_WriteLogEntryOnly)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
