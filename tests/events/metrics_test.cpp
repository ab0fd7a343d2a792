// The monitor's metrics: what they say of the model and the polls, the label
// escaping, the atomic file, and the logger's hooks that feed them.
#include "events/metrics.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "logger_rig.h"

namespace kestrune::test {
namespace {

// Sample lines by "name{labels}"; comment lines are left out.
std::map<std::string, std::string> Samples(const std::string& text) {
  std::map<std::string, std::string> samples;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    const auto space = line.rfind(' ');
    samples[line.substr(0, space)] = line.substr(space + 1);
  }
  return samples;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

constexpr char kSet[] = R"(adapter="0",set="0",name="BV MIRRORED SET")";

std::string Member(int member, int device, const char* state) {
  return std::string("kestrune_member_state{") + kSet + ",member=\"" + std::to_string(member) +
         "\",device_index=\"" + std::to_string(device) + "\",location=\"Channel " +
         std::to_string(device) + " Device\",state=\"" + state + "\"}";
}

// The default machine before and after its mirror member drops and the spare
// on channel 2 takes its place.
TEST(Metrics, SetsMembersSparesAndSmartFollowTheMachine) {
  auto clock = std::make_shared<platform::ManualClock>();
  const machine::Machine machine = MakeTestMachine(TestMachineOptions(sim::DefaultScenario(), clock));
  ctl::CControllerIo io(machine.ControllerServices(std::make_shared<platform::RecordingUi>()));
  io.Discover();
  auto metrics = [&] {
    evt::RefreshForMetrics(io, true);
    ctl::CControllerIo::Lock lock(io);
    return Samples(evt::FormatMetrics(io.Model(), {}));
  };

  auto before = metrics();
  EXPECT_EQ(before["kestrune_adapters"], "2");
  const std::string setState =
      std::string("kestrune_set_state{") + kSet + ",location=\"Channel 0 Device\",state=";
  EXPECT_EQ(before[setState + "\"Online\"}"], "1");
  EXPECT_EQ(before[setState + "\"Sync\"}"], "0");
  EXPECT_EQ(before[Member(1, 1, "Current")], "1");
  EXPECT_EQ(before["kestrune_spare_drives{adapter=\"0\"}"], "1");
  EXPECT_EQ(before.count("kestrune_spare_drives{adapter=\"1\"}"), 0u);  // no RAID chip
  EXPECT_EQ(before[R"(kestrune_device_smart_status{adapter="0",device_index="0",location="Channel 0 Device",model="NORRIK NS250-SA2",serial="NS2A0613K4471",status="OK"})"],
            "1");
  // The older adapter's CD-ROM has no SMART.
  EXPECT_EQ(before[R"(kestrune_device_smart_status{adapter="1",device_index="2",location="Channel 2 Device",model="ORVANE CDR-5200",serial="OV52C0410377",status="N/A"})"],
            "1");
  EXPECT_EQ(before["kestrune_last_successful_poll_timestamp_seconds"], "0");

  clock->Advance(std::chrono::seconds(17));
  auto after = metrics();
  EXPECT_EQ(after[Member(0, 0, "Current")], "1");
  EXPECT_EQ(after[Member(1, 2, "Rebuild")], "1");
  EXPECT_EQ(after[Member(1, 2, "Current")], "0");
  const std::string percent = after["kestrune_member_rebuild_percent{" + std::string(kSet) +
                                    R"(,member="1",device_index="2",location="Channel 2 Device"})"];
  ASSERT_FALSE(percent.empty());
  EXPECT_LT(std::stoi(percent), 100);
  // The spare has joined the set: none is left.
  EXPECT_EQ(after["kestrune_spare_drives{adapter=\"0\"}"], "0");
}

TEST(Metrics, LabelValuesAreEscaped) {
  EXPECT_EQ(evt::EscapeLabelValue("plain"), "plain");
  EXPECT_EQ(evt::EscapeLabelValue("a\\b\"c\nd"), "a\\\\b\\\"c\\nd");
}

TEST(Metrics, FileIsReplacedWholeAndReadableByAll) {
  testing::TempDir dir;
  const std::string path = dir.File("kestrune.prom");
  std::string error;
  ASSERT_TRUE(evt::WriteFileAtomically(path, "first\n", error)) << error;
  ASSERT_TRUE(evt::WriteFileAtomically(path, "second\n", error)) << error;
  EXPECT_EQ(ReadFile(path), "second\n");
  struct stat info {};
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0644u);
  // Nothing else is left in the folder.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);

  EXPECT_FALSE(evt::WriteFileAtomically(dir.File("missing/kestrune.prom"), "x", error));
  EXPECT_NE(error.find("missing"), std::string::npos) << error;
}

// The logger's hooks: every event by its severity, and each poll's outcome,
// a failed fetch included.
TEST(Metrics, LoggerCountsEventsAndPolls) {
  sim::Scenario scenario =
      OneAdapter({RawStep(0, Udma(1)), RawStep(0, Udma(3)), RawStep(0, Udma(3)), RawStep(0, Udma(9))});
  sim::FaultSpec fault;
  fault.request = "FetchEvents";
  fault.times = 1;
  scenario.faults = {fault};
  LoggerRig rig(std::move(scenario));
  const std::string path = rig.dir.File("kestrune.prom");
  evt::MetricsFile metrics(path, rig.clock);
  std::vector<evt::PollOutcome> outcomes;
  rig.adjustOptions = [&](evt::EventLogThreadOptions& options) {
    options.onEvent = [&](const evt::EventRecord& record, std::uint32_t) {
      metrics.CountEvent(record);
    };
    options.onPollDone = [&](const evt::PollOutcome& outcome) {
      outcomes.push_back(outcome);
      std::string error;
      EXPECT_TRUE(metrics.PollDone(*rig.io, outcome, error)) << error;
    };
  };
  rig.MakeLogger(1ms);
  ASSERT_TRUE(rig.logger->Start());
  ASSERT_TRUE(rig.Poll(2));
  ASSERT_TRUE(rig.WaitFor(evt::LogEntryKind::Event, 4));
  ASSERT_TRUE(rig.Poll());
  rig.logger->Stop();

  ASSERT_GE(outcomes.size(), 2u);
  EXPECT_EQ(outcomes[0].adapters, 1u);
  EXPECT_EQ(outcomes[0].failedFetches, 1u);
  EXPECT_EQ(outcomes.back().failedFetches, 0u);
  auto samples = Samples(ReadFile(path));
  EXPECT_EQ(samples["kestrune_events_total{severity=\"informational\"}"], "1");
  EXPECT_EQ(samples["kestrune_events_total{severity=\"warning\"}"], "0");
  EXPECT_EQ(samples["kestrune_events_total{severity=\"error\"}"], "2");
  EXPECT_EQ(samples["kestrune_events_total{severity=\"other\"}"], "1");
  EXPECT_EQ(samples["kestrune_last_poll_failed"], "0");
  // 2026-01-15 10:00:00 UTC, the virtual clock's time, and three polls of
  // 1 ms each.
  EXPECT_EQ(samples["kestrune_last_successful_poll_timestamp_seconds"], "1768471200.003");
}

// One, two and three digits: a member at 100 % (a driver may answer that
// before the member turns current) keeps its percent.
TEST(Metrics, RebuildPercentAtEachWidthUpToAHundred) {
  sim::Scenario scenario = sim::DefaultScenario();
  scenario.timeline.clear();
  scenario.adapters[0].sets[0].members[1].state = sim::MemberState::Rebuild;
  auto clock = std::make_shared<platform::ManualClock>();
  const machine::Machine machine = MakeTestMachine(TestMachineOptions(scenario, clock));
  ctl::CControllerIo io(machine.ControllerServices(std::make_shared<platform::RecordingUi>()));
  io.Discover();
  evt::RefreshForMetrics(io, true);
  ctl::CControllerIo::Lock lock(io);
  // The rebuilding member.
  ctl::SetRecord& set = io.Model().Adapter(0)->sets[0];
  ctl::MemberRecord& member =
      *std::find_if(set.members.begin(), set.members.end(),
                    [](const ctl::MemberRecord& m) { return m.state == L"Rebuild"; });
  const int device = member.deviceIndex;
  for (const int percent : {0, 7, 99, 100}) {
    member.rebuildPercent = std::to_wstring(percent) + L" %";
    auto samples = Samples(evt::FormatMetrics(io.Model(), {}));
    EXPECT_EQ(samples["kestrune_member_rebuild_percent{" + std::string(kSet) + R"(,member="1",device_index=")" +
                      std::to_string(device) + R"(",location="Channel )" + std::to_string(device) +
                      R"( Device"})"],
              std::to_string(percent));
  }
}

}  // namespace
}  // namespace kestrune::test
