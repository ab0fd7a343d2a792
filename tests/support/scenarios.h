// Adapters the tests and benchmarks build their scenarios from.
#pragma once

#include <cstdint>

#include "simulator/scenario.h"

namespace kestrune::test {

// An extended RAID adapter (driver 2.1, chip 7420, "bv7420r") with four
// channels, without disks.
inline sim::AdapterSpec ExtendedRaidAdapter(std::uint8_t devicesPerChannel = 1) {
  sim::AdapterSpec a;
  a.driverMajor = 2;
  a.driverMinor = 1;
  a.chipId = 0x7420;
  a.chipType = 2;
  a.name = "bv7420r";
  a.channels = 4;
  a.devicesPerChannel = devicesPerChannel;
  return a;
}

// The default machine without its timeline, so nothing happens by itself.
inline sim::Scenario QuietScenario() {
  sim::Scenario scenario = sim::DefaultScenario();
  scenario.timeline.clear();
  return scenario;
}

}  // namespace kestrune::test
