// How the machine's disks and arrays map onto adapters, sets and members,
// and what is listed as not shown, with its reason.
#include <gtest/gtest.h>

#include "host/host_rig.h"

namespace kestrune::test {
namespace {

using sim::MemberState;
using sim::SetState;
using sim::SetType;

TEST(HostMapping, HealthyMirrorIsAnOnlineMirroredSetOfItsAdapter) {
  SysTree tree;
  HealthyMirror(tree);
  HostRig rig(tree);
  const auto& snap = rig.Snapshot();
  ASSERT_EQ(snap.adapters.size(), 1u);
  const host::HostAdapter& a = snap.adapters[0];
  EXPECT_EQ(a.info.name, "SATA 0000:00:17.0 (ahci)");
  EXPECT_EQ(a.info.devicesPerChannel, 2);  // 6 ports: 2 a channel
  EXPECT_EQ(a.info.channels, 3);
  ASSERT_EQ(a.sets.size(), 1u);
  EXPECT_EQ(a.sets[0].spec.type, SetType::Mirrored);
  EXPECT_EQ(a.sets[0].spec.state, SetState::Online);
  ASSERT_EQ(a.sets[0].spec.members.size(), 2u);
  EXPECT_EQ(a.sets[0].spec.members[1].deviceIndex, 1);
  EXPECT_TRUE(snap.arrays.empty());
  EXPECT_TRUE(snap.problems.empty()) << snap.problems.front();
  EXPECT_TRUE(snap.mdstatMismatches.empty());

  // Through the driver's requests, as the program reads them.
  ctl::CControllerIo::Lock lock(*rig.io);
  ASSERT_EQ(rig.io->Model().AdapterCount(), 1u);
  const ctl::AdapterRecord& record = rig.Adapter(0);
  EXPECT_EQ(record.adapterName, L"SATA 0000:00:17.0 (ahci)");
  EXPECT_EQ(record.setCount, 1u);
  EXPECT_EQ(record.sets[0].type, L"Mirrored Set");
  EXPECT_EQ(record.sets[0].state, L"Online");
  const ctl::DeviceRecord& sda = record.channels[0].devices[0];
  EXPECT_EQ(sda.modelNumber.substr(0, 20), L"WDC WD10EFRX-68FYTN0");
  EXPECT_NE(sda.flags & ctl::kFlagInUse, 0u);  // a member
  // Nobody may ask the disks: never a made-up "OK".
  EXPECT_EQ(sda.smartStatus, L"N/A");
  EXPECT_EQ(record.sets[0].smartStatus, L"N/A");
}

// The driver file's date is the kernel's build date, whichever form the
// kernel states it in; none is "UNKNOWN", never a made-up date.
TEST(HostMapping, TheDriverFileDateIsTheKernelsBuildDate) {
  const std::pair<const char*, std::optional<std::string>> cases[] = {
      {"#1 SMP PREEMPT_DYNAMIC Debian 6.1.76-1 (2024-02-01)", "Thu Feb  1 00:00:00 2024"},
      {"#1 SMP PREEMPT_DYNAMIC Tue Mar 12 09:05:03 UTC 2024", "Tue Mar 12 09:05:03 2024"},
      {"#27 SMP Sat Oct  5 23:59:59 2019", "Sat Oct  5 23:59:59 2019"},
      {"#1 SMP PREEMPT_DYNAMIC @1706745600", "Thu Feb  1 00:00:00 2024"},
      {"#1 SMP PREEMPT_DYNAMIC @0", std::nullopt},
      {"#1 SMP Debian (2024-02-31)", std::nullopt},
      {"#1 SMP Thu Feb 1 25:00:00 UTC 2024", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& [version, expected] : cases)
    EXPECT_EQ(host::KernelBuildDate(version), expected) << version;

  SysTree tree;
  HealthyMirror(tree);
  tree.File("/proc/sys/kernel/version", "#1 SMP PREEMPT_DYNAMIC Debian 6.1.76-1 (2024-02-01)\n");
  HostRig rig(tree);
  ctl::CControllerIo::Lock lock(*rig.io);
  rig.io->ReadAdapterDriverFile(rig.Adapter(0));
  EXPECT_EQ(rig.Adapter(0).driverFileDate, L"Thu Feb  1 00:00:00 2024");
  EXPECT_EQ(rig.Adapter(0).driverFileVersion, L"6.1.0-18-amd64");
}

TEST(HostMapping, SmartHealthWhereItIsKnown) {
  SysTree tree;
  HealthyMirror(tree);
  tree.AtaDisk("sdc", "0000:00:17.0", 3, Sata("FREE", "C3"));
  HostRig rig(tree);
  rig.smart->health["sda"] = sim::SmartHealth::Ok;
  rig.smart->health["sdb"] = sim::SmartHealth::Exceeded;
  rig.smart->health["sdc"] = sim::SmartHealth::Ok;
  rig.clock->Advance(std::chrono::minutes(11));
  rig.Host().Poll();
  ctl::CControllerIo::Lock lock(*rig.io);
  rig.io->QueryDeviceInfo(rig.Adapter(0));
  rig.io->QuerySets(rig.Adapter(0), true);
  EXPECT_EQ(rig.Adapter(0).channels[1].devices[0].smartStatus, L"OK");
  EXPECT_EQ(rig.Adapter(0).channels[0].devices[1].smartStatus, L"Exceeded");
  // One member past a threshold makes the set so.
  EXPECT_EQ(rig.Adapter(0).sets[0].smartStatus, L"Exceeded");
}

TEST(HostMapping, SmartIsAskedAtMostEveryTenMinutes) {
  SysTree tree;
  HealthyMirror(tree);
  HostRig rig(tree);
  const std::size_t first = rig.smart->asked.size();
  EXPECT_EQ(first, 2u);
  rig.clock->Advance(std::chrono::minutes(9));
  rig.Host().Poll();
  EXPECT_EQ(rig.smart->asked.size(), first);
  rig.clock->Advance(std::chrono::minutes(2));
  rig.Host().Poll();
  EXPECT_EQ(rig.smart->asked.size(), first + 2);
}

struct ArrayCase {
  const char* name;
  std::map<std::string, std::string> attributes;
  int members;
  std::optional<SetType> type;  // nullopt: not shown
  const char* reason;
};

std::map<std::string, std::string> Attributes(std::string level, std::string disks,
                                              std::string layout = "0",
                                              std::string metadata = "1.2") {
  return {{"level", level},           {"raid_disks", disks},
          {"array_state", "clean"},  {"degraded", "0"},
          {"sync_action", "idle"},   {"sync_completed", "none"},
          {"metadata_version", metadata}, {"layout", layout},
          {"chunk_size", "524288"}};
}

TEST(HostMapping, EachLevelAndLayoutMapsOrIsListedWithItsReason) {
  const ArrayCase cases[] = {
      {"raid0 of three", Attributes("raid0", "3"), 3, SetType::Striped, ""},
      {"raid0 of five", Attributes("raid0", "5"), 5, std::nullopt, "at most 4"},
      {"raid1 of two", Attributes("raid1", "2"), 2, SetType::Mirrored, ""},
      {"three-way mirror", Attributes("raid1", "3"), 3, std::nullopt, "3-way mirror"},
      {"raid10 near-2", Attributes("raid10", "4", "258"), 4, SetType::MirroredStriped, ""},
      {"raid10 far-2", Attributes("raid10", "4", "513"), 4, std::nullopt, "layout 0x201"},
      {"raid5", Attributes("raid5", "3", "2"), 3, std::nullopt, "raid5 has no set type"},
      {"raid6", Attributes("raid6", "4", "2"), 4, std::nullopt, "raid6 has no set type"},
      {"linear", Attributes("linear", "2"), 2, std::nullopt, "linear has no set type"},
      {"container", Attributes("container", "0", "0", "external:imsm"), 2, std::nullopt,
       "external-metadata container (imsm)"},
      {"array in a container", Attributes("raid1", "2", "0", "external:/md127/0"), 2,
       std::nullopt, "managed outside the kernel"},
  };
  for (const ArrayCase& c : cases) {
    SCOPED_TRACE(c.name);
    SysTree tree;
    Ahci(tree);
    std::vector<SysTree::Member> members;
    for (int i = 0; i < c.members; ++i) {
      const std::string disk = std::string("sd") + static_cast<char>('a' + i);
      tree.AtaDisk(disk, "0000:00:17.0", static_cast<unsigned>(i + 1),
                   Sata("DISK", "S" + std::to_string(i)));
      members.push_back({disk, disk, "in_sync", std::to_string(i)});
    }
    tree.Array("md1", c.attributes, members);
    HostRig rig(tree);
    const auto& snap = rig.Snapshot();
    if (c.type) {
      ASSERT_EQ(snap.adapters[0].sets.size(), 1u);
      EXPECT_EQ(snap.adapters[0].sets[0].spec.type, *c.type);
      EXPECT_TRUE(snap.arrays.empty());
    } else {
      EXPECT_TRUE(snap.adapters[0].sets.empty());
      ASSERT_EQ(snap.arrays.size(), 1u);
      EXPECT_NE(snap.arrays[0].reason.find(c.reason), std::string::npos) << snap.arrays[0].reason;
      // Its disks are in use, never free disks.
      for (const auto& d : snap.adapters[0].disks) EXPECT_TRUE(d.claimed) << d.name;
      ctl::CControllerIo::Lock lock(*rig.io);
      EXPECT_NE(rig.Adapter(0).channels[0].devices[0].flags & ctl::kFlagInUse, 0u);
    }
  }
}

TEST(HostMapping, MirroredStripeKeepsItsCopiesAsTheModelPairsThem) {
  SysTree tree;
  Ahci(tree);
  std::vector<SysTree::Member> members;
  for (int i = 0; i < 4; ++i) {
    const std::string disk = std::string("sd") + static_cast<char>('a' + i);
    tree.AtaDisk(disk, "0000:00:17.0", static_cast<unsigned>(i + 1), Sata("D", std::to_string(i)));
    members.push_back({disk, disk, "in_sync", std::to_string(i)});
  }
  tree.Array("md2", Attributes("raid10", "4", "258"), members);
  HostRig rig(tree);
  const auto& m = rig.Snapshot().adapters[0].sets[0].spec.members;
  ASSERT_EQ(m.size(), 4u);
  // md keeps copies in slots 0/1 and 2/3; the model pairs p with p XOR 2.
  auto positionOf = [&](std::uint8_t index) {
    for (const auto& x : m)
      if (x.deviceIndex == index) return int{x.position};
    return -1;
  };
  EXPECT_EQ(positionOf(0) ^ 2, positionOf(1));
  EXPECT_EQ(positionOf(2) ^ 2, positionOf(3));
}

TEST(HostMapping, AnArraySpanningTwoControllersIsListedAndItsDisksInUse) {
  SysTree tree;
  Ahci(tree, 2);
  tree.Controller("0000:03:00.0", 0x010700, "mpt3sas", 0);
  tree.AtaDisk("sda", "0000:00:17.0", 1, Sata("A", "1"));
  tree.AtaDisk("sdb", "0000:03:00.0", 7, Sata("B", "2"));
  tree.Array("md0", Attributes("raid1", "2"),
             {{"sda", "sda", "in_sync", "0"}, {"sdb", "sdb", "in_sync", "1"}});
  HostRig rig(tree);
  const auto& snap = rig.Snapshot();
  ASSERT_EQ(snap.adapters.size(), 2u);
  EXPECT_EQ(snap.adapters[1].info.name, "SAS 0000:03:00.0 (mpt3sas)");
  ASSERT_EQ(snap.arrays.size(), 1u);
  EXPECT_EQ(snap.arrays[0].reason, "its members span two controllers");
  EXPECT_TRUE(snap.adapters[0].disks[0].claimed);
  EXPECT_TRUE(snap.adapters[1].disks[0].claimed);
}

TEST(HostMapping, NvmeDrivesAreOneAdapterAndAFifthControllerIsListed) {
  SysTree tree;
  tree.Controller("0000:01:00.0", 0x010802, "nvme");
  tree.Controller("0000:02:00.0", 0x010802, "nvme");
  tree.NvmeDisk(0, "0000:01:00.0", "Samsung SSD 980 PRO 1TB", 1953525168);
  tree.NvmeDisk(1, "0000:02:00.0", "Samsung SSD 980 PRO 1TB", 1953525168);
  // One reached over several paths lies in its subsystem, not its controller.
  tree.Controller("0000:03:00.0", 0x010802, "nvme");
  tree.NvmeSubsystemDisk(2, 3, "0000:03:00.0", "MZ7L3 dual port", 1953525168);
  const char* more[] = {"0000:04:00.0", "0000:05:00.0", "0000:06:00.0", "0000:07:00.0"};
  unsigned printId = 1;
  char disk = 'a';
  for (const char* address : more) {
    tree.Controller(address, 0x010601, "ahci", 1, printId);
    tree.AtaDisk(std::string("sd") + disk++, address, printId++, Sata("S", address));
  }
  HostRig rig(tree);
  const auto& snap = rig.Snapshot();
  ASSERT_EQ(snap.adapters.size(), 4u);
  EXPECT_EQ(snap.adapters[0].key, "nvme");
  ASSERT_EQ(snap.adapters[0].disks.size(), 3u);  // the hidden path is no disk
  EXPECT_EQ(snap.adapters[0].disks[1].index, 1);
  const host::HostDisk& shared = snap.adapters[0].disks[2];
  EXPECT_EQ(shared.name, "nvme2n1");
  EXPECT_EQ(shared.spec.model, "MZ7L3 dual port");
  EXPECT_EQ(shared.spec.serial, "NVS2");
  // Its health is asked of its controller.
  bool askedController = false;
  for (const auto& t : rig.smart->targets)
    askedController = askedController || (t.name == "nvme2n1" && t.nvmeController == "nvme3");
  EXPECT_TRUE(askedController);
  EXPECT_EQ(snap.adapters[0].disks[0].nvmeController, "nvme0");
  ASSERT_EQ(snap.disks.size(), 1u);
  EXPECT_EQ(snap.disks[0].name, "sdd");
  EXPECT_NE(snap.disks[0].reason.find("fifth"), std::string::npos);
}

TEST(HostMapping, ReadAutoAndSyncsAreNoAlarm) {
  struct Case {
    const char* state;
    const char* action;
    const char* completed;
    SetState expected;
  };
  const Case cases[] = {
      {"read-auto", "idle", "none", SetState::Online},
      {"read-auto", "resync", "delayed", SetState::Sync},
      {"active", "check", "1000 / 4000", SetState::Sync},
      {"active", "repair", "none", SetState::Sync},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.state) + " " + c.action);
    SysTree tree;
    HealthyMirror(tree);
    tree.Md("md0", "array_state", c.state);
    tree.Md("md0", "sync_action", c.action);
    tree.Md("md0", "sync_completed", c.completed);
    HostRig rig(tree);
    EXPECT_EQ(rig.Snapshot().adapters[0].sets[0].spec.state, c.expected);
    EXPECT_TRUE(rig.PollTexts().empty());
  }
}

TEST(HostMapping, GarbageAndEmptyFilesGiveAClearReasonAndNoMadeUpState) {
  struct Case {
    const char* file;
    const char* text;
    const char* problem;
  };
  const Case cases[] = {
      {"array_state", "", "array_state: empty"},
      {"array_state", "\x01\x02 zzz", "unknown state"},
      {"raid_disks", "two", "raid_disks: not a number"},
      {"raid_disks", "", "raid_disks: empty"},
      {"sync_completed", "12 of 40", "sync_completed: neither"},
      {"level", "", "level: empty"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.file) + "=" + c.text);
    SysTree tree;
    HealthyMirror(tree);
    tree.Md("md0", c.file, c.text);
    HostRig rig(tree);
    const auto& snap = rig.Snapshot();
    bool named = false;
    for (const auto& p : snap.problems) named = named || p.find(c.problem) != std::string::npos;
    EXPECT_TRUE(named) << (snap.problems.empty() ? "no problem" : snap.problems.front());
    // A set shown from a file that cannot be read would be a guess.
    if (std::string(c.file) != "sync_completed") {
      EXPECT_TRUE(snap.adapters[0].sets.empty());
      EXPECT_EQ(snap.arrays.size(), 1u);
    }
  }
  SysTree tree;
  HealthyMirror(tree);
  tree.File("/sys/class/ata_device/dev1.0/id", "0040 3fff garbage\n");
  tree.File("/sys/block/sdb/size", "");
  HostRig rig(tree);
  const auto& snap = rig.Snapshot();
  ASSERT_EQ(snap.adapters[0].disks.size(), 2u);
  EXPECT_EQ(snap.adapters[0].disks[1].spec.sectors, 0u);
  bool idNamed = false;
  for (const auto& p : snap.problems) idNamed = idNamed || p.find("dev1.0/id") != std::string::npos;
  EXPECT_TRUE(idNamed);
}

TEST(HostMapping, MdstatIsACrossCheck) {
  SysTree tree;
  HealthyMirror(tree);
  tree.Mdstat("Personalities : [raid1]\nmd9 : active raid1 sdz[0]\n\nunused devices: <none>\n");
  HostRig rig(tree);
  const auto& snap = rig.Snapshot();
  ASSERT_EQ(snap.mdstatMismatches.size(), 2u);
  EXPECT_EQ(snap.mdstatMismatches[0], "md0 is in sysfs but not in /proc/mdstat");
  EXPECT_EQ(snap.mdstatMismatches[1], "md9 is in /proc/mdstat but not in sysfs");
}

}  // namespace
}  // namespace kestrune::test
