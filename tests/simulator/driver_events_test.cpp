// Events queued by changes and by the timeline, rebuilds in virtual time,
// fault injection and concurrent callers.
#include <array>
#include <thread>

#include "simulator/driver_fixture.h"

namespace kestrune::sim::testing {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

// GUIDs as they lie in a record: u32, u16, u16 little-endian, then 8 bytes.
const Bytes kMemberDropped = {0xF7, 0x5B, 0x70, 0x4B, 0x71, 0x2A, 0xCE, 0x47,
                              0xB0, 0x26, 0x76, 0x26, 0x3A, 0xDA, 0x87, 0x17};
const Bytes kSpareDrive = {0x51, 0x06, 0xF8, 0xB3, 0x10, 0xDD, 0x5A, 0x4E,
                           0x9C, 0xCD, 0x32, 0x89, 0x80, 0x43, 0x5E, 0x0F};
const Bytes kRebuild = {0x5F, 0x57, 0x60, 0x60, 0x12, 0x48, 0x6E, 0x47,
                        0xAE, 0x55, 0xD5, 0x5F, 0x42, 0x36, 0xA6, 0xDC};
const Bytes kDeviceRemoved = {0x68, 0x9A, 0xE4, 0x90, 0xC8, 0x52, 0xA9, 0x47,
                              0xB5, 0x0B, 0x4D, 0x2C, 0x6F, 0xA9, 0x4B, 0x4B};
const Bytes kNewDevice = {0xEB, 0x45, 0x25, 0x39, 0x08, 0xC1, 0xC5, 0x46,
                          0xA4, 0x5F, 0xAB, 0xBB, 0xEC, 0xDC, 0xA7, 0x62};
const Bytes kDeviceChanged = {0xC0, 0x96, 0x90, 0x62, 0xB7, 0xFF, 0x98, 0x49,
                              0x8D, 0xFA, 0x4C, 0x39, 0x23, 0xDB, 0xBE, 0xDC};
const Bytes kMemberError = {0x3D, 0xDB, 0x1B, 0xF9, 0xA6, 0x42, 0xE2, 0x4C,
                            0x91, 0x6B, 0xFA, 0xD3, 0x66, 0x2D, 0xAC, 0x0E};
const Bytes kUdma = {0x20, 0xC1, 0x0C, 0x65, 0xB0, 0x94, 0xEF, 0x46,
                     0x9C, 0x61, 0x05, 0x20, 0x19, 0x9E, 0x32, 0x32};
const Bytes kMemberAdded = {0x98, 0xA7, 0x6D, 0xD8, 0x7C, 0x3D, 0x07, 0x45,
                            0x85, 0x9B, 0x96, 0xB4, 0xF1, 0x13, 0x7B, 0x79};
const Bytes kMemberRemoved = {0x23, 0x39, 0xD9, 0x38, 0x17, 0xFA, 0x7E, 0x41,
                              0x9B, 0xEE, 0xDC, 0x6C, 0xCF, 0x4A, 0x40, 0x44};
const Bytes kBusReset = {0x53, 0xDC, 0x2E, 0x41, 0xFD, 0x66, 0x6A, 0x4A,
                         0x92, 0x8A, 0x22, 0xDA, 0xC8, 0x8B, 0x1B, 0x23};
const Bytes kSetDeleted = {0xFA, 0xE6, 0xB0, 0x86, 0x1F, 0xE6, 0xDB, 0x40,
                           0xAE, 0x42, 0x21, 0x82, 0x23, 0x45, 0x1D, 0x2B};

// Record i of a FetchEvents reply (data+4+88 x i).
Bytes Record(const Reply& r, std::size_t i) {
  const auto begin = r.bytes.begin() + static_cast<std::ptrdiff_t>(28 + 4 + 88 * i);
  return Bytes(begin, begin + 88);
}
Bytes Guid(const Bytes& record) {
  return Bytes(record.begin(), record.begin() + 16);
}
std::uint32_t Severity(const Bytes& record) {
  return static_cast<std::uint32_t>(record[40] | (record[41] << 8) | (record[42] << 16) |
                                    (record[43] << 24));
}
std::uint64_t Stamp(const Bytes& record) {
  std::uint64_t v = 0;
  for (std::size_t i = 0; i < 8; ++i) v |= std::uint64_t{record[24 + i]} << (8 * i);
  return v;
}
// The class data from byte 44, as many bytes as given.
Bytes Data(const Bytes& record, std::size_t n) {
  return Bytes(record.begin() + 44, record.begin() + 44 + static_cast<std::ptrdiff_t>(n));
}
constexpr std::uint64_t Seconds(std::uint64_t s) {
  return kStartFileTime + s * 10'000'000;
}

TimelineStep Step(double at, std::size_t adapter, TimelineAction action) {
  TimelineStep step;
  step.atSeconds = at;
  step.adapter = adapter;
  step.action = std::move(action);
  return step;
}

TEST_F(DriverTest, EventRecordLayout) {
  ASSERT_EQ(Rio(0, 0x40, {3}), 0U);  // CreateSpare
  const Reply r = Fetch(0);
  ASSERT_EQ(r.D32(0), 1U);
  const Bytes e = Record(r, 0);
  EXPECT_EQ(Guid(e), kSpareDrive);
  EXPECT_EQ(Bytes(e.begin() + 24, e.begin() + 32), (Bytes{0, 144, 245, 181, 5, 134, 220, 1}));
  EXPECT_EQ(Severity(e), 1U);
  EXPECT_EQ(Data(e, 2), (Bytes{1, 3}));
  for (const std::size_t i : {16, 20, 32, 36}) EXPECT_EQ(e[i], 0) << i;
  for (std::size_t i = 46; i < 88; ++i) EXPECT_EQ(e[i], 0) << i;
  // Nothing beyond the one record is written.
  for (std::size_t i = 28 + 4 + 88; i < kIdeSize; ++i) ASSERT_EQ(r.U8(i), 0xFF) << i;
}

TEST_F(DriverTest, CommandsQueueTheirEvents) {
  Advance(5s);
  ASSERT_EQ(Rio(0, 0x10, {0, 1}), 0U);  // RemoveMember
  ASSERT_EQ(Rio(0, 0x0C, {1, 0}), 0U);  // AddMember: joins and rebuilds
  ASSERT_EQ(Rio(0, 0x44, {2}), 0U);     // DeleteSpare
  ASSERT_EQ(Rio(0, 0x08, {0, 0, 0, 0}), 0U);
  std::uint8_t path = 2;
  ASSERT_TRUE(driver_->Control(0, platform::kIoctlStorageResetBus, std::span(&path, 1), 1, 0).ok);
  const Reply r = Fetch(0);
  ASSERT_EQ(r.D32(0), 6U);
  EXPECT_EQ(Guid(Record(r, 0)), kMemberRemoved);
  EXPECT_EQ(Data(Record(r, 0), 3), (Bytes{0, 1, 1}));
  EXPECT_EQ(Severity(Record(r, 0)), 2U);
  EXPECT_EQ(Stamp(Record(r, 0)), Seconds(5));
  EXPECT_EQ(Guid(Record(r, 1)), kMemberAdded);
  EXPECT_EQ(Data(Record(r, 1), 2), (Bytes{0, 1}));
  EXPECT_EQ(Severity(Record(r, 1)), 1U);
  EXPECT_EQ(Guid(Record(r, 2)), kRebuild);
  EXPECT_EQ(Data(Record(r, 2), 4), (Bytes{0, 1, 5, 1}));
  EXPECT_EQ(Severity(Record(r, 2)), 2U);
  EXPECT_EQ(Guid(Record(r, 3)), kSpareDrive);
  EXPECT_EQ(Data(Record(r, 3), 2), (Bytes{2, 2}));
  EXPECT_EQ(Guid(Record(r, 4)), kSetDeleted);
  EXPECT_EQ(Data(Record(r, 4), 2), (Bytes{0, 2}));
  EXPECT_EQ(Guid(Record(r, 5)), kBusReset);
  EXPECT_EQ(Data(Record(r, 5), 1), (Bytes{2}));
  EXPECT_EQ(driver_->PendingEvents(0), 0U);
}

TEST_F(DriverTest, DroppedMemberIsReplacedBySpareAndRebuilt) {
  Scenario s = Machine();
  DropMember drop;
  drop.set = 0;
  drop.position = 1;
  drop.reason = 2;
  drop.srbStatus = 4;
  s.timeline = {Step(10, 0, drop)};
  Make(s);
  driver_->GpioStatus(0);
  Advance(9s);
  EXPECT_EQ(driver_->PendingEvents(0), 0U);
  Advance(1s);
  Reply r = Fetch(0);
  ASSERT_EQ(r.D32(0), 3U);
  const Bytes dropped = Record(r, 0);
  EXPECT_EQ(Guid(dropped), kMemberDropped);
  EXPECT_EQ(Severity(dropped), 3U);
  EXPECT_EQ(Stamp(dropped), Seconds(10));
  EXPECT_EQ(Data(dropped, 5), (Bytes{0, 1, 2, 4, 1}));
  EXPECT_EQ(Guid(Record(r, 1)), kSpareDrive);
  EXPECT_EQ(Data(Record(r, 1), 4), (Bytes{3, 2, 0, 1}));
  EXPECT_EQ(Guid(Record(r, 2)), kRebuild);
  EXPECT_EQ(Data(Record(r, 2), 4), (Bytes{0, 1, 5, 2}));

  // Rate 50 of a 20 s full-rate rebuild: 40 s. Half way after 20 s.
  Advance(20s);
  r = QuerySets(0);
  EXPECT_EQ(r.D16(4 + 4), 2);
  EXPECT_EQ(r.D16(4 + 20), 2);
  EXPECT_EQ(r.D8(4 + 23), 2);
  EXPECT_EQ(r.D8(4 + 24), 50);
  EXPECT_TRUE(driver_->CurrentAdapter(0).spares.empty());

  // At rate 100 the remaining half takes 10 s; the completion carries its own time.
  ASSERT_EQ(Rio(0, 0x38, {0, 100}), 0U);
  Advance(9s);
  EXPECT_EQ(QuerySets(0).D8(4 + 24), 95);
  Advance(30s);
  r = QuerySets(0);
  EXPECT_EQ(r.D16(4 + 4), 1);
  EXPECT_EQ(r.D16(4 + 20), 1);
  r = Fetch(0);
  ASSERT_EQ(r.D32(0), 1U);
  EXPECT_EQ(Guid(Record(r, 0)), kRebuild);
  EXPECT_EQ(Data(Record(r, 0), 4), (Bytes{0, 1, 1, 2}));
  EXPECT_EQ(Severity(Record(r, 0)), 1U);
  EXPECT_EQ(Stamp(Record(r, 0)), Seconds(40));
  EXPECT_EQ(driver_->GpioStatus(0), 0);
  // The dropped disk stays attached as a free disk.
  const auto targets = driver_->Adapters()[0].targets;
  ASSERT_EQ(targets.size(), 3U);
  EXPECT_EQ(targets[1].channel, 1);
}

TEST_F(DriverTest, RebuildPausesAtRateZeroAndResumesFromItsPercent) {
  Scenario s = Machine();
  s.adapters[0].sets[0].rebuildRate = 0;
  s.adapters[0].sets[0].members[1].state = MemberState::Rebuild;
  s.adapters[0].sets[0].members[1].rebuildPercent = 40;
  Make(s);
  Advance(1000s);
  EXPECT_EQ(QuerySets(0).D8(4 + 24), 40);
  ASSERT_EQ(Rio(0, 0x38, {0, 100}), 0U);
  Advance(10s);
  EXPECT_EQ(QuerySets(0).D8(4 + 24), 90);
  Advance(2s);
  EXPECT_EQ(QuerySets(0).D16(4 + 20), 1);
  EXPECT_EQ(Stamp(Record(Fetch(0), 0)), Seconds(1012));
}

TEST_F(DriverTest, DropWithoutUsableSpare) {
  Scenario s = Machine();
  DropMember drop;
  drop.position = 0;
  s.timeline = {Step(1, 0, drop), Step(2, 0, drop)};  // the second finds it dropped already
  s.adapters[0].spares = {3};                         // too small
  Make(s);
  Advance(3s);
  Reply r = Fetch(0);
  ASSERT_EQ(r.D32(0), 2U);
  EXPECT_EQ(Guid(Record(r, 0)), kMemberDropped);
  EXPECT_EQ(Guid(Record(r, 1)), kSpareDrive);
  EXPECT_EQ(Data(Record(r, 1), 4), (Bytes{4, 3, 0, 0}));
  EXPECT_EQ(Severity(Record(r, 1)), 2U);
  r = QuerySets(0);
  EXPECT_EQ(r.D16(4 + 4), 2);
  EXPECT_EQ(r.D16(4 + 12), 3);

  // Spare use off: only the drop.
  s = Machine();
  s.adapters[0].sets[0].spareEnabled = false;
  s.timeline = {Step(1, 0, drop)};
  Make(s);
  Advance(1s);
  EXPECT_EQ(driver_->PendingEvents(0), 1U);
  EXPECT_EQ(driver_->CurrentAdapter(0).spares.size(), 1U);
}

TEST_F(DriverTest, UnpluggedMemberDropsFirst) {
  Scenario s = Machine();
  s.adapters[0].sets[0].spareEnabled = false;
  RemoveDisk remove;
  remove.channel = 0;
  s.timeline = {Step(1, 0, remove)};
  Make(s);
  Advance(1s);
  const Reply r = Fetch(0);
  ASSERT_EQ(r.D32(0), 2U);
  EXPECT_EQ(Guid(Record(r, 0)), kMemberDropped);
  EXPECT_EQ(Data(Record(r, 0), 5), (Bytes{0, 0, 1, 10, 0}));
  const Bytes removed = Record(r, 1);
  EXPECT_EQ(Guid(removed), kDeviceRemoved);
  EXPECT_EQ(Severity(removed), 2U);
  EXPECT_EQ(Data(removed, 2), (Bytes{0, 0}));
  const std::string model(removed.begin() + 46, removed.begin() + 86);
  EXPECT_EQ(model, "DISK A" + std::string(34, ' '));
  const AdapterSpec now = driver_->CurrentAdapter(0);
  EXPECT_EQ(now.disks.size(), 3U);
  EXPECT_EQ(now.sets[0].members[0].state, MemberState::Removed);
}

TEST_F(DriverTest, HotPlugAnnouncesNewAndChangedDevices) {
  Scenario s = Machine();
  s.timeline = {Step(1, 1, InsertDisk{Disk(1, 0, 100, "NEW ONE")}),
                Step(2, 1, InsertDisk{Disk(0, 0, 100, "SWAPPED")}),
                Step(3, 1, InsertDisk{Disk(2, 0, 100, "NOWHERE")}),  // no such channel
                Step(4, 9, InsertDisk{Disk(1, 0, 100, "NO ADAPTER")})};
  Make(s);
  Advance(5s);
  const Reply r = Fetch(1);
  ASSERT_EQ(r.D32(0), 2U);
  EXPECT_EQ(Guid(Record(r, 0)), kNewDevice);
  EXPECT_EQ(Data(Record(r, 0), 9), (Bytes{1, 0, 'N', 'E', 'W', ' ', 'O', 'N', 'E'}));
  EXPECT_EQ(Severity(Record(r, 0)), 1U);
  EXPECT_EQ(Guid(Record(r, 1)), kDeviceChanged);
  EXPECT_EQ(Data(Record(r, 1), 3), (Bytes{0, 0, 'S'}));
  // Both now answer QueryDeviceInfo: presence bits 3 (primary) and 3 (secondary).
  const Reply info =
      Send(1, {HDR, SIG_IDE, TIMEOUT5, 0x04, 0x20, 0x04, 0, RC_UNSET, 0x40, 0, 0, 0}, kIdeSize);
  EXPECT_EQ(info.D32(32), 3U);
  EXPECT_EQ(info.D32(48), 3U);
}

TEST_F(DriverTest, MemberErrorsCarryTheirClassData) {
  Scenario s = Machine();
  MemberError port;
  port.position = 1;
  port.kind = 1;
  port.srbStatus = 0x84;
  port.cdb = {0x28, 1, 2, 3, 4, 5, 6, 7, 8, 9};
  MemberError scsi;
  scsi.kind = 2;
  scsi.senseKey = 3;
  scsi.asc = 0x11;
  scsi.ascq = 0x04;
  scsi.information = 0x01020304;
  scsi.cdb = {0x12, 0, 0, 0, 36, 0};
  MemberError bbr;
  bbr.kind = 4;
  bbr.bbrType = 3;
  bbr.block = 0x1000;
  bbr.virtualBlock = 0xABCDEF;
  s.timeline = {Step(1, 0, port), Step(1, 0, scsi), Step(1, 0, bbr)};
  Make(s);
  Advance(1s);
  const Reply r = Fetch(0);
  ASSERT_EQ(r.D32(0), 3U);
  const Bytes p = Record(r, 0);
  EXPECT_EQ(Guid(p), kMemberError);
  EXPECT_EQ(Severity(p), 3U);
  EXPECT_EQ(Data(p, 16), (Bytes{0, 1, 1, 1, 0, 0x84, 0x28, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
  const Bytes q = Record(r, 1);
  EXPECT_EQ(Data(q, 17), (Bytes{0, 0, 0, 2, 3, 1, 2, 3, 4, 0x11, 0x04, 0x12, 0, 0, 0, 36, 0}));
  const Bytes b = Record(r, 2);
  EXPECT_EQ(Severity(b), 2U);  // "replacement successful" is a notice
  EXPECT_EQ(Data(b, 16), (Bytes{0, 0, 0, 4, 3, 0, 0, 0, 0x00, 0x10, 0, 0, 0xEF, 0xCD, 0xAB, 0}));
}

TEST_F(DriverTest, UltraDmaChangeAndRawRecords) {
  Scenario s = Machine();
  UdmaChange udma;
  udma.channel = 1;
  udma.newMode = 2;
  RawEvent raw;
  raw.record = Bytes(100, 0x5A);  // longer than a record: cut to 88
  s.timeline = {Step(1, 0, udma), Step(2, 0, raw)};
  Make(s);
  Advance(2s);
  const Reply r = Fetch(0);
  ASSERT_EQ(r.D32(0), 2U);
  EXPECT_EQ(Guid(Record(r, 0)), kUdma);
  EXPECT_EQ(Data(Record(r, 0), 4), (Bytes{1, 0, 5, 2}));
  EXPECT_EQ(Severity(Record(r, 0)), 2U);
  EXPECT_EQ(Record(r, 1), Bytes(88, 0x5A));
  EXPECT_EQ(driver_->CurrentAdapter(0).disks[1].currentMode, 2);
}

TEST_F(DriverTest, FetchReturnsAtMostTwentyAndKeepsTheRest) {
  Scenario s = Machine();
  for (int i = 0; i < 25; ++i) {
    RawEvent raw;
    raw.record = {static_cast<std::uint8_t>(i)};
    s.timeline.push_back(Step(1, 0, raw));
  }
  Make(s);
  Advance(1s);
  Reply r = Fetch(0);
  ASSERT_EQ(r.D32(0), 20U);
  for (std::size_t i = 0; i < 20; ++i) EXPECT_EQ(Record(r, i)[0], i);
  EXPECT_EQ(r.result.bytesReturned, 28U + 1764U);
  EXPECT_EQ(driver_->PendingEvents(0), 5U);
  r = Fetch(0);
  ASSERT_EQ(r.D32(0), 5U);
  EXPECT_EQ(Record(r, 0)[0], 20);
  EXPECT_EQ(r.U8(28 + 4 + 5 * 88), 0xFF);
  EXPECT_EQ(Fetch(0).D32(0), 0U);
}

TEST_F(DriverTest, QueueKeepsTheNewestThousand) {
  Scenario s = Machine();
  for (int i = 0; i < 1005; ++i) {
    RawEvent raw;
    raw.record = {static_cast<std::uint8_t>(i & 0xFF), static_cast<std::uint8_t>(i >> 8)};
    s.timeline.push_back(Step(1, 0, raw));
  }
  Make(s);
  EXPECT_EQ(driver_->PendingEvents(0), 0U);
  Advance(1s);
  EXPECT_EQ(driver_->PendingEvents(0), 1000U);
  const Bytes first = Record(Fetch(0), 0);
  EXPECT_EQ(first[0], 5);
  EXPECT_EQ(first[1], 0);
}

// ---------------------------------------------------------------------------
// Fault injection

TEST_F(DriverTest, FaultCallFailsCountsDown) {
  driver_->InjectFault({0, "QuerySets", FaultKind::CallFails, 1117, 2});
  Reply r = QuerySets(0);
  EXPECT_FALSE(r.result.ok);
  EXPECT_EQ(r.result.lastError, 1117U);
  EXPECT_EQ(r.ReturnCode(), 0xFFFFFFFFU);
  EXPECT_FALSE(QuerySets(0).result.ok);
  EXPECT_TRUE(QuerySets(0).result.ok);
  EXPECT_TRUE(QuerySets(1).result.ok);  // other adapters are not touched

  driver_->InjectFault({1, "Open", FaultKind::CallFails, 5, -1});
  SimulatedDeviceControl control(driver_);
  std::uint32_t error = 0;
  EXPECT_EQ(control.Open(L"\\\\.\\scsi1:", &error), platform::kInvalidDeviceHandle);
  EXPECT_EQ(error, 5U);
  EXPECT_EQ(control.Open(L"\\\\.\\scsi1:", &error), platform::kInvalidDeviceHandle);
  EXPECT_NE(control.Open(L"\\\\.\\scsi0:", &error), platform::kInvalidDeviceHandle);

  driver_->InjectFault({0, "ResetBus", FaultKind::CallFails, 31, 1});
  std::uint8_t path = 0;
  EXPECT_EQ(
      driver_->Control(0, platform::kIoctlStorageResetBus, std::span(&path, 1), 1, 0).lastError,
      31U);
  EXPECT_EQ(driver_->PendingEvents(0), 0U);
}

TEST_F(DriverTest, FaultStatusRefusesWithoutChangingAnything) {
  Scenario s = Machine();
  s.faults = {{0, "RemoveMember", FaultKind::Status, 14, 1}};
  Make(s);
  EXPECT_EQ(Rio(0, 0x10, {0, 1}), 14U);
  EXPECT_EQ(driver_->CurrentAdapter(0).sets[0].members.size(), 2U);
  EXPECT_EQ(Rio(0, 0x10, {0, 1}), 0U);
}

TEST_F(DriverTest, FaultsRewriteCountsAndIndexes) {
  driver_->InjectFault({0, "QuerySets", FaultKind::ReplyCount, 3, 1});
  driver_->InjectFault({0, "QuerySets", FaultKind::ReplyIndex, 200, 1});
  driver_->InjectFault({0, "QuerySpareDrives", FaultKind::ReplyCount, 5, 1});
  driver_->InjectFault({0, "QuerySpareDrives", FaultKind::ReplyIndex, 77, 1});
  driver_->InjectFault({0, "FetchEvents", FaultKind::ReplyCount, 0xFFFFFFFF, 1});
  driver_->InjectFault({0, "QueryDeviceInfo", FaultKind::ReplyIndex, 4, 1});
  driver_->InjectFault({0, "QueryAdapterInfo", FaultKind::NameWithoutNul, 0, 1});

  Reply r = QuerySets(0);
  EXPECT_EQ(r.D16(2), 3);
  EXPECT_EQ(r.D8(4 + 12 + 3), 200);
  EXPECT_EQ(QuerySets(0).D16(2), 1);  // struck once

  r = Send(0, {HDR, SIG_RIO, TIMEOUT5, 0x2C, 0x20, 0x04, 0, RC_UNSET, 6, 0, 0, 0, 4, 0}, kRioSize);
  EXPECT_EQ(r.D16(0), 5);
  EXPECT_EQ(r.D8(2), 77);
  EXPECT_EQ(Fetch(0).D32(0), 0xFFFFFFFFU);
  r = Send(0, {HDR, SIG_IDE, TIMEOUT5, 0x08, 0x20, 0x04, 0, RC_UNSET, 0x18, 0x02, 0, 0, 1, 0, 1, 0},
           kIdeSize);
  EXPECT_EQ(r.D8(20), 4);
  r = Send(0, {HDR, SIG_IDE, TIMEOUT5, 0x04, 0x20, 0x04, 0, RC_UNSET, 0xA4, 0, 0, 0}, kIdeSize);
  EXPECT_EQ(r.ReturnCode(), 0U);
  for (std::size_t i = 36; i < 164; ++i) ASSERT_NE(r.D8(i), 0) << i;
  EXPECT_EQ(r.D8(36), 'B');
}

// ---------------------------------------------------------------------------
// Threads: the UI thread and the event logger call at once.

TEST_F(DriverTest, ConcurrentCallersSeeEveryEventOnce) {
  SimulatedDeviceControl control(driver_);
  const auto handle = control.Open(L"\\\\.\\scsi0:", nullptr);
  constexpr int kResets = 300;
  std::thread ui([&] {
    for (int i = 0; i < kResets; ++i) {
      std::uint8_t path = static_cast<std::uint8_t>(i % 4);
      control.Control(handle, platform::kIoctlStorageResetBus, std::span(&path, 1), 1, 0);
      std::vector<std::uint8_t> rate = {
          HDR,      SIG_RIO, TIMEOUT5, 0x38, 0x20, 0x04, 0,
          RC_UNSET, 2,       0,        0,    0,    0,    static_cast<std::uint8_t>(i % 101)};
      control.Control(handle, platform::kIoctlScsiMiniport, rate, rate.size(), rate.size());
    }
  });
  std::size_t seen = 0;
  std::thread logger([&] {
    for (int polls = 0; polls < 100000 && seen < kResets; ++polls) {
      std::vector<std::uint8_t> buffer(kIdeSize, 0xFF);
      const std::vector<std::uint8_t> request = {HDR, SIG_IDE,  TIMEOUT5, 0x0C, 0x20, 0x04,
                                                 0,   RC_UNSET, 0xE4,     0x06, 0,    0};
      std::copy(request.begin(), request.end(), buffer.begin());
      if (control.Control(handle, platform::kIoctlScsiMiniport, buffer, kIdeSize, kIdeSize).ok) {
        seen += buffer[28];
      }
    }
  });
  ui.join();
  logger.join();
  EXPECT_EQ(seen, static_cast<std::size_t>(kResets));
  EXPECT_EQ(driver_->PendingEvents(0), 0U);
}

}  // namespace
}  // namespace kestrune::sim::testing
