// Changes to the machine's arrays and disks: the program's own checks, then
// the md tools (run without a shell) or an attribute write. Refused unless the
// process runs as root and the administrator allowed changes.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/snapshot.h"
#include "host/sysfs.h"

namespace kestrune::host {

// Runs a program with its arguments (no shell); the exit status, its output
// in `output`. A program that cannot be started answers -1.
class CommandRunner {
 public:
  virtual ~CommandRunner() = default;
  virtual int Run(const std::vector<std::string>& argv, std::string& output) = 0;
};
std::shared_ptr<CommandRunner> MakeProcessRunner();

// What libblkid finds at the start of a disk: "" for nothing, else the type
// ("gpt", "dos", "ext4", "linux_raid_member", ...); nullopt when the disk
// cannot be probed.
class SignatureProbe {
 public:
  virtual ~SignatureProbe() = default;
  virtual std::optional<std::string> Signature(const std::string& devicePath) = 0;
};
std::shared_ptr<SignatureProbe> MakeBlkidProbe();

// One change asked for, as it went.
struct ChangeRecord {
  std::string what;     // "hot spare sdc for md0"
  bool done = false;
  std::string reason;   // why it was refused or failed
  std::vector<std::string> command;  // the mdadm arguments, when one ran
};

class ChangeMaker {
 public:
  ChangeMaker(std::shared_ptr<FileSource> files, std::shared_ptr<CommandRunner> runner,
              std::shared_ptr<SignatureProbe> signatures, bool allowed,
              std::function<void(const ChangeRecord&)> log);

  // Each answers a DriverStatus and leaves the outcome in the log.
  std::uint32_t CreateSpare(const HostAdapter& adapter, std::uint8_t deviceIndex);
  std::uint32_t DeleteSpare(const HostAdapter& adapter, std::uint8_t deviceIndex);
  std::uint32_t AddMember(const HostAdapter& adapter, std::uint8_t deviceIndex, std::uint8_t set);
  std::uint32_t RemoveMember(const HostAdapter& adapter, std::uint8_t set, std::uint8_t position);
  std::uint32_t SetRebuildRate(const HostAdapter& adapter, std::uint8_t set, std::uint8_t rate);
  std::uint32_t EnableSpare(const HostAdapter& adapter, std::uint8_t set, std::uint8_t use);
  std::uint32_t SetFeatures(const HostAdapter& adapter, std::uint8_t channel, std::uint8_t device,
                            std::uint8_t flags);
  // Never made: the driver's failure status.
  std::uint32_t DeleteSet(const HostAdapter& adapter, std::uint8_t set);
  bool ResetBus(const HostAdapter& adapter, std::uint8_t channel);

  void SetAllowed(bool allowed) { allowed_ = allowed; }
  bool IsAllowed() const { return allowed_; }

 private:
  bool Allowed(ChangeRecord& record);
  std::uint32_t Finish(ChangeRecord record, std::uint32_t status);
  std::uint32_t RunMdadm(ChangeRecord record, std::vector<std::string> argv);
  // A free disk that may be given to an array: "" when it may, else why not.
  std::string CheckFreeDisk(const HostAdapter& adapter, const HostDisk& disk,
                            std::uint64_t neededSectors);

  std::shared_ptr<FileSource> files_;
  std::shared_ptr<CommandRunner> runner_;
  std::shared_ptr<SignatureProbe> signatures_;
  std::atomic<bool> allowed_;
  std::function<void(const ChangeRecord&)> log_;
};

}  // namespace kestrune::host
