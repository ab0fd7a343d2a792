// The event logger thread and its owner: the log file through start, pause,
// resume and stop; notification by severity; rediscovery; the marks.
#include <gtest/gtest.h>

#include <filesystem>
#include <future>
#include <optional>
#include <stdexcept>
#include <system_error>
#include <thread>

#include "events/logger_rig.h"
#include "support/hostile_smtp.h"
#include "support/loopback_smtp.h"
#include "support/silent_name_server.h"

namespace kestrune::evt {
namespace {

using namespace std::chrono_literals;
using test::AsLogged;
using test::LoggerRig;
using test::LogOf;
using test::OneAdapter;
using test::RawStep;
using test::Udma;
using test::UdmaText;

constexpr std::string_view kStarted = "15-January-2026 05:00.00\tKestrune Event Logger Started\r\n";
constexpr std::string_view kResumed =
    "15-January-2026 05:00.00\tKestrune Event writer starting up.\r\n";

// The line of a mail entry that names its event, ending the entry.
std::string ForEvent(std::string_view severityText) {
  const std::string event = UdmaText(severityText);
  return "\tFor the event: " + event.substr(0, event.find('\n')) + "\r\n";
}

// The log as text, for readable failures.
std::string AsText(const test::Bytes& bytes) {
  return platform::ToUtf8(platform::FromUtf16Le(bytes));
}

TEST(EventLogger, StartPauseResumeStopWritesTheServiceEntries) {
  LoggerRig rig(OneAdapter());
  rig.MakeLogger(1h);
  ASSERT_TRUE(rig.logger->Start());
  EXPECT_TRUE(rig.logger->HoldsLogFile());
  ASSERT_TRUE(rig.WaitFor(LogEntryKind::Resumed));
  EXPECT_EQ(rig.LogBytes(), LogOf({kStarted, kResumed}));

  rig.clock->Advance(61s);
  rig.logger->Pause();
  // The handshake is over only once the pause-taken entry is in the file.
  EXPECT_TRUE(
      rig.LogEndsWith("15-January-2026 05:01.01\tKestrune Event writer shutting down.\r\n"));
  EXPECT_FALSE(rig.logger->HoldsLogFile());
  EXPECT_FALSE(rig.logger->Thread()->Logging());

  rig.clock->Advance(2s);
  ASSERT_TRUE(rig.logger->OpenLogFile(false));
  rig.logger->Resume();
  ASSERT_TRUE(rig.WaitFor(LogEntryKind::Resumed, 2));
  EXPECT_TRUE(rig.logger->Thread()->Logging());

  rig.clock->Advance(1min);
  rig.logger->Stop();
  EXPECT_FALSE(rig.logger->Running());
  EXPECT_FALSE(rig.logger->HoldsLogFile());
  EXPECT_EQ(rig.LogBytes(),
            LogOf({kStarted, kResumed,
                   "15-January-2026 05:01.01\tKestrune Event writer shutting down.\r\n",
                   "15-January-2026 05:01.03\tKestrune Event writer starting up.\r\n",
                   "15-January-2026 05:02.03\tKestrune Event Logger Stopped\r\n"}));
}

TEST(EventLogger, SwitchingTheLogOffLeavesThePauseEntryLast) {
  LoggerRig rig(OneAdapter());
  rig.MakeLogger(1h);
  ASSERT_TRUE(rig.logger->Start());
  ASSERT_TRUE(rig.WaitFor(LogEntryKind::Resumed));
  rig.logger->Pause();
  rig.settings->SetLogFileEnabled(L"false");
  rig.logger->Resume();
  ASSERT_TRUE(rig.WaitFor(LogEntryKind::Resumed, 2));
  rig.logger->Stop();
  EXPECT_EQ(rig.LogBytes(),
            LogOf({kStarted, kResumed,
                   "15-January-2026 05:00.00\tKestrune Event writer shutting down.\r\n"}));
}

TEST(EventLogger, EventsOfTheTimelineReachTheLogWhenTheirTimeComes) {
  LoggerRig rig(OneAdapter({RawStep(30, Udma(2))}));
  rig.MakeLogger(1ms);
  ASSERT_TRUE(rig.logger->Start());
  ASSERT_TRUE(rig.PollUntil(3));
  EXPECT_EQ(rig.CountOf(LogEntryKind::Event), 0u);
  EXPECT_TRUE(rig.logger->Thread()->EmptyFetchSeen());

  rig.clock->Advance(30s);
  ASSERT_TRUE(rig.WaitFor(LogEntryKind::Event));
  rig.clock->Advance(1s);
  rig.logger->Stop();
  EXPECT_EQ(rig.LogBytes(), LogOf({kStarted, kResumed, AsLogged(UdmaText("Warning      ")),
                                   "15-January-2026 05:00.31\tKestrune Event Logger Stopped\r\n"}));
  EXPECT_EQ(rig.sound->Played(), std::vector<std::wstring>{L"/sounds/warning.wav"});
}

TEST(EventLogger, ErrorAtLevelTwoSoundsPopsUpAndMailsAndLogsTheMailFailure) {
  LoggerRig rig(OneAdapter({RawStep(0, Udma(3))}));
  rig.settings->SetPopupEventLevel(2);
  rig.settings->SetEmailEventLevel(2);
  rig.MakeLogger(1ms);
  ASSERT_TRUE(rig.logger->Start());
  ASSERT_TRUE(rig.Poll());
  ASSERT_TRUE(rig.WaitFor(LogEntryKind::EmailFailure));
  rig.logger->Stop();
  EXPECT_EQ(rig.sound->Played(), std::vector<std::wstring>{L"/sounds/error.wav"});
  EXPECT_EQ(rig.window.Count(rig.window.popups), 1);
  EXPECT_EQ(AsText(rig.LogBytes()),
            AsText(LogOf({kStarted, kResumed, AsLogged(UdmaText("Error        ")),
                   "15-January-2026 05:00.00\tEvent Email Error - \r\nSocket Connect Error\nThe "
                   "attempt to connect was forcefully rejected.\nError code 0x0000274d.\n" +
                       ForEvent("Error        "),
                   "15-January-2026 05:00.00\tKestrune Event Logger Stopped\r\n"})));
}

// A mail error that is the server's reply line (no line end of its own) still
// ends its entry with CR LF and names the event, so the next entry starts a
// line of its own.
TEST(EventLogger, AMailRefusedByTheServerIsLoggedOnLinesOfItsOwn) {
  test::LoopbackSmtp server({"421 4.3.2 Service not available\r\n"});
  LoggerRig rig(OneAdapter({RawStep(0, Udma(3))}));
  rig.settings->SetEmailEventLevel(1);
  rig.mailPort = server.Port();
  rig.MakeLogger(1ms);
  ASSERT_TRUE(rig.logger->Start());
  ASSERT_TRUE(rig.Poll());
  ASSERT_TRUE(rig.WaitFor(LogEntryKind::EmailFailure));
  rig.logger->Stop();
  EXPECT_EQ(AsText(rig.LogBytes()),
            AsText(LogOf({kStarted, kResumed, AsLogged(UdmaText("Error        ")),
                   "15-January-2026 05:00.00\tEvent Email Error - \r\n421 4.3.2 Service not "
                   "available\n" +
                       ForEvent("Error        "),
                   "15-January-2026 05:00.00\tKestrune Event Logger Stopped\r\n"})));
}

// However the mail server holds a mail (silent, a byte every two seconds, a
// greeting line that never ends, a name server that never answers), the next
// event is logged while the mail is stuck, and the stop returns at once with
// the mail thread joined, logging both mails as not sent. The mail's own
// time-out is an hour: only the stop can end it.
TEST(EventLogger, AStuckMailHoldsNeitherTheLogNorTheStop) {
  const std::string kNotSent =
      "15-January-2026 05:00.10\tEvent Email Not Sent - the program stopped before the mail "
      "went out.\r\n";
  using Kind = test::HostileSmtp::Kind;
  for (const std::optional<Kind> kind :
       {std::optional(Kind::Silent), std::optional(Kind::Dribbling),
        std::optional(Kind::EndlessGreeting), std::optional<Kind>()}) {
    SCOPED_TRACE(kind ? static_cast<int>(*kind) : -1);
    std::optional<test::HostileSmtp> server;
    test::SilentNameServer nameServer;
    LoggerRig rig(OneAdapter({RawStep(0, Udma(3)), RawStep(10, Udma(2))}));
    rig.settings->SetEmailEventLevel(1);
    rig.smtp = evt::SmtpOptions(1h);
    if (kind) {
      server.emplace(*kind);
      rig.mailPort = server->Port();
    } else {
      rig.settings->SetSmtpServer(L"mail.lab.example");
      rig.smtp.nameServers = nameServer.Address();
    }
    rig.MakeLogger(1ms);
    ASSERT_TRUE(rig.logger->Start());
    ASSERT_TRUE(rig.Poll());
    ASSERT_TRUE(rig.WaitFor(LogEntryKind::Event));
    // The first mail is in the server's (or the name server's) hands.
    if (server) {
      ASSERT_TRUE(server->WaitForClients(1));
    } else {
      ASSERT_TRUE(nameServer.WaitAsked());
    }
    rig.clock->Advance(10s);
    ASSERT_TRUE(rig.WaitFor(LogEntryKind::Event, 2));
    // A poll after the one that logged it: the second mail is queued too.
    ASSERT_TRUE(rig.Poll());
    EXPECT_EQ(rig.logger->Thread()->PendingMails(), 2u);
    rig.logger->Stop();
    EXPECT_EQ(rig.CountOf(LogEntryKind::EmailFailure), 0u);
    EXPECT_EQ(AsText(rig.LogBytes()),
              AsText(LogOf({kStarted, kResumed, AsLogged(UdmaText("Error        ")),
                     AsLogged(UdmaText("Warning      ")),
                     kNotSent + ForEvent("Error        "), kNotSent + ForEvent("Warning      "),
                     "15-January-2026 05:00.10\tKestrune Event Logger Stopped\r\n"})));
  }
}

// Severity 1, 2, 3 and 7 in one batch with both levels at `level`.
struct Notified {
  std::vector<std::wstring> sounds;
  int popups = 0;
  std::size_t mails = 0;
};
Notified NotifyAtLevel(std::uint32_t level, const std::wstring& informational) {
  LoggerRig rig(OneAdapter(
      {RawStep(0, Udma(1)), RawStep(0, Udma(2)), RawStep(0, Udma(3)), RawStep(0, Udma(7))}));
  rig.settings->SetPopupEventLevel(level);
  rig.settings->SetEmailEventLevel(level);
  rig.settings->SetAudioInformational(informational);
  // Mails go to the rig's port that refuses at once.
  rig.MakeLogger(1ms);
  EXPECT_TRUE(rig.logger->Start());
  EXPECT_TRUE(rig.Poll());
  EXPECT_TRUE(rig.WaitFor(LogEntryKind::Event, 4));
  EXPECT_TRUE(rig.PollUntil(2));
  rig.logger->Stop();
  // A mail that the stop caught before its server refused it counts too.
  return {rig.sound->Played(), rig.window.Count(rig.window.popups),
          rig.CountOf(LogEntryKind::EmailFailure) + rig.CountOf(LogEntryKind::EmailNotSent)};
}

TEST(EventLogger, NotificationsFollowTheLevelsAndSoundsTheSeverity) {
  const Notified off = NotifyAtLevel(0, L"/sounds/info.wav");
  EXPECT_EQ(off.sounds, (std::vector<std::wstring>{L"/sounds/info.wav", L"/sounds/warning.wav",
                                                   L"/sounds/error.wav"}));
  EXPECT_EQ(off.popups, 0);
  EXPECT_EQ(off.mails, 0u);

  // Level 2: warnings, errors and the unknown severity 7 notify. An audio
  // value of "disabled" in any case plays nothing.
  const Notified two = NotifyAtLevel(2, L"DiSaBlEd");
  EXPECT_EQ(two.sounds, (std::vector<std::wstring>{L"/sounds/warning.wav", L"/sounds/error.wav"}));
  EXPECT_EQ(two.popups, 3);
  EXPECT_EQ(two.mails, 3u);
}

TEST(EventLogger, WithLoggingOffNothingIsWrittenButEverythingElseHappens) {
  LoggerRig rig(OneAdapter({RawStep(0, Udma(3))}));
  rig.settings->SetLogFileEnabled(L"FALSE");
  rig.settings->SetPopupEventLevel(2);
  rig.settings->SetEmailEventLevel(2);
  rig.MakeLogger(1ms);
  ASSERT_TRUE(rig.logger->Start());
  EXPECT_FALSE(rig.logger->HoldsLogFile());
  ASSERT_TRUE(rig.Poll());
  ASSERT_TRUE(rig.WaitFor(LogEntryKind::EmailFailure));
  rig.logger->Stop();
  EXPECT_FALSE(std::filesystem::exists(rig.LogPath()));
  EXPECT_EQ(rig.sound->Played(), std::vector<std::wstring>{L"/sounds/error.wav"});
  EXPECT_EQ(rig.window.Count(rig.window.popups), 1);
  EXPECT_EQ(rig.CountOf(LogEntryKind::Started), 1u);

  // A file that exists is left as it is, not even the started entry added.
  LoggerRig again(OneAdapter({RawStep(0, Udma(3))}));
  again.settings->SetLogFileEnabled(L"FALSE");
  { std::ofstream(again.LogPath(), std::ios::binary).write("\xFF\xFE", 2); }
  again.MakeLogger(1ms);
  ASSERT_TRUE(again.logger->Start());
  ASSERT_TRUE(again.Poll());
  ASSERT_TRUE(again.WaitFor(LogEntryKind::Event));
  again.logger->Stop();
  EXPECT_EQ(again.LogBytes(), LogOf({}));
}

TEST(EventLogger, PauseUnderPollingWritesNothingUntilResumed) {
  LoggerRig rig(OneAdapter({RawStep(10, Udma(1)), RawStep(20, Udma(2))}));
  rig.MakeLogger(1ms);
  ASSERT_TRUE(rig.logger->Start());
  ASSERT_TRUE(rig.PollUntil(3));
  rig.logger->Pause();
  EXPECT_TRUE(rig.LogEndsWith("05:00.00\tKestrune Event writer shutting down.\r\n"));
  const std::size_t pausedSize = rig.LogBytes().size();

  // Paused: still polling and notifying, but writing nothing.
  rig.clock->Advance(10s);
  ASSERT_TRUE(rig.WaitFor(LogEntryKind::Event));
  ASSERT_TRUE(rig.Poll(2));
  EXPECT_EQ(rig.LogBytes().size(), pausedSize);
  EXPECT_EQ(rig.sound->Count(), 1u);

  rig.logger->Resume();
  ASSERT_TRUE(rig.WaitFor(LogEntryKind::Resumed, 2));
  EXPECT_TRUE(rig.LogEndsWith("05:00.10\tKestrune Event writer starting up.\r\n"));
  rig.clock->Advance(10s);
  ASSERT_TRUE(rig.WaitFor(LogEntryKind::Event, 2));
  EXPECT_TRUE(rig.LogEndsWith(AsLogged(UdmaText("Warning      "))));
  rig.logger->Stop();
}

TEST(EventLogger, RepeatedHandshakesWhilePollingKeepEntriesInOrder) {
  LoggerRig rig(OneAdapter());
  rig.MakeLogger(1ms);
  ASSERT_TRUE(rig.logger->Start());
  ASSERT_TRUE(rig.WaitFor(LogEntryKind::Resumed));
  for (int i = 0; i < 20; ++i) {
    rig.logger->Pause();
    ASSERT_EQ(rig.CountOf(LogEntryKind::PauseTaken), static_cast<std::size_t>(i + 1));
    rig.logger->Resume();
    ASSERT_TRUE(rig.WaitFor(LogEntryKind::Resumed, static_cast<std::size_t>(i + 2)));
    ASSERT_TRUE(rig.Poll());  // a poll between the handshakes
  }
  rig.logger->Stop();
  const auto entries = rig.Entries();
  ASSERT_EQ(entries.size(), 43u);
  for (std::size_t i = 2; i + 1 < entries.size(); i += 2) {
    EXPECT_EQ(entries[i].kind, LogEntryKind::PauseTaken);
    EXPECT_EQ(entries[i + 1].kind, LogEntryKind::Resumed);
  }
  EXPECT_EQ(entries.back().kind, LogEntryKind::Stopped);
}

TEST(EventLogger, WithoutAdaptersEveryPollRediscoversUntilOneAppears) {
  sim::Scenario scenario = OneAdapter({RawStep(0, Udma(1))});
  sim::FaultSpec fault;
  fault.request = "Open";
  fault.value = platform::syserr::kFileNotFound;
  fault.times = 3;  // the start-up discovery and the first two polls find nothing
  scenario.faults = {fault};
  LoggerRig rig(std::move(scenario));
  ASSERT_EQ(rig.io->Model().AdapterCount(), 0u);
  rig.window.viewExists = true;
  rig.MakeLogger(1ms);
  ASSERT_TRUE(rig.logger->Start());
  ASSERT_TRUE(rig.Poll(3));
  ASSERT_TRUE(rig.WaitFor(LogEntryKind::Event));
  ASSERT_TRUE(rig.Poll(3));
  rig.logger->Stop();
  EXPECT_EQ(rig.control->Opens(L"\\\\.\\scsi0:"), 4u);
  EXPECT_EQ(rig.window.Count(rig.window.rediscovered), 3);
  const auto entries = rig.Entries();
  ASSERT_GE(entries.size(), 3u);
  EXPECT_EQ(entries[0].kind, LogEntryKind::Started);
  EXPECT_EQ(entries[1].kind, LogEntryKind::Resumed);
  EXPECT_EQ(entries[2].kind, LogEntryKind::Event);
}

TEST(EventLogger, NoAdapterAtAllStillLogsAndTriesEveryPoll) {
  LoggerRig rig(sim::Scenario{});
  rig.MakeLogger(1ms);
  ASSERT_TRUE(rig.logger->Start());
  ASSERT_TRUE(rig.PollUntil(5));
  rig.logger->Stop();
  // One attempt at start-up, then one per poll.
  EXPECT_EQ(rig.control->Opens(L"\\\\.\\scsi0:"), static_cast<std::size_t>(rig.Polls() + 1));
  EXPECT_EQ(rig.LogBytes(), LogOf({kStarted, kResumed,
                                   "15-January-2026 05:00.00\tKestrune Event Logger Stopped\r\n"}));
}

TEST(EventLogger, FailedFetchRebuildsTheBranchOnlyWhileAViewExists) {
  sim::Scenario scenario = OneAdapter();
  sim::FaultSpec fault;
  fault.request = "FetchEvents";
  fault.times = 1;
  scenario.faults = {fault};
  LoggerRig rig(std::move(scenario));
  rig.MakeLogger(1ms);
  ASSERT_TRUE(rig.logger->Start());
  ASSERT_TRUE(rig.PollUntil(3));
  EXPECT_TRUE(rig.logger->Thread()->RefreshMark());  // nobody to rebuild for

  rig.window.lockToCheck = rig.io.get();
  rig.window.viewExists = true;
  ASSERT_TRUE(rig.Poll(2));
  rig.logger->Stop();
  EXPECT_FALSE(rig.logger->Running());
  EXPECT_EQ(rig.window.rebuilt, std::vector<std::uint32_t>{0});
  EXPECT_EQ(rig.window.reselects, 1);
  EXPECT_EQ(rig.window.callsUnderLock.load(), 0);
}

TEST(EventLogger, SetEventsRereadTheSetsAndRefreshTheEventsPage) {
  // A RAID set created: the rescan mark.
  LoggerRig rig(
      OneAdapter({RawStep(5, test::RecordBytes(test::guid::kSetCreated, 1).Put(45, {2}))}));
  rig.window.viewExists = true;
  rig.window.eventsPageVisible = true;
  rig.MakeLogger(1ms);
  ASSERT_TRUE(rig.logger->Start());
  ASSERT_TRUE(rig.PollUntil(2));
  const std::string rio(ctl::wire::kSignatureRio.begin(), ctl::wire::kSignatureRio.end());
  const std::size_t before = rig.control->Count(rio, ctl::wire::code::kQuerySets);
  EXPECT_EQ(rig.window.Count(rig.window.exchanges), 0);  // no records, no exchange

  rig.clock->Advance(5s);
  ASSERT_TRUE(rig.WaitFor(LogEntryKind::Event));
  ASSERT_TRUE(rig.Poll(2));
  EXPECT_FALSE(rig.logger->Thread()->RescanMark());
  rig.logger->Stop();
  EXPECT_EQ(rig.control->Count(rio, ctl::wire::code::kQuerySets), before + 1);
  EXPECT_EQ(rig.window.exchanges, 1);
  EXPECT_TRUE(rig.window.rebuilt.empty());
}

TEST(EventLogger, StopWaitsForAPollInProgress) {
  LoggerRig rig(OneAdapter({RawStep(0, Udma(1))}));
  // An event whose handling takes its time (a slow mail server, say) holds
  // the poll until the stop has begun; Stop must wait it out.
  std::promise<void> inEvent;
  std::promise<void> stopping;
  std::shared_future<void> stopBegun = stopping.get_future().share();
  std::atomic<bool> entered{false};
  rig.alsoOnEntry = [&](LogEntryKind kind) {
    if (kind != LogEntryKind::Event || entered.exchange(true)) return;
    inEvent.set_value();
    stopBegun.wait();
  };
  rig.MakeLogger(1ms);
  bool stopSeen = false;
  rig.logger->SetWaitingForThread([&](bool waiting) {
    if (waiting && !std::exchange(stopSeen, true)) stopping.set_value();
  });
  ASSERT_TRUE(rig.logger->Start());
  ASSERT_TRUE(rig.clock->AdvanceToNextDeadline(30s));
  ASSERT_EQ(inEvent.get_future().wait_for(30s), std::future_status::ready);
  rig.logger->Stop();
  EXPECT_FALSE(rig.logger->Running());
  const auto entries = rig.Entries();
  ASSERT_EQ(entries.size(), 4u);
  EXPECT_EQ(entries[2].kind, LogEntryKind::Event);
  EXPECT_EQ(entries[3].kind, LogEntryKind::Stopped);
  EXPECT_TRUE(rig.LogEndsWith("05:00.00\tKestrune Event Logger Stopped\r\n"));
}

TEST(EventLogger, AThreadThatEndedOnItsOwnDoesNotHoldThePauseOrTheStop) {
  LoggerRig rig(OneAdapter());
  std::promise<void> failed;
  rig.alsoOnEntry = [&](LogEntryKind kind) {
    if (kind != LogEntryKind::Resumed) return;
    failed.set_value();
    throw std::runtime_error("hook failed");
  };
  rig.MakeLogger(1h);
  ASSERT_TRUE(rig.logger->Start());
  ASSERT_EQ(failed.get_future().wait_for(30s), std::future_status::ready);
  rig.logger->Pause();  // nobody will take it: returns all the same
  rig.logger->Resume();
  rig.logger->Stop();
  EXPECT_EQ(rig.CountOf(LogEntryKind::Stopped), 0u);
}

TEST(EventLogger, AThreadDestroyedWhileSuspendedWritesNothing) {
  LoggerRig rig(OneAdapter());
  ASSERT_TRUE(OpenLogFile(platform::FromUtf8(rig.LogPath()), false));
  {
    CEventLogThread thread({rig.io.get(), rig.settings.get(), &rig.window, rig.sound, rig.clock, rig.journal});
    thread.CreateThread();
    EXPECT_TRUE(thread.HasThread());
  }
  EXPECT_EQ(rig.LogBytes(), LogOf({}));
}

TEST(EventLogger, AThreadThatCannotBeCreatedLeavesLoggingOffAndTheHandshakeIdle) {
  LoggerRig rig(OneAdapter());
  rig.MakeLogger(1ms, [](std::function<void()>) -> std::thread {
    throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
  });
  EXPECT_FALSE(rig.logger->Start());
  ASSERT_EQ(rig.ui->MessageCount(), 1u);
  EXPECT_EQ(rig.ui->LastMessage()->text, L"Could not create the event logger thread!");
  EXPECT_EQ(rig.settings->LogFileEnabled(), L"FALSE");
  EXPECT_FALSE(rig.logger->HoldsLogFile());
  EXPECT_FALSE(rig.logger->Running());
  rig.logger->Pause();  // returns at once: there is no thread to wait for
  rig.logger->Resume();
  rig.logger->Stop();
  EXPECT_EQ(rig.LogBytes(), LogOf({}));  // opened (mark only), never written
  EXPECT_TRUE(rig.Entries().empty());
}

TEST(EventLogger, ALogFileThatCannotBeCreatedTurnsLoggingOffInMemory) {
  LoggerRig rig(OneAdapter());
  rig.settings->SetLogFileLocation(platform::FromUtf8(rig.dir.File("missing")) + L"/");
  rig.MakeLogger(1h);
  ASSERT_TRUE(rig.logger->Start());
  ASSERT_TRUE(rig.WaitFor(LogEntryKind::Resumed));
  rig.logger->Stop();
  ASSERT_EQ(rig.ui->MessageCount(), 1u);
  EXPECT_EQ(rig.ui->LastMessage()->text, L"Event Logger file could not be created!");
  EXPECT_EQ(rig.settings->LogFileEnabled(), L"FALSE");
  EXPECT_FALSE(std::filesystem::exists(rig.dir.File("missing")));
}

}  // namespace
}  // namespace kestrune::evt
