// The composition root: which backend and registry it picks, and that what it
// hands out is wired to them.
#include "machine/machine.h"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "platform/manual_clock.h"
#include "platform/recording_ui.h"
#include "platform/temp_dir.h"
#include "support/fixed_system.h"
#include "support/scoped_env.h"
#include "support/test_machine.h"

namespace kestrune::machine {
namespace {

using test::ScopedEnv;

MachineOptions Quiet() {
  MachineOptions options;
  options.clock = std::make_shared<platform::ManualClock>();
  options.registryPath = ":memory:";
  return options;
}

// The text of a registry value, or "<missing>".
std::wstring RegistryText(platform::Registry& registry, const std::wstring& path,
                          const std::wstring& name) {
  platform::RegKey key = platform::kNullKey;
  if (registry.OpenKey(path, key) != platform::RegStatus::Ok) return L"<missing>";
  std::array<std::uint8_t, 440> buffer{};
  platform::RegType type = platform::RegType::None;
  std::size_t size = 0;
  const bool read = registry.QueryValue(key, name, type, buffer, size) == platform::RegStatus::Ok;
  registry.CloseKey(key);
  return read ? platform::DecodeRegSz(std::span(buffer).first(size)) : L"<missing>";
}

TEST(MachineBackend, BadScenarioFileGivesAnErrorNamingIt) {
  testing::TempDir dir;
  const std::string bad = dir.File("bad-scenario.json");
  std::ofstream(bad) << "{ \"adapters\": [ { \"name\": ";
  for (const std::string& path : {bad, dir.File("no-such-scenario.json")}) {
    ScopedEnv env("KESTRUNE_SCENARIO", path.c_str());
    std::string error;
    const Machine made = MakeMachine(Quiet(), error);
    EXPECT_FALSE(made);
    EXPECT_NE(error.find(path), std::string::npos) << error;
  }
}

TEST(MachineBackend, WithoutAScenarioFileTheDefaultMachineRuns) {
  ScopedEnv env("KESTRUNE_SCENARIO", "");
  std::string error = "stale";
  const Machine made = MakeMachine(Quiet(), error);
  ASSERT_TRUE(made) << error;
  EXPECT_TRUE(error.empty());
  ASSERT_NE(made.Simulator(), nullptr);
  EXPECT_GT(made.Simulator()->Driver()->PortCount(), 0u);
  const auto services = made.ControllerServices(nullptr);
  EXPECT_NE(services.deviceControl->Open(L"\\\\.\\scsi0:", nullptr),
            platform::kInvalidDeviceHandle);
}

TEST(MachineBackend, AScenarioGivenByTheCallerWinsOverTheEnvironment) {
  ScopedEnv env("KESTRUNE_SCENARIO", "/nonexistent/scenario.json");
  MachineOptions options = Quiet();
  options.scenario = sim::Scenario{};  // no adapter at all
  std::string error;
  const Machine empty = MakeMachine(options, error);
  ASSERT_TRUE(empty) << error;
  EXPECT_EQ(empty.Simulator()->Driver()->PortCount(), 0u);

  options.scenario.reset();
  options.scenarioText = "{ \"adapters\": [ {} ] }";
  const Machine fromText = MakeMachine(options, error);
  ASSERT_TRUE(fromText) << error;
  EXPECT_EQ(fromText.Simulator()->Driver()->PortCount(), 1u);

  options.scenarioText = "{ \"adapters\": ";
  options.scenarioOrigin = "the test's text";
  EXPECT_FALSE(MakeMachine(options, error));
  EXPECT_NE(error.find("the test's text"), std::string::npos) << error;
}

TEST(MachineRegistry, PathFromTheCallerElseTheEnvironment) {
  testing::TempDir dir;
  ScopedEnv env("KESTRUNE_REGISTRY", dir.File("chosen.db").c_str());
  MachineOptions options = Quiet();
  options.registryPath.clear();
  std::string error;
  ASSERT_TRUE(MakeMachine(options, error)) << error;
  EXPECT_TRUE(std::filesystem::exists(dir.File("chosen.db")));

  // A folder is no database: the machine is not made, and the error says why.
  options.registryPath = dir.path().string();
  EXPECT_FALSE(MakeMachine(options, error));
  EXPECT_NE(error.find(dir.path().string()), std::string::npos) << error;
}

TEST(MachineRegistry, AnswersTheBackendsMediaFolderAndTheGivenSystem) {
  auto options =
      test::TestMachineOptions(sim::DefaultScenario(), std::make_shared<platform::ManualClock>());
  const Machine made = test::MakeTestMachine(options);
  const std::wstring versionKey = L"Software\\Microsoft\\Windows\\CurrentVersion";
  EXPECT_EQ(RegistryText(*made.Registry(), versionKey, L"MediaPath"),
            made.Simulator()->MediaPath());
  EXPECT_EQ(RegistryText(*made.Registry(),
                         L"System\\CurrentControlSet\\Control\\ComputerName\\ComputerName",
                         L"ComputerName"),
            L"WORKSTATION");

  // The registry alone (kestrune-reg) has no media folder to answer.
  std::string error;
  const auto alone = OpenRegistry(options, L"", error);
  ASSERT_NE(alone, nullptr) << error;
  EXPECT_EQ(RegistryText(*alone, versionKey, L"MediaPath"), L"<missing>");
}

TEST(MachineServices, AControllerGetsTheMachinesPartsAndTheGivenUi) {
  auto clock = std::make_shared<platform::ManualClock>();
  auto options = test::TestMachineOptions(sim::DefaultScenario(), clock);
  std::shared_ptr<platform::DeviceControl> inner;
  options.wrapDeviceControl = [&](std::shared_ptr<platform::DeviceControl> control) {
    inner = control;
    return control;
  };
  const Machine made = test::MakeTestMachine(options);
  auto ui = std::make_shared<platform::RecordingUi>();
  const ctl::ControllerServices services = made.ControllerServices(ui);
  EXPECT_EQ(services.deviceControl, inner);
  EXPECT_EQ(services.deviceInstaller, made.Simulator()->DeviceManager());
  EXPECT_EQ(services.files, made.Simulator()->Files());
  EXPECT_EQ(services.registry, made.Registry());
  EXPECT_EQ(services.ui, ui);
  EXPECT_EQ(services.clock, clock);
  EXPECT_EQ(made.Sound(), options.sound);
}

}  // namespace
}  // namespace kestrune::machine
