// One poll of the Linux backend on a machine of 24 disks and 4 arrays: the
// scan of the kernel's files, the mapping and the comparison with the last
// snapshot. Every path read is checked to lie in sysfs or procfs: a poll
// reads no disk. Beside it, the peak resident memory of kestrune-monitor
// watching the same machine.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/temp_dir.h"

#include "host/backend.h"
#include "host/sys_tree.h"

namespace {

using namespace kestrune;

class SysfsOnly final : public host::FileSource {
 public:
  explicit SysfsOnly(std::shared_ptr<host::FileSource> inner) : inner_(std::move(inner)) {}
  std::optional<std::string> Read(const std::string& p) override { return Check(p), inner_->Read(p); }
  std::vector<std::string> List(const std::string& p) override { return Check(p), inner_->List(p); }
  std::optional<std::string> Link(const std::string& p) override { return Check(p), inner_->Link(p); }
  bool Write(const std::string&, const std::string&, std::string& e) override {
    e = "read-only";
    return false;
  }
  bool outside = false;

 private:
  void Check(const std::string& p) {
    if (p.rfind("/sys/", 0) != 0 && p.rfind("/proc/", 0) != 0) outside = true;
  }
  std::shared_ptr<host::FileSource> inner_;
};

void Build(test::SysTree& tree) {
  const char* controllers[] = {"0000:00:17.0", "0000:03:00.0", "0000:04:00.0", "0000:05:00.0"};
  unsigned printId = 1;
  int disk = 0;
  for (const char* address : controllers) {
    tree.Controller(address, 0x010601, "ahci", 6, printId);
    for (int p = 0; p < 6; ++p, ++disk) {
      std::string name = "sd";
      if (disk >= 26) name += static_cast<char>('a' + disk / 26 - 1);
      name += static_cast<char>('a' + disk % 26);
      tree.AtaDisk(name, address, printId + static_cast<unsigned>(p),
                   test::Sata("WDC WD40EFRX-68N32N0", "WD-" + name));
    }
    printId += 6;
  }
  auto array = [&](const std::string& md, const std::string& level, const std::string& layout,
                   std::vector<std::string> disks) {
    std::vector<test::SysTree::Member> members;
    for (std::size_t i = 0; i < disks.size(); ++i)
      members.push_back({disks[i], disks[i], "in_sync", std::to_string(i)});
    tree.Array(md,
               {{"level", level}, {"raid_disks", std::to_string(disks.size())},
                {"array_state", "clean"}, {"degraded", "0"}, {"sync_action", "idle"},
                {"sync_completed", "none"}, {"metadata_version", "1.2"}, {"layout", layout},
                {"chunk_size", "524288"}, {"sync_speed_min", "1000 (system)"}},
               members);
  };
  array("md0", "raid1", "0", {"sda", "sdb"});
  array("md1", "raid10", "258", {"sdg", "sdh", "sdi", "sdj"});
  array("md2", "raid1", "0", {"sdm", "sdn"});
  array("md3", "raid5", "2", {"sds", "sdt", "sdu", "sdv"});
  tree.Mdstat("Personalities : [raid1] [raid10] [raid5]\nmd0 : active raid1\nmd1 : active raid10\n"
              "md2 : active raid1\nmd3 : active raid5\nunused devices: <none>\n");
}

void BM_PollTwentyFourDisksFourArrays(benchmark::State& state) {
  test::SysTree tree;
  Build(tree);
  auto files = std::make_shared<SysfsOnly>(host::MakeRootedFiles(tree.Root()));
  host::HostOptions options;
  options.root = tree.Root();
  options.files = files;
  options.thread = false;
  const auto backend = host::HostBackend::Start(options);
  const auto first = backend->Snapshot();
  if (first->adapters.size() != 4 || first->adapters[0].disks.size() != 6 ||
      first->arrays.size() != 1)
    state.SkipWithError("the machine was not read as built");
  for (auto _ : state) backend->Poll();
  if (files->outside) state.SkipWithError("a poll read outside sysfs and procfs");
}
BENCHMARK(BM_PollTwentyFourDisksFourArrays)->Unit(benchmark::kMicrosecond);

#ifdef KESTRUNE_MONITOR
// kestrune-monitor over the same machine for `polls` polls, 100 ms apart,
// writing its log and metrics; its peak resident set in MiB (what the
// kernel counts: its own pages and the pages of the shared libraries it
// touched).
double MonitorPeakMegabytes(const std::string& root, int polls) {
  testing::TempDir work;
  std::vector<std::string> env = {"KESTRUNE_BACKEND=linux", "KESTRUNE_SYSFS_ROOT=" + root,
                                  "KESTRUNE_REGISTRY=" + work.File("registry.db"),
                                  "XDG_STATE_HOME=" + work.File("state"), "TZ=UTC"};
  if (const char* path = std::getenv("PATH")) env.push_back(std::string("PATH=") + path);
  // --once polls once; more polls are the monitor running until stopped.
  std::vector<std::string> args = {KESTRUNE_MONITOR, "--interval", "100", "--metrics",
                                   work.File("kestrune.prom")};
  if (polls <= 1) args.push_back("--once");
  std::vector<char*> argv, envp;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return 0;
  if (polls > 1) {
    // The log grows by a line a poll at most; the monitor is stopped after
    // the polls' time has passed.
    ::usleep(static_cast<useconds_t>(polls) * 100000U);
    ::kill(pid, SIGTERM);
  }
  int status = 0;
  rusage usage{};
  if (::wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
    return 0;
  return static_cast<double>(usage.ru_maxrss) / 1024.0;  // ru_maxrss is in KiB
}

void BM_MonitorResidentMemory(benchmark::State& state) {
  test::SysTree tree;
  Build(tree);
  double peak = 0;
  for (auto _ : state) peak = MonitorPeakMegabytes(tree.Root(), static_cast<int>(state.range(0)));
  if (peak == 0) state.SkipWithError("the monitor did not run");
  state.counters["peak_rss_MiB"] = peak;
}
BENCHMARK(BM_MonitorResidentMemory)->Arg(1)->Arg(50)->Iterations(1)->Unit(benchmark::kMillisecond);
#endif

}  // namespace

BENCHMARK_MAIN();
