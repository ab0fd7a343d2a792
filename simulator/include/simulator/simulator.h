// One simulated machine: driver, device manager and driver files, behind the
// platform interfaces the program uses.
#pragma once

#include <memory>
#include <string>

#include "platform/clock.h"
#include "platform/device_control.h"
#include "platform/device_installer.h"
#include "platform/files.h"
#include "simulator/device_manager.h"
#include "simulator/driver.h"
#include "simulator/scenario.h"

namespace kestrune::sim {

class Simulator {
 public:
  // `realFiles` answers every path outside the simulated system folder.
  Simulator(Scenario scenario, std::shared_ptr<platform::Clock> clock,
            std::shared_ptr<platform::Files> realFiles);

  std::shared_ptr<SimulatedDriver> Driver() const { return driver_; }
  std::shared_ptr<platform::DeviceControl> DeviceControl() const { return deviceControl_; }
  std::shared_ptr<SimulatedDeviceManager> DeviceManager() const { return deviceManager_; }
  std::shared_ptr<platform::Files> Files() const { return files_; }
  // The media folder of the simulated system folder ("<root>Media"), which the
  // program reads from the registry to find the system folder.
  std::wstring MediaPath() const;

 private:
  std::wstring mediaPath_;
  std::shared_ptr<SimulatedDriver> driver_;
  std::shared_ptr<platform::DeviceControl> deviceControl_;
  std::shared_ptr<SimulatedDeviceManager> deviceManager_;
  std::shared_ptr<platform::Files> files_;
};

}  // namespace kestrune::sim
