#include "machine/machine.h"

#include <cerrno>
#include <cstdlib>
#include <utility>
#include <variant>

#include "platform/linux_files.h"

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

}  // namespace

ctl::ControllerServices Machine::ControllerServices(
    std::shared_ptr<platform::UiServices> ui) const {
  ctl::ControllerServices services;
  // The backend's three interfaces: today the simulator's, a real driver
  // backend's in its place.
  services.deviceControl = deviceControl_;
  services.deviceInstaller = simulator_->DeviceManager();
  services.files = simulator_->Files();
  services.registry = registry_;
  services.ui = std::move(ui);
  services.clock = clock_;
  return services;
}

Machine MakeMachine(const MachineOptions& options, std::string& error) {
  error.clear();
  Machine machine;
  machine.clock_ = options.clock ? options.clock : platform::MakeSystemClock();

  // The backend. This is where a driver for real adapters would be chosen.
  sim::Scenario scenario;
  if (!ChooseScenario(options, scenario, error)) return {};
  machine.simulator_ = std::make_shared<sim::Simulator>(
      std::move(scenario), machine.clock_,
      options.realFiles ? options.realFiles : platform::MakeLinuxFiles());
  machine.deviceControl_ = machine.simulator_->DeviceControl();
  if (options.wrapDeviceControl)
    machine.deviceControl_ = options.wrapDeviceControl(machine.deviceControl_);

  machine.registry_ = OpenRegistry(options, machine.simulator_->MediaPath(), error);
  if (!machine.registry_) return {};
  machine.sound_ = options.sound ? options.sound : platform::MakeSystemSound();
  // Entries carry the program's name (kestrune, kestrune-monitor).
  machine.journal_ =
      options.journal ? *options.journal : platform::MakeSystemJournal(program_invocation_short_name);
  return machine;
}

}  // namespace kestrune::machine
