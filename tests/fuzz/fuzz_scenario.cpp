// Feeds arbitrary text to the scenario reader (JSON, then every field checked
// against its limits): a scenario file is the one input a user hands the
// simulator. A scenario that reads must also build a simulated driver, whose
// set-up walks every adapter, disk, set and timeline step it accepted.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <variant>

#include "platform/manual_clock.h"
#include "simulator/driver.h"
#include "simulator/scenario.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kestrune;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  auto parsed = sim::ParseScenario(text, "fuzz");
  if (auto* scenario = std::get_if<sim::Scenario>(&parsed)) {
    sim::SimulatedDriver driver(std::move(*scenario), std::make_shared<platform::ManualClock>());
  }
  return 0;
}
