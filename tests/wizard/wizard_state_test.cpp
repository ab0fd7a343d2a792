// The wizard's state machine on models built by hand: transitions, buttons,
// the supported-adapter rule, the candidate rebuild, the location texts, the
// disk chooser and the deletion plan.
#include "wizard/wizard_state.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace kestrune::wizard {
namespace {

using P = WizardPage;

struct ModelBuilder {
  ctl::ConfigurationModel model;
  ModelBuilder() {
    model.adapters[0] = std::make_unique<ctl::AdapterRecord>();
    model.entryCount = 1;
  }
  ctl::AdapterRecord& Adapter(std::wstring chip, std::uint16_t channels = 4,
                              std::uint16_t perChannel = 1) {
    auto record = std::make_unique<ctl::AdapterRecord>();
    record->chipModel = std::move(chip);
    record->channelCount = channels;
    record->devicesPerChannel = perChannel;
    record->adapterNumber = model.entryCount - 1;
    record->pciDevice = std::to_wstring(model.entryCount);
    ctl::AdapterRecord& adapter = *record;
    model.adapters[model.entryCount++] = std::move(record);
    return adapter;
  }
  static ctl::DeviceRecord& Disk(ctl::AdapterRecord& a, int channel, int device,
                                 std::wstring model = L"DISK", bool spare = false) {
    ctl::DeviceRecord& d =
        a.channels[static_cast<std::size_t>(channel)].devices[static_cast<std::size_t>(device)];
    d.present = 1;
    d.spare = spare ? 1 : 0;
    d.modelNumber = std::move(model);
    d.capacity = L"100 MB";
    return d;
  }
  static ctl::SetRecord& Set(ctl::AdapterRecord& a, std::wstring type,
                             std::vector<std::uint8_t> members, std::wstring location) {
    ctl::SetRecord& set = a.sets[a.setCount++];
    // The code the driver would have sent with the text.
    set.kind = type == L"Striped Set"    ? ctl::SetKind::kStriped
               : type == L"Mirrored Set" ? ctl::SetKind::kMirrored
                                         : ctl::SetKind::kUnknown;
    set.type = std::move(type);
    set.name = L"SET " + std::to_wstring(a.setCount);
    set.capacity = L"200 MB";
    set.locationText = std::move(location);
    set.memberCount = static_cast<std::uint8_t>(members.size());
    for (std::size_t m = 0; m < members.size(); ++m) set.members[m].deviceIndex = members[m];
    return set;
  }
};

std::vector<int> Indexes(const std::vector<DiskEntry>& disks) {
  std::vector<int> out;
  for (const DiskEntry& d : disks) out.push_back(d.DeviceIndex());
  return out;
}

TEST(WizardState, SupportedAdapterRuleLooksAtTheFirstSevenCharactersOnly) {
  const struct {
    const wchar_t* chip;
    bool supported;
  } cases[] = {{L"BV-7210", false}, {L"bv-7250", false}, {L"Bv-7210R", false},
               {L"BV-7420", true},  {L"BV-721", true},   {L"UNKNOWN", true}};
  for (const auto& c : cases) {
    ctl::AdapterRecord adapter;
    adapter.chipModel = c.chip;
    EXPECT_EQ(IsSupportedAdapter(adapter), c.supported) << adapter.chipModel.size();
  }
}

TEST(WizardState, PreselectionSkipsTheTwoPortChips) {
  ModelBuilder none;
  EXPECT_EQ(WizardState(none.model).selectedAdapter, -1);
  ModelBuilder two;
  two.Adapter(L"BV-7210");
  two.Adapter(L"BV-7420");
  EXPECT_EQ(WizardState(two.model).selectedAdapter, 1);
  ModelBuilder unsupported;
  unsupported.Adapter(L"bv-7250");
  EXPECT_EQ(WizardState(unsupported.model).selectedAdapter, -1);
}

TEST(WizardState, WithoutASupportedAdapterTheControllerPageIsTheWayOn) {
  ModelBuilder b;
  b.Adapter(L"BV-7250");
  WizardState s(b.model);
  s.WelcomeNext(b.model);
  EXPECT_EQ(s.NextOf(P::kWelcome), P::kController);
  s.ActivateController(b.model);
  EXPECT_FALSE(s.ButtonsOf(P::kController).next);
  EXPECT_TRUE(s.ClickController(b.model, 0));  // refused
  EXPECT_FALSE(s.ButtonsOf(P::kController).next);
  EXPECT_FALSE(s.ButtonsOf(P::kAction).next);
}

TEST(WizardState, ControllerClicksRebuildAndBackRestores) {
  ModelBuilder b;
  ctl::AdapterRecord& first = b.Adapter(L"BV-7420");
  ModelBuilder::Disk(first, 0, 0);
  ctl::AdapterRecord& second = b.Adapter(L"bv-7250", 2, 2);
  ModelBuilder::Disk(second, 1, 1);
  WizardState s(b.model);
  s.ActivateController(b.model);
  EXPECT_EQ(Indexes(s.freeDisks), std::vector<int>{0});
  EXPECT_TRUE(s.ClickController(b.model, 1));
  EXPECT_EQ(s.selectedAdapter, 1);
  EXPECT_EQ(Indexes(s.freeDisks), std::vector<int>{3});  // rebuilt for the refused one too
  EXPECT_FALSE(s.ButtonsOf(P::kController).next);
  s.BackFromController();
  EXPECT_EQ(s.selectedAdapter, 0);
  // A click that leaves no row selected.
  s.ActivateController(b.model);
  EXPECT_FALSE(s.ClickController(b.model, -1));
  EXPECT_EQ(s.selectedAdapter, -1);
  EXPECT_FALSE(s.ButtonsOf(P::kController).next);
}

TEST(WizardState, CandidateRebuildSortsSparesTakenAndFreeDisks) {
  ModelBuilder b;
  ctl::AdapterRecord& a = b.Adapter(L"BV-7420", 4, 2);
  for (int c = 0; c < 4; ++c) ModelBuilder::Disk(a, c, 0);
  ModelBuilder::Disk(a, 1, 1, L"SPARE", true);
  ModelBuilder::Set(a, L"Mirrored Set", {0, 2}, L"Channel 0 Device");
  WizardState s(b.model);
  s.spareChoice.push_back({});
  s.RebuildCandidates(b.model);
  EXPECT_EQ(Indexes(s.freeDisks), (std::vector<int>{4, 6}));
  EXPECT_EQ(Indexes(s.availableDisks), (std::vector<int>{4, 6}));
  EXPECT_EQ(Indexes(s.existingSpares), std::vector<int>{3});
  EXPECT_TRUE(s.spareChoice.empty());
}

TEST(WizardState, MoreSpareDrivesThanTheListHoldsAreCut) {
  ModelBuilder b;
  ctl::AdapterRecord& a = b.Adapter(L"BV-7420", 4, 2);
  for (int c = 0; c < 4; ++c)
    for (int d = 0; d < 2; ++d) ModelBuilder::Disk(a, c, d, L"S", true);
  WizardState s(b.model);
  s.RebuildCandidates(b.model);
  EXPECT_EQ(Indexes(s.existingSpares), (std::vector<int>{0, 1, 2, 3}));
  EXPECT_TRUE(s.freeDisks.empty());
  s.ActivateDeletion(b.model);
  EXPECT_EQ(s.DeletionEntries().size(), kMaxExistingSpares);
}

TEST(WizardState, LocationTexts) {
  const struct {
    int channel, device;
    bool extended;
    const wchar_t* text;
  } cases[] = {{0, 0, false, L"PrimaryMaster"},   {0, 1, false, L"PrimarySlave"},
               {1, 0, false, L"SecondaryMaster"}, {1, 1, false, L"SecondarySlave"},
               {2, 0, true, L"Channel 2"},        {0, 3, true, L"Channel 0"}};
  for (const auto& c : cases) {
    DiskEntry entry{c.channel, c.device, 2, {}};
    EXPECT_EQ(LocationText(entry, c.extended), c.text);
  }
  EXPECT_EQ(MemberLocationText(3, 2, false), L"SecondarySlave");
  EXPECT_EQ(MemberLocationText(2, 2, false), L"SecondaryMaster");
  EXPECT_EQ(MemberLocationText(5, 2, true), L"Channel 2");
  EXPECT_EQ(MemberLocationText(5, 0, true), L"Channel 5");  // no division by zero
}

TEST(WizardState, DrivePositionFromALocationText) {
  const struct {
    const wchar_t* text;
    unsigned position;
  } cases[] = {{L"Primary Master", 0},
               {L"primary slave", 1},
               {L"SECONDARY MASTER", 2},
               {L"Secondary Slave", 3},
               {L"Channel 1 Device", 1},
               {L"Channel 3 Device", 3},
               {L"Channel x Device", 0},
               {L"short", 0},
               {L"", 0}};
  for (const auto& c : cases) EXPECT_EQ(DrivePosition(c.text), c.position) << c.position;
}

TEST(WizardState, ChooserKeepsDeviceIndexOrderBothWaysAndHoldsFour) {
  ModelBuilder b;
  ctl::AdapterRecord& a = b.Adapter(L"BV-7420", 4, 2);
  for (int c = 0; c < 4; ++c)
    for (int d = 0; d < 2; ++d) ModelBuilder::Disk(a, c, d);
  WizardState s(b.model);
  s.RebuildCandidates(b.model);
  s.ActivateSpareDisks();
  auto rowOf = [&](int index) {
    const auto& list = s.availableDisks;
    for (std::size_t r = 0; r < list.size(); ++r)
      if (list[r].DeviceIndex() == index) return r;
    return list.size();
  };
  // Channel 3, then 0, then 2 (device 0 each).
  for (int index : {6, 0, 4}) ASSERT_TRUE(s.Select(rowOf(index)));
  EXPECT_EQ(Indexes(s.spareChoice), (std::vector<int>{0, 4, 6}));
  EXPECT_EQ(Indexes(s.availableDisks), (std::vector<int>{1, 2, 3, 5, 7}));
  ASSERT_TRUE(s.Deselect(1));  // index 4 goes back between 3 and 5
  EXPECT_EQ(Indexes(s.availableDisks), (std::vector<int>{1, 2, 3, 4, 5, 7}));
  for (int index : {7, 1}) ASSERT_TRUE(s.Select(rowOf(index)));
  EXPECT_EQ(Indexes(s.spareChoice), (std::vector<int>{0, 1, 6, 7}));
  // Four chosen: Select takes no fifth, and rows outside the lists move nothing.
  EXPECT_FALSE(s.CanSelect());
  EXPECT_FALSE(s.Select(0));
  EXPECT_EQ(s.spareChoice.size(), kMaxSpareChoice);
  EXPECT_FALSE(s.Deselect(9));
  // Back empties the choice and offers every free disk again.
  s.BackFromSpareDisks();
  EXPECT_TRUE(s.spareChoice.empty());
  EXPECT_EQ(Indexes(s.availableDisks), Indexes(s.freeDisks));
}

TEST(WizardState, DeletionRowsPlansAndTheStripedWarning) {
  ModelBuilder b;
  ctl::AdapterRecord& a = b.Adapter(L"BV-7210", 2, 2);
  for (int c = 0; c < 2; ++c)
    for (int d = 0; d < 2; ++d) ModelBuilder::Disk(a, c, d, L"M" + std::to_wstring(c * 2 + d));
  ModelBuilder::Set(a, L"Striped Set", {0, 1}, L"Primary Master");
  ModelBuilder::Set(a, L"Mirrored Set", {2}, L"Secondary Slave");
  a.channels[1].devices[1].spare = 1;
  WizardState s(b.model);
  s.selectedAdapter = 0;
  s.RebuildCandidates(b.model);
  s.ActivateDeletion(b.model);
  const auto& rows = s.DeletionEntries();
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].row, (ListRow{L"Striped Set", L"SET 1", L"200 MB"}));
  EXPECT_EQ(rows[0].members[1], (ListRow{L"PrimarySlave", L"M1", L"100 MB"}));
  EXPECT_EQ(rows[2].row, (ListRow{L"Spare Drive", L"M3", L"100 MB"}));
  EXPECT_EQ(rows[2].members[0].first, L"SecondarySlave");
  EXPECT_FALSE(s.ButtonsOf(P::kDelete).finish);
  EXPECT_FALSE(s.PlanDeletion());

  s.ClickDeletion(0);
  EXPECT_TRUE(s.DeletionWarning());
  s.ClickDeletion(1);
  EXPECT_TRUE(s.DeletionWarning());  // stays until the next activation
  s.ClickDeletion(-1);               // nothing changes
  EXPECT_EQ(s.DeletionRow(), 1);
  EXPECT_TRUE(s.ButtonsOf(P::kDelete).finish);
  auto plan = s.PlanDeletion();
  ASSERT_TRUE(plan);
  EXPECT_FALSE(plan->spare);
  EXPECT_EQ(plan->setIndex, 1);
  EXPECT_EQ(plan->removeChannel, 1u);  // "Secondary Slave", 2 devices per channel
  EXPECT_EQ(plan->removeDevice, 1u);
  s.ClickDeletion(2);
  plan = s.PlanDeletion();
  ASSERT_TRUE(plan);
  EXPECT_TRUE(plan->spare);
  EXPECT_EQ(plan->deviceIndex, 3);
  EXPECT_TRUE(s.DeletionStillValid(b.model));
  s.ActivateDeletion(b.model);
  EXPECT_FALSE(s.DeletionWarning());
  EXPECT_EQ(s.DeletionRow(), -1);
}

TEST(WizardState, ADeletionRowIsStaleOnceTheModelChanged) {
  ModelBuilder b;
  ctl::AdapterRecord& a = b.Adapter(L"BV-7420");
  ModelBuilder::Disk(a, 0, 0);
  ModelBuilder::Set(a, L"Mirrored Set", {0}, L"Channel 0 Device");
  WizardState s(b.model);
  s.ActivateDeletion(b.model);
  s.ClickDeletion(0);
  EXPECT_TRUE(s.DeletionStillValid(b.model));
  a.setCount = 0;  // the set is gone
  EXPECT_FALSE(s.DeletionStillValid(b.model));
  a.setCount = 1;
  a.pciDevice = L"9";  // another adapter at that place
  EXPECT_FALSE(s.DeletionStillValid(b.model));
  b.model.entryCount = 1;  // no adapter at all
  EXPECT_FALSE(s.DeletionStillValid(b.model));
}

}  // namespace
}  // namespace kestrune::wizard
