// The window under change: the logger's rebuild, reselect and re-add calls,
// dragging a disk onto a set, the free disk's menu, the spare icons at a poll.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

#include "simulator/device_manager.h"
#include "simulator/driver.h"
#include "simulator/simulator.h"
#include "view_rig.h"

namespace kestrune::test {
namespace {

using views::NodeRef;

constexpr std::uint32_t kAddMember = 0x4200C;

// Positions in the tree's viewport, where a hand presses and lets go.
QPoint OnItem(views::CConfigTreeDlg& window, const NodeRef& node) {
  return window.IconAndLabelRect(window.ItemOf(node)).center();
}
QPoint OverSheet(views::CConfigTreeDlg& window) {
  return window.Tree()->viewport()->mapFromGlobal(
      window.Sheet()->mapToGlobal(window.Sheet()->rect().center()));
}
QPoint OverTreeBelowItems(views::CConfigTreeDlg& window) {
  const QRect area = window.Tree()->viewport()->rect();
  return {area.left() + 20, area.bottom() - 5};
}

// Qt's offscreen platform has no drag loop (QDrag::exec returns at once).
bool PlatformDrags() {
  return QGuiApplication::platformName() != QStringLiteral("offscreen");
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

TEST(Drag, StartsOnlyFromADiskWhileASetShowsAndNeverTouchesTheSelectionBefore) {
  if (!PlatformDrags()) GTEST_SKIP() << "no drag loop on this platform";
  struct Case {
    bool setShown;
    NodeRef pressed;
    bool drags;
  };
  const Case cases[] = {
      {false, NodeRef::Device(0, 3, 0), false},  // no set selected
      {true, NodeRef::Device(1, 1, 0), false},   // a CD-ROM
      {true, NodeRef::Channel(0, 3), false},
      {true, NodeRef::Set(0, 0), false},
      // Disks free, in use and spare; the other adapter's disk too.
      {true, NodeRef::Device(0, 3, 0), true},
      {true, NodeRef::Device(0, 0, 0), true},
      {true, NodeRef::Device(0, 2, 0), true},
      {true, NodeRef::Device(1, 0, 0), true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << c.pressed.adapter << "/" << c.pressed.channel << " set " << c.setShown);
    ViewRig rig;
    views::CConfigTreeDlg& window = rig.Open();
    const NodeRef shown = c.setShown ? NodeRef::Set(0, 0) : NodeRef::Computer();
    ASSERT_TRUE(window.SelectNode(shown));
    const views::CNodePageSheet* sheet = window.Sheet();
    bool dragged = false, selectionKept = true;
    std::optional<NodeRef> afterPress;
    MouseDrag(window.Tree()->viewport(), OnItem(window, c.pressed), OverSheet(window), 3, [&] {
      if (!afterPress) afterPress = window.CurrentNode();
      dragged = dragged || window.Dragging();
      selectionKept = selectionKept && window.CurrentNode() == shown && window.Sheet() == sheet;
    });
    EXPECT_EQ(dragged, c.drags);
    EXPECT_FALSE(window.Dragging());
    EXPECT_EQ(rig.watched->Count("QMX_RIO ", kAddMember), c.drags ? 1u : 0u);
    if (c.drags) {
      EXPECT_TRUE(selectionKept);
      EXPECT_EQ(window.CurrentNode(), shown);
      EXPECT_EQ(window.Sheet()->ActivePage()->TemplateId(), 1015u);
    } else {
      // The tree's own press: the item is selected at once.
      EXPECT_EQ(afterPress, c.pressed);
    }
  }
}

TEST(Drag, SmallStepsDropOnTheSheetIntoTheSelectedSetElsewhereNothing) {
  if (!PlatformDrags()) GTEST_SKIP() << "no drag loop on this platform";
  ViewRig rig;
  views::CConfigTreeDlg& window = rig.Open();
  // A second set slot.
  rig.Edit([](ctl::ConfigurationModel& m) {
    ctl::AdapterRecord& a = *m.Adapter(0);
    a.setCount = 2;
    a.sets[1] = a.sets[0];
  });
  window.RebuildAdapterBranchFromModel(0);
  const NodeRef set = NodeRef::Set(0, 1), disk = NodeRef::Device(0, 3, 0);
  ASSERT_TRUE(window.SelectNode(set));
  QWidget* viewport = window.Tree()->viewport();
  const QPoint start = OnItem(window, disk);

  // Let go over the tree, or Escape on the way: nothing is sent, the set's
  // pages stay, and the moves after Escape do not reach the tree.
  MouseDrag(viewport, start, OverTreeBelowItems(window));
  bool escaped = false;
  MouseDrag(viewport, start, OverSheet(window), 3, [&] {
    if (window.Dragging() && !escaped) {
      escaped = true;
      QTest::keyPress(&window, Qt::Key_Escape);
    }
  });
  EXPECT_TRUE(escaped);
  EXPECT_EQ(rig.watched->Count("QMX_RIO ", kAddMember), 0u);
  EXPECT_EQ(window.CurrentNode(), set);
  EXPECT_EQ(window.Sheet()->ActivePage()->TemplateId(), 1014u);

  // Moves short of the start distance and the release: a click on the disk.
  const int shortOf = QApplication::startDragDistance() - 1;
  MouseDrag(viewport, start, start + QPoint(shortOf, 0), 3);
  EXPECT_EQ(window.CurrentNode(), disk);
  ASSERT_TRUE(window.SelectNode(set));

  // Over the sheet: set 1, device index 3, then the Members page.
  MouseDrag(viewport, start, OverSheet(window));
  ASSERT_EQ(rig.watched->Count("QMX_RIO ", kAddMember), 1u);
  for (const auto& sent : rig.watched->SentRequests()) {
    if (sent.code != kAddMember) continue;
    ASSERT_GE(sent.head.size(), 2u);
    EXPECT_EQ(sent.head[0], 3);  // device index, then set
    EXPECT_EQ(sent.head[1], 1);
  }
  EXPECT_EQ(window.Sheet()->ActivePage()->TemplateId(), 1015u);
  EXPECT_EQ(window.CurrentNode(), set);
}

TEST(Window, OneSizeOnEveryPageOfEveryNodeWiderOnlyForAValueThatNeedsIt) {
  ViewRig rig;
  views::CConfigTreeDlg& window = rig.Open();
  const Qt::WindowFlags flags = window.windowFlags();
  EXPECT_TRUE(flags & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
  const QSize opening = window.size();
  auto fixedAndWhole = [&] {
    SCOPED_TRACE(testing::Message() << window.width() << "x" << window.height());
    // Not resizable, and the pages fit whole.
    EXPECT_EQ(window.minimumSize(), window.size());
    EXPECT_EQ(window.maximumSize(), window.size());
    const QSize need = window.Sheet()->minimumSizeHint();
    EXPECT_GE(window.Sheet()->width(), need.width());
    EXPECT_GE(window.Sheet()->height(), need.height());
  };
  std::vector<NodeRef> nodes;
  for (QTreeWidgetItemIterator it(window.Tree()); *it != nullptr; ++it)
    nodes.push_back(views::CConfigTreeDlg::NodeOf(*it));
  ASSERT_GT(nodes.size(), 10u);
  for (const NodeRef& node : nodes) {
    ASSERT_TRUE(window.SelectNode(node));
    for (int tab = window.Sheet()->PageCount() - 1; tab >= 0; --tab) {
      SCOPED_TRACE(testing::Message() << static_cast<int>(node.kind) << " " << node.adapter << "/"
                                      << node.channel << " tab " << tab);
      window.Sheet()->SetActivePage(tab);
      QApplication::processEvents();
      fixedAndWhole();
      EXPECT_EQ(window.size(), opening);
    }
  }

  // A value longer than any page was measured for widens the window while
  // its page shows, and the next node has the opening size again.
  rig.Edit([](ctl::ConfigurationModel& m) { m.computer.osName = std::wstring(120, L'W'); });
  ASSERT_TRUE(window.SelectNode(NodeRef::Computer()));
  QApplication::processEvents();
  fixedAndWhole();
  EXPECT_GT(window.width(), opening.width());
  EXPECT_EQ(window.height(), opening.height());
  ASSERT_TRUE(window.SelectNode(NodeRef::Adapter(0)));
  QApplication::processEvents();
  fixedAndWhole();
  EXPECT_EQ(window.size(), opening);
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

TEST(PollRefresh, ASpareTakenIntoASetShowsAsThatSetsMember) {
  sim::Scenario scenario = QuietScenario();
  ASSERT_TRUE(scenario.adapters[0].sets[0].spareEnabled);
  sim::DropMember drop;  // the member on channel 1; the spare on channel 2 takes over
  drop.set = 0;
  drop.position = 1;
  sim::TimelineStep step;
  step.atSeconds = 1;
  step.action = drop;
  scenario.timeline = {step};
  ViewRig rig(scenario);
  views::CConfigTreeDlg& window = rig.Open();
  const NodeRef spare = NodeRef::Device(0, 2, 0);
  ASSERT_EQ(views::CConfigTreeDlg::ImageOf(window.ItemOf(spare)), 12);
  rig.clock->Advance(std::chrono::seconds(2));
  // A poll before the branch is read again: the spare on channel 2 is a
  // plain disk now.
  window.OnPollRefresh();
  EXPECT_EQ(views::CConfigTreeDlg::ImageOf(window.ItemOf(spare)), 3);
  // The logger's rebuild after "Hot spare added to set": the former spare is
  // a member of the set now, in use like the other member; the next poll
  // keeps that.
  window.RebuildAdapterBranch(0);
  window.OnPollRefresh();
  EXPECT_EQ(views::CConfigTreeDlg::ImageOf(window.ItemOf(spare)), 4);
  EXPECT_EQ(views::CConfigTreeDlg::ImageOf(window.ItemOf(NodeRef::Device(0, 0, 0))), 4);
}

}  // namespace
}  // namespace kestrune::test
