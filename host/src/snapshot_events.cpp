// Events from two successive snapshots, as the adapters' driver would have
// queued them: devices, members, rebuilds, spares and sets of each adapter,
// and notices for the arrays no set stands for.
#include <algorithm>

#include "host/snapshot.h"

namespace kestrune::host {
namespace {

using sim::MemberState;
using sim::Severity;

// SRB status of a disk that has gone from its port, and of a failed request.
constexpr std::uint8_t kSrbSelectionTimeout = 10;
constexpr std::uint8_t kSrbError = 4;
constexpr std::uint8_t kReasonPortError = 1;
constexpr std::uint8_t kReasonScsiError = 2;

bool Contains(const std::vector<std::string>& list, const std::string& value) {
  return std::find(list.begin(), list.end(), value) != list.end();
}

bool Working(MemberState state) {
  return state == MemberState::Current || state == MemberState::Rebuild;
}

class Differ {
 public:
  Differ(const HostSnapshot* before, const HostSnapshot& after, sim::EventTime when)
      : before_(before), after_(after), when_(when), out_(after.adapters.size()) {}

  std::vector<std::vector<sim::EventBytes>> Run() {
    if (before_ != nullptr) {
      for (std::size_t port = 0; port < after_.adapters.size(); ++port) {
        const HostAdapter& now = after_.adapters[port];
        for (const HostAdapter& old : before_->adapters)
          if (old.key == now.key) Adapter(port, old, now);
      }
    }
    Arrays();
    return std::move(out_);
  }

 private:
  void Queue(std::size_t port, const sim::EventBytes& e) {
    if (port < out_.size()) out_[port].push_back(e);
  }

  void Adapter(std::size_t port, const HostAdapter& old, const HostAdapter& now) {
    // New and changed disks first, then what happened in the sets, then
    // the disks that left.
    for (const HostDisk& d : now.disks) {
      const HostDisk* was = old.DiskAt(d.index);
      if (was == nullptr)
        Queue(port, sim::DeviceEvent(sim::event_class::kNewDevice, when_, Severity::Informational,
                                     d.spec.channel, d.spec.device, d.spec.model));
      else if (was->identity != d.identity)
        Queue(port, sim::DeviceEvent(sim::event_class::kDeviceChanged, when_,
                                     Severity::Informational, d.spec.channel, d.spec.device,
                                     d.spec.model));
    }
    for (std::size_t i = 0; i < old.sets.size(); ++i) {
      const HostSet& s = old.sets[i];
      const auto it = std::find_if(now.sets.begin(), now.sets.end(),
                                   [&](const HostSet& n) { return n.array == s.array; });
      if (it == now.sets.end())
        Queue(port, sim::SetEvent(when_, false, static_cast<std::uint8_t>(s.spec.type)));
    }
    for (std::size_t i = 0; i < now.sets.size(); ++i) {
      const HostSet& s = now.sets[i];
      const auto it = std::find_if(old.sets.begin(), old.sets.end(),
                                   [&](const HostSet& o) { return o.array == s.array; });
      if (it == old.sets.end()) {
        Queue(port, sim::SetEvent(when_, true, static_cast<std::uint8_t>(s.spec.type)));
      } else {
        Set(port, static_cast<std::uint8_t>(i), old, *it, now, s);
      }
    }
    // Spares that came and went outside the sets' own changes.
    for (std::uint8_t index : now.spares) {
      const HostDisk* d = now.DiskAt(index);
      const bool was = std::find(old.spares.begin(), old.spares.end(), index) != old.spares.end() &&
                       old.DiskAt(index) != nullptr && d != nullptr &&
                       old.DiskAt(index)->identity == d->identity;
      if (!was)
        Queue(port, sim::SpareDriveEvent(when_, Severity::Informational, sim::kSpareCreated, index));
    }
    for (std::uint8_t index : old.spares) {
      const HostDisk* d = old.DiskAt(index);
      const HostDisk* still = now.DiskAt(index);
      if (d == nullptr || still == nullptr || still->identity != d->identity) continue;
      if (std::find(now.spares.begin(), now.spares.end(), index) != now.spares.end()) continue;
      if (joined_.count(index) != 0) continue;
      Queue(port, sim::SpareDriveEvent(when_, Severity::Informational, sim::kSpareDeleted, index));
    }
    joined_.clear();
    for (const HostDisk& d : old.disks) {
      const HostDisk* is = now.DiskAt(d.index);
      if (is == nullptr)
        Queue(port, sim::DeviceEvent(sim::event_class::kDeviceRemoved, when_, Severity::Warning,
                                     d.spec.channel, d.spec.device, d.spec.model));
    }
  }

  static const sim::MemberSpec* MemberOf(const HostSet& s, const std::string& device,
                                         std::size_t* at = nullptr) {
    for (std::size_t k = 0; k < s.members.size(); ++k) {
      if (s.members[k].device == device) {
        if (at != nullptr) *at = k;
        return &s.spec.members[k];
      }
    }
    return nullptr;
  }

  void Set(std::size_t port, std::uint8_t index, const HostAdapter& oldAdapter, const HostSet& old,
           const HostAdapter& nowAdapter, const HostSet& now) {
    for (std::size_t k = 0; k < old.members.size(); ++k) {
      const sim::MemberSpec& was = old.spec.members[k];
      const HostDisk* disk = nowAdapter.DiskNamed(old.members[k].disk);
      const bool gone = disk == nullptr;
      const sim::MemberSpec* is = MemberOf(now, old.members[k].device);
      if (is == nullptr) {
        if (Working(was.state) && (gone || Contains(now.faulty, old.members[k].device))) {
          Queue(port, sim::MemberDroppedEvent(when_, index, was.position,
                                              gone ? kReasonPortError : kReasonScsiError,
                                              gone ? kSrbSelectionTimeout : kSrbError,
                                              was.deviceIndex));
        } else if (!gone) {
          Queue(port, sim::MemberRemovedEvent(when_, index, was.position, was.deviceIndex));
        }
        continue;
      }
      if (Working(was.state) && is->state == MemberState::Dropped) {
        Queue(port, sim::MemberDroppedEvent(when_, index, is->position,
                                            gone ? kReasonPortError : kReasonScsiError,
                                            gone ? kSrbSelectionTimeout : kSrbError,
                                            is->deviceIndex));
      } else if (was.state == MemberState::Rebuild && is->state == MemberState::Current) {
        Queue(port, sim::RebuildEvent(when_, Severity::Informational, index, is->position,
                                      sim::kRebuildComplete, is->deviceIndex));
      } else if (was.state != MemberState::Rebuild && is->state == MemberState::Rebuild) {
        Queue(port, sim::RebuildEvent(when_, Severity::Warning, index, is->position,
                                      sim::kRebuildStarted, is->deviceIndex));
      }
    }
    for (std::size_t k = 0; k < now.members.size(); ++k) {
      if (MemberOf(old, now.members[k].device) != nullptr) continue;
      const sim::MemberSpec& m = now.spec.members[k];
      // A failed member whose disk came back has not joined anything.
      if (!Working(m.state)) continue;
      const bool wasSpare = Contains(old.spares, now.members[k].disk) &&
                            oldAdapter.DiskNamed(now.members[k].disk) != nullptr;
      if (wasSpare) {
        joined_.insert(m.deviceIndex);
        Queue(port, sim::SpareDriveEvent(when_, Severity::Informational, sim::kSpareAddedToSet,
                                         m.deviceIndex, index, m.position));
      } else {
        Queue(port, sim::MemberAddedEvent(when_, index, m.deviceIndex));
      }
      if (m.state == MemberState::Rebuild)
        Queue(port, sim::RebuildEvent(when_, Severity::Warning, index, m.position,
                                      sim::kRebuildStarted, m.deviceIndex));
    }
  }

  void Notice(const UnshownArray& a, sim::ArrayNotice notice, const std::string& what) {
    if (!a.port) return;
    std::string text = a.name + " " + a.level + " " + what;
    Queue(*a.port, sim::ArrayNoticeEvent(when_, notice, a.percent.value_or(0), text));
  }

  static bool Stopped(const std::string& state) {
    return state == "inactive" || state == "clear" || state == "broken";
  }

  void Arrays() {
    for (const UnshownArray& a : after_.arrays) {
      const UnshownArray* was = nullptr;
      if (before_ != nullptr)
        for (const UnshownArray& o : before_->arrays)
          if (o.name == a.name) was = &o;
      if (was == nullptr) {
        const bool first = before_ == nullptr;
        if (!first) Notice(a, sim::ArrayNotice::Appeared, "assembled");
        if (Stopped(a.arrayState)) {
          Notice(a, sim::ArrayNotice::Failed, a.arrayState);
        } else if (a.degraded > 0) {
          Notice(a, sim::ArrayNotice::Degraded,
                 "degraded, " + std::to_string(a.degraded) + " missing");
        }
        continue;
      }
      for (const std::string& f : a.faulty)
        if (!Contains(was->faulty, f)) Notice(a, sim::ArrayNotice::MemberFailed, f + " faulty");
      if (Stopped(a.arrayState) && !Stopped(was->arrayState))
        Notice(a, sim::ArrayNotice::Failed, a.arrayState);
      if (a.degraded > 0 && was->degraded == 0)
        Notice(a, sim::ArrayNotice::Degraded,
               "degraded, " + std::to_string(a.degraded) + " missing");
      for (const std::string& r : a.recovering)
        if (!Contains(was->recovering, r)) Notice(a, sim::ArrayNotice::RebuildStarted, "rebuilding " + r);
      for (const std::string& r : was->recovering)
        if (!Contains(a.recovering, r) && !Contains(a.faulty, r))
          Notice(a, sim::ArrayNotice::RebuildComplete, "rebuilt " + r);
      if (a.degraded == 0 && was->degraded > 0)
        Notice(a, sim::ArrayNotice::Recovered, "redundant again");
    }
    if (before_ == nullptr) return;
    for (const UnshownArray& o : before_->arrays) {
      const bool still = std::any_of(after_.arrays.begin(), after_.arrays.end(),
                                     [&](const UnshownArray& a) { return a.name == o.name; });
      if (!still) Notice(o, sim::ArrayNotice::Gone, "stopped");
    }
  }

  const HostSnapshot* before_;
  const HostSnapshot& after_;
  sim::EventTime when_;
  std::vector<std::vector<sim::EventBytes>> out_;
  std::set<std::uint8_t> joined_;
};

}  // namespace

std::vector<std::vector<sim::EventBytes>> DiffSnapshots(const HostSnapshot* before,
                                                        const HostSnapshot& after,
                                                        sim::EventTime when) {
  return Differ(before, after, when).Run();
}

}  // namespace kestrune::host
