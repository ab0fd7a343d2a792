// The tree built from the model: shapes, device images, node addressing, and
// which pages each node shows.
#include <gtest/gtest.h>

#include <QAction>
#include <QMenuBar>
#include <QToolBar>
#include <QTreeWidget>

#include "view_rig.h"
#include "views/node_pages.h"

namespace kestrune::test {
namespace {

using views::NodeKind;
using views::NodeRef;

TEST(TreeShape, DefaultMachineInModelOrderWithImagesAndSuffixes) {
  ViewRig rig;
  views::CConfigTreeDlg& window = rig.Open();
  EXPECT_EQ(TreeLines(*window.Tree()), (std::vector<std::string>{
                                           "WORKSTATION [0]",
                                           "  BV-7420U-0 [1]",
                                           "    Channel 0 [2]",
                                           "      Device [4]",
                                           "    Channel 1 [2]",
                                           "      Device [4]",
                                           "    Channel 2 [2]",
                                           "      Device [12]",
                                           "    Channel 3 [2]",
                                           "      Device [3]",
                                           "    Sets [9]",
                                           "      Set 0 [10]",
                                           "  BV-7210U-1 [1]",
                                           "    Primary [2]",
                                           "      Master [4]",
                                           "    Secondary [2]",
                                           "      Master [6]",
                                       }));
  // The suffix is the label's only: the model keeps the chip model as read.
  ctl::CControllerIo::Lock lock(*rig.io);
  EXPECT_EQ(rig.io->Model().Adapter(0)->chipModel, L"BV-7420");
}

TEST(TreeShape, EdgeMachines) {
  struct Case {
    const char* name;
    std::function<void(sim::Scenario&)> scenario;
    std::function<void(ctl::ConfigurationModel&)> model;
    std::vector<std::string> expected;
  };
  const std::vector<Case> cases = {
      {"no adapter", [](sim::Scenario& s) { s.adapters.clear(); }, nullptr, {"WORKSTATION [0]"}},
      {"a standard chip has no Sets, an old channel without devices no children",
       [](sim::Scenario& s) {
         s.adapters.erase(s.adapters.begin());
         s.adapters[0].disks.pop_back();  // the CD-ROM on the secondary channel
       },
       nullptr,
       {"WORKSTATION [0]", "  BV-7210U-0 [1]", "    Primary [2]", "      Master [4]",
        "    Secondary [2]"}},
      {"a set slot named UNKNOWN has no node; a model text with U- keeps it",
       [](sim::Scenario& s) { s.adapters.pop_back(); },
       [](ctl::ConfigurationModel& m) {
         ctl::AdapterRecord& a = *m.Adapter(0);
         a.setCount = 2;
         a.sets[1] = a.sets[0];
         a.sets[0].name = L"unknown";
         a.chipModel = L"BV-7420U-7";
         for (auto& channel : a.channels) channel.devices[0].present = 0;
       },
       {"WORKSTATION [0]", "  BV-7420U-7 [1]", "    Channel 0 [2]", "    Channel 1 [2]",
        "    Channel 2 [2]", "    Channel 3 [2]", "    Sets [9]", "      Set 1 [10]"}},
  };
  for (const Case& c : cases) {
    sim::Scenario scenario = QuietScenario();
    c.scenario(scenario);
    ViewRig rig(scenario);
    if (c.model) rig.Edit(c.model);
    EXPECT_EQ(TreeLines(*rig.Open().Tree()), c.expected) << c.name;
  }
}

TEST(TreeShape, RootNamedMyComputerWhenTheNameIsUnknownAndCutTo15) {
  ctl::ComputerInfo computer;
  EXPECT_EQ(views::RootLabel(computer), L"My Computer");
  computer.computerName = L"A-VERY-LONG-HOSTNAME";
  EXPECT_EQ(views::RootLabel(computer), L"A-VERY-LONG-HOS");
}

TEST(DeviceImage, EveryRule) {
  struct Case {
    std::uint32_t flags;
    std::uint32_t typeCode;
    std::uint8_t spare;
    int image;
  };
  const Case cases[] = {
      {0x00, 0, 0, 3}, {0x40, 0, 0, 4}, {0x00, 0, 1, 12}, {0x40, 0, 1, 12},  // disks
      {0x00, 5, 0, 3},                                                       // not packet
      {0x01, 1, 0, 7}, {0x41, 1, 0, 8}, {0x01, 1, 1, 7},                     // tape
      {0x01, 5, 0, 5}, {0x41, 5, 0, 6}, {0x01, 5, 1, 5},                     // CD-ROM
      {0x01, 8, 0, 3}, {0x41, 8, 0, 4}, {0x01, 8, 1, 12}, {0x41, 8, 1, 4},   // other packet
  };
  for (const Case& c : cases) {
    ctl::DeviceRecord device;
    device.flags = c.flags;
    device.typeCode = c.typeCode;
    device.spare = c.spare;
    EXPECT_EQ(views::DeviceImage(device), c.image)
        << "flags " << c.flags << " type " << c.typeCode << " spare " << int{c.spare};
  }
}

TEST(NodeAddressing, EachKindNamesItsItemAndRecords) {
  ViewRig rig;
  views::CConfigTreeDlg& window = rig.Open();
  struct Case {
    NodeRef node;
    const char* label;
    const char* parentLabel;
    bool resolves;
    std::uint32_t deviceIndex;
  };
  const Case cases[] = {
      {NodeRef::Computer(), "WORKSTATION", nullptr, true, 0},
      {NodeRef::Adapter(1), "BV-7210U-1", "WORKSTATION", true, 0},
      {NodeRef::Channel(0, 3), "Channel 3", "BV-7420U-0", true, 0},
      {NodeRef::Channel(1, 1), "Secondary", "BV-7210U-1", true, 0},
      {NodeRef::Device(0, 2, 0), "Device", "Channel 2", true, 2},
      {NodeRef::Device(1, 1, 0), "Master", "Secondary", true, 2},
      {NodeRef::Sets(0), "Sets", "BV-7420U-0", true, 0},
      {NodeRef::Set(0, 0), "Set 0", "Sets", true, 0},
  };
  for (const Case& c : cases) {
    QTreeWidgetItem* item = window.ItemOf(c.node);
    ASSERT_NE(item, nullptr) << c.label;
    EXPECT_EQ(item->text(0).toStdString(), c.label);
    EXPECT_EQ(views::CConfigTreeDlg::NodeOf(item), c.node);
    if (c.parentLabel != nullptr) {
      EXPECT_EQ(item->parent()->text(0).toStdString(), c.parentLabel);
    }
    ctl::CControllerIo::Lock lock(*rig.io);
    const views::ResolvedNode found = views::Resolve(rig.io->Model(), c.node);
    EXPECT_EQ(found.Complete(c.node.kind), c.resolves) << c.label;
    EXPECT_EQ(found.deviceIndex, c.deviceIndex) << c.label;
  }
  // Nodes the model does not hold resolve to nothing.
  ctl::CControllerIo::Lock lock(*rig.io);
  ctl::ConfigurationModel& model = rig.io->Model();
  for (const NodeRef& node : {NodeRef::Adapter(2), NodeRef::Channel(0, 4), NodeRef::Channel(1, 2),
                              NodeRef::Device(0, 0, 1), NodeRef::Set(0, 1), NodeRef::Set(1, 0)}) {
    EXPECT_FALSE(views::Resolve(model, node).Complete(node.kind));
  }
  EXPECT_EQ(NodeRef::Device(0, 2, 0).Parent(), NodeRef::Channel(0, 2));
  EXPECT_EQ(NodeRef::Set(0, 1).Parent(), NodeRef::Sets(0));
}

std::vector<std::pair<unsigned, QString>> SheetPages(views::CConfigTreeDlg& window) {
  std::vector<std::pair<unsigned, QString>> pages;
  views::CNodePageSheet* sheet = window.Sheet();
  for (int i = 0; sheet != nullptr && i < sheet->PageCount(); ++i)
    pages.emplace_back(sheet->Page(i)->TemplateId(), sheet->Page(i)->Caption());
  return pages;
}

TEST(NodePages, EachNodeShowsItsPagesInTabOrder) {
  ViewRig rig;
  views::CConfigTreeDlg& window = rig.Open();
  using Pages = std::vector<std::pair<unsigned, QString>>;
  const std::vector<std::pair<NodeRef, Pages>> cases = {
      {NodeRef::Computer(), {{1002, "Computer"}, {1016, "Events"}}},
      {NodeRef::Adapter(0), {{1004, "Adapter"}}},
      // Any extended adapter makes every channel page the second kind.
      {NodeRef::Channel(1, 0), {{1044, "Channel"}}},
      {NodeRef::Device(0, 3, 0),
       {{1008, "Device"}, {1025, "Smart/Configuration"}, {1011, "Identify Data"}}},
      {NodeRef::Sets(0), {{1013, "Set Control"}}},
      {NodeRef::Set(0, 0),
       {{1014, "Set"}, {1015, "Members"}, {1027, "SMART/Configuration"}, {1011, "Identify Data"}}},
  };
  for (const auto& [node, pages] : cases) {
    ASSERT_TRUE(window.SelectNode(node));
    EXPECT_EQ(window.CurrentNode(), node);
    EXPECT_EQ(SheetPages(window), pages);
    ASSERT_NE(window.Sheet(), nullptr);
    EXPECT_EQ(window.Sheet()->ActiveIndex(), 0);
  }
  // Without an extended adapter the channel has the first kind.
  EXPECT_EQ(views::NodePageTemplates(NodeKind::Channel, {true, false}),
            std::vector<unsigned>{1009});
}

TEST(ConfigWindow, TitleMenuToolbarAndTheWizardOnlyWhenOffered) {
  for (bool offered : {true, false}) {
    ViewRig rig;
    views::CConfigTreeDlg& window = rig.Open(offered);
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Configuration for Kestrune"));
    EXPECT_EQ(platform_qt::FindById<QTreeWidget>(&window, 1303), window.Tree());
    QStringList menus;
    for (QAction* menu : window.MenuBar()->actions()) menus << menu->text();
    EXPECT_EQ(menus, offered ? QStringList({"&File", "&Configure", "&Raid", "&Help"})
                             : QStringList({"&File", "&Configure", "&Help"}));
    auto* wizard = platform_qt::FindById<QAction>(window.ToolBar(), 32778);
    ASSERT_NE(wizard, nullptr);
    EXPECT_EQ(wizard->isEnabled(), offered);
    EXPECT_EQ(wizard->toolTip(), QStringLiteral("RAID Configuration Wizard"));
  }
}

}  // namespace
}  // namespace kestrune::test
