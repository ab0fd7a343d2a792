// The computer, adapter, channel and Events pages: what they show after
// their requests, and what a failed request or a missing file leaves.
#include <gtest/gtest.h>

#include <QAbstractItemModel>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <cerrno>
#include <filesystem>
#include <fstream>

#include "events/log_file.h"
#include "platform/text.h"
#include "simulator/driver.h"
#include "simulator/simulator.h"
#include "view_rig.h"
#include "views/prop_page_events.h"

namespace kestrune::test {
namespace {

using views::NodeRef;

QString Text(QWidget* page, unsigned id) {
  auto* label = platform_qt::FindById<QLabel>(page, id);
  return label == nullptr ? QStringLiteral("<none>") : label->text();
}

QWidget* ActivePage(views::CConfigTreeDlg& window) {
  return window.Sheet() == nullptr ? nullptr : window.Sheet()->ActivePage();
}

TEST(ComputerPage, ShowsTheSystemAndHidesTheOtherFamilysField) {
  ViewRig rig;
  views::CConfigTreeDlg& window = rig.Open();
  QWidget* page = ActivePage(window);
  ASSERT_NE(page, nullptr);
  ctl::ComputerInfo computer = rig.io->Model().computer;
  EXPECT_EQ(Text(page, 1310), platform_qt::ToQString(computer.osName));
  EXPECT_EQ(Text(page, 1312), platform_qt::ToQString(computer.osVersion));
  EXPECT_EQ(Text(page, 1316), QStringLiteral("WORKSTATION"));
  EXPECT_EQ(Text(page, 1314), platform_qt::ToQString(computer.servicePack));
  EXPECT_FALSE(platform_qt::FindById<QLabel>(page, 1329)->isHidden());
  EXPECT_TRUE(platform_qt::FindById<QLabel>(page, 1322)->isHidden());
  EXPECT_TRUE(platform_qt::FindById<QLabel>(page, 1318)->isHidden());
}

TEST(AdapterPage, ReadsAgainOnActivationAndKeepsUnknownWhenRequestsFail) {
  ViewRig rig;
  views::CConfigTreeDlg& window = rig.Open();
  ASSERT_TRUE(window.SelectNode(NodeRef::Adapter(0)));
  QWidget* page = ActivePage(window);
  // The query rewrote the chip model: the label's suffix is the tree's own.
  EXPECT_EQ(Text(page, 1308), QStringLiteral("BV-7420"));
  EXPECT_EQ(Text(page, 1321), QStringLiteral("RAID"));
  EXPECT_EQ(Text(page, 1330), QStringLiteral("2.1"));
  EXPECT_EQ(Text(page, 1315), QStringLiteral("11"));
  EXPECT_NE(Text(page, 1336), QStringLiteral("UNKNOWN"));

  // A record that was never read, requests that fail and no driver file:
  // "UNKNOWN" stays.
  rig.Edit([](ctl::ConfigurationModel& m) { *m.Adapter(1) = ctl::AdapterRecord{}; });
  for (const char* request : {"QueryDriverVersion", "QueryAdapterInfo"})
    rig.Sim().Driver()->InjectFault({1, request, sim::FaultKind::CallFails, 31, -1});
  ASSERT_TRUE(window.SelectNode(NodeRef::Adapter(1)));
  page = ActivePage(window);
  for (unsigned id : {1308u, 1309u, 1321u, 1324u, 1336u, 1338u, 1315u, 1317u, 1319u})
    EXPECT_EQ(Text(page, id), QStringLiteral("UNKNOWN")) << id;
  EXPECT_EQ(Text(page, 1330), QStringLiteral("UNKNOWN.UNKNOWN"));
}

TEST(ChannelPage2, SpeedAndThePortMultiplierGroup) {
  sim::Scenario scenario = QuietScenario();
  scenario.adapters[0].channelInfo.resize(4);
  sim::ChannelSpec& pm = scenario.adapters[0].channelInfo[1];
  pm.portMultiplier = true;
  pm.pmVendor = 0x1095;
  pm.pmDevice = 0x3726;
  pm.pmPorts = 5;
  pm.pmSpecVersion = 'B';
  pm.pmRevision = '3';
  scenario.adapters[0].channelInfo[2].linkGeneration = 2;
  ViewRig rig(scenario);
  views::CConfigTreeDlg& window = rig.Open();
  struct Case {
    std::uint32_t channel;
    QStringList values;  // 1215, 1218, 1220, 1222, 1224, 1226
    bool group;
  };
  const Case cases[] = {
      {0, {"Generation 1 (1.5 Gb/s)", "", "", "", "", ""}, false},
      {1, {"Generation 1 (1.5 Gb/s)", "1095", "3726", "5", "B", "3"}, true},
      {2, {"", "", "", "", "", ""}, false},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(window.SelectNode(NodeRef::Channel(0, c.channel)));
    QWidget* page = ActivePage(window);
    QStringList values;
    for (unsigned id : {1215u, 1218u, 1220u, 1222u, 1224u, 1226u}) values << Text(page, id);
    EXPECT_EQ(values, c.values) << c.channel;
    EXPECT_EQ(platform_qt::FindById<QGroupBox>(page, 1216)->isEnabled(), c.group);
    EXPECT_EQ(platform_qt::FindById<QLabel>(page, 1217)->isEnabled(), c.group);
  }
}

TEST(ChannelPage, AddressesAndRefreshResetsTheBusThenRebuildsTheBranch) {
  sim::Scenario scenario = QuietScenario();
  scenario.adapters.erase(scenario.adapters.begin());  // no extended adapter left
  ViewRig rig(scenario);
  views::CConfigTreeDlg& window = rig.Open();
  ASSERT_TRUE(window.SelectNode(NodeRef::Channel(0, 1)));
  QWidget* page = ActivePage(window);
  ASSERT_EQ(window.Sheet()->ActivePage()->TemplateId(), 1009u);
  ctl::ChannelRecord channel = rig.io->Model().Adapter(0)->channels[1];
  EXPECT_EQ(Text(page, 1325), platform_qt::ToQString(channel.ideBase));
  EXPECT_EQ(Text(page, 1328), platform_qt::ToQString(channel.altBase));
  EXPECT_EQ(Text(page, 1332), platform_qt::ToQString(channel.dmaBase));

  // The model lost the secondary channel's device; a reset that fails still
  // rebuilds the branch from a fresh read.
  rig.Edit([](ctl::ConfigurationModel& m) { m.Adapter(0)->channels[1].flags = 0; });
  window.RebuildAdapterBranchFromModel(0);
  EXPECT_EQ(window.ItemOf(NodeRef::Device(0, 1, 0)), nullptr);
  rig.Sim().Driver()->InjectFault({0, "ResetBus", sim::FaultKind::CallFails, 31, 1});
  auto* refresh = platform_qt::FindById<QPushButton>(ActivePage(window), 1420);
  ASSERT_NE(refresh, nullptr);
  EXPECT_TRUE(refresh->isEnabled());
  refresh->click();
  EXPECT_NE(window.ItemOf(NodeRef::Device(0, 1, 0)), nullptr);
  EXPECT_EQ(window.CurrentNode(), NodeRef::Channel(0, 1));
}

// ---- Events page -----------------------------------------------------------

struct EventsRig {
  ViewRig rig;
  std::filesystem::path path;
  views::CConfigTreeDlg* window = nullptr;

  EventsRig() {
    path = std::filesystem::temp_directory_path() /
           ("kestrune-events-" + std::to_string(::getpid()) + ".txt");
    std::filesystem::remove(path);
    rig.settings->SetLogFileLocation(platform::FromUtf8(path.parent_path().string() + "/"));
    rig.settings->SetLogFileName(platform::FromUtf8(path.filename().string()));
  }
  ~EventsRig() { std::filesystem::remove(path); }

  void Write(const std::string& utf8, bool bom = true) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (bom) out.write("\xFF\xFE", 2);
    for (wchar_t c : platform::FromUtf8(utf8)) {
      const char bytes[2] = {static_cast<char>(c & 0xFF), static_cast<char>((c >> 8) & 0xFF)};
      out.write(bytes, 2);
    }
  }
  // Shows the Events tab (the root's second page) and answers its rows.
  QStringList Rows() {
    if (window == nullptr) window = &rig.Open();
    window->SelectNode(NodeRef::Computer());
    window->Sheet()->SetActivePage(1);
    return Shown();
  }
  QStringList Shown() {
    auto* list = platform_qt::FindById<QTableView>(window->Sheet()->ActivePage(), 1386);
    QStringList rows;
    QAbstractItemModel* model = list->model();
    if (model->columnCount() != 1) rows << QStringLiteral("<columns %1>").arg(model->columnCount());
    for (int r = 0; r < model->rowCount(); ++r) rows << model->index(r, 0).data().toString();
    return rows;
  }
};

TEST(EventsPage, NewestFirstTabsAsBlanksRebuiltOnEveryActivation) {
  EventsRig events;
  events.rig.settings->SetLogFileEnabled(L"TRUE");
  events.Write("A\r\nB1\nB2\r\n01-May-2026 10:00.00\tC\r\n");
  const QStringList expected = {"01-May-2026 10:00.00 C", "B2", "B1", "A"};
  EXPECT_EQ(events.Rows(), expected);
  auto* list = platform_qt::FindById<QTableView>(events.window->Sheet()->ActivePage(), 1386);
  EXPECT_EQ(list->model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("Events"));
  EXPECT_EQ(list->horizontalHeader()->sectionSize(0), 700);
  // Away and back: one column, the same rows, read anew.
  events.window->Sheet()->SetActivePage(0);
  EXPECT_EQ(list->model()->rowCount(), 0);
  EXPECT_EQ(events.Rows(), expected);
  // What the logger appends while the page is shown comes on top at its
  // next exchange.
  evt::WriteLogEntry(platform::FromUtf8(events.path.string()), L"D\n", true);
  events.window->ExchangeActivePageData();
  EXPECT_EQ(events.Shown().front(), QStringLiteral("D"));
  EXPECT_EQ(events.Shown().size(), 5);
}

TEST(EventsPage, EmptyFileMissingFileAndFileWithoutMark) {
  struct Case {
    const char* name;
    const char* enabled;
    std::optional<std::string> content;
    bool bom;
    QStringList rows;
  };
  const Case cases[] = {
      {"only the mark", "TRUE", "", true, {}},
      {"missing, logging on",
       "true",
       std::nullopt,
       true,
       {"Could not open log file. Error code 0x2."}},
      {"missing, logging off", "FALSE", std::nullopt, true, {}},
      {"no mark, bare CR", "TRUE", "X\rY", false, {"Y", "X"}},
  };
  for (const Case& c : cases) {
    EventsRig events;
    events.rig.settings->SetLogFileEnabled(platform::FromUtf8(c.enabled));
    if (c.content) events.Write(*c.content, c.bom);
    EXPECT_EQ(events.Rows(), c.rows) << c.name;
  }
}

TEST(EventsPage, EndAndHomeGoToTheLastAndFirstRowAndALongEntryInViewCanBeScrolledTo) {
  EventsRig events;
  // The oldest entry, shown last, is far wider than the column.
  const std::string longEntry = "01-May-2026 10:00.00\t" + std::string(300, 'W');
  std::string file = longEntry + "\r\n";
  for (int i = 0; i < 200; ++i) file += "entry " + std::to_string(i) + "\r\n";
  events.Write(file);
  ASSERT_EQ(events.Rows().size(), 201);
  auto* list = platform_qt::FindById<QTableView>(events.window->Sheet()->ActivePage(), 1386);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->columnWidth(0), 700);  // the long entry is not in view yet
  const struct {
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    int row;
  } keys[] = {{Qt::Key_End, Qt::NoModifier, 200},
              {Qt::Key_Home, Qt::NoModifier, 0},
              {Qt::Key_End, Qt::ControlModifier, 200},
              {Qt::Key_Home, Qt::ShiftModifier, 0}};
  for (const auto& k : keys) {
    QTest::keyClick(list, k.key, k.modifiers);
    EXPECT_EQ(list->currentIndex().row(), k.row) << k.key << " " << k.modifiers;
  }
  // At the end the long entry was in view: the column took its width, and
  // the list scrolls sideways to it.
  const QString shown = list->model()->index(200, 0).data().toString();
  EXPECT_GE(list->columnWidth(0), list->fontMetrics().horizontalAdvance(shown));
  EXPECT_GT(list->horizontalScrollBar()->maximum(), 0);
  // Shown anew: 700 again until a wider row is in view.
  events.window->Sheet()->SetActivePage(0);
  events.window->Sheet()->SetActivePage(1);
  EXPECT_EQ(list->columnWidth(0), 700);
}

TEST(EventsPage, OpenFailuresGiveTheirCauseCodes) {
  const std::pair<int, unsigned> cases[] = {{ENOENT, 2}, {ENOTDIR, 3}, {EMFILE, 4}, {EACCES, 5},
                                            {EINVAL, 5}, {EBUSY, 11},  {EIO, 1}};
  for (const auto& [error, cause] : cases) EXPECT_EQ(views::LogOpenCause(error), cause) << error;
}

}  // namespace
}  // namespace kestrune::test
