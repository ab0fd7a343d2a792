// A virtual clock whose sleeps wait for the test: a thread that sleeps calls
// the test's callback and then blocks until the test lets it go, so that a
// test can look at the program while one of its steps waits for the system.
// Time advances by the duration slept, at once, as with ManualClock.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

#include "platform/clock.h"
#include "platform/manual_clock.h"

namespace kestrune::test {

class GateClock final : public platform::Clock {
 public:
  ~GateClock() override { Open(); }

  std::chrono::system_clock::time_point Now() override { return inner_.Now(); }
  SteadyTime Steady() override { return inner_.Steady(); }
  // Timed waits do not block at the gate: they end as on a ManualClock.
  bool WaitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& changed,
                 SteadyTime deadline, const std::function<bool()>& done) override {
    return inner_.WaitUntil(lock, changed, deadline, done);
  }

  void SleepFor(std::chrono::milliseconds duration) override {
    std::function<void()> onSleep;
    {
      std::lock_guard lock(mutex_);
      ++sleeps_;
      onSleep = onSleep_;
    }
    // On the sleeping thread, before it blocks.
    if (onSleep) onSleep();
    std::unique_lock lock(mutex_);
    released_.wait(lock, [this] { return open_ || permits_ > 0; });
    if (!open_) --permits_;
    lock.unlock();
    inner_.SleepFor(duration);
  }

  // Called on the sleeping thread at the start of every sleep.
  void OnSleep(std::function<void()> callback) {
    std::lock_guard lock(mutex_);
    onSleep_ = std::move(callback);
  }
  // Lets one sleep end (now or when it comes).
  void Release() {
    std::lock_guard lock(mutex_);
    ++permits_;
    released_.notify_all();
  }
  // No sleep blocks any more.
  void Open() {
    std::lock_guard lock(mutex_);
    open_ = true;
    released_.notify_all();
  }
  int Sleeps() {
    std::lock_guard lock(mutex_);
    return sleeps_;
  }
  std::chrono::milliseconds TotalSlept() { return inner_.TotalSlept(); }
  // The virtual time behind the gate, which the timed waits wait on.
  platform::ManualClock& Virtual() { return inner_; }

 private:
  platform::ManualClock inner_;
  std::mutex mutex_;
  std::condition_variable released_;
  std::function<void()> onSleep_;
  int sleeps_ = 0;
  int permits_ = 0;
  bool open_ = false;
};

}  // namespace kestrune::test
