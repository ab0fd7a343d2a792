// An event logger over the test machine (simulated adapters, manual clock,
// recording sound): recorded message boxes, a main window double, settings
// pointing the log into a temporary folder and the mail at a refusing port,
// and waits for what the logger thread does.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <future>
#include <iterator>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "controller/controller_io.h"
#include "controller/wire.h"
#include "events/event_log_thread.h"
#include "events/event_rig.h"
#include "platform/manual_clock.h"
#include "platform/recording_journal.h"
#include "platform/recording_sound.h"
#include "platform/recording_ui.h"
#include "platform/temp_dir.h"
#include "platform/text.h"
#include "settings/app_settings.h"
#include "simulator/scenario.h"
#include "support/loopback_port.h"
#include "support/scenarios.h"
#include "support/test_machine.h"
#include "support/watched_control.h"

namespace kestrune::test {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

// UTF-16LE of an ASCII text, written out as each character and a zero byte.
inline Bytes Le(std::string_view ascii) {
  Bytes out;
  for (char c : ascii) {
    out.push_back(static_cast<std::uint8_t>(c));
    out.push_back(0);
  }
  return out;
}

// A log file's bytes: the mark FF FE, then the entries as given.
inline Bytes LogOf(std::initializer_list<std::string_view> entries) {
  Bytes out = {0xFF, 0xFE};
  for (auto e : entries) {
    const Bytes b = Le(e);
    out.insert(out.end(), b.begin(), b.end());
  }
  return out;
}

// An entry as the log file holds it: its final line feed becomes CR LF.
inline std::string AsLogged(std::string text) {
  if (!text.empty() && text.back() == '\n') text.insert(text.size() - 1, "\r");
  return text;
}

// The main frame as the logger sees it. Every call is recorded; the
// synchronous ones can check that the logger does not hold the model lock.
class MainWindowDouble final : public evt::LoggerUi {
 public:
  void PostShowPopup() override { Bump(popups); }
  void PostPollDone() override { Bump(polls); }
  bool MainViewExists() override {
    CheckLockFree();
    return viewExists.load();
  }
  void RebuildAdapterBranch(std::uint32_t adapterNumber) override {
    CheckLockFree();
    std::lock_guard lock(mutex);
    rebuilt.push_back(adapterNumber);
  }
  void ReselectCurrentItem() override {
    CheckLockFree();
    Bump(reselects);
  }
  void AdaptersRediscovered() override {
    CheckLockFree();
    Bump(rediscovered);
  }
  bool EventsPageVisible() override {
    CheckLockFree();
    return eventsPageVisible.load();
  }
  void ExchangeActivePageData() override {
    CheckLockFree();
    Bump(exchanges);
  }

  int Count(const int& counter) {
    std::lock_guard lock(mutex);
    return counter;
  }

  std::atomic<bool> viewExists{false};
  std::atomic<bool> eventsPageVisible{false};
  // When set, every synchronous call checks from another thread that the
  // model lock can be taken while the logger waits for the call.
  std::atomic<ctl::CControllerIo*> lockToCheck{nullptr};
  std::atomic<int> callsUnderLock{0};

  std::mutex mutex;
  std::condition_variable changed;
  int popups = 0;
  int polls = 0;
  int reselects = 0;
  int rediscovered = 0;
  int exchanges = 0;
  std::vector<std::uint32_t> rebuilt;

 private:
  void Bump(int& counter) {
    {
      std::lock_guard lock(mutex);
      ++counter;
    }
    changed.notify_all();
  }
  void CheckLockFree() {
    ctl::CControllerIo* io = lockToCheck.load();
    if (io == nullptr) return;
    auto taken = std::async(std::launch::async, [io] { ctl::CControllerIo::Lock l(*io); });
    if (taken.wait_for(2s) != std::future_status::ready) ++callsUnderLock;
    taken.wait();
  }
};

inline sim::AdapterSpec RaidAdapter() {
  sim::AdapterSpec a = ExtendedRaidAdapter();
  sim::DiskSpec disk;
  disk.sectors = 312581808;
  a.disks = {disk};
  return a;
}

// A record of the scenario's timeline, queued on adapter 0 at `atSeconds`.
inline sim::TimelineStep RawStep(double atSeconds, const RecordBytes& record) {
  sim::TimelineStep step;
  step.atSeconds = atSeconds;
  step.action = sim::RawEvent{record.bytes};
  return step;
}

// Ultra DMA change on channel 1 from mode 5 to 2, stamped kStamp.
inline RecordBytes Udma(std::uint32_t severity) {
  return RecordBytes(guid::kUltraDma, severity).Put(44, {1, 0, 5, 2});
}

// Its text in the zone EST5 (kStamp is 14:07.09 UTC).
inline std::string UdmaText(std::string_view severityText) {
  return "05-March-2004 09:07.09\t" + std::string(severityText) +
         " - Ultra DMA mode downgraded.\n\t\tThe Channel 1 Device on adapter 0 Ultra DMA mode "
         "changed from 5 to 2.\n";
}

struct Entry {
  evt::LogEntryKind kind;
  std::wstring text;
};

struct LoggerRig {
  ScopedTimeZone zone{"EST5"};  // fixed, five hours behind UTC
  testing::TempDir dir;
  // Where event mails go: a port that refuses at once, whatever listens on
  // the machine's own mail port.
  RefusingPort mailServer;
  std::shared_ptr<platform::ManualClock> clock = std::make_shared<platform::ManualClock>();
  machine::Machine machine;
  std::shared_ptr<WatchedControl> control;
  std::shared_ptr<platform::RecordingUi> ui = std::make_shared<platform::RecordingUi>();
  std::shared_ptr<platform::RecordingSound> sound = std::make_shared<platform::RecordingSound>();
  std::shared_ptr<platform::RecordingJournal> journal =
      std::make_shared<platform::RecordingJournal>();
  std::unique_ptr<ctl::CControllerIo> io;
  std::unique_ptr<settings::AppSettings> settings;
  MainWindowDouble window;
  std::unique_ptr<evt::EventLogger> logger;

  std::mutex mutex;
  std::condition_variable changed;
  std::vector<Entry> entries;
  // Runs on the logger thread for each entry, before it is recorded.
  std::function<void(evt::LogEntryKind)> alsoOnEntry;
  // The event mail's time-out and host lookup, and its port (0: mailServer's).
  evt::SmtpOptions smtp{5s};
  std::uint16_t mailPort = 0;
  // Changes the logger's options before it is made (more hooks).
  std::function<void(evt::EventLogThreadOptions&)> adjustOptions;

  // Discovers the adapters at once unless told not to, as the main frame does
  // before it starts the logger.
  explicit LoggerRig(sim::Scenario scenario, bool discover = true) {
    auto options = TestMachineOptions(std::move(scenario), clock);
    options.sound = sound;
    options.wrapDeviceControl = [this](std::shared_ptr<platform::DeviceControl> inner) {
      control = std::make_shared<WatchedControl>(std::move(inner));
      return control;
    };
    machine = MakeTestMachine(options);
    io = std::make_unique<ctl::CControllerIo>(machine.ControllerServices(ui));
    if (discover) io->Discover();
    settings = std::make_unique<settings::AppSettings>(machine.Registry(), ui);
    auto values = settings::AppSettings::Defaults(L"TESTHOST");
    values.logFileLocation = platform::FromUtf8(dir.path().string()) + L"/";
    values.logFileName = L"events.txt";
    values.logFileEnabled = L"TRUE";
    values.smtpServer = L"127.0.0.1";
    values.defaultEmail = L"kestrune@localhost";
    values.eventList = L"admin@localhost;";
    values.audioInformational = L"/sounds/info.wav";
    values.audioWarning = L"/sounds/warning.wav";
    values.audioError = L"/sounds/error.wav";
    values.popupEventLevel = 0;
    values.emailEventLevel = 0;
    settings->Set(values);
  }
  ~LoggerRig() { logger.reset(); }

  void MakeLogger(std::chrono::milliseconds interval, evt::ThreadLauncher launcher = {}) {
    evt::EventLogThreadOptions options;
    options.pollInterval = interval;
    options.smtp = smtp;
    options.mailPort = mailPort != 0 ? mailPort : mailServer.Port();
    options.onEntry = [this](evt::LogEntryKind kind, const std::wstring& text) {
      if (alsoOnEntry) alsoOnEntry(kind);
      {
        std::lock_guard lock(mutex);
        entries.push_back({kind, text});
      }
      changed.notify_all();
    };
    if (adjustOptions) adjustOptions(options);
    logger = std::make_unique<evt::EventLogger>(
        evt::EventLoggerServices{{io.get(), settings.get(), &window, sound, clock, journal}, ui, {}},
        options, std::move(launcher));
  }

  std::size_t CountOf(evt::LogEntryKind kind) {
    std::lock_guard lock(mutex);
    return static_cast<std::size_t>(std::count_if(entries.begin(), entries.end(),
                                                  [&](const Entry& e) { return e.kind == kind; }));
  }
  std::vector<Entry> Entries() {
    std::lock_guard lock(mutex);
    return entries;
  }
  // Waits (at most 30 s) until the logger has made `count` entries of a kind.
  bool WaitFor(evt::LogEntryKind kind, std::size_t count = 1) {
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, 30s, [&] {
      return static_cast<std::size_t>(std::count_if(
                 entries.begin(), entries.end(), [&](const Entry& e) { return e.kind == kind; })) >=
             count;
    });
  }
  // Waits until the logger has posted `count` poll-done messages in all.
  bool WaitForPolls(int count) {
    std::unique_lock lock(window.mutex);
    return window.changed.wait_for(lock, 30s, [&] { return window.polls >= count; });
  }
  // Lets the logger poll `times` times: each time waits until the logger
  // waits for its next poll, moves the clock on to that poll's time and
  // waits until the poll is done.
  bool Poll(int times = 1) {
    for (int i = 0; i < times; ++i) {
      const int before = Polls();
      if (!clock->AdvanceToNextDeadline(30s) || !WaitForPolls(before + 1)) return false;
    }
    return true;
  }
  // Polls until `count` polls were done in all.
  bool PollUntil(int count) {
    while (Polls() < count)
      if (!Poll()) return false;
    return true;
  }
  int Polls() { return window.Count(window.polls); }

  std::string LogPath() const { return dir.File("events.txt"); }
  Bytes LogBytes() const {
    std::ifstream in(LogPath(), std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  bool LogEndsWith(std::string_view ascii) const {
    const Bytes log = LogBytes();
    const Bytes tail = Le(ascii);
    return log.size() >= tail.size() && std::equal(tail.rbegin(), tail.rend(), log.rbegin());
  }
};

inline sim::Scenario OneAdapter(std::vector<sim::TimelineStep> timeline = {}) {
  sim::Scenario s;
  s.adapters = {RaidAdapter()};
  s.timeline = std::move(timeline);
  return s;
}

}  // namespace kestrune::test
