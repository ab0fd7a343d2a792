// The event mail queue: order, failures, a bound, and a stop that does not
// wait for a mail server.
#include "events/event_mailer.h"

#include <gtest/gtest.h>
#include <poll.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

namespace kestrune::evt {
namespace {

EventMail Mail(const std::wstring& text) {
  EventMail mail;
  mail.text = text;
  return mail;
}

using Kind = MailOutcome::Kind;

std::vector<std::pair<Kind, std::wstring>> Summary(const std::vector<MailOutcome>& outcomes) {
  std::vector<std::pair<Kind, std::wstring>> out;
  for (const auto& o : outcomes) out.emplace_back(o.kind, o.eventText + L"|" + o.error);
  return out;
}

TEST(EventMailerTest, MailsGoOutInOrderAndFailuresNameTheirEvent) {
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<std::wstring> sent;
  int ready = 0;
  EventMailer mailer(
      [&](const EventMail& mail, std::wstring& error, const auto&) {
        std::lock_guard lock(mutex);
        sent.push_back(mail.text);
        changed.notify_all();
        error = L"554 no";
        return mail.text != L"b";
      },
      [&] {
        std::lock_guard lock(mutex);
        ++ready;
        changed.notify_all();
      });
  for (const wchar_t* text : {L"a", L"b", L"c"}) mailer.Enqueue(Mail(text));
  {
    std::unique_lock lock(mutex);
    changed.wait(lock, [&] { return sent.size() == 3 && ready == 1; });
  }
  EXPECT_EQ(sent, (std::vector<std::wstring>{L"a", L"b", L"c"}));
  mailer.Stop();
  EXPECT_EQ(Summary(mailer.TakeOutcomes()),
            (std::vector<std::pair<Kind, std::wstring>>{{Kind::Failed, L"b|554 no"}}));
}

// A mail server that never answers: the sender waits until the stop.
bool WaitForStop(const std::shared_ptr<platform::StopSignal>& stop) {
  pollfd p{stop->Fd(), POLLIN, 0};
  ::poll(&p, 1, -1);
  return false;
}

TEST(EventMailerTest, StopEndsAStuckMailAndReportsEveryMailLeft) {
  std::atomic<int> tries{0};
  EventMailer mailer([&](const EventMail&, std::wstring& error, const auto& stop) {
    ++tries;
    error = L"never seen";
    return WaitForStop(stop);
  }, {});
  for (const wchar_t* text : {L"a", L"b", L"c"}) mailer.Enqueue(Mail(text));
  mailer.Stop();  // returns although the sender would wait forever
  EXPECT_LE(tries.load(), 1);
  EXPECT_EQ(Summary(mailer.TakeOutcomes()),
            (std::vector<std::pair<Kind, std::wstring>>{
                {Kind::NotSent, L"a|"}, {Kind::NotSent, L"b|"}, {Kind::NotSent, L"c|"}}));
  // After the stop nothing more is tried.
  mailer.Enqueue(Mail(L"d"));
  EXPECT_EQ(Summary(mailer.TakeOutcomes()),
            (std::vector<std::pair<Kind, std::wstring>>{{Kind::NotSent, L"d|"}}));
  EXPECT_LE(tries.load(), 1);
}

TEST(EventMailerTest, AFullQueueGivesTheNewMailBackAtOnce) {
  EventMailer mailer([](const EventMail&, std::wstring&, const auto& stop) { return WaitForStop(stop); },
                     {}, 2);
  for (const wchar_t* text : {L"a", L"b", L"c", L"d"}) mailer.Enqueue(Mail(text));
  EXPECT_EQ(mailer.Pending(), 2u);
  EXPECT_EQ(Summary(mailer.TakeOutcomes()),
            (std::vector<std::pair<Kind, std::wstring>>{{Kind::Dropped, L"c|"},
                                                        {Kind::Dropped, L"d|"}}));
  mailer.Stop();
  EXPECT_EQ(mailer.TakeOutcomes().size(), 2u);
  EXPECT_EQ(mailer.Pending(), 0u);
}

}  // namespace
}  // namespace kestrune::evt
