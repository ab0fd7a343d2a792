// Mapping the scanned machine onto the model: adapters, ports, sets,
// members and spares, and the reasons for what it cannot hold.
#include "host/snapshot.h"

#include <algorithm>
#include <cstdio>

namespace kestrune::host {
namespace {

using sim::MemberState;
using sim::SetState;
using sim::SetType;

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string ControllerKind(std::uint32_t classCode) {
  switch (classCode >> 8) {
    case 0x0100:
      return "SCSI";
    case 0x0101:
      return "IDE";
    case 0x0104:
      return "RAID";
    case 0x0105:
      return "ATA";
    case 0x0106:
      return "SATA";
    case 0x0107:
      return "SAS";
    case 0x0108:
      return "NVMe";
    default:
      return "Storage";
  }
}

void SetWord(sim::IdentifyData& id, std::size_t word, std::uint16_t value) {
  id[2 * word] = static_cast<std::uint8_t>(value & 0xFF);
  id[2 * word + 1] = static_cast<std::uint8_t>(value >> 8);
}
std::uint16_t Word(const sim::IdentifyData& id, std::size_t word) {
  return static_cast<std::uint16_t>(id[2 * word] | (id[2 * word + 1] << 8));
}
void FixChecksum(sim::IdentifyData& id) {
  if (id[510] != 0xA5) return;  // no checksum to keep
  unsigned sum = 0;
  for (std::size_t i = 0; i < 511; ++i) sum += id[i];
  id[511] = static_cast<std::uint8_t>((256U - (sum & 0xFFU)) & 0xFFU);
}

// The ATA string of a field, read from IDENTIFY words (first character in
// the high byte), trailing blanks dropped.
std::string IdString(const sim::IdentifyData& id, std::size_t first, std::size_t words) {
  std::string text;
  for (std::size_t w = first; w < first + words; ++w) {
    const std::uint16_t v = Word(id, w);
    for (const int shift : {8, 0}) {
      const char c = static_cast<char>((v >> shift) & 0xFF);
      text.push_back(c == 0 ? ' ' : c);
    }
  }
  while (!text.empty() && text.back() == ' ') text.pop_back();
  const auto start = text.find_first_not_of(' ');
  return start == std::string::npos ? std::string() : text.substr(start);
}

void ApplyTransferMode(sim::DiskSpec& spec, const std::string& mode) {
  struct Kind {
    const char* prefix;
    sim::ModeKind kind;
  };
  static const Kind kKinds[] = {{"XFER_UDMA_", sim::ModeKind::UltraDma},
                                {"XFER_MW_DMA_", sim::ModeKind::MultiWordDma},
                                {"XFER_SW_DMA_", sim::ModeKind::SingleWordDma},
                                {"XFER_PIO_", sim::ModeKind::Pio}};
  for (const Kind& k : kKinds) {
    const std::string prefix = k.prefix;
    if (mode.compare(0, prefix.size(), prefix) != 0) continue;
    const std::string rest = mode.substr(prefix.size());
    if (rest.size() == 1 && rest[0] >= '0' && rest[0] <= '7') {
      spec.currentKind = k.kind;
      spec.currentMode = static_cast<std::uint8_t>(rest[0] - '0');
    }
    return;
  }
}

HostDisk MakeDisk(const DiskFacts& facts, const MappingContext& context) {
  HostDisk disk;
  disk.name = facts.name;
  disk.ata = facts.kind == DiskKind::Ata;
  disk.nvme = facts.kind == DiskKind::Nvme;
  disk.cacheTypePath = facts.cacheTypePath;
  disk.nvmeController = facts.nvmeController;
  disk.partitioned = facts.partitionTable;
  disk.holders = facts.holders;
  sim::DiskSpec& s = disk.spec;
  s.sectors = facts.sectors.value_or(0);
  s.removable = facts.removable;
  s.currentKind = sim::ModeKind::UltraDma;
  s.currentMode = 6;
  s.sectorsPerInterrupt = 0;
  if (facts.identify) {
    for (std::size_t w = 0; w < 256; ++w) SetWord(disk.identify, w, (*facts.identify)[w]);
    // The cache as it is switched now; IDENTIFY is what the disk said at
    // start-up.
    if (facts.writeCache) {
      std::uint16_t w85 = Word(disk.identify, 85);
      w85 = static_cast<std::uint16_t>(*facts.writeCache ? (w85 | 0x20U) : (w85 & ~0x20U));
      SetWord(disk.identify, 85, w85);
      FixChecksum(disk.identify);
    }
    s.model = IdString(disk.identify, 27, 20);
    s.serial = IdString(disk.identify, 10, 10);
    s.firmware = IdString(disk.identify, 23, 4);
    s.atapi = (Word(disk.identify, 0) & 0x8000U) != 0;
    s.smartSupported = (Word(disk.identify, 82) & 0x0001U) != 0;
    s.smartEnabled = (Word(disk.identify, 85) & 0x0001U) != 0;
    s.writeCacheSupported = (Word(disk.identify, 82) & 0x0020U) != 0;
    s.writeCacheEnabled = (Word(disk.identify, 85) & 0x0020U) != 0;
    const std::uint16_t w59 = Word(disk.identify, 59);
    if ((w59 & 0x0100U) != 0) s.sectorsPerInterrupt = w59 & 0xFFU;
    ApplyTransferMode(s, facts.xferMode);
  } else {
    // Words made from what sysfs tells: model, serial, firmware, size.
    s.model = facts.model.empty() ? facts.name : facts.model;
    s.serial = facts.serial;
    s.firmware = facts.firmware;
    s.ataMajor = 0;
    s.udmaMax = 6;
    s.mdmaMax = -1;
    s.pioMax = 0;
    s.sectorsPerInterrupt = 0;
    // NVMe health is asked through its own log page where the program may.
    s.smartSupported = s.smartEnabled = disk.nvme;
    s.writeCacheSupported = facts.writeCache.has_value();
    s.writeCacheEnabled = facts.writeCache.value_or(false);
    s.lookAheadSupported = s.lookAheadEnabled = false;
    s.lba48 = true;
    disk.identify = sim::BuildIdentify(s);
  }
  if (s.model.empty()) s.model = facts.name;
  disk.identity = s.serial.empty() ? facts.name : s.model + "/" + s.serial;
  const auto known = context.health.find(facts.name);
  disk.health = known == context.health.end() ? sim::SmartHealth::Unknown : known->second;
  return disk;
}

// The model's position of an md slot: raid10 near-2 keeps its copies in
// neighbouring slots, the model pairs position p with p XOR 2.
std::uint8_t PositionOfSlot(SetType type, std::uint32_t slot) {
  if (type == SetType::MirroredStriped)
    return static_cast<std::uint8_t>((slot / 2) + 2 * (slot % 2));
  return static_cast<std::uint8_t>(slot);
}

struct Placed {
  std::size_t adapter;
  std::uint8_t index;
};

class Mapper {
 public:
  Mapper(const MachineFacts& facts, PositionMemory& memory, const MappingContext& context)
      : facts_(facts), memory_(memory), context_(context) {}

  HostSnapshot Run() {
    snap_.problems = facts_.problems;
    snap_.mdstatMismatches = facts_.mdstatMismatches;
    PlaceAdapters();
    PlaceDisks();
    for (const ArrayFacts& a : facts_.arrays) MapArray(a);
    FinishAdapters();
    return std::move(snap_);
  }

 private:
  // Adapters in PCI address order, the NVMe drives together at the place of
  // the first of their controllers.
  void PlaceAdapters() {
    std::vector<std::string> keys;
    for (const PciFacts& c : facts_.controllers) {
      if (!c.MassStorage()) continue;
      const std::string key = c.Nvme() ? "nvme" : c.address;
      if (std::find(keys.begin(), keys.end(), key) == keys.end()) keys.push_back(key);
    }
    for (const std::string& key : keys) {
      if (snap_.adapters.size() == kMaxAdapters) {
        overflow_.insert(key);
        continue;
      }
      HostAdapter a;
      a.key = key;
      const PciFacts* pci = nullptr;
      for (const PciFacts& c : facts_.controllers)
        if ((key == "nvme" && c.Nvme()) || c.address == key) {
          pci = &c;
          break;
        }
      sim::AdapterSpec& info = a.info;
      info.driverMajor = 2;
      info.driverMinor = 0;  // no status LEDs
      info.chipType = 2;     // md is the RAID layer of every controller
      info.chipId = pci->device;
      info.chipRevision = pci->revision;
      info.pciIrq = pci->irq;
      info.pciBus = pci->Bus();
      info.pciDevice = pci->Slot();
      info.pciFunction = pci->Function();
      info.adapterId = static_cast<std::uint32_t>(snap_.adapters.size());
      const std::string driver = pci->driver.empty() ? "no driver" : pci->driver;
      info.name = key == "nvme" ? "NVMe drives (" + driver + ")"
                                : ControllerKind(pci->classCode) + " " + key + " (" + driver + ")";
      info.service = Lower(pci->driver.empty() ? std::string("disk") : pci->driver);
      info.rioMajor = 0;
      info.rioMinor = 0;
      // The kernel's version is the RAID layer's.
      unsigned major = 0, minor = 0;
      if (std::sscanf(context_.kernelRelease.c_str(), "%u.%u", &major, &minor) == 2) {
        info.rioMajor = static_cast<std::uint16_t>(major);
        info.rioMinor = static_cast<std::uint16_t>(minor);
      }
      ports_.push_back(pci->ataPorts);
      snap_.adapters.push_back(std::move(a));
    }
  }

  std::optional<std::size_t> AdapterOf(const DiskFacts& d) const {
    const PciFacts* pci = facts_.Controller(d.pci);
    if (pci == nullptr) return std::nullopt;
    const std::string key = pci->Nvme() ? "nvme" : pci->address;
    for (std::size_t i = 0; i < snap_.adapters.size(); ++i)
      if (snap_.adapters[i].key == key) return i;
    return std::nullopt;
  }

  void PlaceDisks() {
    std::vector<std::vector<const DiskFacts*>> unnumbered(snap_.adapters.size());
    for (const DiskFacts& d : facts_.disks) {
      const auto adapter = AdapterOf(d);
      if (!adapter) {
        const PciFacts* pci = facts_.Controller(d.pci);
        std::string reason = "not below a storage host controller";
        if (pci != nullptr && overflow_.count(pci->Nvme() ? "nvme" : pci->address) != 0)
          reason = "on a fifth storage host controller (" + d.pci + "); the model holds four";
        else if (pci != nullptr)
          reason += " (" + d.pci + " is PCI class " + Hex(pci->classCode) + ")";
        snap_.disks.push_back({d.name, reason});
        continue;
      }
      if (d.ataPort) {
        Place(*adapter, d, *d.ataPort);
      } else {
        unnumbered[*adapter].push_back(&d);
      }
    }
    // Disks without a port number keep the port they had; a new one takes the
    // lowest free port, in the order of their addresses.
    for (std::size_t a = 0; a < unnumbered.size(); ++a) {
      auto& list = unnumbered[a];
      std::stable_sort(list.begin(), list.end(), [](const DiskFacts* x, const DiskFacts* y) {
        return x->order < y->order;
      });
      auto& book = memory_.ports[snap_.adapters[a].key];
      std::map<std::string, std::uint8_t> kept;
      std::vector<const DiskFacts*> fresh;
      for (const DiskFacts* d : list) {
        const HostDisk probe = MakeDisk(*d, context_);
        const auto it = book.find(probe.identity);
        if (it != book.end() && !Taken(a, it->second))
          Place(a, *d, it->second), kept[probe.identity] = it->second;
        else
          fresh.push_back(d);
      }
      for (const DiskFacts* d : fresh) {
        std::uint32_t port = 0;
        while (Taken(a, port)) ++port;
        const HostDisk probe = MakeDisk(*d, context_);
        Place(a, *d, port);
        if (port < kMaxPorts) kept[probe.identity] = static_cast<std::uint8_t>(port);
      }
      book = std::move(kept);
    }
  }

  bool Taken(std::size_t adapter, std::uint32_t port) const {
    for (const HostDisk& d : snap_.adapters[adapter].disks)
      if (d.index == port) return true;
    return false;
  }

  void Place(std::size_t adapter, const DiskFacts& d, std::uint32_t port) {
    if (port >= kMaxPorts) {
      snap_.disks.push_back({d.name, "port " + std::to_string(port) +
                                         " is beyond the 60 an adapter holds"});
      return;
    }
    if (Taken(adapter, port)) {
      snap_.disks.push_back({d.name, "shares port " + std::to_string(port) +
                                         " with another disk (a port multiplier)"});
      return;
    }
    HostDisk disk = MakeDisk(d, context_);
    disk.index = static_cast<std::uint8_t>(port);
    if (!d.holders.empty()) disk.claimed = true;
    placed_[d.name] = Placed{adapter, disk.index};
    snap_.adapters[adapter].disks.push_back(std::move(disk));
  }

  static std::string Hex(std::uint32_t value) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%06x", value);
    return buffer;
  }

  // Why the array cannot be a set; "" when it can.
  std::string Unrepresentable(const ArrayFacts& a, SetType& type) const {
    if (a.metadata.rfind("external:", 0) == 0) {
      return a.level == "container" || a.metadata.find('/') == std::string::npos
                 ? "an external-metadata container (" + a.metadata.substr(9) + ")"
                 : "its metadata is managed outside the kernel (" + a.metadata.substr(9) + ")";
    }
    if (a.arrayState.empty()) return "its state cannot be read";
    if (a.arrayState == "inactive" || a.arrayState == "clear")
      return "it is not running (" + a.arrayState + ")";
    if (!a.raidDisks) return "its number of disks cannot be read";
    if (a.level == "raid0") {
      if (*a.raidDisks > 4) return "a striped set holds at most 4 disks, it has " +
                                   std::to_string(*a.raidDisks);
      type = SetType::Striped;
      return "";
    }
    if (a.level == "raid1") {
      if (*a.raidDisks != 2)
        return std::to_string(*a.raidDisks) + "-way mirror; a mirrored set has 2 disks";
      type = SetType::Mirrored;
      return "";
    }
    if (a.level == "raid10") {
      if (!a.layout) return "its layout cannot be read";
      if (*a.layout != 0x102) {
        char buffer[24];
        std::snprintf(buffer, sizeof buffer, "0x%x", *a.layout);
        return std::string("raid10 layout ") + buffer + "; only near-2 maps onto a set";
      }
      if (*a.raidDisks != 4) return "raid10 of " + std::to_string(*a.raidDisks) +
                                    " disks; a mirrored striped set has 4";
      type = SetType::MirroredStriped;
      return "";
    }
    if (a.level.empty()) return "its level cannot be read";
    return a.level + " has no set type";
  }

  void MapArray(const ArrayFacts& a) {
    SetType type = SetType::Mirrored;
    std::string reason = Unrepresentable(a, type);
    std::optional<std::size_t> adapter;
    if (reason.empty()) {
      for (const MemberFacts& m : a.members) {
        const auto it = placed_.find(m.disk);
        // A member whose disk has left is a missing member, not another place.
        if (it == placed_.end() && !m.disk.empty() && facts_.Disk(m.disk) == nullptr) continue;
        if (it == placed_.end()) {
          reason = m.disk.empty() ? "member " + m.device + " lies on no disk that is shown"
                                  : "member disk " + m.disk + " is not shown";
          break;
        }
        if (adapter && *adapter != it->second.adapter) {
          reason = "its members span two controllers";
          break;
        }
        adapter = it->second.adapter;
      }
      if (reason.empty() && !adapter) reason = "it has no member disk";
    }
    if (reason.empty()) {
      std::set<std::string> disks;
      for (const MemberFacts& m : a.members)
        if (placed_.count(m.disk) != 0 && !disks.insert(m.disk).second)
          reason = "two of its members lie on one disk";
    }
    if (reason.empty() && snap_.adapters[*adapter].sets.size() >= kMaxSetsPerAdapter)
      reason = "its adapter has two sets already";
    if (!reason.empty()) {
      AddUnshown(a, reason);
      return;
    }
    HostAdapter& owner = snap_.adapters[*adapter];
    HostSet set;
    set.array = a.name;
    set.level = a.level;
    set.metadata = a.metadata;
    set.raidDisks = *a.raidDisks;
    set.degraded = a.degraded.value_or(0);
    set.capacity = a.sectors.value_or(0);
    sim::SetSpec& spec = set.spec;
    spec.type = type;
    spec.name = a.name;
    spec.metaVersion = a.metadata;
    spec.stripeSectors = type == SetType::Mirrored
                             ? 0
                             : static_cast<std::uint32_t>(a.chunkBytes.value_or(0) / 512);
    const bool redundant = type != SetType::Striped;
    spec.spareEnabled = redundant;  // md takes a spare as soon as it has one
    spec.rebuildRate = RateOfSpeed(a.speedMin.value_or(0));
    const bool recovering = a.syncAction == "recover";
    const bool syncing = a.syncAction == "resync" || a.syncAction == "check" ||
                         a.syncAction == "repair" || a.syncAction == "reshape";
    // Sectors each member holds, for a rebuild told only by recovery_start.
    const std::uint64_t component =
        type == SetType::MirroredStriped ? set.capacity / 2 : set.capacity;

    std::set<std::uint8_t> usedPositions;
    struct Pending {
      const MemberFacts* m;
      MemberState state;
      std::optional<std::uint8_t> position;
    };
    std::vector<Pending> members;
    for (const MemberFacts& m : a.members) {
      const std::string key = a.name + "/" + m.device;
      if (placed_.count(m.disk) == 0) continue;  // its disk has left
      if (m.Has("faulty")) {
        const auto it = memory_.positions.find(key);
        members.push_back({&m, MemberState::Dropped,
                           it == memory_.positions.end() ? std::nullopt
                                                         : std::optional(it->second)});
      } else if (m.slot && *m.slot < set.raidDisks) {
        const bool inSync = m.Has("in_sync") && !m.Has("spare");
        members.push_back({&m, inSync ? MemberState::Current : MemberState::Rebuild,
                           PositionOfSlot(type, *m.slot)});
      } else if (m.Has("spare") && redundant) {
        set.spares.push_back(m.disk);
        owner.spares.push_back(placed_[m.disk].index);
        memory_.positions.erase(key);
      } else if (m.Has("replacement")) {
        snap_.problems.push_back(a.name + "/" + m.device + ": a replacement is not shown");
      }
    }
    // Working members hold their slots; a dropped one keeps its old place
    // unless another took it over (a spare rebuilding into it), then it is no
    // member any more, as a replaced member is not; one whose place is not
    // known takes a free place while the set has room.
    for (const Pending& p : members)
      if (p.state != MemberState::Dropped) usedPositions.insert(*p.position);
    std::vector<Pending> listed;
    for (Pending& p : members) {
      if (p.state == MemberState::Dropped) {
        if (p.position && usedPositions.count(*p.position) != 0) {
          set.faulty.push_back(p.m->device);
          continue;
        }
        if (!p.position) {
          if (usedPositions.size() >= set.raidDisks) {
            set.faulty.push_back(p.m->device);
            continue;
          }
          std::uint8_t free = 0;
          while (usedPositions.count(free) != 0) ++free;
          p.position = free;
        }
        usedPositions.insert(*p.position);
      }
      listed.push_back(p);
    }
    members = std::move(listed);
    std::sort(members.begin(), members.end(),
              [](const Pending& x, const Pending& y) { return *x.position < *y.position; });
    for (const Pending& p : members) {
      const std::string key = a.name + "/" + p.m->device;
      sim::MemberSpec ms;
      ms.deviceIndex = placed_[p.m->disk].index;
      ms.position = *p.position;
      ms.state = p.state;
      memory_.positions[key] = ms.position;
      if (p.state == MemberState::Rebuild) {
        std::optional<std::uint8_t> percent;
        if (recovering && a.progress.kind == SyncProgress::Kind::Numbers) {
          percent = static_cast<std::uint8_t>(
              std::min<std::uint64_t>(a.progress.done * 100 / a.progress.total, 99));
        } else if (const auto it = memory_.percents.find(key); it != memory_.percents.end()) {
          // "delayed" or "none" says nothing of how far it came.
          percent = it->second;
        } else if (p.m->recoveryStart && component > 0) {
          percent = static_cast<std::uint8_t>(
              std::min<std::uint64_t>(*p.m->recoveryStart * 100 / component, 99));
        }
        ms.rebuildPercent = percent.value_or(0);
        if (percent) memory_.percents[key] = *percent;
      } else {
        memory_.percents.erase(key);
      }
      spec.members.push_back(ms);
      set.members.push_back({p.m->device, p.m->disk});
    }
    spec.location = spec.members.empty() ? std::uint8_t{0} : spec.members.front().deviceIndex;
    const bool complete = spec.members.size() == set.raidDisks &&
                          std::all_of(spec.members.begin(), spec.members.end(),
                                      [](const sim::MemberSpec& m) {
                                        return m.state == MemberState::Current;
                                      });
    if (!complete || set.degraded > 0 || recovering || a.arrayState == "broken")
      spec.state = SetState::Available;
    else if (syncing)
      spec.state = SetState::Sync;
    else
      spec.state = SetState::Online;
    owner.sets.push_back(std::move(set));
  }

  void AddUnshown(const ArrayFacts& a, const std::string& reason) {
    UnshownArray u;
    u.name = a.name;
    u.level = a.level.empty() ? "unknown level" : a.level;
    u.arrayState = a.arrayState;
    u.reason = reason;
    u.degraded = a.degraded.value_or(0);
    u.syncAction = a.syncAction;
    if (a.progress.kind == SyncProgress::Kind::Numbers)
      u.percent = static_cast<std::uint8_t>(
          std::min<std::uint64_t>(a.progress.done * 100 / a.progress.total, 99));
    for (const MemberFacts& m : a.members) {
      if (!m.disk.empty() && std::find(u.disks.begin(), u.disks.end(), m.disk) == u.disks.end())
        u.disks.push_back(m.disk);
      if (m.Has("faulty")) u.faulty.push_back(m.device);
      else if (m.slot && !m.Has("in_sync")) u.recovering.push_back(m.device);
      const auto it = placed_.find(m.disk);
      if (it != placed_.end() && !u.port) u.port = it->second.adapter;
    }
    if (!u.port && !snap_.adapters.empty()) u.port = 0;
    claimedDisks_.insert(u.disks.begin(), u.disks.end());
    snap_.arrays.push_back(std::move(u));
  }

  void FinishAdapters() {
    for (std::size_t i = 0; i < snap_.adapters.size(); ++i) {
      HostAdapter& a = snap_.adapters[i];
      std::sort(a.disks.begin(), a.disks.end(),
                [](const HostDisk& x, const HostDisk& y) { return x.index < y.index; });
      std::sort(a.spares.begin(), a.spares.end());
      std::uint32_t ports = ports_[i];
      for (const HostDisk& d : a.disks) ports = std::max<std::uint32_t>(ports, d.index + 1U);
      ports = std::clamp<std::uint32_t>(ports, 1, kMaxPorts);
      const std::uint32_t perChannel = (ports + 3) / 4;
      a.info.devicesPerChannel = static_cast<std::uint16_t>(perChannel);
      a.info.channels = static_cast<std::uint16_t>((ports + perChannel - 1) / perChannel);
      a.info.channelInfo.assign(a.info.channels, sim::ChannelSpec{});
      for (sim::ChannelSpec& c : a.info.channelInfo) c.linkGeneration = 0;
      for (HostDisk& d : a.disks) {
        d.spec.channel = static_cast<std::uint8_t>(d.index / perChannel);
        d.spec.device = static_cast<std::uint8_t>(d.index % perChannel);
        if (claimedDisks_.count(d.name) != 0) d.claimed = true;
      }
    }
  }

  const MachineFacts& facts_;
  PositionMemory& memory_;
  const MappingContext& context_;
  HostSnapshot snap_;
  std::set<std::string> overflow_;
  std::vector<std::uint32_t> ports_;
  std::map<std::string, Placed> placed_;
  std::set<std::string> claimedDisks_;
};

}  // namespace

const HostDisk* HostAdapter::DiskAt(std::size_t index) const {
  for (const HostDisk& d : disks)
    if (d.index == index) return &d;
  return nullptr;
}

const HostDisk* HostAdapter::DiskNamed(const std::string& name) const {
  for (const HostDisk& d : disks)
    if (d.name == name) return &d;
  return nullptr;
}

HostSnapshot BuildSnapshot(const MachineFacts& facts, PositionMemory& memory,
                           const MappingContext& context) {
  return Mapper(facts, memory, context).Run();
}

std::uint8_t RateOfSpeed(std::uint32_t speedMin) {
  // A rate of r stands for r x 2000 KiB/s; the kernel's default minimum
  // (1000) is rate 1.
  return static_cast<std::uint8_t>(std::clamp<std::uint32_t>((speedMin + 1999) / 2000, 0, 100));
}

std::uint32_t SpeedOfRate(std::uint8_t rate) {
  return std::uint32_t{std::min<std::uint8_t>(rate, 100)} * 2000;
}

std::vector<sim::AdapterView> TopologyOf(const HostSnapshot& snapshot) {
  std::vector<sim::AdapterView> views;
  for (std::size_t port = 0; port < snapshot.adapters.size(); ++port) {
    const HostAdapter& a = snapshot.adapters[port];
    sim::AdapterView view;
    view.port = port;
    view.name = std::wstring(a.info.name.begin(), a.info.name.end());
    view.service = std::wstring(a.info.service.begin(), a.info.service.end());
    view.pciBus = a.info.pciBus;
    view.pciDevice = a.info.pciDevice;
    view.pciFunction = a.info.pciFunction;
    const std::uint32_t perChannel = std::max<std::uint32_t>(a.info.devicesPerChannel, 1);
    std::set<std::uint8_t> members;
    for (const HostSet& s : a.sets) {
      for (const sim::MemberSpec& m : s.spec.members) members.insert(m.deviceIndex);
      sim::OsTarget t;
      const std::uint8_t location = s.spec.location.value_or(0);
      t.channel = static_cast<std::uint8_t>(location / perChannel);
      t.device = static_cast<std::uint8_t>(location % perChannel);
      t.setDisk = true;
      t.model = std::wstring(s.array.begin(), s.array.end());
      view.targets.push_back(t);
    }
    for (const HostDisk& d : a.disks) {
      if (members.count(d.index) != 0) continue;
      sim::OsTarget t;
      t.channel = d.spec.channel;
      t.device = d.spec.device;
      t.disk = !d.spec.atapi;
      const bool spare = std::find(a.spares.begin(), a.spares.end(), d.index) != a.spares.end();
      // Held by md (a spare, an array no set stands for) or built upon: the
      // disk cannot be used as a plain disk.
      t.problem = spare || d.claimed ? 10U : 0U;
      t.model = std::wstring(d.spec.model.begin(), d.spec.model.end());
      view.targets.push_back(t);
    }
    std::stable_sort(view.targets.begin(), view.targets.end(),
                     [](const sim::OsTarget& x, const sim::OsTarget& y) {
                       return std::pair(x.channel, x.device) < std::pair(y.channel, y.device);
                     });
    views.push_back(std::move(view));
  }
  return views;
}

}  // namespace kestrune::host
