// The driver's rules for sets, spares and devices and the statuses it refuses
// with. Requests: AddMember 0x4200C (device index, set), RemoveMember 0x42010
// (set, position), DeleteSet 0x42008, EnableSpare 0x42030, SetRebuildRate
// 0x42038, CreateSpare 0x42040, DeleteSpare 0x42044.
#include <algorithm>

#include "simulator/driver_fixture.h"

namespace kestrune::sim::testing {
namespace {

constexpr std::uint8_t kDeleteSet = 0x08;
constexpr std::uint8_t kAddMember = 0x0C;
constexpr std::uint8_t kRemoveMember = 0x10;
constexpr std::uint8_t kEnableSpare = 0x30;
constexpr std::uint8_t kSetRebuildRate = 0x38;
constexpr std::uint8_t kCreateSpare = 0x40;
constexpr std::uint8_t kDeleteSpare = 0x44;

TEST_F(DriverTest, AddMemberRefusals) {
  EXPECT_EQ(Rio(0, kAddMember, {0, 0}), 14U);  // already a member
  EXPECT_EQ(Rio(0, kAddMember, {2, 0}), 14U);  // a spare
  EXPECT_EQ(Rio(0, kAddMember, {4, 0}), 13U);  // beyond the four slots
  EXPECT_EQ(Rio(0, kAddMember, {3, 1}), 11U);  // no set 1
  EXPECT_EQ(Rio(0, kAddMember, {3, 0}), 12U);  // the mirror is whole
  // One member gone: the small disk does not fit, the removed one does.
  EXPECT_EQ(Rio(0, kRemoveMember, {0, 1}), 0U);
  EXPECT_EQ(Rio(0, kAddMember, {3, 0}), 17U);
  EXPECT_EQ(Rio(0, kAddMember, {1, 0}), 0U);
  // Now rebuilding: nothing more joins.
  EXPECT_EQ(Rio(0, kRemoveMember, {0, 1}), 0U);
  EXPECT_EQ(driver_->PendingEvents(0), 4U);
  Scenario s = Machine();
  s.adapters[0].sets[0].members[1].state = MemberState::Rebuild;
  s.adapters[0].disks[3].sectors = 4'000'000;
  Make(s);
  EXPECT_EQ(Rio(0, kAddMember, {3, 0}), 16U);
  EXPECT_EQ(driver_->PendingEvents(0), 0U);
}

TEST_F(DriverTest, AddMemberIntoAMirrorReplacesTheDroppedMember) {
  Scenario s = Machine();
  s.adapters[0].sets[0].members[1].state = MemberState::Dropped;
  s.adapters[0].sets[0].state = SetState::Available;
  Make(s);
  ASSERT_EQ(Rio(0, kAddMember, {2, 0}), 14U);  // still a spare
  ASSERT_EQ(Rio(0, kDeleteSpare, {2}), 0U);
  ASSERT_EQ(Rio(0, kAddMember, {2, 0}), 0U);
  const Reply r = QuerySets(0);
  EXPECT_EQ(r.D16(4 + 4), 2);  // Available while rebuilding
  EXPECT_EQ(r.D8(4 + 9), 2);
  EXPECT_EQ(r.D16(4 + 20), 2);  // member at position 1: Rebuild
  EXPECT_EQ(r.D8(4 + 22), 1);
  EXPECT_EQ(r.D8(4 + 23), 2);
  EXPECT_EQ(r.D8(4 + 24), 0);
  // The dropped disk is free again.
  EXPECT_EQ(Rio(0, kCreateSpare, {1}), 0U);
}

TEST_F(DriverTest, ADroppedDiskMayRejoinItsOwnSet) {
  Scenario s = Machine();
  s.adapters[0].sets[0].members[1].state = MemberState::Dropped;
  SetSpec second = s.adapters[0].sets[0];
  second.members = {Member(3, 0)};
  s.adapters[0].sets.push_back(second);
  Make(s);
  EXPECT_EQ(Rio(0, kAddMember, {1, 1}), 14U);  // listed by set 0
  EXPECT_EQ(Rio(0, kCreateSpare, {1}), 14U);
  EXPECT_EQ(Rio(0, kAddMember, {1, 0}), 0U);
  const AdapterSpec now = driver_->CurrentAdapter(0);
  ASSERT_EQ(now.sets[0].members.size(), 2U);
  EXPECT_EQ(now.sets[0].members[1].deviceIndex, 1);
  EXPECT_EQ(now.sets[0].members[1].state, MemberState::Rebuild);
}

TEST_F(DriverTest, AddMemberToAStripedSetNeedsNoRebuild) {
  Scenario s = Machine();
  s.adapters[0].sets[0].type = SetType::Striped;
  s.adapters[0].sets[0].members = {Member(0, 0)};
  s.adapters[0].disks[3].sectors = 1'000'000;
  Make(s);
  ASSERT_EQ(Rio(0, kAddMember, {3, 0}), 0U);
  ASSERT_EQ(Rio(0, kAddMember, {1, 0}), 0U);
  const SetSpec set = driver_->CurrentAdapter(0).sets[0];
  ASSERT_EQ(set.members.size(), 3U);
  EXPECT_EQ(set.members[1].position, 1);
  EXPECT_EQ(set.members[1].deviceIndex, 3);
  EXPECT_EQ(set.members[2].state, MemberState::Current);
  EXPECT_EQ(set.state, SetState::Online);
  EXPECT_EQ(driver_->PendingEvents(0), 2U);  // two "member added", no rebuild
  EXPECT_EQ(Rio(0, kCreateSpare, {2}), 14U);
  EXPECT_EQ(Rio(0, kDeleteSpare, {2}), 0U);
  EXPECT_EQ(Rio(0, kAddMember, {2, 0}), 0U);
  EXPECT_EQ(driver_->CurrentAdapter(0).sets[0].members.size(), 4U);
}

TEST_F(DriverTest, RemoveMemberRules) {
  EXPECT_EQ(Rio(0, kRemoveMember, {1, 0}), 11U);
  EXPECT_EQ(Rio(0, kRemoveMember, {0, 7}), 15U);
  EXPECT_EQ(Rio(0, kRemoveMember, {0, 1}), 0U);
  EXPECT_EQ(Rio(0, kRemoveMember, {0, 1}), 15U);
  EXPECT_EQ(Rio(0, kRemoveMember, {0, 0}), 18U);
  const SetSpec set = driver_->CurrentAdapter(0).sets[0];
  ASSERT_EQ(set.members.size(), 1U);
  EXPECT_EQ(set.state, SetState::Available);  // a mirror of one is degraded
  // The removed disk is now seen by the system as a plain disk.
  const auto views = driver_->Adapters();
  ASSERT_EQ(views[0].targets.size(), 4U);
  EXPECT_EQ(views[0].targets[1].channel, 1);
  EXPECT_FALSE(views[0].targets[1].setDisk);
}

TEST_F(DriverTest, RebuildRateAndSpareSwitch) {
  EXPECT_EQ(Rio(0, kSetRebuildRate, {0, 101}), 2U);
  EXPECT_EQ(Rio(0, kSetRebuildRate, {1, 10}), 11U);
  EXPECT_EQ(Rio(0, kSetRebuildRate, {0, 100}), 0U);
  EXPECT_EQ(Rio(0, kEnableSpare, {0, 2}), 2U);
  EXPECT_EQ(Rio(0, kEnableSpare, {1, 1}), 11U);
  EXPECT_EQ(Rio(0, kEnableSpare, {0, 0}), 0U);
  const Reply r = QuerySets(0);
  EXPECT_EQ(r.D8(4 + 6), 0);
  EXPECT_EQ(r.D8(4 + 12 + 5), 100);
  EXPECT_EQ(r.D8(4 + 20 + 5), 100);
  EXPECT_EQ(Rio(0, kSetRebuildRate, {0, 0}), 0U);  // 0 pauses
  EXPECT_EQ(driver_->PendingEvents(0), 0U);
}

TEST_F(DriverTest, SpareDriveRules) {
  EXPECT_EQ(Rio(0, kCreateSpare, {3}), 0U);
  EXPECT_EQ(Rio(0, kCreateSpare, {3}), 14U);
  EXPECT_EQ(Rio(0, kCreateSpare, {0}), 14U);
  EXPECT_EQ(Rio(0, kCreateSpare, {4}), 13U);
  EXPECT_EQ(Rio(1, kCreateSpare, {1}), 2U);   // a packet device
  EXPECT_EQ(Rio(1, kCreateSpare, {2}), 13U);  // an empty slot
  EXPECT_EQ(Rio(0, kDeleteSpare, {1}), 2U);   // not a spare
  EXPECT_EQ(Rio(0, kDeleteSpare, {4}), 13U);
  EXPECT_EQ(Rio(0, kDeleteSpare, {2}), 0U);
  EXPECT_EQ(driver_->CurrentAdapter(0).spares, std::vector<std::uint8_t>{3});
  EXPECT_EQ(driver_->PendingEvents(0), 2U);
}

TEST_F(DriverTest, DeleteSetFreesItsMembers) {
  EXPECT_EQ(Rio(0, kDeleteSet, {1, 0, 0, 0}), 11U);
  EXPECT_EQ(Rio(0, kDeleteSet, {0, 0, 0, 0}), 0U);
  EXPECT_EQ(QuerySets(0).D16(2), 0);
  EXPECT_EQ(Rio(0, kDeleteSet, {0, 0, 0, 0}), 11U);
  EXPECT_EQ(Rio(0, kCreateSpare, {0}), 0U);
  // Every disk is now a target of its own: two free, two spares.
  const auto views = driver_->Adapters();
  ASSERT_EQ(views[0].targets.size(), 4U);
  EXPECT_EQ(views[0].targets[0].problem, 10U);
  EXPECT_EQ(views[0].targets[1].problem, 0U);
  EXPECT_EQ(views[0].targets[2].problem, 10U);
}

TEST_F(DriverTest, TopologyShowsSetsAndFreeDisks) {
  Scenario s = Machine();
  s.adapters[1].disks[2].problem = 22;
  s.adapters[2].service = "Custom";
  Make(s);
  const auto views = driver_->Adapters();
  ASSERT_EQ(views.size(), 3U);
  EXPECT_EQ(views[0].name, L"BV7420");
  EXPECT_EQ(views[0].service, L"bv7420");
  EXPECT_EQ(views[0].pciBus, 2U);
  EXPECT_EQ(views[0].pciDevice, 4U);
  ASSERT_EQ(views[0].targets.size(), 3U);  // the set, the spare, the free disk
  EXPECT_TRUE(views[0].targets[0].setDisk);
  EXPECT_EQ(views[0].targets[0].model, L"BV MIRROR");
  EXPECT_EQ(views[0].targets[1].channel, 2);
  EXPECT_EQ(views[0].targets[1].problem, 10U);
  EXPECT_EQ(views[0].targets[2].channel, 3);

  EXPECT_EQ(views[1].port, 1U);
  EXPECT_EQ(views[1].name, L"");
  EXPECT_EQ(views[1].service, L"bv7210r");
  ASSERT_EQ(views[1].targets.size(), 3U);
  EXPECT_TRUE(views[1].targets[0].disk);
  EXPECT_FALSE(views[1].targets[1].disk);  // the packet device
  EXPECT_EQ(views[1].targets[2].problem, 22U);
  EXPECT_EQ(views[2].service, L"Custom");
  Scenario plain = Machine();
  Make(plain);
  EXPECT_EQ(driver_->Adapters()[2].service, L"bv7210");
}

TEST_F(DriverTest, SetLocationGivesTheTargetOnWiderChannels) {
  Scenario s = Machine();
  s.adapters[0].devicesPerChannel = 3;
  s.adapters[0].sets[0].location = 7;  // channel 2, device 1
  Make(s);
  const auto targets = driver_->Adapters()[0].targets;
  const auto set =
      std::find_if(targets.begin(), targets.end(), [](const OsTarget& t) { return t.setDisk; });
  ASSERT_NE(set, targets.end());
  EXPECT_EQ(set->channel, 2);
  EXPECT_EQ(set->device, 1);
}

}  // namespace
}  // namespace kestrune::sim::testing
