// The machine as the model holds it: the storage host controllers as
// adapters (at most four), their disks at ports, the md arrays a set can
// stand for as sets with members and spares, and everything else listed with
// the reason it is not shown. Built from one scan; positions are kept across
// scans in a memory the backend owns, so a disk keeps its place while it is
// present and an event names the disk it is about.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "host/scan.h"
#include "simulator/driver_codec.h"
#include "simulator/topology.h"

namespace kestrune::host {

inline constexpr std::size_t kMaxAdapters = 4;
inline constexpr std::size_t kMaxPorts = 60;  // 4 channels of 15 devices
inline constexpr std::size_t kMaxSetsPerAdapter = 2;

struct HostDisk {
  std::string name;      // "sda"
  std::string identity;  // serial and model, else the name: the same disk across scans
  sim::DiskSpec spec;    // channel, device and what the codec reads
  sim::IdentifyData identify{};
  sim::SmartHealth health = sim::SmartHealth::Unknown;
  bool claimed = false;  // used by something the model does not show
  bool ata = false;
  bool nvme = false;
  std::string cacheTypePath;
  std::string nvmeController;  // "nvme0" for an NVMe drive
  bool partitioned = false;
  std::vector<std::string> holders;
  std::uint8_t index = 0;
};

struct HostMember {
  std::string device;  // the member's md device ("sda1")
  std::string disk;    // its disk ("sda")
};

struct HostSet {
  std::string array;     // "md0"
  sim::SetSpec spec;     // members in position order
  std::uint64_t capacity = 0;
  std::vector<HostMember> members;  // beside spec.members, same order
  std::vector<std::string> spares;  // the disks of the array's spares ("sdc")
  std::vector<std::string> faulty;  // faulty member devices no longer listed
  std::string metadata;
  std::uint32_t raidDisks = 0;
  std::uint32_t degraded = 0;
  std::string level;
};

struct HostAdapter {
  std::string key;  // PCI address, or "nvme" for the NVMe drives together
  sim::AdapterSpec info;
  std::vector<HostDisk> disks;  // in device index order
  std::vector<HostSet> sets;
  std::vector<std::uint8_t> spares;  // device indexes
  std::wstring service;

  const HostDisk* DiskAt(std::size_t index) const;
  const HostDisk* DiskNamed(const std::string& name) const;
};

// An array no set can stand for, watched all the same.
struct UnshownArray {
  std::string name;
  std::string level;
  std::string arrayState;
  std::string reason;
  std::vector<std::string> disks;      // the disks its members lie on
  std::vector<std::string> faulty;     // member devices marked faulty
  std::vector<std::string> recovering;  // member devices being rebuilt
  std::uint32_t degraded = 0;
  std::string syncAction;
  std::optional<std::uint8_t> percent;  // of a running sync or rebuild
  std::optional<std::size_t> port;      // the adapter its events are reported with
};

struct UnshownDisk {
  std::string name;
  std::string reason;
};

struct HostSnapshot {
  std::vector<HostAdapter> adapters;
  std::vector<UnshownArray> arrays;
  std::vector<UnshownDisk> disks;
  std::vector<std::string> problems;
  std::vector<std::string> mdstatMismatches;
};

// What is kept from one scan to the next.
struct PositionMemory {
  // Ports of disks without a port number, by controller and disk identity.
  std::map<std::string, std::map<std::string, std::uint8_t>> ports;
  // Positions and rebuild percents of array members, by "md0/sda1".
  std::map<std::string, std::uint8_t> positions;
  std::map<std::string, std::uint8_t> percents;
};

struct MappingContext {
  std::string kernelRelease;  // "6.1.0-18-amd64": the RAID layer's version
  // SMART health known by disk name.
  std::map<std::string, sim::SmartHealth> health;
};

HostSnapshot BuildSnapshot(const MachineFacts& facts, PositionMemory& memory,
                           const MappingContext& context);

// What the operating system sees of the adapters, for the device manager.
std::vector<sim::AdapterView> TopologyOf(const HostSnapshot& snapshot);

// The events that turn `before` into `after`, by port, oldest first, stamped
// `when`. The first snapshot (`before` null) reports only what is already
// wrong with arrays no set stands for.
std::vector<std::vector<sim::EventBytes>> DiffSnapshots(const HostSnapshot* before,
                                                        const HostSnapshot& after,
                                                        sim::EventTime when);

// Rebuild rate (0-100) and the sync_speed_min that stands for it (KiB/s).
std::uint8_t RateOfSpeed(std::uint32_t speedMin);
std::uint32_t SpeedOfRate(std::uint8_t rate);

}  // namespace kestrune::host
