// The event logger thread: wait, poll, log, notify; and the main frame's
// start, stop and pause handshake around it.
#include "events/event_log_thread.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <new>
#include <system_error>
#include <utility>
#include <vector>

#include "controller/adapter_keys.h"
#include "events/event_journal.h"
#include "events/event_record.h"
#include "platform/filetime.h"
#include "platform/text.h"
#include "resources/strings.h"
#include "settings/smtp_password.h"

namespace kestrune::evt {

namespace {

using settings::AppSettings;

}  // namespace

CEventLogThread::CEventLogThread(EventLogServices services, EventLogThreadOptions options)
    : services_(std::move(services)),
      options_(std::move(options)),
      clock_(services_.clock ? services_.clock : platform::MakeSystemClock()),
      formatter_(*services_.io),
      writer_(options_.problems ? options_.problems : platform::MakeStderrProblemReport({})),
      mailer_(
          [this](const EventMail& mail, std::wstring& error,
                 const std::shared_ptr<platform::StopSignal>& stop) {
            SmtpOptions smtp = options_.smtp;
            smtp.stop = stop;
            AppSettings::Values how;
            how.smtpPort = mail.port;
            how.smtpSecurity = mail.security;
            how.smtpUser = mail.user;
            how.smtpCaFile = mail.caFile;
            SmtpAccount account;
            if (!SmtpAccountFromSettings(how,
                                         options_.smtpPasswordPath.empty()
                                             ? settings::SmtpPasswordPath()
                                             : options_.smtpPasswordPath,
                                         account, error))
              return false;
            if (options_.mailPort) account.port = *options_.mailPort;
            return SendMailWith(mail.server, account, mail.sender, mail.recipients, mail.subject,
                                mail.text, error, std::move(smtp));
          },
          [this] { mailed_.Set(); }),
      programs_(
          [this](const EventProgramRun& run, std::wstring& error,
                 const std::shared_ptr<platform::StopSignal>& stop) {
            return RunEventProgram(run, error, stop, services_.journal.get());
          },
          [this] { mailed_.Set(); }) {
  logging_ = AppSettings::SwitchOn(services_.settings->LogFileEnabled());
}

CEventLogThread::~CEventLogThread() {
  if (thread_.joinable()) {
    if (!resumed_) abandoned_ = true;
    stop_.Set();
    run_.Set();
    thread_.join();
  }
}

void CEventLogThread::CreateThread(const ThreadLauncher& launcher) {
  std::function<void()> body = [this] {
    run_.Wait();
    try {
      if (!abandoned_) Body();
    } catch (...) {
      // A failing hook or an exhausted heap ends the thread like a stop
      // would, so that the main frame's stop still completes.
    }
    ended_.Set();
    exited_.Set();
  };
  thread_ = launcher ? launcher(std::move(body)) : std::thread(std::move(body));
}

void CEventLogThread::WaitPaused() {
  if (!thread_.joinable()) return;
  if (WaitForAny({&paused_, &ended_}, std::nullopt) == 1) ended_.Set();
}

void CEventLogThread::WaitExited() {
  if (!thread_.joinable()) return;
  exited_.Wait();
  thread_.join();
}

void CEventLogThread::Body() {
  // Sockets need no per-thread start-up on POSIX, so the step that initialises
  // the socket library for this thread (and its failure message 295) has
  // nothing to do here.
  TimedEntry(LogEntryKind::Started, res::kStrLoggerStarted);
  // The poll interval is the injected clock's: a virtual clock polls when it
  // is moved on, the system clock every interval of steady time.
  platform::Clock& clock = *clock_;
  auto nextPoll = clock.Steady() + options_.pollInterval;
  for (;;) {
    // A mail outcome wakes the thread without moving the next poll.
    const auto signalled = WaitForAny({&stop_, &pause_, &resume_, &mailed_}, clock, nextPoll);
    if (signalled == 0U) {
      // Ends a mail or program in progress at once; what was waiting is
      // logged as not sent (not run).
      mailer_.Stop();
      programs_.Stop();
      LogMailOutcomes();
      TimedEntry(LogEntryKind::Stopped, res::kStrLoggerStopped);
      return;
    }
    if (signalled == 3U) {
      LogMailOutcomes();
      continue;
    }
    nextPoll = clock.Steady() + options_.pollInterval;
    if (signalled == 1U) {
      TimedEntry(LogEntryKind::PauseTaken, res::kStrWriterShuttingDown);
      logging_ = false;
      paused_.Set();
      continue;
    }
    if (signalled == 2U) {
      logging_ = AppSettings::SwitchOn(services_.settings->LogFileEnabled());
      TimedEntry(LogEntryKind::Resumed, res::kStrWriterStartingUp);
      continue;
    }
    const PollOutcome outcome = Poll();
    if (options_.onPollDone) options_.onPollDone(outcome);
    if (services_.mainWindow != nullptr) services_.mainWindow->PostPollDone();
  }
}

bool CEventLogThread::MainViewExists() const {
  return services_.mainWindow != nullptr && services_.mainWindow->MainViewExists();
}

PollOutcome CEventLogThread::Poll() {
  ctl::CControllerIo& io = *services_.io;
  bool rediscover = false;
  {
    ctl::CControllerIo::Lock lock(io);
    rediscover = io.Model().AdapterCount() == 0 && io.Model().ntFamily;
  }
  if (rediscover) {
    // Discovery replaces the computer entry and fills the list anew; it takes
    // the model lock itself, and the view is told only after it let go.
    io.Discover();
    // The fresh adapter records need their registry keys for the device options.
    if (services_.settings != nullptr)
      services_.settings->OpenAdapterKeys(ctl::AdapterKeyOpener(io));
    if (MainViewExists()) services_.mainWindow->AdaptersRediscovered();
  }
  PollOutcome outcome;
  for (std::uint32_t n = 0;; ++n) {
    {
      ctl::CControllerIo::Lock lock(io);
      if (n >= io.Model().AdapterCount()) break;
    }
    ++outcome.adapters;
    if (!PollAdapter(n)) ++outcome.failedFetches;
  }
  return outcome;
}

bool CEventLogThread::PollAdapter(std::uint32_t adapterNumber) {
  ctl::CControllerIo& io = *services_.io;
  // The adapter is looked up afresh under the lock at every step: the user
  // interface may empty the list (after a wizard run) between two of them.
  ctl::EventBatch batch;
  bool fetched = false;
  {
    ctl::CControllerIo::Lock lock(io);
    ctl::AdapterRecord* adapter = io.Model().Adapter(adapterNumber);
    if (adapter == nullptr) return true;
    fetched = io.FetchEvents(*adapter, batch);
  }
  if (fetched) {
    if (batch.reportedCount == 0) emptyFetchSeen_ = true;
    const std::vector<EventRecord> records = ReadEventRecords(batch);
    for (const EventRecord& record : records) HandleRecord(record, adapterNumber);
    if (!records.empty() && MainViewExists() && services_.mainWindow->EventsPageVisible())
      services_.mainWindow->ExchangeActivePageData();
  } else {
    refreshMark_ = true;
  }
  if (formatter_.RefreshTreeMark()) refreshMark_ = true;
  if (formatter_.RescanAdapterMark()) rescanMark_ = true;
  formatter_.ClearMarks();

  if (MainViewExists() && refreshMark_) {
    io.RereadAdapter(adapterNumber);
    services_.mainWindow->RebuildAdapterBranch(adapterNumber);
  }
  if (rescanMark_) {
    io.RereadSets(adapterNumber, true);
    rescanMark_ = false;
  }
  if (MainViewExists() && refreshMark_) {
    services_.mainWindow->ReselectCurrentItem();
    refreshMark_ = false;
  }
  return fetched;
}

void CEventLogThread::HandleRecord(const EventRecord& record, std::uint32_t adapterNumber) {
  const AppSettings& settings = *services_.settings;
  std::wstring text;
  if (const auto led = formatter_.FormatEvent(record, adapterNumber, text))
    formatter_.ApplyLedChange(adapterNumber, *led);
  const std::vector<platform::JournalField> fields = services_.journal
                                                         ? EventJournalFields(record, adapterNumber)
                                                         : std::vector<platform::JournalField>{};
  Entry(LogEntryKind::Event, text, fields, record.severity);
  if (options_.onEvent) options_.onEvent(record, adapterNumber);

  std::wstring wave;
  bool hasWave = true;
  switch (record.severity) {
    case static_cast<std::uint32_t>(EventSeverity::Informational):
      wave = settings.AudioInformational();
      break;
    case static_cast<std::uint32_t>(EventSeverity::Warning):
      wave = settings.AudioWarning();
      break;
    case static_cast<std::uint32_t>(EventSeverity::Error):
      wave = settings.AudioError();
      break;
    default:
      hasWave = false;
      break;
  }
  // Played without waiting; a sound that cannot be played is not reported.
  if (hasWave && !AppSettings::AudioDisabled(wave) && services_.sound) {
    services_.sound->PlayAsync(wave);
  }

  if (AppSettings::LevelReached(settings.PopupEventLevel(), record.severity) &&
      services_.mainWindow != nullptr) {
    services_.mainWindow->PostShowPopup();
  }

  if (AppSettings::LevelReached(settings.EmailEventLevel(), record.severity)) {
    // Queued with the settings of now; the mail thread sends it.
    const AppSettings::Values values = settings.Get();
    mailer_.Enqueue({values.smtpServer, values.defaultEmail, values.eventList, values.eventSubject,
                     text, values.smtpPort, values.smtpSecurity, values.smtpUser, values.smtpCaFile,
                     fields});
  }

  const std::wstring program = options_.eventProgram.value_or(settings.EventProgram());
  const std::uint32_t programLevel =
      options_.programEventLevel.value_or(settings.ProgramEventLevel());
  if (!program.empty() && AppSettings::LevelReached(programLevel, record.severity)) {
    programs_.Enqueue(
        {program, options_.programTimeLimit.value_or(ProgramTimeLimit(settings.ProgramTimeLimit())),
         text, EventProgramEnvironment(record, adapterNumber, text), fields});
  }
}

void CEventLogThread::LogMailOutcomes() {
  std::vector<MailOutcome> outcomes = mailer_.TakeOutcomes();
  const std::size_t mails = outcomes.size();
  for (MailOutcome& run : programs_.TakeOutcomes()) outcomes.push_back(std::move(run));
  for (std::size_t i = 0; i < outcomes.size(); ++i) {
    MailOutcome& outcome = outcomes[i];
    const bool mail = i < mails;
    // The event's first line (its time stamp, severity and title) names it.
    const std::wstring& event = outcome.eventText;
    const std::wstring forEvent = res::FormatString(res::kStrEventEmailForEvent,
                                                    event.substr(0, event.find_first_of(L"\r\n")));
    switch (outcome.kind) {
      case MailOutcome::Kind::Failed: {
        std::wstring error = std::move(outcome.error);
        if (error.empty() || error.back() != L'\n') error += L'\n';
        Entry(
            mail ? LogEntryKind::EmailFailure : LogEntryKind::ProgramFailure,
            res::FormatString(mail ? res::kStrEventEmailError : res::kStrEventProgramError, Now()) +
                error + forEvent,
            outcome.journalFields);
        break;
      }
      case MailOutcome::Kind::NotSent:
        Entry(mail ? LogEntryKind::EmailNotSent : LogEntryKind::ProgramNotRun,
              res::FormatString(mail ? res::kStrEventEmailNotSent : res::kStrEventProgramNotRun,
                                Now()) +
                  forEvent,
              outcome.journalFields);
        break;
      case MailOutcome::Kind::Dropped:
        Entry(mail ? LogEntryKind::EmailNotSent : LogEntryKind::ProgramNotRun,
              res::FormatString(
                  mail ? res::kStrEventEmailQueueFull : res::kStrEventProgramQueueFull, Now()) +
                  forEvent,
              outcome.journalFields);
        break;
    }
  }
}

void CEventLogThread::Entry(LogEntryKind kind, const std::wstring& text,
                            const std::vector<platform::JournalField>& fields,
                            std::uint32_t severity) {
  writer_.Write(services_.settings->LogFilePath(), text, logging_.load());
  if (services_.journal) {
    std::vector<platform::JournalField> all{JournalEntryField(kind)};
    all.insert(all.end(), fields.begin(), fields.end());
    services_.journal->Send(JournalPriorityOf(kind, severity), platform::ToUtf8(text), all);
  }
  if (options_.onEntry) options_.onEntry(kind, text);
}

void CEventLogThread::TimedEntry(LogEntryKind kind, unsigned stringId) {
  Entry(kind, res::FormatString(stringId, Now()));
}

std::wstring CEventLogThread::Now() const {
  return FormatEventTime(platform::ToFiletime(clock_->Now()));
}

// EventLogger

EventLogger::EventLogger(EventLoggerServices services, EventLogThreadOptions options,
                         ThreadLauncher launcher)
    : services_(std::move(services)),
      options_(std::move(options)),
      launcher_(std::move(launcher)) {}

EventLogger::~EventLogger() {
  Stop();
}

void EventLogger::ShowMessage(unsigned stringId) {
  if (services_.closeSplash) services_.closeSplash();
  if (services_.ui) {
    services_.ui->MessageBox(res::LoadString(stringId), settings::kProductName,
                             platform::MsgButtons::Ok, platform::MsgIcon::None);
  }
}

void EventLogger::Disable() {
  held_.Close();
  services_.thread.settings->SetLogFileEnabled(L"FALSE");
}

bool EventLogger::OpenLogFile(bool truncate) {
  held_ = evt::OpenLogFile(services_.thread.settings->LogFilePath(), truncate);
  if (held_) return true;
  ShowMessage(res::kStrLogFileFailed);
  return false;
}

bool EventLogger::Start() {
  if (thread_) return true;
  held_.Close();
  settings::AppSettings& settings = *services_.thread.settings;
  // Turned off in memory only; saved with the next save of the settings.
  if (AppSettings::SwitchOn(settings.LogFileEnabled()) && !OpenLogFile(false))
    settings.SetLogFileEnabled(L"FALSE");

  std::unique_ptr<CEventLogThread> thread;
  try {
    thread = std::make_unique<CEventLogThread>(services_.thread, options_);
  } catch (const std::bad_alloc&) {
    ShowMessage(res::kStrLoggerMemoryFailed);
    Disable();
    return false;
  }
  try {
    thread->CreateThread(launcher_);
  } catch (const std::exception&) {
    ShowMessage(res::kStrLoggerThreadFailed);
    thread.reset();
    Disable();
    return false;
  }
  thread_ = std::move(thread);
  // Set before the thread runs, so that its first wait always takes it.
  thread_->SetResume();
  thread_->ResumeThread();
  return true;
}

void EventLogger::Waiting(bool waiting) {
  if (waitingForThread_) waitingForThread_(waiting);
}

void EventLogger::Stop() {
  if (thread_) {
    thread_->SetStop();
    Waiting(true);
    thread_->WaitExited();
    Waiting(false);
    thread_.reset();
  }
  held_.Close();
}

void EventLogger::Pause() {
  if (thread_) {
    thread_->SetPause();
    Waiting(true);
    thread_->WaitPaused();
    Waiting(false);
  }
  held_.Close();
}

void EventLogger::Resume() {
  if (thread_) thread_->SetResume();
}

}  // namespace kestrune::evt
