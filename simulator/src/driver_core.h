// Internals of the simulated driver, shared by its source files: the live
// state of every adapter, the event records and the request handlers.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "platform/clock.h"
#include "platform/device_control.h"
#include "simulator/scenario.h"
#include "simulator/topology.h"

namespace kestrune::sim::detail {

using Micros = std::chrono::microseconds;
using TimePoint = std::chrono::time_point<std::chrono::system_clock, Micros>;

// ---------------------------------------------------------------------------
// Little-endian field access within a span. Out-of-range accesses read 0 and
// write nothing, so a short reply area can never be overrun.

inline std::uint8_t GetU8(std::span<const std::uint8_t> s, std::size_t off) {
  return off < s.size() ? s[off] : std::uint8_t{0};
}
inline std::uint16_t GetU16(std::span<const std::uint8_t> s, std::size_t off) {
  if (off + 2 > s.size()) return 0;
  return static_cast<std::uint16_t>(s[off] | (s[off + 1] << 8));
}
inline std::uint32_t GetU32(std::span<const std::uint8_t> s, std::size_t off) {
  if (off + 4 > s.size()) return 0;
  return static_cast<std::uint32_t>(s[off]) | (static_cast<std::uint32_t>(s[off + 1]) << 8) |
         (static_cast<std::uint32_t>(s[off + 2]) << 16) |
         (static_cast<std::uint32_t>(s[off + 3]) << 24);
}
inline void PutU8(std::span<std::uint8_t> s, std::size_t off, std::uint8_t v) {
  if (off < s.size()) s[off] = v;
}
inline void PutU16(std::span<std::uint8_t> s, std::size_t off, std::uint16_t v) {
  if (off + 2 > s.size()) return;
  s[off] = static_cast<std::uint8_t>(v & 0xFF);
  s[off + 1] = static_cast<std::uint8_t>(v >> 8);
}
inline void PutU32(std::span<std::uint8_t> s, std::size_t off, std::uint32_t v) {
  if (off + 4 > s.size()) return;
  for (std::size_t i = 0; i < 4; ++i) s[off + i] = static_cast<std::uint8_t>((v >> (8 * i)) & 0xFF);
}
inline void PutBytes(std::span<std::uint8_t> s, std::size_t off, std::span<const std::uint8_t> b) {
  for (std::size_t i = 0; i < b.size() && off + i < s.size(); ++i) s[off + i] = b[i];
}

// ---------------------------------------------------------------------------
// Event records.

inline constexpr std::size_t kEventSize = 88;
inline constexpr std::size_t kEventsPerFetch = 20;
// Oldest records are dropped beyond this, so a runaway timeline cannot eat memory.
inline constexpr std::size_t kEventQueueCap = 1000;

using EventBytes = std::array<std::uint8_t, kEventSize>;

struct Guid {
  std::uint32_t data1;
  std::uint16_t data2;
  std::uint16_t data3;
  std::array<std::uint8_t, 8> data4;
};

namespace event_class {
inline constexpr Guid kUdmaChange{
    0x650CC120, 0x94B0, 0x46EF, {0x9C, 0x61, 0x05, 0x20, 0x19, 0x9E, 0x32, 0x32}};
inline constexpr Guid kDeviceChanged{
    0x629096C0, 0xFFB7, 0x4998, {0x8D, 0xFA, 0x4C, 0x39, 0x23, 0xDB, 0xBE, 0xDC}};
inline constexpr Guid kNewDevice{
    0x392545EB, 0xC108, 0x46C5, {0xA4, 0x5F, 0xAB, 0xBB, 0xEC, 0xDC, 0xA7, 0x62}};
inline constexpr Guid kDeviceRemoved{
    0x90E49A68, 0x52C8, 0x47A9, {0xB5, 0x0B, 0x4D, 0x2C, 0x6F, 0xA9, 0x4B, 0x4B}};
inline constexpr Guid kMemberDropped{
    0x4B705BF7, 0x2A71, 0x47CE, {0xB0, 0x26, 0x76, 0x26, 0x3A, 0xDA, 0x87, 0x17}};
inline constexpr Guid kMemberAdded{
    0xD86DA798, 0x3D7C, 0x4507, {0x85, 0x9B, 0x96, 0xB4, 0xF1, 0x13, 0x7B, 0x79}};
inline constexpr Guid kMemberRemoved{
    0x38D93923, 0xFA17, 0x417E, {0x9B, 0xEE, 0xDC, 0x6C, 0xCF, 0x4A, 0x40, 0x44}};
inline constexpr Guid kBusReset{
    0x412EDC53, 0x66FD, 0x4A6A, {0x92, 0x8A, 0x22, 0xDA, 0xC8, 0x8B, 0x1B, 0x23}};
inline constexpr Guid kRebuild{
    0x6060575F, 0x4812, 0x476E, {0xAE, 0x55, 0xD5, 0x5F, 0x42, 0x36, 0xA6, 0xDC}};
inline constexpr Guid kMemberError{
    0xF91BDB3D, 0x42A6, 0x4CE2, {0x91, 0x6B, 0xFA, 0xD3, 0x66, 0x2D, 0xAC, 0x0E}};
inline constexpr Guid kSpareDrive{
    0xB3F80651, 0xDD10, 0x4E5A, {0x9C, 0xCD, 0x32, 0x89, 0x80, 0x43, 0x5E, 0x0F}};
inline constexpr Guid kSetCreated{
    0x4B658109, 0x9168, 0x4390, {0x83, 0x8C, 0x9F, 0x86, 0xE8, 0x62, 0x51, 0xE3}};
inline constexpr Guid kSetDeleted{
    0x86B0E6FA, 0xE61F, 0x40DB, {0xAE, 0x42, 0x21, 0x82, 0x23, 0x45, 0x1D, 0x2B}};
}  // namespace event_class

enum class Severity : std::uint32_t { Informational = 1, Warning = 2, Error = 3 };

// Class data byte offsets within a record.
inline constexpr std::size_t kClassData = 44;

// Rebuild event status, spare drive event codes.
inline constexpr std::uint8_t kRebuildComplete = 1;
inline constexpr std::uint8_t kRebuildStarted = 5;
inline constexpr std::uint8_t kSpareCreated = 1;
inline constexpr std::uint8_t kSpareDeleted = 2;
inline constexpr std::uint8_t kSpareAddedToSet = 3;
inline constexpr std::uint8_t kSpareTooSmall = 4;

// 100-nanosecond units since 1601-01-01 UTC.
std::uint64_t ToFileTime(TimePoint t);
// A record with the class GUID at 0, the time stamp at 24, the severity at 40
// and every other byte 0.
EventBytes MakeEvent(const Guid& eventClass, TimePoint when, Severity severity);
// The 40-byte model text of the device events: the model, blank-padded.
void PutModel(EventBytes& record, std::size_t offset, std::string_view model);

// ---------------------------------------------------------------------------
// Live state.

struct LiveMember {
  std::uint8_t deviceIndex = 0;
  std::uint8_t position = 0;
  MemberState state = MemberState::Current;
  // Rebuild work done, in microseconds x rate; complete at
  // rebuildSeconds x 100 x 10^6 (a full rebuild at rate 1).
  std::int64_t work = 0;
};

struct LiveSet {
  SetSpec spec;                     // spec.members is kept empty; the members live below
  std::vector<LiveMember> members;  // ordered by position
  std::uint8_t location = 0;
  std::uint64_t memberSectors = 0;  // capacity each member must offer
  std::uint64_t capacity = 0;       // sectors of the disk the set presents

  bool Redundant() const { return spec.type != SetType::Striped; }
  std::size_t MaxMembers() const { return spec.type == SetType::Mirrored ? 2 : 4; }
  LiveMember* AtPosition(std::uint8_t position);
  bool Rebuilding() const;
  SetSpec Current(std::int64_t workPerPercent) const;  // the set with its members
};

struct LiveAdapter {
  AdapterSpec spec;  // spec.sets is kept empty; spec.disks holds present disks only
  std::vector<LiveSet> sets;
  std::deque<EventBytes> events;
  std::uint64_t droppedEvents = 0;
  std::uint8_t gpio = 0;

  bool Extended() const { return spec.driverMajor >= 2; }
  bool Raid() const { return spec.chipType != 1; }
  bool HasGpio() const { return Extended() && spec.driverMinor != 0; }
  std::uint32_t Channels() const { return Extended() ? spec.channels : 2U; }
  std::uint32_t DevicesPerChannel() const;
  std::size_t Slots() const { return std::size_t{Channels()} * DevicesPerChannel(); }
  // Device index of a slot, or nullopt outside the adapter's slots.
  std::optional<std::size_t> IndexOf(std::uint32_t channel, std::uint32_t device) const;
  DiskSpec* DiskAt(std::size_t index);
  DiskSpec* DiskAt(std::uint32_t channel, std::uint32_t device);
  bool IsSpare(std::size_t index) const;
  // The set and member that hold the disk as a working (current or rebuilding) member.
  bool IsWorkingMember(std::size_t index) const;
  bool IsListedMember(std::size_t index) const;  // in any state
  std::int64_t WorkPerPercent() const { return std::int64_t{spec.rebuildSeconds} * 1'000'000; }
  std::int64_t RebuildWork() const { return WorkPerPercent() * 100; }

  void Queue(const EventBytes& record);
};

struct ActiveFault {
  FaultSpec spec;
};

// Everything the driver knows. Not thread-safe by itself: SimulatedDriver
// holds one mutex around every call.
class DriverCore {
 public:
  DriverCore(Scenario scenario, std::shared_ptr<platform::Clock> clock);

  // Timeline and rebuilds up to the clock's present.
  void Advance();

  bool OpenPort(std::size_t port, std::uint32_t& lastError);
  platform::ControlResult Control(std::size_t port, std::uint32_t code,
                                  std::span<std::uint8_t> buffer, std::size_t inSize,
                                  std::size_t outSize);
  void InjectFault(const FaultSpec& fault) { faults_.push_back(ActiveFault{fault}); }

  std::size_t PortCount() const { return adapters_.size(); }
  const Scenario& Initial() const { return initial_; }
  LiveAdapter* Adapter(std::size_t port) {
    return port < adapters_.size() ? &adapters_[port] : nullptr;
  }
  AdapterSpec CurrentAdapter(std::size_t port) const;
  std::vector<AdapterView> Adapters() const;

  struct Request;

 private:
  using Handler = std::uint32_t (DriverCore::*)(LiveAdapter&, Request&);
  struct RequestKind {
    std::string_view signature;
    std::uint32_t code;
    std::string_view name;
    std::uint32_t minLength;    // payload bytes the request needs
    std::uint32_t minExtended;  // ... on extended adapters
    Handler handler;
  };
  static const RequestKind kRequests[];

  // Faults: the value of the first live fault of that kind, counted down.
  std::optional<std::uint32_t> TakeFault(std::size_t port, std::string_view request,
                                         FaultKind kind);
  void ApplyReplyFaults(std::size_t port, LiveAdapter& adapter, const RequestKind& kind,
                        Request& request);

  // Request handlers (driver_requests.cpp); each answers a DriverStatus.
  std::uint32_t QueryDriverVersion(LiveAdapter& a, Request& r);
  std::uint32_t QueryAdapterInfo(LiveAdapter& a, Request& r);
  std::uint32_t QueryChannelInfo(LiveAdapter& a, Request& r);
  std::uint32_t QueryDeviceInfo(LiveAdapter& a, Request& r);
  std::uint32_t FetchEvents(LiveAdapter& a, Request& r);
  std::uint32_t SetDeviceFeatures(LiveAdapter& a, Request& r);
  std::uint32_t SetGpioInterface(LiveAdapter& a, Request& r);
  std::uint32_t WriteGpioStatus(LiveAdapter& a, Request& r);
  std::uint32_t QueryRioVersion(LiveAdapter& a, Request& r);
  std::uint32_t QuerySpareDrives(LiveAdapter& a, Request& r);
  std::uint32_t QuerySets(LiveAdapter& a, Request& r);
  std::uint32_t DeleteSetRequest(LiveAdapter& a, Request& r);
  std::uint32_t AddMemberRequest(LiveAdapter& a, Request& r);
  std::uint32_t RemoveMemberRequest(LiveAdapter& a, Request& r);
  std::uint32_t ResetChannel(LiveAdapter& a, Request& r);
  std::uint32_t EnableSpareRequest(LiveAdapter& a, Request& r);
  std::uint32_t SetRebuildRateRequest(LiveAdapter& a, Request& r);
  std::uint32_t CreateSpareRequest(LiveAdapter& a, Request& r);
  std::uint32_t DeleteSpareRequest(LiveAdapter& a, Request& r);
  std::uint32_t SmartIdentify(LiveAdapter& a, Request& r);
  std::uint32_t SmartReturnStatus(LiveAdapter& a, Request& r);

 public:
  // The driver's rules (driver_rules.cpp); each answers a DriverStatus and
  // queues the events of the change.
  std::uint32_t AddMember(LiveAdapter& a, std::uint8_t deviceIndex, std::uint8_t set);
  std::uint32_t RemoveMember(LiveAdapter& a, std::uint8_t set, std::uint8_t position);
  std::uint32_t DeleteSet(LiveAdapter& a, std::uint8_t set);
  std::uint32_t EnableSpare(LiveAdapter& a, std::uint8_t set, std::uint8_t use);
  std::uint32_t SetRebuildRate(LiveAdapter& a, std::uint8_t set, std::uint8_t rate);
  std::uint32_t CreateSpare(LiveAdapter& a, std::uint8_t deviceIndex);
  std::uint32_t DeleteSpare(LiveAdapter& a, std::uint8_t deviceIndex);
  std::uint32_t SetFeatures(LiveAdapter& a, std::uint8_t channel, std::uint8_t device,
                            std::uint8_t flags);
  void BusReset(LiveAdapter& a, std::uint8_t bus);

  // A member fails: it is dropped, and a spare takes its place when the set
  // allows. `diskGone` marks a member whose disk was unplugged.
  void FailMember(LiveAdapter& a, std::size_t set, LiveMember& member, std::uint8_t reason,
                  std::uint8_t srbStatus, bool diskGone, TimePoint when);
  void StartRebuild(LiveAdapter& a, std::size_t set, LiveMember& member, TimePoint when);

 private:
  // Timeline (driver_timeline.cpp).
  void ProgressTo(TimePoint t);
  void ApplyStep(const TimelineStep& step, TimePoint when);
  void ApplyDrop(LiveAdapter& a, const DropMember& drop, TimePoint when);
  void ApplyRemove(LiveAdapter& a, const RemoveDisk& remove, TimePoint when);
  void ApplyInsert(LiveAdapter& a, const InsertDisk& insert, TimePoint when);
  void ApplyMemberError(LiveAdapter& a, const MemberError& error, TimePoint when);
  void ApplyUdma(LiveAdapter& a, const UdmaChange& change, TimePoint when);

  TimePoint Now() const;
  TimePoint StepTime(const TimelineStep& step) const;

  std::shared_ptr<platform::Clock> clock_;
  Scenario initial_;
  std::vector<LiveAdapter> adapters_;
  std::vector<TimelineStep> timeline_;  // in time order
  std::size_t nextStep_ = 0;
  TimePoint start_;
  TimePoint last_;  // time up to which rebuilds have progressed
  std::vector<ActiveFault> faults_;
};

// The state a set reports once its members changed: Online when every member
// is current and the set is complete, Available otherwise.
void RecomputeSetState(LiveSet& set);

}  // namespace kestrune::sim::detail
