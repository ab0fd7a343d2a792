// Every request of the driver protocol, sent as hand-written bytes; replies
// checked at the offsets of the wire layouts.
#include <cstring>
#include <string>

#include "simulator/driver_fixture.h"

namespace kestrune::sim::testing {
namespace {

using platform::syserr::kFileNotFound;
using platform::syserr::kInvalidFunction;
using platform::syserr::kInvalidHandle;
using platform::syserr::kInvalidParameter;

std::string Text(const Reply& r, std::size_t off, std::size_t n) {
  return std::string(reinterpret_cast<const char*>(r.bytes.data() + off), n);
}

TEST_F(DriverTest, QueryDriverVersionAnswersMajorAndMinor) {
  const Reply r =
      Send(0, {HDR, SIG_IDE, TIMEOUT5, 0x00, 0x20, 0x04, 0, RC_UNSET, 4, 0, 0, 0, 0xFF, 0, 0xFF, 0},
           kIdeSize);
  ASSERT_TRUE(r.result.ok);
  EXPECT_EQ(r.result.bytesReturned, 32U);
  EXPECT_EQ(r.ReturnCode(), 0U);
  EXPECT_EQ(r.D16(0), 2);
  EXPECT_EQ(r.D16(2), 1);
}

TEST_F(DriverTest, QueryAdapterInfoLongFormOnExtendedAdapters) {
  const Reply r =
      Send(0, {HDR, SIG_IDE, TIMEOUT5, 0x04, 0x20, 0x04, 0, RC_UNSET, 0xA4, 0, 0, 0}, kIdeSize);
  ASSERT_TRUE(r.result.ok);
  EXPECT_EQ(r.ReturnCode(), 0U);
  EXPECT_EQ(r.D32(0), 0x7420U);
  EXPECT_EQ(r.D32(4), 3U);
  EXPECT_EQ(r.D32(8), 2U);
  EXPECT_EQ(r.D32(12), 0x10U);
  EXPECT_EQ(r.D32(16), 11U);
  EXPECT_EQ(r.D32(20), 2U);
  EXPECT_EQ(r.D32(24), 4U);
  EXPECT_EQ(r.D32(28), 0x1234U);
  EXPECT_EQ(r.D16(32), 4);
  EXPECT_EQ(r.D16(34), 1);
  EXPECT_EQ(Text(r, 28 + 36, 7), std::string("BV7420\0", 7));

  // The short form's length is too small for an extended driver.
  const Reply shortForm =
      Send(0, {HDR, SIG_IDE, TIMEOUT5, 0x04, 0x20, 0x04, 0, RC_UNSET, 0x40, 0, 0, 0}, kIdeSize);
  EXPECT_EQ(shortForm.ReturnCode(), 3U);
}

TEST_F(DriverTest, QueryAdapterInfoShortFormCarriesChannelEntries) {
  const Reply r =
      Send(1, {HDR, SIG_IDE, TIMEOUT5, 0x04, 0x20, 0x04, 0, RC_UNSET, 0x40, 0, 0, 0}, kIdeSize);
  ASSERT_EQ(r.ReturnCode(), 0U);
  EXPECT_EQ(r.D32(0), 0x7210U);
  EXPECT_EQ(r.D32(24), 9U);
  // Primary: master and slave present; secondary: only the slave.
  EXPECT_EQ(r.D32(32), 3U);
  EXPECT_EQ(r.D32(36), 0x1F0U);
  EXPECT_EQ(r.D32(40), 0x3F6U);
  EXPECT_EQ(r.D32(44), 0xFF00U);
  EXPECT_EQ(r.D32(48), 2U);
  EXPECT_EQ(r.D32(52), 0x170U);
  EXPECT_EQ(r.D32(56), 0x376U);
  EXPECT_EQ(r.D32(60), 0xFF08U);
  EXPECT_EQ(r.result.bytesReturned, 92U);
}

TEST_F(DriverTest, QueryChannelInfoOnExtendedAdaptersOnly) {
  const Reply r =
      Send(0, {HDR, SIG_IDE, TIMEOUT5, 0x20, 0x20, 0x04, 0, RC_UNSET, 0x18, 0, 0, 0, 0, 0, 1, 0},
           kIdeSize);
  ASSERT_EQ(r.ReturnCode(), 0U);
  EXPECT_EQ(r.D32(4), 0x11223344U);
  EXPECT_EQ(r.D32(8), 1U);
  EXPECT_EQ(r.D16(12), 0x5566);
  EXPECT_EQ(r.D16(14), 1);
  EXPECT_EQ(r.D16(16), 0x197B);
  EXPECT_EQ(r.D16(18), 0x0325);
  EXPECT_EQ(r.D16(20), 5);
  EXPECT_EQ(r.D8(22), 0x11);
  EXPECT_EQ(r.D8(23), 0x02);

  const Reply plain =
      Send(0, {HDR, SIG_IDE, TIMEOUT5, 0x20, 0x20, 0x04, 0, RC_UNSET, 0x18, 0, 0, 0, 3, 0, 1, 0},
           kIdeSize);
  EXPECT_EQ(plain.ReturnCode(), 0U);
  EXPECT_EQ(plain.D32(8), 0U);  // no port multiplier

  const Reply beyond =
      Send(0, {HDR, SIG_IDE, TIMEOUT5, 0x20, 0x20, 0x04, 0, RC_UNSET, 0x18, 0, 0, 0, 4, 0, 1, 0},
           kIdeSize);
  EXPECT_EQ(beyond.ReturnCode(), 2U);
  const Reply older =
      Send(1, {HDR, SIG_IDE, TIMEOUT5, 0x20, 0x20, 0x04, 0, RC_UNSET, 0x18, 0, 0, 0, 0, 0, 1, 0},
           kIdeSize);
  EXPECT_EQ(older.ReturnCode(), 2U);
}

TEST_F(DriverTest, QueryDeviceInfoPerSlotOnExtendedAdapters) {
  const Reply r =
      Send(0, {HDR, SIG_IDE, TIMEOUT5, 0x08, 0x20, 0x04, 0, RC_UNSET, 0x18, 0x02, 0, 0, 0, 0, 1, 0},
           kIdeSize);
  ASSERT_EQ(r.ReturnCode(), 0U);
  EXPECT_EQ(r.D32(4), 0x20U);  // Ultra DMA
  EXPECT_EQ(r.D32(12), 16U);
  EXPECT_EQ(r.D16(18), 0xBEEF);
  EXPECT_EQ(r.D8(20), 0);
  EXPECT_EQ(r.D8(21), 0);
  EXPECT_EQ(r.D8(22), 5);
  EXPECT_EQ(r.D8(23), 1);
  // IDENTIFY at data+24, strings in reading order: model from word 27.
  EXPECT_EQ(Text(r, 28 + 24 + 54, 8), "DISK A  ");
  EXPECT_EQ(r.D8(24 + 170) & 0x61, 0x61);  // word 85: SMART, write cache, look-ahead on

  const Reply pio =
      Send(0, {HDR, SIG_IDE, TIMEOUT5, 0x08, 0x20, 0x04, 0, RC_UNSET, 0x18, 0x02, 0, 0, 3, 0, 1, 0},
           kIdeSize);
  EXPECT_EQ(pio.D32(4), 0x04U);
  EXPECT_EQ(pio.D32(12), 8U);
  EXPECT_EQ(pio.D8(20), 3);
  EXPECT_EQ(pio.D8(22), 4);

  const Reply beyond =
      Send(0, {HDR, SIG_IDE, TIMEOUT5, 0x08, 0x20, 0x04, 0, RC_UNSET, 0x18, 0x02, 0, 0, 4, 0, 1, 0},
           kIdeSize);
  EXPECT_EQ(beyond.ReturnCode(), 13U);
}

TEST_F(DriverTest, QueryDeviceInfoEmptySlotHasPresenceZero) {
  Scenario s = Machine();
  s.adapters[0].disks.pop_back();
  Make(s);
  const Reply r =
      Send(0, {HDR, SIG_IDE, TIMEOUT5, 0x08, 0x20, 0x04, 0, RC_UNSET, 0x18, 0x02, 0, 0, 3, 0, 1, 0},
           kIdeSize);
  ASSERT_EQ(r.ReturnCode(), 0U);
  EXPECT_EQ(r.D8(20), 3);
  EXPECT_EQ(r.D8(23), 0);
  EXPECT_EQ(r.D32(4), 0U);
}

TEST_F(DriverTest, QueryDeviceInfoFourBlocksOnOlderAdapters) {
  const Reply r =
      Send(1, {HDR, SIG_IDE, TIMEOUT5, 0x08, 0x20, 0x04, 0, RC_UNSET, 0x4C, 0x08, 0, 0, 0, 0, 4, 0},
           kIdeSize);
  ASSERT_EQ(r.ReturnCode(), 0U);
  EXPECT_EQ(r.result.bytesReturned, 28U + 2124U);
  // Slot 0 (primary master).
  EXPECT_EQ(r.D32(4), 0x20U);
  EXPECT_EQ(r.D32(4 + 8), 16U);
  EXPECT_EQ(r.D8(4 + 16), 5);
  EXPECT_EQ(Text(r, 28 + 4 + 18 + 54, 10), "OLD MASTER");
  // Slot 1 (primary slave): packet device with a changer, multiword DMA 2.
  EXPECT_EQ(r.D32(534), 0x13U);
  EXPECT_EQ(r.D8(534 + 16), 2);
  // Slot 2 (secondary master) is empty.
  for (std::size_t i = 0; i < 530; ++i) ASSERT_EQ(r.D8(1064 + i), 0) << i;
  // Slot 3 (secondary slave).
  EXPECT_EQ(Text(r, 28 + 1594 + 18 + 54, 9), "OLD SLAVE");

  const Reply tooSmall =
      Send(1, {HDR, SIG_IDE, TIMEOUT5, 0x08, 0x20, 0x04, 0, RC_UNSET, 0x18, 0x02, 0, 0}, kIdeSize);
  EXPECT_EQ(tooSmall.ReturnCode(), 3U);
}

TEST_F(DriverTest, FetchEventsOnAnEmptyQueueWritesOnlyTheCount) {
  const Reply r = Fetch(0);
  ASSERT_TRUE(r.result.ok);
  EXPECT_EQ(r.ReturnCode(), 0U);
  EXPECT_EQ(r.D32(0), 0U);
  for (std::size_t i = 32; i < kIdeSize; ++i) ASSERT_EQ(r.U8(i), 0xFF) << i;
}

TEST_F(DriverTest, SetDeviceFeaturesChangesCacheAndIdentify) {
  // Look-ahead stays on, write cache off.
  const Reply r = Send(
      0, {HDR, SIG_IDE, TIMEOUT5, 0x1C, 0x20, 0x04, 0, RC_UNSET, 3, 0, 0, 0, 1, 0, 0x01}, kIdeSize);
  ASSERT_EQ(r.ReturnCode(), 0U);
  const DiskSpec disk = driver_->CurrentAdapter(0).disks[1];
  EXPECT_FALSE(disk.writeCacheEnabled);
  EXPECT_TRUE(disk.lookAheadEnabled);
  const Reply info =
      Send(0, {HDR, SIG_IDE, TIMEOUT5, 0x08, 0x20, 0x04, 0, RC_UNSET, 0x18, 0x02, 0, 0, 1, 0, 1, 0},
           kIdeSize);
  EXPECT_EQ(info.D8(24 + 170) & 0x60, 0x40);

  const Reply bad = Send(
      0, {HDR, SIG_IDE, TIMEOUT5, 0x1C, 0x20, 0x04, 0, RC_UNSET, 3, 0, 0, 0, 4, 0, 0x03}, kIdeSize);
  EXPECT_EQ(bad.ReturnCode(), 13U);
  const Reply noDevice = Send(
      0, {HDR, SIG_IDE, TIMEOUT5, 0x1C, 0x20, 0x04, 0, RC_UNSET, 3, 0, 0, 0, 0, 1, 0x03}, kIdeSize);
  EXPECT_EQ(noDevice.ReturnCode(), 13U);
}

TEST_F(DriverTest, GpioRequestsNeedAnExtendedDriverWithMinorVersion) {
  const Reply enable = Send(
      0, {HDR, SIG_IDE, TIMEOUT5, 0x24, 0x20, 0x04, 0, RC_UNSET, 2, 0, 0, 0, 1, 0xFF}, kIdeSize);
  EXPECT_EQ(enable.ReturnCode(), 0U);
  const Reply write = Send(
      0, {HDR, SIG_IDE, TIMEOUT5, 0x28, 0x20, 0x04, 0, RC_UNSET, 3, 0, 0, 0, 1, 0xB5, 0}, kIdeSize);
  EXPECT_EQ(write.ReturnCode(), 0U);
  EXPECT_EQ(driver_->GpioStatus(0), 0xB5);
  const Reply read = Send(
      0, {HDR, SIG_IDE, TIMEOUT5, 0x28, 0x20, 0x04, 0, RC_UNSET, 3, 0, 0, 0, 0, 0, 0}, kIdeSize);
  EXPECT_EQ(read.ReturnCode(), 0U);
  EXPECT_EQ(read.D8(1), 0xB5);
  EXPECT_EQ(driver_->GpioStatus(0), 0xB5);
  const Reply odd = Send(
      0, {HDR, SIG_IDE, TIMEOUT5, 0x28, 0x20, 0x04, 0, RC_UNSET, 3, 0, 0, 0, 2, 0, 0}, kIdeSize);
  EXPECT_EQ(odd.ReturnCode(), 2U);

  // Older drivers, and 2.0, have no LEDs.
  const Reply older = Send(
      1, {HDR, SIG_IDE, TIMEOUT5, 0x24, 0x20, 0x04, 0, RC_UNSET, 2, 0, 0, 0, 1, 0xFF}, kIdeSize);
  EXPECT_EQ(older.ReturnCode(), 7U);
  Scenario s = Machine();
  s.adapters[0].driverMinor = 0;
  Make(s);
  const Reply v20 = Send(
      0, {HDR, SIG_IDE, TIMEOUT5, 0x24, 0x20, 0x04, 0, RC_UNSET, 2, 0, 0, 0, 1, 0xFF}, kIdeSize);
  EXPECT_EQ(v20.ReturnCode(), 7U);
  const Reply v20write = Send(
      0, {HDR, SIG_IDE, TIMEOUT5, 0x28, 0x20, 0x04, 0, RC_UNSET, 3, 0, 0, 0, 1, 0xB5, 0}, kIdeSize);
  EXPECT_EQ(v20write.ReturnCode(), 7U);
  EXPECT_EQ(driver_->GpioStatus(0), 0);
}

TEST_F(DriverTest, QueryRioVersionAndRaidLayerOnRaidChipsOnly) {
  const Reply r =
      Send(0, {HDR, SIG_RIO, TIMEOUT5, 0x00, 0x20, 0x04, 0, RC_UNSET, 8, 0, 0, 0, 0xFF, 0, 0xFF, 0},
           kRioSize);
  ASSERT_EQ(r.ReturnCode(), 0U);
  EXPECT_EQ(r.D16(0), 2);
  EXPECT_EQ(r.D16(2), 3);
  EXPECT_EQ(r.D8(4), 1);

  Reply standard =
      Send(2, {HDR, SIG_RIO, TIMEOUT5, 0x00, 0x20, 0x04, 0, RC_UNSET, 8, 0, 0, 0, 0xFF, 0, 0xFF, 0},
           kRioSize);
  EXPECT_FALSE(standard.result.ok);
  EXPECT_EQ(standard.result.lastError, kInvalidFunction);
  EXPECT_EQ(standard.ReturnCode(), 0xFFFFFFFFU);  // untouched
}

TEST_F(DriverTest, QuerySpareDrivesByIndexOrChannel) {
  const Reply r =
      Send(0, {HDR, SIG_RIO, TIMEOUT5, 0x2C, 0x20, 0x04, 0, RC_UNSET, 6, 0, 0, 0, 4, 0}, kRioSize);
  ASSERT_EQ(r.ReturnCode(), 0U);
  EXPECT_EQ(r.D16(0), 1);
  EXPECT_EQ(r.D8(2), 2);

  // Two devices per channel: the spare on channel 1, device 1 is named by its channel.
  Scenario s = Machine();
  s.adapters[0].devicesPerChannel = 2;
  s.adapters[0].disks[2].channel = 1;
  s.adapters[0].disks[2].device = 1;
  s.adapters[0].disks[1].channel = 0;
  s.adapters[0].disks[1].device = 1;
  s.adapters[0].spares = {3};
  // Older adapters list device indexes.
  s.adapters[1].spares = {3};
  Make(s);
  const Reply ext =
      Send(0, {HDR, SIG_RIO, TIMEOUT5, 0x2C, 0x20, 0x04, 0, RC_UNSET, 6, 0, 0, 0, 4, 0}, kRioSize);
  EXPECT_EQ(ext.D16(0), 1);
  EXPECT_EQ(ext.D8(2), 1);
  const Reply old =
      Send(1, {HDR, SIG_RIO, TIMEOUT5, 0x2C, 0x20, 0x04, 0, RC_UNSET, 6, 0, 0, 0, 4, 0}, kRioSize);
  EXPECT_EQ(old.D16(0), 1);
  EXPECT_EQ(old.D8(2), 3);
}

TEST_F(DriverTest, QuerySetsDescribesSetsAndMembers) {
  Scenario s = Machine();
  SetSpec stripe;
  stripe.type = SetType::Striped;
  stripe.state = SetState::Sync;
  stripe.stripeSectors = 128;
  stripe.rebuildRate = 30;
  stripe.location = 9;
  stripe.members = {Member(3, 1, MemberState::Dropped), Member(2, 0)};
  s.adapters[0].sets.push_back(stripe);
  s.adapters[0].spares.clear();
  Make(s);
  const Reply r =
      Send(0, {HDR, SIG_RIO, TIMEOUT5, 0x24, 0x20, 0x04, 0, RC_UNSET, 0x5C, 0, 0, 0, 0, 0, 2, 0},
           kRioSize);
  ASSERT_EQ(r.ReturnCode(), 0U);
  EXPECT_EQ(r.D16(2), 2);
  // Set 0 at data+4: the mirror.
  EXPECT_EQ(r.D16(4 + 4), 1);  // Online
  EXPECT_EQ(r.D8(4 + 6), 1);   // spare enabled
  EXPECT_EQ(r.D8(4 + 8), 2);   // mirrored
  EXPECT_EQ(r.D8(4 + 9), 2);
  EXPECT_EQ(r.D8(4 + 10), 0);  // location: first member's device index
  const std::uint8_t member0[8] = {1, 0, 0, 0, 0, 50};
  const std::uint8_t member1[8] = {1, 0, 1, 1, 0, 50};
  EXPECT_EQ(std::memcmp(r.bytes.data() + 28 + 4 + 12, member0, 8), 0);
  EXPECT_EQ(std::memcmp(r.bytes.data() + 28 + 4 + 20, member1, 8), 0);
  // Set 1 at data+48: the stripe as the scenario tells it, members by position.
  EXPECT_EQ(r.D32(48), 128U);
  EXPECT_EQ(r.D16(48 + 4), 4);  // Sync
  EXPECT_EQ(r.D8(48 + 6), 0);
  EXPECT_EQ(r.D8(48 + 8), 1);
  EXPECT_EQ(r.D8(48 + 10), 9);
  const std::uint8_t stripe0[8] = {1, 0, 0, 2, 0, 30};
  const std::uint8_t stripe1[8] = {3, 0, 1, 3, 0, 30};
  EXPECT_EQ(std::memcmp(r.bytes.data() + 28 + 48 + 12, stripe0, 8), 0);
  EXPECT_EQ(std::memcmp(r.bytes.data() + 28 + 48 + 20, stripe1, 8), 0);
}

TEST_F(DriverTest, ResetRequestsQueueABusReset) {
  std::uint8_t path = 1;
  auto result = driver_->Control(0, platform::kIoctlStorageResetBus, std::span(&path, 1), 1, 0);
  EXPECT_TRUE(result.ok);
  EXPECT_EQ(result.bytesReturned, 0U);
  path = 4;
  result = driver_->Control(0, platform::kIoctlStorageResetBus, std::span(&path, 1), 1, 0);
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.lastError, kInvalidParameter);
  EXPECT_EQ(Rio(0, 0x28, {3, 0, 0, 0}), 0U);
  EXPECT_EQ(Rio(0, 0x28, {4, 0, 0, 0}), 2U);

  const Reply events = Fetch(0);
  ASSERT_EQ(events.D32(0), 2U);
  EXPECT_EQ(events.D8(4 + 44), 1);
  EXPECT_EQ(events.D8(4 + 88 + 44), 3);
}

TEST_F(DriverTest, SmartIdentifyOfSetAndDeviceInAtaOrder) {
  // 556 bytes in, 2184 out; drive number 0 is the mirror's location.
  Reply r =
      Send(0, {HDR,  SIG_DISK, TIMEOUT5, 0x01, 0x05, 0x1B, 0, RC_UNSET, 0x2C, 0x02, 0, 0, 0x10,
               0x02, 0,        0,        0,    1,    1,    0, 0,        0xA0, 0xEC, 0, 0},
           2184, kSmartSize, 2184);
  ASSERT_TRUE(r.result.ok);
  EXPECT_EQ(r.D8(4), 0);
  // Model words from byte 54 of the data at data+16, bytes of each word swapped.
  EXPECT_EQ(Text(r, 28 + 16 + 54, 10), "VBM RIOR R");
  EXPECT_EQ(r.D32(16 + 120), 1'000'000U);  // words 60-61: the mirror's capacity

  r = Send(0, {HDR,  SIG_DISK, TIMEOUT5, 0x01, 0x05, 0x1B, 0, RC_UNSET, 0x2C, 0x02, 0, 0, 0x10,
               0x02, 0,        0,        0,    1,    1,    0, 0,        0xB0, 0xEC, 0, 3},
           2184, kSmartSize, 2184);
  EXPECT_EQ(Text(r, 28 + 16 + 54, 6), "IDKSD ");
  EXPECT_EQ(r.D32(16 + 120), 500'000U);

  r = Send(0, {HDR,  SIG_DISK, TIMEOUT5, 0x01, 0x05, 0x1B, 0, RC_UNSET, 0x2C, 0x02, 0, 0, 0x10,
               0x02, 0,        0,        0,    1,    1,    0, 0,        0xB0, 0xEC, 0, 9},
           2184, kSmartSize, 2184);
  EXPECT_TRUE(r.result.ok);
  EXPECT_NE(r.D8(4), 0);
}

TEST_F(DriverTest, SmartReturnStatusRegisters) {
  const auto status = [&](std::size_t port, bool rio, std::uint8_t drive) {
    std::vector<std::uint8_t> bytes = {
        HDR,  SIG_DISK, TIMEOUT5, 0x06, 0x05, 0x1B, 0,    RC_UNSET, 0x10, 0x02, 0, 0,    0x10,
        0x02, 0,        0,        0xDA, 1,    1,    0x4F, 0xC2,     0xA0, 0xB0, 0, drive};
    if (rio) std::memcpy(bytes.data() + 4, "QMX_RIO ", 8);
    return Send(port, bytes, kSmartSize);
  };
  Reply r = status(0, false, 0);  // the set
  ASSERT_TRUE(r.result.ok);
  EXPECT_EQ(r.D8(4), 0);
  EXPECT_EQ(r.D8(16), 0xDA);
  EXPECT_EQ(r.D8(19), 0x4F);
  EXPECT_EQ(r.D8(20), 0xC2);
  EXPECT_EQ(r.D8(22), 0xB0);

  r = status(0, true, 3);  // a disk past its threshold, through the RAID layer
  EXPECT_EQ(r.D8(4), 0);
  EXPECT_EQ(r.D8(19), 0xF4);
  EXPECT_EQ(r.D8(20), 0x2C);

  r = status(1, false, 0);  // SMART not enabled
  EXPECT_NE(r.D8(4), 0);
  r = status(1, false, 2);  // nothing there
  EXPECT_NE(r.D8(4), 0);
  r = status(2, false, 0);  // standard chip, its own signature
  EXPECT_EQ(r.D8(19), 0x4F);
  EXPECT_FALSE(status(2, true, 0).result.ok);
}

// ---------------------------------------------------------------------------
// Framing: bad requests fail without touching memory outside the buffer (the
// buffers below are exactly as large as the sizes passed, for the sanitizer).

TEST_F(DriverTest, BadFramingFailsAndLeavesTheBufferAlone) {
  const auto attempt = [&](std::vector<std::uint8_t> bytes, std::size_t in, std::size_t out) {
    std::vector<std::uint8_t> buffer(std::max(in, out), 0xAA);
    std::copy(bytes.begin(), bytes.end(), buffer.begin());
    const auto before = buffer;
    const auto result = driver_->Control(0, platform::kIoctlScsiMiniport, buffer, in, out);
    EXPECT_EQ(buffer, before);
    return result;
  };
  // A header that does not fit.
  auto result = attempt({HDR, SIG_IDE, TIMEOUT5}, 16, 16);
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.lastError, kInvalidParameter);
  // Wrong HeaderLength.
  result = attempt({0x20, 0, 0, 0, SIG_IDE, TIMEOUT5, 0x00, 0x20, 0x04, 0, RC_UNSET, 4, 0, 0, 0},
                   36, 36);
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.lastError, kInvalidParameter);
  // A Length beyond both directions.
  result = attempt({HDR, SIG_IDE, TIMEOUT5, 0x00, 0x20, 0x04, 0, RC_UNSET, 4, 0, 0, 0}, 31, 30);
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.lastError, platform::syserr::kInsufficientBuffer);
  result = attempt({HDR, SIG_IDE, TIMEOUT5, 0x00, 0x20, 0x04, 0, RC_UNSET, 0xFF, 0xFF, 0xFF, 0xFF},
                   32, 32);
  EXPECT_FALSE(result.ok);
  // A signature no layer of this driver owns.
  result = attempt({HDR, 'Q', 'M', 'X', '_', 'V', 'S', 'D', ' ', TIMEOUT5, 0x04, 0x20, 0x04, 0,
                    RC_UNSET, 4, 0, 0, 0},
                   32, 32);
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.lastError, kInvalidFunction);
  result = attempt({HDR, 'Q', 'M', 'X', '_', 'I', 'D', 'E', 0, TIMEOUT5, 0x00, 0x20, 0x04, 0,
                    RC_UNSET, 4, 0, 0, 0},
                   32, 32);
  EXPECT_EQ(result.lastError, kInvalidFunction);

  // A device-control code that is not the miniport's.
  std::vector<std::uint8_t> buffer(32, 0xAA);
  result = driver_->Control(0, 0x70000, buffer, 32, 32);
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.lastError, kInvalidFunction);
  EXPECT_EQ(buffer, std::vector<std::uint8_t>(32, 0xAA));
  // A port that does not exist.
  result = driver_->Control(7, platform::kIoctlScsiMiniport, buffer, 32, 32);
  EXPECT_EQ(result.lastError, kInvalidHandle);
}

TEST_F(DriverTest, DriverLevelRefusalsAnswerAStatus) {
  // Unknown control code under a known signature: "Invalid parameter".
  std::vector<std::uint8_t> unknown = {HDR, SIG_IDE,  TIMEOUT5, 0x99, 0x20, 0x04,
                                       0,   RC_UNSET, 0,        0,    0,    0};
  auto result = driver_->Control(0, platform::kIoctlScsiMiniport, unknown, 28, 28);
  EXPECT_TRUE(result.ok);
  EXPECT_EQ(unknown[20], 2);
  EXPECT_EQ(unknown[21] | unknown[22] | unknown[23], 0);

  // A Length below what the request needs: "Caller's buffer is too small."; the
  // payload is left as sent.
  std::vector<std::uint8_t> shortRequest = {HDR, SIG_IDE, TIMEOUT5, 0x00, 0x20, 0x04, 0,   RC_UNSET,
                                            3,   0,       0,        0,    0xFF, 0,    0xFF};
  result = driver_->Control(0, platform::kIoctlScsiMiniport, shortRequest, 31, 31);
  EXPECT_TRUE(result.ok);
  EXPECT_EQ(shortRequest[20], 3);
  EXPECT_EQ(shortRequest[28], 0xFF);
  EXPECT_EQ(shortRequest[30], 0xFF);

  // Replies are written only within the Length even when more room is offered.
  Reply r =
      Send(0, {HDR, SIG_IDE, TIMEOUT5, 0x00, 0x20, 0x04, 0, RC_UNSET, 4, 0, 0, 0, 0xFF, 0, 0xFF, 0},
           64, 64, 64, 0xEE);
  EXPECT_EQ(r.D16(0), 2);
  for (std::size_t i = 32; i < 64; ++i) EXPECT_EQ(r.U8(i), 0xEE) << i;
}

TEST_F(DriverTest, InputAndOutputSizesBoundReadsAndWrites) {
  // Header only in, the reply out: request fields past the input read as 0.
  std::vector<std::uint8_t> version = {HDR, SIG_IDE,  TIMEOUT5, 0x00, 0x20, 0x04,
                                       0,   RC_UNSET, 4,        0,    0,    0};
  version.resize(32, 0xEE);
  auto result = driver_->Control(0, platform::kIoctlScsiMiniport, version, 28, 32);
  ASSERT_TRUE(result.ok);
  EXPECT_EQ(result.bytesReturned, 32U);
  EXPECT_EQ(version[28], 2);

  // A fetch whose output holds two records returns two and keeps the third.
  for (std::uint8_t path : {0, 1, 2}) {
    driver_->Control(0, platform::kIoctlStorageResetBus, std::span(&path, 1), 1, 0);
  }
  const Reply r = Send(0, {HDR, SIG_IDE, TIMEOUT5, 0x0C, 0x20, 0x04, 0, RC_UNSET, 0xE4, 0x06, 0, 0},
                       kIdeSize, 28 + 1764, 28 + 4 + 2 * 88, 0xFF);
  ASSERT_TRUE(r.result.ok);
  EXPECT_EQ(r.result.bytesReturned, 28U + 4U + 176U);
  EXPECT_EQ(r.D32(0), 2U);
  EXPECT_EQ(r.U8(28 + 4 + 176), 0xFF);
  EXPECT_EQ(driver_->PendingEvents(0), 1U);
}

// ---------------------------------------------------------------------------
// Port devices

TEST_F(DriverTest, PortDevicesOpenByExactName) {
  SimulatedDeviceControl control(driver_);
  std::uint32_t error = 99;
  const auto h0 = control.Open(L"\\\\.\\scsi0:", &error);
  EXPECT_NE(h0, platform::kInvalidDeviceHandle);
  EXPECT_EQ(error, 0U);
  const auto h2 = control.Open(L"\\\\.\\scsi2:", &error);
  EXPECT_NE(h2, platform::kInvalidDeviceHandle);
  EXPECT_NE(h0, h2);
  for (const wchar_t* name :
       {L"\\\\.\\scsi3:", L"\\\\.\\scsi00:", L"\\\\.\\scsi0", L"scsi0:", L"\\\\.\\scsi:",
        L"\\\\.\\scsi-1:", L"\\\\.\\scsi99999999999:", L"\\\\.\\SCSI0:", L""}) {
    error = 0;
    EXPECT_EQ(control.Open(name, &error), platform::kInvalidDeviceHandle) << name;
    EXPECT_EQ(error, kFileNotFound) << name;
  }

  std::vector<std::uint8_t> buffer = {HDR, SIG_IDE, TIMEOUT5, 0x00, 0x20, 0x04, 0,    RC_UNSET,
                                      4,   0,       0,        0,    0xFF, 0,    0xFF, 0};
  EXPECT_TRUE(control.Control(h2, platform::kIoctlScsiMiniport, buffer, 32, 32).ok);
  EXPECT_EQ(buffer[28], 1);  // port 2 answers for the third adapter (driver 1.5)
  control.Close(h2);
  const auto closed = control.Control(h2, platform::kIoctlScsiMiniport, buffer, 32, 32);
  EXPECT_FALSE(closed.ok);
  EXPECT_EQ(closed.lastError, kInvalidHandle);
  for (const platform::DeviceHandle bad : {platform::DeviceHandle{0}, platform::DeviceHandle{99}}) {
    EXPECT_EQ(control.Control(bad, platform::kIoctlScsiMiniport, buffer, 32, 32).lastError,
              kInvalidHandle);
  }
  control.Close(99);  // harmless
  EXPECT_TRUE(control.Control(h0, platform::kIoctlScsiMiniport, buffer, 32, 32).ok);
}

TEST_F(DriverTest, ClosedHandlesAreReleasedAndNeverComeBack) {
  SimulatedDeviceControl control(driver_);
  std::vector<std::uint8_t> buffer = {HDR, SIG_IDE, TIMEOUT5, 0x00, 0x20, 0x04, 0,    RC_UNSET,
                                      4,   0,       0,        0,    0xFF, 0,    0xFF, 0};
  const auto kept = control.Open(L"\\\\.\\scsi1:", nullptr);
  platform::DeviceHandle last = kept;
  for (int round = 0; round < 1000; ++round) {
    const auto h = control.Open(L"\\\\.\\scsi0:", nullptr);
    ASSERT_GT(h, last);  // a closed handle's number is not handed out again
    last = h;
    control.Close(h);
    const auto stale = control.Control(h, platform::kIoctlScsiMiniport, buffer, 32, 32);
    ASSERT_FALSE(stale.ok);
    ASSERT_EQ(stale.lastError, kInvalidHandle);
  }
  EXPECT_EQ(control.OpenHandles(), 1U);
  control.Close(last);  // a second close is harmless
  EXPECT_TRUE(control.Control(kept, platform::kIoctlScsiMiniport, buffer, 32, 32).ok);
  control.Close(kept);
  EXPECT_EQ(control.OpenHandles(), 0U);
}

}  // namespace
}  // namespace kestrune::sim::testing
