// The machine's own disks and md arrays behind the same three platform
// interfaces the simulator answers: device control (the driver's requests,
// answered by the shared codec from the latest snapshot), the device
// manager's view of the disks, and the driver files. The snapshot is
// refreshed on the backend's own thread; a request that reads never waits for
// a disk, and one that changes a disk (mdadm, a cache switch) holds up no
// poll while it waits.
#pragma once

#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "host/changes.h"
#include "host/smart.h"
#include "host/snapshot.h"
#include "host/sysfs.h"
#include "platform/clock.h"
#include "platform/device_control.h"
#include "platform/files.h"
#include "simulator/device_manager.h"

namespace kestrune::host {

struct HostOptions {
  // Prefixes every kernel file the backend reads.
  std::string root = "/";
  // The files below the root; without them, the real ones.
  std::shared_ptr<FileSource> files;
  std::shared_ptr<platform::Clock> clock;
  // The program's own refresh thread; tests poll by hand instead.
  bool thread = true;
  std::chrono::milliseconds interval{1000};
  // Changes to the hardware: only as root and only when the setting allows.
  bool changesAllowed = false;
  std::shared_ptr<CommandRunner> runner;
  std::shared_ptr<SignatureProbe> signatures;
  // SMART health; without it every disk's is unknown ("N/A").
  std::shared_ptr<SmartProbe> smart;
  std::chrono::seconds smartInterval = std::chrono::minutes(10);
  // Every change made or refused, for the log and the journal.
  std::function<void(const ChangeRecord&)> changeLog;
  // Files outside the driver folder.
  std::shared_ptr<platform::Files> realFiles;
};

class HostBackend final : public sim::Topology,
                          public std::enable_shared_from_this<HostBackend> {
 public:
  // Reads the machine once before it returns, so discovery finds it.
  static std::shared_ptr<HostBackend> Start(HostOptions options);
  ~HostBackend() override;

  std::shared_ptr<platform::DeviceControl> DeviceControl() const { return deviceControl_; }
  std::shared_ptr<sim::SimulatedDeviceManager> DeviceManager() const { return deviceManager_; }
  std::shared_ptr<platform::Files> Files() const { return files_; }
  // The media folder of the system folder the driver files are found in.
  std::wstring MediaPath() const;

  // One refresh now: scan, map, queue the events of what changed.
  void Poll();
  // Wakes the refresh thread early (a hot-plug notice).
  void Wake();
  std::shared_ptr<const HostSnapshot> Snapshot() const;
  std::size_t PendingEvents(std::size_t port) const;
  // Changes to the hardware: the machine allows them only to root with the
  // setting on.
  void SetChangesAllowed(bool allowed) { changes_->SetAllowed(allowed); }
  bool ChangesAllowed() const { return changes_->IsAllowed(); }

  std::vector<sim::AdapterView> Adapters() override;

  // One device-control call on a port (see platform::DeviceControl).
  platform::ControlResult Control(std::size_t port, std::uint32_t code,
                                  std::span<std::uint8_t> buffer, std::size_t inSize,
                                  std::size_t outSize);
  bool PortExists(std::size_t port) const;

  HostBackend(const HostBackend&) = delete;
  HostBackend& operator=(const HostBackend&) = delete;

  struct PortState {
    std::string key;
    std::deque<sim::EventBytes> events;
    std::uint8_t gpio = 0;
  };

 private:
  explicit HostBackend(HostOptions options);
  void Run(std::stop_token stop);
  // One refresh; `askDisks` lets it ask the disks for their health where due.
  void Refresh(bool askDisks);
  void ProbeSmart(const HostSnapshot& snapshot);

  HostOptions options_;
  std::shared_ptr<FileSource> source_;
  std::string kernelRelease_;
  std::shared_ptr<platform::DeviceControl> deviceControl_;
  std::shared_ptr<sim::SimulatedDeviceManager> deviceManager_;
  std::shared_ptr<platform::Files> files_;
  std::unique_ptr<ChangeMaker> changes_;

  std::mutex pollMutex_;  // one poll at a time; guards memory_ and smart state
  PositionMemory memory_;
  ScanCache scanCache_;
  std::map<std::string, sim::SmartHealth> health_;
  std::map<std::string, std::chrono::system_clock::time_point> smartAskedAt_;
  std::string topologySignature_;
  bool polled_ = false;

  // One request at a time; guards changeRecords_. Taken before mutex_ and
  // pollMutex_, never while either is held.
  std::mutex requestMutex_;
  std::vector<ChangeRecord> changeRecords_;  // of the request being answered

  // The snapshot, the queues and LED bytes; never held while a change or a
  // scan waits.
  mutable std::mutex mutex_;
  std::shared_ptr<const HostSnapshot> snapshot_;
  std::vector<PortState> ports_;

  int wakeFd_ = -1;  // an eventfd: Wake() and stopping end the thread's wait
  std::jthread thread_;
};

}  // namespace kestrune::host
