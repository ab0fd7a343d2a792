// The simulated device manager: DiskDrive and SCSIAdapter device nodes built
// from the driver's topology, with problem numbers, removal and re-enumeration.
#pragma once

#include <memory>
#include <mutex>

#include "platform/device_installer.h"
#include "simulator/topology.h"

namespace kestrune::sim {

inline constexpr wchar_t kDiskDriveClassGuid[] = L"{4d36e967-e325-11ce-bfc1-08002be10318}";
inline constexpr wchar_t kScsiAdapterClassGuid[] = L"{4d36e97b-e325-11ce-bfc1-08002be10318}";
inline constexpr wchar_t kCdromClassGuid[] = L"{4d36e965-e325-11ce-bfc1-08002be10318}";

class SimulatedDeviceManager final : public platform::DeviceInstaller {
 public:
  explicit SimulatedDeviceManager(std::shared_ptr<Topology> topology);
  ~SimulatedDeviceManager() override;

  std::optional<std::wstring> ClassGuidFromName(const std::wstring& className) override;
  std::optional<std::vector<platform::DevInst>> PresentDevices(const std::wstring& classGuid) override;
  std::optional<std::wstring> Property(platform::DevInst device,
                                       platform::DeviceProperty property) override;
  std::optional<std::wstring> InstanceId(platform::DevInst device) override;
  std::optional<platform::DeviceNodeStatus> Status(platform::DevInst device) override;
  bool Remove(platform::DevInst device) override;
  bool Reenumerate(platform::DevInst device) override;
  // A disk's state is kept across re-enumerations, like the system keeps a
  // disabled device disabled.
  bool ChangeState(platform::DevInst device, bool enable) override;
  std::optional<platform::DevInst> FirstChild(platform::DevInst device) override;
  std::optional<platform::DevInst> NextSibling(platform::DevInst device) override;

  // Fault injection for tests: the next `count` device list requests fail, or
  // instance identifier reads fail.
  void FailDeviceLists(int count);
  void FailInstanceIds(int count);
  // The next `count` re-enumerations of an adapter node succeed but leave its
  // children as they were, as when the system has not caught up yet.
  void SetReenumerationLag(int count);
  // The next `count` state changes are refused.
  void FailStateChanges(int count);
  // Every state change is refused from now on (a system whose disks the
  // program may not switch off).
  void RefuseStateChanges();
  // Takes every node afresh from the topology, as a system that follows its
  // hardware by itself does after a change (nodes the user disabled stay so).
  void FollowTopology();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace kestrune::sim
