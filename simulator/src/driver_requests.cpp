// The simulated driver behind the shared request codec: one adapter's live
// state as the codec's view, its commands under the driver's rules, and the
// planted faults of its port.
#include <algorithm>

#include "driver_core.h"
#include "simulator/driver.h"
#include "simulator/driver_codec.h"

namespace kestrune::sim::detail {

namespace se = platform::syserr;

// The faults planted for one port.
class PortFaults final : public FaultSource {
 public:
  PortFaults(DriverCore& core, std::size_t port) : core_(core), port_(port) {}
  std::optional<std::uint32_t> Take(std::string_view request, FaultKind kind) override {
    return core_.TakeFault(port_, request, kind);
  }

 private:
  DriverCore& core_;
  std::size_t port_;
};

namespace {

// One live adapter as the codec sees it.
class SimAdapter final : public DriverAdapter {
 public:
  SimAdapter(DriverCore& core, LiveAdapter& adapter) : core_(core), a_(adapter) {}

  const AdapterSpec& Info() const override { return a_.spec; }
  const DiskSpec* DiskAt(std::size_t index) const override { return a_.DiskAt(index); }
  std::size_t SetCount() const override { return a_.sets.size(); }
  SetSpec SetAt(std::size_t index) const override {
    return a_.sets.at(index).Current(a_.WorkPerPercent());
  }
  std::uint64_t SetCapacity(std::size_t index) const override { return a_.sets.at(index).capacity; }
  std::span<const std::uint8_t> Spares() const override { return a_.spec.spares; }

  std::uint32_t AddMember(std::uint8_t deviceIndex, std::uint8_t set) override {
    return core_.AddMember(a_, deviceIndex, set);
  }
  std::uint32_t RemoveMember(std::uint8_t set, std::uint8_t position) override {
    return core_.RemoveMember(a_, set, position);
  }
  std::uint32_t DeleteSet(std::uint8_t set) override { return core_.DeleteSet(a_, set); }
  std::uint32_t EnableSpare(std::uint8_t set, std::uint8_t use) override {
    return core_.EnableSpare(a_, set, use);
  }
  std::uint32_t SetRebuildRate(std::uint8_t set, std::uint8_t rate) override {
    return core_.SetRebuildRate(a_, set, rate);
  }
  std::uint32_t CreateSpare(std::uint8_t deviceIndex) override {
    return core_.CreateSpare(a_, deviceIndex);
  }
  std::uint32_t DeleteSpare(std::uint8_t deviceIndex) override {
    return core_.DeleteSpare(a_, deviceIndex);
  }
  std::uint32_t SetFeatures(std::uint8_t channel, std::uint8_t device,
                            std::uint8_t flags) override {
    return core_.SetFeatures(a_, channel, device, flags);
  }
  bool ResetBus(std::uint8_t channel) override {
    core_.BusReset(a_, channel);
    return true;
  }

  std::optional<EventBytes> TakeEvent() override {
    if (a_.events.empty()) return std::nullopt;
    EventBytes record = a_.events.front();
    a_.events.pop_front();
    return record;
  }
  std::size_t PendingEvents() const override { return a_.events.size(); }
  std::uint8_t Gpio() const override { return a_.gpio; }
  void SetGpio(std::uint8_t status) override { a_.gpio = status; }

 private:
  DriverCore& core_;
  LiveAdapter& a_;
};

}  // namespace

platform::ControlResult DriverCore::Control(std::size_t port, std::uint32_t code,
                                            std::span<std::uint8_t> buffer, std::size_t inSize,
                                            std::size_t outSize) {
  LiveAdapter* adapter = Adapter(port);
  if (adapter == nullptr) return platform::ControlResult{false, 0, se::kInvalidHandle};
  SimAdapter view(*this, *adapter);
  PortFaults faults(*this, port);
  return AnswerControl(view, code, buffer, inSize, outSize, &faults);
}

}  // namespace kestrune::sim::detail
