// A clock that moves only when told: tests and the simulator run hours of
// polling in no time, and sleeping advances the time instead of blocking. A
// timed wait ends when the clock is moved past its deadline (or when what it
// waits for comes), never by itself.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

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
  SteadyTime Steady() override;
  bool WaitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& changed,
                 SteadyTime deadline, const std::function<bool()>& done) override;

  // Both move the steady time too (a negative step moves neither back) and
  // end the waits whose deadline they pass.
  void Advance(duration by);
  // Sets the wall time only, as setting a computer's clock does.
  void Set(time_point to);

  // For tests that drive a waiting thread: waits until some thread waits in
  // WaitUntil for a deadline still to come. `patience` is real time, so that
  // a test that would hang fails instead; false when no thread came.
  bool AwaitWaiter(std::chrono::milliseconds patience);
  // AwaitWaiter, then moves the time on to the earliest deadline waited for,
  // which ends that wait.
  bool AdvanceToNextDeadline(std::chrono::milliseconds patience);
  // Called on the waiting thread, with no lock held, each time a thread
  // begins a timed wait: a test that waits in an event loop wakes its loop
  // from here to look again.
  void OnWaiting(std::function<void()> callback);

  // Sum of the durations passed to SleepFor, and how many calls there were.
  std::chrono::milliseconds TotalSlept();
  std::uint64_t SleepCalls();

 private:
  struct Waiter {
    std::mutex* mutex;
    std::condition_variable* changed;
    SteadyTime deadline;
    bool due = false;  // guarded by *mutex
  };
  // With mutex_ held: moves both times on and ends the waits now due.
  void MoveOn(duration by);
  bool SomeWaiterPending() const;

  std::mutex mutex_;
  std::condition_variable waitersChanged_;
  std::vector<Waiter*> waiters_;
  std::function<void()> onWaiting_;
  SteadyTime steady_{};
  time_point now_;
  std::chrono::milliseconds slept_{0};
  std::uint64_t sleepCalls_ = 0;
};

}  // namespace kestrune::platform
