#include "events/auto_reset_event.h"

#include <utility>

namespace kestrune::evt {

AutoResetEvent::AutoResetEvent(std::shared_ptr<EventGroup> group) : group_(std::move(group)) {
  if (!group_) group_ = std::make_shared<EventGroup>();
}

void AutoResetEvent::Set() {
  {
    std::lock_guard lock(group_->mutex_);
    signalled_ = true;
  }
  // Every waiter of the group looks again; the ones waiting for other events
  // go back to sleep.
  group_->changed_.notify_all();
}

void AutoResetEvent::Reset() {
  std::lock_guard lock(group_->mutex_);
  signalled_ = false;
}

bool AutoResetEvent::Wait(std::optional<std::chrono::milliseconds> timeout) {
  return WaitForAny({this}, timeout).has_value();
}

bool AutoResetEvent::IsSet() {
  std::lock_guard lock(group_->mutex_);
  return signalled_;
}

EventGroup* AutoResetEvent::CommonGroup(std::initializer_list<AutoResetEvent*> events) {
  if (events.size() == 0 || *events.begin() == nullptr) return nullptr;
  EventGroup* group = (*events.begin())->group_.get();
  for (const AutoResetEvent* event : events)
    if (event == nullptr || event->group_.get() != group) return nullptr;
  return group;
}

std::optional<std::size_t> AutoResetEvent::TakeFirst(std::initializer_list<AutoResetEvent*> events) {
  std::size_t position = 0;
  for (AutoResetEvent* event : events) {
    if (event->signalled_) {
      event->signalled_ = false;
      return position;
    }
    ++position;
  }
  return std::nullopt;
}

bool AutoResetEvent::AnySignalled(std::initializer_list<AutoResetEvent*> events) {
  for (const AutoResetEvent* event : events)
    if (event->signalled_) return true;
  return false;
}

std::optional<std::size_t> WaitForAny(std::initializer_list<AutoResetEvent*> events,
                                      std::optional<std::chrono::milliseconds> timeout) {
  if (timeout) {
    // Timed on the system clock: every timed wait is on some clock.
    static const std::shared_ptr<platform::Clock> systemClock = platform::MakeSystemClock();
    return WaitForAny(events, *systemClock, systemClock->Steady() + *timeout);
  }
  EventGroup* group = AutoResetEvent::CommonGroup(events);
  if (group == nullptr) return std::nullopt;
  std::unique_lock lock(group->mutex_);
  for (;;) {
    if (auto position = AutoResetEvent::TakeFirst(events)) return position;
    group->changed_.wait(lock);
  }
}

std::optional<std::size_t> WaitForAny(std::initializer_list<AutoResetEvent*> events,
                                      platform::Clock& clock, platform::Clock::SteadyTime deadline) {
  EventGroup* group = AutoResetEvent::CommonGroup(events);
  if (group == nullptr) return std::nullopt;
  std::unique_lock lock(group->mutex_);
  for (;;) {
    if (auto position = AutoResetEvent::TakeFirst(events)) return position;
    if (!clock.WaitUntil(lock, group->changed_, deadline,
                         [&] { return AutoResetEvent::AnySignalled(events); }))
      return AutoResetEvent::TakeFirst(events);
  }
}

}  // namespace kestrune::evt
