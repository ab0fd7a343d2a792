#include "controller/decode.h"

#include <algorithm>

#include "controller/identity.h"
#include "controller/wire_layout.h"
#include "platform/text.h"
#include "resources/strings.h"

namespace kestrune::ctl::decode {

using wire::Reply;

namespace {

std::wstring Dec(std::uint32_t value) { return res::Sprintf(L"%d", static_cast<int>(value)); }
std::wstring UpperHex4(std::uint32_t value) { return res::Sprintf(L"%04X", value); }

SetStatus SetStatusOf(std::uint16_t code) {
  switch (code) {
    case 1: return SetStatus::kOnline;
    case 2: return SetStatus::kAvailable;
    case 4: return SetStatus::kSync;
    default: return SetStatus::kUnknown;
  }
}

const wchar_t* SetStatusText(SetStatus status) {
  switch (status) {
    case SetStatus::kOnline: return L"Online";
    case SetStatus::kAvailable: return L"Available";
    case SetStatus::kSync: return L"Sync";
    case SetStatus::kUnknown: break;
  }
  return L"UNKNOWN";
}

MemberStatus MemberStatusOf(std::uint16_t code) {
  switch (code) {
    case 1: return MemberStatus::kCurrent;
    case 2: return MemberStatus::kRebuild;
    case 3: return MemberStatus::kDropped;
    case 4: return MemberStatus::kRemoved;
    default: return MemberStatus::kUnknown;
  }
}

const wchar_t* MemberStatusText(MemberStatus status) {
  switch (status) {
    case MemberStatus::kCurrent: return L"Current";
    case MemberStatus::kRebuild: return L"Rebuild";
    case MemberStatus::kDropped: return L"Dropped";
    case MemberStatus::kRemoved: return L"Removed";
    case MemberStatus::kSync: return L"Sync";
    case MemberStatus::kUnknown: break;
  }
  return L"UNKNOWN";
}

// The code and the text made from it, together.
void SetMemberStatus(MemberRecord& member, MemberStatus status) {
  member.status = status;
  member.state = MemberStatusText(status);
}

// Member bound of a set type; 0 for an unknown type.
std::size_t MemberBound(std::uint8_t type) {
  switch (type) {
    case 1: return 4;
    case 2: return 2;
    case 3: return 4;
    default: return 0;
  }
}

}  // namespace

void ResetDriverVersion(AdapterRecord& adapter) {
  adapter.driverMajorText = kUnknown;
  adapter.driverMinorText = kUnknown;
}

bool DriverVersion(Bytes payload, AdapterRecord& adapter) {
  namespace f = wire::driver_version;
  const Reply reply(payload);
  if (!reply.Holds(f::kReplySize)) return false;
  adapter.driverMajor = reply.Get(f::kMajor);
  adapter.driverMinor = reply.Get(f::kMinor);
  adapter.driverMajorText = Dec(adapter.driverMajor);
  adapter.driverMinorText = Dec(adapter.driverMinor);
  return true;
}

void ResetAdapterInfo(AdapterRecord& adapter) {
  adapter.chipModel = adapter.chipRevision = adapter.chipType = kUnknown;
  adapter.chipKind = ChipKind::kUnknown;
  adapter.driverStatus = adapter.pciInterrupt = adapter.pciBus = adapter.pciDevice = kUnknown;
  adapter.adapterName = kUnknown;
  adapter.channelCount = 0;
  adapter.devicesPerChannel = 0;
  adapter.adapterId = 0;
  for (auto& channel : adapter.channels) channel.ResetInfo();
}

bool AdapterInfo(Bytes payload, AdapterRecord& adapter) {
  namespace f = wire::adapter_info;
  const Reply reply(payload);
  if (!reply.Holds(adapter.IsExtended() ? f::kExtendedReplySize : f::kReplySize)) return false;
  adapter.chipModel = res::Sprintf(L"BV-%x", reply.Get(f::kChipId));
  adapter.chipRevision = res::Sprintf(L"%04x", reply.Get(f::kChipRevision));
  adapter.chipKind = reply.Get(f::kChipType) == 1 ? ChipKind::kStandard : ChipKind::kRaid;
  adapter.chipType = adapter.chipKind == ChipKind::kStandard ? L"Standard" : L"RAID";
  adapter.driverStatus = res::Sprintf(L"%x", reply.Get(f::kDriverStatus));
  adapter.pciInterrupt = Dec(reply.Get(f::kPciInterrupt));
  adapter.pciBus = Dec(reply.Get(f::kPciBus));
  adapter.pciDevice = Dec(reply.Get(f::kPciDevice));
  adapter.adapterId = reply.Get(f::kAdapterId);
  if (!adapter.IsExtended()) {
    adapter.channelCount = 2;
    adapter.devicesPerChannel = 2;
    for (std::size_t c = 0; c < kMaxChannels; ++c) {
      // Entries past the Length keep their presets unless the driver returned them.
      const Reply entry = reply.Entry(f::ChannelEntry(c));
      if (!entry.Holds(f::kChannelEntrySize)) break;
      ChannelRecord& channel = adapter.channels[c];
      channel.flags = entry.Get(f::channel_entry::kPresence);
      channel.ideBase = UpperHex4(entry.Get(f::channel_entry::kIdeBase));
      channel.altBase = UpperHex4(entry.Get(f::channel_entry::kAltBase));
      channel.dmaBase = UpperHex4(entry.Get(f::channel_entry::kDmaBase));
    }
    return true;
  }
  adapter.channelCount = std::min<std::uint16_t>(reply.Get(f::kChannelCount), kMaxChannels);
  adapter.devicesPerChannel =
      std::min<std::uint16_t>(reply.Get(f::kDevicesPerChannel), kMaxDevicesPerChannel);
  // The name may fill all 128 bytes without a terminator.
  std::string name;
  for (std::uint8_t c : reply.Get(f::kName)) {
    if (c == 0) break;
    name.push_back(static_cast<char>(c));
  }
  adapter.adapterName = platform::Latin1ToWide(name);
  return true;
}

bool ChannelInfo(Bytes payload, ChannelRecord& channel) {
  namespace f = wire::channel_info;
  const Reply reply(payload);
  if (!reply.Holds(f::kReplySize)) return false;
  channel.valueA = reply.Get(f::kValueA);
  channel.flags = reply.Get(f::kFlags);
  channel.valueB = reply.Get(f::kValueB);
  channel.linkGeneration = reply.Get(f::kLinkGeneration);
  channel.pmVendor = reply.Get(f::kPmVendor);
  channel.pmDevice = reply.Get(f::kPmDevice);
  channel.pmPorts = reply.Get(f::kPmPorts);
  channel.pmSpecVersion = reply.Get(f::kPmSpecVersion);
  channel.pmRevision = reply.Get(f::kPmRevision);
  return true;
}

void ResetDevices(AdapterRecord& adapter) {
  for (std::size_t i = 0; i < adapter.SlotCount(); ++i) adapter.DeviceAt(i)->Reset();
}

void ComposeDevice(DeviceRecord& device, std::uint32_t flags, std::uint32_t modeNumber,
                   std::uint32_t sectorsPerInterrupt, Bytes identify) {
  device.flags = flags;
  device.identify.fill(0);
  std::copy_n(identify.begin(), std::min(identify.size(), device.identify.size()),
              device.identify.begin());
  device.typeCode = (IdWord<0>(device.identify) >> 8) & 0x0F;
  device.isDisk = (flags & kFlagPacket) == 0 || device.typeCode == 0;
  device.deviceType = DeviceTypeText(flags, device.typeCode);
  IdentityTexts texts = IdentityStrings(device.identify, false);
  device.modelNumber = std::move(texts.model);
  device.firmwareVersion = std::move(texts.firmware);
  device.serialNumber = std::move(texts.serial);
  device.currentMode = CurrentModeText(flags, modeNumber);
  device.sectorsPerInterrupt = SectorsPerInterruptText(device.currentMode, sectorsPerInterrupt);
  device.mediaType = MediaTypeText(device.identify);
  device.ataVersion = AtaVersionText(device.identify);
  device.supportedModes = SupportedModesText(device.identify);
  device.lookAhead = LookAheadText(device.identify);
  device.writeCache = WriteCacheText(device.identify);
  device.capacity = CapacityText(device.identify, false);
}

bool SmartTexts(const IdentifyBytes& identify, std::wstring& support, std::wstring& enabled,
                std::wstring& status) {
  if (!SmartSupported(identify)) {
    support = L"No";
    enabled = status = kNotApplicable;
    return false;
  }
  support = L"Yes";
  if (!SmartEnabled(identify)) {
    enabled = L"No";
    status = kNotApplicable;
    return false;
  }
  enabled = L"Yes";
  return true;
}

void ResetRioVersion(AdapterRecord& adapter) {
  adapter.rioMajorText = adapter.rioMinorText = adapter.arrayConflicts = kUnknown;
}

bool RioVersion(Bytes payload, AdapterRecord& adapter) {
  namespace f = wire::rio_version;
  const Reply reply(payload);
  if (!reply.Holds(f::kReplySize)) return false;
  adapter.rioMajorText = Dec(reply.Get(f::kMajor));
  adapter.rioMinorText = Dec(reply.Get(f::kMinor));
  adapter.arrayConflicts = (reply.Get(f::kFlags) & 1) ? L"Yes" : L"No";
  return true;
}

bool SpareDrives(Bytes payload, AdapterRecord& adapter) {
  namespace f = wire::spare_drives;
  const Reply reply(payload);
  if (!reply.Holds(f::ReplySize(0))) return false;
  const std::uint16_t count = reply.Get(f::kCount);
  if (count > f::kMaxEntries || !reply.Holds(f::ReplySize(count))) return false;
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint8_t entry = reply.Get(f::EntryAt(i));
    std::size_t channel = entry, deviceNumber = 0;
    if (!adapter.IsExtended()) {
      if (entry > 3) continue;
      channel = entry / 2;
      deviceNumber = entry % 2;
    }
    if (channel >= adapter.channelCount || deviceNumber >= adapter.devicesPerChannel) continue;
    adapter.channels[channel].devices[deviceNumber].spare = 1;
  }
  return true;
}

void ResetSets(AdapterRecord& adapter, bool full) {
  adapter.setCount = 0;
  for (SetRecord& set : adapter.sets) {
    set.stripeSize = set.rebuildRate = 0;
    set.state = set.type = set.locationText = set.capacity = kUnknown;
    set.status = SetStatus::kUnknown;
    set.kind = SetKind::kUnknown;
    set.memberCount = 0;
    set.location = 0;
    set.spareEnabled = 0;
    if (full) set.name = set.metaVersion = set.smartSupport = set.smartEnabled = kUnknown;
    for (MemberRecord& member : set.members) member = MemberRecord();
  }
}

bool SetFullyDecoded(Bytes payload, std::size_t setIndex) {
  namespace d = wire::query_sets::descriptor;
  const Reply descriptor = Reply(payload).Entry(wire::query_sets::Descriptor(setIndex));
  const std::size_t bound = MemberBound(descriptor.Get(d::kType));
  return bound != 0 && descriptor.Get(d::kMemberCount) <= bound;
}

SetsResult Sets(Bytes payload, AdapterRecord& adapter, bool extendedNaming) {
  namespace f = wire::query_sets;
  namespace d = wire::query_sets::descriptor;
  namespace m = wire::query_sets::member;
  SetsResult result;
  const Reply reply(payload);
  if (!reply.Holds(f::ReplySize(0))) return result;
  const std::uint16_t count = reply.Get(f::kCount);
  static_assert(f::kMaxSets == kMaxSets);
  if (count > kMaxSets || !reply.Holds(f::ReplySize(count))) return result;
  result.ok = true;
  adapter.setCount = count;
  for (std::size_t s = 0; s < count; ++s) {
    SetRecord& set = adapter.sets[s];
    const Reply descriptor = reply.Entry(f::Descriptor(s));
    const std::uint16_t stateCode = descriptor.Get(d::kState);
    const std::uint8_t type = descriptor.Get(d::kType);
    set.status = SetStatusOf(stateCode);
    set.state = SetStatusText(set.status);
    // Kept within the member slots so that no reader can run past them.
    set.memberCount = std::min<std::uint8_t>(descriptor.Get(d::kMemberCount), kMaxMembers);
    switch (type) {
      case 1: set.kind = SetKind::kStriped; set.type = L"Striped Set"; break;
      case 2: set.kind = SetKind::kMirrored; set.type = L"Mirrored Set"; break;
      case 3: set.kind = SetKind::kMirroredStriped; set.type = L"Mirrored Striped Set"; break;
      default: set.kind = SetKind::kUnknown; set.type = kUnknown; break;
    }
    if (type == 1 || type == 3) set.stripeSize = descriptor.Get(d::kStripeSectors) * 512U;
    if (type == 2 || type == 3)
      set.rebuildRate = descriptor.Entry(d::Member(0)).Get(m::kRebuildRate);
    if (!SetFullyDecoded(payload, s)) continue;

    set.location = descriptor.Get(d::kLocation);
    set.locationText = ChannelAndDeviceName(set.location, extendedNaming).Joined();
    set.spareEnabled = descriptor.Get(d::kSpareEnabled) & 1;

    static_assert(d::kMaxMembers == kMaxMembers);
    std::array<std::uint16_t, kMaxMembers> codes{};
    for (std::size_t k = 0; k < set.memberCount; ++k) {
      const Reply entry = descriptor.Entry(d::Member(k));
      MemberRecord& member = set.members[k];
      codes[k] = entry.Get(m::kState);
      SetMemberStatus(member, MemberStatusOf(codes[k]));
      if (codes[k] == 2) {
        member.rebuildPercent =
            res::Sprintf(L"%d %%", static_cast<int>(entry.Get(m::kRebuildPercent)));
      }
      member.position = entry.Get(m::kPosition);
      member.deviceIndex = entry.Get(m::kDeviceIndex);
      if (DeviceRecord* device = adapter.DeviceAt(member.deviceIndex)) device->flags |= kFlagInUse;
      if (codes[k] != 1) result.allCurrent = false;
    }
    if (stateCode == 4) {
      for (std::size_t k = 0; k < set.memberCount; ++k) {
        if (type == 2) {
          SetMemberStatus(set.members[k], MemberStatus::kSync);
        } else if (type == 3 && codes[k] == 2) {
          SetMemberStatus(set.members[k], MemberStatus::kSync);
          const std::uint8_t partner = set.members[k].position ^ 0x02;
          for (std::size_t j = 0; j < set.memberCount; ++j) {
            if (set.members[j].position == partner) {
              SetMemberStatus(set.members[j], MemberStatus::kSync);
              break;
            }
          }
        }
      }
    }
  }
  return result;
}

void SetDiskTexts(SetRecord& set) {
  IdentityTexts texts = IdentityStrings(set.identify, true);
  set.name = std::move(texts.model);
  set.metaVersion = std::move(texts.firmware);
}

bool SmartStatusNotAvailable(Bytes payload) {
  namespace f = wire::smart;
  const Reply reply(payload);
  return reply.Holds(f::kDriverError.End()) && reply.Get(f::kDriverError) == 9;
}

std::optional<bool> SmartReturnStatus(Bytes payload) {
  namespace f = wire::smart;
  const Reply reply(payload);
  if (!reply.Holds(f::kStatusReplySize) || reply.Get(f::kDriverError) != 0) return std::nullopt;
  return reply.Get(f::kStatusCylinderLow) == 0x4F && reply.Get(f::kStatusCylinderHigh) == 0xC2;
}

}  // namespace kestrune::ctl::decode
