// Decoding and answering the driver's requests: the SRB_IO_CONTROL framing,
// the request table and one handler per request, each writing its reply at
// the offsets of the wire layout.
#include <algorithm>

#include "driver_core.h"
#include "simulator/driver.h"
#include "simulator/identify.h"

namespace kestrune::sim::detail {

namespace se = platform::syserr;

// The payload of one request: the Length bytes after the 28-byte header.
// Request fields are read only from what lies within the input size, and the
// reply is written only within the output size.
struct DriverCore::Request {
  std::span<const std::uint8_t> input;
  std::span<std::uint8_t> payload;

  std::uint8_t U8(std::size_t off) const { return GetU8(input, off); }
  std::uint16_t U16(std::size_t off) const { return GetU16(input, off); }
  std::uint32_t U32(std::size_t off) const { return GetU32(input, off); }
  void Clear() { std::fill(payload.begin(), payload.end(), std::uint8_t{0}); }
};

namespace {

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

std::uint8_t RebuildPercent(const LiveMember& m, std::int64_t workPerPercent) {
  if (m.state != MemberState::Rebuild || workPerPercent <= 0) return 0;
  return static_cast<std::uint8_t>(std::clamp<std::int64_t>(m.work / workPerPercent, 0, 99));
}

}  // namespace

const DriverCore::RequestKind DriverCore::kRequests[] = {
    {kSigIde, 0x42000, "QueryDriverVersion", 4, 4, &DriverCore::QueryDriverVersion},
    {kSigIde, 0x42004, "QueryAdapterInfo", 64, 164, &DriverCore::QueryAdapterInfo},
    {kSigIde, 0x42020, "QueryChannelInfo", 24, 24, &DriverCore::QueryChannelInfo},
    {kSigIde, 0x42008, "QueryDeviceInfo", 2124, 536, &DriverCore::QueryDeviceInfo},
    {kSigIde, 0x4200C, "FetchEvents", 1764, 1764, &DriverCore::FetchEvents},
    {kSigIde, 0x4201C, "SetDeviceFeatures", 3, 3, &DriverCore::SetDeviceFeatures},
    {kSigIde, 0x42024, "SetGpioInterface", 2, 2, &DriverCore::SetGpioInterface},
    {kSigIde, 0x42028, "WriteGpioStatus", 3, 3, &DriverCore::WriteGpioStatus},
    {kSigRio, 0x42000, "QueryRioVersion", 8, 8, &DriverCore::QueryRioVersion},
    {kSigRio, 0x4202C, "QuerySpareDrives", 6, 6, &DriverCore::QuerySpareDrives},
    {kSigRio, 0x42024, "QuerySets", 92, 92, &DriverCore::QuerySets},
    {kSigRio, 0x42008, "DeleteSet", 4, 4, &DriverCore::DeleteSetRequest},
    {kSigRio, 0x4200C, "AddMember", 2, 2, &DriverCore::AddMemberRequest},
    {kSigRio, 0x42010, "RemoveMember", 2, 2, &DriverCore::RemoveMemberRequest},
    {kSigRio, 0x42028, "ResetChannel", 4, 4, &DriverCore::ResetChannel},
    {kSigRio, 0x42030, "EnableSpare", 2, 2, &DriverCore::EnableSpareRequest},
    {kSigRio, 0x42038, "SetRebuildRate", 2, 2, &DriverCore::SetRebuildRateRequest},
    {kSigRio, 0x42040, "CreateSpare", 1, 1, &DriverCore::CreateSpareRequest},
    {kSigRio, 0x42044, "DeleteSpare", 1, 1, &DriverCore::DeleteSpareRequest},
    {kSigRio, kSmartReturnStatus, "QuerySmartStatus", 528, 528, &DriverCore::SmartReturnStatus},
    {kSigDisk, kSmartIdentify, "IdentifySetDisk", 528, 528, &DriverCore::SmartIdentify},
    {kSigDisk, kSmartReturnStatus, "QuerySmartStatus", 528, 528, &DriverCore::SmartReturnStatus},
};

platform::ControlResult DriverCore::Control(std::size_t port, std::uint32_t code,
                                            std::span<std::uint8_t> buffer, std::size_t inSize,
                                            std::size_t outSize) {
  const auto fail = [](std::uint32_t error) { return platform::ControlResult{false, 0, error}; };
  LiveAdapter* adapter = Adapter(port);
  if (adapter == nullptr) return fail(se::kInvalidHandle);
  if (buffer.size() < std::max(inSize, outSize)) return fail(se::kInvalidParameter);

  if (code == platform::kIoctlStorageResetBus) {
    if (const auto error = TakeFault(port, "ResetBus", FaultKind::CallFails)) return fail(*error);
    if (inSize < 1) return fail(se::kInvalidParameter);
    const std::uint8_t path = buffer[0];
    if (path >= adapter->Channels()) return fail(se::kInvalidParameter);
    BusReset(*adapter, path);
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
      signature == kSigIde || signature == kSigDisk || (signature == kSigRio && adapter->Raid());
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
  if (const auto error = TakeFault(port, kind->name, FaultKind::CallFails)) return fail(*error);

  const std::size_t inPayload = std::min<std::size_t>(length, inSize - kHeaderSize);
  const std::size_t outPayload = std::min<std::size_t>(length, outSize - kHeaderSize);
  Request request{buffer.subspan(kHeaderSize, inPayload), buffer.subspan(kHeaderSize, outPayload)};
  std::uint32_t result = status::kSuccess;
  if (const auto value = TakeFault(port, kind->name, FaultKind::Status)) {
    result = *value;
  } else if (length < (adapter->Extended() ? kind->minExtended : kind->minLength)) {
    result = status::kBufferTooSmall;
  } else {
    result = (this->*(kind->handler))(*adapter, request);
    if (result == status::kSuccess) ApplyReplyFaults(port, *adapter, *kind, request);
  }
  PutU32(buffer, kReturnCodeOffset, result);
  return answered;
}

void DriverCore::ApplyReplyFaults(std::size_t port, LiveAdapter& adapter, const RequestKind& kind,
                                  Request& r) {
  const std::string_view name = kind.name;
  const auto p = r.payload;
  if (name == "QuerySets") {
    if (const auto v = TakeFault(port, name, FaultKind::ReplyCount)) {
      PutU16(p, 2, static_cast<std::uint16_t>(*v));
    }
    if (const auto v = TakeFault(port, name, FaultKind::ReplyIndex)) {
      PutU8(p, 4 + 12 + 3, static_cast<std::uint8_t>(*v));
    }
  } else if (name == "QuerySpareDrives") {
    if (const auto v = TakeFault(port, name, FaultKind::ReplyCount)) {
      PutU16(p, 0, static_cast<std::uint16_t>(*v));
    }
    if (const auto v = TakeFault(port, name, FaultKind::ReplyIndex)) {
      PutU8(p, 2, static_cast<std::uint8_t>(*v));
    }
  } else if (name == "FetchEvents") {
    if (const auto v = TakeFault(port, name, FaultKind::ReplyCount)) PutU32(p, 0, *v);
  } else if (name == "QueryDeviceInfo" && adapter.Extended()) {
    if (const auto v = TakeFault(port, name, FaultKind::ReplyIndex)) {
      PutU8(p, 20, static_cast<std::uint8_t>(*v));
    }
  } else if (name == "QueryAdapterInfo" && adapter.Extended()) {
    if (TakeFault(port, name, FaultKind::NameWithoutNul)) {
      for (std::size_t i = 36; i < 36 + kNameBytes && i < p.size(); ++i) {
        if (p[i] == 0) p[i] = ' ';
      }
    }
  }
}

// ---------------------------------------------------------------------------
// "QMX_IDE " requests

std::uint32_t DriverCore::QueryDriverVersion(LiveAdapter& a, Request& r) {
  r.Clear();
  PutU16(r.payload, 0, a.spec.driverMajor);
  PutU16(r.payload, 2, a.spec.driverMinor);
  return status::kSuccess;
}

std::uint32_t DriverCore::QueryAdapterInfo(LiveAdapter& a, Request& r) {
  const auto p = r.payload;
  r.Clear();
  PutU32(p, 0, a.spec.chipId);
  PutU32(p, 4, a.spec.chipRevision);
  PutU32(p, 8, a.spec.chipType);
  PutU32(p, 12, a.spec.driverStatus);
  PutU32(p, 16, a.spec.pciIrq);
  PutU32(p, 20, a.spec.pciBus);
  PutU32(p, 24, a.spec.pciDevice);
  PutU32(p, 28, a.spec.adapterId);
  if (a.Extended()) {
    PutU16(p, 32, a.spec.channels);
    PutU16(p, 34, a.spec.devicesPerChannel);
    const std::size_t n = std::min(a.spec.name.size(), kNameBytes - 1);
    for (std::size_t i = 0; i < n; ++i) PutU8(p, 36 + i, static_cast<std::uint8_t>(a.spec.name[i]));
    return status::kSuccess;
  }
  // Two channels of master and slave; further entries within Length stay zero.
  for (std::uint32_t ch = 0; ch < 2; ++ch) {
    const std::size_t entry = 32 + 16 * std::size_t{ch};
    std::uint32_t presence = 0;
    if (a.DiskAt(ch, 0U) != nullptr) presence |= 0x1;
    if (a.DiskAt(ch, 1U) != nullptr) presence |= 0x2;
    const ChannelSpec info =
        ch < a.spec.channelInfo.size() ? a.spec.channelInfo[ch] : ChannelSpec{};
    PutU32(p, entry, presence);
    PutU32(p, entry + 4, info.ideBase);
    PutU32(p, entry + 8, info.altBase);
    PutU32(p, entry + 12, info.dmaBase);
  }
  return status::kSuccess;
}

std::uint32_t DriverCore::QueryChannelInfo(LiveAdapter& a, Request& r) {
  // Drivers before the extended interface do not know this request.
  if (!a.Extended()) return status::kInvalidParameter;
  const std::uint16_t channel = r.U16(0);
  if (channel >= a.Channels()) return status::kInvalidParameter;
  const ChannelSpec info =
      channel < a.spec.channelInfo.size() ? a.spec.channelInfo[channel] : ChannelSpec{};
  const auto p = r.payload;
  r.Clear();
  PutU16(p, 0, channel);
  PutU16(p, 2, 1);
  PutU32(p, 4, info.valueA);
  PutU32(p, 8, info.portMultiplier ? 1U : 0U);
  PutU16(p, 12, info.valueB);
  PutU16(p, 14, info.linkGeneration);
  PutU16(p, 16, info.pmVendor);
  PutU16(p, 18, info.pmDevice);
  PutU16(p, 20, info.pmPorts);
  PutU8(p, 22, info.pmSpecVersion);
  PutU8(p, 23, info.pmRevision);
  return status::kSuccess;
}

std::uint32_t DriverCore::QueryDeviceInfo(LiveAdapter& a, Request& r) {
  const auto p = r.payload;
  if (a.Extended()) {
    const std::uint16_t slot = r.U16(0);
    if (slot >= a.Slots()) return status::kInvalidDeviceIndex;
    r.Clear();
    PutU16(p, 0, slot);
    PutU16(p, 2, 1);
    PutU8(p, 20, static_cast<std::uint8_t>(slot / a.DevicesPerChannel()));
    PutU8(p, 21, static_cast<std::uint8_t>(slot % a.DevicesPerChannel()));
    if (const DiskSpec* disk = a.DiskAt(std::size_t{slot})) {
      PutU32(p, 4, DeviceFlags(*disk));
      PutU32(p, 12, disk->sectorsPerInterrupt);
      PutU16(p, 18, disk->valueC);
      PutU8(p, 22, disk->currentMode);
      PutU8(p, 23, 1);
      PutBytes(p, 24, StringsInReadingOrder(BuildIdentify(*disk)));
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
    PutBytes(p, block + 18, StringsInReadingOrder(BuildIdentify(*disk)));
  }
  return status::kSuccess;
}

std::uint32_t DriverCore::FetchEvents(LiveAdapter& a, Request& r) {
  // Only the count and the records are written: the caller's fill shows
  // through everywhere else.
  // Records that cannot be written whole stay queued.
  const std::size_t room = r.payload.size() < 4 ? 0 : (r.payload.size() - 4) / kEventSize;
  const std::size_t n = std::min({a.events.size(), kEventsPerFetch, room});
  PutU32(r.payload, 0, static_cast<std::uint32_t>(n));
  for (std::size_t i = 0; i < n; ++i) {
    PutBytes(r.payload, 4 + kEventSize * i, a.events.front());
    a.events.pop_front();
  }
  return status::kSuccess;
}

std::uint32_t DriverCore::SetDeviceFeatures(LiveAdapter& a, Request& r) {
  return SetFeatures(a, r.U8(0), r.U8(1), r.U8(2));
}

std::uint32_t DriverCore::SetGpioInterface(LiveAdapter& a, Request&) {
  return a.HasGpio() ? status::kSuccess : status::kGpioUnsupported;
}

std::uint32_t DriverCore::WriteGpioStatus(LiveAdapter& a, Request& r) {
  if (!a.HasGpio()) return status::kGpioUnsupported;
  switch (r.U8(0)) {
    case 0:
      PutU8(r.payload, 1, a.gpio);
      return status::kSuccess;
    case 1:
      a.gpio = r.U8(1);
      return status::kSuccess;
    default:
      return status::kInvalidParameter;
  }
}

// ---------------------------------------------------------------------------
// "QMX_RIO " requests

std::uint32_t DriverCore::QueryRioVersion(LiveAdapter& a, Request& r) {
  r.Clear();
  PutU16(r.payload, 0, a.spec.rioMajor);
  PutU16(r.payload, 2, a.spec.rioMinor);
  PutU8(r.payload, 4, a.spec.arrayConflicts ? 1 : 0);
  return status::kSuccess;
}

std::uint32_t DriverCore::QuerySpareDrives(LiveAdapter& a, Request& r) {
  const std::size_t room = std::min<std::size_t>(
      r.U16(0), r.payload.size() - std::min<std::size_t>(r.payload.size(), 2));
  r.Clear();
  const auto& spares = a.spec.spares;
  PutU16(r.payload, 0, static_cast<std::uint16_t>(std::min<std::size_t>(spares.size(), 0xFFFF)));
  for (std::size_t i = 0; i < spares.size() && i < room; ++i) {
    // Extended adapters name a spare by its channel.
    const std::size_t entry = a.Extended() ? spares[i] / a.DevicesPerChannel() : spares[i];
    PutU8(r.payload, 2 + i, static_cast<std::uint8_t>(entry));
  }
  return status::kSuccess;
}

std::uint32_t DriverCore::QuerySets(LiveAdapter& a, Request& r) {
  const std::size_t room = std::min<std::size_t>(
      r.U16(2), (r.payload.size() - std::min<std::size_t>(r.payload.size(), 4)) / kSetDescriptor);
  const auto p = r.payload;
  r.Clear();
  PutU16(p, 2, static_cast<std::uint16_t>(std::min<std::size_t>(a.sets.size(), 0xFFFF)));
  for (std::size_t i = 0; i < a.sets.size() && i < room; ++i) {
    const LiveSet& s = a.sets[i];
    const std::size_t base = 4 + kSetDescriptor * i;
    PutU32(p, base, s.spec.stripeSectors);
    PutU16(p, base + 4, static_cast<std::uint16_t>(s.spec.state));
    PutU8(p, base + 6, s.spec.spareEnabled ? 1 : 0);
    PutU8(p, base + 8, static_cast<std::uint8_t>(s.spec.type));
    PutU8(p, base + 9, static_cast<std::uint8_t>(std::min<std::size_t>(s.members.size(), 0xFF)));
    PutU8(p, base + 10, s.location);
    for (std::size_t k = 0; k < s.members.size() && k < kMaxMemberEntries; ++k) {
      const LiveMember& m = s.members[k];
      const std::size_t entry = base + 12 + kMemberEntry * k;
      PutU16(p, entry, static_cast<std::uint16_t>(m.state));
      PutU8(p, entry + 2, m.position);
      PutU8(p, entry + 3, m.deviceIndex);
      PutU8(p, entry + 4, RebuildPercent(m, a.WorkPerPercent()));
      PutU8(p, entry + 5, s.spec.rebuildRate);
    }
  }
  return status::kSuccess;
}

std::uint32_t DriverCore::DeleteSetRequest(LiveAdapter& a, Request& r) {
  return DeleteSet(a, r.U8(0));
}

std::uint32_t DriverCore::AddMemberRequest(LiveAdapter& a, Request& r) {
  return AddMember(a, r.U8(0), r.U8(1));
}

std::uint32_t DriverCore::RemoveMemberRequest(LiveAdapter& a, Request& r) {
  return RemoveMember(a, r.U8(0), r.U8(1));
}

std::uint32_t DriverCore::ResetChannel(LiveAdapter& a, Request& r) {
  const std::uint32_t channel = r.U32(0);
  if (channel >= a.Channels()) return status::kInvalidParameter;
  BusReset(a, static_cast<std::uint8_t>(channel));
  return status::kSuccess;
}

std::uint32_t DriverCore::EnableSpareRequest(LiveAdapter& a, Request& r) {
  return EnableSpare(a, r.U8(0), r.U8(1));
}

std::uint32_t DriverCore::SetRebuildRateRequest(LiveAdapter& a, Request& r) {
  return SetRebuildRate(a, r.U8(0), r.U8(1));
}

std::uint32_t DriverCore::CreateSpareRequest(LiveAdapter& a, Request& r) {
  return CreateSpare(a, r.U8(0));
}

std::uint32_t DriverCore::DeleteSpareRequest(LiveAdapter& a, Request& r) {
  return DeleteSpare(a, r.U8(0));
}

// ---------------------------------------------------------------------------
// SMART through the miniport: SENDCMDINPARAMS in, SENDCMDOUTPARAMS out. The
// drive number names a set by its location first, else a device index.
// Errors go into the driver error byte; the ReturnCode stays 0.

std::uint32_t DriverCore::SmartIdentify(LiveAdapter& a, Request& r) {
  const std::uint8_t drive = r.U8(12);
  const auto p = r.payload;
  r.Clear();
  for (const auto& s : a.sets) {
    if (s.location != drive) continue;
    PutU32(p, 0, 512);
    PutBytes(p, 16, BuildSetIdentify(s.Current(a.WorkPerPercent()), s.capacity));
    return status::kSuccess;
  }
  const DiskSpec* disk = drive < a.Slots() ? a.DiskAt(std::size_t{drive}) : nullptr;
  if (disk == nullptr) {
    PutU8(p, 4, kSmartInvalidDrive);
  } else if (disk->atapi) {
    // A packet device aborts IDENTIFY DEVICE.
    PutU8(p, 4, kSmartIdeError);
    PutU8(p, 5, kAtaAbort);
  } else {
    PutU32(p, 0, 512);
    PutBytes(p, 16, BuildIdentify(*disk));
  }
  return status::kSuccess;
}

std::uint32_t DriverCore::SmartReturnStatus(LiveAdapter& a, Request& r) {
  const std::uint8_t drive = r.U8(12);
  const std::uint8_t driveHead = r.U8(9);
  bool exists = false;
  bool enabled = false;
  bool exceeded = false;
  bool isSet = false;
  for (const auto& s : a.sets) {
    if (s.location != drive) continue;
    isSet = exists = true;
    const IdentifyData identify = BuildSetIdentify(s.Current(a.WorkPerPercent()), s.capacity);
    enabled = (identify[170] & 0x01) != 0;  // word 85 bit 0
    for (const auto& m : s.members) {
      if (m.state != MemberState::Current && m.state != MemberState::Rebuild) continue;
      if (const DiskSpec* d = a.DiskAt(std::size_t{m.deviceIndex});
          d != nullptr && d->smartExceeded) {
        exceeded = true;
      }
    }
    break;
  }
  if (!isSet && drive < a.Slots()) {
    if (const DiskSpec* disk = a.DiskAt(std::size_t{drive})) {
      exists = true;
      enabled = !disk->atapi && disk->smartSupported && disk->smartEnabled;
      exceeded = disk->smartExceeded;
    }
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

}  // namespace kestrune::sim::detail
