// Time in the simulated driver: the scenario's timeline and running rebuilds,
// brought up to the clock's present by Advance().
#include <algorithm>
#include <type_traits>
#include <variant>

#include "driver_core.h"

namespace kestrune::sim::detail {
namespace {

// SRB status of a disk that has gone from its port.
constexpr std::uint8_t kSrbSelectionTimeout = 10;
constexpr std::uint8_t kReasonPortError = 1;

// The disk in a slot leaves: members on it drop (and count as removed when no
// spare takes their place), a spare on it is gone.
void DetachDisk(DriverCore& core, LiveAdapter& a, std::size_t index, TimePoint when) {
  for (std::size_t si = 0; si < a.sets.size(); ++si) {
    for (auto& m : a.sets[si].members) {
      if (m.deviceIndex != index) continue;
      if (m.state == MemberState::Current || m.state == MemberState::Rebuild) {
        core.FailMember(a, si, m, kReasonPortError, kSrbSelectionTimeout, true, when);
      } else {
        m.state = MemberState::Removed;
        RecomputeSetState(a.sets[si]);
      }
    }
  }
  auto& spares = a.spec.spares;
  spares.erase(std::remove(spares.begin(), spares.end(), index), spares.end());
}

}  // namespace

void DriverCore::Advance() {
  // A wall clock set back does not run rebuilds backwards.
  const TimePoint now = std::max(Now(), last_);
  while (nextStep_ < timeline_.size()) {
    const TimePoint at = std::max(StepTime(timeline_[nextStep_]), last_);
    if (at > now) break;
    ProgressTo(at);
    const TimelineStep& step = timeline_[nextStep_++];
    ApplyStep(step, at);
  }
  ProgressTo(now);
}

void DriverCore::ProgressTo(TimePoint t) {
  if (t <= last_) return;
  const std::int64_t span = (t - last_).count();
  struct Completion {
    TimePoint at;
    std::size_t set;
    std::uint8_t position;
  };
  for (auto& a : adapters_) {
    std::vector<Completion> done;
    const std::int64_t total = a.RebuildWork();
    for (std::size_t si = 0; si < a.sets.size(); ++si) {
      const std::int64_t rate = a.sets[si].spec.rebuildRate;
      if (rate == 0) continue;  // paused
      for (auto& m : a.sets[si].members) {
        if (m.state != MemberState::Rebuild) continue;
        const std::int64_t remaining = std::max<std::int64_t>(total - m.work, 0);
        const std::int64_t needed = (remaining + rate - 1) / rate;
        if (needed <= span) {
          m.work = total;
          done.push_back(Completion{last_ + Micros(needed), si, m.position});
        } else {
          m.work += span * rate;
        }
      }
    }
    std::stable_sort(done.begin(), done.end(),
                     [](const Completion& x, const Completion& y) { return x.at < y.at; });
    for (const auto& c : done) {
      LiveSet& s = a.sets[c.set];
      LiveMember* m = s.AtPosition(c.position);
      if (m == nullptr) continue;
      m->state = MemberState::Current;
      m->work = 0;
      a.Queue(RebuildEvent(c.at, Severity::Informational, static_cast<std::uint8_t>(c.set),
                           m->position, kRebuildComplete, m->deviceIndex));
      RecomputeSetState(s);
    }
  }
  last_ = t;
}

void DriverCore::ApplyStep(const TimelineStep& step, TimePoint when) {
  LiveAdapter* a = Adapter(step.adapter);
  if (a == nullptr) return;
  std::visit(
      [&](const auto& action) {
        using T = std::decay_t<decltype(action)>;
        if constexpr (std::is_same_v<T, DropMember>) {
          ApplyDrop(*a, action, when);
        } else if constexpr (std::is_same_v<T, RemoveDisk>) {
          ApplyRemove(*a, action, when);
        } else if constexpr (std::is_same_v<T, InsertDisk>) {
          ApplyInsert(*a, action, when);
        } else if constexpr (std::is_same_v<T, MemberError>) {
          ApplyMemberError(*a, action, when);
        } else if constexpr (std::is_same_v<T, UdmaChange>) {
          ApplyUdma(*a, action, when);
        } else {
          static_assert(std::is_same_v<T, RawEvent>);
          EventBytes e{};
          std::copy_n(action.record.begin(), std::min(action.record.size(), e.size()), e.begin());
          a->Queue(e);
        }
      },
      step.action);
}

void DriverCore::ApplyDrop(LiveAdapter& a, const DropMember& drop, TimePoint when) {
  if (drop.set >= a.sets.size()) return;
  LiveMember* m = a.sets[drop.set].AtPosition(drop.position);
  if (m == nullptr || m->state == MemberState::Dropped || m->state == MemberState::Removed) return;
  FailMember(a, drop.set, *m, drop.reason, drop.srbStatus, false, when);
}

void DriverCore::ApplyRemove(LiveAdapter& a, const RemoveDisk& remove, TimePoint when) {
  const auto index = a.IndexOf(remove.channel, remove.device);
  if (!index || a.DiskAt(*index) == nullptr) return;
  DetachDisk(*this, a, *index, when);
  const auto it = std::find_if(a.spec.disks.begin(), a.spec.disks.end(), [&](const DiskSpec& d) {
    return d.channel == remove.channel && d.device == remove.device;
  });
  const EventBytes e = DeviceEvent(event_class::kDeviceRemoved, when, Severity::Warning,
                                   remove.channel, remove.device, it->model);
  a.spec.disks.erase(it);
  a.Queue(e);
}

void DriverCore::ApplyInsert(LiveAdapter& a, const InsertDisk& insert, TimePoint when) {
  const DiskSpec& disk = insert.disk;
  const auto index = a.IndexOf(disk.channel, disk.device);
  if (!index) return;
  const bool replacing = a.DiskAt(*index) != nullptr;
  if (replacing) {
    DetachDisk(*this, a, *index, when);
    *a.DiskAt(*index) = disk;
  } else {
    a.spec.disks.push_back(disk);
  }
  a.Queue(DeviceEvent(replacing ? event_class::kDeviceChanged : event_class::kNewDevice, when,
                      Severity::Informational, disk.channel, disk.device, disk.model));
}

void DriverCore::ApplyMemberError(LiveAdapter& a, const MemberError& error, TimePoint when) {
  if (error.set >= a.sets.size()) return;
  const LiveMember* m = a.sets[error.set].AtPosition(error.position);
  if (m == nullptr) return;
  Severity severity = Severity::Error;
  // Bad-block replacement attempts and successes are notices, not failures.
  if (error.kind == 4 &&
      (error.bbrType == 1 || error.bbrType == 3 || error.bbrType == 4 || error.bbrType == 6)) {
    severity = Severity::Warning;
  }
  EventBytes e = MakeEvent(event_class::kMemberError, when, severity);
  const std::span<std::uint8_t> s(e);
  e[44] = error.set;
  e[45] = error.position;
  e[46] = m->deviceIndex;
  e[47] = error.kind;
  const std::span<const std::uint8_t> cdb(error.cdb.data(),
                                          std::min<std::size_t>(error.cdb.size(), 16));
  switch (error.kind) {
    case 1:
      e[49] = error.srbStatus;
      PutBytes(s, 50, cdb);
      break;
    case 2:
      e[48] = error.senseKey;
      // Sense data carries the information field most significant byte first.
      for (std::size_t i = 0; i < 4; ++i) {
        e[49 + i] = static_cast<std::uint8_t>((error.information >> (24 - 8 * i)) & 0xFF);
      }
      e[53] = error.asc;
      e[54] = error.ascq;
      PutBytes(s, 55, cdb);
      break;
    case 4:
      PutU32(s, 48, error.bbrType);
      PutU32(s, 52, error.block);
      PutU32(s, 56, error.virtualBlock);
      break;
    default:
      break;
  }
  a.Queue(e);
}

void DriverCore::ApplyUdma(LiveAdapter& a, const UdmaChange& change, TimePoint when) {
  DiskSpec* disk = a.DiskAt(std::uint32_t{change.channel}, std::uint32_t{change.device});
  if (disk == nullptr) return;
  const std::uint8_t old = disk->currentMode;
  disk->currentKind = ModeKind::UltraDma;
  disk->currentMode = change.newMode;
  EventBytes e = MakeEvent(event_class::kUdmaChange, when,
                           change.newMode < old ? Severity::Warning : Severity::Informational);
  e[44] = change.channel;
  e[45] = change.device;
  e[46] = old;
  e[47] = change.newMode;
  a.Queue(e);
}

}  // namespace kestrune::sim::detail
