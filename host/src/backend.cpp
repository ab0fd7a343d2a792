// The backend's thread, its snapshot and event queues, and the three
// platform interfaces over them.
#include "host/backend.h"

#include <sys/stat.h>

#include <ctime>

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
// change maker.
class HostPort final : public sim::DriverAdapter {
 public:
  HostPort(const HostAdapter& adapter, HostBackend::PortState& state, ChangeMaker& changes)
      : a_(adapter), state_(state), changes_(changes) {}

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
    return changes_.AddMember(a_, deviceIndex, set);
  }
  std::uint32_t RemoveMember(std::uint8_t set, std::uint8_t position) override {
    return changes_.RemoveMember(a_, set, position);
  }
  std::uint32_t DeleteSet(std::uint8_t set) override { return changes_.DeleteSet(a_, set); }
  std::uint32_t EnableSpare(std::uint8_t set, std::uint8_t use) override {
    return changes_.EnableSpare(a_, set, use);
  }
  std::uint32_t SetRebuildRate(std::uint8_t set, std::uint8_t rate) override {
    return changes_.SetRebuildRate(a_, set, rate);
  }
  std::uint32_t CreateSpare(std::uint8_t deviceIndex) override {
    return changes_.CreateSpare(a_, deviceIndex);
  }
  std::uint32_t DeleteSpare(std::uint8_t deviceIndex) override {
    return changes_.DeleteSpare(a_, deviceIndex);
  }
  std::uint32_t SetFeatures(std::uint8_t channel, std::uint8_t device,
                            std::uint8_t flags) override {
    return changes_.SetFeatures(a_, channel, device, flags);
  }
  bool ResetBus(std::uint8_t channel) override { return changes_.ResetBus(a_, channel); }

  std::optional<sim::EventBytes> TakeEvent() override {
    if (state_.events.empty()) return std::nullopt;
    sim::EventBytes record = state_.events.front();
    state_.events.pop_front();
    return record;
  }
  std::size_t PendingEvents() const override { return state_.events.size(); }
  std::uint8_t Gpio() const override { return state_.gpio; }
  void SetGpio(std::uint8_t status) override { state_.gpio = status; }

 private:
  // The codec hands back the spec it was given: find the disk that owns it.
  const HostDisk& Of(const sim::DiskSpec& spec) const {
    for (const HostDisk& d : a_.disks)
      if (&d.spec == &spec) return d;
    return a_.disks.front();
  }

  const HostAdapter& a_;
  HostBackend::PortState& state_;
  ChangeMaker& changes_;
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
// carries the kernel's release as its version and the time the driver was
// loaded; every other path is the real file system's.
class HostFiles final : public platform::Files {
 public:
  HostFiles(std::weak_ptr<HostBackend> backend, std::string root, std::string release,
            std::shared_ptr<platform::Files> real)
      : backend_(std::move(backend)),
        root_(std::move(root)),
        release_(std::move(release)),
        real_(std::move(real)) {}

  std::optional<std::string> ModificationTimeText(const std::wstring& path) override {
    bool inside = false;
    const auto driver = DriverOf(path, inside);
    if (!inside) return real_ ? real_->ModificationTimeText(path) : std::nullopt;
    if (!driver) return std::nullopt;
    std::string module = root_ == "/" ? std::string() : root_;
    while (!module.empty() && module.back() == '/') module.pop_back();
    module += "/sys/module/" + *driver;
    struct stat st {};
    if (::stat(module.c_str(), &st) != 0) return std::nullopt;
    char buffer[64] = {};
    const std::time_t when = st.st_mtime;
    if (ctime_r(&when, buffer) == nullptr) return std::nullopt;
    std::string text(buffer);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
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
  std::string root_;
  std::string release_;
  std::shared_ptr<platform::Files> real_;
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
  // A change is read back at once: the refresh thread is woken after it.
  auto log = [this, inner = options_.changeLog](const ChangeRecord& record) {
    if (inner) inner(record);
    changeRecords_.push_back(record);  // under mutex_: in a request
    if (record.done) Wake();
  };
  changes_ = std::make_unique<ChangeMaker>(source_, options_.runner, options_.signatures,
                                           options_.changesAllowed, log);
  snapshot_ = std::make_shared<HostSnapshot>();
}

std::shared_ptr<HostBackend> HostBackend::Start(HostOptions options) {
  std::shared_ptr<HostBackend> backend(new HostBackend(std::move(options)));
  backend->deviceControl_ = std::make_shared<HostDeviceControl>(backend);
  backend->files_ = std::make_shared<HostFiles>(backend, backend->options_.root,
                                                backend->kernelRelease_,
                                                backend->options_.realFiles);
  backend->Poll();
  backend->deviceManager_ = std::make_shared<sim::SimulatedDeviceManager>(backend);
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
}

std::wstring HostBackend::MediaPath() const { return std::wstring(kSystemRoot) + L"Media"; }

void HostBackend::Run(std::stop_token stop) {
  while (!stop.stop_requested()) {
    {
      std::unique_lock lock(wakeMutex_);
      wake_.wait_for(lock, stop, options_.interval, [&] { return woken_; });
      woken_ = false;
    }
    if (stop.stop_requested()) break;
    Poll();
  }
}

void HostBackend::Wake() {
  {
    std::lock_guard lock(wakeMutex_);
    woken_ = true;
  }
  wake_.notify_all();
}

void HostBackend::Poll() {
  std::lock_guard pollLock(pollMutex_);
  const MachineFacts facts = ScanMachine(*source_, scanCache_);
  MappingContext context;
  context.kernelRelease = kernelRelease_;
  context.health = health_;
  auto next = std::make_shared<HostSnapshot>(BuildSnapshot(facts, memory_, context));
  if (options_.smart) {
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
  std::unique_lock lock(mutex_);
  const auto snapshot = snapshot_;
  if (port >= snapshot->adapters.size() || port >= ports_.size())
    return {false, 0, platform::syserr::kInvalidHandle};
  HostPort view(snapshot->adapters[port], ports_[port], *changes_);
  changeRecords_.clear();
  const platform::ControlResult result =
      sim::AnswerControl(view, code, buffer, inSize, outSize, nullptr);
  // Every change made or refused is an entry of the log.
  const auto now = std::chrono::floor<sim::EventMicros>(
      options_.clock ? options_.clock->Now() : std::chrono::system_clock::now());
  for (const ChangeRecord& r : changeRecords_) {
    auto& queue = ports_[port].events;
    if (queue.size() >= kEventQueueCap) queue.pop_front();
    queue.push_back(sim::ArrayNoticeEvent(
        now, r.done ? sim::ArrayNotice::ChangeMade : sim::ArrayNotice::ChangeRefused, 0,
        r.what + (r.done ? " done" : " refused")));
  }
  changeRecords_.clear();
  return result;
}

}  // namespace kestrune::host
