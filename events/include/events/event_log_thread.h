// CEventLogThread: the worker thread that polls the adapters for events every
// few seconds, writes them to the log file, plays their sounds, asks for the
// popup and mails them; and EventLogger, the main frame's part that starts,
// stops and pauses it around the held log file.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "controller/controller_io.h"
#include "events/auto_reset_event.h"
#include "events/event_mailer.h"
#include "events/event_program.h"
#include "events/event_record.h"
#include "events/event_text.h"
#include "events/log_file.h"
#include "events/logger_ui.h"
#include "events/smtp.h"
#include "platform/clock.h"
#include "platform/journal.h"
#include "platform/problem_report.h"
#include "platform/sound.h"
#include "platform/ui_services.h"
#include "settings/app_settings.h"

namespace kestrune::evt {

inline constexpr std::chrono::milliseconds kDefaultPollInterval{5000};

enum class LogEntryKind {
  Started,
  Stopped,
  PauseTaken,
  Resumed,
  Event,
  EmailFailure,
  EmailNotSent,    // a mail still waiting at the stop, or one the full queue refused
  ProgramFailure,  // the event program failed, or did not end in time
  ProgramNotRun,   // an event program still waiting at the stop, or refused by its full queue
};

// What one poll found: how many adapters were asked for events, and how many
// of those fetches failed.
struct PollOutcome {
  std::uint32_t adapters = 0;
  std::uint32_t failedFetches = 0;
};

struct EventLogThreadOptions {
  std::chrono::milliseconds pollInterval = kDefaultPollInterval;
  // Time limits of the event mail's connection (its stop signal is the mail
  // thread's own) and, for tests, its host lookup.
  SmtpOptions smtp;
  // The event mail's server port in place of "SMTP Port"; tests point it at
  // a port of their own.
  std::optional<std::uint16_t> mailPort;
  // Where the SMTP password is read from; empty: settings::SmtpPasswordPath().
  std::string smtpPasswordPath;
  // The event program, its level and its time limit in place of the settings'
  // "Event Program", "Program Event Level" and "Program Time Limit" (the
  // monitor's options).
  std::optional<std::wstring> eventProgram;
  std::optional<std::uint32_t> programEventLevel;
  std::optional<std::chrono::milliseconds> programTimeLimit;
  // Called on the logger thread for every entry it makes, with the entry's
  // text, once the entry has been written (or skipped: it is called whether
  // or not logging is on, so that a console can show every event).
  std::function<void(LogEntryKind, const std::wstring&)> onEntry;
  // Where problems that no window shows go (a log file that cannot be
  // written); null: standard error.
  std::shared_ptr<platform::ProblemReport> problems;
  // Called on the logger thread for every event record, after its entry,
  // with the number of the adapter it came from.
  std::function<void(const EventRecord&, std::uint32_t adapterNumber)> onEvent;
  // Called on the logger thread after every poll, before the main window is
  // told of it.
  std::function<void(const PollOutcome&)> onPollDone;
};

// What a CEventLogThread uses. The controller, settings and main window must
// outlive it; `mainWindow` may be null (no user interface: no view exists and
// nothing is posted).
struct EventLogServices {
  ctl::CControllerIo* io = nullptr;
  settings::AppSettings* settings = nullptr;
  LoggerUi* mainWindow = nullptr;
  std::shared_ptr<platform::Sound> sound;
  // The current time of the entries and the time the polls wait for; null:
  // the system clock.
  std::shared_ptr<platform::Clock> clock;
  // Every entry also goes here, whether or not the log file is on; null:
  // nowhere (no journal runs).
  std::shared_ptr<platform::Journal> journal;
};

// Makes a thread that runs `body`; throws std::system_error (or
// std::bad_alloc) when it cannot.
using ThreadLauncher = std::function<std::thread(std::function<void()> body)>;

class CEventLogThread {
 public:
  // The logging flag is taken from "Log File Enabled" here; all five events
  // start unsignalled. Event mail goes out on a thread of its own (started
  // with the first mail), in event order, so that no mail server can hold the
  // polls, the log, the sounds or the popups; a failed mail's entry is written
  // when the failure is known, naming its event. The event program runs the
  // same way from a queue of its own. The stop ends a mail or a program in
  // progress at once and writes those still waiting as not sent (not run).
  CEventLogThread(EventLogServices services, EventLogThreadOptions options = {});
  // A thread still running (or still suspended) is stopped and joined first.
  ~CEventLogThread();
  CEventLogThread(const CEventLogThread&) = delete;
  CEventLogThread& operator=(const CEventLogThread&) = delete;

  // Makes the thread, suspended: it runs its body only after ResumeThread.
  // Throws what the launcher throws when no thread can be made; the object
  // then has no thread.
  void CreateThread(const ThreadLauncher& launcher = {});
  void ResumeThread() {
    resumed_ = true;
    run_.Set();
  }
  bool HasThread() const { return thread_.joinable(); }

  // The handshake events, for the user-interface thread.
  void SetStop() { stop_.Set(); }
  void SetPause() { pause_.Set(); }
  void SetResume() { resume_.Set(); }
  // Both wait without time-out. Without a running thread they would wait
  // forever, so they return at once when there is none.
  void WaitPaused();
  void WaitExited();

  std::chrono::milliseconds PollInterval() const { return options_.pollInterval; }
  bool Logging() const { return logging_.load(); }
  // Set when a successful fetch reported no events; never cleared.
  bool EmptyFetchSeen() const { return emptyFetchSeen_.load(); }
  // The adapter's branch must be rebuilt / its sets read again. Both persist
  // between polls until acted on (the refresh mark only while a view exists).
  bool RefreshMark() const { return refreshMark_.load(); }
  bool RescanMark() const { return rescanMark_.load(); }
  // Mails queued or being sent; any thread may ask.
  std::size_t PendingMails() { return mailer_.Pending(); }
  // Event program runs queued or running; any thread may ask.
  std::size_t PendingPrograms() { return programs_.Pending(); }

 private:
  void Body();
  PollOutcome Poll();
  // False when the adapter's fetch failed.
  bool PollAdapter(std::uint32_t adapterNumber);
  void HandleRecord(const EventRecord& record, std::uint32_t adapterNumber);
  // Writes the entries of mails and event programs that failed or will not
  // go out.
  void LogMailOutcomes();
  // One entry: written when logging is on, sent to the journal with the
  // event's fields and severity, then handed to the hook.
  void Entry(LogEntryKind kind, const std::wstring& text,
             const std::vector<platform::JournalField>& fields = {}, std::uint32_t severity = 0);
  // A service entry: the string filled with the current local time.
  void TimedEntry(LogEntryKind kind, unsigned stringId);
  std::wstring Now() const;
  bool MainViewExists() const;

  EventLogServices services_;
  EventLogThreadOptions options_;
  std::shared_ptr<platform::Clock> clock_;  // services_.clock, or the system clock
  EventFormatter formatter_;
  LogWriter writer_;

  std::shared_ptr<EventGroup> waitGroup_ = std::make_shared<EventGroup>();
  AutoResetEvent stop_{waitGroup_};
  AutoResetEvent pause_{waitGroup_};
  AutoResetEvent resume_{waitGroup_};
  // The thread's answers. `ended_` is set once the body has returned and is
  // kept set, so that a pause asked of a thread that has ended cannot hang.
  std::shared_ptr<EventGroup> answerGroup_ = std::make_shared<EventGroup>();
  AutoResetEvent paused_{answerGroup_};
  AutoResetEvent ended_{answerGroup_};
  AutoResetEvent exited_;
  AutoResetEvent run_;  // lets a suspended thread start
  std::atomic<bool> resumed_{false};
  std::atomic<bool> abandoned_{false};  // destroyed while suspended: run no body

  std::atomic<bool> logging_{false};
  std::atomic<bool> refreshMark_{false};
  std::atomic<bool> rescanMark_{false};
  std::atomic<bool> emptyFetchSeen_{false};
  // Set by the mail thread: a mail's outcome awaits its entry.
  AutoResetEvent mailed_{waitGroup_};
  // Declared after the events their threads set, so that they are stopped
  // first.
  EventMailer mailer_;
  EventProgramQueue programs_;
  std::thread thread_;
};

// The services an EventLogger needs besides those of its thread.
struct EventLoggerServices {
  EventLogServices thread;
  std::shared_ptr<platform::UiServices> ui;  // message boxes
  std::function<void()> closeSplash;         // may be empty
};

// The main frame's part of the logger: the held log file handle and the
// thread object. Used from the user-interface thread only.
class EventLogger {
 public:
  explicit EventLogger(EventLoggerServices services, EventLogThreadOptions options = {},
                       ThreadLauncher launcher = {});
  // Stops a running logger.
  ~EventLogger();
  EventLogger(const EventLogger&) = delete;
  EventLogger& operator=(const EventLogger&) = delete;

  // Opens the log file as the held handle (the main frame's OpenLogFile). On
  // failure closes the splash, shows message 339 and holds nothing.
  bool OpenLogFile(bool truncate);
  void CloseLogFile() { held_.Close(); }
  bool HoldsLogFile() const { return held_.IsOpen(); }

  // Opens the held log file when logging is on (turning "Log File Enabled" to
  // "FALSE" in memory when that fails), creates the thread object and its
  // thread (suspended), sets its resume event and lets the thread run, so the
  // log begins with the started entry and then the resumed one. When the
  // object or the thread cannot be made: closes the splash, shows message 338
  // or 337, closes the held handle and turns "Log File Enabled" to "FALSE";
  // returns false. A second Start while the thread runs does nothing and
  // returns true.
  bool Start();
  // Sets the stop event, waits for the thread to end (without time-out),
  // destroys the object and closes the held handle.
  void Stop();

  // The pause handshake around a change of the log file: Pause sets the pause
  // event, waits (without time-out) until the thread has written its
  // pause-taken entry and stopped writing, and closes the held handle; the
  // caller then changes the settings and reopens the file as it needs; Resume
  // sets the resume event. When no thread exists (it could not be created)
  // there is nobody to hand the file over: Pause only closes the held handle
  // and Resume does nothing, both returning at once.
  void Pause();
  void Resume();

  // Called with true just before Pause or Stop waits for the thread, and with
  // false when the wait is over. The user interface answers the thread's
  // synchronous calls differently meanwhile, since it cannot run them while
  // it waits.
  void SetWaitingForThread(std::function<void(bool waiting)> waiting) {
    waitingForThread_ = std::move(waiting);
  }

  bool Running() const { return thread_ != nullptr; }
  CEventLogThread* Thread() { return thread_.get(); }

 private:
  void ShowMessage(unsigned stringId);
  void Disable();
  void Waiting(bool waiting);

  EventLoggerServices services_;
  EventLogThreadOptions options_;
  ThreadLauncher launcher_;
  LogFileHandle held_;
  std::unique_ptr<CEventLogThread> thread_;
  std::function<void(bool)> waitingForThread_;
};

}  // namespace kestrune::evt
