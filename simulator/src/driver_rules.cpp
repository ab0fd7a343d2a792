// The driver's rules for changing sets, spares and devices, with the
// DriverStatus of every refusal and the events of every change.
#include <algorithm>

#include "driver_core.h"
#include "simulator/driver.h"

namespace kestrune::sim::detail {
namespace {

// The member a rebuild of `position` reads from must itself be current.
bool HasRebuildSource(const LiveSet& s, std::uint8_t position) {
  for (const auto& m : s.members) {
    if (m.position == position || m.state != MemberState::Current) continue;
    if (s.spec.type == SetType::Mirrored) return true;
    if (s.spec.type == SetType::MirroredStriped && m.position == (position ^ 2U)) return true;
  }
  return false;
}

}  // namespace

void DriverCore::StartRebuild(LiveAdapter& a, std::size_t set, LiveMember& member, TimePoint when) {
  member.state = MemberState::Rebuild;
  member.work = 0;
  a.Queue(RebuildEvent(when, Severity::Warning, static_cast<std::uint8_t>(set), member.position,
                       kRebuildStarted, member.deviceIndex));
  RecomputeSetState(a.sets[set]);
}

void DriverCore::FailMember(LiveAdapter& a, std::size_t set, LiveMember& member,
                            std::uint8_t reason, std::uint8_t srbStatus, bool diskGone,
                            TimePoint when) {
  LiveSet& s = a.sets[set];
  member.state = MemberState::Dropped;
  member.work = 0;
  a.Queue(MemberDroppedEvent(when, static_cast<std::uint8_t>(set), member.position, reason,
                             srbStatus, member.deviceIndex));

  bool replaced = false;
  if (s.spec.spareEnabled && s.Redundant() && HasRebuildSource(s, member.position) &&
      !a.spec.spares.empty()) {
    const auto spare =
        std::find_if(a.spec.spares.begin(), a.spec.spares.end(), [&](std::uint8_t i) {
          const DiskSpec* d = a.DiskAt(std::size_t{i});
          return d != nullptr && d->sectors >= s.memberSectors;
        });
    if (spare == a.spec.spares.end()) {
      a.Queue(SpareDriveEvent(when, Severity::Warning, kSpareTooSmall, a.spec.spares.front(),
                              static_cast<std::uint8_t>(set), member.position));
    } else {
      // The spare takes the dropped disk's place; that disk stays attached as a free disk.
      member.deviceIndex = *spare;
      a.spec.spares.erase(spare);
      a.Queue(SpareDriveEvent(when, Severity::Informational, kSpareAddedToSet, member.deviceIndex,
                              static_cast<std::uint8_t>(set), member.position));
      StartRebuild(a, set, member, when);
      replaced = true;
    }
  }
  if (!replaced && diskGone) member.state = MemberState::Removed;
  RecomputeSetState(s);
}

std::uint32_t DriverCore::AddMember(LiveAdapter& a, std::uint8_t deviceIndex, std::uint8_t set) {
  if (set >= a.sets.size()) return status::kInvalidArrayIndex;
  LiveSet& s = a.sets[set];
  const DiskSpec* disk = deviceIndex < a.Slots() ? a.DiskAt(std::size_t{deviceIndex}) : nullptr;
  if (disk == nullptr) return status::kInvalidDeviceIndex;
  if (disk->atapi) return status::kInvalidParameter;
  if (a.IsSpare(deviceIndex) || a.IsWorkingMember(deviceIndex)) return status::kDeviceInUse;
  // A disk still listed by another set (dropped there) belongs to that set.
  for (std::size_t i = 0; i < a.sets.size(); ++i) {
    if (i == set) continue;
    for (const auto& m : a.sets[i].members) {
      if (m.deviceIndex == deviceIndex) return status::kDeviceInUse;
    }
  }
  if (s.Rebuilding()) return status::kRebuildInProgress;

  // Replace the disk's own dropped entry, else the first dropped or removed
  // member, else take the lowest free position.
  LiveMember* target = nullptr;
  for (auto& m : s.members) {
    if (m.deviceIndex == deviceIndex) target = &m;
  }
  if (target == nullptr) {
    for (auto& m : s.members) {
      if (m.state == MemberState::Dropped || m.state == MemberState::Removed) {
        target = &m;
        break;
      }
    }
  }
  std::uint8_t position = 0;
  if (target == nullptr) {
    if (s.members.size() >= s.MaxMembers()) return status::kMaxMembers;
    while (s.AtPosition(position) != nullptr) ++position;
  }
  if (disk->sectors < s.memberSectors) return status::kVolumeTooSmall;

  if (target == nullptr) {
    LiveMember added;
    added.deviceIndex = deviceIndex;
    added.position = position;
    const auto at = std::find_if(s.members.begin(), s.members.end(),
                                 [&](const LiveMember& m) { return m.position > position; });
    target = &*s.members.insert(at, added);
  }
  target->deviceIndex = deviceIndex;
  target->state = MemberState::Current;
  target->work = 0;

  a.Queue(MemberAddedEvent(last_, set, deviceIndex));
  // A striped set has nothing to rebuild from: the new member is current at once.
  if (s.Redundant()) StartRebuild(a, set, *target, last_);
  RecomputeSetState(s);
  return status::kSuccess;
}

std::uint32_t DriverCore::RemoveMember(LiveAdapter& a, std::uint8_t set, std::uint8_t position) {
  if (set >= a.sets.size()) return status::kInvalidArrayIndex;
  LiveSet& s = a.sets[set];
  const auto it = std::find_if(s.members.begin(), s.members.end(),
                               [&](const LiveMember& m) { return m.position == position; });
  if (it == s.members.end()) return status::kNotArrayMember;
  if (s.members.size() == 1) return status::kLastMember;
  const std::uint8_t deviceIndex = it->deviceIndex;
  s.members.erase(it);
  a.Queue(MemberRemovedEvent(last_, set, position, deviceIndex));
  RecomputeSetState(s);
  return status::kSuccess;
}

std::uint32_t DriverCore::DeleteSet(LiveAdapter& a, std::uint8_t set) {
  if (set >= a.sets.size()) return status::kInvalidArrayIndex;
  const SetType type = a.sets[set].spec.type;
  a.sets.erase(a.sets.begin() + set);
  a.Queue(SetEvent(last_, false, static_cast<std::uint8_t>(type)));
  return status::kSuccess;
}

std::uint32_t DriverCore::EnableSpare(LiveAdapter& a, std::uint8_t set, std::uint8_t use) {
  if (set >= a.sets.size()) return status::kInvalidArrayIndex;
  if (use > 1) return status::kInvalidParameter;
  a.sets[set].spec.spareEnabled = use == 1;
  return status::kSuccess;
}

std::uint32_t DriverCore::SetRebuildRate(LiveAdapter& a, std::uint8_t set, std::uint8_t rate) {
  if (set >= a.sets.size()) return status::kInvalidArrayIndex;
  if (rate > 100) return status::kInvalidParameter;
  a.sets[set].spec.rebuildRate = rate;
  return status::kSuccess;
}

std::uint32_t DriverCore::CreateSpare(LiveAdapter& a, std::uint8_t deviceIndex) {
  const DiskSpec* disk = deviceIndex < a.Slots() ? a.DiskAt(std::size_t{deviceIndex}) : nullptr;
  if (disk == nullptr) return status::kInvalidDeviceIndex;
  if (a.IsSpare(deviceIndex) || a.IsListedMember(deviceIndex)) return status::kDeviceInUse;
  if (disk->atapi) return status::kInvalidParameter;
  auto& spares = a.spec.spares;
  spares.insert(std::upper_bound(spares.begin(), spares.end(), deviceIndex), deviceIndex);
  a.Queue(SpareDriveEvent(last_, Severity::Informational, kSpareCreated, deviceIndex));
  return status::kSuccess;
}

std::uint32_t DriverCore::DeleteSpare(LiveAdapter& a, std::uint8_t deviceIndex) {
  const DiskSpec* disk = deviceIndex < a.Slots() ? a.DiskAt(std::size_t{deviceIndex}) : nullptr;
  if (disk == nullptr) return status::kInvalidDeviceIndex;
  auto& spares = a.spec.spares;
  const auto it = std::find(spares.begin(), spares.end(), deviceIndex);
  if (it == spares.end()) return status::kInvalidParameter;
  spares.erase(it);
  a.Queue(SpareDriveEvent(last_, Severity::Informational, kSpareDeleted, deviceIndex));
  return status::kSuccess;
}

std::uint32_t DriverCore::SetFeatures(LiveAdapter& a, std::uint8_t channel, std::uint8_t device,
                                      std::uint8_t flags) {
  DiskSpec* disk = a.DiskAt(std::uint32_t{channel}, std::uint32_t{device});
  if (disk == nullptr) return status::kInvalidDeviceIndex;
  // A feature the disk does not support stays off.
  disk->lookAheadEnabled = disk->lookAheadSupported && (flags & 0x01) != 0;
  disk->writeCacheEnabled = disk->writeCacheSupported && (flags & 0x02) != 0;
  return status::kSuccess;
}

void DriverCore::BusReset(LiveAdapter& a, std::uint8_t bus) {
  a.Queue(BusResetEvent(last_, bus));
}

}  // namespace kestrune::sim::detail
