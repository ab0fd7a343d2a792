// The backend's thread, its snapshot and event queues, and the three
// platform interfaces over them.
#include "host/backend.h"

#include <libudev.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <functional>

#include "host/scan.h"
#include "simulator/driver_codec.h"

namespace kestrune::host {
namespace {

// Oldest records are dropped beyond this, as the simulated driver does.
constexpr std::size_t kEventQueueCap = 1000;

// The system folder the program derives the driver folder from; only the
// driver files are answered inside it.
constexpr wchar_t kSystemRoot[] = L"/kestrune-host/WINDOWS/";

std::wstring Widen(const std::string& text) { return std::wstring(text.begin(), text.end()); }

std::wstring LowerWide(std::wstring text) {
  for (wchar_t& c : text)
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
  return text;
}

// One adapter of the snapshot as the codec sees it; its commands go to the
// change maker. A change may wait on the disks (mdadm, a cache switch): it
// runs with the backend's lock released, so that polls go on meanwhile, and
// the adapter's queue is looked up afresh each time (a poll may have
// replaced the queues).
class HostPort final : public sim::DriverAdapter {
 public:
  using StateOf = std::function<HostBackend::PortState*()>;
  using Unlocked = std::function<std::uint32_t(const std::function<std::uint32_t()>&)>;

  HostPort(const HostAdapter& adapter, StateOf state, Unlocked unlocked, ChangeMaker& changes)
      : a_(adapter), state_(std::move(state)), unlocked_(std::move(unlocked)), changes_(changes) {}

  const sim::AdapterSpec& Info() const override { return a_.info; }
  const sim::DiskSpec* DiskAt(std::size_t index) const override {
    const HostDisk* d = a_.DiskAt(index);
    return d == nullptr ? nullptr : &d->spec;
  }
  sim::IdentifyData DiskIdentify(const sim::DiskSpec& disk) const override {
    return Of(disk).identify;
  }
  sim::SmartHealth DiskHealth(const sim::DiskSpec& disk) const override { return Of(disk).health; }
  std::size_t SetCount() const override { return a_.sets.size(); }
  sim::SetSpec SetAt(std::size_t index) const override { return a_.sets.at(index).spec; }
  std::uint64_t SetCapacity(std::size_t index) const override { return a_.sets.at(index).capacity; }
  std::span<const std::uint8_t> Spares() const override { return a_.spares; }

  std::uint32_t AddMember(std::uint8_t deviceIndex, std::uint8_t set) override {
    return Change([&] { return changes_.AddMember(a_, deviceIndex, set); });
  }
  std::uint32_t RemoveMember(std::uint8_t set, std::uint8_t position) override {
    return Change([&] { return changes_.RemoveMember(a_, set, position); });
  }
  std::uint32_t DeleteSet(std::uint8_t set) override {
    return Change([&] { return changes_.DeleteSet(a_, set); });
  }
  std::uint32_t EnableSpare(std::uint8_t set, std::uint8_t use) override {
    return Change([&] { return changes_.EnableSpare(a_, set, use); });
  }
  std::uint32_t SetRebuildRate(std::uint8_t set, std::uint8_t rate) override {
    return Change([&] { return changes_.SetRebuildRate(a_, set, rate); });
  }
  std::uint32_t CreateSpare(std::uint8_t deviceIndex) override {
    return Change([&] { return changes_.CreateSpare(a_, deviceIndex); });
  }
  std::uint32_t DeleteSpare(std::uint8_t deviceIndex) override {
    return Change([&] { return changes_.DeleteSpare(a_, deviceIndex); });
  }
  std::uint32_t SetFeatures(std::uint8_t channel, std::uint8_t device,
                            std::uint8_t flags) override {
    return Change([&] { return changes_.SetFeatures(a_, channel, device, flags); });
  }
  bool ResetBus(std::uint8_t channel) override {
    return Change([&] { return changes_.ResetBus(a_, channel) ? 1U : 0U; }) != 0;
  }

  std::optional<sim::EventBytes> TakeEvent() override {
    HostBackend::PortState* state = state_();
    if (state == nullptr || state->events.empty()) return std::nullopt;
    sim::EventBytes record = state->events.front();
    state->events.pop_front();
    return record;
  }
  std::size_t PendingEvents() const override {
    const HostBackend::PortState* state = state_();
    return state == nullptr ? 0 : state->events.size();
  }
  std::uint8_t Gpio() const override {
    const HostBackend::PortState* state = state_();
    return state == nullptr ? 0 : state->gpio;
  }
  void SetGpio(std::uint8_t status) override {
    if (HostBackend::PortState* state = state_()) state->gpio = status;
  }

 private:
  std::uint32_t Change(const std::function<std::uint32_t()>& change) { return unlocked_(change); }

  // The codec hands back the disk description it was given: find the disk
  // that owns it.
  const HostDisk& Of(const sim::DiskSpec& spec) const {
    for (const HostDisk& d : a_.disks)
      if (&d.spec == &spec) return d;
    return a_.disks.front();
  }

  const HostAdapter& a_;
  StateOf state_;
  Unlocked unlocked_;
  ChangeMaker& changes_;
};

// The device manager sees the machine through the backend without owning it:
// the backend owns the device manager.
class BackendTopology final : public sim::Topology {
 public:
  explicit BackendTopology(std::weak_ptr<HostBackend> backend) : backend_(std::move(backend)) {}
  std::vector<sim::AdapterView> Adapters() override {
    const auto backend = backend_.lock();
    return backend ? backend->Adapters() : std::vector<sim::AdapterView>{};
  }

 private:
  std::weak_ptr<HostBackend> backend_;
};

class HostDeviceControl final : public platform::DeviceControl {
 public:
  explicit HostDeviceControl(std::weak_ptr<HostBackend> backend) : backend_(std::move(backend)) {}

  platform::DeviceHandle Open(const std::wstring& name, std::uint32_t* lastError) override {
    const auto port = sim::ParsePortName(name);
    const auto backend = backend_.lock();
    if (!port || !backend || !backend->PortExists(*port)) {
      if (lastError != nullptr) *lastError = platform::syserr::kFileNotFound;
      return platform::kInvalidDeviceHandle;
    }
    if (lastError != nullptr) *lastError = platform::syserr::kSuccess;
    return handles_.Open(*port);
  }

  platform::ControlResult Control(platform::DeviceHandle handle, std::uint32_t code,
                                  std::span<std::uint8_t> buffer, std::size_t inSize,
                                  std::size_t outSize) override {
    const auto port = handles_.Port(handle);
    const auto backend = backend_.lock();
    if (!port || !backend) return {false, 0, platform::syserr::kInvalidHandle};
    return backend->Control(*port, code, buffer, inSize, outSize);
  }

  void Close(platform::DeviceHandle handle) override { handles_.Close(handle); }

 private:
  std::weak_ptr<HostBackend> backend_;
  sim::PortHandles handles_;
};

// The adapters' driver files: "<system>system32/drivers/<adapter name>.sys"
// carries the kernel's release as its version and the kernel's build date as
// its date (the drivers are built with it); every other path is the real file
// system's.
class HostFiles final : public platform::Files {
 public:
  HostFiles(std::weak_ptr<HostBackend> backend, std::string release, std::optional<std::string> built,
            std::shared_ptr<platform::Files> real)
      : backend_(std::move(backend)),
        release_(std::move(release)),
        built_(std::move(built)),
        real_(std::move(real)) {}

  std::optional<std::string> ModificationTimeText(const std::wstring& path) override {
    bool inside = false;
    const auto driver = DriverOf(path, inside);
    if (!inside) return real_ ? real_->ModificationTimeText(path) : std::nullopt;
    if (!driver) return std::nullopt;
    return built_;
  }

  std::optional<std::vector<std::uint8_t>> VersionResource(const std::wstring& path) override {
    bool inside = false;
    const auto driver = DriverOf(path, inside);
    if (!inside) return real_ ? real_->VersionResource(path) : std::nullopt;
    if (!driver) return std::nullopt;
    const std::wstring version = Widen(release_.empty() ? std::string("0") : release_);
    platform::VersionInfoSpec info;
    info.tables.push_back({L"000004b0",
                           {{L"CompanyName", L"Linux"},
                            {L"FileDescription", L"Linux kernel driver " + Widen(*driver)},
                            {L"FileVersion", version},
                            {L"ProductName", L"Linux md RAID"},
                            {L"ProductVersion", version}}});
    info.translations = {{0x0000, 0x04B0}};
    return platform::BuildVersionResource(info);
  }

 private:
  // The kernel driver of the adapter a driver file path names.
  std::optional<std::string> DriverOf(const std::wstring& path, bool& inside) const {
    std::wstring normal;
    for (wchar_t c : path) {
      if (c == L'\\') c = L'/';
      if (c == L'/' && !normal.empty() && normal.back() == L'/') continue;
      normal.push_back(c);
    }
    normal = LowerWide(normal);
    const std::wstring root = LowerWide(kSystemRoot);
    inside = normal.compare(0, root.size(), root) == 0;
    if (!inside) return std::nullopt;
    const std::wstring folder = root + L"system32/drivers/";
    if (normal.compare(0, folder.size(), folder) != 0 || normal.size() < folder.size() + 5 ||
        normal.compare(normal.size() - 4, 4, L".sys") != 0)
      return std::nullopt;
    const std::wstring name = normal.substr(folder.size(), normal.size() - folder.size() - 4);
    const auto backend = backend_.lock();
    if (!backend) return std::nullopt;
    const auto snapshot = backend->Snapshot();
    for (const HostAdapter& a : snapshot->adapters)
      if (LowerWide(Widen(a.info.name)) == name) return a.info.service;
    return std::nullopt;
  }

  std::weak_ptr<HostBackend> backend_;
  std::string release_;
  std::optional<std::string> built_;
  std::shared_ptr<platform::Files> real_;
};

// Notices of block devices (disks and md arrays) arriving, leaving or
// changing. udev's own come once its rules have run and the device nodes
// exist; where no udev daemon runs (a container, a build machine) the
// kernel's come straight. Either only wakes the poll, which reads sysfs, so
// the source matters only for how early a new disk's node is there.
class UdevMonitor {
 public:
  explicit UdevMonitor(bool wanted) {
    if (!wanted) return;
    udev_ = udev_new();
    if (udev_ == nullptr) return;
    const char* source = ::access("/run/udev/control", F_OK) == 0 ? "udev" : "kernel";
    monitor_ = udev_monitor_new_from_netlink(udev_, source);
    if (monitor_ == nullptr) return;
    if (udev_monitor_filter_add_match_subsystem_devtype(monitor_, "block", nullptr) < 0 ||
        udev_monitor_enable_receiving(monitor_) < 0) {
      udev_monitor_unref(monitor_);
      monitor_ = nullptr;
    }
  }
  ~UdevMonitor() {
    if (monitor_ != nullptr) udev_monitor_unref(monitor_);
    if (udev_ != nullptr) udev_unref(udev_);
  }
  UdevMonitor(const UdevMonitor&) = delete;
  UdevMonitor& operator=(const UdevMonitor&) = delete;

  // -1 without notices.
  int Fd() const { return monitor_ != nullptr ? udev_monitor_get_fd(monitor_) : -1; }
  // What the notices say does not matter: the poll reads the machine whole.
  // The socket does not block, so this ends when it is empty.
  void Drain() {
    for (int n = 0; n < 1000; ++n) {
      udev_device* device = udev_monitor_receive_device(monitor_);
      if (device == nullptr) break;
      udev_device_unref(device);
    }
  }

 private:
  udev* udev_ = nullptr;
  udev_monitor* monitor_ = nullptr;
};

std::string Signature(const std::vector<sim::AdapterView>& views) {
  std::string s;
  for (const auto& v : views) {
    s += std::to_string(v.port) + "|" + std::string(v.name.begin(), v.name.end()) + ";";
    for (const auto& t : v.targets)
      s += std::to_string(t.channel) + "." + std::to_string(t.device) + ":" +
           std::to_string(t.problem) + (t.setDisk ? "s" : "") + ",";
  }
  return s;
}

}  // namespace

HostBackend::HostBackend(HostOptions options) : options_(std::move(options)) {
  source_ = options_.files ? options_.files : MakeRootedFiles(options_.root);
  kernelRelease_ = ReadWord(*source_, "/proc/sys/kernel/osrelease").value_or(std::string());
  auto log = [this, inner = options_.changeLog](const ChangeRecord& record) {
    if (inner) inner(record);
    changeRecords_.push_back(record);  // under requestMutex_: in a request
  };
  changes_ = std::make_unique<ChangeMaker>(source_, options_.runner, options_.signatures,
                                           options_.changesAllowed, log);
  snapshot_ = std::make_shared<HostSnapshot>();
  wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

std::shared_ptr<HostBackend> HostBackend::Start(HostOptions options) {
  std::shared_ptr<HostBackend> backend(new HostBackend(std::move(options)));
  backend->deviceControl_ = std::make_shared<HostDeviceControl>(backend);
  backend->files_ = std::make_shared<HostFiles>(
      backend, backend->kernelRelease_,
      KernelBuildDate(ReadWord(*backend->source_, "/proc/sys/kernel/version").value_or("")),
      backend->options_.realFiles);
  backend->Poll();
  backend->deviceManager_ = std::make_shared<sim::SimulatedDeviceManager>(
      std::make_shared<BackendTopology>(backend));
  // The disks of the machine are switched off by its administrator, not here.
  backend->deviceManager_->RefuseStateChanges();
  if (backend->options_.thread)
    backend->thread_ = std::jthread([raw = backend.get()](std::stop_token stop) { raw->Run(stop); });
  return backend;
}

HostBackend::~HostBackend() {
  if (thread_.joinable()) {
    thread_.request_stop();
    Wake();
    thread_.join();
  }
  if (wakeFd_ >= 0) ::close(wakeFd_);
}

std::wstring HostBackend::MediaPath() const { return std::wstring(kSystemRoot) + L"Media"; }

void HostBackend::Run(std::stop_token stop) {
  using Clock = std::chrono::steady_clock;
  // A disk arriving or leaving brings the next poll forward where notices
  // come; without them the next poll finds it all the same. Notices come in
  // bursts (a disk and its partitions, an array and its members): the poll
  // waits a moment for the rest of the burst.
  constexpr auto kSettle = std::chrono::milliseconds(100);
  UdevMonitor udev(options_.root == "/" || options_.root.empty());
  auto due = Clock::now() + options_.interval;
  while (!stop.stop_requested()) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(due - Clock::now());
    pollfd fds[2] = {{wakeFd_, POLLIN, 0}, {udev.Fd(), POLLIN, 0}};
    const nfds_t count = udev.Fd() >= 0 ? 2 : 1;
    bool now = left.count() <= 0;
    if (!now && ::poll(fds, count, static_cast<int>(left.count())) > 0) {
      if ((fds[0].revents & POLLIN) != 0) {
        std::uint64_t value = 0;
        static_cast<void>(::read(wakeFd_, &value, sizeof value));
        now = true;
      }
      if (count == 2 && (fds[1].revents & POLLIN) != 0) {
        udev.Drain();
        due = std::min(due, Clock::now() + kSettle);
      }
    }
    if (stop.stop_requested()) break;
    if (!now && Clock::now() < due) continue;
    Poll();
    due = Clock::now() + options_.interval;
  }
}

void HostBackend::Wake() {
  const std::uint64_t one = 1;
  if (wakeFd_ >= 0) static_cast<void>(::write(wakeFd_, &one, sizeof one));
}

void HostBackend::Poll() { Refresh(true); }

void HostBackend::Refresh(bool askDisks) {
  std::lock_guard pollLock(pollMutex_);
  const MachineFacts facts = ScanMachine(*source_, scanCache_);
  MappingContext context;
  context.kernelRelease = kernelRelease_;
  context.health = health_;
  auto next = std::make_shared<HostSnapshot>(BuildSnapshot(facts, memory_, context));
  if (options_.smart && askDisks) {
    ProbeSmart(*next);
    for (HostAdapter& a : next->adapters)
      for (HostDisk& d : a.disks)
        if (const auto it = health_.find(d.name); it != health_.end()) d.health = it->second;
  }
  const auto now = std::chrono::floor<sim::EventMicros>(
      options_.clock ? options_.clock->Now() : std::chrono::system_clock::now());
  std::shared_ptr<const HostSnapshot> before;
  {
    std::lock_guard lock(mutex_);
    before = snapshot_;
  }
  const bool first = !polled_;
  polled_ = true;
  auto events = DiffSnapshots(first ? nullptr : before.get(), *next, now);
  {
    std::lock_guard lock(mutex_);
    // Queues follow their adapter by its key.
    std::vector<PortState> ports(next->adapters.size());
    for (std::size_t p = 0; p < ports.size(); ++p) {
      ports[p].key = next->adapters[p].key;
      for (PortState& old : ports_)
        if (old.key == ports[p].key) ports[p] = std::move(old);
      for (const auto& e : events[p]) {
        while (ports[p].events.size() >= kEventQueueCap) ports[p].events.pop_front();
        ports[p].events.push_back(e);
      }
    }
    ports_ = std::move(ports);
    snapshot_ = next;
  }
  // The system follows its disks by itself: the device manager's view is
  // taken again whenever what the system sees changed.
  const std::string signature = Signature(TopologyOf(*next));
  if (signature != topologySignature_) {
    topologySignature_ = signature;
    if (deviceManager_) deviceManager_->FollowTopology();
  }
}

void HostBackend::ProbeSmart(const HostSnapshot& snapshot) {
  const auto now = options_.clock ? options_.clock->Now() : std::chrono::system_clock::now();
  for (const HostAdapter& a : snapshot.adapters) {
    for (const HostDisk& d : a.disks) {
      const auto asked = smartAskedAt_.find(d.name);
      if (asked != smartAskedAt_.end() && now - asked->second < options_.smartInterval) continue;
      smartAskedAt_[d.name] = now;
      SmartTarget target;
      target.name = d.name;
      target.devicePath = "/dev/" + d.name;
      target.ata = d.ata;
      target.nvme = d.nvme;
      target.nvmeController = d.nvmeController;
      target.smartEnabled = d.spec.smartSupported && d.spec.smartEnabled;
      if (const auto health = options_.smart->Health(target)) {
        health_[d.name] = *health;
      } else if (health_.count(d.name) == 0) {
        health_[d.name] = sim::SmartHealth::Unknown;
      }
    }
  }
  // Disks that left are asked afresh when they come back.
  for (auto it = smartAskedAt_.begin(); it != smartAskedAt_.end();) {
    bool present = false;
    for (const HostAdapter& a : snapshot.adapters) present = present || a.DiskNamed(it->first);
    if (present) {
      ++it;
    } else {
      health_.erase(it->first);
      it = smartAskedAt_.erase(it);
    }
  }
}

std::shared_ptr<const HostSnapshot> HostBackend::Snapshot() const {
  std::lock_guard lock(mutex_);
  return snapshot_;
}

std::size_t HostBackend::PendingEvents(std::size_t port) const {
  std::lock_guard lock(mutex_);
  return port < ports_.size() ? ports_[port].events.size() : 0;
}

bool HostBackend::PortExists(std::size_t port) const {
  std::lock_guard lock(mutex_);
  return port < snapshot_->adapters.size();
}

std::vector<sim::AdapterView> HostBackend::Adapters() { return TopologyOf(*Snapshot()); }

platform::ControlResult HostBackend::Control(std::size_t port, std::uint32_t code,
                                             std::span<std::uint8_t> buffer, std::size_t inSize,
                                             std::size_t outSize) {
  // One request at a time; a poll is not held up by it.
  std::lock_guard request(requestMutex_);
  std::unique_lock lock(mutex_);
  const auto snapshot = snapshot_;
  if (port >= snapshot->adapters.size()) return {false, 0, platform::syserr::kInvalidHandle};
  const std::string key = snapshot->adapters[port].key;
  auto state = [this, &key]() -> PortState* {
    for (PortState& p : ports_)
      if (p.key == key) return &p;
    return nullptr;
  };
  auto unlocked = [&lock](const std::function<std::uint32_t()>& change) {
    lock.unlock();
    const std::uint32_t status = change();
    lock.lock();
    return status;
  };
  HostPort view(snapshot->adapters[port], state, unlocked, *changes_);
  changeRecords_.clear();
  const platform::ControlResult result =
      sim::AnswerControl(view, code, buffer, inSize, outSize, nullptr);
  // Every change made or refused is an entry of the log.
  const auto now = std::chrono::floor<sim::EventMicros>(
      options_.clock ? options_.clock->Now() : std::chrono::system_clock::now());
  bool made = false;
  for (const ChangeRecord& r : changeRecords_) {
    made = made || r.done;
    PortState* queue = state();
    if (queue == nullptr) continue;
    if (queue->events.size() >= kEventQueueCap) queue->events.pop_front();
    queue->events.push_back(sim::ArrayNoticeEvent(
        now, r.done ? sim::ArrayNotice::ChangeMade : sim::ArrayNotice::ChangeRefused, 0,
        r.what + (r.done ? " done" : " refused")));
  }
  changeRecords_.clear();
  lock.unlock();
  // What the change made is read back at once, so that the requests after it
  // see it; the disks are not asked for their health here.
  if (made) Refresh(false);
  return result;
}

}  // namespace kestrune::host
