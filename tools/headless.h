// The start the command-line programs over the adapters and the settings
// share, in the order the tray program's frame keeps: the machine, a console
// answering message boxes, the computer read, the adapters discovered, the
// settings loaded.
#pragma once

#include <cstdio>
#include <functional>
#include <memory>
#include <string>

#include "controller/adapter_keys.h"
#include "controller/controller_io.h"
#include "machine/machine.h"
#include "platform/console_ui.h"
#include "settings/app_settings.h"

namespace kestrune::tools {

struct Headless {
  machine::Machine machine;
  std::shared_ptr<platform::ConsoleUi> ui = std::make_shared<platform::ConsoleUi>();
  std::unique_ptr<ctl::CControllerIo> io;
  std::unique_ptr<settings::AppSettings> settings;
};

// False, with "<program>: <reason>" on standard error, when the machine cannot
// be built. `beforeDiscovery` runs once the computer has been read.
inline bool StartHeadless(const char* program, Headless& headless,
                          const std::function<void(ctl::CControllerIo&)>& beforeDiscovery = {}) {
  std::string error;
  headless.machine = machine::MakeMachine({}, error);
  if (!headless.machine) {
    std::fprintf(stderr, "%s: %s\n", program, error.c_str());
    return false;
  }
  headless.io =
      std::make_unique<ctl::CControllerIo>(headless.machine.ControllerServices(headless.ui));
  headless.io->ReadComputerInfo();
  if (beforeDiscovery) beforeDiscovery(*headless.io);
  headless.io->Discover();
  headless.settings =
      std::make_unique<settings::AppSettings>(headless.machine.Registry(), headless.ui);
  headless.settings->Load(ctl::ComputerName(*headless.io), ctl::AdapterKeyOpener(*headless.io));
  return true;
}

}  // namespace kestrune::tools
