// Device installation and configuration manager: device classes, present-device
// lists, properties, status, removal and re-enumeration of device nodes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kestrune::platform {

using DevInst = std::uint32_t;

enum class DeviceProperty {
  PhysicalDeviceObjectName,  // SPDRP_PHYSICAL_DEVICE_OBJECT_NAME
  Service,                   // SPDRP_SERVICE
  LocationInformation,       // SPDRP_LOCATION_INFORMATION, "PCI bus B, device D, function F"
  FriendlyName,              // SPDRP_FRIENDLYNAME
};

// The problem number of a device that was disabled (CM_PROB_DISABLED).
inline constexpr std::uint32_t kProblemDisabled = 22;

struct DeviceNodeStatus {
  std::uint32_t status = 0;   // DN_* bits
  std::uint32_t problem = 0;  // CM_PROB_* number, 0 = none
};

class DeviceInstaller {
 public:
  virtual ~DeviceInstaller() = default;

  // Class identifier (a GUID text) of a setup class named "DiskDrive",
  // "SCSIAdapter", ...; nullopt when no class has that name.
  virtual std::optional<std::wstring> ClassGuidFromName(const std::wstring& className) = 0;

  // Snapshot of the present devices of a class, in index order; nullopt when
  // the list cannot be obtained.
  virtual std::optional<std::vector<DevInst>> PresentDevices(const std::wstring& classGuid) = 0;

  // A registry property of a device; nullopt when the device has none or is gone.
  virtual std::optional<std::wstring> Property(DevInst device, DeviceProperty property) = 0;

  // The device instance identifier; nullopt when it cannot be read.
  virtual std::optional<std::wstring> InstanceId(DevInst device) = 0;

  virtual std::optional<DeviceNodeStatus> Status(DevInst device) = 0;

  // Removes the device from the system (until the parent is re-enumerated).
  virtual bool Remove(DevInst device) = 0;

  // Re-enumerates a device node synchronously.
  virtual bool Reenumerate(DevInst device) = 0;

  // Asks the device's class installer to enable or disable it for the current
  // hardware profile (a disabled device has the problem number 22). False when
  // the change cannot be made; by default no device can be changed.
  virtual bool ChangeState(DevInst device, bool enable) {
    static_cast<void>(device);
    static_cast<void>(enable);
    return false;
  }

  // Child and sibling walk; nullopt when there is none.
  virtual std::optional<DevInst> FirstChild(DevInst device) = 0;
  virtual std::optional<DevInst> NextSibling(DevInst device) = 0;
};

}  // namespace kestrune::platform
