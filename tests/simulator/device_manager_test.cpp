#include "simulator/device_manager.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <set>
#include <thread>

namespace kestrune::sim {
namespace {

using platform::DeviceProperty;
using platform::DevInst;

class FakeTopology final : public Topology {
 public:
  std::vector<AdapterView> Adapters() override {
    std::lock_guard lock(mutex_);
    return views_;
  }
  void Set(std::vector<AdapterView> views) {
    std::lock_guard lock(mutex_);
    views_ = std::move(views);
  }

 private:
  std::mutex mutex_;
  std::vector<AdapterView> views_;
};

OsTarget Disk(std::uint8_t channel, std::uint8_t device, std::uint32_t problem = 0) {
  return {channel, device, true, false, problem, L"ST3250823AS"};
}
OsTarget SetDisk(std::uint8_t channel, std::uint8_t device) {
  return {channel, device, true, true, 0, L"BV RAID SET"};
}
OsTarget Cdrom(std::uint8_t channel, std::uint8_t device) {
  return {channel, device, false, false, 0, L"CD-ROM DRIVE"};
}

AdapterView Adapter(std::size_t port, std::wstring name, std::wstring service,
                    std::vector<OsTarget> targets) {
  AdapterView view;
  view.port = port;
  view.name = std::move(name);
  view.service = std::move(service);
  view.pciBus = 2 + static_cast<std::uint32_t>(port);
  view.pciDevice = 4;
  view.targets = std::move(targets);
  return view;
}

std::wstring Lower(std::wstring s) {
  for (auto& c : s)
    if (c >= L'A' && c <= L'Z') c = c - L'A' + L'a';
  return s;
}

class DeviceManagerTest : public ::testing::Test {
 protected:
  std::vector<DevInst> List(const wchar_t* className) {
    auto guid = dm->ClassGuidFromName(className);
    EXPECT_TRUE(guid);
    auto list = dm->PresentDevices(guid.value_or(L""));
    EXPECT_TRUE(list);
    return list.value_or(std::vector<DevInst>{});
  }
  std::wstring Pdo(DevInst d) {
    return dm->Property(d, DeviceProperty::PhysicalDeviceObjectName).value_or(L"?");
  }
  std::vector<std::wstring> DiskNamesOf(std::size_t adapterIndex) {
    std::vector<std::wstring> names;
    for (auto child = dm->FirstChild(List(L"SCSIAdapter").at(adapterIndex)); child;
         child = dm->NextSibling(*child))
      names.push_back(Lower(Pdo(*child)));
    return names;
  }
  std::size_t ChildCount(DevInst node) {
    std::size_t n = 0;
    for (auto child = dm->FirstChild(node); child; child = dm->NextSibling(*child)) ++n;
    return n;
  }
  // The disk whose object name ends as given (lower case).
  std::optional<DevInst> DiskEndingWith(const std::wstring& tail) {
    for (DevInst d : List(L"DiskDrive")) {
      const std::wstring name = Lower(Pdo(d));
      if (name.size() >= tail.size() &&
          name.compare(name.size() - tail.size(), tail.size(), tail) == 0)
        return d;
    }
    return std::nullopt;
  }
  void Start(std::vector<AdapterView> views) {
    topology->Set(std::move(views));
    dm = std::make_unique<SimulatedDeviceManager>(topology);
  }

  std::shared_ptr<FakeTopology> topology = std::make_shared<FakeTopology>();
  std::unique_ptr<SimulatedDeviceManager> dm;
};

TEST_F(DeviceManagerTest, ClassesByNameWithoutRegardToCase) {
  Start({});
  EXPECT_EQ(dm->ClassGuidFromName(L"DiskDrive"), kDiskDriveClassGuid);
  EXPECT_EQ(dm->ClassGuidFromName(L"diskdrive"), kDiskDriveClassGuid);
  EXPECT_EQ(dm->ClassGuidFromName(L"SCSIADAPTER"), kScsiAdapterClassGuid);
  EXPECT_EQ(dm->ClassGuidFromName(L"CdRom"), kCdromClassGuid);
  EXPECT_EQ(dm->ClassGuidFromName(L"Volume"), std::nullopt);
  EXPECT_EQ(dm->ClassGuidFromName(L""), std::nullopt);
  auto unknown = dm->PresentDevices(L"{00000000-0000-0000-0000-000000000000}");
  ASSERT_TRUE(unknown);
  EXPECT_TRUE(unknown->empty());
}

TEST_F(DeviceManagerTest, ListsNodesWithThePlatformsNamesAndLocations) {
  Start({Adapter(0, L"BV7420R", L"bv7420r", {Disk(0, 1), SetDisk(2, 0), Cdrom(1, 0)}),
         Adapter(1, L"bv7420r", L"bv7420r", {Disk(0, 0)}),
         Adapter(2, L"", L"bv7210r", {Disk(0, 0), Disk(1, 1)}),
         Adapter(3, L"", L"bv7210r", {Disk(0, 1)})});
  EXPECT_EQ(List(L"SCSIAdapter").size(), 4u);
  EXPECT_EQ(List(L"DiskDrive").size(), 6u);
  ASSERT_EQ(List(L"CDROM").size(), 1u);
  EXPECT_EQ(Pdo(List(L"CDROM")[0]), L"\\Device\\Scsi\\BV7420R1\\Path1Target0Lun0");

  EXPECT_EQ(Pdo(List(L"DiskDrive")[0]), L"\\Device\\Scsi\\BV7420R1\\Path0Target1Lun0");
  const auto first = DiskNamesOf(0);
  EXPECT_NE(first[0].find(L"bv7420r1"), std::wstring::npos);
  EXPECT_NE(first[0].find(L"path0target1"), std::wstring::npos);
  EXPECT_NE(first[1].find(L"path2target0"), std::wstring::npos);
  // The same name in another case is the second adapter of that name.
  EXPECT_NE(DiskNamesOf(1)[0].find(L"bv7420r2\\path0target0"), std::wstring::npos);
  // Adapters without a name go by their service, never by "unknown".
  for (std::size_t a : {2u, 3u})
    for (const auto& name : DiskNamesOf(a)) EXPECT_EQ(name.find(L"unknown"), std::wstring::npos);
  EXPECT_NE(DiskNamesOf(2)[1].find(L"bv7210r1\\path1target1"), std::wstring::npos);
  EXPECT_NE(DiskNamesOf(3)[0].find(L"bv7210r2\\path0target1"), std::wstring::npos);

  const DevInst adapter = List(L"SCSIAdapter")[1];
  EXPECT_EQ(dm->Property(adapter, DeviceProperty::Service), L"bv7420r");
  EXPECT_EQ(dm->Property(adapter, DeviceProperty::LocationInformation),
            L"PCI bus 3, device 4, function 0");

  // Instance identifiers are unique over every node, the root included.
  std::set<std::wstring> ids;
  std::vector<DevInst> all;
  for (const wchar_t* cls : {L"SCSIAdapter", L"DiskDrive", L"CDROM"})
    for (DevInst d : List(cls)) all.push_back(d);
  for (DevInst d : all) ids.insert(dm->InstanceId(d).value_or(L""));
  EXPECT_EQ(ids.size(), all.size());
  EXPECT_EQ(ids.count(L""), 0u);
}

TEST_F(DeviceManagerTest, StatusCarriesTheTargetsProblemNumber) {
  Start({Adapter(0, L"BV7420R", L"bv7420r",
                 {Disk(0, 0, 22), Disk(1, 0, 1), Disk(2, 0, 0), Disk(3, 0, 10)})});
  const auto disks = List(L"DiskDrive");
  ASSERT_EQ(disks.size(), 4u);
  const std::uint32_t problems[] = {22, 1, 0, 10};
  for (std::size_t i = 0; i < 4; ++i) {
    auto status = dm->Status(disks[i]);
    ASSERT_TRUE(status);
    EXPECT_EQ(status->problem, problems[i]);
    EXPECT_EQ(status->status, problems[i] != 0 ? 0x400u : 0x8u | 0x2u);
  }
  EXPECT_EQ(dm->Status(List(L"SCSIAdapter")[0])->problem, 0u);
}

TEST_F(DeviceManagerTest, ChildAndSiblingWalkMatchesTheTargets) {
  Start({Adapter(0, L"BV7420R", L"bv7420r", {Disk(0, 0), SetDisk(1, 0), Cdrom(2, 0)}),
         Adapter(1, L"", L"bv7210", {}), Adapter(2, L"BV7410", L"bv7410", {Disk(0, 0)})});
  const auto adapters = List(L"SCSIAdapter");
  ASSERT_EQ(adapters.size(), 3u);
  EXPECT_EQ(ChildCount(adapters[0]), 3u);
  EXPECT_EQ(ChildCount(adapters[1]), 0u);
  EXPECT_EQ(ChildCount(adapters[2]), 1u);
  EXPECT_EQ(dm->NextSibling(adapters[0]), adapters[1]);
  EXPECT_EQ(dm->NextSibling(adapters[2]), std::nullopt);
  EXPECT_EQ(dm->FirstChild(List(L"DiskDrive")[0]), std::nullopt);
  EXPECT_EQ(dm->FirstChild(0), std::nullopt);
  EXPECT_EQ(dm->NextSibling(0xDEAD), std::nullopt);
}

TEST_F(DeviceManagerTest, ChangesShowOnlyAfterTheAdapterIsReenumerated) {
  Start({Adapter(0, L"BV7420R", L"bv7420r", {SetDisk(0, 0), Disk(2, 0)}),
         Adapter(1, L"BV7420R", L"bv7420r", {Disk(0, 0)})});
  const auto adapters = List(L"SCSIAdapter");
  const DevInst setDisk = *DiskEndingWith(L"bv7420r1\\path0target0lun0");
  const DevInst freeDisk = *DiskEndingWith(L"bv7420r1\\path2target0lun0");

  // The set is deleted: its two members come back as plain disks.
  topology->Set({Adapter(0, L"BV7420R", L"bv7420r", {Disk(0, 0), Disk(1, 0), Disk(2, 0)}),
                 Adapter(1, L"BV7420R", L"bv7420r", {})});
  EXPECT_EQ(List(L"DiskDrive").size(), 3u);  // old snapshot
  EXPECT_TRUE(dm->Status(setDisk));
  ASSERT_TRUE(dm->Reenumerate(adapters[0]));
  EXPECT_EQ(ChildCount(adapters[0]), 3u);
  EXPECT_EQ(ChildCount(adapters[1]), 1u);  // the other adapter is not refreshed
  EXPECT_EQ(dm->Status(setDisk), std::nullopt);
  EXPECT_FALSE(dm->Remove(setDisk));
  EXPECT_EQ(*DiskEndingWith(L"bv7420r1\\path2target0lun0"), freeDisk);  // same node number
  EXPECT_NE(*DiskEndingWith(L"bv7420r1\\path0target0lun0"), setDisk);
}

TEST_F(DeviceManagerTest, RemovedDiskStaysAwayUntilItsAdapterIsReenumerated) {
  Start({Adapter(0, L"BV7420R", L"bv7420r", {Disk(0, 0), Disk(1, 0)})});
  const DevInst adapter = List(L"SCSIAdapter")[0];
  const DevInst disk = List(L"DiskDrive")[1];
  EXPECT_FALSE(dm->Remove(adapter));
  ASSERT_TRUE(dm->Remove(disk));
  EXPECT_EQ(List(L"DiskDrive").size(), 1u);
  EXPECT_EQ(ChildCount(adapter), 1u);
  EXPECT_EQ(dm->Status(disk), std::nullopt);
  EXPECT_EQ(dm->Property(disk, DeviceProperty::PhysicalDeviceObjectName), std::nullopt);
  EXPECT_EQ(dm->InstanceId(disk), std::nullopt);
  EXPECT_FALSE(dm->Remove(disk));
  EXPECT_FALSE(dm->Reenumerate(disk));
  ASSERT_TRUE(dm->Reenumerate(adapter));
  EXPECT_EQ(List(L"DiskDrive"), (std::vector<DevInst>{List(L"DiskDrive")[0], disk}));
  EXPECT_TRUE(dm->Status(disk));
}

TEST_F(DeviceManagerTest, RootReenumerationFindsNewAndLostAdapters) {
  Start({Adapter(0, L"BV7420R", L"bv7420r", {Disk(0, 0)})});
  AdapterView gone = Adapter(0, L"BV7420R", L"bv7420r", {Disk(0, 0)});
  gone.present = false;
  topology->Set({gone, Adapter(1, L"BV7420R", L"bv7420r", {Disk(0, 0), Disk(1, 0)})});
  EXPECT_EQ(List(L"SCSIAdapter").size(), 1u);
  // Refreshing the adapter whose hardware is gone empties it.
  ASSERT_TRUE(dm->Reenumerate(List(L"SCSIAdapter")[0]));
  EXPECT_TRUE(List(L"DiskDrive").empty());

  const DevInst root = 1;  // the root is the first node numbered
  ASSERT_EQ(dm->NextSibling(root), std::nullopt);
  ASSERT_TRUE(dm->Reenumerate(root));
  const auto adapters = List(L"SCSIAdapter");
  ASSERT_EQ(adapters.size(), 1u);
  EXPECT_EQ(dm->FirstChild(root), adapters[0]);
  EXPECT_EQ(dm->Property(adapters[0], DeviceProperty::LocationInformation),
            L"PCI bus 3, device 4, function 0");
  // The one present adapter of its name is now the first.
  ASSERT_EQ(List(L"DiskDrive").size(), 2u);
  EXPECT_NE(Lower(Pdo(List(L"DiskDrive")[0])).find(L"bv7420r1\\"), std::wstring::npos);
}

TEST_F(DeviceManagerTest, InjectedFailuresStrikeTheNextCallsOnly) {
  Start({Adapter(0, L"BV7420R", L"bv7420r", {Disk(0, 0)})});
  dm->FailDeviceLists(2);
  EXPECT_EQ(dm->PresentDevices(kDiskDriveClassGuid), std::nullopt);
  EXPECT_EQ(dm->PresentDevices(kScsiAdapterClassGuid), std::nullopt);
  EXPECT_TRUE(dm->PresentDevices(kDiskDriveClassGuid));

  const DevInst disk = List(L"DiskDrive")[0];
  dm->FailInstanceIds(1);
  EXPECT_EQ(dm->InstanceId(disk), std::nullopt);
  EXPECT_TRUE(dm->InstanceId(disk));
  EXPECT_TRUE(dm->Status(disk));  // other reads are unaffected
}

TEST_F(DeviceManagerTest, ReenumerationLagDelaysTheRefresh) {
  Start({Adapter(0, L"BV7420R", L"bv7420r", {SetDisk(0, 0)})});
  const DevInst adapter = List(L"SCSIAdapter")[0];
  topology->Set({Adapter(0, L"BV7420R", L"bv7420r", {Disk(0, 0), Disk(1, 0)})});
  dm->SetReenumerationLag(2);
  EXPECT_TRUE(dm->Reenumerate(adapter));
  EXPECT_EQ(ChildCount(adapter), 1u);
  EXPECT_TRUE(dm->Reenumerate(adapter));
  EXPECT_EQ(ChildCount(adapter), 1u);
  EXPECT_TRUE(dm->Reenumerate(adapter));
  EXPECT_EQ(ChildCount(adapter), 2u);
}

TEST_F(DeviceManagerTest, ConcurrentReadersAndReenumeration) {
  Start({Adapter(0, L"BV7420R", L"bv7420r", {Disk(0, 0), Disk(1, 0)})});
  const DevInst adapter = List(L"SCSIAdapter")[0];
  std::thread writer([&] {
    for (int i = 0; i < 200; ++i) {
      dm->Reenumerate(adapter);
      if (auto child = dm->FirstChild(adapter)) dm->Remove(*child);
    }
  });
  for (int i = 0; i < 200; ++i)
    for (DevInst d : dm->PresentDevices(kDiskDriveClassGuid).value_or(std::vector<DevInst>{}))
      (void)dm->Property(d, DeviceProperty::PhysicalDeviceObjectName);
  writer.join();
  dm->Reenumerate(adapter);
  EXPECT_EQ(ChildCount(adapter), 2u);
}

}  // namespace
}  // namespace kestrune::sim
