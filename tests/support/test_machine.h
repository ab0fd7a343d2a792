// A whole machine for a test or benchmark, built by the program's own
// composition root: the scenario given, a virtual clock, a private in-memory
// registry that answers fixed system facts, recording sound and journal.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <utility>

#include "machine/machine.h"
#include "platform/manual_clock.h"
#include "platform/recording_journal.h"
#include "platform/recording_sound.h"
#include "support/fixed_system.h"

namespace kestrune::test {

inline machine::MachineOptions TestMachineOptions(sim::Scenario scenario,
                                                  std::shared_ptr<platform::Clock> clock) {
  machine::MachineOptions options;
  options.scenario = std::move(scenario);
  options.clock = std::move(clock);
  options.registryPath = ":memory:";
  options.systemInfo = [](const std::wstring& mediaPath) {
    return std::make_shared<FixedSystem>(mediaPath);
  };
  options.sound = std::make_shared<platform::RecordingSound>();
  // Never the machine's own journal.
  options.journal = std::make_shared<platform::RecordingJournal>();
  return options;
}

// MakeMachine; a machine that cannot be built throws, failing the test (or
// the benchmark) with the reason.
inline machine::Machine MakeTestMachine(const machine::MachineOptions& options) {
  std::string error;
  machine::Machine made = machine::MakeMachine(options, error);
  if (!made) throw std::runtime_error("cannot build the test machine: " + error);
  return made;
}

}  // namespace kestrune::test
