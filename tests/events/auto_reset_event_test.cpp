// Auto-reset events and the wait for the first of several.
#include "events/auto_reset_event.h"

#include <gtest/gtest.h>

#include <thread>

namespace kestrune::evt {
namespace {

using namespace std::chrono_literals;

struct Three {
  std::shared_ptr<EventGroup> group = std::make_shared<EventGroup>();
  AutoResetEvent stop{group}, pause{group}, resume{group};
  std::optional<std::size_t> Wait(std::chrono::milliseconds timeout) {
    return WaitForAny({&stop, &pause, &resume}, timeout);
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

TEST(AutoResetEvent, TimesOutUnsignalled) {
  Three e;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(e.Wait(20ms), std::nullopt);
  EXPECT_GE(std::chrono::steady_clock::now() - start, 20ms);
  AutoResetEvent single;
  EXPECT_FALSE(single.Wait(0ms));
  single.Set();
  EXPECT_TRUE(single.IsSet());
  single.Reset();
  EXPECT_FALSE(single.Wait(0ms));
}

TEST(AutoResetEvent, ASetFromAnotherThreadWakesTheWaiter) {
  Three e;
  std::thread setter([&] {
    std::this_thread::sleep_for(10ms);
    e.pause.Set();
  });
  EXPECT_EQ(WaitForAny({&e.stop, &e.pause, &e.resume}, std::nullopt), 1u);
  setter.join();
  EXPECT_FALSE(e.pause.IsSet());
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
