// The driver's side of the request protocol, shared by every backend that
// answers the program's requests: the SRB_IO_CONTROL framing, one reply
// writer per request at the offsets of the wire layout, and the 88-byte event
// records. A backend keeps its own state and hands the codec a read-only view
// of one adapter with the commands that change it; the simulated driver and
// the machine's own disks answer through the same code, byte for byte.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <mutex>
#include <span>
#include <string>
#include <unordered_map>
#include <string_view>

#include "platform/device_control.h"
#include "simulator/identify.h"
#include "simulator/scenario.h"

namespace kestrune::sim {

// DriverStatus values the driver answers with.
namespace status {
inline constexpr std::uint32_t kSuccess = 0;
inline constexpr std::uint32_t kRebootRequired = 1;
inline constexpr std::uint32_t kInvalidParameter = 2;
inline constexpr std::uint32_t kBufferTooSmall = 3;
inline constexpr std::uint32_t kGpioUnsupported = 7;
inline constexpr std::uint32_t kMaxArrays = 10;
inline constexpr std::uint32_t kInvalidArrayIndex = 11;
inline constexpr std::uint32_t kMaxMembers = 12;
inline constexpr std::uint32_t kInvalidDeviceIndex = 13;
inline constexpr std::uint32_t kDeviceInUse = 14;
inline constexpr std::uint32_t kNotArrayMember = 15;
inline constexpr std::uint32_t kRebuildInProgress = 16;
inline constexpr std::uint32_t kVolumeTooSmall = 17;
inline constexpr std::uint32_t kLastMember = 18;
inline constexpr std::uint32_t kGeneralError = 255;
}  // namespace status

// What a disk's SMART RETURN STATUS says; Unknown when it could not be asked
// (no privilege, a sleeping disk not woken): the driver then answers "not
// supported" rather than a health it does not know.
enum class SmartHealth { Ok, Exceeded, Unknown };

// One adapter as its driver answers from it. The read side is a view of the
// backend's state as it stands; the commands change it under the backend's
// own rules and answer a DriverStatus.
class DriverAdapter {
 public:
  virtual ~DriverAdapter() = default;

  // Versions, chip and PCI numbers, name, channel and device counts, channel
  // data and RAID layer version (its disks, sets and spares are not read).
  virtual const AdapterSpec& Info() const = 0;
  // The attached disk at a device index; null when there is none.
  virtual const DiskSpec* DiskAt(std::size_t index) const = 0;
  // What the disk answers to IDENTIFY DEVICE, in ATA word order.
  virtual IdentifyData DiskIdentify(const DiskSpec& disk) const { return BuildIdentify(disk); }
  virtual SmartHealth DiskHealth(const DiskSpec& disk) const {
    return disk.smartExceeded ? SmartHealth::Exceeded : SmartHealth::Ok;
  }
  virtual std::size_t SetCount() const = 0;
  // A set with its members in position order and their whole rebuild percent.
  virtual SetSpec SetAt(std::size_t index) const = 0;
  // Sectors of the disk the set presents.
  virtual std::uint64_t SetCapacity(std::size_t index) const = 0;
  // Device indexes of the hot spares.
  virtual std::span<const std::uint8_t> Spares() const = 0;

  virtual std::uint32_t AddMember(std::uint8_t deviceIndex, std::uint8_t set) = 0;
  virtual std::uint32_t RemoveMember(std::uint8_t set, std::uint8_t position) = 0;
  virtual std::uint32_t DeleteSet(std::uint8_t set) = 0;
  virtual std::uint32_t EnableSpare(std::uint8_t set, std::uint8_t use) = 0;
  virtual std::uint32_t SetRebuildRate(std::uint8_t set, std::uint8_t rate) = 0;
  virtual std::uint32_t CreateSpare(std::uint8_t deviceIndex) = 0;
  virtual std::uint32_t DeleteSpare(std::uint8_t deviceIndex) = 0;
  virtual std::uint32_t SetFeatures(std::uint8_t channel, std::uint8_t device,
                                    std::uint8_t flags) = 0;
  // A bus reset (IOCTL_STORAGE_RESET_BUS and the RAID layer's ResetChannel);
  // false refuses it: the call then fails.
  virtual bool ResetBus(std::uint8_t channel) = 0;

  // The oldest queued event record, taken from the queue; nullopt when none.
  virtual std::optional<std::array<std::uint8_t, 88>> TakeEvent() = 0;
  virtual std::size_t PendingEvents() const = 0;
  // The LED status byte the program writes and reads back.
  virtual std::uint8_t Gpio() const = 0;
  virtual void SetGpio(std::uint8_t status) = 0;
};

// Faults a test plants in the answers (the simulator's); the first live fault
// of a kind for a request strikes and counts down.
class FaultSource {
 public:
  virtual ~FaultSource() = default;
  virtual std::optional<std::uint32_t> Take(std::string_view request, FaultKind kind) = 0;
};

// Facts of an adapter as the driver states them.
bool IsExtended(const AdapterSpec& adapter);  // driver major 2 or more
bool IsRaid(const AdapterSpec& adapter);      // chip type other than 1
bool HasGpio(const AdapterSpec& adapter);     // extended, driver minor not 0
std::uint32_t ChannelCount(const AdapterSpec& adapter);
std::uint32_t DevicesPerChannel(const AdapterSpec& adapter);
// The device index of a slot, or nullopt outside the adapter's slots.
std::optional<std::size_t> SlotIndex(const AdapterSpec& adapter, std::uint32_t channel,
                                     std::uint32_t device);

// One device-control call on the adapter's port (see
// platform::DeviceControl::Control): the port driver's framing checks, the
// miniport's signatures, the request table, the handler and the reply.
platform::ControlResult AnswerControl(DriverAdapter& adapter, std::uint32_t code,
                                      std::span<std::uint8_t> buffer, std::size_t inSize,
                                      std::size_t outSize, FaultSource* faults = nullptr);

// "\\.\scsi<N>:" with N in decimal without leading zeros, as the program
// names a port; nullopt for any other name.
std::optional<std::size_t> ParsePortName(std::wstring_view name);

// The open handles of a backend's port devices. Handles count up from 1 and
// are never reused, so a stale one is caught. Thread-safe.
class PortHandles {
 public:
  platform::DeviceHandle Open(std::size_t port);
  std::optional<std::size_t> Port(platform::DeviceHandle handle) const;
  void Close(platform::DeviceHandle handle);
  std::size_t Count() const;

 private:
  mutable std::mutex mutex_;
  std::unordered_map<platform::DeviceHandle, std::size_t> handles_;
  platform::DeviceHandle last_ = platform::kInvalidDeviceHandle;
};

// ---------------------------------------------------------------------------
// Event records: the event class GUID at 0, the time stamp at 24 (FILETIME,
// 100 ns since 1601-01-01 UTC), the severity at 40 and the class data from 44;
// every other byte 0.

inline constexpr std::size_t kEventSize = 88;
inline constexpr std::size_t kEventsPerFetch = 20;
using EventBytes = std::array<std::uint8_t, kEventSize>;
using EventMicros = std::chrono::microseconds;
using EventTime = std::chrono::time_point<std::chrono::system_clock, EventMicros>;

struct EventGuidBytes {
  std::uint32_t data1;
  std::uint16_t data2;
  std::uint16_t data3;
  std::array<std::uint8_t, 8> data4;
};

namespace event_class {
inline constexpr EventGuidBytes kUdmaChange{
    0x650CC120, 0x94B0, 0x46EF, {0x9C, 0x61, 0x05, 0x20, 0x19, 0x9E, 0x32, 0x32}};
inline constexpr EventGuidBytes kDeviceChanged{
    0x629096C0, 0xFFB7, 0x4998, {0x8D, 0xFA, 0x4C, 0x39, 0x23, 0xDB, 0xBE, 0xDC}};
inline constexpr EventGuidBytes kNewDevice{
    0x392545EB, 0xC108, 0x46C5, {0xA4, 0x5F, 0xAB, 0xBB, 0xEC, 0xDC, 0xA7, 0x62}};
inline constexpr EventGuidBytes kDeviceRemoved{
    0x90E49A68, 0x52C8, 0x47A9, {0xB5, 0x0B, 0x4D, 0x2C, 0x6F, 0xA9, 0x4B, 0x4B}};
inline constexpr EventGuidBytes kMemberDropped{
    0x4B705BF7, 0x2A71, 0x47CE, {0xB0, 0x26, 0x76, 0x26, 0x3A, 0xDA, 0x87, 0x17}};
inline constexpr EventGuidBytes kMemberAdded{
    0xD86DA798, 0x3D7C, 0x4507, {0x85, 0x9B, 0x96, 0xB4, 0xF1, 0x13, 0x7B, 0x79}};
inline constexpr EventGuidBytes kMemberRemoved{
    0x38D93923, 0xFA17, 0x417E, {0x9B, 0xEE, 0xDC, 0x6C, 0xCF, 0x4A, 0x40, 0x44}};
inline constexpr EventGuidBytes kBusReset{
    0x412EDC53, 0x66FD, 0x4A6A, {0x92, 0x8A, 0x22, 0xDA, 0xC8, 0x8B, 0x1B, 0x23}};
inline constexpr EventGuidBytes kRebuild{
    0x6060575F, 0x4812, 0x476E, {0xAE, 0x55, 0xD5, 0x5F, 0x42, 0x36, 0xA6, 0xDC}};
inline constexpr EventGuidBytes kMemberError{
    0xF91BDB3D, 0x42A6, 0x4CE2, {0x91, 0x6B, 0xFA, 0xD3, 0x66, 0x2D, 0xAC, 0x0E}};
inline constexpr EventGuidBytes kSpareDrive{
    0xB3F80651, 0xDD10, 0x4E5A, {0x9C, 0xCD, 0x32, 0x89, 0x80, 0x43, 0x5E, 0x0F}};
inline constexpr EventGuidBytes kSetCreated{
    0x4B658109, 0x9168, 0x4390, {0x83, 0x8C, 0x9F, 0x86, 0xE8, 0x62, 0x51, 0xE3}};
inline constexpr EventGuidBytes kSetDeleted{
    0x86B0E6FA, 0xE61F, 0x40DB, {0xAE, 0x42, 0x21, 0x82, 0x23, 0x45, 0x1D, 0x2B}};
// Kestrune's own class for what the adapters' driver has no record of: an
// array of the machine that no set can stand for (its class data below).
inline constexpr EventGuidBytes kArrayNotice{
    0x5E3A7C21, 0x8B4D, 0x4F16, {0xA2, 0x9C, 0x3D, 0x71, 0x0E, 0x5B, 0xC4, 0x88}};
}  // namespace event_class

enum class Severity : std::uint32_t { Informational = 1, Warning = 2, Error = 3 };

// Rebuild event status, spare drive event codes.
inline constexpr std::uint8_t kRebuildComplete = 1;
inline constexpr std::uint8_t kRebuildStarted = 5;
inline constexpr std::uint8_t kSpareCreated = 1;
inline constexpr std::uint8_t kSpareDeleted = 2;
inline constexpr std::uint8_t kSpareAddedToSet = 3;
inline constexpr std::uint8_t kSpareTooSmall = 4;

// What happened to an array no set stands for (class data byte 44); byte 45
// carries a percent where one belongs, bytes 46-85 the text naming the array
// and what changed (blank-padded).
enum class ArrayNotice : std::uint8_t {
  Degraded = 1,         // Error: a member failed or is missing
  MemberFailed = 2,     // Error
  RebuildStarted = 3,   // Warning
  RebuildComplete = 4,  // Informational
  Recovered = 5,        // Informational: no longer degraded
  Appeared = 6,         // Informational
  Gone = 7,             // Warning
  Failed = 8,           // Error: the array cannot run
  ChangeMade = 9,       // Informational: a change the administrator asked for
  ChangeRefused = 10,   // Warning: refused or failed
};

// 100-nanosecond units since 1601-01-01 UTC.
std::uint64_t ToFileTime(EventTime t);
// A record with the class GUID, the time stamp and the severity, every other
// byte 0.
EventBytes MakeEvent(const EventGuidBytes& eventClass, EventTime when, Severity severity);
// A 40-byte text at `offset`: the characters, blank-padded.
void PutModel(EventBytes& record, std::size_t offset, std::string_view model);

// The records of the events both backends report, with the class data at the
// offsets of the driver's layout.
EventBytes MemberDroppedEvent(EventTime when, std::uint8_t set, std::uint8_t position,
                              std::uint8_t reason, std::uint8_t srbStatus,
                              std::uint8_t deviceIndex);
EventBytes MemberAddedEvent(EventTime when, std::uint8_t set, std::uint8_t deviceIndex);
EventBytes MemberRemovedEvent(EventTime when, std::uint8_t set, std::uint8_t position,
                              std::uint8_t deviceIndex);
EventBytes RebuildEvent(EventTime when, Severity severity, std::uint8_t set, std::uint8_t position,
                        std::uint8_t rebuildStatus, std::uint8_t deviceIndex);
EventBytes SpareDriveEvent(EventTime when, Severity severity, std::uint8_t code,
                           std::uint8_t deviceIndex, std::uint8_t set = 0,
                           std::uint8_t position = 0);
EventBytes SetEvent(EventTime when, bool created, std::uint8_t raidType);
EventBytes BusResetEvent(EventTime when, std::uint8_t bus);
// Device removed, new device and device changed.
EventBytes DeviceEvent(const EventGuidBytes& eventClass, EventTime when, Severity severity,
                       std::uint8_t channel, std::uint8_t device, std::string_view model);
EventBytes ArrayNoticeEvent(EventTime when, ArrayNotice notice, std::uint8_t percent,
                            std::string_view text);
// The severity an array notice is reported with.
Severity ArrayNoticeSeverity(ArrayNotice notice);

}  // namespace kestrune::sim
