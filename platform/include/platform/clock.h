// Time, so that tests can run hours of simulated time in no time at all.
#pragma once

#include <chrono>
#include <memory>

namespace kestrune::platform {

class Clock {
 public:
  virtual ~Clock() = default;
  virtual std::chrono::system_clock::time_point Now() = 0;
  // Blocks the caller for the given time (a virtual clock advances instead).
  virtual void SleepFor(std::chrono::milliseconds duration) = 0;
};

std::shared_ptr<Clock> MakeSystemClock();

}  // namespace kestrune::platform
