// Auto-reset events and the wait for the first of several.
#include "events/auto_reset_event.h"

#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "platform/manual_clock.h"

namespace kestrune::evt {
namespace {

using namespace std::chrono_literals;

struct Three {
  std::shared_ptr<EventGroup> group = std::make_shared<EventGroup>();
  AutoResetEvent stop{group}, pause{group}, resume{group};
  std::optional<std::size_t> Wait(std::chrono::milliseconds timeout) {
    return WaitForAny({&stop, &pause, &resume}, timeout);
  }
  std::optional<std::size_t> WaitOn(platform::Clock& clock, platform::Clock::SteadyTime deadline) {
    return WaitForAny({&stop, &pause, &resume}, clock, deadline);
  }
};

TEST(AutoResetEvent, FirstInTheListWinsAndOnlyItsSignalIsTaken) {
  Three e;
  e.resume.Set();
  e.pause.Set();
  e.stop.Set();
  e.stop.Set();  // a second set of a signalled event changes nothing
  EXPECT_EQ(e.Wait(0ms), 0u);
  EXPECT_EQ(e.Wait(0ms), 1u);
  EXPECT_EQ(e.Wait(0ms), 2u);
  EXPECT_EQ(e.Wait(0ms), std::nullopt);
}

TEST(AutoResetEvent, TimesOutUnsignalledWhenTheClockReachesTheDeadline) {
  Three e;
  platform::ManualClock clock;
  const auto start = clock.Steady();
  auto waited = std::async(std::launch::async, [&] { return e.WaitOn(clock, start + 20ms); });
  ASSERT_TRUE(clock.AdvanceToNextDeadline(30s));
  EXPECT_EQ(waited.get(), std::nullopt);
  EXPECT_GE(clock.Steady() - start, 20ms);
  // A deadline already passed ends the wait at once; a signal still wins.
  EXPECT_EQ(e.WaitOn(clock, start), std::nullopt);
  e.resume.Set();
  EXPECT_EQ(e.WaitOn(clock, start), 2u);

  AutoResetEvent single;
  EXPECT_FALSE(single.Wait(0ms));
  single.Set();
  EXPECT_TRUE(single.IsSet());
  single.Reset();
  EXPECT_FALSE(single.Wait(0ms));
}

TEST(AutoResetEvent, AWaitDoesNotTimeOutBeforeItsDeadline) {
  Three e;
  platform::ManualClock clock;
  const auto start = clock.Steady();
  auto waited = std::async(std::launch::async, [&] { return e.WaitOn(clock, start + 20ms); });
  ASSERT_TRUE(clock.AwaitWaiter(30s));
  clock.Advance(19ms);
  clock.Set(clock.Now() + 1h);  // the wall clock set forward moves no deadline
  e.pause.Set();
  EXPECT_EQ(waited.get(), 1u);
}

TEST(AutoResetEvent, ASetFromAnotherThreadWakesTheWaiter) {
  Three e;
  platform::ManualClock clock;
  // The setter sets only once the waiter waits; the clock never reaches the
  // deadline, so only the set can end the wait.
  std::thread setter([&] {
    if (clock.AwaitWaiter(30s)) e.pause.Set();
  });
  EXPECT_EQ(e.WaitOn(clock, clock.Steady() + 1h), 1u);
  setter.join();
  EXPECT_FALSE(e.pause.IsSet());
  // Without a time-out as well.
  std::thread later([&] { e.stop.Set(); });
  EXPECT_EQ(WaitForAny({&e.stop, &e.pause, &e.resume}, std::nullopt), 0u);
  later.join();
}

TEST(AutoResetEvent, EventsOfDifferentGroupsCannotBeWaitedForTogether) {
  AutoResetEvent a, b;
  a.Set();
  EXPECT_EQ(WaitForAny({&a, &b}, std::nullopt), std::nullopt);
  EXPECT_EQ(WaitForAny({}, std::nullopt), std::nullopt);
  EXPECT_TRUE(a.IsSet());
}

}  // namespace
}  // namespace kestrune::evt
