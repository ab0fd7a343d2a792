// The simulated miniport driver and adapter hardware: decodes request buffers
// byte for byte, keeps state, enforces the driver's rules and queues events.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <unordered_map>

#include "platform/clock.h"
#include "platform/device_control.h"
#include "simulator/driver_codec.h"
#include "simulator/scenario.h"
#include "simulator/topology.h"

namespace kestrune::sim {

class SimulatedDriver final : public Topology {
 public:
  SimulatedDriver(Scenario scenario, std::shared_ptr<platform::Clock> clock);
  ~SimulatedDriver() override;

  std::size_t PortCount() const;

  // True when port `port` exists (an "Open" fault can make it fail).
  bool OpenPort(std::size_t port, std::uint32_t& lastError);

  // One device-control call on a port (see platform::DeviceControl::Control).
  platform::ControlResult Control(std::size_t port, std::uint32_t code,
                                  std::span<std::uint8_t> buffer, std::size_t inSize,
                                  std::size_t outSize);

  // Brings the timeline and running rebuilds up to the clock's present. Every
  // Control call does this first.
  void Advance();

  void InjectFault(const FaultSpec& fault);

  // Inspection for tests and tools.
  std::uint8_t GpioStatus(std::size_t port);
  std::size_t PendingEvents(std::size_t port);
  const Scenario& Initial() const;
  AdapterSpec CurrentAdapter(std::size_t port);  // the adapter as it stands now

  std::vector<AdapterView> Adapters() override;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// The driver behind the platform's device-control interface: "\\.\scsi<N>:"
// opens port N.
class SimulatedDeviceControl final : public platform::DeviceControl {
 public:
  explicit SimulatedDeviceControl(std::shared_ptr<SimulatedDriver> driver);
  platform::DeviceHandle Open(const std::wstring& name, std::uint32_t* lastError) override;
  platform::ControlResult Control(platform::DeviceHandle handle, std::uint32_t code,
                                  std::span<std::uint8_t> buffer, std::size_t inSize,
                                  std::size_t outSize) override;
  void Close(platform::DeviceHandle handle) override;

  // Handles open now; a closed handle is released.
  std::size_t OpenHandles();

 private:
  std::shared_ptr<SimulatedDriver> driver_;
  PortHandles handles_;
};

}  // namespace kestrune::sim
