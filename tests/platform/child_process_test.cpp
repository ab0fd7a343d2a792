// Running an administrator's program: never through a shell, bounded in
// time, ended by the stop, its output by lines.
#include "platform/child_process.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/temp_dir.h"

namespace kestrune::platform {
namespace {

using namespace std::chrono_literals;

std::string Script(const testing::TempDir& dir, const std::string& name, const std::string& body) {
  const std::string path = dir.File(name);
  std::ofstream(path) << "#!/bin/sh\n" << body;
  ::chmod(path.c_str(), 0700);
  return path;
}

std::string Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// A text that a shell would take for several commands.
const std::string kHostile =
    "$(touch pwned) `touch pwned2`; touch pwned3 && rm -rf nothing | cat > x\n"
    "'quoted' \"double\" ${HOME} \\ * ? [a] ~ # & < > ! %s %n\n\tend";

TEST(ChildProcessTest, TextsReachTheProgramAsTheyAreAndNothingRunsThem) {
  testing::TempDir dir;
  const std::string program = Script(dir, "tell",
                                     "cd \"$(dirname \"$0\")\"\n"
                                     "printf '%s' \"$KESTRUNE_TEXT\" > env.txt\n"
                                     "cat > stdin.txt\n"
                                     "printf 'one\\ntwo\\r\\nno end'\n"
                                     "echo warned >&2\n");
  ProgramRequest request;
  request.path = program;
  request.environment = {{"KESTRUNE_TEXT", kHostile}, {"HOME", "/nonexistent"}};
  request.input = kHostile;
  std::vector<std::string> lines;
  request.output = [&](bool error, const std::string& line) {
    lines.push_back((error ? "E " : "O ") + line);
  };
  const ProgramResult result = RunProgram(request, nullptr);
  EXPECT_EQ(result.kind, ProgramResult::Kind::Exited);
  EXPECT_EQ(result.code, 0);
  EXPECT_EQ(Read(dir.File("env.txt")), kHostile);
  EXPECT_EQ(Read(dir.File("stdin.txt")), kHostile);
  for (const char* made : {"pwned", "pwned2", "pwned3", "x"})
    EXPECT_FALSE(std::filesystem::exists(dir.File(made))) << made;
  std::sort(lines.begin(), lines.end());
  EXPECT_EQ(lines, (std::vector<std::string>{"E warned", "O no end", "O one", "O two"}));
}

TEST(ChildProcessTest, HowAProgramEnds) {
  testing::TempDir dir;
  using Kind = ProgramResult::Kind;
  struct Case {
    std::string path;
    Kind kind;
    int code;
  };
  const Case cases[] = {
      {Script(dir, "fails", "exit 3\n"), Kind::Exited, 3},
      {Script(dir, "killed", "kill -SEGV $$\n"), Kind::Signaled, SIGSEGV},
      // It does not read its input: no failure, and no SIGPIPE here.
      {Script(dir, "deaf", "exit 0\n"), Kind::Exited, 0},
      {dir.File("missing"), Kind::NotStarted, ENOENT},
      {dir.path().string(), Kind::NotStarted, EACCES},  // a folder
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    ProgramRequest request;
    request.path = c.path;
    request.input = std::string(1 << 20, 'x');
    const ProgramResult result = RunProgram(request, nullptr);
    EXPECT_EQ(result.kind, c.kind);
    EXPECT_EQ(result.code, c.code);
  }
}

// A program that hangs is killed at its bound, and what it started with it;
// the stop ends one with an hour's bound at once.
TEST(ChildProcessTest, AHangingProgramIsKilledAtItsBoundOrByTheStop) {
  testing::TempDir dir;
  const std::string hangs = Script(dir, "hangs",
                                   "sleep 1000 &\n"
                                   "echo $! > \"$(dirname \"$0\")/child.pid\"\n"
                                   "echo started\n"
                                   "exec sleep 1000\n");
  ProgramRequest request;
  request.path = hangs;
  request.timeLimit = 200ms;
  EXPECT_EQ(RunProgram(request, nullptr).kind, ProgramResult::Kind::TimedOut);
  // The background child died with its group: it is gone, or a zombie
  // waiting for whoever adopted it.
  const std::string child = Read(dir.File("child.pid"));
  auto dead = [&] {
    const std::string stat = Read("/proc/" + child.substr(0, child.find('\n')) + "/stat");
    return stat.empty() || stat.find(") Z ") != std::string::npos;
  };
  bool gone = dead();
  for (int i = 0; i < 100000 && !gone; ++i) {
    std::this_thread::yield();
    gone = dead();
  }
  EXPECT_TRUE(gone);

  auto stop = std::make_shared<StopSignal>();
  request.timeLimit = std::chrono::hours(1);
  request.output = [&](bool, const std::string& line) {
    if (line == "started") stop->Raise();
  };
  EXPECT_EQ(RunProgram(request, stop).kind, ProgramResult::Kind::Stopped);
  EXPECT_EQ(RunProgram(request, stop).kind, ProgramResult::Kind::Stopped);  // raised before
}

TEST(ChildProcessTest, OutputIsCutAtItsLimits) {
  testing::TempDir dir;
  ProgramRequest request;
  request.path = Script(dir, "chatty",
                        "head -c 5000 /dev/zero | tr '\\0' a\n"
                        "echo\n"
                        "yes line | head -n 100000\n");
  std::size_t total = 0;
  std::vector<std::size_t> lengths;
  request.output = [&](bool, const std::string& line) {
    total += line.size() + 1;
    lengths.push_back(line.size());
  };
  EXPECT_EQ(RunProgram(request, nullptr).kind, ProgramResult::Kind::Exited);
  ASSERT_GE(lengths.size(), 2u);
  EXPECT_EQ(lengths[0], kMaxOutputLine);
  EXPECT_EQ(lengths[1], 5000 - kMaxOutputLine);
  EXPECT_LE(total, kMaxOutput + lengths.size());
}

}  // namespace
}  // namespace kestrune::platform
