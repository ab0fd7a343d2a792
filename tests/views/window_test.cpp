// The window under change: the logger's rebuild, reselect and re-add calls,
// dragging a disk onto a set, the free disk's menu, the spare icons at a poll.
#include <gtest/gtest.h>

#include <QTreeWidget>

#include "simulator/device_manager.h"
#include "simulator/driver.h"
#include "simulator/simulator.h"
#include "view_rig.h"

namespace kestrune::test {
namespace {

using views::NodeRef;

constexpr std::uint32_t kAddMember = 0x4200C;

QPoint SheetCentre(views::CConfigTreeDlg& window) {
  return window.Sheet()->mapTo(&window, window.Sheet()->rect().center());
}
QPoint TreeCentre(views::CConfigTreeDlg& window) {
  return window.Tree()->mapTo(&window, window.Tree()->rect().center());
}

TEST(LoggerCalls, RebuildHandsOverToTheParentAndReselectKeepsTheTab) {
  ViewRig rig;
  views::CConfigTreeDlg& window = rig.Open();
  const NodeRef disk = NodeRef::Device(0, 3, 0);
  ASSERT_TRUE(window.SelectNode(disk));
  window.Sheet()->SetActivePage(2);
  window.ReselectCurrentItem();
  EXPECT_EQ(window.CurrentNode(), disk);
  EXPECT_EQ(window.Sheet()->ActiveIndex(), 2);

  // The disk went away: its channel's pages are shown.
  rig.Edit([](ctl::ConfigurationModel& m) { m.Adapter(0)->channels[3].devices[0].present = 0; });
  window.RebuildAdapterBranchFromModel(0);
  EXPECT_EQ(window.ItemOf(disk), nullptr);
  EXPECT_EQ(window.CurrentNode(), NodeRef::Channel(0, 3));
  EXPECT_EQ(window.Tree()->currentItem(), window.ItemOf(NodeRef::Channel(0, 3)));
  EXPECT_EQ(window.Sheet()->Page(0)->TemplateId(), 1044u);

  // It came back; the adapters vanish (after a wizard run) and come back.
  rig.Edit([](ctl::ConfigurationModel& m) { m.Adapter(0)->channels[3].devices[0].present = 1; });
  window.RebuildAdapterBranchFromModel(0);
  const std::vector<std::string> before = TreeLines(*window.Tree());
  window.RemoveAllAdapters();
  EXPECT_EQ(TreeLines(*window.Tree()), std::vector<std::string>{"WORKSTATION [0]"});
  EXPECT_EQ(window.CurrentNode(), NodeRef::Computer());
  window.AddAllAdapters();
  window.AddAllAdapters();  // adapters already shown are not added twice
  EXPECT_EQ(TreeLines(*window.Tree()), before);
}

TEST(Drag, StartConditions) {
  ViewRig rig;
  views::CConfigTreeDlg& window = rig.Open();
  const QPoint at = TreeCentre(window);
  // No set selected.
  EXPECT_FALSE(window.BeginDrag(NodeRef::Device(0, 3, 0), at));
  ASSERT_TRUE(window.SelectNode(NodeRef::Set(0, 0)));
  // A CD-ROM, a channel, a set.
  EXPECT_FALSE(window.BeginDrag(NodeRef::Device(1, 1, 0), at));
  EXPECT_FALSE(window.BeginDrag(NodeRef::Channel(0, 3), at));
  EXPECT_FALSE(window.BeginDrag(NodeRef::Set(0, 0), at));
  // Disks free, in use and spare; the other adapter's disk too.
  for (const NodeRef& disk : {NodeRef::Device(0, 3, 0), NodeRef::Device(0, 0, 0),
                              NodeRef::Device(0, 2, 0), NodeRef::Device(1, 0, 0)}) {
    EXPECT_TRUE(window.BeginDrag(disk, at)) << disk.adapter << disk.channel;
    EXPECT_TRUE(window.Dragging());
    window.CancelDrag();
    EXPECT_FALSE(window.Dragging());
  }
}

TEST(Drag, DropOnTheSheetAddsToTheSelectedSetOutsideNothing) {
  ViewRig rig;
  views::CConfigTreeDlg& window = rig.Open();
  // A second set slot.
  rig.Edit([](ctl::ConfigurationModel& m) {
    ctl::AdapterRecord& a = *m.Adapter(0);
    a.setCount = 2;
    a.sets[1] = a.sets[0];
  });
  window.RebuildAdapterBranchFromModel(0);
  ASSERT_TRUE(window.SelectNode(NodeRef::Set(0, 1)));

  // Let go over the tree: nothing is sent.
  ASSERT_TRUE(window.BeginDrag(NodeRef::Device(0, 3, 0), TreeCentre(window)));
  window.DragMove(TreeCentre(window));
  EXPECT_FALSE(window.DropAllowed());
  window.DragEnd(TreeCentre(window));
  EXPECT_EQ(rig.watched->Count("QMX_RIO ", kAddMember), 0u);

  // Over the sheet: set 1, device index 3, then the Members page.
  ASSERT_TRUE(window.BeginDrag(NodeRef::Device(0, 3, 0), TreeCentre(window)));
  window.DragMove(SheetCentre(window));
  EXPECT_TRUE(window.DropAllowed());
  window.DragEnd(SheetCentre(window));
  EXPECT_FALSE(window.Dragging());
  ASSERT_EQ(rig.watched->Count("QMX_RIO ", kAddMember), 1u);
  for (const auto& sent : rig.watched->SentRequests()) {
    if (sent.code != kAddMember) continue;
    ASSERT_GE(sent.head.size(), 2u);
    EXPECT_EQ(sent.head[0], 3);  // device index, then set
    EXPECT_EQ(sent.head[1], 1);
  }
  EXPECT_EQ(window.Sheet()->ActivePage()->TemplateId(), 1015u);
  EXPECT_EQ(window.CurrentNode(), NodeRef::Set(0, 1));
}

TEST(DeviceMenu, OnlyForAFreeDiskWithItsOwnSystemDevice) {
  ViewRig rig;
  views::CConfigTreeDlg& window = rig.Open();
  auto menuOn = [&](const NodeRef& node) {
    const int before = rig.menusShown;
    window.ContextMenuOn(window.ItemOf(node), QPoint(10, 10));
    EXPECT_EQ(window.CurrentNode(), node);  // selected in any case
    return rig.menusShown > before;
  };
  // Master, a set member, a spare, a channel: no menu.
  EXPECT_FALSE(menuOn(NodeRef::Device(1, 0, 0)));
  EXPECT_FALSE(menuOn(NodeRef::Device(0, 0, 0)));
  EXPECT_FALSE(menuOn(NodeRef::Device(0, 2, 0)));
  EXPECT_FALSE(menuOn(NodeRef::Channel(0, 3)));
  // The device list cannot be read: no menu.
  rig.Sim().DeviceManager()->FailDeviceLists(1);
  EXPECT_FALSE(menuOn(NodeRef::Device(0, 3, 0)));

  // The free disk: Disable, then Enable.
  const NodeRef disk = NodeRef::Device(0, 3, 0);
  rig.menuAnswer = views::kCmdDeviceState;
  ASSERT_TRUE(menuOn(disk));
  EXPECT_EQ(rig.menuTexts, std::vector<QString>{"Disable"});
  EXPECT_EQ(views::CConfigTreeDlg::ImageOf(window.ItemOf(disk)), 4);
  EXPECT_EQ(rig.io->Model().Adapter(0)->channels[3].devices[0].flags & 0x40, 0x40u);
  ASSERT_TRUE(menuOn(disk));
  EXPECT_EQ(rig.menuTexts, std::vector<QString>{"Enable"});
  EXPECT_EQ(views::CConfigTreeDlg::ImageOf(window.ItemOf(disk)), 3);
  EXPECT_EQ(rig.io->Model().Adapter(0)->channels[3].devices[0].flags, 0u);
  // A refused change leaves the icon; a dismissed menu does nothing.
  rig.Sim().DeviceManager()->FailStateChanges(1);
  ASSERT_TRUE(menuOn(disk));
  EXPECT_EQ(views::CConfigTreeDlg::ImageOf(window.ItemOf(disk)), 3);
  rig.menuAnswer.reset();
  ASSERT_TRUE(menuOn(disk));
  EXPECT_EQ(rig.menuTexts, std::vector<QString>{"Disable"});
}

TEST(PollRefresh, ASpareNoLongerSpareLosesItsIcon) {
  ViewRig rig;
  views::CConfigTreeDlg& window = rig.Open();
  // The model believed the set member on channel 1 was a spare; the driver
  // lists only the disk on channel 2.
  rig.Edit([](ctl::ConfigurationModel& m) { m.Adapter(0)->channels[1].devices[0].spare = 1; });
  window.RebuildAdapterBranchFromModel(0);
  const NodeRef former = NodeRef::Device(0, 1, 0);
  const NodeRef spare = NodeRef::Device(0, 2, 0);
  ASSERT_EQ(views::CConfigTreeDlg::ImageOf(window.ItemOf(former)), 12);
  window.OnPollRefresh();
  EXPECT_EQ(views::CConfigTreeDlg::ImageOf(window.ItemOf(former)), 3);
  EXPECT_EQ(views::CConfigTreeDlg::ImageOf(window.ItemOf(spare)), 12);
}

}  // namespace
}  // namespace kestrune::test
