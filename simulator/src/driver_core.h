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

#include "byte_access.h"
#include "platform/clock.h"
#include "platform/device_control.h"
#include "simulator/driver_codec.h"
#include "simulator/scenario.h"
#include "simulator/topology.h"

namespace kestrune::sim::detail {

using Micros = EventMicros;
using TimePoint = EventTime;

// Oldest records are dropped beyond this, so a runaway timeline cannot eat memory.
inline constexpr std::size_t kEventQueueCap = 1000;

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

 private:
  // Faults: the value of the first live fault of that kind, counted down.
  std::optional<std::uint32_t> TakeFault(std::size_t port, std::string_view request,
                                         FaultKind kind);
  friend class PortFaults;

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
