#include "platform/clock.h"

#include <algorithm>
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
  SteadyTime Steady() override { return std::chrono::steady_clock::now(); }
  bool WaitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& changed,
                 SteadyTime deadline, const std::function<bool()>& done) override {
    return changed.wait_until(lock, deadline, done);
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
  slept_ += span;
  MoveOn(span);
}

Clock::SteadyTime ManualClock::Steady() {
  std::lock_guard lock(mutex_);
  return steady_;
}

bool ManualClock::WaitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& changed,
                            SteadyTime deadline, const std::function<bool()>& done) {
  if (done()) return true;
  // The waiter is entered and removed without the caller's lock held: moving
  // the clock takes this clock's mutex first and then the waiter's.
  Waiter waiter{lock.mutex(), &changed, deadline};
  lock.unlock();
  std::function<void()> onWaiting;
  {
    std::lock_guard own(mutex_);
    waiter.due = steady_ >= deadline;
    waiters_.push_back(&waiter);
    onWaiting = onWaiting_;
  }
  waitersChanged_.notify_all();
  if (onWaiting) onWaiting();
  lock.lock();
  bool result = done();
  while (!result && !waiter.due) {
    changed.wait(lock);
    result = done();
  }
  lock.unlock();
  {
    std::lock_guard own(mutex_);
    waiters_.erase(std::find(waiters_.begin(), waiters_.end(), &waiter));
  }
  lock.lock();
  return result;
}

void ManualClock::Advance(duration by) {
  std::lock_guard lock(mutex_);
  MoveOn(by);
}

void ManualClock::MoveOn(duration by) {
  now_ += by;
  if (by > duration::zero()) steady_ += by;
  for (Waiter* waiter : waiters_) {
    if (waiter->deadline > steady_) continue;
    {
      std::lock_guard theirs(*waiter->mutex);
      if (waiter->due) continue;
      waiter->due = true;
    }
    waiter->changed->notify_all();
  }
}

bool ManualClock::SomeWaiterPending() const {
  return std::any_of(waiters_.begin(), waiters_.end(),
                     [this](const Waiter* waiter) { return waiter->deadline > steady_; });
}

bool ManualClock::AwaitWaiter(std::chrono::milliseconds patience) {
  std::unique_lock lock(mutex_);
  return waitersChanged_.wait_for(lock, patience, [this] { return SomeWaiterPending(); });
}

bool ManualClock::AdvanceToNextDeadline(std::chrono::milliseconds patience) {
  std::unique_lock lock(mutex_);
  if (!waitersChanged_.wait_for(lock, patience, [this] { return SomeWaiterPending(); }))
    return false;
  SteadyTime earliest = SteadyTime::max();
  for (const Waiter* waiter : waiters_)
    if (waiter->deadline > steady_) earliest = std::min(earliest, waiter->deadline);
  MoveOn(std::chrono::duration_cast<duration>(earliest - steady_));
  return true;
}

void ManualClock::OnWaiting(std::function<void()> callback) {
  std::lock_guard lock(mutex_);
  onWaiting_ = std::move(callback);
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
