#include "simulator/simulator.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "platform/manual_clock.h"

namespace kestrune::sim {
namespace {

using platform::DeviceProperty;
using platform::DevInst;

// Stands in for the real file system and notes what it was asked.
class RecordingFiles final : public platform::Files {
 public:
  std::optional<std::string> ModificationTimeText(const std::wstring& path) override {
    asked.push_back(path);
    return std::string("Mon Jan  2 03:04:05 2006");
  }
  std::optional<std::vector<std::uint8_t>> VersionResource(const std::wstring& path) override {
    asked.push_back(path);
    return std::vector<std::uint8_t>{1, 2, 3};
  }
  std::vector<std::wstring> asked;
};

DiskSpec Disk(std::uint8_t channel, std::string serial) {
  DiskSpec d;
  d.channel = channel;
  d.device = 0;
  d.model = "ST3250823AS";
  d.serial = std::move(serial);
  d.sectors = 488397168;
  return d;
}

// An extended RAID adapter with a mirrored set over channels 0 and 1 and a
// free disk on channel 2, and an older standard adapter without a driver file.
Scenario SmallScenario() {
  Scenario s;
  AdapterSpec raid;
  raid.name = "BV7420R";
  raid.chipId = 0x7420;
  raid.chipType = 2;
  raid.pciBus = 3;
  raid.pciDevice = 5;
  raid.channels = 4;
  raid.devicesPerChannel = 1;
  raid.disks = {Disk(0, "A1"), Disk(1, "A2"), Disk(2, "A3")};
  SetSpec set;
  set.type = SetType::Mirrored;
  set.members = {{0, 0, MemberState::Current, 0}, {1, 1, MemberState::Current, 0}};
  raid.sets = {set};
  raid.driverFile = DriverFileSpec{"3.1.0.12", "2006-03-14T09:26:53Z"};
  s.adapters.push_back(raid);

  AdapterSpec standard;
  standard.driverMajor = 1;
  standard.driverMinor = 0;
  standard.chipId = 0x7210;
  standard.chipType = 1;
  standard.channels = 2;
  standard.devicesPerChannel = 2;
  standard.pciBus = 4;
  standard.disks = {Disk(0, "B1")};
  s.adapters.push_back(standard);
  return s;
}

class SimulatorTest : public ::testing::Test {
 protected:
  std::wstring SystemFolder() {
    std::wstring media = sim.MediaPath();
    return media.substr(0, media.size() - 5);
  }

  std::shared_ptr<RecordingFiles> real = std::make_shared<RecordingFiles>();
  Simulator sim{SmallScenario(), std::make_shared<platform::ManualClock>(), real};
};

TEST_F(SimulatorTest, OpensTheScsiPortsOfTheScenario) {
  auto control = sim.DeviceControl();
  const auto handle = control->Open(L"\\\\.\\scsi0:", nullptr);
  EXPECT_NE(handle, platform::kInvalidDeviceHandle);
  EXPECT_NE(control->Open(L"\\\\.\\scsi1:", nullptr), platform::kInvalidDeviceHandle);
  std::uint32_t error = 0;
  EXPECT_EQ(control->Open(L"\\\\.\\scsi2:", &error), platform::kInvalidDeviceHandle);
  EXPECT_NE(error, 0u);
  control->Close(handle);
}

TEST_F(SimulatorTest, MediaPathLiesInTheSystemFolder) {
  EXPECT_EQ(sim.MediaPath(), L"/kestrune-sim/WINDOWS/Media");
  EXPECT_EQ(SystemFolder(), L"/kestrune-sim/WINDOWS/");
}

TEST_F(SimulatorTest, ServesTheDriverFileWithItsVersionAndDate) {
  auto files = sim.Files();
  const std::wstring path = SystemFolder() + L"system32/drivers/BV7420R.sys";
  const auto block = files->VersionResource(path);
  ASSERT_TRUE(block);
  EXPECT_EQ(platform::QueryVersionString(*block, L"\\StringFileInfo\\000004b0\\FileVersion"),
            L"3.1.0.12");
  EXPECT_EQ(platform::QueryVersionString(*block, L"\\StringFileInfo\\000004b0\\CompanyName"),
            L"Brevalis");
  EXPECT_TRUE(platform::QueryVersionString(*block, L"\\StringFileInfo\\000004b0\\ProductName"));
  // File names are matched without regard to case, either separator taken.
  EXPECT_TRUE(files->VersionResource(L"/KESTRUNE-SIM/windows\\System32\\Drivers\\bv7420r.SYS"));

  const char* oldTz = std::getenv("TZ");
  const std::string saved = oldTz ? oldTz : "";
  setenv("TZ", "UTC", 1);
  tzset();
  EXPECT_EQ(files->ModificationTimeText(path), "Tue Mar 14 09:26:53 2006");
  setenv("TZ", "JST-9", 1);  // nine hours ahead, no summer time
  tzset();
  EXPECT_EQ(files->ModificationTimeText(path), "Tue Mar 14 18:26:53 2006");
  if (oldTz)
    setenv("TZ", saved.c_str(), 1);
  else
    unsetenv("TZ");
  tzset();
  EXPECT_TRUE(real->asked.empty());
}

TEST_F(SimulatorTest, MissingDriverFilesAreNotFound) {
  auto files = sim.Files();
  // The standard adapter has no driver file; no adapter is called "bv7410".
  for (const wchar_t* name : {L"bv7210.sys", L"bv7210r.sys", L"bv7410.sys", L"bv7420r.mpd"}) {
    const std::wstring path = SystemFolder() + L"system32/drivers/" + name;
    EXPECT_EQ(files->VersionResource(path), std::nullopt);
    EXPECT_EQ(files->ModificationTimeText(path), std::nullopt);
  }
  // The Windows 9x support driver is not part of this system.
  EXPECT_EQ(files->VersionResource(SystemFolder() + L"system/iosubsys/brvsupp.vxd"), std::nullopt);
  EXPECT_TRUE(real->asked.empty());
}

TEST_F(SimulatorTest, OtherPathsGoToTheRealFiles) {
  auto files = sim.Files();
  EXPECT_EQ(files->ModificationTimeText(L"/usr/bin/kestrune"), "Mon Jan  2 03:04:05 2006");
  EXPECT_EQ(files->VersionResource(L"/kestrune-sim/WINDOWS.old/x.sys"),
            (std::vector<std::uint8_t>{1, 2, 3}));
  EXPECT_EQ(real->asked,
            (std::vector<std::wstring>{L"/usr/bin/kestrune", L"/kestrune-sim/WINDOWS.old/x.sys"}));
}

// DeleteSet for set 0, written out from the request layout: the 28-byte
// SRB_IO_CONTROL header with "QMX_RIO ", control code 0x42008, Length 4, then
// the set index; the whole RAID-layer buffer is 544 bytes.
std::vector<std::uint8_t> DeleteSetRequest() {
  std::vector<std::uint8_t> b = {
      0x1C, 0x00, 0x00, 0x00,                      // HeaderLength 28
      'Q',  'M',  'X',  '_',  'R', 'I', 'O', ' ',  // Signature
      0x05, 0x00, 0x00, 0x00,                      // Timeout 5 s
      0x08, 0x20, 0x04, 0x00,                      // ControlCode 0x42008
      0xFF, 0xFF, 0xFF, 0xFF,                      // ReturnCode
      0x04, 0x00, 0x00, 0x00,                      // Length 4
      0x00,                                        // data+0 set index
  };
  b.resize(544, 0);
  return b;
}

TEST_F(SimulatorTest, DeletedSetStaysListedUntilTheAdapterIsReenumerated) {
  auto dm = sim.DeviceManager();
  const auto adapters = dm->PresentDevices(kScsiAdapterClassGuid);
  ASSERT_TRUE(adapters);
  ASSERT_EQ(adapters->size(), 2u);
  const DevInst adapter = (*adapters)[0];
  EXPECT_EQ(dm->Property(adapter, DeviceProperty::LocationInformation),
            L"PCI bus 3, device 5, function 0");
  const auto childCount = [&] {
    std::size_t n = 0;
    for (auto c = dm->FirstChild(adapter); c; c = dm->NextSibling(*c)) ++n;
    return n;
  };
  const auto diskNames = [&] {
    std::vector<std::wstring> names;
    for (DevInst d : dm->PresentDevices(kDiskDriveClassGuid).value_or(std::vector<DevInst>{}))
      names.push_back(dm->Property(d, DeviceProperty::PhysicalDeviceObjectName).value_or(L""));
    return names;
  };
  // One set + three present devices - two members.
  EXPECT_EQ(childCount(), 2u);
  const auto before = diskNames();
  ASSERT_FALSE(before.empty());
  EXPECT_EQ(before[0], L"\\Device\\Scsi\\BV7420R1\\Path0Target0Lun0");

  auto control = sim.DeviceControl();
  const auto handle = control->Open(L"\\\\.\\scsi0:", nullptr);
  ASSERT_NE(handle, platform::kInvalidDeviceHandle);
  auto request = DeleteSetRequest();
  const auto result = control->Control(handle, platform::kIoctlScsiMiniport, request, 544, 544);
  ASSERT_TRUE(result.ok);
  EXPECT_EQ(request[20] | request[21] << 8 | request[22] << 16 | request[23] << 24, 0);

  EXPECT_EQ(diskNames(), before);  // the old set disk is still listed
  ASSERT_TRUE(dm->Reenumerate(adapter));
  // No set, three present devices, no members.
  EXPECT_EQ(childCount(), 3u);
  const auto after = diskNames();
  EXPECT_EQ(after.size(), 4u);  // with the standard adapter's disk
  control->Close(handle);
}

}  // namespace
}  // namespace kestrune::sim
