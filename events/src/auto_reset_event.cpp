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

std::optional<std::size_t> WaitForAny(std::initializer_list<AutoResetEvent*> events,
                                      std::optional<std::chrono::milliseconds> timeout) {
  if (events.size() == 0) return std::nullopt;
  EventGroup* group = (*events.begin())->group_.get();
  for (const AutoResetEvent* event : events)
    if (event == nullptr || event->group_.get() != group) return std::nullopt;

  std::unique_lock lock(group->mutex_);
  const auto taken = [&]() -> std::optional<std::size_t> {
    std::size_t position = 0;
    for (AutoResetEvent* event : events) {
      if (event->signalled_) {
        event->signalled_ = false;
        return position;
      }
      ++position;
    }
    return std::nullopt;
  };
  if (!timeout) {
    for (;;) {
      if (auto position = taken()) return position;
      group->changed_.wait(lock);
    }
  }
  const auto deadline = std::chrono::steady_clock::now() + *timeout;
  for (;;) {
    if (auto position = taken()) return position;
    if (group->changed_.wait_until(lock, deadline) == std::cv_status::timeout) return taken();
  }
}

}  // namespace kestrune::evt
