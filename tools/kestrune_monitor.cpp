// kestrune-monitor: the event logger without a desktop. Finds the adapters,
// loads the settings and runs the logger thread (log file, sounds, e-mail),
// printing each event as it is logged, until SIGINT or SIGTERM, or after one
// poll with --once; with --metrics it also keeps a Prometheus metrics file.
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>

#include "controller/controller_io.h"
#include "events/event_log_thread.h"
#include "events/event_time.h"
#include "events/logger_ui.h"
#include "events/metrics.h"
#include "events/smtp.h"
#include "headless.h"
#include "platform/filetime.h"
#include "platform/text.h"
#include "settings/app_settings.h"
#include "settings/smtp_password.h"

namespace {

using namespace kestrune;

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

constexpr char kUsage[] =
    "usage: kestrune-monitor [--once] [--interval MS] [--popups] [--port N] [--metrics FILE]\n"
    "                        [--program PATH] [--program-level N] [--program-time-limit S]\n"
    "       kestrune-monitor --test-mail [--server HOST] [--port N]\n"
    "Runs the event logger over the adapters: each event is written to the log\n"
    "file, played, mailed as the settings say, and printed here.\n"
    "  --once          poll once, let the mails and programs of that poll end, then stop\n"
    "  --interval MS   poll every MS milliseconds (default 5000)\n"
    "  --popups        print [popup] where the desktop would show its popup\n"
    "  --port N        the mail server's port (default: the setting \"SMTP Port\")\n"
    "  --metrics FILE  after every poll, write Prometheus metrics to FILE\n"
    "  --program PATH  run PATH for every event that reaches --program-level (in\n"
    "                  place of \"Event Program\"); the event's fields are in its\n"
    "                  environment (KESTRUNE_*), its text on standard input\n"
    "  --program-level N  0 (off) to 3, as \"Program Event Level\"\n"
    "  --program-time-limit S  kill the program after S seconds (1 to 3600;\n"
    "                  default \"Program Time Limit\", 30)\n"
    "  --test-mail     send one test event mail to the \"Event List\" through the\n"
    "                  \"SMTP Server\" (or --server HOST), print the SMTP\n"
    "                  dialogue, exit 0 when the server took it\n"
    "SIGINT or SIGTERM stops it at once: mails not yet sent are logged as such.\n"
    "KESTRUNE_SCENARIO names a scenario file, KESTRUNE_REGISTRY the settings store.\n";

struct Options {
  bool once = false;
  bool popups = false;
  long interval = 5000;
  std::optional<std::string> metrics;
  bool testMail = false;
  std::optional<std::string> server;
  std::optional<std::uint16_t> port;
  std::optional<std::string> program;
  std::optional<std::uint32_t> programLevel;
  std::optional<std::uint32_t> programTimeLimit;
};

// A whole number from `low` to `high`; nothing for any other text.
std::optional<long> Number(const std::string& value, long low, long high) {
  char* end = nullptr;
  errno = 0;
  const long n = std::strtol(value.c_str(), &end, 10);
  if (value.empty() || *end != '\0' || errno != 0 || n < low || n > high) return std::nullopt;
  return n;
}

// Returns an exit code when the program should end at once.
std::optional<int> Parse(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--once") {
      options.once = true;
    } else if (arg == "--popups") {
      options.popups = true;
    } else if (arg == "--interval" && i + 1 < argc) {
      const std::string value = argv[++i];
      char* end = nullptr;
      errno = 0;
      const long ms = std::strtol(value.c_str(), &end, 10);
      if (value.empty() || *end != '\0' || errno != 0 || ms < 0 || ms > 86400000L) {
        std::fprintf(stderr, "kestrune-monitor: bad --interval \"%s\" (0 to 86400000 ms)\n",
                     value.c_str());
        return kExitUsage;
      }
      options.interval = ms;
    } else if (arg == "--metrics" && i + 1 < argc) {
      options.metrics = argv[++i];
      if (options.metrics->empty()) {
        std::fputs("kestrune-monitor: --metrics needs a file name\n", stderr);
        return kExitUsage;
      }
    } else if (arg == "--program" && i + 1 < argc) {
      options.program = argv[++i];
      if (options.program->empty() || options.program->front() != '/') {
        std::fputs("kestrune-monitor: --program needs the program's full path\n", stderr);
        return kExitUsage;
      }
    } else if ((arg == "--program-level" || arg == "--program-time-limit") && i + 1 < argc) {
      const std::string value = argv[++i];
      const bool level = arg == "--program-level";
      const auto n = level ? Number(value, 0, 3) : Number(value, 1, 3600);
      if (!n) {
        std::fprintf(stderr, "kestrune-monitor: bad %s \"%s\" (%s)\n", arg.c_str(), value.c_str(),
                     level ? "0 to 3" : "1 to 3600 seconds");
        return kExitUsage;
      }
      (level ? options.programLevel : options.programTimeLimit) = static_cast<std::uint32_t>(*n);
    } else if (arg == "--test-mail") {
      options.testMail = true;
    } else if (arg == "--server" && i + 1 < argc) {
      options.server = argv[++i];
    } else if (arg == "--port" && i + 1 < argc) {
      const std::string value = argv[++i];
      char* end = nullptr;
      errno = 0;
      const long port = std::strtol(value.c_str(), &end, 10);
      if (value.empty() || *end != '\0' || errno != 0 || port < 1 || port > 65535) {
        std::fprintf(stderr, "kestrune-monitor: bad --port \"%s\" (1 to 65535)\n", value.c_str());
        return kExitUsage;
      }
      options.port = static_cast<std::uint16_t>(port);
    } else if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return kExitOk;
    } else {
      std::fprintf(stderr, "kestrune-monitor: unknown option \"%s\"\n%s", arg.c_str(), kUsage);
      return kExitUsage;
    }
  }
  if (!options.testMail && options.server) {
    std::fputs("kestrune-monitor: --server goes with --test-mail\n", stderr);
    return kExitUsage;
  }
  if (options.testMail && (options.once || options.popups || options.metrics || options.program ||
                           options.programLevel || options.programTimeLimit)) {
    std::fputs("kestrune-monitor: --test-mail sends one mail and runs no logger\n", stderr);
    return kExitUsage;
  }
  return std::nullopt;
}

std::string ForTerminal(const std::wstring& text);

// One event mail, as the logger sends it (the settings' sender, "Event
// List" and "Event Subject"), with a text that says it is a test, and the
// dialogue on standard output. True when the server took the mail.
bool SendTestMail(const Options& options, tools::Headless& headless) {
  const settings::AppSettings::Values values = headless.settings->Get();
  const std::wstring server =
      options.server ? platform::FromUtf8(*options.server) : values.smtpServer;
  std::wstring error;
  evt::SmtpAccount account;
  const bool usable =
      evt::SmtpAccountFromSettings(values, settings::SmtpPasswordPath(), account, error);
  if (options.port) account.port = *options.port;
  std::wstring computer;
  {
    ctl::CControllerIo::Lock lock(*headless.io);
    computer = headless.io->Model().computer.computerName;
  }
  const std::wstring text =
      evt::FormatEventTime(platform::ToFiletime(headless.machine.Clock()->Now())) +
      L"\tInformational - Kestrune test mail.\n\t\tThis is a test of the event mail of "
      L"kestrune-monitor on " +
      computer + L". No event has occurred.\n";
  std::printf("kestrune-monitor: test mail from %s to %s through %s port %u, security %s%s%s\n",
              platform::ToUtf8(values.defaultEmail).c_str(),
              platform::ToUtf8(values.eventList).c_str(), platform::ToUtf8(server).c_str(),
              unsigned{account.port}, platform::ToUtf8(values.smtpSecurity).c_str(),
              account.user.empty() ? "" : ", user ", platform::ToUtf8(account.user).c_str());
  if (evt::RecipientPieces(values.eventList).empty()) {
    std::fputs(
        "kestrune-monitor: warning: no address of the \"Event List\" ends with \";\" or "
        "\",\"; the mail goes to nobody\n",
        stderr);
  }
  evt::SmtpOptions smtp;
  smtp.timeout = std::chrono::seconds(30);
  smtp.transcript = [](evt::SmtpLine kind, const std::string& line) {
    const char* mark = kind == evt::SmtpLine::Received ? "<-"
                       : kind == evt::SmtpLine::Sent   ? "->"
                                                       : "--";
    std::printf("%s %s\n", mark, line.c_str());
  };
  const bool sent =
      usable && evt::SendMailWith(server, account, values.defaultEmail, values.eventList,
                                  values.eventSubject, text, error, smtp);
  std::fill(account.password.begin(), account.password.end(), '\0');
  std::fflush(stdout);
  if (!sent) {
    std::string reason = ForTerminal(error);
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r')) reason.pop_back();
    std::fprintf(stderr, "kestrune-monitor: the test mail failed: %s\n", reason.c_str());
    return false;
  }
  std::puts("kestrune-monitor: the server accepted the test mail");
  return true;
}

// Texts for the terminal: UTF-8 with the entries' CR LF as plain line ends.
std::string ForTerminal(const std::wstring& text) {
  std::string out = platform::ToUtf8(text);
  std::string::size_type at = 0;
  while ((at = out.find("\r\n", at)) != std::string::npos) out.erase(at, 1);
  return out;
}

// The main frame of a console: no view ever exists, so nothing is rebuilt or
// reselected. With --once the first poll-done holds the logger until the main
// thread has set its stop event, so exactly one poll happens.
class ConsoleWindow final : public evt::LoggerUi {
 public:
  ConsoleWindow(bool popups, bool once, int wakeFd)
      : popups_(popups), once_(once), wakeFd_(wakeFd) {}

  void PostShowPopup() override {
    if (!popups_) return;
    std::fputs("[popup]\n", stdout);
    std::fflush(stdout);
  }
  void PostPollDone() override {
    if (!once_) return;
    std::unique_lock lock(mutex_);
    if (released_) return;
    polled_ = true;
    const char byte = 1;
    [[maybe_unused]] const auto n = ::write(wakeFd_, &byte, 1);
    released_cv_.wait(lock, [this] { return released_; });
  }
  bool MainViewExists() override { return false; }
  void RebuildAdapterBranch(std::uint32_t) override {}
  void ReselectCurrentItem() override {}
  void AdaptersRediscovered() override {}
  bool EventsPageVisible() override { return false; }
  void ExchangeActivePageData() override {}

  bool Polled() {
    std::lock_guard lock(mutex_);
    return polled_;
  }
  // Lets a held poll-done return, and every later one at once.
  void Release() {
    {
      std::lock_guard lock(mutex_);
      released_ = true;
    }
    released_cv_.notify_all();
  }

 private:
  const bool popups_;
  const bool once_;
  const int wakeFd_;
  std::mutex mutex_;
  std::condition_variable released_cv_;
  bool polled_ = false;
  bool released_ = false;
};

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (const auto done = Parse(argc, argv, options)) return *done;

  // Blocked before any thread exists, so every thread inherits the mask and
  // the signals are taken only through the signal descriptor below.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  if (pthread_sigmask(SIG_BLOCK, &signals, nullptr) != 0) {
    std::fputs("kestrune-monitor: cannot block signals\n", stderr);
    return kExitFailed;
  }
  const int signalFd = ::signalfd(-1, &signals, SFD_CLOEXEC);
  int wake[2] = {-1, -1};
  if (signalFd < 0 || ::pipe2(wake, O_CLOEXEC) != 0) {
    std::fputs("kestrune-monitor: cannot watch for signals\n", stderr);
    return kExitFailed;
  }

  tools::Headless headless;
  if (!tools::StartHeadless("kestrune-monitor", headless)) return kExitFailed;
  if (options.testMail) return SendTestMail(options, headless) ? kExitOk : kExitFailed;
  ctl::CControllerIo& io = *headless.io;
  settings::AppSettings& settings = *headless.settings;

  // The folder is made here; the file itself is made by the logger's open.
  const std::string folder = platform::ToUtf8(settings.LogFileLocation());
  std::error_code ec;
  if (!folder.empty()) std::filesystem::create_directories(folder, ec);
  if (ec) {
    std::fprintf(stderr, "kestrune-monitor: cannot create the log folder %s: %s\n", folder.c_str(),
                 ec.message().c_str());
  }
  if (settings::AppSettings::SwitchOn(settings.LogFileEnabled())) {
    std::fprintf(stderr, "kestrune-monitor: logging to %s\n",
                 platform::ToUtf8(settings.LogFilePath()).c_str());
  }

  // Written once before the logger starts, so that a path that cannot be
  // written is told at once, and the collector has a file from the start.
  std::optional<evt::MetricsFile> metrics;
  bool metricsFailing = false;
  if (options.metrics) {
    metrics.emplace(*options.metrics, headless.machine.Clock());
    std::string error;
    ctl::CControllerIo::Lock lock(io);
    if (!evt::WriteFileAtomically(*options.metrics,
                                  evt::FormatMetrics(io.Model(), metrics->Counters()), error)) {
      std::fprintf(stderr, "kestrune-monitor: metrics: %s\n", error.c_str());
      return kExitFailed;
    }
  }

  ConsoleWindow window(options.popups, options.once, wake[1]);
  evt::EventLogThreadOptions threadOptions;
  threadOptions.pollInterval = std::chrono::milliseconds(options.interval);
  threadOptions.mailPort = options.port;
  if (options.program) threadOptions.eventProgram = platform::FromUtf8(*options.program);
  threadOptions.programEventLevel = options.programLevel;
  if (options.programTimeLimit)
    threadOptions.programTimeLimit = std::chrono::seconds(*options.programTimeLimit);
  threadOptions.onEntry = [&metrics](evt::LogEntryKind kind, const std::wstring& text) {
    if (kind == evt::LogEntryKind::Event) {
      std::fputs(ForTerminal(text).c_str(), stdout);
      std::fflush(stdout);
    } else if (kind == evt::LogEntryKind::EmailFailure || kind == evt::LogEntryKind::EmailNotSent) {
      std::fputs(ForTerminal(text).c_str(), stderr);
      if (metrics) metrics->CountMailFailure();
    } else if (kind == evt::LogEntryKind::ProgramFailure ||
               kind == evt::LogEntryKind::ProgramNotRun) {
      std::fputs(ForTerminal(text).c_str(), stderr);
    }
  };
  if (metrics) {
    threadOptions.onEvent = [&metrics](const evt::EventRecord& record, std::uint32_t) {
      metrics->CountEvent(record);
    };
    // A file that cannot be written is told when that starts and when it ends,
    // not at every poll.
    threadOptions.onPollDone = [&](const evt::PollOutcome& outcome) {
      std::string error;
      const bool written = metrics->PollDone(io, outcome, error);
      if (!written && !metricsFailing) {
        std::fprintf(stderr, "kestrune-monitor: metrics: %s\n", error.c_str());
      } else if (written && metricsFailing) {
        std::fprintf(stderr, "kestrune-monitor: metrics: %s written again\n",
                     options.metrics->c_str());
      }
      metricsFailing = !written;
    };
  }
  evt::EventLogger logger(
      evt::EventLoggerServices{{&io, &settings, &window, headless.machine.Sound(),
                                headless.machine.Clock(), headless.machine.Journal()},
                               headless.ui,
                               {}},
      threadOptions);
  if (!logger.Start()) return kExitFailed;

  // Signals end the wait at once: the logger's stop ends a mail in progress
  // without waiting for its server.
  pollfd watched[2] = {{signalFd, POLLIN, 0}, {wake[0], POLLIN, 0}};
  bool draining = false;
  for (;;) {
    // While the mails and programs of a single poll go out, their count is looked at
    // every tenth of a second.
    if (::poll(watched, draining ? 1 : 2, draining ? 100 : -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (watched[0].revents != 0) {
      signalfd_siginfo info{};
      [[maybe_unused]] const auto n = ::read(signalFd, &info, sizeof info);
      break;
    }
    if (!draining && watched[1].revents != 0 && window.Polled()) draining = true;
    if (draining && logger.Thread()->PendingMails() == 0 &&
        logger.Thread()->PendingPrograms() == 0) {
      // The logger waits in its poll-done; its stop is set before it goes on.
      logger.Thread()->SetStop();
      break;
    }
  }
  window.Release();
  logger.Stop();
  ::close(signalFd);
  ::close(wake[0]);
  ::close(wake[1]);
  return kExitOk;
}
