// The shared request codec: the SRB_IO_CONTROL framing, the request table and
// one reply writer per request, each writing at the offsets of the wire
// layout from a backend's view of one adapter; and the event records.
#include "simulator/driver_codec.h"

#include <algorithm>

#include "byte_access.h"

namespace kestrune::sim {
namespace {

namespace se = platform::syserr;

// The payload of one request: the Length bytes after the 28-byte header.
// Request fields are read only from what lies within the input size, and the
// reply is written only within the output size.
struct Request {
  std::span<const std::uint8_t> input;
  std::span<std::uint8_t> payload;

  std::uint8_t U8(std::size_t off) const { return GetU8(input, off); }
  std::uint16_t U16(std::size_t off) const { return GetU16(input, off); }
  std::uint32_t U32(std::size_t off) const { return GetU32(input, off); }
  void Clear() { std::fill(payload.begin(), payload.end(), std::uint8_t{0}); }
};

constexpr std::size_t kHeaderSize = 28;
constexpr std::size_t kReturnCodeOffset = 20;

constexpr std::string_view kSigIde = "QMX_IDE ";
constexpr std::string_view kSigRio = "QMX_RIO ";
constexpr std::string_view kSigDisk = "SCSIDISK";

constexpr std::uint32_t kSmartIdentify = 0x1B0501;
constexpr std::uint32_t kSmartReturnStatus = 0x1B0506;

// SENDCMDOUTPARAMS driver error codes.
constexpr std::uint8_t kSmartIdeError = 1;      // the drive aborted the command
constexpr std::uint8_t kSmartInvalidDrive = 5;  // no such drive number
constexpr std::uint8_t kSmartNotSupported = 9;  // the status cannot be asked now
constexpr std::uint8_t kAtaAbort = 0x04;        // IDE error register: ABRT

constexpr std::size_t kSetDescriptor = 44;
constexpr std::size_t kMemberEntry = 8;
constexpr std::size_t kMaxMemberEntries = 4;
constexpr std::size_t kDeviceBlock = 530;
constexpr std::size_t kNameBytes = 128;

std::uint32_t DeviceFlags(const DiskSpec& disk) {
  std::uint32_t flags = 0;
  if (disk.atapi) flags |= 0x01;
  if (disk.changer) flags |= 0x02;
  switch (disk.currentKind) {
    case ModeKind::Pio:
      flags |= 0x04;
      break;
    case ModeKind::SingleWordDma:
      flags |= 0x08;
      break;
    case ModeKind::MultiWordDma:
      flags |= 0x10;
      break;
    case ModeKind::UltraDma:
      flags |= 0x20;
      break;
  }
  return flags;
}

using Handler = std::uint32_t (*)(DriverAdapter&, Request&);

// "QMX_IDE " requests

std::uint32_t QueryDriverVersion(DriverAdapter& a, Request& r) {
  r.Clear();
  PutU16(r.payload, 0, a.Info().driverMajor);
  PutU16(r.payload, 2, a.Info().driverMinor);
  return status::kSuccess;
}

std::uint32_t QueryAdapterInfo(DriverAdapter& a, Request& r) {
  const AdapterSpec& info = a.Info();
  const auto p = r.payload;
  r.Clear();
  PutU32(p, 0, info.chipId);
  PutU32(p, 4, info.chipRevision);
  PutU32(p, 8, info.chipType);
  PutU32(p, 12, info.driverStatus);
  PutU32(p, 16, info.pciIrq);
  PutU32(p, 20, info.pciBus);
  PutU32(p, 24, info.pciDevice);
  PutU32(p, 28, info.adapterId);
  if (IsExtended(info)) {
    PutU16(p, 32, info.channels);
    PutU16(p, 34, info.devicesPerChannel);
    const std::size_t n = std::min(info.name.size(), kNameBytes - 1);
    for (std::size_t i = 0; i < n; ++i) PutU8(p, 36 + i, static_cast<std::uint8_t>(info.name[i]));
    return status::kSuccess;
  }
  // Two channels of master and slave; further entries within Length stay zero.
  for (std::uint32_t ch = 0; ch < 2; ++ch) {
    const std::size_t entry = 32 + 16 * std::size_t{ch};
    std::uint32_t presence = 0;
    if (a.DiskAt(std::size_t{ch} * 2) != nullptr) presence |= 0x1;
    if (a.DiskAt(std::size_t{ch} * 2 + 1) != nullptr) presence |= 0x2;
    const ChannelSpec channel = ch < info.channelInfo.size() ? info.channelInfo[ch] : ChannelSpec{};
    PutU32(p, entry, presence);
    PutU32(p, entry + 4, channel.ideBase);
    PutU32(p, entry + 8, channel.altBase);
    PutU32(p, entry + 12, channel.dmaBase);
  }
  return status::kSuccess;
}

std::uint32_t QueryChannelInfo(DriverAdapter& a, Request& r) {
  const AdapterSpec& info = a.Info();
  // Drivers before the extended interface do not know this request.
  if (!IsExtended(info)) return status::kInvalidParameter;
  const std::uint16_t channel = r.U16(0);
  if (channel >= ChannelCount(info)) return status::kInvalidParameter;
  const ChannelSpec data =
      channel < info.channelInfo.size() ? info.channelInfo[channel] : ChannelSpec{};
  const auto p = r.payload;
  r.Clear();
  PutU16(p, 0, channel);
  PutU16(p, 2, 1);
  PutU32(p, 4, data.valueA);
  PutU32(p, 8, data.portMultiplier ? 1U : 0U);
  PutU16(p, 12, data.valueB);
  PutU16(p, 14, data.linkGeneration);
  PutU16(p, 16, data.pmVendor);
  PutU16(p, 18, data.pmDevice);
  PutU16(p, 20, data.pmPorts);
  PutU8(p, 22, data.pmSpecVersion);
  PutU8(p, 23, data.pmRevision);
  return status::kSuccess;
}

std::uint32_t QueryDeviceInfo(DriverAdapter& a, Request& r) {
  const AdapterSpec& info = a.Info();
  const auto p = r.payload;
  if (IsExtended(info)) {
    const std::uint16_t slot = r.U16(0);
    const std::uint32_t perChannel = DevicesPerChannel(info);
    if (slot >= std::size_t{ChannelCount(info)} * perChannel) return status::kInvalidDeviceIndex;
    r.Clear();
    PutU16(p, 0, slot);
    PutU16(p, 2, 1);
    PutU8(p, 20, static_cast<std::uint8_t>(slot / perChannel));
    PutU8(p, 21, static_cast<std::uint8_t>(slot % perChannel));
    if (const DiskSpec* disk = a.DiskAt(std::size_t{slot})) {
      PutU32(p, 4, DeviceFlags(*disk));
      PutU32(p, 12, disk->sectorsPerInterrupt);
      PutU16(p, 18, disk->valueC);
      PutU8(p, 22, disk->currentMode);
      PutU8(p, 23, 1);
      PutBytes(p, 24, StringsInReadingOrder(a.DiskIdentify(*disk)));
    }
    return status::kSuccess;
  }
  r.Clear();
  PutU16(p, 2, 4);
  for (std::size_t slot = 0; slot < 4; ++slot) {
    const DiskSpec* disk = a.DiskAt(slot);
    if (disk == nullptr) continue;
    const std::size_t block = 4 + kDeviceBlock * slot;
    PutU32(p, block, DeviceFlags(*disk));
    PutU32(p, block + 8, disk->sectorsPerInterrupt);
    PutU8(p, block + 16, disk->currentMode);
    PutBytes(p, block + 18, StringsInReadingOrder(a.DiskIdentify(*disk)));
  }
  return status::kSuccess;
}

std::uint32_t FetchEvents(DriverAdapter& a, Request& r) {
  // Only the count and the records are written: the caller's fill shows
  // through everywhere else. Records that cannot be written whole stay queued.
  const std::size_t room = r.payload.size() < 4 ? 0 : (r.payload.size() - 4) / kEventSize;
  const std::size_t n = std::min({a.PendingEvents(), kEventsPerFetch, room});
  std::size_t written = 0;
  for (; written < n; ++written) {
    const auto record = a.TakeEvent();
    if (!record) break;
    PutBytes(r.payload, 4 + kEventSize * written, *record);
  }
  PutU32(r.payload, 0, static_cast<std::uint32_t>(written));
  return status::kSuccess;
}

std::uint32_t SetDeviceFeatures(DriverAdapter& a, Request& r) {
  return a.SetFeatures(r.U8(0), r.U8(1), r.U8(2));
}

std::uint32_t SetGpioInterface(DriverAdapter& a, Request&) {
  return HasGpio(a.Info()) ? status::kSuccess : status::kGpioUnsupported;
}

std::uint32_t WriteGpioStatus(DriverAdapter& a, Request& r) {
  if (!HasGpio(a.Info())) return status::kGpioUnsupported;
  switch (r.U8(0)) {
    case 0:
      PutU8(r.payload, 1, a.Gpio());
      return status::kSuccess;
    case 1:
      a.SetGpio(r.U8(1));
      return status::kSuccess;
    default:
      return status::kInvalidParameter;
  }
}

// "QMX_RIO " requests

std::uint32_t QueryRioVersion(DriverAdapter& a, Request& r) {
  r.Clear();
  PutU16(r.payload, 0, a.Info().rioMajor);
  PutU16(r.payload, 2, a.Info().rioMinor);
  PutU8(r.payload, 4, a.Info().arrayConflicts ? 1 : 0);
  return status::kSuccess;
}

std::uint32_t QuerySpareDrives(DriverAdapter& a, Request& r) {
  const std::size_t room = std::min<std::size_t>(
      r.U16(0), r.payload.size() - std::min<std::size_t>(r.payload.size(), 2));
  r.Clear();
  const auto spares = a.Spares();
  const bool extended = IsExtended(a.Info());
  const std::uint32_t perChannel = DevicesPerChannel(a.Info());
  PutU16(r.payload, 0, static_cast<std::uint16_t>(std::min<std::size_t>(spares.size(), 0xFFFF)));
  for (std::size_t i = 0; i < spares.size() && i < room; ++i) {
    // Extended adapters name a spare by its channel.
    const std::size_t entry = extended ? spares[i] / perChannel : spares[i];
    PutU8(r.payload, 2 + i, static_cast<std::uint8_t>(entry));
  }
  return status::kSuccess;
}

std::uint32_t QuerySets(DriverAdapter& a, Request& r) {
  const std::size_t room = std::min<std::size_t>(
      r.U16(2), (r.payload.size() - std::min<std::size_t>(r.payload.size(), 4)) / kSetDescriptor);
  const auto p = r.payload;
  r.Clear();
  const std::size_t count = a.SetCount();
  PutU16(p, 2, static_cast<std::uint16_t>(std::min<std::size_t>(count, 0xFFFF)));
  for (std::size_t i = 0; i < count && i < room; ++i) {
    const SetSpec s = a.SetAt(i);
    const std::size_t base = 4 + kSetDescriptor * i;
    PutU32(p, base, s.stripeSectors);
    PutU16(p, base + 4, static_cast<std::uint16_t>(s.state));
    PutU8(p, base + 6, s.spareEnabled ? 1 : 0);
    PutU8(p, base + 8, static_cast<std::uint8_t>(s.type));
    PutU8(p, base + 9, static_cast<std::uint8_t>(std::min<std::size_t>(s.members.size(), 0xFF)));
    PutU8(p, base + 10, s.location.value_or(0));
    for (std::size_t k = 0; k < s.members.size() && k < kMaxMemberEntries; ++k) {
      const MemberSpec& m = s.members[k];
      const std::size_t entry = base + 12 + kMemberEntry * k;
      PutU16(p, entry, static_cast<std::uint16_t>(m.state));
      PutU8(p, entry + 2, m.position);
      PutU8(p, entry + 3, m.deviceIndex);
      PutU8(p, entry + 4, m.state == MemberState::Rebuild ? m.rebuildPercent : std::uint8_t{0});
      PutU8(p, entry + 5, s.rebuildRate);
    }
  }
  return status::kSuccess;
}

std::uint32_t DeleteSetRequest(DriverAdapter& a, Request& r) {
  return a.DeleteSet(r.U8(0));
}

std::uint32_t AddMemberRequest(DriverAdapter& a, Request& r) {
  return a.AddMember(r.U8(0), r.U8(1));
}

std::uint32_t RemoveMemberRequest(DriverAdapter& a, Request& r) {
  return a.RemoveMember(r.U8(0), r.U8(1));
}

std::uint32_t ResetChannel(DriverAdapter& a, Request& r) {
  const std::uint32_t channel = r.U32(0);
  if (channel >= ChannelCount(a.Info())) return status::kInvalidParameter;
  return a.ResetBus(static_cast<std::uint8_t>(channel)) ? status::kSuccess : status::kGeneralError;
}

std::uint32_t EnableSpareRequest(DriverAdapter& a, Request& r) {
  return a.EnableSpare(r.U8(0), r.U8(1));
}

std::uint32_t SetRebuildRateRequest(DriverAdapter& a, Request& r) {
  return a.SetRebuildRate(r.U8(0), r.U8(1));
}

std::uint32_t CreateSpareRequest(DriverAdapter& a, Request& r) {
  return a.CreateSpare(r.U8(0));
}

std::uint32_t DeleteSpareRequest(DriverAdapter& a, Request& r) {
  return a.DeleteSpare(r.U8(0));
}

// SMART through the miniport: SENDCMDINPARAMS in, SENDCMDOUTPARAMS out. The
// drive number names a set by its location first, else a device index.
// Errors go into the driver error byte; the ReturnCode stays 0.

std::optional<std::size_t> SetAtLocation(const DriverAdapter& a, std::uint8_t drive) {
  for (std::size_t i = 0; i < a.SetCount(); ++i)
    if (a.SetAt(i).location.value_or(0) == drive) return i;
  return std::nullopt;
}

const DiskSpec* DiskOfDrive(const DriverAdapter& a, std::uint8_t drive) {
  const std::size_t slots = std::size_t{ChannelCount(a.Info())} * DevicesPerChannel(a.Info());
  return drive < slots ? a.DiskAt(std::size_t{drive}) : nullptr;
}

std::uint32_t SmartIdentify(DriverAdapter& a, Request& r) {
  const std::uint8_t drive = r.U8(12);
  const auto p = r.payload;
  r.Clear();
  if (const auto set = SetAtLocation(a, drive)) {
    PutU32(p, 0, 512);
    PutBytes(p, 16, BuildSetIdentify(a.SetAt(*set), a.SetCapacity(*set)));
    return status::kSuccess;
  }
  const DiskSpec* disk = DiskOfDrive(a, drive);
  if (disk == nullptr) {
    PutU8(p, 4, kSmartInvalidDrive);
  } else if (disk->atapi) {
    // A packet device aborts IDENTIFY DEVICE.
    PutU8(p, 4, kSmartIdeError);
    PutU8(p, 5, kAtaAbort);
  } else {
    PutU32(p, 0, 512);
    PutBytes(p, 16, a.DiskIdentify(*disk));
  }
  return status::kSuccess;
}

std::uint32_t SmartReturnStatus(DriverAdapter& a, Request& r) {
  const std::uint8_t drive = r.U8(12);
  const std::uint8_t driveHead = r.U8(9);
  bool exists = false;
  bool enabled = false;
  SmartHealth health = SmartHealth::Ok;
  if (const auto set = SetAtLocation(a, drive)) {
    exists = true;
    const SetSpec s = a.SetAt(*set);
    const IdentifyData identify = BuildSetIdentify(s, a.SetCapacity(*set));
    enabled = (identify[170] & 0x01) != 0;  // word 85 bit 0
    for (const auto& m : s.members) {
      if (m.state != MemberState::Current && m.state != MemberState::Rebuild) continue;
      const DiskSpec* d = DiskOfDrive(a, m.deviceIndex);
      if (d == nullptr) continue;
      const SmartHealth member = a.DiskHealth(*d);
      // One member past a threshold makes the set so; one that cannot be
      // asked makes it unknown unless another is known to be past one.
      if (member == SmartHealth::Exceeded) health = SmartHealth::Exceeded;
      if (member == SmartHealth::Unknown && health == SmartHealth::Ok)
        health = SmartHealth::Unknown;
    }
  } else if (const DiskSpec* disk = DiskOfDrive(a, drive)) {
    exists = true;
    enabled = !disk->atapi && disk->smartSupported && disk->smartEnabled;
    health = a.DiskHealth(*disk);
  }
  const auto p = r.payload;
  r.Clear();
  if (!exists) {
    PutU8(p, 4, kSmartInvalidDrive);
    return status::kSuccess;
  }
  if (!enabled) {
    PutU8(p, 4, kSmartIdeError);
    PutU8(p, 5, kAtaAbort);
    return status::kSuccess;
  }
  if (health == SmartHealth::Unknown) {
    PutU8(p, 4, kSmartNotSupported);
    return status::kSuccess;
  }
  const bool exceeded = health == SmartHealth::Exceeded;
  PutU32(p, 0, 8);  // the returned task file registers
  PutU8(p, 16, 0xDA);
  PutU8(p, 17, 1);
  PutU8(p, 18, 1);
  PutU8(p, 19, exceeded ? 0xF4 : 0x4F);
  PutU8(p, 20, exceeded ? 0x2C : 0xC2);
  PutU8(p, 21, driveHead);
  PutU8(p, 22, 0xB0);
  return status::kSuccess;
}

struct RequestKind {
  std::string_view signature;
  std::uint32_t code;
  std::string_view name;
  std::uint32_t minLength;    // payload bytes the request needs
  std::uint32_t minExtended;  // ... on extended adapters
  Handler handler;
};

constexpr RequestKind kRequests[] = {
    {kSigIde, 0x42000, "QueryDriverVersion", 4, 4, &QueryDriverVersion},
    {kSigIde, 0x42004, "QueryAdapterInfo", 64, 164, &QueryAdapterInfo},
    {kSigIde, 0x42020, "QueryChannelInfo", 24, 24, &QueryChannelInfo},
    {kSigIde, 0x42008, "QueryDeviceInfo", 2124, 536, &QueryDeviceInfo},
    {kSigIde, 0x4200C, "FetchEvents", 1764, 1764, &FetchEvents},
    {kSigIde, 0x4201C, "SetDeviceFeatures", 3, 3, &SetDeviceFeatures},
    {kSigIde, 0x42024, "SetGpioInterface", 2, 2, &SetGpioInterface},
    {kSigIde, 0x42028, "WriteGpioStatus", 3, 3, &WriteGpioStatus},
    {kSigRio, 0x42000, "QueryRioVersion", 8, 8, &QueryRioVersion},
    {kSigRio, 0x4202C, "QuerySpareDrives", 6, 6, &QuerySpareDrives},
    {kSigRio, 0x42024, "QuerySets", 92, 92, &QuerySets},
    {kSigRio, 0x42008, "DeleteSet", 4, 4, &DeleteSetRequest},
    {kSigRio, 0x4200C, "AddMember", 2, 2, &AddMemberRequest},
    {kSigRio, 0x42010, "RemoveMember", 2, 2, &RemoveMemberRequest},
    {kSigRio, 0x42028, "ResetChannel", 4, 4, &ResetChannel},
    {kSigRio, 0x42030, "EnableSpare", 2, 2, &EnableSpareRequest},
    {kSigRio, 0x42038, "SetRebuildRate", 2, 2, &SetRebuildRateRequest},
    {kSigRio, 0x42040, "CreateSpare", 1, 1, &CreateSpareRequest},
    {kSigRio, 0x42044, "DeleteSpare", 1, 1, &DeleteSpareRequest},
    {kSigRio, kSmartReturnStatus, "QuerySmartStatus", 528, 528, &SmartReturnStatus},
    {kSigDisk, kSmartIdentify, "IdentifySetDisk", 528, 528, &SmartIdentify},
    {kSigDisk, kSmartReturnStatus, "QuerySmartStatus", 528, 528, &SmartReturnStatus},
};

std::optional<std::uint32_t> Take(FaultSource* faults, std::string_view request, FaultKind kind) {
  return faults != nullptr ? faults->Take(request, kind) : std::nullopt;
}

void ApplyReplyFaults(FaultSource* faults, const AdapterSpec& info, const RequestKind& kind,
                      Request& r) {
  if (faults == nullptr) return;
  const std::string_view name = kind.name;
  const auto p = r.payload;
  if (name == "QuerySets") {
    if (const auto v = faults->Take(name, FaultKind::ReplyCount)) {
      PutU16(p, 2, static_cast<std::uint16_t>(*v));
    }
    if (const auto v = faults->Take(name, FaultKind::ReplyIndex)) {
      PutU8(p, 4 + 12 + 3, static_cast<std::uint8_t>(*v));
    }
  } else if (name == "QuerySpareDrives") {
    if (const auto v = faults->Take(name, FaultKind::ReplyCount)) {
      PutU16(p, 0, static_cast<std::uint16_t>(*v));
    }
    if (const auto v = faults->Take(name, FaultKind::ReplyIndex)) {
      PutU8(p, 2, static_cast<std::uint8_t>(*v));
    }
  } else if (name == "FetchEvents") {
    if (const auto v = faults->Take(name, FaultKind::ReplyCount)) PutU32(p, 0, *v);
  } else if (name == "QueryDeviceInfo" && IsExtended(info)) {
    if (const auto v = faults->Take(name, FaultKind::ReplyIndex)) {
      PutU8(p, 20, static_cast<std::uint8_t>(*v));
    }
  } else if (name == "QueryAdapterInfo" && IsExtended(info)) {
    if (faults->Take(name, FaultKind::NameWithoutNul)) {
      for (std::size_t i = 36; i < 36 + kNameBytes && i < p.size(); ++i) {
        if (p[i] == 0) p[i] = ' ';
      }
    }
  }
}

}  // namespace

bool IsExtended(const AdapterSpec& adapter) {
  return adapter.driverMajor >= 2;
}
bool IsRaid(const AdapterSpec& adapter) {
  return adapter.chipType != 1;
}
bool HasGpio(const AdapterSpec& adapter) {
  return IsExtended(adapter) && adapter.driverMinor != 0;
}
std::uint32_t ChannelCount(const AdapterSpec& adapter) {
  return IsExtended(adapter) ? adapter.channels : 2U;
}
std::uint32_t DevicesPerChannel(const AdapterSpec& adapter) {
  if (!IsExtended(adapter)) return 2;
  return std::max<std::uint32_t>(adapter.devicesPerChannel, 1);
}
std::optional<std::size_t> SlotIndex(const AdapterSpec& adapter, std::uint32_t channel,
                                     std::uint32_t device) {
  if (channel >= ChannelCount(adapter) || device >= DevicesPerChannel(adapter)) return std::nullopt;
  return std::size_t{channel} * DevicesPerChannel(adapter) + device;
}

platform::ControlResult AnswerControl(DriverAdapter& adapter, std::uint32_t code,
                                      std::span<std::uint8_t> buffer, std::size_t inSize,
                                      std::size_t outSize, FaultSource* faults) {
  const auto fail = [](std::uint32_t error) { return platform::ControlResult{false, 0, error}; };
  if (buffer.size() < std::max(inSize, outSize)) return fail(se::kInvalidParameter);
  const AdapterSpec& info = adapter.Info();

  if (code == platform::kIoctlStorageResetBus) {
    if (const auto error = Take(faults, "ResetBus", FaultKind::CallFails)) return fail(*error);
    if (inSize < 1) return fail(se::kInvalidParameter);
    const std::uint8_t path = buffer[0];
    if (path >= ChannelCount(info)) return fail(se::kInvalidParameter);
    if (!adapter.ResetBus(path)) return fail(se::kNotSupported);
    return platform::ControlResult{true, 0, se::kSuccess};
  }
  if (code != platform::kIoctlScsiMiniport) return fail(se::kInvalidFunction);

  // The port driver's framing checks: a whole header both ways, its own
  // length, and a payload that fits in the larger of the two directions (the
  // SMART IDENTIFY request sends 556 bytes with a Length of 556 and takes its
  // answer in a larger output).
  if (inSize < kHeaderSize || outSize < kHeaderSize) return fail(se::kInvalidParameter);
  const std::span<const std::uint8_t> header = buffer.first(kHeaderSize);
  if (GetU32(header, 0) != kHeaderSize) return fail(se::kInvalidParameter);
  const std::uint32_t length = GetU32(header, 24);
  const std::uint64_t total = std::uint64_t{kHeaderSize} + length;
  if (total > std::max(inSize, outSize)) return fail(se::kInsufficientBuffer);

  // The miniport: a signature it does not own is not its request.
  const std::string_view signature(reinterpret_cast<const char*>(buffer.data() + 4), 8);
  const bool known =
      signature == kSigIde || signature == kSigDisk || (signature == kSigRio && IsRaid(info));
  if (!known) return fail(se::kInvalidFunction);

  const auto replied = static_cast<std::uint32_t>(std::min<std::uint64_t>(total, outSize));
  const platform::ControlResult answered{true, replied, se::kSuccess};
  const std::uint32_t control = GetU32(header, 16);
  const RequestKind* kind = nullptr;
  for (const auto& k : kRequests) {
    if (k.signature == signature && k.code == control) kind = &k;
  }
  if (kind == nullptr) {
    PutU32(buffer, kReturnCodeOffset, status::kInvalidParameter);
    return answered;
  }
  if (const auto error = Take(faults, kind->name, FaultKind::CallFails)) return fail(*error);

  const std::size_t inPayload = std::min<std::size_t>(length, inSize - kHeaderSize);
  const std::size_t outPayload = std::min<std::size_t>(length, outSize - kHeaderSize);
  Request request{buffer.subspan(kHeaderSize, inPayload), buffer.subspan(kHeaderSize, outPayload)};
  std::uint32_t result = status::kSuccess;
  if (const auto value = Take(faults, kind->name, FaultKind::Status)) {
    result = *value;
  } else if (length < (IsExtended(info) ? kind->minExtended : kind->minLength)) {
    result = status::kBufferTooSmall;
  } else {
    result = kind->handler(adapter, request);
    if (result == status::kSuccess) ApplyReplyFaults(faults, info, *kind, request);
  }
  PutU32(buffer, kReturnCodeOffset, result);
  return answered;
}

std::optional<std::size_t> ParsePortName(std::wstring_view name) {
  constexpr std::wstring_view kPortPrefix = L"\\\\.\\scsi";
  if (name.size() < kPortPrefix.size() + 2 || name.substr(0, kPortPrefix.size()) != kPortPrefix ||
      name.back() != L':') {
    return std::nullopt;
  }
  const std::wstring_view digits =
      name.substr(kPortPrefix.size(), name.size() - kPortPrefix.size() - 1);
  if (digits.size() > 9 || (digits.size() > 1 && digits.front() == L'0')) return std::nullopt;
  std::size_t port = 0;
  for (const wchar_t c : digits) {
    if (c < L'0' || c > L'9') return std::nullopt;
    port = port * 10 + static_cast<std::size_t>(c - L'0');
  }
  return port;
}

platform::DeviceHandle PortHandles::Open(std::size_t port) {
  std::lock_guard lock(mutex_);
  handles_.emplace(++last_, port);
  return last_;
}

std::optional<std::size_t> PortHandles::Port(platform::DeviceHandle handle) const {
  std::lock_guard lock(mutex_);
  const auto it = handles_.find(handle);
  if (it == handles_.end()) return std::nullopt;
  return it->second;
}

void PortHandles::Close(platform::DeviceHandle handle) {
  std::lock_guard lock(mutex_);
  handles_.erase(handle);
}

std::size_t PortHandles::Count() const {
  std::lock_guard lock(mutex_);
  return handles_.size();
}

// ---------------------------------------------------------------------------
// Event records

namespace {

// 1970-01-01 in FILETIME units.
constexpr std::int64_t kUnixEpochTicks = 116444736000000000LL;

}  // namespace

std::uint64_t ToFileTime(EventTime t) {
  const std::int64_t ticks = t.time_since_epoch().count() * 10 + kUnixEpochTicks;
  return ticks < 0 ? 0 : static_cast<std::uint64_t>(ticks);
}

EventBytes MakeEvent(const EventGuidBytes& eventClass, EventTime when, Severity severity) {
  EventBytes record{};
  std::span<std::uint8_t> s(record);
  PutU32(s, 0, eventClass.data1);
  PutU16(s, 4, eventClass.data2);
  PutU16(s, 6, eventClass.data3);
  PutBytes(s, 8, eventClass.data4);
  const std::uint64_t stamp = ToFileTime(when);
  PutU32(s, 24, static_cast<std::uint32_t>(stamp & 0xFFFFFFFFU));
  PutU32(s, 28, static_cast<std::uint32_t>(stamp >> 32));
  PutU32(s, 40, static_cast<std::uint32_t>(severity));
  return record;
}

void PutModel(EventBytes& record, std::size_t offset, std::string_view model) {
  for (std::size_t i = 0; i < 40 && offset + i < record.size(); ++i) {
    record[offset + i] = i < model.size() ? static_cast<std::uint8_t>(model[i]) : std::uint8_t{' '};
  }
}

EventBytes MemberDroppedEvent(EventTime when, std::uint8_t set, std::uint8_t position,
                              std::uint8_t reason, std::uint8_t srbStatus,
                              std::uint8_t deviceIndex) {
  EventBytes e = MakeEvent(event_class::kMemberDropped, when, Severity::Error);
  e[44] = set;
  e[45] = position;
  e[46] = reason;
  e[47] = srbStatus;
  e[48] = deviceIndex;
  return e;
}

EventBytes MemberAddedEvent(EventTime when, std::uint8_t set, std::uint8_t deviceIndex) {
  EventBytes e = MakeEvent(event_class::kMemberAdded, when, Severity::Informational);
  e[44] = set;
  e[45] = deviceIndex;
  return e;
}

EventBytes MemberRemovedEvent(EventTime when, std::uint8_t set, std::uint8_t position,
                              std::uint8_t deviceIndex) {
  EventBytes e = MakeEvent(event_class::kMemberRemoved, when, Severity::Warning);
  e[44] = set;
  e[45] = position;
  e[46] = deviceIndex;
  return e;
}

EventBytes RebuildEvent(EventTime when, Severity severity, std::uint8_t set, std::uint8_t position,
                        std::uint8_t rebuildStatus, std::uint8_t deviceIndex) {
  EventBytes e = MakeEvent(event_class::kRebuild, when, severity);
  e[44] = set;
  e[45] = position;
  e[46] = rebuildStatus;
  e[47] = deviceIndex;
  return e;
}

EventBytes SpareDriveEvent(EventTime when, Severity severity, std::uint8_t code,
                           std::uint8_t deviceIndex, std::uint8_t set, std::uint8_t position) {
  EventBytes e = MakeEvent(event_class::kSpareDrive, when, severity);
  e[44] = code;
  e[45] = deviceIndex;
  e[46] = set;
  e[47] = position;
  return e;
}

EventBytes SetEvent(EventTime when, bool created, std::uint8_t raidType) {
  EventBytes e = MakeEvent(created ? event_class::kSetCreated : event_class::kSetDeleted, when,
                           created ? Severity::Informational : Severity::Warning);
  e[45] = raidType;
  return e;
}

EventBytes BusResetEvent(EventTime when, std::uint8_t bus) {
  EventBytes e = MakeEvent(event_class::kBusReset, when, Severity::Informational);
  e[44] = bus;
  return e;
}

EventBytes DeviceEvent(const EventGuidBytes& eventClass, EventTime when, Severity severity,
                       std::uint8_t channel, std::uint8_t device, std::string_view model) {
  EventBytes e = MakeEvent(eventClass, when, severity);
  e[44] = channel;
  e[45] = device;
  PutModel(e, 46, model);
  return e;
}

Severity ArrayNoticeSeverity(ArrayNotice notice) {
  switch (notice) {
    case ArrayNotice::Degraded:
    case ArrayNotice::MemberFailed:
    case ArrayNotice::Failed:
      return Severity::Error;
    case ArrayNotice::RebuildStarted:
    case ArrayNotice::Gone:
    case ArrayNotice::ChangeRefused:
      return Severity::Warning;
    case ArrayNotice::RebuildComplete:
    case ArrayNotice::Recovered:
    case ArrayNotice::Appeared:
    case ArrayNotice::ChangeMade:
      return Severity::Informational;
  }
  return Severity::Warning;
}

EventBytes ArrayNoticeEvent(EventTime when, ArrayNotice notice, std::uint8_t percent,
                            std::string_view text) {
  EventBytes e = MakeEvent(event_class::kArrayNotice, when, ArrayNoticeSeverity(notice));
  e[44] = static_cast<std::uint8_t>(notice);
  e[45] = percent;
  PutModel(e, 46, text);
  return e;
}

}  // namespace kestrune::sim
