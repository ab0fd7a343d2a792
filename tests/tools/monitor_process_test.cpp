// kestrune-monitor as a process against mail servers that hold their mail:
// SIGTERM ends it promptly, and the mails it could not send are in its log.
// Real processes need real time: the waits here are generous bounds against a
// hang, never measurements.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sqlite3.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/recording_ui.h"
#include "platform/sqlite_registry.h"
#include "platform/temp_dir.h"
#include "platform/text.h"
#include "settings/app_settings.h"
#include "support/hostile_smtp.h"
#include "support/loopback_smtp.h"

extern char** environ;

namespace kestrune::test {
namespace {

using namespace std::chrono_literals;

// One extended adapter whose first device's transfer mode drops at once.
constexpr char kScenario[] = R"({
  "adapters": [{ "driverMajor": 2, "chipId": "0x7420", "name": "bv7420r", "channels": 1,
                 "devicesPerChannel": 1, "disks": [{}] }],
  "timeline": [{ "at": 0, "adapter": 0, "action": "udma-change", "channel": 0, "device": 0,
                 "newMode": 2 }] })";

class MonitorProcess {
 public:
  MonitorProcess(const std::string& folder, std::uint16_t mailPort, bool once = false) {
    int out[2];
    EXPECT_EQ(::pipe(out), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    const std::string port = std::to_string(mailPort);
    const char* argv[] = {KESTRUNE_MONITOR, "--interval", "100", "--port", port.c_str(),
                          once ? "--once" : nullptr, nullptr};
    std::vector<std::string> env = {"KESTRUNE_REGISTRY=" + folder + "/registry.db",
                                    "KESTRUNE_SCENARIO=" + folder + "/scenario.json",
                                    "XDG_STATE_HOME=" + folder + "/state", "TZ=UTC"};
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    EXPECT_EQ(::posix_spawn(&pid_, KESTRUNE_MONITOR, &actions, nullptr,
                            const_cast<char* const*>(argv), envp.data()),
              0);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    out_ = out[0];
  }
  ~MonitorProcess() {
    if (pid_ > 0 && !exited_) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    ::close(out_);
  }

  // Reads standard output until `text` has appeared (at most 20 s).
  bool WaitForOutput(const std::string& text) {
    const auto end = std::chrono::steady_clock::now() + 20s;
    while (output_.find(text) == std::string::npos) {
      pollfd p{out_, POLLIN, 0};
      if (std::chrono::steady_clock::now() > end || ::poll(&p, 1, 200) < 0) return false;
      if (p.revents == 0) continue;
      char chunk[4096];
      const ssize_t n = ::read(out_, chunk, sizeof chunk);
      if (n <= 0) return false;
      output_.append(chunk, static_cast<std::size_t>(n));
    }
    return true;
  }

  // Sends the signal (0: none) and waits (at most 20 s, against a hang) for
  // the exit; the exit status, or -1 when it did not end.
  int Terminate(int signal) {
    // The process's descriptor becomes readable when it exits (glibc's
    // pidfd_open is not declared for C++ in Debian 12).
    const int exit = static_cast<int>(::syscall(SYS_pidfd_open, pid_, 0));
    if (exit < 0) return -1;
    if (signal != 0) ::kill(pid_, signal);
    pollfd p{exit, POLLIN, 0};
    const bool ended = ::poll(&p, 1, 20000) > 0;
    ::close(exit);
    int status = 0;
    if (!ended || ::waitpid(pid_, &status, 0) != pid_) return -1;
    exited_ = true;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

 private:
  pid_t pid_ = -1;
  int out_ = -1;
  bool exited_ = false;
  std::string output_;
};

// The settings the monitor reads: mail on every event to a local server.
void WriteSettings(const std::string& folder) {
  std::string error;
  std::shared_ptr<platform::Registry> registry =
      platform::OpenSqliteRegistry(folder + "/registry.db", nullptr, error);
  ASSERT_NE(registry, nullptr) << error;
  settings::AppSettings settings(registry, std::make_shared<platform::RecordingUi>());
  settings.Load(L"TESTHOST", {});
  auto values = settings.Get();
  values.smtpServer = L"127.0.0.1";
  values.eventList = L"ops@lab.example;";
  values.emailEventLevel = 1;
  values.logFileLocation = platform::FromUtf8(folder) + L"/";
  settings.Set(values);
  settings.Save();
}

TEST(MonitorProcess, SigtermEndsItWhileAMailIsHeldAndTheMailIsLoggedAsNotSent) {
  using Kind = HostileSmtp::Kind;
  for (const Kind kind : {Kind::Silent, Kind::Dribbling, Kind::EndlessGreeting}) {
    SCOPED_TRACE(static_cast<int>(kind));
    testing::TempDir dir;
    const std::string folder = dir.path().string();
    { std::ofstream(folder + "/scenario.json") << kScenario; }
    WriteSettings(folder);
    HostileSmtp server(kind);

    MonitorProcess monitor(folder, server.Port());
    ASSERT_TRUE(monitor.WaitForOutput("Ultra DMA mode downgraded."));
    ASSERT_TRUE(server.WaitForClients(1));
    EXPECT_EQ(monitor.Terminate(SIGTERM), 0);

    std::ifstream in(folder + "/errlgr.txt", std::ios::binary);
    const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                          std::istreambuf_iterator<char>());
    const std::string log = platform::ToUtf8(platform::FromUtf16Le(bytes));
    EXPECT_NE(log.find("\tEvent Email Not Sent - the program stopped before the mail went "
                       "out.\r\n\tFor the event: "),
              std::string::npos)
        << log;
    EXPECT_EQ(log.find("Event Email Error"), std::string::npos) << log;
    EXPECT_NE(log.find("Kestrune Event Logger Stopped\r\n"), std::string::npos) << log;
  }
}

// With --once the mails of the poll still go out before the monitor ends.
TEST(MonitorProcess, OnceSendsThePollsMailsBeforeEnding) {
  testing::TempDir dir;
  const std::string folder = dir.path().string();
  { std::ofstream(folder + "/scenario.json") << kScenario; }
  WriteSettings(folder);
  LoopbackSmtp server({"220 lab\r\n", "250 hi\r\n", "250 ok\r\n", "250 ok\r\n", "354 go\r\n",
                       "250 queued\r\n", "221 bye\r\n"});
  MonitorProcess monitor(folder, server.Port(), true);
  EXPECT_EQ(monitor.Terminate(0), 0);
  const auto& received = server.Received();
  ASSERT_EQ(received.size(), 6u);
  EXPECT_NE(received[4].find("Ultra DMA mode downgraded."), std::string::npos) << received[4];
  EXPECT_EQ(received[5], "quit\r\n");
}

// A registry whose values table has other columns than the program's: the
// monitor and the report name the table on standard error and stop, rather
// than running on defaults with no word of it.
TEST(ProgramsOnAForeignRegistry, SayWhichTableIsWrongOnStandardError) {
  testing::TempDir dir;
  const std::string folder = dir.path().string();
  const std::string path = folder + "/registry.db";
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db,
                         "CREATE TABLE keys(id INTEGER PRIMARY KEY, parent INTEGER, name TEXT, "
                         "fold TEXT, class TEXT); INSERT INTO keys VALUES (1, NULL, '', '', ''); "
                         "CREATE TABLE vals(id INTEGER PRIMARY KEY, key INTEGER, label TEXT, "
                         "data BLOB); PRAGMA application_id=1263751751;",
                         nullptr, nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(db);

  const std::string report = folder + "/report.txt";
  const std::vector<std::vector<const char*>> programs = {
      {KESTRUNE_MONITOR, "--once", "--interval", "100"},
      {KESTRUNE_REPORT, "--output", report.c_str()}};
  for (std::vector<const char*> argv : programs) {
    SCOPED_TRACE(argv[0]);
    argv.push_back(nullptr);
    int err[2];
    ASSERT_EQ(::pipe(err), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
    posix_spawn_file_actions_addclose(&actions, err[0]);
    std::vector<std::string> env = {"KESTRUNE_REGISTRY=" + path,
                                    "XDG_STATE_HOME=" + folder + "/state"};
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    pid_t pid = -1;
    ASSERT_EQ(::posix_spawn(&pid, argv[0], &actions, nullptr, const_cast<char* const*>(argv.data()),
                            envp.data()),
              0);
    posix_spawn_file_actions_destroy(&actions);
    ::close(err[1]);
    std::string text;
    char chunk[4096];
    for (ssize_t n; (n = ::read(err[0], chunk, sizeof chunk)) > 0;)
      text.append(chunk, static_cast<std::size_t>(n));
    ::close(err[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) != 0) << status;
    EXPECT_NE(text.find(path), std::string::npos) << text;
    EXPECT_NE(text.find("the table \"vals\" has the columns (id, key, label, data)"),
              std::string::npos)
        << text;
  }
  EXPECT_FALSE(std::filesystem::exists(report));
}

}  // namespace
}  // namespace kestrune::test
