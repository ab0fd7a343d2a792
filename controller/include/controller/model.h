// The configuration model: the in-memory snapshot of the computer, its
// adapters, their channels and devices, and the RAID sets with their members.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "controller/identity.h"
#include "platform/device_control.h"
#include "platform/registry.h"

namespace kestrune::ctl {

inline constexpr std::size_t kMaxAdapters = 4;
inline constexpr std::size_t kMaxChannels = 4;
inline constexpr std::size_t kMaxDevicesPerChannel = 15;
inline constexpr std::size_t kMaxSets = 2;
inline constexpr std::size_t kMaxMembers = 4;

// The driver's codes, kept beside the texts made from them: decisions look
// at the codes, the texts are only shown or written.
enum class ChipKind : std::uint8_t { kUnknown, kStandard, kRaid };
enum class SetKind : std::uint8_t { kUnknown, kStriped, kMirrored, kMirroredStriped };
enum class MemberStatus : std::uint8_t { kUnknown, kCurrent, kRebuild, kDropped, kRemoved, kSync };
enum class SetStatus : std::uint8_t { kUnknown, kOnline, kAvailable, kSync };

inline const std::wstring kUnknown = L"UNKNOWN";
inline const std::wstring kNotApplicable = L"N/A";

struct DeviceRecord {
  IdentifyBytes identify;
  std::uint32_t flags = 0;
  std::uint32_t typeCode = 0;
  std::wstring deviceType = kUnknown;
  bool isDisk = false;  // a device the driver named a disk (deviceType "Disk")
  std::wstring modelNumber = kUnknown;
  std::wstring firmwareVersion = kUnknown;
  std::wstring serialNumber = kUnknown;
  std::wstring currentMode = kUnknown;
  std::wstring supportedModes = kUnknown;
  std::wstring sectorsPerInterrupt = kUnknown;
  std::wstring mediaType = kUnknown;
  std::wstring ataVersion = kUnknown;
  std::wstring lookAhead = kUnknown;
  std::wstring writeCache = kUnknown;
  std::wstring capacity = kUnknown;
  std::wstring smartSupport = kUnknown;
  std::wstring smartEnabled = kUnknown;
  std::wstring smartStatus = kUnknown;
  std::uint16_t valueC = 0;
  std::uint8_t present = 0;
  std::uint8_t spare = 0;

  DeviceRecord() { identify.fill(0x66); }
  // The presets a device query starts from.
  void Reset() { *this = DeviceRecord(); }
};

struct ChannelRecord {
  std::array<DeviceRecord, kMaxDevicesPerChannel> devices;
  std::uint32_t flags = 0;
  std::wstring ideBase = kUnknown;
  std::wstring altBase = kUnknown;
  std::wstring dmaBase = kUnknown;
  std::uint32_t valueA = 0;
  std::uint16_t valueB = 0;
  std::uint16_t linkGeneration = 0;
  std::uint16_t pmVendor = 0;
  std::uint16_t pmDevice = 0;
  std::uint16_t pmPorts = 0;
  std::uint8_t pmSpecVersion = 0;
  std::uint8_t pmRevision = 0;

  // Resets the channel information (not the device slots).
  void ResetInfo() {
    flags = 0;
    ideBase = altBase = dmaBase = kUnknown;
    valueA = 0;
    valueB = linkGeneration = pmVendor = pmDevice = pmPorts = 0;
    pmSpecVersion = pmRevision = 0;
  }
};

struct MemberRecord {
  std::wstring state = kUnknown;
  std::uint8_t position = 0;
  std::uint8_t deviceIndex = 0;
  std::wstring rebuildPercent = kNotApplicable;
  MemberStatus status = MemberStatus::kUnknown;

  // Rebuilding or syncing: the rebuild percent means something.
  bool Rebuilding() const { return status == MemberStatus::kRebuild || status == MemberStatus::kSync; }
};

struct SetRecord {
  std::uint32_t stripeSize = 0;   // bytes
  std::uint32_t rebuildRate = 0;
  std::wstring state = kUnknown;  // made from `status`
  SetStatus status = SetStatus::kUnknown;
  std::wstring type = kUnknown;
  SetKind kind = SetKind::kUnknown;
  std::wstring name = kUnknown;
  std::wstring metaVersion = kUnknown;
  std::uint8_t memberCount = 0;
  std::uint8_t location = 0;
  std::wstring locationText = kUnknown;
  std::wstring capacity = kUnknown;
  std::uint8_t spareEnabled = 0;
  IdentifyBytes identify{};  // only replaced by a full set query
  std::array<MemberRecord, kMaxMembers> members;
  std::wstring smartSupport = kUnknown;
  std::wstring smartEnabled = kUnknown;
  std::wstring smartStatus = kUnknown;
};

struct AdapterRecord {
  platform::DeviceHandle handle = platform::kInvalidDeviceHandle;
  std::uint32_t adapterNumber = 0;
  std::wstring chipModel = kUnknown;
  std::wstring chipRevision = kUnknown;
  std::wstring chipType = kUnknown;
  ChipKind chipKind = ChipKind::kUnknown;
  std::wstring driverStatus = kUnknown;
  std::wstring pciInterrupt = kUnknown;
  std::wstring pciBus = kUnknown;
  std::wstring pciDevice = kUnknown;
  std::uint32_t setCount = 0;
  std::wstring driverMajorText = kUnknown;
  std::wstring driverMinorText = kUnknown;
  std::wstring driverFileVersion = kUnknown;
  std::wstring driverFileDate = kUnknown;
  std::wstring rioMajorText = kUnknown;
  std::wstring rioMinorText = kUnknown;
  std::wstring arrayConflicts = kUnknown;
  std::uint16_t channelCount = 0;
  std::uint16_t devicesPerChannel = 0;
  std::wstring adapterName = kUnknown;
  std::uint16_t driverMajor = 0;
  std::uint16_t driverMinor = 0;
  std::uint32_t adapterId = 0;
  std::uint8_t gpioStatus = 0;
  // Opened by the settings store at start-up and kept for the run.
  platform::RegKey devicesDefModeKey = platform::kNullKey;
  platform::RegKey problemDeviceKey = platform::kNullKey;
  std::array<ChannelRecord, kMaxChannels> channels;
  std::array<SetRecord, kMaxSets> sets;

  bool IsExtended() const { return driverMajor >= 2; }
  bool IsRaidChip() const { return chipKind == ChipKind::kRaid; }
  // Number of device slots the adapter has within the model's limits.
  std::size_t SlotCount() const;
  // The device record of a device index; nullptr outside the adapter's slots.
  DeviceRecord* DeviceAt(std::size_t deviceIndex);
  const DeviceRecord* DeviceAt(std::size_t deviceIndex) const;
};

struct ComputerInfo {
  std::wstring osName = L"Unknown";
  std::wstring osVersion = L"Unknown";
  std::wstring servicePack = L"Unknown";
  std::wstring computerName = L"Unknown";
  std::wstring computerComment = L"Unknown";
  std::wstring mediaPath = L"Unknown";
  std::wstring windowsDirectory = L"Unknown";
};

struct ProgramInfo {
  std::wstring productName;
  std::wstring companyName;
  std::wstring productVersion;
  std::wstring legalCopyright;
};

struct ConfigurationModel {
  // Entry 0 is the computer entry; entries 1..entryCount-1 are adapters.
  std::uint32_t entryCount = 0;
  std::array<std::unique_ptr<AdapterRecord>, kMaxAdapters + 1> adapters;
  bool ntFamily = true;
  bool extendedNaming = false;
  std::wstring supportMajorText = kUnknown;
  std::wstring supportMinorText = kUnknown;
  std::wstring supportFileVersion = kUnknown;
  std::wstring supportFileDate = kUnknown;
  ComputerInfo computer;
  ProgramInfo program;

  std::size_t AdapterCount() const { return entryCount > 0 ? entryCount - 1 : 0; }
  // Adapter by its 0-based adapter number; nullptr when there is none.
  AdapterRecord* Adapter(std::size_t adapterNumber) {
    return adapterNumber < AdapterCount() ? adapters[adapterNumber + 1].get() : nullptr;
  }
  const AdapterRecord* Adapter(std::size_t adapterNumber) const {
    return adapterNumber < AdapterCount() ? adapters[adapterNumber + 1].get() : nullptr;
  }
};

}  // namespace kestrune::ctl
