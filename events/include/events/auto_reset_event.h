// Auto-reset events and a wait for the first of several, with a time-out: the
// handshake between the user-interface thread and the event logger thread.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <optional>

#include "platform/clock.h"

namespace kestrune::evt {

class AutoResetEvent;

// Waits until any of the events is signalled or the time-out passes (no
// time-out: forever). When several are signalled, the first in the list wins
// and only its signal is consumed. Returns its position in the list, or
// nullopt on time-out. Every event must belong to the same group; an event of
// another group, or an empty list, is a programming error and gives nullopt
// at once.
std::optional<std::size_t> WaitForAny(std::initializer_list<AutoResetEvent*> events,
                                      std::optional<std::chrono::milliseconds> timeout);
// The same, with the time-out at `deadline` of `clock`'s steady time: a
// virtual clock's time-out comes when the clock is moved to it.
std::optional<std::size_t> WaitForAny(std::initializer_list<AutoResetEvent*> events,
                                      platform::Clock& clock, platform::Clock::SteadyTime deadline);

// The mutex and condition variable that a group of events shares, so that one
// thread can wait for any of them.
class EventGroup {
 public:
  EventGroup() = default;
  EventGroup(const EventGroup&) = delete;
  EventGroup& operator=(const EventGroup&) = delete;

 private:
  friend class AutoResetEvent;
  friend std::optional<std::size_t> WaitForAny(std::initializer_list<AutoResetEvent*>,
                                               std::optional<std::chrono::milliseconds>);
  friend std::optional<std::size_t> WaitForAny(std::initializer_list<AutoResetEvent*>,
                                               platform::Clock&, platform::Clock::SteadyTime);
  std::mutex mutex_;
  std::condition_variable changed_;
};

// Unsignalled at creation. Set signals it; a wait that sees it signalled
// consumes the signal (one waiter is released per Set); setting an event that
// is already signalled changes nothing.
class AutoResetEvent {
 public:
  explicit AutoResetEvent(std::shared_ptr<EventGroup> group = std::make_shared<EventGroup>());
  AutoResetEvent(const AutoResetEvent&) = delete;
  AutoResetEvent& operator=(const AutoResetEvent&) = delete;

  void Set();
  void Reset();
  // Waits until signalled (forever without a time-out); true when the signal
  // was taken, false on time-out.
  bool Wait(std::optional<std::chrono::milliseconds> timeout = std::nullopt);
  // Whether it is signalled now, without consuming it.
  bool IsSet();

 private:
  friend std::optional<std::size_t> WaitForAny(std::initializer_list<AutoResetEvent*>,
                                               std::optional<std::chrono::milliseconds>);
  friend std::optional<std::size_t> WaitForAny(std::initializer_list<AutoResetEvent*>,
                                               platform::Clock&, platform::Clock::SteadyTime);
  // The group all the events share; null when they share none.
  static EventGroup* CommonGroup(std::initializer_list<AutoResetEvent*> events);
  // Both with the group's mutex held. Takes the first signal in the list.
  static std::optional<std::size_t> TakeFirst(std::initializer_list<AutoResetEvent*> events);
  static bool AnySignalled(std::initializer_list<AutoResetEvent*> events);

  std::shared_ptr<EventGroup> group_;
  bool signalled_ = false;  // guarded by group_->mutex_
};

}  // namespace kestrune::evt
