#include "platform/clock.h"

#include <thread>

#include "platform/manual_clock.h"

namespace kestrune::platform {

namespace {

class SystemClock final : public Clock {
 public:
  std::chrono::system_clock::time_point Now() override { return std::chrono::system_clock::now(); }
  void SleepFor(std::chrono::milliseconds duration) override {
    if (duration.count() > 0) std::this_thread::sleep_for(duration);
  }
};

}  // namespace

std::shared_ptr<Clock> MakeSystemClock() {
  return std::make_shared<SystemClock>();
}

ManualClock::time_point ManualClock::DefaultStart() {
  using namespace std::chrono;
  return sys_days{year{2026} / January / 15} + hours{10};
}

ManualClock::ManualClock(time_point start) : now_(start) {}

ManualClock::time_point ManualClock::Now() {
  std::lock_guard lock(mutex_);
  return now_;
}

void ManualClock::SleepFor(std::chrono::milliseconds span) {
  std::lock_guard lock(mutex_);
  ++sleepCalls_;
  if (span.count() <= 0) return;
  now_ += span;
  slept_ += span;
}

void ManualClock::Advance(duration by) {
  std::lock_guard lock(mutex_);
  now_ += by;
}

void ManualClock::Set(time_point to) {
  std::lock_guard lock(mutex_);
  now_ = to;
}

std::chrono::milliseconds ManualClock::TotalSlept() {
  std::lock_guard lock(mutex_);
  return slept_;
}

std::uint64_t ManualClock::SleepCalls() {
  std::lock_guard lock(mutex_);
  return sleepCalls_;
}

}  // namespace kestrune::platform
