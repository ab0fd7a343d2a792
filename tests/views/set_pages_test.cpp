// The pages of the "Sets" node and of a set: RAID layer version, the set's
// description and rebuild rate, its members with their live rebuild, Remove,
// "Stop Rebuild" and the hot-spare choice.
#include <gtest/gtest.h>

#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTreeWidget>
#include <chrono>

#include "controller/wire.h"
#include "resources/language_module.h"
#include "resources/string_ids.h"
#include "simulator/driver.h"
#include "simulator/simulator.h"
#include "view_rig.h"
#include "views/prop_page_array_mbrs.h"
#include "views/set_texts.h"

namespace kestrune::test {
namespace {

using views::NodeRef;
namespace code = ctl::wire::code;
const std::string kRio = "QMX_RIO ";

// Adapter 0 with two devices a channel: set 0 mirrored striped over the
// disks at device indexes 0, 2, 4 and 6, set 1 striped over 1 and 3.
sim::Scenario TwoSetMachine() {
  sim::Scenario scenario = QuietScenario();
  sim::AdapterSpec& a = scenario.adapters[0];
  a.devicesPerChannel = 2;
  for (std::uint8_t c : {0, 1}) {
    sim::DiskSpec disk = a.disks[0];
    disk.channel = c;
    disk.device = 1;
    disk.serial += std::to_string(c);
    a.disks.push_back(disk);
  }
  a.spares.clear();
  sim::SetSpec both;
  both.type = sim::SetType::MirroredStriped;
  both.rebuildRate = 30;
  both.spareEnabled = true;
  both.members = {{0, 0}, {2, 1}, {4, 2}, {6, 3}};
  sim::SetSpec striped;
  striped.type = sim::SetType::Striped;
  striped.members = {{1, 0}, {3, 1}};
  a.sets = {both, striped};
  return scenario;
}

QWidget* Show(views::CConfigTreeDlg& window, const NodeRef& node, unsigned templateId) {
  if (!(window.CurrentNode() == node)) {
    EXPECT_TRUE(window.SelectNode(node));
  }
  views::CNodePage* page = window.Sheet()->PageByTemplate(templateId);
  EXPECT_NE(page, nullptr) << templateId;
  window.Sheet()->SetActivePage(page);
  return page;
}

views::CPropPageArrayMbrs* Members(views::CConfigTreeDlg& window, const NodeRef& node) {
  return static_cast<views::CPropPageArrayMbrs*>(Show(window, node, 1015));
}

QTreeWidget* List(QWidget* page) {
  return platform_qt::FindById<QTreeWidget>(page, 1384);
}

using Lines = std::vector<std::string>;

// Every row as its cells joined by "|".
Lines Rows(QWidget* page) {
  Lines rows;
  QTreeWidget* list = List(page);
  for (int r = 0; r < list->topLevelItemCount(); ++r) {
    QStringList cells;
    for (int c = 0; c < list->columnCount(); ++c) cells << list->topLevelItem(r)->text(c);
    rows.push_back(cells.join('|').toStdString());
  }
  return rows;
}

Lines Headers(QWidget* page) {
  Lines titles;
  QTreeWidget* list = List(page);
  for (int c = 0; c < list->columnCount(); ++c)
    titles.push_back(list->headerItem()->text(c).toStdString());
  return titles;
}

QPushButton* Button(QWidget* page, unsigned id) {
  return platform_qt::FindById<QPushButton>(page, id);
}

QString Text(QWidget* page, unsigned id) {
  return platform_qt::FindById<QLabel>(page, id)->text();
}

// The first two payload bytes of the requests sent with this code.
std::vector<std::vector<std::uint8_t>> Sent(ViewRig& rig, std::uint32_t request) {
  std::vector<std::vector<std::uint8_t>> heads;
  for (const auto& sent : rig.watched->SentRequests()) {
    if (sent.signature != kRio || sent.code != request) continue;
    heads.emplace_back(sent.head.begin(),
                       sent.head.begin() + std::min<std::size_t>(2, sent.head.size()));
  }
  return heads;
}

std::vector<std::uint8_t> Head2(std::uint8_t a, std::uint8_t b) {
  return {a, b};
}

// ---- texts -----------------------------------------------------------------

TEST(SetTexts, MemberLabelsAndTheMemberIndexRemoveNames) {
  struct Case {
    ctl::SetKind type;
    std::uint8_t position;
    const wchar_t* label;
    std::optional<std::uint8_t> index;  // what Remove sends; none: not removable
  };
  using K = ctl::SetKind;
  const Case cases[] = {
      {K::kStriped, 0, L"Striped0", std::nullopt},
      {K::kStriped, 3, L"Striped3", std::nullopt},
      {K::kMirrored, 0, L"Mirror0", 0},
      {K::kMirrored, 1, L"Mirror1", 1},
      {K::kMirroredStriped, 0, L"Mirror0 Striped0", 0},
      {K::kMirroredStriped, 1, L"Mirror0 Striped1", 1},
      {K::kMirroredStriped, 2, L"Mirror1 Striped0", 2},
      {K::kMirroredStriped, 3, L"Mirror1 Striped1", 3},
      {K::kUnknown, 2, L"2", std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(views::MemberLabel(c.type, c.position), c.label) << c.label;
    EXPECT_EQ(views::MemberIndexOfLabel(c.type, c.label), c.index) << c.label;
  }
  // Labels of another shape name no member.
  for (const wchar_t* label : {L"", L"Mirror", L"MirrorX", L"Striped1", L"Mirror1 Striped0"})
    EXPECT_EQ(views::MemberIndexOfLabel(K::kMirrored, label), std::nullopt) << label;
  for (const wchar_t* label : {L"Mirror1", L"Mirror1 Striped2", L"Mirror2 Striped0"})
    EXPECT_EQ(views::MemberIndexOfLabel(K::kMirroredStriped, label), std::nullopt) << label;

  EXPECT_EQ(views::MemberLocation(true, 3), L"Channel 3");
  const wchar_t* old[] = {L"PrimaryMaster", L"PrimarySlave", L"SecondaryMaster", L"SecondarySlave"};
  for (std::uint8_t d = 0; d < 4; ++d) EXPECT_EQ(views::MemberLocation(false, d), old[d]);
}

TEST(SetTexts, RowsSkipRemovedMembersAndNeverReadPastTheRecord) {
  ctl::SetRecord set;
  set.type = L"Mirrored Striped Set";
  set.kind = ctl::SetKind::kMirroredStriped;
  set.memberCount = 200;  // a damaged reply
  using S = ctl::MemberStatus;
  const struct {
    const wchar_t* text;
    S status;
  } states[] = {{L"Current", S::kCurrent},
                {L"Removed", S::kRemoved},
                {L"Rebuild", S::kRebuild},
                {L"Sync", S::kSync}};
  for (std::uint8_t i = 0; i < 4; ++i) {
    set.members[i] = {states[i].text, i, i, L"37 %", states[i].status};
  }
  const std::vector<views::MemberRow> rows = views::MemberRows(set, true);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].rebuild, L"");
  EXPECT_EQ(rows[1].label, L"Mirror1 Striped0");
  EXPECT_EQ(rows[1].rebuild, L"37 %");
  EXPECT_EQ(rows[2].rebuild, L"37 %");
  EXPECT_TRUE(rows[2].rebuilding);
  for (auto& member : set.members) member.status = S::kRemoved;
  EXPECT_TRUE(views::MemberRows(set, true).empty());
}

// ---- Set Control -----------------------------------------------------------

TEST(SetControlPage, RioVersionAndConflictsReadOnEachActivation) {
  sim::Scenario scenario = QuietScenario();
  scenario.adapters[0].rioMajor = 3;
  scenario.adapters[0].rioMinor = 7;
  scenario.adapters[0].arrayConflicts = true;
  ViewRig rig(scenario);
  views::CConfigTreeDlg& window = rig.Open();
  QWidget* page = Show(window, NodeRef::Sets(0), 1013);
  EXPECT_EQ(Text(page, 1369), QStringLiteral("3"));
  EXPECT_EQ(Text(page, 1372), QStringLiteral("7"));
  EXPECT_EQ(Text(page, 1438), QStringLiteral("Yes"));
  EXPECT_EQ(window.Sheet()->ActivePage()->Caption(), QStringLiteral("Set Control"));

  // A record never read and a query that fails: "UNKNOWN" stays.
  rig.Edit([](ctl::ConfigurationModel& m) {
    ctl::AdapterRecord& a = *m.Adapter(0);
    a.rioMajorText = a.rioMinorText = a.arrayConflicts = ctl::kUnknown;
  });
  rig.Sim().Driver()->InjectFault({0, "QueryRioVersion", sim::FaultKind::CallFails, 31, -1});
  ASSERT_TRUE(window.SelectNode(NodeRef::Adapter(0)));
  page = Show(window, NodeRef::Sets(0), 1013);
  for (unsigned id : {1369u, 1372u, 1438u}) EXPECT_EQ(Text(page, id), QStringLiteral("UNKNOWN"));
}

// ---- Set -------------------------------------------------------------------

TEST(SetPage, StripeSizeOrRebuildRateByTheKindOfSet) {
  ViewRig rig(TwoSetMachine());
  views::CConfigTreeDlg& window = rig.Open();
  QWidget* page = Show(window, NodeRef::Set(0, 0), 1014);
  auto* slider = platform_qt::FindById<QSlider>(page, 1189);
  EXPECT_EQ(platform_qt::FindById<QGroupBox>(page, 1359)->title(), QStringLiteral("Set Number 0"));
  EXPECT_EQ(Text(page, 1371), QStringLiteral("Mirrored Striped Set"));
  EXPECT_EQ(Text(page, 1374), QStringLiteral("4"));
  EXPECT_EQ(Text(page, 1456).trimmed(), QStringLiteral("BV RAID SET"));
  for (unsigned id : {1214u, 1212u, 1189u, 1213u, 1376u})
    EXPECT_FALSE(platform_qt::FindById<QWidget>(page, id)->isHidden()) << id;
  for (unsigned id : {1368u, 1375u})
    EXPECT_TRUE(platform_qt::FindById<QWidget>(page, id)->isHidden());
  EXPECT_EQ(slider->minimum(), 0);
  EXPECT_EQ(slider->maximum(), 100);
  EXPECT_EQ(slider->tickInterval(), 10);
  EXPECT_EQ(slider->value(), 30);
  EXPECT_FALSE(Button(page, 1376)->isEnabled());

  page = Show(window, NodeRef::Set(0, 1), 1014);
  EXPECT_EQ(platform_qt::FindById<QGroupBox>(page, 1359)->title(), QStringLiteral("Set Number 1"));
  EXPECT_EQ(Text(page, 1375), QStringLiteral("65536 BYTES"));
  for (unsigned id : {1214u, 1212u, 1189u, 1213u, 1376u})
    EXPECT_TRUE(platform_qt::FindById<QWidget>(page, id)->isHidden()) << id;
  EXPECT_FALSE(platform_qt::FindById<QWidget>(page, 1375)->isHidden());
}

TEST(SetPage, ApplyStoresTheRateAndARefusalPutsTheSliderBack) {
  ViewRig rig;
  views::CConfigTreeDlg& window = rig.Open();
  QWidget* page = Show(window, NodeRef::Set(0, 0), 1014);
  auto* slider = platform_qt::FindById<QSlider>(page, 1189);
  QPushButton* apply = Button(page, 1376);
  ASSERT_EQ(slider->value(), 50);
  slider->triggerAction(QAbstractSlider::SliderPageStepAdd);  // keyboard or a click beside it
  EXPECT_TRUE(apply->isEnabled());
  slider->setValue(80);
  apply->click();
  EXPECT_EQ(Sent(rig, code::kSetRebuildRate).back(), Head2(0, 80));
  EXPECT_EQ(rig.io->Model().Adapter(0)->sets[0].rebuildRate, 80u);
  EXPECT_FALSE(apply->isEnabled());
  EXPECT_EQ(rig.ui->MessageCount(), 0u);

  rig.Sim().Driver()->InjectFault({0, "SetRebuildRate", sim::FaultKind::Status, 2, 1});
  slider->setValue(20);
  emit slider->sliderReleased();
  apply->click();
  EXPECT_EQ(Sent(rig, code::kSetRebuildRate).back(), Head2(0, 20));
  ASSERT_EQ(rig.ui->MessageCount(), 1u);
  EXPECT_EQ(rig.ui->LastMessage()->caption, L"Set Rebuild Rate");
  EXPECT_EQ(slider->value(), 80);
  EXPECT_EQ(rig.io->Model().Adapter(0)->sets[0].rebuildRate, 80u);

  // The set slot is gone: nothing is sent, the slider goes back.
  rig.Edit([](ctl::ConfigurationModel& m) { m.Adapter(0)->setCount = 0; });
  slider->setValue(60);
  apply->click();
  EXPECT_EQ(Sent(rig, code::kSetRebuildRate).size(), 2u);
  EXPECT_EQ(slider->value(), 80);
}

// ---- Members ---------------------------------------------------------------

TEST(MembersPage, LabelsColumnsAndRemoveForEachKindOfSet) {
  ViewRig rig(TwoSetMachine());
  views::CConfigTreeDlg& window = rig.Open();
  QWidget* page = Members(window, NodeRef::Set(0, 0));
  EXPECT_EQ(Headers(page), Lines({"Mbr Idx", "Dev Loc", "State  ", "Rebuild"}));
  EXPECT_EQ(Rows(page),
            Lines({"Mirror0 Striped0|Channel 0|Current|", "Mirror0 Striped1|Channel 2|Current|",
                   "Mirror1 Striped0|Channel 4|Current|", "Mirror1 Striped1|Channel 6|Current|"}));
  QPushButton* remove = Button(page, 1419);
  EXPECT_FALSE(remove->isEnabled());
  List(page)->setCurrentItem(List(page)->topLevelItem(2));
  ASSERT_TRUE(remove->isEnabled());
  remove->click();
  // Mirror 1, stripe 0 is member 2; the page is filled again from a full read.
  EXPECT_EQ(Sent(rig, code::kRemoveMember), std::vector<std::vector<std::uint8_t>>{Head2(0, 2)});
  EXPECT_EQ(Rows(page),
            Lines({"Mirror0 Striped0|Channel 0|Current|", "Mirror0 Striped1|Channel 2|Current|",
                   "Mirror1 Striped1|Channel 6|Current|"}));
  EXPECT_FALSE(remove->isEnabled());

  // A striped set: no "Rebuild" column, and "Remove" stays unavailable.
  page = Members(window, NodeRef::Set(0, 1));
  EXPECT_EQ(Headers(page), Lines({"Mbr Idx", "Dev Loc", "State  "}));
  EXPECT_EQ(Rows(page), Lines({"Striped0|Channel 1|Current", "Striped1|Channel 3|Current"}));
  List(page)->setCurrentItem(List(page)->topLevelItem(1));
  EXPECT_FALSE(Button(page, 1419)->isEnabled());
}

// A translation may make two labels alike (here it leaves out the stripe
// number): Remove still names the member of the row chosen.
TEST(MembersPage, RemoveNamesTheChosenRowsMemberUnderATranslatedModule) {
  struct ModuleScope {
    ModuleScope() {
      res::SetModule(std::make_shared<const res::LanguageModule>(res::ParseLanguageModule(
          std::to_string(res::kStrMemberMirrorStriped) + "\tSpiegelpaar %d\n")));
    }
    ~ModuleScope() { res::SetModule(nullptr); }
  } translated;
  ViewRig rig(TwoSetMachine());
  views::CConfigTreeDlg& window = rig.Open();
  QWidget* page = Members(window, NodeRef::Set(0, 0));
  ASSERT_EQ(List(page)->topLevelItemCount(), 4);
  EXPECT_EQ(List(page)->topLevelItem(3)->text(0), QStringLiteral("Spiegelpaar 1"));
  List(page)->setCurrentItem(List(page)->topLevelItem(3));
  Button(page, 1419)->click();
  EXPECT_EQ(Sent(rig, code::kRemoveMember), std::vector<std::vector<std::uint8_t>>{Head2(0, 3)});
}

TEST(MembersPage, RemoveWithoutASelectionOrASetThatIsGone) {
  ViewRig rig;
  views::CConfigTreeDlg& window = rig.Open();
  QWidget* page = Members(window, NodeRef::Set(0, 0));
  QTreeWidget* list = List(page);
  list->setCurrentItem(list->topLevelItem(1));
  list->clearSelection();  // "Remove" stays available, as after a click beside the rows
  Button(page, 1419)->click();
  ASSERT_EQ(rig.ui->MessageCount(), 1u);
  const platform::RecordedMessage box = *rig.ui->LastMessage();
  EXPECT_EQ(box.text, L"Please select a member first.");
  EXPECT_EQ(box.caption, L"Delete Member");
  EXPECT_EQ(box.icon, platform::MsgIcon::Error);

  // The set slot went away (a re-read found none): nothing is removed, and
  // the full read that follows brings it back.
  list->setCurrentItem(list->topLevelItem(1));
  rig.Edit([](ctl::ConfigurationModel& m) { m.Adapter(0)->setCount = 0; });
  Button(page, 1419)->click();
  EXPECT_TRUE(Sent(rig, code::kRemoveMember).empty());
  EXPECT_EQ(Rows(page).size(), 2u);
  EXPECT_EQ(rig.ui->MessageCount(), 1u);

  // A refresh that finds no set empties the list; the next one fills it.
  auto* members = static_cast<views::CPropPageArrayMbrs*>(page);
  rig.Sim().Driver()->InjectFault({0, "QuerySets", sim::FaultKind::ReplyCount, 0, 1});
  members->Refresh();
  EXPECT_TRUE(Rows(page).empty());
  members->Refresh();
  EXPECT_EQ(Rows(page), Lines({"Mirror0|Channel 0|Current|", "Mirror1|Channel 1|Current|"}));
}

TEST(MembersPage, RemovedMembersAreNotListed) {
  ViewRig rig;
  views::CConfigTreeDlg& window = rig.Open();
  rig.Edit([](ctl::ConfigurationModel& m) {
    m.Adapter(0)->sets[0].members[0].status = ctl::MemberStatus::kRemoved;
  });
  QWidget* page = Members(window, NodeRef::Set(0, 0));
  EXPECT_EQ(Rows(page), Lines({"Mirror1|Channel 1|Current|"}));
  rig.Edit([](ctl::ConfigurationModel& m) {
    m.Adapter(0)->sets[0].members[1].status = ctl::MemberStatus::kRemoved;
  });
  window.ShowPage(1015);
  EXPECT_TRUE(Rows(page).empty());
  EXPECT_EQ(Headers(page).size(), 4u);
}

TEST(MembersPage, RebuildClimbsUnderVirtualTimeWhileThePageIsShown) {
  sim::Scenario scenario = QuietScenario();
  scenario.adapters[0].sets[0].members[1].state = sim::MemberState::Rebuild;
  scenario.adapters[0].sets[0].members[1].rebuildPercent = 10;
  ViewRig rig(scenario);  // a full rebuild at rate 50 takes 20 s: 5 % a second
  rig.settings->SetDebugModeEnabled(L"TRUE");
  views::CConfigTreeDlg& window = rig.Open();
  views::CPropPageArrayMbrs* page = Members(window, NodeRef::Set(0, 0));
  EXPECT_FALSE(Button(page, 1420)->isHidden());
  EXPECT_TRUE(page->RefreshRunning());
  EXPECT_EQ(page->RefreshInterval(), 3000);
  EXPECT_EQ(Rows(page), Lines({"Mirror0|Channel 0|Current|", "Mirror1|Channel 1|Rebuild|10 %"}));
  List(page)->setCurrentItem(List(page)->topLevelItem(1));

  rig.clock->Advance(std::chrono::seconds(3));
  page->Refresh();
  EXPECT_EQ(Rows(page).back(), std::string("Mirror1|Channel 1|Rebuild|25 %"));
  rig.clock->Advance(std::chrono::seconds(3));
  page->Refresh();
  EXPECT_EQ(Rows(page).back(), std::string("Mirror1|Channel 1|Rebuild|40 %"));
  // The selection stays on its member.
  EXPECT_EQ(List(page)->currentItem(), List(page)->topLevelItem(1));
  rig.clock->Advance(std::chrono::seconds(30));
  page->Refresh();
  EXPECT_EQ(Rows(page).back(), std::string("Mirror1|Channel 1|Current|"));
  EXPECT_TRUE(Button(page, 1420)->isHidden());  // nothing left to stop

  // Another tab stops the refresh; coming back starts it again.
  window.Sheet()->SetActivePage(0);
  EXPECT_FALSE(page->RefreshRunning());
  Members(window, NodeRef::Set(0, 0));
  EXPECT_TRUE(page->RefreshRunning());
}

TEST(MembersPage, ADiskDroppedOnTheSetIsANewRowAfterOneRefresh) {
  sim::Scenario scenario = QuietScenario();
  scenario.adapters[0].sets[0].members[1].state = sim::MemberState::Removed;
  scenario.adapters[0].spares.clear();  // the disk of channel 2 is free and large enough
  ViewRig rig(scenario);
  views::CConfigTreeDlg& window = rig.Open();
  ASSERT_TRUE(window.SelectNode(NodeRef::Set(0, 0)));
  if (QGuiApplication::platformName() == QStringLiteral("offscreen"))
    GTEST_SKIP() << "no drag loop on this platform";
  QWidget* viewport = window.Tree()->viewport();
  MouseDrag(viewport, window.IconAndLabelRect(window.ItemOf(NodeRef::Device(0, 2, 0))).center(),
            viewport->mapFromGlobal(window.Sheet()->mapToGlobal(window.Sheet()->rect().center())));
  ASSERT_EQ(window.Sheet()->ActivePage()->TemplateId(), 1015u);
  auto* page = static_cast<views::CPropPageArrayMbrs*>(window.Sheet()->ActivePage());
  EXPECT_EQ(Rows(page), Lines({"Mirror0|Channel 0|Current|"}));
  List(page)->setCurrentItem(List(page)->topLevelItem(0));
  rig.clock->Advance(std::chrono::seconds(3));
  page->Refresh();
  EXPECT_EQ(Rows(page), Lines({"Mirror0|Channel 0|Current|", "Mirror1|Channel 2|Rebuild|15 %"}));
  EXPECT_EQ(List(page)->currentItem(), List(page)->topLevelItem(0));
}

TEST(MembersPage, StopRebuildOnlyInDebugModeWhileAMemberRebuildsAndSaysItCannot) {
  using S = ctl::MemberStatus;
  struct Case {
    const wchar_t* debug;
    const wchar_t* state;
    S status;
    bool shown;
  };
  const Case cases[] = {
      {L"TRUE", L"Rebuild", S::kRebuild, true},   {L"true", L"Sync", S::kSync, true},
      {L"FALSE", L"Rebuild", S::kRebuild, false}, {L"", L"Rebuild", S::kRebuild, false},
      {L"TRUE", L"Current", S::kCurrent, false},  {L"TRUE", L"Dropped", S::kDropped, false},
  };
  ViewRig rig;
  views::CConfigTreeDlg& window = rig.Open();
  for (const Case& c : cases) {
    rig.settings->SetDebugModeEnabled(c.debug);
    rig.Edit([&](ctl::ConfigurationModel& m) {
      m.Adapter(0)->sets[0].members[1].state = c.state;
      m.Adapter(0)->sets[0].members[1].status = c.status;
    });
    QWidget* page = Members(window, NodeRef::Set(0, 0));
    window.ShowPage(1015);
    QPushButton* stop = Button(page, 1420);
    EXPECT_EQ(!stop->isHidden(), c.shown) << c.debug << c.state;
    EXPECT_EQ(stop->isEnabled(), c.shown) << c.debug << c.state;
  }
  // Shown, it sends nothing and says why.
  rig.settings->SetDebugModeEnabled(L"TRUE");
  rig.Edit([](ctl::ConfigurationModel& m) {
    m.Adapter(0)->sets[0].members[1].status = ctl::MemberStatus::kRebuild;
    m.Adapter(0)->sets[0].members[1].state = L"Rebuild";
  });
  window.ShowPage(1015);
  const std::size_t sent = rig.watched->SentRequests().size();
  Button(window.Sheet()->ActivePage(), 1420)->click();
  EXPECT_EQ(rig.watched->SentRequests().size(), sent);
  ASSERT_EQ(rig.ui->MessageCount(), 1u);
  EXPECT_EQ(rig.ui->LastMessage()->caption, L"Stop Rebuild");
  EXPECT_EQ(rig.ui->LastMessage()->text,
            L"This adapter cannot stop a rebuild.\nThe rebuild goes on until the member is current "
            L"again.");
}

// ---- SMART/Configuration ---------------------------------------------------

TEST(SmartPage, HotSpareChoiceSurvivesPageSwitchesAndFallsBack) {
  ViewRig rig;
  views::CConfigTreeDlg& window = rig.Open();
  QWidget* page = Show(window, NodeRef::Set(0, 0), 1027);
  auto* enabled = platform_qt::FindById<QRadioButton>(page, 1444);
  auto* disabled = platform_qt::FindById<QRadioButton>(page, 1448);
  QPushButton* apply = Button(page, 1381);
  EXPECT_TRUE(enabled->isChecked());
  EXPECT_FALSE(apply->isEnabled());

  disabled->click();
  EXPECT_TRUE(apply->isEnabled());
  apply->click();
  EXPECT_EQ(Sent(rig, code::kEnableSpare).back(), Head2(0, 0));
  Show(window, NodeRef::Set(0, 0), 1014);
  Show(window, NodeRef::Set(0, 0), 1027);
  EXPECT_TRUE(disabled->isChecked());

  // An unapplied change is dropped on leaving.
  enabled->click();
  Show(window, NodeRef::Set(0, 0), 1015);
  Show(window, NodeRef::Set(0, 0), 1027);
  EXPECT_TRUE(disabled->isChecked());

  // A refusal: the box of the request layer, and the set's own switch again.
  rig.Sim().Driver()->InjectFault({0, "EnableSpare", sim::FaultKind::Status, 2, 1});
  enabled->click();
  apply->click();
  EXPECT_EQ(Sent(rig, code::kEnableSpare).back(), Head2(0, 1));
  ASSERT_EQ(rig.ui->MessageCount(), 1u);
  EXPECT_EQ(rig.ui->LastMessage()->caption, L"Enable Spare");
  EXPECT_TRUE(disabled->isChecked());
  EXPECT_FALSE(apply->isEnabled());
  EXPECT_EQ(Text(page, 1453), QStringLiteral("Yes"));
}

TEST(SmartPage, OnlyAPlainMirrorHasItsSpareSwitchedHere) {
  ViewRig rig(TwoSetMachine());
  views::CConfigTreeDlg& window = rig.Open();
  // Mirrored striped with a spare enabled, striped without: shown, unchangeable.
  const std::pair<std::uint32_t, bool> cases[] = {{0, true}, {1, false}};
  for (const auto& [set, spare] : cases) {
    QWidget* page = Show(window, NodeRef::Set(0, set), 1027);
    auto* enabled = platform_qt::FindById<QRadioButton>(page, 1444);
    auto* disabled = platform_qt::FindById<QRadioButton>(page, 1448);
    EXPECT_FALSE(enabled->isEnabled()) << set;
    EXPECT_FALSE(disabled->isEnabled()) << set;
    EXPECT_EQ(enabled->isChecked(), spare) << set;
    EXPECT_FALSE(Button(page, 1381)->isEnabled()) << set;
  }
  EXPECT_TRUE(Sent(rig, code::kEnableSpare).empty());
}

}  // namespace
}  // namespace kestrune::test
