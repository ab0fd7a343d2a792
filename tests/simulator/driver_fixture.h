// Shared pieces of the simulated driver's tests: a small machine, a manual
// clock, and sending hand-written request bytes.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/device_control.h"
#include "platform/manual_clock.h"
#include "simulator/driver.h"
#include "simulator/scenario.h"

// Request header pieces, byte for byte: HeaderLength 28, the signatures, the
// 5 s time-out, and the ReturnCode as sent (0xFFFFFFFF).
#define HDR 0x1C, 0, 0, 0
#define SIG_IDE 'Q', 'M', 'X', '_', 'I', 'D', 'E', ' '
#define SIG_RIO 'Q', 'M', 'X', '_', 'R', 'I', 'O', ' '
#define SIG_DISK 'S', 'C', 'S', 'I', 'D', 'I', 'S', 'K'
#define TIMEOUT5 5, 0, 0, 0
#define RC_UNSET 0xFF, 0xFF, 0xFF, 0xFF

namespace kestrune::sim::testing {

inline constexpr std::size_t kIdeSize = 2152;
inline constexpr std::size_t kRioSize = 544;
inline constexpr std::size_t kSmartSize = 556;

struct Reply {
  platform::ControlResult result;
  std::vector<std::uint8_t> bytes;

  std::uint8_t U8(std::size_t off) const { return bytes.at(off); }
  std::uint16_t U16(std::size_t off) const {
    return static_cast<std::uint16_t>(bytes.at(off) | (bytes.at(off + 1) << 8));
  }
  std::uint32_t U32(std::size_t off) const {
    return static_cast<std::uint32_t>(U16(off)) | (static_cast<std::uint32_t>(U16(off + 2)) << 16);
  }
  // Payload fields: data+N.
  std::uint8_t D8(std::size_t n) const { return U8(28 + n); }
  std::uint16_t D16(std::size_t n) const { return U16(28 + n); }
  std::uint32_t D32(std::size_t n) const { return U32(28 + n); }
  std::uint32_t ReturnCode() const { return U32(20); }
};

// Disk on channel/device with a capacity and model.
inline DiskSpec Disk(std::uint8_t channel, std::uint8_t device, std::uint64_t sectors,
                     std::string model) {
  DiskSpec d;
  d.channel = channel;
  d.device = device;
  d.sectors = sectors;
  d.model = std::move(model);
  return d;
}

inline MemberSpec Member(std::uint8_t deviceIndex, std::uint8_t position,
                         MemberState state = MemberState::Current) {
  MemberSpec m;
  m.deviceIndex = deviceIndex;
  m.position = position;
  m.state = state;
  return m;
}

// Port 0: an extended RAID adapter, four channels of one device: a mirror of
// channels 0 and 1 with spare use on, a spare on channel 2 and a small free
// disk on channel 3. Port 1: an older RAID adapter (2 x 2) with a free disk,
// a packet device and one on the secondary slave. Port 2: a standard chip.
inline Scenario Machine() {
  Scenario s;
  AdapterSpec ext;
  ext.driverMajor = 2;
  ext.driverMinor = 1;
  ext.chipId = 0x7420;
  ext.chipRevision = 3;
  ext.chipType = 2;
  ext.driverStatus = 0x10;
  ext.pciIrq = 11;
  ext.pciBus = 2;
  ext.pciDevice = 4;
  ext.adapterId = 0x1234;
  ext.name = "BV7420";
  ext.channels = 4;
  ext.devicesPerChannel = 1;
  ChannelSpec ch0;
  ch0.valueA = 0x11223344;
  ch0.valueB = 0x5566;
  ch0.linkGeneration = 1;
  ch0.portMultiplier = true;
  ch0.pmVendor = 0x197B;
  ch0.pmDevice = 0x0325;
  ch0.pmPorts = 5;
  ch0.pmSpecVersion = 0x11;
  ch0.pmRevision = 0x02;
  ext.channelInfo = {ch0};
  ext.disks = {Disk(0, 0, 1'000'000, "DISK A"), Disk(1, 0, 1'000'000, "DISK B"),
               Disk(2, 0, 2'000'000, "DISK C"), Disk(3, 0, 500'000, "DISK D")};
  ext.disks[0].valueC = 0xBEEF;
  ext.disks[3].currentKind = ModeKind::Pio;
  ext.disks[3].currentMode = 4;
  ext.disks[3].sectorsPerInterrupt = 8;
  ext.disks[3].smartExceeded = true;
  SetSpec mirror;
  mirror.type = SetType::Mirrored;
  mirror.state = SetState::Online;
  mirror.stripeSectors = 0;
  mirror.spareEnabled = true;
  mirror.rebuildRate = 50;
  mirror.name = "BV MIRROR";
  mirror.members = {Member(0, 0), Member(1, 1)};
  ext.sets = {mirror};
  ext.spares = {2};
  ext.rioMajor = 2;
  ext.rioMinor = 3;
  ext.arrayConflicts = true;
  ext.rebuildSeconds = 20;
  s.adapters.push_back(ext);

  AdapterSpec old;
  old.driverMajor = 1;
  old.driverMinor = 5;
  old.chipId = 0x7210;
  old.chipType = 2;
  old.pciBus = 0;
  old.pciDevice = 9;
  ChannelSpec primary;
  primary.ideBase = 0x1F0;
  primary.altBase = 0x3F6;
  primary.dmaBase = 0xFF00;
  ChannelSpec secondary;
  secondary.ideBase = 0x170;
  secondary.altBase = 0x376;
  secondary.dmaBase = 0xFF08;
  old.channelInfo = {primary, secondary};
  DiskSpec cd = Disk(0, 1, 0, "CD CHANGER");
  cd.atapi = true;
  cd.changer = true;
  cd.currentKind = ModeKind::MultiWordDma;
  cd.currentMode = 2;
  cd.smartSupported = false;
  cd.smartEnabled = false;
  old.disks = {Disk(0, 0, 800'000, "OLD MASTER"), cd, Disk(1, 1, 800'000, "OLD SLAVE")};
  old.disks[0].smartEnabled = false;
  s.adapters.push_back(old);

  AdapterSpec standard = old;
  standard.chipType = 1;
  standard.disks = {Disk(0, 0, 800'000, "PLAIN")};
  s.adapters.push_back(standard);
  return s;
}

class DriverTest : public ::testing::Test {
 protected:
  void Make(Scenario scenario) {
    driver_ = std::make_shared<SimulatedDriver>(std::move(scenario), clock_);
  }
  void SetUp() override { Make(Machine()); }

  // Sends `bytes` (header and request fields) at the start of a zeroed buffer
  // of `size` bytes, in and out.
  Reply Send(std::size_t port, std::vector<std::uint8_t> bytes, std::size_t size) {
    return Send(port, std::move(bytes), size, size, size);
  }
  Reply Send(std::size_t port, std::vector<std::uint8_t> bytes, std::size_t size,
             std::size_t inSize, std::size_t outSize, std::uint8_t fill = 0) {
    Reply r;
    r.bytes.assign(size, fill);
    std::copy(bytes.begin(), bytes.end(), r.bytes.begin());
    r.result = driver_->Control(port, platform::kIoctlScsiMiniport, r.bytes, inSize, outSize);
    return r;
  }
  Reply Fetch(std::size_t port) {
    return Send(port, {HDR, SIG_IDE, TIMEOUT5, 0x0C, 0x20, 0x04, 0, RC_UNSET, 0xE4, 0x06, 0, 0},
                kIdeSize, kIdeSize, kIdeSize, 0xFF);
  }
  std::uint32_t Rio(std::size_t port, std::uint8_t code, std::vector<std::uint8_t> payload) {
    std::vector<std::uint8_t> bytes = {HDR,  SIG_RIO,  TIMEOUT5,
                                       code, 0x20,     0x04,
                                       0,    RC_UNSET, static_cast<std::uint8_t>(payload.size()),
                                       0,    0,        0};
    bytes.insert(bytes.end(), payload.begin(), payload.end());
    const Reply r = Send(port, bytes, kRioSize);
    EXPECT_TRUE(r.result.ok);
    return r.ReturnCode();
  }
  Reply QuerySets(std::size_t port) {
    return Send(port,
                {HDR, SIG_RIO, TIMEOUT5, 0x24, 0x20, 0x04, 0, RC_UNSET, 0x5C, 0, 0, 0, 0, 0, 2, 0},
                kRioSize);
  }
  void Advance(std::chrono::milliseconds by) { clock_->Advance(by); }

  std::shared_ptr<platform::ManualClock> clock_ = std::make_shared<platform::ManualClock>();
  std::shared_ptr<SimulatedDriver> driver_;
};

// FILETIME of ManualClock::DefaultStart() (2026-01-15 10:00:00 UTC).
inline constexpr std::uint64_t kStartFileTime = 134129448000000000ULL;

}  // namespace kestrune::sim::testing
