// Time, so that tests can run hours of simulated time in no time at all.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

namespace kestrune::platform {

class Clock {
 public:
  // The time that intervals are measured in: it never goes back, and setting
  // the wall clock does not move it.
  using SteadyTime = std::chrono::steady_clock::time_point;

  virtual ~Clock() = default;
  virtual std::chrono::system_clock::time_point Now() = 0;
  // Blocks the caller for the given time (a virtual clock advances instead).
  virtual void SleepFor(std::chrono::milliseconds duration) = 0;
  virtual SteadyTime Steady() = 0;
  // Waits on `changed`, whose mutex `lock` holds, until `done()` or until
  // Steady() reaches `deadline`; returns what `done()` last said. Whoever
  // makes `done()` true notifies `changed` as for any condition variable. A
  // virtual clock's deadline comes only when the clock is moved to it.
  virtual bool WaitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& changed,
                         SteadyTime deadline, const std::function<bool()>& done) = 0;
};

std::shared_ptr<Clock> MakeSystemClock();

}  // namespace kestrune::platform
