// What the kernel's files say about the machine's disks and md arrays, read
// in one pass and checked: nothing here is mapped onto adapters and sets yet.
// A file that is missing, empty or garbled leaves its fact unknown and a
// problem naming the file; it never makes up a state.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "host/sysfs.h"

namespace kestrune::host {

// A PCI device that disks hang below.
struct PciFacts {
  std::string address;       // "0000:00:17.0"
  std::uint32_t classCode = 0;  // 0x010601
  std::uint16_t vendor = 0;
  std::uint16_t device = 0;
  std::uint8_t revision = 0;
  std::uint32_t irq = 0;
  std::string driver;        // "ahci"; empty without one
  std::uint32_t ataPorts = 0;  // libata ports below it
  bool MassStorage() const { return (classCode >> 16) == 0x01; }
  bool Nvme() const { return (classCode >> 8) == 0x0108; }
  std::uint32_t Bus() const;
  std::uint32_t Slot() const;
  std::uint32_t Function() const;
};

enum class DiskKind { Ata, Nvme, Other };

struct DiskFacts {
  std::string name;           // "sda"
  std::string devicePath;     // "/sys/devices/pci0000:00/.../block/sda"
  std::string pci;            // the nearest PCI device above, "" for none
  DiskKind kind = DiskKind::Other;
  std::optional<std::uint32_t> ataPort;  // libata port number, from 0
  std::string ataDevice;      // "dev3.0"
  std::string order;          // sorts disks without a port number (SCSI address, controller)
  std::optional<std::array<std::uint16_t, 256>> identify;  // libata's IDENTIFY words
  std::string model, serial, firmware;
  std::optional<std::uint64_t> sectors;  // 512-byte sectors
  bool removable = false;
  bool rotational = true;
  std::optional<bool> writeCache;  // "write back" / "write through"
  std::string cacheTypePath;       // where the write cache is switched, "" for nowhere
  std::string xferMode;            // libata's current transfer mode ("XFER_UDMA_6")
  std::string nvmeController;      // an NVMe drive's controller ("nvme0"), else ""
  bool partitionTable = false;     // has partitions
  std::vector<std::string> holders;  // what is built on it or its partitions ("md0")
};

// One member of an md array.
struct MemberFacts {
  std::string device;           // "sda1", from dev-sda1
  std::string disk;             // the disk holding it ("sda"); "" when unknown
  std::vector<std::string> state;  // "in_sync", "faulty", "spare", ...
  std::optional<std::uint32_t> slot;  // nullopt: "none" or unreadable
  std::optional<std::uint64_t> recoveryStart;  // sectors known good during a recovery
  bool Has(const std::string& flag) const;
};

// sync_completed: "none", "delayed", or done / total sectors.
struct SyncProgress {
  enum class Kind { None, Delayed, Numbers, Unknown } kind = Kind::Unknown;
  std::uint64_t done = 0;
  std::uint64_t total = 0;
};

struct ArrayFacts {
  std::string name;            // "md0"
  std::string level;           // "raid1"; "" when unknown
  std::optional<std::uint32_t> raidDisks;
  std::optional<std::uint32_t> layout;
  std::optional<std::uint64_t> chunkBytes;
  std::string arrayState;      // "clean", "active", "read-auto", "inactive", ...
  std::optional<std::uint32_t> degraded;
  std::string syncAction;      // "idle", "resync", "recover", "check", "repair", ...
  SyncProgress progress;
  std::optional<std::uint32_t> speedMin;  // KiB/s
  bool speedMinLocal = false;
  std::string metadata;        // "1.2", "external:imsm", "external:/md127/0", "none"
  std::optional<std::uint64_t> componentSectors;
  std::optional<std::uint64_t> sectors;  // of the array device
  std::vector<MemberFacts> members;
  bool inMdstat = true;
};

struct MachineFacts {
  std::vector<PciFacts> controllers;  // in PCI address order
  std::vector<DiskFacts> disks;       // in name order
  std::vector<ArrayFacts> arrays;     // in name order
  // Files that could not be understood, each "path: reason".
  std::vector<std::string> problems;
  // Arrays /proc/mdstat lists that sysfs does not show (or the other way round).
  std::vector<std::string> mdstatMismatches;

  const PciFacts* Controller(const std::string& address) const;
  const DiskFacts* Disk(const std::string& name) const;
};

// What one scan keeps for the next: the facts a disk states of itself,
// by its device path and disk sequence number.
struct ScanCache {
  struct Disk {
    DiskFacts facts;
    std::vector<std::string> problems;
  };
  std::map<std::string, Disk> disks;
  std::map<std::string, std::pair<PciFacts, std::vector<std::string>>> controllers;
};

// Reads the machine. Reads only attributes: never a device's contents.
MachineFacts ScanMachine(FileSource& files, ScanCache& cache);
MachineFacts ScanMachine(FileSource& files);

// Parsers of single attributes, for the tests of odd files.
std::optional<std::uint64_t> ParseNumber(const std::string& word);
std::optional<std::array<std::uint16_t, 256>> ParseIdentifyWords(const std::string& text);
SyncProgress ParseSyncCompleted(const std::string& word);
// The build date in /proc/sys/kernel/version ("... Debian 6.1.76-1
// (2024-02-01)", "... Thu Feb  1 12:34:56 UTC 2024", "... @1706745600") as
// the C library's ctime text ("Thu Feb  1 00:00:00 2024"), in the time the
// kernel states; nullopt when it holds none.
std::optional<std::string> KernelBuildDate(const std::string& version);

}  // namespace kestrune::host
