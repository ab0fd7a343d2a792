// The composition root: the one place where the machine the program runs on
// is put together. Every program (kestrune, kestrune-monitor, kestrune-report,
// kestrune-inspect, kestrune-reg) and every test rig over the whole machine
// builds it here, and nowhere else is a backend constructed.
//
// The backend answers the adapters' driver (device control), the device
// manager and the driver files. KESTRUNE_BACKEND chooses it: "simulator"
// (the default: the scenario a test gives, else the file KESTRUNE_SCENARIO
// names, else the embedded default) or "linux" (the machine's own disks and md
// arrays, read from the kernel's files below KESTRUNE_SYSFS_ROOT, default
// "/"). Both hand out the same three interfaces, and the controller, logger,
// report and windows above them stay as they are.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "controller/controller_io.h"
#include "platform/clock.h"
#include "platform/device_control.h"
#include "platform/files.h"
#include "platform/journal.h"
#include "platform/registry.h"
#include "platform/sound.h"
#include "platform/system_info.h"
#include "platform/ui_services.h"
#include "host/backend.h"
#include "simulator/scenario.h"
#include "simulator/simulator.h"

namespace kestrune::machine {

// The registry value (a DWORD under "Software\Brevalis\Kestrune") that lets a
// process running as root change the machine's own arrays and disks.
inline constexpr wchar_t kAllowDiskChanges[] = L"Allow Disk Changes";

struct MachineOptions {
  // "simulator" or "linux"; empty: KESTRUNE_BACKEND, else the simulator.
  std::string backend;
  // The machine's own disks: the options of that backend. Its root, when
  // empty here, is KESTRUNE_SYSFS_ROOT, else "/"; changes are allowed only
  // to a process running as root whose "Allow Disk Changes" setting is on,
  // and only with the root "/". Below another root (a fixture, a recording)
  // no disk of this machine is asked for its health, probed or changed: the
  // runner, signature probe and SMART probe are only the ones given here.
  host::HostOptions host;
  // The simulated adapters: a scenario given by a test, or one as JSON text
  // (read like a scenario file; `scenarioOrigin` names it in errors); with
  // neither, the file KESTRUNE_SCENARIO names, else the embedded default.
  std::optional<sim::Scenario> scenario;
  std::optional<std::string> scenarioText;
  std::string scenarioOrigin = "scenario";
  // The clock of the whole machine; without one, the wall clock (tests pass a
  // virtual clock and advance it).
  std::shared_ptr<platform::Clock> clock;
  // The registry database file; empty: KESTRUNE_REGISTRY, else the user's
  // config folder. ":memory:" gives a private store that lives with the
  // machine.
  std::string registryPath;
  // The system facts the registry answers, made for the backend's media
  // folder; without it, the real machine's.
  std::function<std::shared_ptr<platform::SystemInfo>(const std::wstring& mediaPath)> systemInfo;
  // The files outside the simulated system folder; without them, the real
  // file system.
  std::shared_ptr<platform::Files> realFiles;
  // Sound; without it, the desktop's sound system.
  std::shared_ptr<platform::Sound> sound;
  // Where the event logger's entries also go; unset: the system journal
  // (none where no journal runs); set to null: nowhere.
  std::optional<std::shared_ptr<platform::Journal>> journal;
  // Wraps the backend's device control before the controller sees it, for a
  // test that watches the requests.
  std::function<std::shared_ptr<platform::DeviceControl>(std::shared_ptr<platform::DeviceControl>)>
      wrapDeviceControl;
};

class Machine {
 public:
  // An empty machine: MakeMachine failed.
  Machine() = default;
  explicit operator bool() const { return registry_ != nullptr; }

  const std::shared_ptr<platform::Clock>& Clock() const { return clock_; }
  const std::shared_ptr<platform::Registry>& Registry() const { return registry_; }
  const std::shared_ptr<platform::Sound>& Sound() const { return sound_; }
  // May be null: no journal.
  const std::shared_ptr<platform::Journal>& Journal() const { return journal_; }
  // The simulated backend, for tests that drive it (timeline, faults); null
  // with the machine's own disks.
  sim::Simulator* Simulator() const { return simulator_.get(); }
  // The machine's own disks; null with the simulator.
  host::HostBackend* Host() const { return host_.get(); }
  // What a controller over this machine is built with, `ui` answering its
  // message boxes.
  ctl::ControllerServices ControllerServices(std::shared_ptr<platform::UiServices> ui) const;

 private:
  friend Machine MakeMachine(const MachineOptions& options, std::string& error);

  std::shared_ptr<platform::Clock> clock_;
  std::shared_ptr<sim::Simulator> simulator_;
  std::shared_ptr<host::HostBackend> host_;
  std::shared_ptr<platform::DeviceControl> deviceControl_;
  std::shared_ptr<platform::DeviceInstaller> deviceInstaller_;
  std::shared_ptr<platform::Files> files_;
  std::shared_ptr<platform::Registry> registry_;
  std::shared_ptr<platform::Sound> sound_;
  std::shared_ptr<platform::Journal> journal_;
};

// Builds the machine: the backend first, then the registry over it. On failure
// (a scenario that cannot be read, a registry that cannot be opened) returns
// an empty machine and the reason in `error`, naming the file.
Machine MakeMachine(const MachineOptions& options, std::string& error);

// The registry alone, as MakeMachine opens it, for a program that needs no
// adapters (kestrune-reg): `mediaPath` is what it answers for the system's
// media folder. Null and the reason in `error` when it cannot be opened.
std::shared_ptr<platform::Registry> OpenRegistry(const MachineOptions& options,
                                                 const std::wstring& mediaPath, std::string& error);

}  // namespace kestrune::machine
