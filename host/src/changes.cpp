// The changes the program makes to the machine's arrays and disks: its own
// checks first, then mdadm (run without a shell) or an attribute write, each
// logged whether it was made, refused or failed.
#include "host/changes.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>

#include "simulator/driver_codec.h"

extern char** environ;

namespace kestrune::host {
namespace {

namespace st = sim::status;

const HostSet* SetOf(const HostAdapter& a, std::uint8_t set) {
  return set < a.sets.size() ? &a.sets[set] : nullptr;
}

bool IsSpare(const HostAdapter& a, std::uint8_t index) {
  return std::find(a.spares.begin(), a.spares.end(), index) != a.spares.end();
}

bool IsListed(const HostAdapter& a, std::uint8_t index) {
  for (const HostSet& s : a.sets)
    for (const sim::MemberSpec& m : s.spec.members)
      if (m.deviceIndex == index) return true;
  return false;
}

// What each member of the set must hold.
std::uint64_t MemberSectors(const HostSet& s) {
  return s.spec.type == sim::SetType::MirroredStriped ? s.capacity / 2 : s.capacity;
}

// Why the array cannot take or give up a disk, "" when it can.
std::string ArrayRefusal(const HostSet& s) {
  if (s.metadata.empty() || s.metadata == "none" || s.metadata.rfind("external:", 0) == 0)
    return s.array + " has no metadata of the kernel's own (" +
           (s.metadata.empty() ? std::string("unknown") : s.metadata) + ")";
  if (s.spec.type == sim::SetType::Striped) return s.array + " has no redundancy";
  return "";
}

std::string Dev(const std::string& name) { return "/dev/" + name; }

}  // namespace

ChangeMaker::ChangeMaker(std::shared_ptr<FileSource> files, std::shared_ptr<CommandRunner> runner,
                         std::shared_ptr<SignatureProbe> signatures, bool allowed,
                         std::function<void(const ChangeRecord&)> log)
    : files_(std::move(files)),
      runner_(std::move(runner)),
      signatures_(std::move(signatures)),
      allowed_(allowed),
      log_(std::move(log)) {}

bool ChangeMaker::Allowed(ChangeRecord& record) {
  if (allowed_) return true;
  record.reason =
      "changes to the machine's disks are off (they need root and \"Allow Disk Changes\")";
  return false;
}

std::uint32_t ChangeMaker::Finish(ChangeRecord record, std::uint32_t status) {
  record.done = status == st::kSuccess;
  if (log_) log_(record);
  return status;
}

std::uint32_t ChangeMaker::RunMdadm(ChangeRecord record, std::vector<std::string> argv) {
  record.command = argv;
  if (!runner_) {
    record.reason = "no program runner";
    return Finish(std::move(record), st::kGeneralError);
  }
  std::string output;
  const int exit = runner_->Run(argv, output);
  if (exit != 0) {
    while (!output.empty() && (output.back() == '\n' || output.back() == ' ')) output.pop_back();
    record.reason = exit < 0 ? "mdadm could not be started"
                             : "mdadm answered " + std::to_string(exit) +
                                   (output.empty() ? std::string() : ": " + output.substr(0, 200));
    return Finish(std::move(record), st::kGeneralError);
  }
  return Finish(std::move(record), st::kSuccess);
}

std::string ChangeMaker::CheckFreeDisk(const HostAdapter& adapter, const HostDisk& disk,
                                       std::uint64_t neededSectors) {
  if (IsSpare(adapter, disk.index) || IsListed(adapter, disk.index) || disk.claimed)
    return disk.name + " is in use";
  if (disk.partitioned) return disk.name + " holds a partition table";
  if (!disk.holders.empty()) return disk.name + " is in use by " + disk.holders.front();
  if (disk.spec.sectors < neededSectors)
    return disk.name + " is smaller than each member must be";
  if (!signatures_) return disk.name + " cannot be checked for signatures";
  const auto found = signatures_->Signature(Dev(disk.name));
  if (!found) return disk.name + " cannot be checked for signatures";
  if (!found->empty()) return disk.name + " holds a " + *found + " signature";
  return "";
}

std::uint32_t ChangeMaker::CreateSpare(const HostAdapter& adapter, std::uint8_t deviceIndex) {
  ChangeRecord record;
  const HostDisk* disk = adapter.DiskAt(deviceIndex);
  record.what = "hot spare of " + (disk ? disk->name : "device " + std::to_string(deviceIndex));
  if (disk == nullptr) return Finish(std::move(record), st::kInvalidDeviceIndex);
  if (IsSpare(adapter, deviceIndex) || IsListed(adapter, deviceIndex) || disk->claimed) {
    record.reason = disk->name + " is in use";
    return Finish(std::move(record), st::kDeviceInUse);
  }
  if (disk->spec.atapi) return Finish(std::move(record), st::kInvalidParameter);
  // md keeps a spare with an array: the degraded one first, else the first
  // that can take one.
  const HostSet* target = nullptr;
  for (const HostSet& s : adapter.sets) {
    if (!ArrayRefusal(s).empty()) continue;
    if (target == nullptr || (s.degraded > 0 && target->degraded == 0)) target = &s;
  }
  if (target == nullptr) {
    record.reason = "no array on this adapter can keep a spare";
    return Finish(std::move(record), st::kGeneralError);
  }
  record.what += " for " + target->array;
  if (!Allowed(record)) return Finish(std::move(record), st::kGeneralError);
  if (const std::string why = CheckFreeDisk(adapter, *disk, MemberSectors(*target)); !why.empty()) {
    record.reason = why;
    return Finish(std::move(record),
                  why.find("smaller") != std::string::npos ? st::kVolumeTooSmall : st::kDeviceInUse);
  }
  return RunMdadm(std::move(record),
                  {"mdadm", "--manage", Dev(target->array), "--add", Dev(disk->name)});
}

std::uint32_t ChangeMaker::DeleteSpare(const HostAdapter& adapter, std::uint8_t deviceIndex) {
  ChangeRecord record;
  const HostDisk* disk = adapter.DiskAt(deviceIndex);
  record.what = "removal of hot spare " + (disk ? disk->name : std::to_string(deviceIndex));
  if (disk == nullptr) return Finish(std::move(record), st::kInvalidDeviceIndex);
  if (!IsSpare(adapter, deviceIndex)) return Finish(std::move(record), st::kInvalidParameter);
  const HostSet* owner = nullptr;
  for (const HostSet& s : adapter.sets)
    if (std::find(s.spares.begin(), s.spares.end(), disk->name) != s.spares.end()) owner = &s;
  if (owner == nullptr) return Finish(std::move(record), st::kInvalidParameter);
  if (!Allowed(record)) return Finish(std::move(record), st::kGeneralError);
  return RunMdadm(std::move(record),
                  {"mdadm", "--manage", Dev(owner->array), "--remove", Dev(disk->name)});
}

std::uint32_t ChangeMaker::AddMember(const HostAdapter& adapter, std::uint8_t deviceIndex,
                                     std::uint8_t set) {
  ChangeRecord record;
  const HostSet* s = SetOf(adapter, set);
  const HostDisk* disk = adapter.DiskAt(deviceIndex);
  record.what = "adding " + (disk ? disk->name : "device " + std::to_string(deviceIndex)) +
                " to " + (s ? s->array : "set " + std::to_string(set));
  if (s == nullptr) return Finish(std::move(record), st::kInvalidArrayIndex);
  if (disk == nullptr) return Finish(std::move(record), st::kInvalidDeviceIndex);
  if (disk->spec.atapi) return Finish(std::move(record), st::kInvalidParameter);
  if (IsSpare(adapter, deviceIndex) || IsListed(adapter, deviceIndex) || disk->claimed)
    return Finish(std::move(record), st::kDeviceInUse);
  const bool rebuilding = std::any_of(s->spec.members.begin(), s->spec.members.end(), [](auto& m) {
    return m.state == sim::MemberState::Rebuild;
  });
  if (rebuilding) return Finish(std::move(record), st::kRebuildInProgress);
  const std::size_t working = static_cast<std::size_t>(
      std::count_if(s->spec.members.begin(), s->spec.members.end(), [](auto& m) {
        return m.state == sim::MemberState::Current;
      }));
  if (working >= s->raidDisks) return Finish(std::move(record), st::kMaxMembers);
  if (const std::string why = ArrayRefusal(*s); !why.empty()) {
    record.reason = why;
    return Finish(std::move(record), st::kGeneralError);
  }
  if (disk->spec.sectors < MemberSectors(*s)) return Finish(std::move(record), st::kVolumeTooSmall);
  if (!Allowed(record)) return Finish(std::move(record), st::kGeneralError);
  if (const std::string why = CheckFreeDisk(adapter, *disk, MemberSectors(*s)); !why.empty()) {
    record.reason = why;
    return Finish(std::move(record), st::kDeviceInUse);
  }
  return RunMdadm(std::move(record), {"mdadm", "--manage", Dev(s->array), "--add", Dev(disk->name)});
}

std::uint32_t ChangeMaker::RemoveMember(const HostAdapter& adapter, std::uint8_t set,
                                        std::uint8_t position) {
  ChangeRecord record;
  const HostSet* s = SetOf(adapter, set);
  record.what = "removing member " + std::to_string(position) + " of " +
                (s ? s->array : "set " + std::to_string(set));
  if (s == nullptr) return Finish(std::move(record), st::kInvalidArrayIndex);
  std::size_t k = 0;
  while (k < s->spec.members.size() && s->spec.members[k].position != position) ++k;
  if (k == s->spec.members.size()) return Finish(std::move(record), st::kNotArrayMember);
  if (s->spec.members.size() == 1) return Finish(std::move(record), st::kLastMember);
  const sim::MemberSpec& m = s->spec.members[k];
  const std::string device = Dev(s->members[k].device);
  record.what = "removing " + s->members[k].device + " from " + s->array;
  // A working member may go only where the array stays redundant without
  // it: never in a mirror of two or a mirrored stripe, whose copies are
  // pairs; a striped set has nothing to spare.
  if (m.state == sim::MemberState::Current) {
    record.reason = s->array + " would lose its redundancy";
    return Finish(std::move(record), st::kGeneralError);
  }
  if (const std::string why = ArrayRefusal(*s); !why.empty()) {
    record.reason = why;
    return Finish(std::move(record), st::kGeneralError);
  }
  if (!Allowed(record)) return Finish(std::move(record), st::kGeneralError);
  if (m.state == sim::MemberState::Rebuild)
    return RunMdadm(std::move(record),
                    {"mdadm", "--manage", Dev(s->array), "--fail", device, "--remove", device});
  return RunMdadm(std::move(record), {"mdadm", "--manage", Dev(s->array), "--remove", device});
}

std::uint32_t ChangeMaker::SetRebuildRate(const HostAdapter& adapter, std::uint8_t set,
                                          std::uint8_t rate) {
  ChangeRecord record;
  const HostSet* s = SetOf(adapter, set);
  record.what = "rebuild rate " + std::to_string(rate) + " of " +
                (s ? s->array : "set " + std::to_string(set));
  if (s == nullptr) return Finish(std::move(record), st::kInvalidArrayIndex);
  if (rate > 100) return Finish(std::move(record), st::kInvalidParameter);
  if (rate == s->spec.rebuildRate) return Finish(std::move(record), st::kSuccess);
  if (!Allowed(record)) return Finish(std::move(record), st::kGeneralError);
  const std::string path = "/sys/block/" + s->array + "/md/sync_speed_min";
  // Rate 0 hands the floor back to the system-wide minimum.
  const std::string value = rate == 0 ? "system" : std::to_string(SpeedOfRate(rate));
  record.command = {"write", path, value};
  std::string error;
  if (!files_->Write(path, value, error)) {
    record.reason = error;
    return Finish(std::move(record), st::kGeneralError);
  }
  return Finish(std::move(record), st::kSuccess);
}

std::uint32_t ChangeMaker::EnableSpare(const HostAdapter& adapter, std::uint8_t set,
                                       std::uint8_t use) {
  ChangeRecord record;
  const HostSet* s = SetOf(adapter, set);
  record.what = std::string(use == 1 ? "spare use on" : "spare use off") + " for " +
                (s ? s->array : "set " + std::to_string(set));
  if (s == nullptr) return Finish(std::move(record), st::kInvalidArrayIndex);
  if (use > 1) return Finish(std::move(record), st::kInvalidParameter);
  // md takes a spare whenever it has one; that cannot be switched off.
  if (use == 1) return Finish(std::move(record), st::kSuccess);
  record.reason = "md always takes a spare into a degraded array";
  return Finish(std::move(record), st::kGeneralError);
}

std::uint32_t ChangeMaker::SetFeatures(const HostAdapter& adapter, std::uint8_t channel,
                                       std::uint8_t device, std::uint8_t flags) {
  ChangeRecord record;
  const HostDisk* disk = nullptr;
  for (const HostDisk& d : adapter.disks)
    if (d.spec.channel == channel && d.spec.device == device) disk = &d;
  const bool on = (flags & 0x02) != 0;
  record.what = std::string("write cache ") + (on ? "on" : "off") + " for " +
                (disk ? disk->name : "channel " + std::to_string(channel));
  if (disk == nullptr) return Finish(std::move(record), st::kInvalidDeviceIndex);
  // A disk without the switch keeps its cache as it is, as a disk that does
  // not support a feature keeps it off.
  if (!disk->spec.writeCacheSupported || disk->cacheTypePath.empty() ||
      disk->spec.writeCacheEnabled == on)
    return Finish(std::move(record), st::kSuccess);
  if (!Allowed(record)) return Finish(std::move(record), st::kGeneralError);
  const std::string value = on ? "write back" : "write through";
  record.command = {"write", disk->cacheTypePath, value};
  std::string error;
  if (!files_->Write(disk->cacheTypePath, value, error)) {
    record.reason = error;
    return Finish(std::move(record), st::kGeneralError);
  }
  return Finish(std::move(record), st::kSuccess);
}

std::uint32_t ChangeMaker::DeleteSet(const HostAdapter& adapter, std::uint8_t set) {
  ChangeRecord record;
  const HostSet* s = SetOf(adapter, set);
  record.what = "deleting " + (s ? s->array : "set " + std::to_string(set));
  record.reason = "arrays are not deleted from here (mdadm --stop and --zero-superblock do it)";
  return Finish(std::move(record), st::kGeneralError);
}

bool ChangeMaker::ResetBus(const HostAdapter&, std::uint8_t channel) {
  ChangeRecord record;
  record.what = "reset of channel " + std::to_string(channel);
  record.reason = "the kernel resets its links by itself";
  Finish(std::move(record), st::kGeneralError);
  return false;
}

// ---------------------------------------------------------------------------

namespace {

// The program a bare name stands for, from the system's own folders only: a
// process that changes disks as root does not take its tools from whatever
// PATH it was started with.
std::string SystemProgram(const std::string& name) {
  if (name.find('/') != std::string::npos) return name;
  for (const char* folder : {"/usr/sbin/", "/sbin/", "/usr/bin/", "/bin/"}) {
    const std::string path = folder + name;
    if (::access(path.c_str(), X_OK) == 0) return path;
  }
  return std::string();
}

// Runs the program with its output in a pipe; a program that runs for more
// than half a minute is stopped.
class ProcessRunner final : public CommandRunner {
 public:
  int Run(const std::vector<std::string>& argv, std::string& output) override {
    if (argv.empty()) return -1;
    const std::string program = SystemProgram(argv[0]);
    if (program.empty()) return -1;
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDERR_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    if (spawned != 0) {
      ::close(pipeFds[0]);
      return -1;
    }
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    char buffer[512];
    for (;;) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          end - std::chrono::steady_clock::now());
      if (left.count() <= 0) {
        ::kill(pid, SIGKILL);
        break;
      }
      pollfd p{pipeFds[0], POLLIN, 0};
      if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
      const ssize_t n = ::read(pipeFds[0], buffer, sizeof buffer);
      if (n <= 0) break;
      if (output.size() < 4096) output.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(pipeFds[0]);
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
  }
};

}  // namespace

std::shared_ptr<CommandRunner> MakeProcessRunner() { return std::make_shared<ProcessRunner>(); }

}  // namespace kestrune::host
