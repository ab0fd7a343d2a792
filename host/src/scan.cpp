// One pass over the kernel's files: disks below their PCI host controllers,
// libata's IDENTIFY data, write caches, and the md arrays with their members.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <ctime>
#include <iterator>
#include <limits>
#include <set>

#include "host/scan.h"

namespace kestrune::host {
namespace {

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= text.size()) {
    const std::size_t end = text.find(separator, start);
    std::string part = text.substr(start, end == std::string::npos ? end : end - start);
    if (!part.empty()) parts.push_back(std::move(part));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return parts;
}

bool IsHex(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }
bool IsDigits(const std::string& text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
  });
}

// "0000:00:17.0"
bool IsPciAddress(const std::string& part) {
  if (part.size() != 12 || part[4] != ':' || part[7] != ':' || part[10] != '.') return false;
  for (const std::size_t i : {0UL, 1UL, 2UL, 3UL, 5UL, 6UL, 8UL, 9UL})
    if (!IsHex(part[i])) return false;
  return part[11] >= '0' && part[11] <= '7';
}

// "2:0:0:0"
bool IsScsiAddress(const std::string& part) {
  const auto pieces = Split(part, ':');
  return pieces.size() == 4 && std::all_of(pieces.begin(), pieces.end(), IsDigits);
}

std::optional<std::uint64_t> ParseHex(const std::string& word) {
  std::string digits = word;
  if (StartsWith(digits, "0x") || StartsWith(digits, "0X")) digits = digits.substr(2);
  if (digits.empty() || digits.size() > 16 || !std::all_of(digits.begin(), digits.end(), IsHex))
    return std::nullopt;
  return std::stoull(digits, nullptr, 16);
}

// Whole disks only; partitions, loop and RAM disks, arrays, device-mapper
// volumes and optical drives are not ports' disks.
bool IsDiskName(const std::string& name) {
  static const char* const kNot[] = {"loop", "ram", "zram", "md", "dm-", "sr", "fd",
                                     "nbd",  "zd",  "nullb", "pmem", "mtdblock"};
  for (const char* prefix : kNot)
    if (StartsWith(name, prefix)) return false;
  // "nvme0c1n1": one path of a namespace reached over several, hidden behind
  // the namespace's own disk ("nvme0n1").
  if (StartsWith(name, "nvme")) {
    const auto c = name.find('c', 4);
    if (c != std::string::npos && c > 4 && IsDigits(name.substr(4, c - 4))) return false;
  }
  return !name.empty();
}

class Scanner {
 public:
  Scanner(FileSource& files, ScanCache& cache) : files_(files), cache_(cache) {}

  MachineFacts Run() {
    for (const std::string& name : files_.List("/sys/block")) {
      if (StartsWith(name, "md")) {
        ScanArray(name);
      } else if (IsDiskName(name)) {
        ScanDisk(name);
      }
    }
    std::set<std::string> pcis;
    for (const DiskFacts& d : facts_.disks)
      if (!d.pci.empty()) pcis.insert(d.pci);
    for (const std::string& address : pcis) ScanController(address);
    // Disks that left are read afresh should they come back.
    for (auto it = cache_.disks.begin(); it != cache_.disks.end();)
      it = seen_.count(it->first) != 0 ? std::next(it) : cache_.disks.erase(it);
    CrossCheckMdstat();
    return std::move(facts_);
  }

 private:
  std::optional<std::string> Word(const std::string& path) { return ReadWord(files_, path); }

  void Problem(const std::string& path, const std::string& reason) {
    facts_.problems.push_back(path + ": " + reason);
  }

  template <typename T>
  std::optional<T> Number(const std::string& path, bool required = true) {
    const auto word = Word(path);
    if (!word) {
      if (required) Problem(path, "cannot be read");
      return std::nullopt;
    }
    const auto value = ParseNumber(*word);
    if (!value || *value > std::numeric_limits<T>::max()) {
      Problem(path, word->empty() ? "empty" : "not a number: \"" + word->substr(0, 40) + "\"");
      return std::nullopt;
    }
    return static_cast<T>(*value);
  }

  std::string Text(const std::string& path) { return Word(path).value_or(std::string()); }

  void ScanDisk(const std::string& name) {
    DiskFacts d;
    d.name = name;
    const std::string base = "/sys/block/" + name;
    const auto target = files_.Link(base);
    d.devicePath = target ? ResolveLink(base, *target) : base;
    // Where the disk hangs in the machine. An NVMe namespace that the kernel
    // reaches over several paths lies below its subsystem, a virtual device:
    // it hangs below the subsystem's first controller.
    std::string hardware = d.devicePath;
    if (d.devicePath.find("/devices/virtual/") != std::string::npos) {
      if (d.devicePath.find("/devices/virtual/nvme-subsystem/") == std::string::npos) return;
      hardware = NvmeControllerPath(d.devicePath) + "/" + name;
    }
    // What a disk says of itself does not change while it is the same disk
    // (the same device path and disk sequence number): it is read once.
    const std::string key = d.devicePath + "|" + Text(base + "/diskseq");
    const auto known = cache_.disks.find(key);
    if (known != cache_.disks.end()) {
      const DiskFacts& c = known->second.facts;
      d.pci = c.pci;
      d.kind = c.kind;
      d.ataPort = c.ataPort;
      d.ataDevice = c.ataDevice;
      d.order = c.order;
      d.identify = c.identify;
      d.model = c.model;
      d.serial = c.serial;
      d.firmware = c.firmware;
      d.removable = c.removable;
      d.rotational = c.rotational;
      d.cacheTypePath = c.cacheTypePath;
      d.nvmeController = c.nvmeController;
      facts_.problems.insert(facts_.problems.end(), known->second.problems.begin(),
                             known->second.problems.end());
    } else {
      const std::size_t problemsBefore = facts_.problems.size();
      ReadStatic(d, base, hardware);
      for (const std::string& entry : files_.List(base + "/device/scsi_disk")) {
        d.cacheTypePath = base + "/device/scsi_disk/" + entry + "/cache_type";
        break;
      }
      ScanCache::Disk entry;
      entry.facts = d;
      entry.problems.assign(facts_.problems.begin() + static_cast<std::ptrdiff_t>(problemsBefore),
                            facts_.problems.end());
      cache_.disks[key] = std::move(entry);
    }
    seen_.insert(key);
    d.sectors = Number<std::uint64_t>(base + "/size");
    if (!d.ataDevice.empty()) d.xferMode = Text("/sys/class/ata_device/" + d.ataDevice + "/xfer_mode");
    // The write cache: the SCSI disk's switch where there is one (it asks the
    // device), else what the block layer knows.
    std::string cache;
    if (!d.cacheTypePath.empty()) cache = Text(d.cacheTypePath);
    if (cache.empty()) cache = Text(base + "/cache_type");
    if (cache.empty()) cache = Text(base + "/queue/write_cache");
    if (StartsWith(cache, "write back")) {
      d.writeCache = true;
    } else if (StartsWith(cache, "write through") || cache == "none") {
      d.writeCache = false;
    }
    for (const std::string& entry : files_.List(base)) {
      if (!StartsWith(entry, name) || entry == name) continue;
      if (!Word(base + "/" + entry + "/partition")) continue;
      d.partitionTable = true;
      for (const std::string& h : files_.List(base + "/" + entry + "/holders"))
        d.holders.push_back(h);
    }
    for (const std::string& h : files_.List(base + "/holders")) d.holders.push_back(h);
    facts_.disks.push_back(std::move(d));
  }

  void ReadStatic(DiskFacts& d, const std::string& base, const std::string& hardware) {
    const std::string& name = d.name;
    const auto parts = Split(hardware, '/');
    std::optional<std::uint32_t> ataPrintId;
    for (const std::string& part : parts) {
      if (IsPciAddress(part)) d.pci = part;
      if (IsScsiAddress(part)) d.order = part;
      if (StartsWith(part, "ata") && IsDigits(part.substr(3))) {
        ataPrintId = static_cast<std::uint32_t>(std::stoul(part.substr(3)));
      }
      if (StartsWith(part, "nvme") && IsDigits(part.substr(4))) {
        d.kind = DiskKind::Nvme;
        d.nvmeController = part;
      }
    }
    if (ataPrintId) {
      d.kind = DiskKind::Ata;
      const std::string port = "/sys/class/ata_port/ata" + std::to_string(*ataPrintId);
      if (const auto number = Number<std::uint32_t>(port + "/port_no")) {
        if (*number == 0)
          Problem(port + "/port_no", "port numbers count from 1");
        else
          d.ataPort = *number - 1;
      }
      // A disk straight on its port is device 0 of that link.
      d.ataDevice = "dev" + std::to_string(*ataPrintId) + ".0";
      const std::string dev = "/sys/class/ata_device/" + d.ataDevice;
      if (const auto text = files_.Read(dev + "/id")) {
        d.identify = ParseIdentifyWords(*text);
        if (!d.identify) Problem(dev + "/id", "not 256 words of four hex digits");
      } else {
        Problem(dev + "/id", "cannot be read");
      }
    }
    if (d.order.empty()) d.order = name;

    d.removable = Text(base + "/removable") == "1";
    d.rotational = Text(base + "/queue/rotational") != "0";
    if (d.identify) {
      // IDENTIFY names the disk: the SCSI layer's shortened copies are not needed.
    } else if (d.kind == DiskKind::Nvme) {
      d.model = Text(base + "/device/model");
      d.serial = Text(base + "/device/serial");
      d.firmware = Text(base + "/device/firmware_rev");
    } else {
      const std::string vendor = Text(base + "/device/vendor");
      d.model = Text(base + "/device/model");
      // A SCSI vendor names the maker; a PCI vendor number (virtio) does not.
      if (!d.model.empty() && !vendor.empty() && vendor != "ATA" && vendor.rfind("0x", 0) != 0)
        d.model = vendor + " " + d.model;
      d.firmware = Text(base + "/device/rev");
      d.serial = Text(base + "/serial");
    }
  }

  // The device path of the first controller of the NVMe subsystem a
  // namespace lies in ("/sys/devices/pci0000:00/0000:01:00.0/nvme/nvme0"),
  // else the subsystem's own (no controller: the disk is on no adapter).
  std::string NvmeControllerPath(const std::string& devicePath) {
    const std::string subsystem = devicePath.substr(0, devicePath.rfind('/'));
    for (const std::string& entry : files_.List(subsystem)) {
      if (!StartsWith(entry, "nvme") || !IsDigits(entry.substr(4))) continue;
      if (const auto target = files_.Link(subsystem + "/" + entry))
        return ResolveLink(subsystem + "/" + entry, *target);
    }
    return subsystem;
  }

  void ScanController(const std::string& address) {
    // A controller's numbers and driver stay while the machine runs.
    if (const auto known = cache_.controllers.find(address); known != cache_.controllers.end()) {
      facts_.controllers.push_back(known->second.first);
      facts_.problems.insert(facts_.problems.end(), known->second.second.begin(),
                             known->second.second.end());
      return;
    }
    const std::size_t problemsBefore = facts_.problems.size();
    PciFacts c;
    c.address = address;
    const std::string base = "/sys/bus/pci/devices/" + address;
    if (const auto word = Word(base + "/class")) {
      if (const auto value = ParseHex(*word))
        c.classCode = static_cast<std::uint32_t>(*value);
      else
        Problem(base + "/class", "not a hex number");
    } else {
      Problem(base + "/class", "cannot be read");
    }
    if (const auto v = Word(base + "/vendor")) c.vendor = static_cast<std::uint16_t>(ParseHex(*v).value_or(0));
    if (const auto v = Word(base + "/device")) c.device = static_cast<std::uint16_t>(ParseHex(*v).value_or(0));
    if (const auto v = Word(base + "/revision"))
      c.revision = static_cast<std::uint8_t>(ParseHex(*v).value_or(0));
    c.irq = Number<std::uint32_t>(base + "/irq", false).value_or(0);
    if (const auto link = files_.Link(base + "/driver")) {
      const auto cut = link->rfind('/');
      c.driver = cut == std::string::npos ? *link : link->substr(cut + 1);
    }
    for (const std::string& entry : files_.List(base))
      if (StartsWith(entry, "ata") && IsDigits(entry.substr(3))) ++c.ataPorts;
    cache_.controllers[address] = {
        c, std::vector<std::string>(
               facts_.problems.begin() + static_cast<std::ptrdiff_t>(problemsBefore),
               facts_.problems.end())};
    facts_.controllers.push_back(std::move(c));
  }

  void ScanArray(const std::string& name) {
    const std::string md = "/sys/block/" + name + "/md";
    const auto entries = files_.List(md);
    if (entries.empty()) return;  // no md folder: not an array (yet)
    ArrayFacts a;
    a.name = name;
    a.level = Text(md + "/level");
    if (a.level.empty()) Problem(md + "/level", "empty");
    a.raidDisks = Number<std::uint32_t>(md + "/raid_disks");
    a.layout = Number<std::uint32_t>(md + "/layout", false);
    a.chunkBytes = Number<std::uint64_t>(md + "/chunk_size", false);
    a.arrayState = Text(md + "/array_state");
    static const std::set<std::string> kStates = {
        "clear",  "inactive", "suspended", "readonly",    "read-auto", "clean",
        "active", "write-pending", "active-idle", "broken"};
    if (kStates.count(a.arrayState) == 0) {
      Problem(md + "/array_state",
              a.arrayState.empty() ? "empty" : "unknown state \"" + a.arrayState.substr(0, 40) + "\"");
      a.arrayState.clear();
    }
    a.degraded = Number<std::uint32_t>(md + "/degraded", false);
    a.syncAction = Text(md + "/sync_action");
    if (const auto word = Word(md + "/sync_completed")) {
      a.progress = ParseSyncCompleted(*word);
      if (a.progress.kind == SyncProgress::Kind::Unknown)
        Problem(md + "/sync_completed", "neither none, delayed nor done / total");
    }
    if (const auto word = Word(md + "/sync_speed_min")) {
      const auto parts = Split(*word, ' ');
      if (!parts.empty()) a.speedMin = static_cast<std::uint32_t>(ParseNumber(parts[0]).value_or(0));
      a.speedMinLocal = word->find("(local)") != std::string::npos;
    }
    a.metadata = Text(md + "/metadata_version");
    a.sectors = Number<std::uint64_t>("/sys/block/" + name + "/size", false);
    for (const std::string& entry : entries) {
      if (!StartsWith(entry, "dev-")) continue;
      MemberFacts m;
      m.device = entry.substr(4);
      const std::string dev = md + "/" + entry;
      m.state = Split(Text(dev + "/state"), ',');
      const std::string slot = Text(dev + "/slot");
      if (IsDigits(slot) && slot.size() < 6) m.slot = static_cast<std::uint32_t>(std::stoul(slot));
      else if (slot != "none") Problem(dev + "/slot", slot.empty() ? "empty" : "not a slot number");
      const std::string recovery = Text(dev + "/recovery_start");
      if (IsDigits(recovery) && recovery.size() < 20) m.recoveryStart = std::stoull(recovery);
      if (const auto link = files_.Link(dev + "/block")) {
        // .../block/sda/sda1 or .../block/sda: the link is relative to the
        // array's real folder, so only its last parts are taken.
        const auto parts = Split(*link, '/');
        for (std::size_t i = 0; i + 1 < parts.size(); ++i)
          if (parts[i] == "block") m.disk = parts[i + 1];
      }
      if (m.disk.empty()) m.disk = DiskOfDevice(m.device);
      a.members.push_back(std::move(m));
    }
    facts_.arrays.push_back(std::move(a));
  }

  // "sda1" lies on the disk "sda" when /sys/block/sda/sda1 exists.
  std::string DiskOfDevice(const std::string& device) {
    for (std::size_t len = device.size(); len > 0; --len) {
      const std::string disk = device.substr(0, len);
      if (len == device.size()) {
        if (!files_.List("/sys/block/" + disk).empty()) return disk;
      } else if (!files_.List("/sys/block/" + disk + "/" + device).empty()) {
        return disk;
      }
    }
    return std::string();
  }

  void CrossCheckMdstat() {
    const auto text = files_.Read("/proc/mdstat");
    if (!text) return;
    std::set<std::string> listed;
    for (const std::string& line : Split(*text, '\n')) {
      const auto words = Split(line, ' ');
      if (words.size() >= 2 && StartsWith(words[0], "md") && words[1] == ":") listed.insert(words[0]);
    }
    for (ArrayFacts& a : facts_.arrays) {
      if (listed.count(a.name) == 0) {
        a.inMdstat = false;
        facts_.mdstatMismatches.push_back(a.name + " is in sysfs but not in /proc/mdstat");
      }
    }
    for (const std::string& name : listed) {
      const bool known = std::any_of(facts_.arrays.begin(), facts_.arrays.end(),
                                     [&](const ArrayFacts& a) { return a.name == name; });
      if (!known) facts_.mdstatMismatches.push_back(name + " is in /proc/mdstat but not in sysfs");
    }
  }

  FileSource& files_;
  ScanCache& cache_;
  std::set<std::string> seen_;
  MachineFacts facts_;
};

}  // namespace

std::uint32_t PciFacts::Bus() const {
  return static_cast<std::uint32_t>(ParseHex(address.substr(5, 2)).value_or(0));
}
std::uint32_t PciFacts::Slot() const {
  return static_cast<std::uint32_t>(ParseHex(address.substr(8, 2)).value_or(0));
}
std::uint32_t PciFacts::Function() const {
  return static_cast<std::uint32_t>(ParseHex(address.substr(11, 1)).value_or(0));
}

bool MemberFacts::Has(const std::string& flag) const {
  return std::find(state.begin(), state.end(), flag) != state.end();
}

const PciFacts* MachineFacts::Controller(const std::string& address) const {
  for (const auto& c : controllers)
    if (c.address == address) return &c;
  return nullptr;
}

const DiskFacts* MachineFacts::Disk(const std::string& name) const {
  for (const auto& d : disks)
    if (d.name == name) return &d;
  return nullptr;
}

std::optional<std::uint64_t> ParseNumber(const std::string& word) {
  if (!IsDigits(word) || word.size() > 19) return std::nullopt;
  return std::stoull(word);
}

std::optional<std::array<std::uint16_t, 256>> ParseIdentifyWords(const std::string& text) {
  std::array<std::uint16_t, 256> words{};
  std::size_t count = 0;
  std::size_t i = 0;
  while (i < text.size()) {
    if (std::isspace(static_cast<unsigned char>(text[i])) != 0) {
      ++i;
      continue;
    }
    std::size_t end = i;
    while (end < text.size() && std::isspace(static_cast<unsigned char>(text[end])) == 0) ++end;
    const std::string word = text.substr(i, end - i);
    if (word.size() != 4 || !std::all_of(word.begin(), word.end(), IsHex) || count == 256)
      return std::nullopt;
    words[count++] = static_cast<std::uint16_t>(std::stoul(word, nullptr, 16));
    i = end;
  }
  if (count != 256) return std::nullopt;
  return words;
}

SyncProgress ParseSyncCompleted(const std::string& word) {
  SyncProgress p;
  if (word == "none") {
    p.kind = SyncProgress::Kind::None;
  } else if (word == "delayed") {
    p.kind = SyncProgress::Kind::Delayed;
  } else {
    const auto slash = word.find('/');
    if (slash == std::string::npos) return p;
    auto trim = [](std::string s) {
      while (!s.empty() && s.back() == ' ') s.pop_back();
      while (!s.empty() && s.front() == ' ') s.erase(s.begin());
      return s;
    };
    const auto done = ParseNumber(trim(word.substr(0, slash)));
    const auto total = ParseNumber(trim(word.substr(slash + 1)));
    if (!done || !total || *total == 0 || *done > *total) return p;
    p.kind = SyncProgress::Kind::Numbers;
    p.done = *done;
    p.total = *total;
  }
  return p;
}

namespace {

constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr const char* kWeekdays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};

std::optional<std::string> CtimeText(int year, int month, int day, int hour, int minute,
                                     int second) {
  if (year < 1971 || year > 9999 || month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 ||
      minute > 59 || second > 60 || hour < 0 || minute < 0 || second < 0)
    return std::nullopt;
  std::tm tm{};
  tm.tm_year = year - 1900;
  tm.tm_mon = month - 1;
  tm.tm_mday = day;
  tm.tm_hour = hour;
  tm.tm_min = minute;
  tm.tm_sec = second;
  const std::time_t when = ::timegm(&tm);  // fills in the weekday
  if (when == static_cast<std::time_t>(-1) || tm.tm_mday != day) return std::nullopt;
  char text[32];
  std::snprintf(text, sizeof text, "%s %s %2d %02d:%02d:%02d %d", kWeekdays[tm.tm_wday],
                kMonths[tm.tm_mon], tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec,
                tm.tm_year + 1900);
  return std::string(text);
}

}  // namespace

std::optional<std::string> KernelBuildDate(const std::string& version) {
  const std::vector<std::string> words = Split(version, ' ');
  for (std::size_t i = words.size(); i-- > 0;) {
    const std::string& w = words[i];
    int y = 0, m = 0, d = 0;
    char close = 0;
    // Debian: "(2024-02-01)".
    if (w.size() == 12 && std::sscanf(w.c_str(), "(%4d-%2d-%2d%c", &y, &m, &d, &close) == 4 &&
        close == ')')
      return CtimeText(y, m, d, 0, 0, 0);
    // "@1706745600": seconds since 1970.
    if (w.size() > 1 && w[0] == '@' && IsDigits(w.substr(1)) && w.size() < 13) {
      const std::time_t when = static_cast<std::time_t>(std::stoll(w.substr(1)));
      std::tm tm{};
      if (when <= 0 || ::gmtime_r(&when, &tm) == nullptr) return std::nullopt;
      return CtimeText(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min,
                       tm.tm_sec);
    }
    // `date`'s: "Thu Feb 1 12:34:56 UTC 2024" (the zone may be missing).
    if (i + 4 < words.size() && w.size() == 3 &&
        std::find(std::begin(kWeekdays), std::end(kWeekdays), w) != std::end(kWeekdays)) {
      const auto month = std::find(std::begin(kMonths), std::end(kMonths), words[i + 1]);
      int hh = 0, mm = 0, ss = 0;
      const std::string& year = words.back();
      if (month == std::end(kMonths) || !IsDigits(words[i + 2]) || words[i + 2].size() > 2 ||
          std::sscanf(words[i + 3].c_str(), "%2d:%2d:%2d", &hh, &mm, &ss) != 3 ||
          year.size() != 4 || !IsDigits(year))
        continue;
      return CtimeText(std::stoi(year), static_cast<int>(month - std::begin(kMonths)) + 1,
                       std::stoi(words[i + 2]), hh, mm, ss);
    }
  }
  return std::nullopt;
}

}  // namespace kestrune::host

namespace kestrune::host {

MachineFacts ScanMachine(FileSource& files, ScanCache& cache) {
  return Scanner(files, cache).Run();
}

MachineFacts ScanMachine(FileSource& files) {
  ScanCache cache;
  return ScanMachine(files, cache);
}

}  // namespace kestrune::host
