#include "machine/machine.h"

#include <cerrno>
#include <cstdlib>
#include <utility>
#include <variant>

#include "platform/linux_files.h"
#include "platform/registry.h"

#include <unistd.h>

namespace kestrune::machine {
namespace {

// The scenario the options name; false and the reason when it cannot be read.
bool ChooseScenario(const MachineOptions& options, sim::Scenario& scenario, std::string& error) {
  if (options.scenario) {
    scenario = *options.scenario;
    return true;
  }
  std::variant<sim::Scenario, sim::ScenarioError> loaded;
  std::string origin;
  if (options.scenarioText) {
    origin = options.scenarioOrigin;
    loaded = sim::ParseScenario(*options.scenarioText, origin);
  } else if (const char* path = std::getenv("KESTRUNE_SCENARIO");
             path != nullptr && *path != '\0') {
    origin = path;
    loaded = sim::LoadScenarioFile(path);
  } else {
    scenario = sim::DefaultScenario();
    return true;
  }
  if (auto* failure = std::get_if<sim::ScenarioError>(&loaded)) {
    error = failure->message;
    if (error.find(origin) == std::string::npos) error = origin + ": " + error;
    return false;
  }
  scenario = std::get<sim::Scenario>(std::move(loaded));
  return true;
}

std::string EnvOr(const char* name, const char* fallback) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? std::string(value) : std::string(fallback);
}

// The setting "Allow Disk Changes" (a DWORD, 1 = on) under the program's key.
bool DiskChangesAllowed(platform::Registry& registry) {
  platform::RegKey key = platform::kNullKey;
  if (registry.OpenKey(L"Software\\Brevalis\\Kestrune", key) != platform::RegStatus::Ok)
    return false;
  platform::RegType type = platform::RegType::None;
  std::uint8_t data[4] = {};
  std::size_t size = 0;
  const bool on = registry.QueryValue(key, kAllowDiskChanges, type, data, size) ==
                      platform::RegStatus::Ok &&
                  type == platform::RegType::Dword && size == 4 && data[0] == 1 && data[1] == 0 &&
                  data[2] == 0 && data[3] == 0;
  registry.CloseKey(key);
  return on;
}

}  // namespace

ctl::ControllerServices Machine::ControllerServices(
    std::shared_ptr<platform::UiServices> ui) const {
  ctl::ControllerServices services;
  // The backend's three interfaces.
  services.deviceControl = deviceControl_;
  services.deviceInstaller = deviceInstaller_;
  services.files = files_;
  services.registry = registry_;
  services.ui = std::move(ui);
  services.clock = clock_;
  return services;
}

Machine MakeMachine(const MachineOptions& options, std::string& error) {
  error.clear();
  Machine machine;
  machine.clock_ = options.clock ? options.clock : platform::MakeSystemClock();

  std::string backend = options.backend;
  // A test that gives a scenario means the simulator.
  if (backend.empty() && (options.scenario || options.scenarioText)) backend = "simulator";
  if (backend.empty()) backend = EnvOr("KESTRUNE_BACKEND", "simulator");
  // Every change to the machine's disks, made or refused, goes to the journal
  // with its reason too (the log's entry has room for a line only).
  auto journalHolder = std::make_shared<std::shared_ptr<platform::Journal>>();
  const std::shared_ptr<platform::Files> realFiles =
      options.realFiles ? options.realFiles : platform::MakeLinuxFiles();
  std::wstring mediaPath;
  // A tree that stands for a machine (a test's fixture, a user's recording)
  // names disks of another machine: this one's are never asked or changed on
  // its word.
  bool ownMachine = false;
  if (backend == "linux") {
    host::HostOptions host = options.host;
    if (host.root.empty() || host.root == "/") host.root = EnvOr("KESTRUNE_SYSFS_ROOT", "/");
    ownMachine = host.root == "/";
    if (!host.clock) host.clock = machine.clock_;
    if (!host.realFiles) host.realFiles = realFiles;
    if (ownMachine) {
      if (!host.runner) host.runner = host::MakeProcessRunner();
      if (!host.signatures) host.signatures = host::MakeBlkidProbe();
      if (!host.smart) host.smart = host::MakeSystemSmartProbe();
    }
    host.changeLog = [journalHolder, inner = host.changeLog](const host::ChangeRecord& record) {
      if (inner) inner(record);
      if (!*journalHolder) return;
      std::string message = "Disk change " + std::string(record.done ? "made: " : "refused: ") +
                            record.what + (record.reason.empty() ? "" : " (" + record.reason + ")");
      std::string command;
      for (const std::string& a : record.command) command += (command.empty() ? "" : " ") + a;
      (*journalHolder)
          ->Send(record.done ? platform::JournalPriority::Notice : platform::JournalPriority::Warning,
                 message, {{"KESTRUNE_ENTRY", "disk-change"}, {"KESTRUNE_COMMAND", command}});
    };
    machine.host_ = host::HostBackend::Start(std::move(host));
    machine.deviceControl_ = machine.host_->DeviceControl();
    machine.deviceInstaller_ = machine.host_->DeviceManager();
    machine.files_ = machine.host_->Files();
    mediaPath = machine.host_->MediaPath();
  } else if (backend == "simulator") {
    sim::Scenario scenario;
    if (!ChooseScenario(options, scenario, error)) return {};
    machine.simulator_ =
        std::make_shared<sim::Simulator>(std::move(scenario), machine.clock_, realFiles);
    machine.deviceControl_ = machine.simulator_->DeviceControl();
    machine.deviceInstaller_ = machine.simulator_->DeviceManager();
    machine.files_ = machine.simulator_->Files();
    mediaPath = machine.simulator_->MediaPath();
  } else {
    error = "KESTRUNE_BACKEND: unknown backend \"" + backend + "\" (simulator or linux)";
    return {};
  }
  if (options.wrapDeviceControl)
    machine.deviceControl_ = options.wrapDeviceControl(machine.deviceControl_);

  machine.registry_ = OpenRegistry(options, mediaPath, error);
  if (!machine.registry_) return {};
  if (machine.host_) {
    // Changes to real disks: root only, only to the machine itself, and only
    // when the administrator switched them on.
    machine.host_->SetChangesAllowed(ownMachine && ::geteuid() == 0 &&
                                     DiskChangesAllowed(*machine.registry_));
  }
  machine.sound_ = options.sound ? options.sound : platform::MakeSystemSound();
  // Entries carry the program's name (kestrune, kestrune-monitor).
  machine.journal_ =
      options.journal ? *options.journal : platform::MakeSystemJournal(program_invocation_short_name);
  *journalHolder = machine.journal_;
  return machine;
}

}  // namespace kestrune::machine
