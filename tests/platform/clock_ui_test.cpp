#include <gtest/gtest.h>

#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <sstream>
#include <thread>
#include <vector>

#include "platform/console_ui.h"
#include "platform/manual_clock.h"
#include "platform/recording_ui.h"

namespace kestrune::platform {
namespace {

using namespace std::chrono_literals;

TEST(ManualClockTest, StartsAtTheFixedDateAndMovesOnlyWhenTold) {
  ManualClock clock;
  EXPECT_EQ(std::chrono::system_clock::to_time_t(clock.Now()), 1768471200);  // 2026-01-15 10:00 UTC
  clock.Advance(90s);
  EXPECT_EQ(clock.Now(), ManualClock::DefaultStart() + 90s);
  clock.SleepFor(5000ms);
  clock.SleepFor(-3ms);  // nothing
  EXPECT_EQ(clock.Now(), ManualClock::DefaultStart() + 95s);
  EXPECT_EQ(clock.TotalSlept(), 5000ms);
  EXPECT_EQ(clock.SleepCalls(), 2U);
  const auto later = ManualClock::DefaultStart() + 24h;
  clock.Set(later);
  EXPECT_EQ(clock.Now(), later);
}

TEST(ManualClockTest, SleepsFromSeveralThreadsAddUp) {
  ManualClock clock(std::chrono::system_clock::time_point{});
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 1000; ++i) clock.SleepFor(1ms);
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(clock.TotalSlept(), 4000ms);
  EXPECT_EQ(clock.Now().time_since_epoch(), 4000ms);
}

// Two threads wait on the clock for deadlines 10 ms and 30 ms on; moving the
// clock ends each wait only when it passes that wait's own deadline.
TEST(ManualClockTest, TimedWaitsEndWhenTheClockPassesTheirDeadlines) {
  ManualClock clock;
  // How many waits have begun, told by the clock.
  std::mutex begunMutex;
  std::condition_variable begunChanged;
  int waits = 0;
  clock.OnWaiting([&] {
    std::lock_guard lock(begunMutex);
    ++waits;
    begunChanged.notify_all();
  });
  auto begun = [&](int count) {
    std::unique_lock lock(begunMutex);
    return begunChanged.wait_for(lock, 30s, [&] { return waits >= count; });
  };
  const auto start = clock.Steady();
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<int> ended;  // guarded by mutex
  auto waiter = [&](int id, std::chrono::milliseconds after) {
    std::unique_lock lock(mutex);
    EXPECT_FALSE(clock.WaitUntil(lock, changed, start + after, [] { return false; }));
    ended.push_back(id);
  };
  auto endedSoFar = [&] {
    std::lock_guard lock(mutex);
    return ended;
  };
  std::thread soon(waiter, 1, 10ms);
  std::thread late(waiter, 2, 30ms);
  ASSERT_TRUE(begun(2));

  // Neither the wall clock set forward nor a step back ends a wait.
  clock.Set(clock.Now() + 24h);
  clock.Advance(-1h);
  EXPECT_EQ(clock.Steady(), start);
  clock.Advance(9ms);
  EXPECT_TRUE(endedSoFar().empty());

  ASSERT_TRUE(clock.AdvanceToNextDeadline(30s));  // to 10 ms: the first wait ends
  soon.join();
  EXPECT_EQ(clock.Steady(), start + 10ms);
  EXPECT_EQ(endedSoFar(), std::vector<int>{1});
  ASSERT_TRUE(clock.AdvanceToNextDeadline(30s));
  late.join();
  EXPECT_EQ(clock.Steady(), start + 30ms);
  EXPECT_EQ(endedSoFar(), (std::vector<int>{1, 2}));
  EXPECT_FALSE(clock.AwaitWaiter(0ms));  // nobody waits now

  // What a wait waits for ends it before its deadline, or at once if it holds
  // already; a deadline passed already ends it at once.
  bool ready = false;
  std::thread setter([&] {
    ASSERT_TRUE(clock.AwaitWaiter(30s));
    std::lock_guard lock(mutex);
    ready = true;
    changed.notify_all();
  });
  {
    std::unique_lock lock(mutex);
    EXPECT_TRUE(clock.WaitUntil(lock, changed, start + 1h, [&] { return ready; }));
    EXPECT_TRUE(clock.WaitUntil(lock, changed, start + 1h, [&] { return ready; }));
    EXPECT_FALSE(clock.WaitUntil(lock, changed, start, [] { return false; }));
  }
  setter.join();
  EXPECT_TRUE(begun(4));  // not the one that held at once
  std::lock_guard lock(begunMutex);
  EXPECT_EQ(waits, 4);
}

TEST(RecordingUiTest, RecordsBoxesAndAnswersFromTheScript) {
  RecordingUi ui;
  ui.QueueAnswer(MsgResult::No);
  EXPECT_EQ(ui.MessageBox(L"Delete the set?", L"Kestrune", MsgButtons::YesNo, MsgIcon::Question),
            MsgResult::No);
  // Script used up: the positive answer.
  EXPECT_EQ(ui.MessageBox(L"Again?", L"", MsgButtons::YesNoCancel, MsgIcon::None), MsgResult::Yes);
  EXPECT_EQ(ui.MessageBox(L"Done", L"", MsgButtons::OkCancel, MsgIcon::None), MsgResult::Ok);
  EXPECT_EQ(ui.MessageBox(L"Failed", L"", MsgButtons::RetryCancel, MsgIcon::Error),
            MsgResult::Cancel);
  ui.SetDefaultAnswer(MsgResult::Cancel);
  EXPECT_EQ(ui.MessageBox(L"Sure?", L"", MsgButtons::OkCancel, MsgIcon::None), MsgResult::Cancel);

  const auto messages = ui.Messages();
  ASSERT_EQ(messages.size(), 5U);
  EXPECT_EQ(messages[0].text, L"Delete the set?");
  EXPECT_EQ(messages[0].caption, L"Kestrune");
  EXPECT_EQ(messages[0].buttons, MsgButtons::YesNo);
  EXPECT_EQ(messages[0].icon, MsgIcon::Question);
  EXPECT_EQ(messages[0].answer, MsgResult::No);
  EXPECT_EQ(ui.PendingAnswers(), 0U);
}

TEST(RecordingUiTest, ResponderSeesTheBoxAndMayDecline) {
  RecordingUi ui;
  ui.QueueAnswer(MsgResult::Retry);
  ui.SetResponder([](const RecordedMessage& m) -> std::optional<MsgResult> {
    if (m.text == L"special") return MsgResult::Ignore;
    return std::nullopt;
  });
  EXPECT_EQ(ui.MessageBox(L"special", L"", MsgButtons::Ok, MsgIcon::None), MsgResult::Ignore);
  EXPECT_EQ(ui.MessageBox(L"plain", L"", MsgButtons::RetryCancel, MsgIcon::None), MsgResult::Retry);
  EXPECT_EQ(ui.LastMessage()->text, L"plain");
}

TEST(RecordingUiTest, CountsNestedWaitCursorsAndKeepsClipboardTexts) {
  RecordingUi ui;
  {
    WaitCursor outer(ui);
    {
      WaitCursor inner(ui);
      EXPECT_EQ(ui.WaitDepth(), 2);
    }
  }
  EXPECT_EQ(ui.WaitBegins(), 2);
  EXPECT_EQ(ui.WaitEnds(), 2);
  EXPECT_EQ(ui.WaitDepth(), 0);
  EXPECT_EQ(ui.MaxWaitDepth(), 2);

  EXPECT_TRUE(ui.SetClipboardText(L"report"));
  ui.SetClipboardResult(false);
  EXPECT_FALSE(ui.SetClipboardText(L"second"));
  EXPECT_EQ(ui.ClipboardTexts(), (std::vector<std::wstring>{L"report", L"second"}));
}

TEST(ConsoleUiTest, PrintsBoxesAsUtf8AndAnswersNegatively) {
  std::ostringstream out;
  ConsoleUi ui(out);
  EXPECT_EQ(ui.MessageBox(L"Caf\u00e9 closed", L"Kestrune", MsgButtons::Ok, MsgIcon::Error),
            MsgResult::Ok);
  EXPECT_EQ(ui.MessageBox(L"Delete?", L"", MsgButtons::YesNo, MsgIcon::Question), MsgResult::No);
  EXPECT_EQ(ui.MessageBox(L"Save?", L"K", MsgButtons::YesNoCancel, MsgIcon::Question),
            MsgResult::Cancel);
  EXPECT_EQ(ui.MessageBox(L"Go?", L"K", MsgButtons::OkCancel, MsgIcon::None), MsgResult::Cancel);
  EXPECT_EQ(ui.MessageBox(L"Again?", L"K", MsgButtons::RetryCancel, MsgIcon::None),
            MsgResult::Cancel);
  EXPECT_EQ(out.str(), "Kestrune: Caf\xC3\xA9 closed\nDelete?\nK: Save?\nK: Go?\nK: Again?\n");
  EXPECT_FALSE(ui.SetClipboardText(L"x"));
  ui.BeginWaitCursor();
  ui.EndWaitCursor();
}

TEST(ConsoleUiTest, WritesToAFileOrAWideStream) {
  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  ConsoleUi(file).MessageBox(L"\u20ac", L"C", MsgButtons::Ok, MsgIcon::None);
  std::rewind(file);
  char text[32] = {};
  ASSERT_NE(std::fgets(text, sizeof text, file), nullptr);
  EXPECT_STREQ(text, "C: \xE2\x82\xAC\n");
  std::fclose(file);

  std::wostringstream wide;
  ConsoleUi(wide).MessageBox(L"text", L"caption", MsgButtons::Ok, MsgIcon::None);
  EXPECT_EQ(wide.str(), L"caption: text\n");
}

}  // namespace
}  // namespace kestrune::platform
