#include "controller/decode.h"

#include <algorithm>

#include "controller/identity.h"
#include "controller/wire.h"
#include "platform/text.h"
#include "resources/strings.h"

namespace kestrune::ctl::decode {

using wire::Get16;
using wire::Get32;
using wire::Get8;

namespace {

std::wstring Dec(std::uint32_t value) { return res::Sprintf(L"%d", static_cast<int>(value)); }
std::wstring UpperHex4(std::uint32_t value) { return res::Sprintf(L"%04X", value); }

const wchar_t* SetStateText(std::uint16_t code) {
  switch (code) {
    case 1: return L"Online";
    case 2: return L"Available";
    case 4: return L"Sync";
    default: return L"UNKNOWN";
  }
}

const wchar_t* MemberStateText(std::uint16_t code) {
  switch (code) {
    case 1: return L"Current";
    case 2: return L"Rebuild";
    case 3: return L"Dropped";
    case 4: return L"Removed";
    default: return L"UNKNOWN";
  }
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

constexpr std::size_t SetOffset(std::size_t set) { return 4 + wire::kSetDescriptorSize * set; }
constexpr std::size_t MemberOffset(std::size_t set, std::size_t member) {
  return SetOffset(set) + 12 + wire::kMemberEntrySize * member;
}

}  // namespace

void ResetDriverVersion(AdapterRecord& adapter) {
  adapter.driverMajorText = kUnknown;
  adapter.driverMinorText = kUnknown;
}

bool DriverVersion(Bytes payload, AdapterRecord& adapter) {
  adapter.driverMajor = Get16(payload, 0);
  adapter.driverMinor = Get16(payload, 2);
  adapter.driverMajorText = Dec(adapter.driverMajor);
  adapter.driverMinorText = Dec(adapter.driverMinor);
  return adapter.IsExtended();
}

void ResetAdapterInfo(AdapterRecord& adapter) {
  adapter.chipModel = adapter.chipRevision = adapter.chipType = kUnknown;
  adapter.driverStatus = adapter.pciInterrupt = adapter.pciBus = adapter.pciDevice = kUnknown;
  adapter.adapterName = kUnknown;
  adapter.channelCount = 0;
  adapter.devicesPerChannel = 0;
  adapter.adapterId = 0;
  for (auto& channel : adapter.channels) channel.ResetInfo();
}

void AdapterInfo(Bytes payload, AdapterRecord& adapter) {
  adapter.chipModel = res::Sprintf(L"BV-%x", Get32(payload, 0));
  adapter.chipRevision = res::Sprintf(L"%04x", Get32(payload, 4));
  adapter.chipType = Get32(payload, 8) == 1 ? L"Standard" : L"RAID";
  adapter.driverStatus = res::Sprintf(L"%x", Get32(payload, 12));
  adapter.pciInterrupt = Dec(Get32(payload, 16));
  adapter.pciBus = Dec(Get32(payload, 20));
  adapter.pciDevice = Dec(Get32(payload, 24));
  adapter.adapterId = Get32(payload, 28);
  if (!adapter.IsExtended()) {
    adapter.channelCount = 2;
    adapter.devicesPerChannel = 2;
    for (std::size_t c = 0; c < kMaxChannels; ++c) {
      const std::size_t entry = 32 + 16 * c;
      ChannelRecord& channel = adapter.channels[c];
      channel.flags = Get32(payload, entry);
      channel.ideBase = UpperHex4(Get32(payload, entry + 4));
      channel.altBase = UpperHex4(Get32(payload, entry + 8));
      channel.dmaBase = UpperHex4(Get32(payload, entry + 12));
    }
    return;
  }
  adapter.channelCount = std::min<std::uint16_t>(Get16(payload, 32), kMaxChannels);
  adapter.devicesPerChannel = std::min<std::uint16_t>(Get16(payload, 34), kMaxDevicesPerChannel);
  // The name may fill all 128 bytes without a terminator.
  std::string name;
  for (std::size_t i = 36; i < 36 + 128 && i < payload.size() && payload[i] != 0; ++i)
    name.push_back(static_cast<char>(payload[i]));
  adapter.adapterName = platform::Latin1ToWide(name);
}

void ChannelInfo(Bytes payload, ChannelRecord& channel) {
  channel.valueA = Get32(payload, 4);
  channel.flags = Get32(payload, 8);
  channel.valueB = Get16(payload, 12);
  channel.linkGeneration = Get16(payload, 14);
  channel.pmVendor = Get16(payload, 16);
  channel.pmDevice = Get16(payload, 18);
  channel.pmPorts = Get16(payload, 20);
  channel.pmSpecVersion = Get8(payload, 22);
  channel.pmRevision = Get8(payload, 23);
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

void RioVersion(Bytes payload, AdapterRecord& adapter) {
  adapter.rioMajorText = Dec(Get16(payload, 0));
  adapter.rioMinorText = Dec(Get16(payload, 2));
  adapter.arrayConflicts = (Get8(payload, 4) & 1) ? L"Yes" : L"No";
}

bool SpareDrives(Bytes payload, AdapterRecord& adapter) {
  const std::uint16_t count = Get16(payload, 0);
  if (count > 4) return false;
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint8_t entry = Get8(payload, 2 + i);
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
    set.memberCount = 0;
    set.location = 0;
    set.spareEnabled = 0;
    if (full) set.name = set.metaVersion = set.smartSupport = set.smartEnabled = kUnknown;
    for (MemberRecord& member : set.members) member = MemberRecord();
  }
}

bool SetFullyDecoded(Bytes payload, std::size_t setIndex) {
  const std::size_t at = SetOffset(setIndex);
  const std::size_t bound = MemberBound(Get8(payload, at + 8));
  return bound != 0 && Get8(payload, at + 9) <= bound;
}

SetsResult Sets(Bytes payload, AdapterRecord& adapter, bool extendedNaming) {
  SetsResult result;
  const std::uint16_t count = Get16(payload, 2);
  if (count > kMaxSets) return result;
  result.ok = true;
  adapter.setCount = count;
  for (std::size_t s = 0; s < count; ++s) {
    SetRecord& set = adapter.sets[s];
    const std::size_t at = SetOffset(s);
    const std::uint16_t stateCode = Get16(payload, at + 4);
    const std::uint8_t type = Get8(payload, at + 8);
    set.state = SetStateText(stateCode);
    // Kept within the member slots so that no reader can run past them.
    set.memberCount = std::min<std::uint8_t>(Get8(payload, at + 9), kMaxMembers);
    switch (type) {
      case 1: set.type = L"Striped Set"; break;
      case 2: set.type = L"Mirrored Set"; break;
      case 3: set.type = L"Mirrored Striped Set"; break;
      default: set.type = kUnknown; break;
    }
    if (type == 1 || type == 3) set.stripeSize = Get32(payload, at) * 512U;
    if (type == 2 || type == 3) set.rebuildRate = Get8(payload, MemberOffset(s, 0) + 5);
    if (!SetFullyDecoded(payload, s)) continue;

    set.location = Get8(payload, at + 10);
    set.locationText = ChannelAndDeviceName(set.location, extendedNaming).Joined();
    set.spareEnabled = Get8(payload, at + 6) & 1;

    std::array<std::uint16_t, kMaxMembers> codes{};
    for (std::size_t k = 0; k < set.memberCount; ++k) {
      const std::size_t m = MemberOffset(s, k);
      MemberRecord& member = set.members[k];
      codes[k] = Get16(payload, m);
      member.state = MemberStateText(codes[k]);
      if (codes[k] == 2)
        member.rebuildPercent = res::Sprintf(L"%d %%", static_cast<int>(Get8(payload, m + 4)));
      member.position = Get8(payload, m + 2);
      member.deviceIndex = Get8(payload, m + 3);
      if (DeviceRecord* device = adapter.DeviceAt(member.deviceIndex)) device->flags |= kFlagInUse;
      if (codes[k] != 1) result.allCurrent = false;
    }
    if (stateCode == 4) {
      for (std::size_t k = 0; k < set.memberCount; ++k) {
        if (type == 2) {
          set.members[k].state = L"Sync";
        } else if (type == 3 && codes[k] == 2) {
          set.members[k].state = L"Sync";
          const std::uint8_t partner = set.members[k].position ^ 0x02;
          for (std::size_t j = 0; j < set.memberCount; ++j) {
            if (set.members[j].position == partner) {
              set.members[j].state = L"Sync";
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

std::optional<bool> SmartReturnStatus(Bytes payload) {
  if (Get8(payload, 4) != 0) return std::nullopt;
  return Get8(payload, 19) == 0x4F && Get8(payload, 20) == 0xC2;
}

}  // namespace kestrune::ctl::decode
