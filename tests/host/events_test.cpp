// What the machine's own arrays report from one poll to the next, read back
// through the driver's event records and composed into the log's texts.
#include <gtest/gtest.h>

#include "host/host_rig.h"

namespace kestrune::test {
namespace {

// The mirror with a spare, sdc, on port 2.
void MirrorWithSpare(SysTree& tree) {
  HealthyMirror(tree);
  tree.AtaDisk("sdc", "0000:00:17.0", 3, Sata("WDC WD10EFRX-68FYTN0", "WD-C3"));
  tree.AddMember("md0", {"sdc", "sdc", "spare", "none"});
}

TEST(HostEvents, AHealthyMachineReportsNothing) {
  SysTree tree;
  HealthyMirror(tree);
  HostRig rig(tree);
  EXPECT_TRUE(rig.PollTexts().empty());
  EXPECT_TRUE(rig.PollTexts().empty());
}

TEST(HostEvents, AMemberGoingFaultyDropsWithinOnePoll) {
  SysTree tree;
  HealthyMirror(tree);
  HostRig rig(tree);
  tree.MemberState("md0", "sdb1", "faulty", "none");
  tree.Md("md0", "degraded", "1");
  const auto texts = rig.PollTexts();
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_NE(texts[0].find(L"Error         - Member dropped"), std::wstring::npos) << texts[0];
  EXPECT_NE(texts[0].find(L"Set 0 dropped Channel 1 Device on adapter 0 due to a SCSI error"),
            std::wstring::npos)
      << texts[0];
  const auto& set = rig.Snapshot().adapters[0].sets[0];
  EXPECT_EQ(set.spec.state, sim::SetState::Available);
  ASSERT_EQ(set.spec.members.size(), 2u);
  EXPECT_EQ(set.spec.members[1].state, sim::MemberState::Dropped);
  EXPECT_EQ(set.spec.members[1].position, 1);  // it keeps its place
  EXPECT_TRUE(rig.PollTexts().empty());         // said once
}

TEST(HostEvents, ASpareTakesOverRebuildsAndFinishes) {
  SysTree tree;
  MirrorWithSpare(tree);
  HostRig rig(tree);
  EXPECT_EQ(rig.Snapshot().adapters[0].spares, std::vector<std::uint8_t>{2});

  // sdb fails; md takes the spare into its slot and recovers onto it.
  tree.MemberState("md0", "sdb1", "faulty", "none");
  tree.MemberState("md0", "sdc", "spare", "1");
  tree.Md("md0", "degraded", "1");
  tree.Md("md0", "sync_action", "recover");
  tree.Md("md0", "sync_completed", "195326100 / 1953260928");
  auto texts = rig.PollTexts();
  ASSERT_EQ(texts.size(), 3u);
  EXPECT_TRUE(AnyHolds(texts, L"Member dropped"));
  EXPECT_TRUE(AnyHolds(texts, L"Hot spare added to set 0 as member 1 on adapter 0"));
  EXPECT_TRUE(AnyHolds(texts, L"Set 0 started a rebuild for Channel 2 Device on adapter 0"));
  auto set = rig.Snapshot().adapters[0].sets[0];
  ASSERT_EQ(set.spec.members.size(), 2u);  // the failed one was replaced
  EXPECT_EQ(set.spec.members[1].state, sim::MemberState::Rebuild);
  EXPECT_EQ(set.spec.members[1].rebuildPercent, 10);
  EXPECT_TRUE(rig.Snapshot().adapters[0].spares.empty());

  // Progress shows; "delayed" and "none" say nothing and never read as 0 %.
  struct Step {
    const char* completed;
    std::uint8_t percent;
  };
  for (const Step& s : {Step{"976630464 / 1953260928", 50}, Step{"delayed", 50},
                        Step{"none", 50}, Step{"1953000000 / 1953260928", 99}}) {
    SCOPED_TRACE(s.completed);
    tree.Md("md0", "sync_completed", s.completed);
    EXPECT_TRUE(rig.PollTexts().empty());
    EXPECT_EQ(rig.Snapshot().adapters[0].sets[0].spec.members[1].rebuildPercent, s.percent);
  }
  {
    ctl::CControllerIo::Lock lock(*rig.io);
    rig.io->QuerySets(rig.Adapter(0), false);
    EXPECT_EQ(rig.Adapter(0).sets[0].members[1].rebuildPercent, L"99 %");
  }

  tree.MemberState("md0", "sdc", "in_sync", "1");
  tree.Md("md0", "degraded", "0");
  tree.Md("md0", "sync_action", "idle");
  tree.Md("md0", "sync_completed", "none");
  texts = rig.PollTexts();
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_NE(texts[0].find(L"Set 0 completed its rebuild for Channel 2 Device on adapter 0"),
            std::wstring::npos)
      << texts[0];
  EXPECT_EQ(rig.Snapshot().adapters[0].sets[0].spec.state, sim::SetState::Online);
}

TEST(HostEvents, ADiskUnpluggedAndPluggedBackKeepsItsPlace) {
  SysTree tree;
  HealthyMirror(tree);
  HostRig rig(tree);
  tree.Unplug("sdb");
  tree.MemberState("md0", "sdb1", "faulty", "none");
  tree.Md("md0", "degraded", "1");
  auto texts = rig.PollTexts();
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_NE(texts[0].find(L"due to a port error. SRB status was Device Selection Timed Out"),
            std::wstring::npos)
      << texts[0];
  EXPECT_NE(texts[1].find(L"Device remove"), std::wstring::npos) << texts[1];
  EXPECT_NE(texts[1].find(L"The Channel 0 Device on adapter 0, WDC WD10EFRX-68FYTN0, was removed"),
            std::wstring::npos)
      << texts[1];

  tree.AtaDisk("sdb", "0000:00:17.0", 2, Sata("WDC WD10EFRX-68FYTN0", "WD-B2"));
  texts = rig.PollTexts();
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_NE(texts[0].find(L"New device"), std::wstring::npos) << texts[0];
  const auto* disk = rig.Snapshot().adapters[0].DiskNamed("sdb");
  ASSERT_NE(disk, nullptr);
  EXPECT_EQ(disk->index, 1);
}

TEST(HostEvents, ADiskWithoutAPortNumberKeepsItsPort) {
  SysTree tree;
  tree.Controller("0000:01:00.0", 0x010802, "nvme");
  tree.Controller("0000:02:00.0", 0x010802, "nvme");
  tree.NvmeDisk(0, "0000:01:00.0", "First", 1000000);
  tree.NvmeDisk(1, "0000:02:00.0", "Second", 1000000);
  HostRig rig(tree);
  tree.Unplug("nvme0n1");
  EXPECT_TRUE(AnyHolds(rig.PollTexts(), L"First, was removed"));
  EXPECT_EQ(rig.Snapshot().adapters[0].DiskNamed("nvme1n1")->index, 1);
}

TEST(HostEvents, ArraysNoSetStandsForStillReachTheLogNamingTheArray) {
  SysTree tree;
  Ahci(tree);
  std::vector<SysTree::Member> members;
  for (int i = 0; i < 3; ++i) {
    const std::string disk = std::string("sd") + static_cast<char>('a' + i);
    tree.AtaDisk(disk, "0000:00:17.0", static_cast<unsigned>(i + 1), Sata("D", disk));
    members.push_back({disk, disk, "in_sync", std::to_string(i)});
  }
  tree.Array("md5",
             {{"level", "raid5"}, {"raid_disks", "3"}, {"array_state", "clean"},
              {"degraded", "0"}, {"sync_action", "idle"}, {"sync_completed", "none"},
              {"metadata_version", "1.2"}, {"layout", "2"}},
             members);
  HostRig rig(tree);
  EXPECT_TRUE(rig.PollTexts().empty());

  tree.MemberState("md5", "sdb", "faulty", "none");
  tree.Md("md5", "degraded", "1");
  auto texts = rig.PollTexts();
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_NE(texts[0].find(L"Error         - Array member failed\n\t\tmd5 raid5 sdb faulty (adapter 0)."),
            std::wstring::npos)
      << texts[0];
  EXPECT_NE(texts[1].find(L"Array degraded\n\t\tmd5 raid5 degraded, 1 missing"), std::wstring::npos);

  tree.AtaDisk("sdd", "0000:00:17.0", 4, Sata("D", "sdd"));
  tree.AddMember("md5", {"sdd", "sdd", "spare", "1"});
  tree.Md("md5", "sync_action", "recover");
  tree.Md("md5", "sync_completed", "100 / 400");
  texts = rig.PollTexts();
  EXPECT_TRUE(AnyHolds(texts, L"Warning       - Array rebuild started\n\t\tmd5 raid5 rebuilding sdd"));

  tree.MemberState("md5", "sdd", "in_sync", "1");
  tree.Md("md5", "degraded", "0");
  texts = rig.PollTexts();
  EXPECT_TRUE(AnyHolds(texts, L"Array rebuild complete\n\t\tmd5 raid5 rebuilt sdd"));
  EXPECT_TRUE(AnyHolds(texts, L"Informational - Array redundant again"));

  // Each also in the journal, by code.
  tree.Remove("/sys/devices/virtual/block/md5");
  tree.Remove("/sys/block/md5");
  texts = rig.PollTexts();
  EXPECT_TRUE(AnyHolds(texts, L"Array stopped\n\t\tmd5 raid5 stopped"));
}

TEST(HostEvents, AnArrayAlreadyDegradedAtTheStartIsReportedOnce) {
  SysTree tree;
  Ahci(tree);
  tree.AtaDisk("sda", "0000:00:17.0", 1, Sata("D", "a"));
  tree.AtaDisk("sdb", "0000:00:17.0", 2, Sata("D", "b"));
  tree.Array("md6",
             {{"level", "raid6"}, {"raid_disks", "4"}, {"array_state", "active"},
              {"degraded", "2"}, {"sync_action", "idle"}, {"metadata_version", "1.2"}},
             {{"sda", "sda", "in_sync", "0"}, {"sdb", "sdb", "in_sync", "1"}});
  HostRig rig(tree);
  ctl::EventBatch batch;
  ASSERT_TRUE(rig.io->FetchEvents(rig.Adapter(0), batch));
  const auto records = evt::ReadEventRecords(batch);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_NE(evt::ComposeEvent(records[0], 0, {}).text.find(L"md6 raid6 degraded, 2 missing"),
            std::wstring::npos);
  EXPECT_TRUE(rig.PollTexts().empty());
}

}  // namespace
}  // namespace kestrune::test
