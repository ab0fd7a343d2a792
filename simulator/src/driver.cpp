// The simulated driver: live state built from the scenario, the public entry
// points (each under one lock) and the port devices behind DeviceControl.
#include "simulator/driver.h"

#include <algorithm>
#include <cmath>
#include <cwctype>
#include <utility>

#include "driver_core.h"

namespace kestrune::sim {
namespace detail {
namespace {

std::wstring Widen(std::string_view text) {
  std::wstring wide;
  wide.reserve(text.size());
  for (const char c : text) wide.push_back(static_cast<wchar_t>(static_cast<unsigned char>(c)));
  return wide;
}

std::wstring LowerWide(std::string_view text) {
  std::wstring wide = Widen(text);
  for (auto& c : wide) c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
  return wide;
}

std::uint64_t SetCapacity(SetType type, std::uint64_t memberSectors, std::size_t members) {
  switch (type) {
    case SetType::Striped:
      return memberSectors * members;
    case SetType::Mirrored:
      return memberSectors;
    case SetType::MirroredStriped:
      return memberSectors * std::max<std::size_t>(members / 2, 1);
  }
  return memberSectors;
}

}  // namespace

// ---------------------------------------------------------------------------
// LiveSet, LiveAdapter

LiveMember* LiveSet::AtPosition(std::uint8_t position) {
  for (auto& m : members) {
    if (m.position == position) return &m;
  }
  return nullptr;
}

bool LiveSet::Rebuilding() const {
  return std::any_of(members.begin(), members.end(),
                     [](const LiveMember& m) { return m.state == MemberState::Rebuild; });
}

SetSpec LiveSet::Current(std::int64_t workPerPercent) const {
  SetSpec out = spec;
  out.location = location;
  out.members.clear();
  for (const auto& m : members) {
    MemberSpec ms;
    ms.deviceIndex = m.deviceIndex;
    ms.position = m.position;
    ms.state = m.state;
    if (m.state == MemberState::Rebuild && workPerPercent > 0) {
      ms.rebuildPercent =
          static_cast<std::uint8_t>(std::clamp<std::int64_t>(m.work / workPerPercent, 0, 99));
    }
    out.members.push_back(ms);
  }
  return out;
}

void RecomputeSetState(LiveSet& set) {
  bool complete = true;
  if (set.spec.type == SetType::Mirrored && set.members.size() < 2) complete = false;
  if (set.spec.type == SetType::MirroredStriped && set.members.size() < 4) complete = false;
  for (const auto& m : set.members) {
    if (m.state != MemberState::Current) complete = false;
  }
  set.spec.state = complete ? SetState::Online : SetState::Available;
}

std::uint32_t LiveAdapter::DevicesPerChannel() const {
  if (!Extended()) return 2;
  return std::max<std::uint32_t>(spec.devicesPerChannel, 1);
}

std::optional<std::size_t> LiveAdapter::IndexOf(std::uint32_t channel, std::uint32_t device) const {
  if (channel >= Channels() || device >= DevicesPerChannel()) return std::nullopt;
  return std::size_t{channel} * DevicesPerChannel() + device;
}

DiskSpec* LiveAdapter::DiskAt(std::size_t index) {
  for (auto& d : spec.disks) {
    if (IndexOf(d.channel, d.device) == index) return &d;
  }
  return nullptr;
}

DiskSpec* LiveAdapter::DiskAt(std::uint32_t channel, std::uint32_t device) {
  const auto index = IndexOf(channel, device);
  return index ? DiskAt(*index) : nullptr;
}

bool LiveAdapter::IsSpare(std::size_t index) const {
  return std::find(spec.spares.begin(), spec.spares.end(), index) != spec.spares.end();
}

bool LiveAdapter::IsWorkingMember(std::size_t index) const {
  for (const auto& s : sets) {
    for (const auto& m : s.members) {
      if (m.deviceIndex == index &&
          (m.state == MemberState::Current || m.state == MemberState::Rebuild)) {
        return true;
      }
    }
  }
  return false;
}

bool LiveAdapter::IsListedMember(std::size_t index) const {
  for (const auto& s : sets) {
    for (const auto& m : s.members) {
      if (m.deviceIndex == index) return true;
    }
  }
  return false;
}

// ---------------------------------------------------------------------------
// DriverCore: construction and inspection

DriverCore::DriverCore(Scenario scenario, std::shared_ptr<platform::Clock> clock)
    : clock_(std::move(clock)), initial_(std::move(scenario)) {
  start_ = Now();
  last_ = start_;
  for (const auto& spec : initial_.adapters) {
    LiveAdapter a;
    a.spec = spec;
    a.spec.disks.clear();
    a.spec.sets.clear();
    a.spec.spares.clear();
    // One disk per slot; disks outside the adapter's slots are not attached.
    for (const auto& disk : spec.disks) {
      if (a.IndexOf(disk.channel, disk.device) && a.DiskAt(disk.channel, disk.device) == nullptr) {
        a.spec.disks.push_back(disk);
      }
    }
    for (const auto& set : spec.sets) {
      LiveSet live;
      live.spec = set;
      live.spec.members.clear();
      for (const auto& m : set.members) {
        LiveMember lm;
        lm.deviceIndex = m.deviceIndex;
        lm.position = m.position;
        lm.state = m.state;
        lm.work = std::int64_t{std::min<std::uint8_t>(m.rebuildPercent, 100)} * a.WorkPerPercent();
        live.members.push_back(lm);
      }
      std::stable_sort(
          live.members.begin(), live.members.end(),
          [](const LiveMember& x, const LiveMember& y) { return x.position < y.position; });
      live.location =
          set.location.value_or(set.members.empty() ? 0 : set.members.front().deviceIndex);
      std::optional<std::uint64_t> smallest;
      for (const auto& m : live.members) {
        if (const DiskSpec* d = a.DiskAt(m.deviceIndex)) {
          smallest = std::min(smallest.value_or(d->sectors), d->sectors);
        }
      }
      live.memberSectors = smallest.value_or(0);
      live.capacity = SetCapacity(set.type, live.memberSectors, live.members.size());
      a.sets.push_back(std::move(live));
    }
    // A spare must be an attached disk that no set lists.
    for (const auto index : spec.spares) {
      if (a.DiskAt(index) != nullptr && !a.IsSpare(index) && !a.IsListedMember(index)) {
        a.spec.spares.push_back(index);
      }
    }
    adapters_.push_back(std::move(a));
  }
  timeline_ = initial_.timeline;
  std::stable_sort(
      timeline_.begin(), timeline_.end(),
      [](const TimelineStep& x, const TimelineStep& y) { return x.atSeconds < y.atSeconds; });
  for (const auto& f : initial_.faults) faults_.push_back(ActiveFault{f});
}

TimePoint DriverCore::Now() const {
  return std::chrono::floor<Micros>(clock_->Now());
}

TimePoint DriverCore::StepTime(const TimelineStep& step) const {
  // Negative and absurd times are brought into a range that cannot overflow.
  double seconds = step.atSeconds;
  if (!(seconds > 0)) seconds = 0;
  seconds = std::min(seconds, 1e12);
  return start_ + Micros(std::llround(seconds * 1e6));
}

AdapterSpec DriverCore::CurrentAdapter(std::size_t port) const {
  if (port >= adapters_.size()) return AdapterSpec{};
  const LiveAdapter& a = adapters_[port];
  AdapterSpec out = a.spec;
  for (const auto& s : a.sets) out.sets.push_back(s.Current(a.WorkPerPercent()));
  return out;
}

std::vector<AdapterView> DriverCore::Adapters() const {
  std::vector<AdapterView> views;
  for (std::size_t port = 0; port < adapters_.size(); ++port) {
    const LiveAdapter& a = adapters_[port];
    AdapterView view;
    view.port = port;
    view.present = true;
    view.name = a.Extended() ? Widen(a.spec.name) : std::wstring();
    if (!a.spec.service.empty()) {
      view.service = Widen(a.spec.service);
    } else if (a.Extended()) {
      view.service = LowerWide(a.spec.name);
    } else {
      view.service = a.Raid() ? L"bv7210r" : L"bv7210";
    }
    view.pciBus = a.spec.pciBus;
    view.pciDevice = a.spec.pciDevice;
    view.pciFunction = a.spec.pciFunction;
    const std::uint32_t perChannel = a.DevicesPerChannel();
    for (const auto& s : a.sets) {
      OsTarget t;
      t.channel = static_cast<std::uint8_t>(s.location / perChannel);
      t.device = static_cast<std::uint8_t>(s.location % perChannel);
      t.disk = true;
      t.setDisk = true;
      t.model = Widen(s.spec.name);
      view.targets.push_back(t);
    }
    for (const auto& d : a.spec.disks) {
      const auto index = a.IndexOf(d.channel, d.device);
      if (!index || a.IsListedMember(*index)) continue;
      OsTarget t;
      t.channel = d.channel;
      t.device = d.device;
      t.disk = !d.atapi;
      // A spare is held by the RAID layer: its disk device cannot start.
      t.problem = a.IsSpare(*index) ? 10U : d.problem;
      t.model = Widen(d.model);
      view.targets.push_back(t);
    }
    std::stable_sort(view.targets.begin(), view.targets.end(),
                     [](const OsTarget& x, const OsTarget& y) {
                       return std::pair(x.channel, x.device) < std::pair(y.channel, y.device);
                     });
    views.push_back(std::move(view));
  }
  return views;
}

bool DriverCore::OpenPort(std::size_t port, std::uint32_t& lastError) {
  if (port >= adapters_.size()) {
    lastError = platform::syserr::kFileNotFound;
    return false;
  }
  if (const auto error = TakeFault(port, "Open", FaultKind::CallFails)) {
    lastError = *error;
    return false;
  }
  lastError = platform::syserr::kSuccess;
  return true;
}

std::optional<std::uint32_t> DriverCore::TakeFault(std::size_t port, std::string_view request,
                                                   FaultKind kind) {
  for (auto& f : faults_) {
    if (f.spec.adapter != port || f.spec.request != request || f.spec.kind != kind) continue;
    if (f.spec.times == 0) continue;
    if (f.spec.times > 0) --f.spec.times;
    return f.spec.value;
  }
  return std::nullopt;
}

}  // namespace detail

// ---------------------------------------------------------------------------
// SimulatedDriver

struct SimulatedDriver::State {
  State(Scenario scenario, std::shared_ptr<platform::Clock> clock)
      : core(std::move(scenario), std::move(clock)) {}
  std::mutex mutex;
  detail::DriverCore core;
};

SimulatedDriver::SimulatedDriver(Scenario scenario, std::shared_ptr<platform::Clock> clock)
    : state_(std::make_unique<State>(std::move(scenario), std::move(clock))) {}

SimulatedDriver::~SimulatedDriver() = default;

std::size_t SimulatedDriver::PortCount() const {
  return state_->core.PortCount();
}

bool SimulatedDriver::OpenPort(std::size_t port, std::uint32_t& lastError) {
  std::lock_guard lock(state_->mutex);
  state_->core.Advance();
  return state_->core.OpenPort(port, lastError);
}

platform::ControlResult SimulatedDriver::Control(std::size_t port, std::uint32_t code,
                                                 std::span<std::uint8_t> buffer, std::size_t inSize,
                                                 std::size_t outSize) {
  std::lock_guard lock(state_->mutex);
  state_->core.Advance();
  return state_->core.Control(port, code, buffer, inSize, outSize);
}

void SimulatedDriver::Advance() {
  std::lock_guard lock(state_->mutex);
  state_->core.Advance();
}

void SimulatedDriver::InjectFault(const FaultSpec& fault) {
  std::lock_guard lock(state_->mutex);
  state_->core.InjectFault(fault);
}

std::uint8_t SimulatedDriver::GpioStatus(std::size_t port) {
  std::lock_guard lock(state_->mutex);
  state_->core.Advance();
  const auto* a = state_->core.Adapter(port);
  return a ? a->gpio : std::uint8_t{0};
}

std::size_t SimulatedDriver::PendingEvents(std::size_t port) {
  std::lock_guard lock(state_->mutex);
  state_->core.Advance();
  const auto* a = state_->core.Adapter(port);
  return a ? a->events.size() : 0;
}

const Scenario& SimulatedDriver::Initial() const {
  return state_->core.Initial();
}

AdapterSpec SimulatedDriver::CurrentAdapter(std::size_t port) {
  std::lock_guard lock(state_->mutex);
  state_->core.Advance();
  return state_->core.CurrentAdapter(port);
}

std::vector<AdapterView> SimulatedDriver::Adapters() {
  std::lock_guard lock(state_->mutex);
  state_->core.Advance();
  return state_->core.Adapters();
}

// ---------------------------------------------------------------------------
// SimulatedDeviceControl

SimulatedDeviceControl::SimulatedDeviceControl(std::shared_ptr<SimulatedDriver> driver)
    : driver_(std::move(driver)) {}

platform::DeviceHandle SimulatedDeviceControl::Open(const std::wstring& name,
                                                    std::uint32_t* lastError) {
  std::uint32_t error = platform::syserr::kFileNotFound;
  const auto port = ParsePortName(name);
  if (!port || !driver_->OpenPort(*port, error)) {
    if (lastError != nullptr) *lastError = error;
    return platform::kInvalidDeviceHandle;
  }
  if (lastError != nullptr) *lastError = platform::syserr::kSuccess;
  return handles_.Open(*port);
}

platform::ControlResult SimulatedDeviceControl::Control(platform::DeviceHandle handle,
                                                        std::uint32_t code,
                                                        std::span<std::uint8_t> buffer,
                                                        std::size_t inSize, std::size_t outSize) {
  const auto port = handles_.Port(handle);
  if (!port) return platform::ControlResult{false, 0, platform::syserr::kInvalidHandle};
  return driver_->Control(*port, code, buffer, inSize, outSize);
}

void SimulatedDeviceControl::Close(platform::DeviceHandle handle) { handles_.Close(handle); }

std::size_t SimulatedDeviceControl::OpenHandles() { return handles_.Count(); }

}  // namespace kestrune::sim
