// Scenario files: JSON to Scenario, with one clear error for anything the
// simulator could not model faithfully (wrong types, out-of-range numbers,
// unknown fields or words, impossible topologies).
#include "simulator/scenario.h"

#include <fmt/format.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <limits>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <sstream>
#include <utility>

namespace kestrune::sim {
namespace {

using Json = nlohmann::json;

constexpr std::size_t kMaxAdapters = 16;
constexpr std::size_t kMaxSets = 2;
constexpr std::size_t kMaxCdbBytes = 16;
constexpr std::size_t kEventRecordBytes = 88;
constexpr std::uintmax_t kMaxFileBytes = 16U * 1024U * 1024U;
// Slot numbers of QueryDeviceInfo are 16-bit.
constexpr std::uint64_t kMaxSlots = 65536;

// Thrown inside the parser only; ParseScenario turns it into a ScenarioError.
struct Failure {
  std::string message;
};

std::string Child(const std::string& path, std::string_view key) {
  return path.empty() ? std::string(key) : fmt::format("{}.{}", path, key);
}

std::string Index(const std::string& path, std::size_t i) {
  return fmt::format("{}[{}]", path, i);
}

std::string Where(const std::string& path) {
  return path.empty() ? "top level" : path;
}

// A text as it would be written in JSON (quoted, control characters escaped),
// shortened, so a message stays on one line of reasonable length.
std::string Quote(const std::string& text) {
  constexpr std::size_t kMax = 60;
  std::string quoted = Json(text).dump(-1, ' ', false, Json::error_handler_t::replace);
  if (quoted.size() > kMax) quoted = quoted.substr(0, kMax - 4) + "...\"";
  return quoted;
}

std::string Describe(const Json& v) {
  switch (v.type()) {
    case Json::value_t::null:
      return "null";
    case Json::value_t::boolean:
      return fmt::format("boolean {}", v.get<bool>());
    case Json::value_t::string:
      return "string " + Quote(v.get_ref<const std::string&>());
    case Json::value_t::array:
      return "an array";
    case Json::value_t::object:
      return "an object";
    case Json::value_t::number_integer:
    case Json::value_t::number_unsigned:
    case Json::value_t::number_float:
      return fmt::format("number {}", v.dump());
    default:
      return "a value of another kind";
  }
}

class Parser;

// One JSON object being read: every field read is marked, and Done() rejects
// the fields nobody asked for, so a misspelt field name is an error.
class Obj {
 public:
  Obj(Parser& parser, const Json& json, std::string path);
  const Json* Find(std::string_view key) {
    const auto it = json_.find(key);
    if (it == json_.end()) return nullptr;
    used_.insert(std::string(key));
    return &*it;
  }
  const Json& Require(std::string_view key);
  std::string PathOf(std::string_view key) const { return Child(path_, key); }
  const std::string& path() const { return path_; }
  void Done() const;

 private:
  Parser& parser_;
  const Json& json_;
  std::string path_;
  std::set<std::string, std::less<>> used_;
};

template <typename E>
struct Word {
  std::string_view word;
  E value;
};

constexpr Word<ModeKind> kModeKinds[] = {{"pio", ModeKind::Pio},
                                         {"swdma", ModeKind::SingleWordDma},
                                         {"mdma", ModeKind::MultiWordDma},
                                         {"udma", ModeKind::UltraDma}};
constexpr Word<SetType> kSetTypes[] = {{"striped", SetType::Striped},
                                       {"mirrored", SetType::Mirrored},
                                       {"mirrored-striped", SetType::MirroredStriped}};
constexpr Word<SetState> kSetStates[] = {
    {"online", SetState::Online}, {"available", SetState::Available}, {"sync", SetState::Sync}};
constexpr Word<MemberState> kMemberStates[] = {{"current", MemberState::Current},
                                               {"rebuild", MemberState::Rebuild},
                                               {"dropped", MemberState::Dropped},
                                               {"removed", MemberState::Removed}};
constexpr Word<FaultKind> kFaultKinds[] = {{"call-fails", FaultKind::CallFails},
                                           {"status", FaultKind::Status},
                                           {"reply-count", FaultKind::ReplyCount},
                                           {"reply-index", FaultKind::ReplyIndex},
                                           {"name-without-nul", FaultKind::NameWithoutNul}};
constexpr Word<std::uint8_t> kDropReasons[] = {{"port", 1}, {"scsi", 2}};
constexpr Word<std::uint8_t> kErrorKinds[] = {{"port", 1}, {"scsi", 2}, {"bad-block", 4}};

class Parser {
 public:
  explicit Parser(std::string_view origin) : origin_(origin) {}

  [[noreturn]] void Fail(const std::string& path, const std::string& problem) const {
    throw Failure{fmt::format("{}: {}: {}", origin_, Where(path), problem)};
  }

  Scenario Run(const Json& root);

  // --- typed readers: each leaves `out` unchanged when the field is absent ---

  void Bool(Obj& o, std::string_view key, bool& out) {
    const Json* v = o.Find(key);
    if (v == nullptr) return;
    if (!v->is_boolean()) Fail(o.PathOf(key), "expected true or false, found " + Describe(*v));
    out = v->get<bool>();
  }

  std::int64_t Integer(const Json& v, const std::string& path, std::int64_t lo, std::int64_t hi) {
    std::string shown;
    bool negative = false;
    std::uint64_t magnitude = 0;
    if (v.is_number_unsigned()) {
      magnitude = v.get<std::uint64_t>();
      shown = std::to_string(magnitude);
    } else if (v.is_number_integer()) {
      const auto s = v.get<std::int64_t>();
      negative = s < 0;
      magnitude =
          negative ? static_cast<std::uint64_t>(-(s + 1)) + 1U : static_cast<std::uint64_t>(s);
      shown = std::to_string(s);
    } else if (v.is_number_float()) {
      const double d = v.get<double>();
      if (!std::isfinite(d) || std::trunc(d) != d || std::fabs(d) > 9007199254740992.0) {
        Fail(path, "expected a whole number, found " + Describe(v));
      }
      negative = d < 0;
      magnitude = static_cast<std::uint64_t>(std::fabs(d));
      shown = v.dump();
    } else if (v.is_string()) {
      const auto& s = v.get_ref<const std::string&>();
      if (!ParseHex(s, magnitude)) {
        Fail(path, "expected a whole number or a hexadecimal string such as \"0x7210\", found " +
                       Describe(v));
      }
      shown = s;
    } else {
      Fail(path, "expected a whole number, found " + Describe(v));
    }
    const bool inRange = negative
                             ? lo < 0 && magnitude <= static_cast<std::uint64_t>(-(lo + 1)) + 1U
                             : hi >= 0 && magnitude <= static_cast<std::uint64_t>(hi) &&
                                   (lo <= 0 || magnitude >= static_cast<std::uint64_t>(lo));
    if (!inRange) Fail(path, fmt::format("{} is out of range ({} to {})", shown, lo, hi));
    return negative ? -static_cast<std::int64_t>(magnitude - 1U) - 1
                    : static_cast<std::int64_t>(magnitude);
  }

  template <typename T>
  void Int(Obj& o, std::string_view key, T& out, std::int64_t lo = 0,
           std::int64_t hi = static_cast<std::int64_t>(std::numeric_limits<T>::max())) {
    const Json* v = o.Find(key);
    if (v == nullptr) return;
    out = static_cast<T>(Integer(*v, o.PathOf(key), lo, hi));
  }

  void Text(Obj& o, std::string_view key, std::string& out) {
    const Json* v = o.Find(key);
    if (v == nullptr) return;
    if (!v->is_string()) Fail(o.PathOf(key), "expected a string, found " + Describe(*v));
    out = v->get<std::string>();
  }

  // Texts stored in 8-bit fields (IDENTIFY strings, the adapter name): the
  // JSON text is UTF-8, and code points up to U+00FF become that one byte, so
  // "\u00e9" puts byte 0xE9 into the field.
  void ByteText(Obj& o, std::string_view key, std::string& out) {
    const Json* v = o.Find(key);
    if (v == nullptr) return;
    if (!v->is_string()) Fail(o.PathOf(key), "expected a string, found " + Describe(*v));
    out = ToBytes(v->get_ref<const std::string&>(), o.PathOf(key));
  }

  template <typename E, std::size_t N>
  E Enum(const Json& v, const std::string& path, const Word<E> (&words)[N]) {
    std::string choices;
    for (const auto& w : words) choices += (choices.empty() ? "" : ", ") + std::string(w.word);
    if (!v.is_string())
      Fail(path, fmt::format("expected one of {}, found {}", choices, Describe(v)));
    const auto& s = v.get_ref<const std::string&>();
    for (const auto& w : words) {
      if (w.word == s) return w.value;
    }
    Fail(path, fmt::format("unknown value {} (expected one of {})", Quote(s), choices));
  }

  template <typename E, std::size_t N>
  void EnumField(Obj& o, std::string_view key, E& out, const Word<E> (&words)[N]) {
    const Json* v = o.Find(key);
    if (v == nullptr) return;
    out = Enum(*v, o.PathOf(key), words);
  }

  // A word from the table, or (for codes a test wants to send raw) any number
  // in the field's range.
  template <typename E, std::size_t N>
  void WordOrNumber(Obj& o, std::string_view key, E& out, const Word<E> (&words)[N],
                    std::int64_t hi) {
    const Json* v = o.Find(key);
    if (v == nullptr) return;
    if (v->is_string() && !IsHexString(v->get_ref<const std::string&>())) {
      out = Enum(*v, o.PathOf(key), words);
    } else {
      out = static_cast<E>(Integer(*v, o.PathOf(key), 0, hi));
    }
  }

  const Json& Array(const Json& v, const std::string& path) {
    if (!v.is_array()) Fail(path, "expected an array, found " + Describe(v));
    return v;
  }

  std::vector<std::uint8_t> Bytes(const Json& v, const std::string& path, std::size_t max) {
    std::vector<std::uint8_t> bytes;
    if (v.is_string()) {
      // Hexadecimal pairs, blanks allowed between them: "28 00 00 00".
      std::string digits;
      for (const char c : v.get_ref<const std::string&>()) {
        if (c == ' ' || c == '\t' || c == '\n') continue;
        if (!std::isxdigit(static_cast<unsigned char>(c))) {
          Fail(path, fmt::format("{} is not a hexadecimal digit", Quote(std::string(1, c))));
        }
        digits += c;
      }
      if (digits.size() % 2 != 0) Fail(path, "hexadecimal bytes need two digits each");
      for (std::size_t i = 0; i < digits.size(); i += 2) {
        bytes.push_back(static_cast<std::uint8_t>(std::stoul(digits.substr(i, 2), nullptr, 16)));
      }
    } else {
      const Json& a = Array(v, path);
      for (std::size_t i = 0; i < a.size(); ++i) {
        bytes.push_back(static_cast<std::uint8_t>(Integer(a[i], Index(path, i), 0, 255)));
      }
    }
    if (bytes.size() > max) {
      Fail(path, fmt::format("{} bytes given, at most {} allowed", bytes.size(), max));
    }
    return bytes;
  }

 private:
  static bool IsHexString(const std::string& s) {
    return s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X');
  }

  static bool ParseHex(const std::string& s, std::uint64_t& out) {
    if (!IsHexString(s) || s.size() > 18) return false;
    out = 0;
    for (std::size_t i = 2; i < s.size(); ++i) {
      const auto c = static_cast<unsigned char>(s[i]);
      if (!std::isxdigit(c)) return false;
      const unsigned digit =
          std::isdigit(c) ? c - '0' : static_cast<unsigned>(std::tolower(c)) - 'a' + 10U;
      out = (out << 4) | digit;
    }
    return true;
  }

  std::string ToBytes(const std::string& utf8, const std::string& path) {
    std::string out;
    for (std::size_t i = 0; i < utf8.size();) {
      const auto c = static_cast<unsigned char>(utf8[i]);
      if (c < 0x80) {
        out += static_cast<char>(c);
        ++i;
        continue;
      }
      // The JSON parser has already checked the UTF-8; only the width matters.
      std::uint32_t cp = 0;
      std::size_t len = 0;
      if ((c & 0xE0U) == 0xC0U) {
        cp = c & 0x1FU;
        len = 2;
      } else if ((c & 0xF0U) == 0xE0U) {
        cp = c & 0x0FU;
        len = 3;
      } else {
        cp = c & 0x07U;
        len = 4;
      }
      for (std::size_t k = 1; k < len && i + k < utf8.size(); ++k) {
        cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3FU);
      }
      if (cp > 0xFF) {
        Fail(path,
             fmt::format("character U+{:04X} does not fit an 8-bit text (U+0000 to U+00FF)", cp));
      }
      out += static_cast<char>(cp);
      i += len;
    }
    return out;
  }

  DiskSpec ReadDisk(const Json& v, const std::string& path);
  ChannelSpec ReadChannel(const Json& v, const std::string& path);
  SetSpec ReadSet(const Json& v, const std::string& path, bool& allowInvalid);
  AdapterSpec ReadAdapter(const Json& v, const std::string& path);
  TimelineStep ReadStep(const Json& v, const std::string& path, const Scenario& scenario);
  FaultSpec ReadFault(const Json& v, const std::string& path, std::size_t adapters);
  void CheckDiskSlot(const AdapterSpec& a, const DiskSpec& d, const std::string& path);
  void ValidateAdapter(const AdapterSpec& a, const std::vector<bool>& allowInvalid,
                       const std::string& path);

  std::string origin_;
};

Obj::Obj(Parser& parser, const Json& json, std::string path)
    : parser_(parser), json_(json), path_(std::move(path)) {
  if (!json_.is_object()) parser_.Fail(path_, "expected an object, found " + Describe(json_));
}

const Json& Obj::Require(std::string_view key) {
  const Json* v = Find(key);
  if (v == nullptr) parser_.Fail(path_, fmt::format("missing required field \"{}\"", key));
  return *v;
}

void Obj::Done() const {
  for (auto it = json_.begin(); it != json_.end(); ++it) {
    if (used_.find(it.key()) == used_.end()) {
      parser_.Fail(path_, fmt::format("unknown field {}", Quote(it.key())));
    }
  }
}

bool IsExtended(const AdapterSpec& a) {
  return a.driverMajor >= 2;
}
std::uint32_t ChannelLimit(const AdapterSpec& a) {
  return IsExtended(a) ? a.channels : 2U;
}
std::uint32_t DeviceLimit(const AdapterSpec& a) {
  return IsExtended(a) ? a.devicesPerChannel : 2U;
}
std::uint32_t DeviceIndexOf(const AdapterSpec& a, const DiskSpec& d) {
  return std::uint32_t{d.channel} * DeviceLimit(a) + d.device;
}

// "2006-03-14T09:26:53Z"
bool IsIsoUtc(const std::string& s) {
  if (s.size() != 20) return false;
  constexpr std::string_view shape = "dddd-dd-ddTdd:dd:ddZ";
  for (std::size_t i = 0; i < shape.size(); ++i) {
    if (shape[i] == 'd' ? !std::isdigit(static_cast<unsigned char>(s[i])) : s[i] != shape[i]) {
      return false;
    }
  }
  const auto num = [&](std::size_t at, std::size_t n) { return std::stoi(s.substr(at, n)); };
  return num(5, 2) >= 1 && num(5, 2) <= 12 && num(8, 2) >= 1 && num(8, 2) <= 31 &&
         num(11, 2) <= 23 && num(14, 2) <= 59 && num(17, 2) <= 60;
}

DiskSpec Parser::ReadDisk(const Json& v, const std::string& path) {
  Obj o(*this, v, path);
  DiskSpec d;
  Int(o, "channel", d.channel);
  Int(o, "device", d.device);
  Bool(o, "atapi", d.atapi);
  Int(o, "atapiType", d.atapiType, 0, 31);
  Bool(o, "changer", d.changer);
  Bool(o, "removable", d.removable);
  ByteText(o, "model", d.model);
  ByteText(o, "serial", d.serial);
  ByteText(o, "firmware", d.firmware);
  Int(o, "sectors", d.sectors, 0, std::numeric_limits<std::int64_t>::max());
  Int(o, "ataMajor", d.ataMajor, 0, 14);
  Bool(o, "lba48", d.lba48);
  Int(o, "udmaMax", d.udmaMax, -1, 6);
  Int(o, "mdmaMax", d.mdmaMax, -1, 2);
  Int(o, "pioMax", d.pioMax, 0, 4);
  EnumField(o, "currentKind", d.currentKind, kModeKinds);
  Int(o, "currentMode", d.currentMode);
  Int(o, "sectorsPerInterrupt", d.sectorsPerInterrupt);
  Bool(o, "smartSupported", d.smartSupported);
  Bool(o, "smartEnabled", d.smartEnabled);
  Bool(o, "smartExceeded", d.smartExceeded);
  Bool(o, "writeCacheSupported", d.writeCacheSupported);
  Bool(o, "writeCacheEnabled", d.writeCacheEnabled);
  Bool(o, "lookAheadSupported", d.lookAheadSupported);
  Bool(o, "lookAheadEnabled", d.lookAheadEnabled);
  Int(o, "valueC", d.valueC);
  Int(o, "problem", d.problem);
  o.Done();
  return d;
}

ChannelSpec Parser::ReadChannel(const Json& v, const std::string& path) {
  Obj o(*this, v, path);
  ChannelSpec c;
  Int(o, "valueA", c.valueA);
  Int(o, "valueB", c.valueB);
  Int(o, "linkGeneration", c.linkGeneration);
  Bool(o, "portMultiplier", c.portMultiplier);
  Int(o, "pmVendor", c.pmVendor);
  Int(o, "pmDevice", c.pmDevice);
  Int(o, "pmPorts", c.pmPorts);
  Int(o, "pmSpecVersion", c.pmSpecVersion);
  Int(o, "pmRevision", c.pmRevision);
  Int(o, "ideBase", c.ideBase);
  Int(o, "altBase", c.altBase);
  Int(o, "dmaBase", c.dmaBase);
  o.Done();
  return c;
}

SetSpec Parser::ReadSet(const Json& v, const std::string& path, bool& allowInvalid) {
  Obj o(*this, v, path);
  SetSpec s;
  allowInvalid = false;
  Bool(o, "allowInvalid", allowInvalid);
  // With allowInvalid, codes outside the driver's words may be given as numbers.
  const auto code = [&](std::string_view key, auto& out, const auto& words, std::int64_t hi) {
    if (allowInvalid) {
      WordOrNumber(o, key, out, words, hi);
    } else {
      EnumField(o, key, out, words);
    }
  };
  code("type", s.type, kSetTypes, 255);
  code("state", s.state, kSetStates, 65535);
  Int(o, "stripeSectors", s.stripeSectors);
  Bool(o, "spareEnabled", s.spareEnabled);
  Int(o, "rebuildRate", s.rebuildRate, 0, allowInvalid ? 255 : 100);
  if (const Json* loc = o.Find("location"); loc != nullptr && !loc->is_null()) {
    s.location = static_cast<std::uint8_t>(Integer(*loc, o.PathOf("location"), 0, 255));
  }
  ByteText(o, "name", s.name);
  ByteText(o, "metaVersion", s.metaVersion);
  if (const Json* members = o.Find("members"); members != nullptr) {
    const std::string mpath = o.PathOf("members");
    const Json& a = Array(*members, mpath);
    for (std::size_t i = 0; i < a.size(); ++i) {
      Obj m(*this, a[i], Index(mpath, i));
      MemberSpec ms;
      Int(m, "deviceIndex", ms.deviceIndex);
      Int(m, "position", ms.position);
      if (allowInvalid) {
        WordOrNumber(m, "state", ms.state, kMemberStates, 65535);
      } else {
        EnumField(m, "state", ms.state, kMemberStates);
      }
      Int(m, "rebuildPercent", ms.rebuildPercent, 0, allowInvalid ? 255 : 100);
      m.Done();
      s.members.push_back(ms);
    }
  }
  o.Done();
  return s;
}

AdapterSpec Parser::ReadAdapter(const Json& v, const std::string& path) {
  Obj o(*this, v, path);
  AdapterSpec a;
  Int(o, "driverMajor", a.driverMajor);
  Int(o, "driverMinor", a.driverMinor);
  Int(o, "chipId", a.chipId);
  Int(o, "chipRevision", a.chipRevision);
  Int(o, "chipType", a.chipType);
  Int(o, "driverStatus", a.driverStatus);
  Int(o, "pciIrq", a.pciIrq);
  Int(o, "pciBus", a.pciBus);
  Int(o, "pciDevice", a.pciDevice);
  Int(o, "pciFunction", a.pciFunction);
  Int(o, "adapterId", a.adapterId);
  ByteText(o, "name", a.name);
  Int(o, "channels", a.channels);
  Int(o, "devicesPerChannel", a.devicesPerChannel);
  Int(o, "rioMajor", a.rioMajor);
  Int(o, "rioMinor", a.rioMinor);
  Bool(o, "arrayConflicts", a.arrayConflicts);
  Text(o, "service", a.service);
  Int(o, "rebuildSeconds", a.rebuildSeconds);

  if (IsExtended(a) && std::uint64_t{a.channels} * std::uint64_t{a.devicesPerChannel} > kMaxSlots) {
    Fail(o.PathOf("devicesPerChannel"),
         fmt::format("{} channels of {} devices exceed the {} device slots a driver can number",
                     a.channels, a.devicesPerChannel, kMaxSlots));
  }

  if (const Json* c = o.Find("channelInfo"); c != nullptr) {
    const std::string cpath = o.PathOf("channelInfo");
    const Json& arr = Array(*c, cpath);
    // Adapters that are not extended answer four channel entries.
    const std::size_t room = IsExtended(a) ? a.channels : 4U;
    if (arr.size() > room) {
      Fail(cpath,
           fmt::format("{} entries given, but the adapter has room for {}", arr.size(), room));
    }
    for (std::size_t i = 0; i < arr.size(); ++i)
      a.channelInfo.push_back(ReadChannel(arr[i], Index(cpath, i)));
  }

  std::vector<bool> allowInvalid;
  if (const Json* d = o.Find("disks"); d != nullptr) {
    const std::string dpath = o.PathOf("disks");
    const Json& arr = Array(*d, dpath);
    for (std::size_t i = 0; i < arr.size(); ++i)
      a.disks.push_back(ReadDisk(arr[i], Index(dpath, i)));
  }
  if (const Json* s = o.Find("sets"); s != nullptr) {
    const std::string spath = o.PathOf("sets");
    const Json& arr = Array(*s, spath);
    if (arr.size() > kMaxSets) {
      Fail(spath, fmt::format("{} sets given, an adapter holds at most {}", arr.size(), kMaxSets));
    }
    for (std::size_t i = 0; i < arr.size(); ++i) {
      bool allow = false;
      a.sets.push_back(ReadSet(arr[i], Index(spath, i), allow));
      allowInvalid.push_back(allow);
    }
  }
  if (const Json* s = o.Find("spares"); s != nullptr) {
    const std::string spath = o.PathOf("spares");
    const Json& arr = Array(*s, spath);
    for (std::size_t i = 0; i < arr.size(); ++i) {
      a.spares.push_back(static_cast<std::uint8_t>(Integer(arr[i], Index(spath, i), 0, 255)));
    }
  }
  if (const Json* f = o.Find("driverFile"); f != nullptr && !f->is_null()) {
    Obj fo(*this, *f, o.PathOf("driverFile"));
    DriverFileSpec file;
    Text(fo, "fileVersion", file.fileVersion);
    Text(fo, "modified", file.modified);
    if (!IsIsoUtc(file.modified)) {
      Fail(fo.PathOf("modified"),
           fmt::format("{} is not a UTC time such as \"2006-03-14T09:26:53Z\"",
                       Quote(file.modified)));
    }
    fo.Done();
    a.driverFile = file;
  }
  o.Done();
  ValidateAdapter(a, allowInvalid, path);
  return a;
}

void Parser::CheckDiskSlot(const AdapterSpec& a, const DiskSpec& d, const std::string& path) {
  // Adapters that are not extended always have two channels of two devices,
  // whatever their channel fields say.
  const auto limit = [&](std::string_view what, unsigned value, unsigned count) {
    const std::string range = count == 0 ? "none" : fmt::format("0 to {}", count - 1);
    return IsExtended(a) ? fmt::format("{} {} is beyond the adapter's {} {}s ({})", what, value,
                                       count, what, range)
                         : fmt::format(
                               "{} {} is beyond the {} {}s ({}) of an adapter whose driver "
                               "major version is below 2",
                               what, value, count, what, range);
  };
  if (d.channel >= ChannelLimit(a)) {
    Fail(Child(path, "channel"), limit("channel", d.channel, ChannelLimit(a)));
  }
  if (d.device >= DeviceLimit(a)) {
    Fail(Child(path, "device"), limit("device", d.device, DeviceLimit(a)));
  }
}

void Parser::ValidateAdapter(const AdapterSpec& a, const std::vector<bool>& allowInvalid,
                             const std::string& path) {
  const std::string disksPath = Child(path, "disks");
  // Device index -> position in disks.
  std::map<std::uint32_t, std::size_t> byIndex;
  for (std::size_t i = 0; i < a.disks.size(); ++i) {
    const DiskSpec& d = a.disks[i];
    const std::string dpath = Index(disksPath, i);
    CheckDiskSlot(a, d, dpath);
    const auto [it, fresh] = byIndex.emplace(DeviceIndexOf(a, d), i);
    if (!fresh) {
      Fail(dpath, fmt::format("channel {} device {} is already taken by {}", d.channel, d.device,
                              Index(disksPath, it->second)));
    }
  }
  const auto diskAt = [&](std::uint32_t index) -> const DiskSpec* {
    const auto it = byIndex.find(index);
    return it == byIndex.end() ? nullptr : &a.disks[it->second];
  };

  std::map<std::uint32_t, std::string> memberOf;  // device index -> member path
  for (std::size_t s = 0; s < a.sets.size(); ++s) {
    const SetSpec& set = a.sets[s];
    const std::string spath = Index(Child(path, "sets"), s);
    if (allowInvalid[s]) continue;
    const std::size_t maxMembers = set.type == SetType::Mirrored ? 2 : 4;
    if (set.members.empty() || set.members.size() > maxMembers) {
      Fail(Child(spath, "members"),
           fmt::format("{} members given, a {} set has 1 to {} (set \"allowInvalid\": true to "
                       "describe a malformed set)",
                       set.members.size(),
                       set.type == SetType::Mirrored  ? "mirrored"
                       : set.type == SetType::Striped ? "striped"
                                                      : "mirrored-striped",
                       maxMembers));
    }
    std::set<std::uint8_t> positions;
    for (std::size_t m = 0; m < set.members.size(); ++m) {
      const MemberSpec& member = set.members[m];
      const std::string mpath = Index(Child(spath, "members"), m);
      const DiskSpec* disk = diskAt(member.deviceIndex);
      if (disk == nullptr) {
        Fail(Child(mpath, "deviceIndex"),
             fmt::format("no disk has device index {}", member.deviceIndex));
      }
      if (disk->atapi) {
        Fail(Child(mpath, "deviceIndex"),
             fmt::format("device index {} is a packet device, not a disk", member.deviceIndex));
      }
      const auto [it, fresh] = memberOf.emplace(member.deviceIndex, mpath);
      if (!fresh) {
        Fail(Child(mpath, "deviceIndex"), fmt::format("device index {} is already a member at {}",
                                                      member.deviceIndex, it->second));
      }
      if (member.position >= maxMembers) {
        Fail(Child(mpath, "position"),
             fmt::format("position {} is beyond the set's {} member positions", member.position,
                         maxMembers));
      }
      if (!positions.insert(member.position).second) {
        Fail(Child(mpath, "position"),
             fmt::format("position {} is used twice in the set", member.position));
      }
    }
  }

  std::set<std::uint8_t> spares;
  for (std::size_t i = 0; i < a.spares.size(); ++i) {
    const std::uint8_t index = a.spares[i];
    const std::string spath = Index(Child(path, "spares"), i);
    const DiskSpec* disk = diskAt(index);
    if (disk == nullptr) Fail(spath, fmt::format("no disk has device index {}", index));
    if (disk->atapi)
      Fail(spath, fmt::format("device index {} is a packet device, not a disk", index));
    for (std::size_t s = 0; s < a.sets.size(); ++s) {
      for (const MemberSpec& m : a.sets[s].members) {
        if (m.deviceIndex == index) {
          Fail(spath, fmt::format("device index {} is a member of set {}", index, s));
        }
      }
    }
    if (!spares.insert(index).second)
      Fail(spath, fmt::format("device index {} is listed twice", index));
  }
}

TimelineStep Parser::ReadStep(const Json& v, const std::string& path, const Scenario& scenario) {
  Obj o(*this, v, path);
  TimelineStep step;
  if (const Json* at = o.Find("at"); at != nullptr) {
    if (!at->is_number())
      Fail(o.PathOf("at"), "expected a number of seconds, found " + Describe(*at));
    step.atSeconds = at->get<double>();
    if (!std::isfinite(step.atSeconds) || step.atSeconds < 0) {
      Fail(o.PathOf("at"), fmt::format("{} seconds is before the start", at->dump()));
    }
  }
  Int(o, "adapter", step.adapter, 0, std::numeric_limits<std::int64_t>::max());
  if (step.adapter >= scenario.adapters.size()) {
    Fail(o.PathOf("adapter"), fmt::format("adapter {} does not exist (the scenario has {})",
                                          step.adapter, scenario.adapters.size()));
  }
  const AdapterSpec& adapter = scenario.adapters[step.adapter];
  const auto checkSet = [&](std::uint8_t set) {
    if (set >= adapter.sets.size()) {
      Fail(o.PathOf("set"), fmt::format("set {} does not exist (adapter {} has {})", set,
                                        step.adapter, adapter.sets.size()));
    }
  };
  const auto checkSlot = [&](std::uint8_t channel, std::uint8_t device) {
    DiskSpec d;
    d.channel = channel;
    d.device = device;
    CheckDiskSlot(adapter, d, path);
  };

  const Json& actionJson = o.Require("action");
  const std::string actionPath = o.PathOf("action");
  if (!actionJson.is_string())
    Fail(actionPath, "expected an action name, found " + Describe(actionJson));
  const auto& action = actionJson.get_ref<const std::string&>();
  if (action == "drop-member") {
    DropMember a;
    Int(o, "set", a.set);
    Int(o, "position", a.position);
    WordOrNumber(o, "reason", a.reason, kDropReasons, 255);
    Int(o, "srbStatus", a.srbStatus);
    checkSet(a.set);
    step.action = a;
  } else if (action == "remove-disk") {
    RemoveDisk a;
    Int(o, "channel", a.channel);
    Int(o, "device", a.device);
    checkSlot(a.channel, a.device);
    step.action = a;
  } else if (action == "insert-disk") {
    InsertDisk a;
    a.disk = ReadDisk(o.Require("disk"), o.PathOf("disk"));
    CheckDiskSlot(adapter, a.disk, o.PathOf("disk"));
    step.action = a;
  } else if (action == "member-error") {
    MemberError a;
    Int(o, "set", a.set);
    Int(o, "position", a.position);
    WordOrNumber(o, "kind", a.kind, kErrorKinds, 255);
    Int(o, "srbStatus", a.srbStatus);
    Int(o, "senseKey", a.senseKey);
    Int(o, "asc", a.asc);
    Int(o, "ascq", a.ascq);
    Int(o, "information", a.information);
    if (const Json* cdb = o.Find("cdb"); cdb != nullptr)
      a.cdb = Bytes(*cdb, o.PathOf("cdb"), kMaxCdbBytes);
    Int(o, "bbrType", a.bbrType);
    Int(o, "block", a.block);
    Int(o, "virtualBlock", a.virtualBlock);
    checkSet(a.set);
    step.action = a;
  } else if (action == "udma-change") {
    UdmaChange a;
    Int(o, "channel", a.channel);
    Int(o, "device", a.device);
    Int(o, "newMode", a.newMode, 0, 6);
    checkSlot(a.channel, a.device);
    step.action = a;
  } else if (action == "raw-event") {
    RawEvent a;
    a.record = Bytes(o.Require("record"), o.PathOf("record"), kEventRecordBytes);
    a.record.resize(kEventRecordBytes, 0);
    step.action = a;
  } else {
    Fail(actionPath, fmt::format("unknown action {} (expected one of drop-member, remove-disk, "
                                 "insert-disk, member-error, udma-change, raw-event)",
                                 Quote(action)));
  }
  o.Done();
  return step;
}

FaultSpec Parser::ReadFault(const Json& v, const std::string& path, std::size_t adapters) {
  Obj o(*this, v, path);
  FaultSpec f;
  Int(o, "adapter", f.adapter, 0, std::numeric_limits<std::int64_t>::max());
  if (f.adapter >= adapters) {
    Fail(o.PathOf("adapter"),
         fmt::format("adapter {} does not exist (the scenario has {})", f.adapter, adapters));
  }
  const Json& request = o.Require("request");
  if (!request.is_string())
    Fail(o.PathOf("request"), "expected a request name, found " + Describe(request));
  f.request = request.get<std::string>();
  if (std::find(std::begin(kRequestNames), std::end(kRequestNames), f.request) ==
      std::end(kRequestNames)) {
    std::string names;
    for (const auto n : kRequestNames) names += (names.empty() ? "" : ", ") + std::string(n);
    Fail(o.PathOf("request"),
         fmt::format("unknown request {} (expected one of {})", Quote(f.request), names));
  }
  EnumField(o, "kind", f.kind, kFaultKinds);
  Int(o, "value", f.value);
  Int(o, "times", f.times, -1, std::numeric_limits<int>::max());
  o.Done();
  return f;
}

Scenario Parser::Run(const Json& root) {
  Obj o(*this, root, "");
  Scenario s;
  Text(o, "description", s.description);
  Text(o, "systemRoot", s.systemRoot);
  if (s.systemRoot.empty() || s.systemRoot.back() != '/') {
    Fail(o.PathOf("systemRoot"), fmt::format("{} must end in '/'", Quote(s.systemRoot)));
  }
  if (const Json* a = o.Find("adapters"); a != nullptr) {
    const Json& arr = Array(*a, "adapters");
    if (arr.size() > kMaxAdapters) {
      Fail("adapters",
           fmt::format("{} adapters given, at most {} allowed", arr.size(), kMaxAdapters));
    }
    for (std::size_t i = 0; i < arr.size(); ++i)
      s.adapters.push_back(ReadAdapter(arr[i], Index("adapters", i)));
  }
  if (const Json* t = o.Find("timeline"); t != nullptr) {
    const Json& arr = Array(*t, "timeline");
    for (std::size_t i = 0; i < arr.size(); ++i)
      s.timeline.push_back(ReadStep(arr[i], Index("timeline", i), s));
    std::stable_sort(
        s.timeline.begin(), s.timeline.end(),
        [](const TimelineStep& x, const TimelineStep& y) { return x.atSeconds < y.atSeconds; });
  }
  if (const Json* f = o.Find("faults"); f != nullptr) {
    const Json& arr = Array(*f, "faults");
    for (std::size_t i = 0; i < arr.size(); ++i) {
      s.faults.push_back(ReadFault(arr[i], Index("faults", i), s.adapters.size()));
    }
  }
  o.Done();
  return s;
}

// nlohmann's parser keeps the last of two equal keys; a repeated field is as
// likely a mistake as a misspelt one, so the parse callback looks for them.
class DuplicateKeys {
 public:
  bool operator()(int /*depth*/, Json::parse_event_t event, Json& parsed) {
    switch (event) {
      case Json::parse_event_t::object_start:
        frames_.push_back(Frame{false, 0, {}, {}});
        break;
      case Json::parse_event_t::array_start:
        frames_.push_back(Frame{true, 0, {}, {}});
        break;
      case Json::parse_event_t::key: {
        Frame& top = frames_.back();
        top.key = parsed.get<std::string>();
        if (!top.keys.insert(top.key).second && !found_) found_ = Path();
        break;
      }
      case Json::parse_event_t::object_end:
      case Json::parse_event_t::array_end:
        if (!frames_.empty()) frames_.pop_back();
        Completed();
        break;
      case Json::parse_event_t::value:
        Completed();
        break;
    }
    return true;
  }
  const std::optional<std::string>& found() const { return found_; }

 private:
  struct Frame {
    bool array;
    std::size_t index;
    std::string key;
    std::set<std::string> keys;
  };
  void Completed() {
    if (!frames_.empty() && frames_.back().array) ++frames_.back().index;
  }
  std::string Path() const {
    std::string path;
    for (const Frame& f : frames_) path = f.array ? Index(path, f.index) : Child(path, f.key);
    return path;
  }
  std::vector<Frame> frames_;
  std::optional<std::string> found_;
};

std::string SyntaxError(std::string_view json, std::string_view origin,
                        const nlohmann::json::parse_error& e) {
  // The byte count is 1-based and points at the offending character.
  const std::size_t byte = std::min<std::size_t>(e.byte, json.size() + 1);
  std::size_t line = 1;
  std::size_t column = 1;
  for (std::size_t i = 0; i + 1 < byte && i < json.size(); ++i) {
    if (json[i] == '\n') {
      ++line;
      column = 1;
    } else {
      ++column;
    }
  }
  // nlohmann's text is "[json.exception.parse_error.101] parse error at line
  // L, column C: syntax error while parsing ..."; keep what follows the position.
  std::string detail = e.what();
  if (const auto colon = detail.find(": ", detail.find("parse error"));
      colon != std::string::npos) {
    detail = detail.substr(colon + 2);
  }
  return fmt::format("{}: syntax error at line {}, column {} (byte {}): {}", origin, line, column,
                     byte, detail);
}

}  // namespace

std::variant<Scenario, ScenarioError> ParseScenario(std::string_view json,
                                                    std::string_view origin) {
  try {
    Json root;
    DuplicateKeys duplicates;
    try {
      root = Json::parse(json.begin(), json.end(), std::ref(duplicates), /*allow_exceptions=*/true,
                         /*ignore_comments=*/true);
    } catch (const Json::parse_error& e) {
      return ScenarioError{SyntaxError(json, origin, e)};
    }
    if (duplicates.found()) {
      return ScenarioError{fmt::format("{}: {}: field given twice", origin, *duplicates.found())};
    }
    Parser parser(origin);
    return parser.Run(root);
  } catch (const Failure& f) {
    return ScenarioError{f.message};
  } catch (const std::exception& e) {
    return ScenarioError{fmt::format("{}: cannot read the scenario: {}", origin, e.what())};
  }
}

std::variant<Scenario, ScenarioError> LoadScenarioFile(const std::string& path) {
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) {
    return ScenarioError{fmt::format("{}: cannot read the scenario: it is a folder", path)};
  }
  const auto size = std::filesystem::file_size(path, ec);
  if (!ec && size > kMaxFileBytes) {
    return ScenarioError{
        fmt::format("{}: cannot read the scenario: {} bytes is more than the {} a "
                    "scenario may have",
                    path, size, kMaxFileBytes)};
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    return ScenarioError{
        fmt::format("{}: cannot open the scenario: {}", path, std::strerror(errno))};
  }
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) {
    return ScenarioError{fmt::format("{}: cannot read the scenario", path)};
  }
  return ParseScenario(text.str(), path);
}

Scenario DefaultScenario() {
  auto parsed = ParseScenario(EmbeddedDefaultScenario(), "embedded default scenario");
  if (auto* scenario = std::get_if<Scenario>(&parsed)) return std::move(*scenario);
  // The build's tests parse the embedded text, so this is only reached by a
  // broken build; an empty machine is safer than a crash.
  Scenario empty;
  empty.description = std::get<ScenarioError>(parsed).message;
  return empty;
}

}  // namespace kestrune::sim
