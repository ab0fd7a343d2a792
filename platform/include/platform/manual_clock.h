// A clock that moves only when told: tests and the simulator run hours of
// polling in no time, and sleeping advances the time instead of blocking.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>

#include "platform/clock.h"

namespace kestrune::platform {

class ManualClock final : public Clock {
 public:
  using time_point = std::chrono::system_clock::time_point;
  using duration = std::chrono::system_clock::duration;

  // 2026-01-15 10:00:00 UTC.
  static time_point DefaultStart();

  explicit ManualClock(time_point start = DefaultStart());

  time_point Now() override;
  // Advances the time by the duration (a negative one counts as none) and
  // returns at once.
  void SleepFor(std::chrono::milliseconds span) override;

  void Advance(duration by);
  void Set(time_point to);

  // Sum of the durations passed to SleepFor, and how many calls there were.
  std::chrono::milliseconds TotalSlept();
  std::uint64_t SleepCalls();

 private:
  std::mutex mutex_;
  time_point now_;
  std::chrono::milliseconds slept_{0};
  std::uint64_t sleepCalls_ = 0;
};

}  // namespace kestrune::platform
