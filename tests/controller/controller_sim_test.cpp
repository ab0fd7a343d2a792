// The controller against the simulated adapters: discovery, refresh, the LED
// byte, Plug and Play lookups, driver files and the RAID commands.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>

#include "controller/controller_io.h"
#include "controller/recording_observer.h"
#include "machine/machine.h"
#include "platform/manual_clock.h"
#include "platform/recording_ui.h"
#include "platform/temp_dir.h"
#include "simulator/simulator.h"
#include "support/scenarios.h"
#include "support/test_machine.h"
#include "support/watched_control.h"

namespace kestrune::ctl {
namespace {

sim::DiskSpec Disk(std::uint8_t channel, std::uint8_t device, std::uint32_t problem = 0) {
  sim::DiskSpec disk;
  disk.channel = channel;
  disk.device = device;
  disk.sectors = 312581808;
  disk.model = "KST DISK " + std::to_string(channel) + std::to_string(device);
  disk.problem = problem;
  return disk;
}

sim::AdapterSpec Extended(std::string name = "bv7420r", std::uint16_t minor = 1) {
  sim::AdapterSpec a = test::ExtendedRaidAdapter();
  a.driverMinor = minor;
  a.name = std::move(name);
  return a;
}

sim::AdapterSpec Legacy() {
  sim::AdapterSpec a;
  a.driverMajor = 1;
  a.driverMinor = 5;
  a.chipId = 0x7210;
  a.chipType = 1;
  a.name.clear();
  a.channels = 2;
  a.devicesPerChannel = 2;
  return a;
}

sim::MemberSpec Member(std::uint8_t device, std::uint8_t position,
                       sim::MemberState state = sim::MemberState::Current) {
  sim::MemberSpec m;
  m.deviceIndex = device;
  m.position = position;
  m.state = state;
  return m;
}

// The controller over a whole machine: the real system's facts, a registry
// file of its own, and every request watched.
struct Machine {
  std::shared_ptr<platform::ManualClock> clock = std::make_shared<platform::ManualClock>();
  testing::TempDir dir;
  machine::Machine machine;
  sim::Simulator* simulator = nullptr;
  std::shared_ptr<test::WatchedControl> recorder;
  std::shared_ptr<platform::RecordingUi> ui = std::make_shared<platform::RecordingUi>();
  test::RecordingObserver observer;
  std::unique_ptr<CControllerIo> io;

  explicit Machine(sim::Scenario scenario) {
    machine::MachineOptions options;
    options.scenario = std::move(scenario);
    options.clock = clock;
    options.registryPath = dir.File("registry.db");
    options.wrapDeviceControl = [this](std::shared_ptr<platform::DeviceControl> inner) {
      recorder = std::make_shared<test::WatchedControl>(std::move(inner));
      return recorder;
    };
    machine = test::MakeTestMachine(options);
    simulator = machine.Simulator();
    io = std::make_unique<CControllerIo>(machine.ControllerServices(ui));
    io->SetObserver(&observer);
  }
  AdapterRecord& Adapter(std::size_t n) { return *io->Model().Adapter(n); }
};

sim::Scenario With(std::vector<sim::AdapterSpec> adapters) {
  sim::Scenario s;
  s.adapters = std::move(adapters);
  return s;
}

TEST(Discovery, LedByteFollowsPresenceAndRebuildingMembers) {
  auto adapter = Extended();
  adapter.disks = {Disk(0, 0), Disk(2, 0)};
  sim::SetSpec set;
  set.type = sim::SetType::Mirrored;
  set.members = {Member(0, 0), Member(2, 1, sim::MemberState::Rebuild)};
  adapter.sets = {set};
  Machine m(With({adapter}));
  ASSERT_TRUE(m.io->Discover());
  EXPECT_EQ(m.Adapter(0).gpioStatus, 0xB5);
  EXPECT_EQ(m.simulator->Driver()->GpioStatus(0), 0xB5);
  EXPECT_EQ(m.recorder->Count("QMX_IDE ", 0x42024), 1u);
  EXPECT_EQ(m.recorder->Count("QMX_IDE ", 0x42028), 1u);
  // The interface is enabled with 1 and 255 before the byte is written.
  std::size_t interface = 0, status = 0;
  const auto sent = m.recorder->SentRequests();
  for (std::size_t i = 0; i < sent.size(); ++i) {
    const auto& s = sent[i];
    if (s.signature != "QMX_IDE ") continue;
    if (s.code == 0x42024) {
      interface = i;
      EXPECT_EQ(s.head[0], 1);
      EXPECT_EQ(s.head[1], 255);
    }
    if (s.code == 0x42028) {
      status = i;
      EXPECT_EQ(s.head[0], 1);
      EXPECT_EQ(s.head[1], 0xB5);
    }
  }
  EXPECT_LT(interface, status);
  EXPECT_EQ(m.observer.health, std::vector<bool>{false});
}

TEST(Discovery, DriverVersionTwoPointZeroSendsNoLedRequests) {
  auto adapter = Extended("bv7420r", 0);
  adapter.disks = {Disk(0, 0)};
  Machine m(With({adapter}));
  ASSERT_TRUE(m.io->Discover());
  EXPECT_EQ(m.recorder->Count("QMX_IDE ", 0x42024), 0u);
  EXPECT_EQ(m.recorder->Count("QMX_IDE ", 0x42028), 0u);
}

TEST(Discovery, ScanStopsAfterFourAdaptersAndRefreshesEach) {
  std::vector<sim::AdapterSpec> adapters;
  for (int i = 0; i < 5; ++i) {
    auto a = Extended();
    a.adapterId = static_cast<std::uint32_t>(i);
    a.disks = {Disk(0, 0)};
    adapters.push_back(a);
  }
  Machine m(With(adapters));
  ASSERT_TRUE(m.io->Discover());
  EXPECT_EQ(m.io->Model().AdapterCount(), 4u);
  EXPECT_EQ(m.recorder->Opened().size(), 4u);  // no fifth port was opened
  EXPECT_EQ(m.recorder->Opened().back(), L"\\\\.\\scsi3:");
  EXPECT_EQ(m.recorder->Count("QMX_RIO ", 0x42024), 4u);
  for (std::size_t n = 0; n < 4; ++n) EXPECT_EQ(m.Adapter(n).adapterNumber, n);
}

TEST(Discovery, ScanEndsAtFirstPortThatWillNotOpen) {
  auto a = Extended();
  a.disks = {Disk(0, 0)};
  auto scenario = With({a, a, a});
  sim::FaultSpec fault;
  fault.adapter = 1;
  fault.request = "Open";
  scenario.faults = {fault};
  Machine m(std::move(scenario));
  ASSERT_TRUE(m.io->Discover());
  EXPECT_EQ(m.io->Model().AdapterCount(), 1u);
  EXPECT_EQ(m.recorder->Opened().size(), 2u);
}

TEST(Discovery, UnrecognisedAdaptersAreDroppedAndTheirPortsClosed) {
  auto foreign = Legacy();
  foreign.chipId = 0x7300;  // not one of the two chips older drivers serve
  auto silent = Extended();
  auto scenario = With({foreign, silent, Legacy()});
  sim::FaultSpec fault;
  fault.adapter = 1;
  fault.request = "QueryAdapterInfo";
  fault.kind = sim::FaultKind::Status;
  fault.value = 2;
  scenario.faults = {fault};
  Machine m(std::move(scenario));
  ASSERT_TRUE(m.io->Discover());
  ASSERT_EQ(m.io->Model().AdapterCount(), 1u);
  EXPECT_EQ(m.Adapter(0).chipModel, L"BV-7210");
  EXPECT_EQ(m.Adapter(0).adapterNumber, 0u);
  EXPECT_EQ(m.recorder->Closed(), 2);
}

TEST(Discovery, RediscoveryLeavesOnlyTheCurrentPortsOpen) {
  Machine m(With({Extended(), Legacy()}));
  const auto ports = std::dynamic_pointer_cast<sim::SimulatedDeviceControl>(
      m.simulator->DeviceControl());
  ASSERT_NE(ports, nullptr);
  for (int round = 0; round < 50; ++round) ASSERT_TRUE(m.io->Discover());
  EXPECT_EQ(ports->OpenHandles(), 2u);
  m.io.reset();
  EXPECT_EQ(ports->OpenHandles(), 0u);
}

TEST(Discovery, NoAdapterLeavesOnlyTheComputerEntry) {
  Machine m(With({}));
  EXPECT_FALSE(m.io->Discover());
  EXPECT_EQ(m.io->Model().entryCount, 1u);
}

TEST(PlugAndPlay, ProblemNumbersDecideWhetherADiskIsInUse) {
  auto a = Extended();
  a.disks = {Disk(0, 0, 22), Disk(1, 0, 1), Disk(2, 0, 0), Disk(3, 0, 4)};
  Machine m(With({a}));
  ASSERT_TRUE(m.io->Discover());
  const AdapterRecord& adapter = m.Adapter(0);
  EXPECT_EQ(adapter.channels[0].devices[0].flags & kFlagInUse, kFlagInUse);  // 22
  EXPECT_EQ(adapter.channels[1].devices[0].flags, 0u);                      // 1: available
  EXPECT_EQ(adapter.channels[2].devices[0].flags, 0u);
  EXPECT_EQ(adapter.channels[3].devices[0].flags & kFlagInUse, kFlagInUse);  // bit 2
}

TEST(PlugAndPlay, EqualAdapterNamesGetKeysOneAndTwo) {
  auto first = Extended();
  first.adapterId = 1;
  first.disks = {Disk(0, 0)};
  auto second = Extended("BV7420R");
  second.adapterId = 2;
  second.pciBus = 3;
  second.disks = {Disk(1, 0)};
  Machine m(With({first, second}));
  ASSERT_TRUE(m.io->Discover());
  // Each disk is found under its own adapter's key, so both count as available.
  EXPECT_EQ(m.Adapter(0).channels[0].devices[0].flags, 0u);
  EXPECT_EQ(m.Adapter(1).channels[1].devices[0].flags, 0u);
  EXPECT_TRUE(m.io->IsDiskAvailable(1, 1, 0));
  EXPECT_FALSE(m.io->IsDiskAvailable(0, 1, 0));
}

TEST(PlugAndPlay, OlderAdaptersDisksAreAlwaysInUse) {
  auto a = Legacy();
  a.disks = {Disk(0, 0)};
  Machine m(With({a}));
  ASSERT_TRUE(m.io->Discover());
  const DeviceRecord& disk = m.Adapter(0).channels[0].devices[0];
  EXPECT_EQ(disk.flags & kFlagInUse, kFlagInUse);
  EXPECT_EQ(disk.deviceType, L"Disk");
  EXPECT_EQ(m.Adapter(0).channels[0].devices[1].modelNumber, L"UNKNOWN");
}

TEST(PlugAndPlay, RemovingADiskMarksItInUseWhetherOrNotItWasFound) {
  auto a = Extended();
  a.disks = {Disk(3, 0)};
  Machine m(With({a}));
  ASSERT_TRUE(m.io->Discover());
  EXPECT_TRUE(m.io->IsDiskAvailable(0, 3, 0));
  EXPECT_TRUE(m.io->RemoveDiskDevice(0, 3, 0));
  EXPECT_FALSE(m.io->IsDiskAvailable(0, 3, 0));
  EXPECT_TRUE(m.Adapter(0).channels[3].devices[0].flags & kFlagInUse);
  EXPECT_TRUE(m.io->RemoveDiskDevice(0, 2, 0));  // no such disk: still true
  EXPECT_TRUE(m.Adapter(0).channels[2].devices[0].flags & kFlagInUse);
}

sim::AdapterSpec MirrorWithSpare() {
  auto a = Extended();
  a.disks = {Disk(0, 0), Disk(1, 0), Disk(2, 0), Disk(3, 0)};
  sim::SetSpec set;
  set.type = sim::SetType::Mirrored;
  set.spareEnabled = true;
  set.members = {Member(0, 0), Member(1, 1)};
  a.sets = {set};
  a.spares = {2};
  a.driverFile = sim::DriverFileSpec{"2.1.0.18", "2006-03-14T09:26:53Z"};
  return a;
}

TEST(PlugAndPlay, ReenumerationAfterDeletingASetReturnsAtOnceWhenTheCountMatches) {
  Machine m(With({MirrorWithSpare()}));
  ASSERT_TRUE(m.io->Discover());
  EXPECT_TRUE(m.io->DeleteSet(m.Adapter(0), 0));
  EXPECT_EQ(m.clock->TotalSlept(), std::chrono::milliseconds(0));
  EXPECT_EQ(m.io->Model().entryCount, 1u);
  EXPECT_EQ(m.observer.released, 1);
  EXPECT_EQ(m.ui->MessageCount(), 0u);
}

TEST(PlugAndPlay, ReenumerationGivesUpAfterThreeAttemptsAndSixtySeconds) {
  Machine m(With({MirrorWithSpare()}));
  ASSERT_TRUE(m.io->Discover());
  m.simulator->DeviceManager()->SetReenumerationLag(10);
  // The removed member becomes a disk the system should see, but the adapter's
  // node keeps showing the disks it showed before the change.
  ASSERT_TRUE(m.io->RemoveMember(m.Adapter(0), 0, 1));
  EXPECT_TRUE(m.io->ReenumerateAdapter(0));
  EXPECT_EQ(m.clock->TotalSlept(), std::chrono::milliseconds(60000));
  EXPECT_EQ(m.io->Model().entryCount, 1u);
}

TEST(PlugAndPlay, FailedDeviceListEndsReenumerationWithFalse) {
  Machine m(With({MirrorWithSpare()}));
  ASSERT_TRUE(m.io->Discover());
  // Every list fails, the disk lookups of the refresh as well as the adapters'.
  m.simulator->DeviceManager()->FailDeviceLists(1000);
  EXPECT_FALSE(m.io->ReenumerateAdapter(0));
  EXPECT_TRUE(m.Adapter(0).channels[3].devices[0].flags & kFlagInUse);
  EXPECT_EQ(m.io->Model().AdapterCount(), 1u);
}

TEST(DriverFiles, VersionAndDateOfEachAdaptersDriver) {
  auto withoutFile = Legacy();
  withoutFile.disks = {Disk(0, 0)};
  withoutFile.driverFile.reset();
  Machine m(With({MirrorWithSpare(), withoutFile}));
  m.io->ReadComputerInfo();
  EXPECT_EQ(m.io->Model().computer.mediaPath, m.simulator->MediaPath());
  ASSERT_TRUE(m.io->Discover());
  m.io->ReadDriverFiles();
  EXPECT_EQ(m.Adapter(0).driverFileVersion, L"2.1.0.18");
  EXPECT_EQ(m.Adapter(0).driverFileDate.size(), 24u);
  EXPECT_EQ(m.Adapter(1).driverFileVersion, L"UNKNOWN");
  EXPECT_EQ(m.Adapter(1).driverFileDate, L"UNKNOWN");
  EXPECT_EQ(m.io->Model().supportMajorText, L"1");
  EXPECT_EQ(m.io->Model().supportFileVersion, L"UNKNOWN");
}

TEST(RaidCommands, RefusedCommandsShowTheDriversReason) {
  Machine m(With({MirrorWithSpare()}));
  ASSERT_TRUE(m.io->Discover());
  AdapterRecord& a = m.Adapter(0);
  EXPECT_FALSE(m.io->AddMember(a, 0, 1));
  ASSERT_EQ(m.ui->MessageCount(), 1u);
  EXPECT_EQ(m.ui->LastMessage()->text, L"Device already in use.\nReturn code 14.");
  EXPECT_EQ(m.ui->LastMessage()->caption, L"Add Member");
  EXPECT_FALSE(m.io->SetRebuildRate(a, 0, 101));
  EXPECT_EQ(m.ui->LastMessage()->text, L"Invalid parameter.\nReturn code 2.");
  EXPECT_FALSE(m.io->EnableSpare(a, 1, true));
  EXPECT_EQ(m.ui->LastMessage()->text, L"Invalid Array Index.\nReturn code 11.");
  EXPECT_TRUE(m.io->RemoveMember(a, 0, 1));
  EXPECT_FALSE(m.io->RemoveMember(a, 0, 0));
  EXPECT_EQ(m.ui->LastMessage()->text, L"Can not remove last member..\nReturn code 18.");
  EXPECT_EQ(m.ui->LastMessage()->caption, L"Remove Member");
}

TEST(RaidCommands, AcceptedCommandsShowInTheNextSetRead) {
  Machine m(With({MirrorWithSpare()}));
  ASSERT_TRUE(m.io->Discover());
  AdapterRecord& a = m.Adapter(0);
  ASSERT_TRUE(m.io->SetRebuildRate(a, 0, 80));
  ASSERT_TRUE(m.io->EnableSpare(a, 0, false));
  ASSERT_TRUE(m.io->QuerySets(a, false));
  EXPECT_EQ(a.sets[0].rebuildRate, 80u);
  EXPECT_EQ(a.sets[0].spareEnabled, 0);
  ASSERT_TRUE(m.io->RemoveMember(a, 0, 1));
  ASSERT_TRUE(m.io->AddMember(a, 0, 3));
  ASSERT_TRUE(m.io->QuerySets(a, true));
  EXPECT_EQ(a.sets[0].memberCount, 2);
  EXPECT_EQ(a.sets[0].members[1].deviceIndex, 3);
  EXPECT_EQ(a.sets[0].members[1].state, L"Rebuild");
  EXPECT_EQ(m.observer.health.back(), false);
  EXPECT_EQ(m.ui->MessageCount(), 0u);
}

// ---- operations ------------------------------------------------------------

TEST(Operations, SetChangesReachTheRecordOnlyWhenTheAdapterAppliesThem) {
  Machine m(With({MirrorWithSpare()}));
  ASSERT_TRUE(m.io->Discover());
  const SetRecord& set = m.Adapter(0).sets[0];
  ASSERT_EQ(set.spareEnabled, 1);
  const std::uint32_t rate = set.rebuildRate;
  EXPECT_FALSE(m.io->ChangeRebuildRate(0, 0, 101));  // refused: record as it was
  EXPECT_EQ(set.rebuildRate, rate);
  EXPECT_EQ(m.ui->LastMessage()->text, L"Invalid parameter.\nReturn code 2.");
  EXPECT_TRUE(m.io->ChangeRebuildRate(0, 0, 100));  // the highest rate
  EXPECT_EQ(set.rebuildRate, 100u);
  EXPECT_TRUE(m.io->ChangeSpareUse(0, 0, false));
  EXPECT_EQ(set.spareEnabled, 0);
  // The adapter agrees with the records.
  ASSERT_TRUE(m.io->RereadSets(0, false));
  EXPECT_EQ(set.rebuildRate, 100u);
  EXPECT_EQ(set.spareEnabled, 0);
}

TEST(Operations, NothingIsSentForAGoneAdapterSetOrSlot) {
  Machine m(With({MirrorWithSpare()}));
  ASSERT_TRUE(m.io->Discover());
  const std::size_t before = m.recorder->SentRequests().size();
  const auto anyAdapter = [](const AdapterRecord&) { return true; };
  EXPECT_FALSE(m.io->RereadAdapter(1));
  EXPECT_FALSE(m.io->RereadSets(1, true));
  EXPECT_FALSE(m.io->RereadSpares(1));
  EXPECT_FALSE(m.io->RereadAdapterAndDriver(1));
  EXPECT_FALSE(m.io->ChangeSpareUse(0, 1, true));  // one set only
  EXPECT_FALSE(m.io->ChangeRebuildRate(0, kMaxSets + 1, 50));
  EXPECT_FALSE(m.io->ChangeWriteCache(0, kMaxChannels, 0, true));
  EXPECT_FALSE(m.io->ChangeWriteCache(0, 0, kMaxDevicesPerChannel, true));
  EXPECT_FALSE(m.io->MakeSpare(1, 3, 0, 3));
  EXPECT_FALSE(m.io->DeleteSpareDrive(1, 2, anyAdapter));
  EXPECT_FALSE(m.io->DeleteSpareDrive(0, 2, [](const AdapterRecord&) { return false; }));
  EXPECT_FALSE(m.io->DeleteSetAndDisk(0, 0, 0, 0, [](const AdapterRecord&) { return false; }));
  m.io->ReadGpioStatus(1);
  m.io->ChangeGpioStatus(1, [](std::uint8_t) { return std::uint8_t{0}; });
  EXPECT_EQ(m.recorder->SentRequests().size(), before);
  EXPECT_EQ(m.io->Model().AdapterCount(), 1u);
  EXPECT_EQ(m.ui->MessageCount(), 0u);
}

TEST(Operations, RemovingAMemberReadsTheSetsAgainEvenWhenRefused) {
  Machine m(With({MirrorWithSpare()}));
  ASSERT_TRUE(m.io->Discover());
  const SetRecord& set = m.Adapter(0).sets[0];
  EXPECT_TRUE(m.io->RemoveSetMember(0, 0, 1));
  EXPECT_EQ(set.memberCount, 1);
  const std::size_t reads = m.recorder->Count("QMX_RIO ", 0x42024);
  EXPECT_FALSE(m.io->RemoveSetMember(0, 0, 0));  // the last member stays
  EXPECT_EQ(m.ui->LastMessage()->caption, L"Remove Member");
  EXPECT_EQ(m.recorder->Count("QMX_RIO ", 0x42024), reads + 1);
  EXPECT_EQ(set.memberCount, 1);
  EXPECT_FALSE(m.io->RemoveSetMember(0, 1, 0));  // no such set: only read again
  EXPECT_EQ(m.recorder->Count("QMX_RIO ", 0x42024), reads + 2);
}

TEST(Operations, RereadingAnAdapterShowsWhatChangedBehindTheRecords) {
  Machine m(With({MirrorWithSpare()}));
  ASSERT_TRUE(m.io->Discover());
  AdapterRecord& a = m.Adapter(0);
  // Sent directly, as another program would: the records do not follow.
  ASSERT_TRUE(m.io->CreateSpare(a, 3));
  ASSERT_TRUE(m.io->RemoveMember(a, 0, 1));
  EXPECT_EQ(a.channels[3].devices[0].spare, 0);
  EXPECT_EQ(a.sets[0].memberCount, 2);
  ASSERT_TRUE(m.io->RereadAdapter(0));
  EXPECT_EQ(a.channels[3].devices[0].spare, 1);
  EXPECT_EQ(a.sets[0].memberCount, 1);
  ASSERT_TRUE(m.io->DeleteSpare(a, 3));
  ASSERT_TRUE(m.io->RereadSpares(0));
  EXPECT_EQ(a.channels[3].devices[0].spare, 0);
}

TEST(Operations, DiskDeviceStateMarksTheDeviceFreeOrInUse) {
  auto a = Extended();
  a.disks = {Disk(3, 0)};
  Machine m(With({a}));
  ASSERT_TRUE(m.io->Discover());
  const DeviceRecord& disk = m.Adapter(0).channels[3].devices[0];
  ASSERT_EQ(disk.flags & kFlagInUse, 0u);
  EXPECT_TRUE(m.io->ChangeDiskDeviceState(0, 3, 0, false));
  EXPECT_EQ(disk.flags & kFlagInUse, kFlagInUse);
  EXPECT_EQ(m.io->DiskDeviceEnabled(0, 3, 0), std::optional<bool>(false));
  EXPECT_TRUE(m.io->ChangeDiskDeviceState(0, 3, 0, true));
  EXPECT_EQ(disk.flags, 0u);
  EXPECT_EQ(m.io->DiskDeviceEnabled(0, 3, 0), std::optional<bool>(true));
  // No system disk device at (2, 0): nothing changes.
  const std::uint32_t other = m.Adapter(0).channels[2].devices[0].flags;
  EXPECT_FALSE(m.io->ChangeDiskDeviceState(0, 2, 0, true));
  EXPECT_EQ(m.Adapter(0).channels[2].devices[0].flags, other);
}

TEST(Operations, SparesAreMadeAndDeletedWithTheSystemsDisks) {
  Machine m(With({MirrorWithSpare()}));
  ASSERT_TRUE(m.io->Discover());
  ASSERT_TRUE(m.io->IsDiskAvailable(0, 3, 0));
  EXPECT_TRUE(m.io->MakeSpare(0, 3, 0, 3));
  EXPECT_FALSE(m.io->IsDiskAvailable(0, 3, 0));
  ASSERT_TRUE(m.io->RereadSpares(0));
  EXPECT_EQ(m.Adapter(0).channels[3].devices[0].spare, 1);
  // Deleting re-enumerates: the adapter records are read anew afterwards.
  EXPECT_TRUE(m.io->DeleteSpareDrive(0, 3, [](const AdapterRecord&) { return true; }));
  EXPECT_EQ(m.io->Model().entryCount, 1u);
  ASSERT_TRUE(m.io->Discover());
  EXPECT_EQ(m.Adapter(0).channels[3].devices[0].spare, 0);
  EXPECT_EQ(m.ui->MessageCount(), 0u);
}

TEST(Operations, WriteCacheSettingIsKeptUntilTheNextDeviceRead) {
  auto a = Extended();
  a.disks = {Disk(1, 0)};
  Machine m(With({a}));
  ASSERT_TRUE(m.io->Discover());
  AdapterRecord& adapter = m.Adapter(0);
  ASSERT_EQ(adapter.channels[1].devices[0].writeCache, L"Enabled");
  EXPECT_TRUE(m.io->ChangeWriteCache(0, 1, 0, false));
  EXPECT_EQ(adapter.channels[1].devices[0].writeCache, L"Disabled");
  ASSERT_TRUE(m.io->QueryDeviceInfo(adapter));  // the disk agrees
  EXPECT_EQ(adapter.channels[1].devices[0].writeCache, L"Disabled");
  EXPECT_TRUE(m.io->ChangeWriteCache(0, 1, 0, true));
  EXPECT_EQ(adapter.channels[1].devices[0].writeCache, L"Enabled");
}

TEST(Operations, LedByteChangesFromTheRecordedOne) {
  Machine m(With({MirrorWithSpare()}));
  ASSERT_TRUE(m.io->Discover());
  const std::uint8_t before = m.Adapter(0).gpioStatus;
  m.io->ChangeGpioStatus(0, [](std::uint8_t status) {
    return static_cast<std::uint8_t>(status & 0x0F);
  });
  EXPECT_EQ(m.Adapter(0).gpioStatus, before & 0x0F);
  EXPECT_EQ(m.simulator->Driver()->GpioStatus(0), before & 0x0F);
}

TEST(DefaultScenario, DiscoveryReadsTheEmbeddedMachine) {
  Machine m(sim::DefaultScenario());
  ASSERT_TRUE(m.io->Discover());
  ASSERT_EQ(m.io->Model().AdapterCount(), 2u);
  const AdapterRecord& raid = m.Adapter(0);
  EXPECT_EQ(raid.chipType, L"RAID");
  EXPECT_EQ(raid.driverMajorText, L"2");
  EXPECT_EQ(raid.driverMinorText, L"1");
  EXPECT_EQ(raid.adapterName, L"bv7420r");
  EXPECT_EQ(raid.setCount, 1u);
  EXPECT_EQ(raid.sets[0].type, L"Mirrored Set");
  EXPECT_EQ(raid.sets[0].state, L"Online");
  EXPECT_EQ(raid.sets[0].memberCount, 2);
  EXPECT_NE(raid.sets[0].capacity, L"UNKNOWN");
  EXPECT_EQ(raid.channels[2].devices[0].spare, 1);
  const AdapterRecord& standard = m.Adapter(1);
  EXPECT_EQ(standard.chipType, L"Standard");
  EXPECT_EQ(standard.chipModel, L"BV-7210");
  EXPECT_EQ(standard.channels[1].devices[0].deviceType, L"CD-ROM");
  EXPECT_TRUE(m.io->Model().extendedNaming);
  EXPECT_FALSE(m.io->MemberNumbering());
  EXPECT_EQ(m.ui->MessageCount(), 0u);
}

}  // namespace
}  // namespace kestrune::ctl
