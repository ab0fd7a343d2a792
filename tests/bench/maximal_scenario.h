// The largest machine the model holds: four extended RAID adapters, four
// channels of fifteen disks, two mirrored sets each. Shared by the benchmarks.
#pragma once

#include <cstdint>
#include <string>

#include "simulator/scenario.h"
#include "support/scenarios.h"

namespace kestrune::bench {

inline sim::Scenario MaximalScenario() {
  sim::Scenario scenario;
  for (int a = 0; a < 4; ++a) {
    sim::AdapterSpec adapter = test::ExtendedRaidAdapter(15);
    adapter.adapterId = static_cast<std::uint32_t>(a + 1);
    adapter.pciBus = static_cast<std::uint32_t>(a + 2);
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

}  // namespace kestrune::bench
