// The wizard's pages over the simulator, clicked as a user clicks them: the
// walk through the transition table, the controller list, the disk chooser,
// the spare drive path and the deletion path, with what reaches the system.
#include "wizard/wizard_pages.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTreeWidget>

#include "platform_qt/busy_wait_box.h"
#include "platform_qt/command_table.h"
#include "platform_qt/forms.h"
#include "platform_qt/qt_ui_services.h"
#include "resources/language_module.h"
#include "resources/strings.h"
#include "wizard_rig.h"

namespace kestrune::test {
namespace {

using P = wizard::WizardPage;
using B = QWizard::WizardButton;

// One extended adapter, 4 channels of 1 device: a mirrored set on channels 0
// and 1, a spare drive on channel 2, a free disk on channel 3.
sim::Scenario SetSpareAndFree() {
  sim::AdapterSpec a = ExtendedRaidAdapter(1);
  for (std::uint8_t c = 0; c < 4; ++c) a.disks.push_back(Disk(c, 0, "DISK " + std::to_string(c)));
  sim::SetSpec set;
  set.name = "BV MIRRORED SET";
  set.members = {{0, 0}, {1, 1}};
  a.sets.push_back(set);
  a.spares = {2};
  return ScenarioOf({a});
}

// One extended adapter with four free disks, one per channel.
sim::Scenario FreeDisks() {
  sim::AdapterSpec a = ExtendedRaidAdapter(1);
  for (std::uint8_t c = 0; c < 4; ++c) a.disks.push_back(Disk(c, 0, "DISK " + std::to_string(c)));
  return ScenarioOf({a});
}

// Two adapters: `first` then `second`, each with a disk.
sim::Scenario TwoAdapters(sim::AdapterSpec first, sim::AdapterSpec second) {
  first.disks.push_back(Disk(0, 0));
  second.disks.push_back(Disk(1, 0));
  return ScenarioOf({first, second});
}

sim::AdapterSpec ExtendedAt(std::uint32_t pciDevice) {
  sim::AdapterSpec a = ExtendedRaidAdapter(1);
  a.pciDevice = pciDevice;
  return a;
}

// From the welcome page to `target` on the shortest way (one adapter listed).
void WalkTo(WizardRig& rig, P target) {
  if (target == P::kWelcome) return;
  rig.Next();  // the action page
  if (target == P::kAction) return;
  if (target == P::kDelete) {
    rig.Control<QRadioButton>(1150)->setChecked(true);
    rig.Next();
    return;
  }
  rig.Next();  // set type
  if (target == P::kSetType) return;
  rig.Next();  // spare disks
  if (target == P::kSpareDisks) return;
  rig.Next();  // summary
  if (target == P::kSpareSummary) return;
  rig.Next();  // finish
}

TEST(WizardPages, SheetCaptionPagesHeadersAndBitmaps) {
  WizardRig rig(FreeDisks());
  wizard::CWizardRaid& w = rig.Open();
  EXPECT_EQ(w.windowTitle(), QStringLiteral("RAID Wizard"));
  EXPECT_EQ(w.pageIds(), (QList<int>{0, 1, 2, 3, 4, 5, 6, 7}));
  EXPECT_FALSE(w.options().testFlag(QWizard::HaveHelpButton));
  const struct {
    P page;
    unsigned templateId;
    const char* title;
    const char* subtitle;
  } pages[] = {
      {P::kWelcome, 1050, "", ""},
      {P::kController, 1051, "Select Controller", "Select controller you would like to work on."},
      {P::kAction, 1052, "Select RAID Function", "Select Create or Delete RAID Set"},
      {P::kDelete, 1054, "Delete RAID Set or Spare Drive",
       "Select RAID Set or Spare Drive to delete"},
      {P::kSetType, 1053, "Create RAID Set or Spare Drive", "Select Raid Set Type to create"},
      {P::kSpareDisks, 1066, "Select RAID 1 Spare Disks",
       "Select Spare Disk(s) for Raid 1 Set(s) "},
      {P::kSpareSummary, 1067, "Create RAID 1 Set Spare Disks",
       "Spare disk(s) for RAID 1 Set(s) to be created"},
      {P::kFinish, 1070, "", ""},
  };
  for (const auto& p : pages) {
    QWizardPage* page = w.page(static_cast<int>(p.page));
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(platform_qt::TemplateIdOf(page), p.templateId);
    EXPECT_EQ(page->windowTitle(), QStringLiteral("RAID Configuration Wizard"));
    EXPECT_EQ(page->title(), QString::fromLatin1(p.title));
    EXPECT_EQ(page->subTitle(), QString::fromLatin1(p.subtitle));
    const bool exterior = p.page == P::kWelcome || p.page == P::kFinish;
    EXPECT_EQ(!page->pixmap(QWizard::WatermarkPixmap).isNull(), exterior) << p.templateId;
    EXPECT_FALSE(page->pixmap(QWizard::LogoPixmap).isNull());
  }
  // The title fonts.
  const QFont welcome =
      static_cast<wizard::CWizardWelcome*>(w.Page(P::kWelcome))->TitleLabel()->font();
  const QFont finish =
      static_cast<wizard::CWizardFinish*>(w.Page(P::kFinish))->TitleLabel()->font();
  EXPECT_EQ(welcome.family(), QStringLiteral("MS Sans Serif"));
  EXPECT_EQ(finish.family(), QStringLiteral("Arial"));
  for (const QFont& font : {welcome, finish}) {
    EXPECT_EQ(font.pixelSize(), 20);
    EXPECT_TRUE(font.bold());
  }
}

TEST(WizardPages, OneAdapterWalksTheTransitionTable) {
  WizardRig rig(SetSpareAndFree());
  rig.Open();
  ASSERT_EQ(rig.Page(), P::kWelcome);
  EXPECT_FALSE(rig.Enabled(B::BackButton));
  EXPECT_TRUE(rig.Enabled(B::NextButton));
  // The controller page is skipped, its steps run all the same.
  rig.Next();
  ASSERT_EQ(rig.Page(), P::kAction);
  EXPECT_TRUE(rig.Enabled(B::BackButton) && rig.Enabled(B::NextButton));
  EXPECT_EQ(rig.State().freeDisks.size(), 1u);
  EXPECT_EQ(rig.State().existingSpares.size(), 1u);
  EXPECT_TRUE(rig.wizard->ControllerPage()->List()->topLevelItem(0)->isSelected());
  EXPECT_TRUE(rig.Control<QRadioButton>(1151)->isChecked());
  EXPECT_FALSE(rig.Control<QRadioButton>(1150)->isChecked());
  rig.Back();
  ASSERT_EQ(rig.Page(), P::kWelcome);
  rig.Next();
  rig.Next();
  ASSERT_EQ(rig.Page(), P::kSetType);
  auto* types = rig.Control<QListWidget>(1157);
  ASSERT_EQ(types->count(), 1);
  EXPECT_EQ(types->item(0)->text(), QStringLiteral("Spare Drive"));
  EXPECT_TRUE(types->item(0)->isSelected());
  EXPECT_EQ(rig.Control<QLabel>(1158)->text(),
            QStringLiteral("The Spare Drive is reserved to replace a dropped mirror set member."));
  EXPECT_TRUE(rig.Enabled(B::BackButton) && rig.Enabled(B::NextButton));
  rig.Back();
  ASSERT_EQ(rig.Page(), P::kAction);
  rig.Next();
  // Each page forward, and Back returns to the page before it.
  const P forward[] = {P::kSetType, P::kSpareDisks, P::kSpareSummary};
  for (std::size_t i = 1; i < std::size(forward); ++i) {
    rig.Next();
    ASSERT_EQ(rig.Page(), forward[i]);
    EXPECT_TRUE(rig.Enabled(B::BackButton) && rig.Enabled(B::NextButton));
    EXPECT_FALSE(rig.Enabled(B::FinishButton));
    rig.Back();
    ASSERT_EQ(rig.Page(), forward[i - 1]);
    rig.Next();
    ASSERT_EQ(rig.Page(), forward[i]);
  }
  rig.Next();
  ASSERT_EQ(rig.Page(), P::kFinish);
  EXPECT_FALSE(rig.Enabled(B::BackButton));
  EXPECT_FALSE(rig.Enabled(B::NextButton));
  EXPECT_TRUE(rig.Enabled(B::FinishButton));
  rig.Finish();
  EXPECT_FALSE(rig.wizard->isVisible());
  EXPECT_EQ(rig.wizard->result(), QDialog::Accepted);

  // The deletion side: Back alone until a row is clicked, Back to the action page.
  WizardRig other(SetSpareAndFree());
  other.Open();
  WalkTo(other, P::kDelete);
  ASSERT_EQ(other.Page(), P::kDelete);
  EXPECT_TRUE(other.Enabled(B::BackButton));
  EXPECT_FALSE(other.Enabled(B::NextButton));
  EXPECT_FALSE(other.Button(B::FinishButton)->isEnabled());
  other.Back();
  ASSERT_EQ(other.Page(), P::kAction);
  EXPECT_TRUE(other.Control<QRadioButton>(1150)->isChecked());
}

TEST(WizardPages, TwoAdaptersFirstTwoPortChipSkippedAndBackReturns) {
  WizardRig rig(TwoAdapters(TwoPortAdapter(0x7210, 4), ExtendedAt(5)));
  rig.Open();
  EXPECT_EQ(rig.State().selectedAdapter, 1);
  rig.Next();
  ASSERT_EQ(rig.Page(), P::kController);
  QTreeWidget* list = rig.List(1149);
  EXPECT_EQ(WizardRig::Column(list, 0), (std::vector<std::wstring>{L"BV-7210", L"BV-7420"}));
  EXPECT_EQ(list->headerItem()->text(1), QStringLiteral("Bus Number"));
  EXPECT_TRUE(list->topLevelItem(1)->isSelected());
  EXPECT_TRUE(rig.Enabled(B::BackButton) && rig.Enabled(B::NextButton));
  rig.Next();
  ASSERT_EQ(rig.Page(), P::kAction);
  rig.Back();
  ASSERT_EQ(rig.Page(), P::kController);
  rig.Back();
  ASSERT_EQ(rig.Page(), P::kWelcome);
  EXPECT_EQ(rig.State().selectedAdapter, 1);
}

TEST(WizardPages, RefusedChipClickAndBackRestoresTheEarlierChoice) {
  WizardRig rig(TwoAdapters(ExtendedAt(4), TwoPortAdapter(0x7250, 5)));
  {
    ctl::CControllerIo::Lock lock(*rig.io);
    rig.io->Model().Adapter(1)->chipModel = L"bv-7250";
  }
  rig.Open();
  rig.Next();
  ASSERT_EQ(rig.Page(), P::kController);
  WizardRig::ClickRow(rig.List(1149), 1);
  ASSERT_EQ(rig.ui->MessageCount(), 1u);
  EXPECT_EQ(rig.ui->LastMessage()->text, L"Do not suppor RAID configuration for this controller.");
  EXPECT_EQ(rig.ui->LastMessage()->buttons, platform::MsgButtons::Ok);
  EXPECT_EQ(rig.State().selectedAdapter, 1);
  EXPECT_EQ(rig.State().freeDisks.size(), 1u);  // rebuilt for the refused adapter
  EXPECT_EQ(rig.State().freeDisks[0].channel, 1);
  EXPECT_TRUE(rig.Enabled(B::BackButton));
  EXPECT_FALSE(rig.Enabled(B::NextButton));
  rig.Back();
  ASSERT_EQ(rig.Page(), P::kWelcome);
  EXPECT_EQ(rig.State().selectedAdapter, 0);
}

TEST(WizardPages, ControllerListClicksOnTheEmptyPartAndTheKeyboard) {
  WizardRig rig(TwoAdapters(ExtendedAt(4), ExtendedAt(5)));
  rig.Open();
  rig.Next();
  QTreeWidget* list = rig.List(1149);
  WizardRig::ClickEmpty(list);
  EXPECT_EQ(rig.State().selectedAdapter, -1);
  EXPECT_TRUE(list->selectedItems().isEmpty());
  EXPECT_FALSE(rig.Enabled(B::NextButton));
  WizardRig::ClickRow(list, 1);
  EXPECT_EQ(rig.State().selectedAdapter, 1);
  EXPECT_TRUE(rig.Enabled(B::NextButton));
  // The choice follows a selection moved with the keyboard.
  list->setFocus();
  QTest::keyClick(list, Qt::Key_Up);
  QApplication::processEvents();
  EXPECT_TRUE(list->topLevelItem(0)->isSelected());
  EXPECT_EQ(rig.State().selectedAdapter, 0);
  EXPECT_EQ(rig.ui->MessageCount(), 0u);
}

TEST(WizardPages, ChooserKeepsDeviceIndexOrderAndOnlyClicksEnableItsButtons) {
  WizardRig rig(FreeDisks());
  rig.Open();
  WalkTo(rig, P::kSpareDisks);
  QTreeWidget* available = rig.List(1191);
  QTreeWidget* chosen = rig.List(1192);
  auto* select = rig.Control<QPushButton>(1196);
  auto* deselect = rig.Control<QPushButton>(1197);
  EXPECT_FALSE(select->isEnabled() || deselect->isEnabled());
  EXPECT_EQ(available->headerItem()->text(0), QStringLiteral("Location"));
  auto choose = [&](const wchar_t* location) {
    const auto texts = WizardRig::Column(available, 0);
    const auto at = std::find(texts.begin(), texts.end(), std::wstring(location));
    ASSERT_NE(at, texts.end());
    WizardRig::ClickRow(available, static_cast<int>(at - texts.begin()));
    ASSERT_TRUE(select->isEnabled());
    select->click();
    EXPECT_FALSE(select->isEnabled() || deselect->isEnabled());
  };
  choose(L"Channel 3");
  choose(L"Channel 0");
  choose(L"Channel 2");
  EXPECT_EQ(WizardRig::Column(chosen, 0),
            (std::vector<std::wstring>{L"Channel 0", L"Channel 2", L"Channel 3"}));
  EXPECT_EQ(WizardRig::Column(available, 0), std::vector<std::wstring>{L"Channel 1"});
  // The keyboard moves the selection but enables nothing.
  chosen->setFocus();
  QTest::keyClick(chosen, Qt::Key_Down);
  QApplication::processEvents();
  EXPECT_FALSE(deselect->isEnabled());
  WizardRig::ClickRow(chosen, 1);
  ASSERT_TRUE(deselect->isEnabled());
  deselect->click();
  EXPECT_EQ(WizardRig::Column(available, 0),
            (std::vector<std::wstring>{L"Channel 1", L"Channel 2"}));
  // A click below the rows selects nothing: Select stays off.
  WizardRig::ClickEmpty(available);
  EXPECT_FALSE(select->isEnabled());
  // Back and Next again: nothing chosen, every free disk offered.
  rig.Back();
  rig.Next();
  EXPECT_EQ(chosen->topLevelItemCount(), 0);
  EXPECT_EQ(available->topLevelItemCount(), 4);
}

TEST(WizardPages, SummaryCreatesSparesInDeviceIndexOrderThenEmptiesModelAndTree) {
  WizardRig rig(FreeDisks());
  rig.Open();
  WalkTo(rig, P::kSpareDisks);
  QTreeWidget* available = rig.List(1191);
  for (int row : {2, 0}) {  // channel 2, then channel 0
    WizardRig::ClickRow(available, row);
    rig.Control<QPushButton>(1196)->click();
  }
  rig.Next();
  ASSERT_EQ(rig.Page(), P::kSpareSummary);
  EXPECT_EQ(WizardRig::Column(rig.List(1198), 0),
            (std::vector<std::wstring>{L"Channel 0", L"Channel 2"}));
  EXPECT_EQ(rig.log->Changes(), 0u);
  rig.Next();
  ASSERT_EQ(rig.Page(), P::kFinish);
  const auto entries = rig.log->Entries();
  ASSERT_EQ(entries.size(), 4u);
  EXPECT_EQ(entries[0].rfind("remove ", 0), 0u);
  EXPECT_NE(entries[0].find("path0target0"), std::string::npos);
  EXPECT_EQ(entries[1], "CreateSpare 0");
  EXPECT_NE(entries[2].find("path2target0"), std::string::npos);
  EXPECT_EQ(entries[3], "CreateSpare 2");
  EXPECT_EQ(rig.treeRemovals, 1);
  EXPECT_EQ(rig.EntryCount(), 1u);
  EXPECT_EQ(rig.ui->MessageCount(), 0u);
}

TEST(WizardPages, SummaryWithNothingChosenStillEmptiesModelAndTree) {
  WizardRig rig(FreeDisks());
  rig.Open();
  WalkTo(rig, P::kSpareSummary);
  EXPECT_EQ(rig.List(1198)->topLevelItemCount(), 0);
  rig.Next();
  ASSERT_EQ(rig.Page(), P::kFinish);
  EXPECT_EQ(rig.log->Changes(), 0u);
  EXPECT_EQ(rig.treeRemovals, 1);
  EXPECT_EQ(rig.EntryCount(), 1u);
  // The logger finds the adapters again while the finish page is open.
  rig.io->Discover();
  EXPECT_EQ(rig.EntryCount(), 2u);
  rig.Finish();
  EXPECT_EQ(rig.wizard->result(), QDialog::Accepted);
}

TEST(WizardPages, RefusedCreateSpareShowsItsBoxAndTheRunGoesOn) {
  sim::Scenario scenario = FreeDisks();
  scenario.faults.push_back({0, "CreateSpare", sim::FaultKind::Status, 14, 1});
  WizardRig rig(std::move(scenario));
  rig.Open();
  WalkTo(rig, P::kSpareDisks);
  for (int i = 0; i < 2; ++i) {
    WizardRig::ClickRow(rig.List(1191), 0);
    rig.Control<QPushButton>(1196)->click();
  }
  rig.Next();
  rig.Next();
  ASSERT_EQ(rig.Page(), P::kFinish);
  EXPECT_EQ(rig.log->Count("CreateSpare"), 2u);
  ASSERT_EQ(rig.ui->MessageCount(), 1u);
  EXPECT_EQ(rig.ui->LastMessage()->caption, L"Create Spare Drives");
  EXPECT_EQ(rig.ui->LastMessage()->text, L"Device already in use.\nReturn code 14.");
}

TEST(WizardPages, AnExistingSpareIsListedOnlyOnTheDeletionPage) {
  WizardRig rig(SetSpareAndFree());
  rig.Open();
  WalkTo(rig, P::kSpareDisks);
  EXPECT_EQ(WizardRig::Column(rig.List(1191), 0), std::vector<std::wstring>{L"Channel 3"});
  rig.Back();
  rig.Back();
  rig.Control<QRadioButton>(1150)->setChecked(true);
  rig.Next();
  ASSERT_EQ(rig.Page(), P::kDelete);
  QTreeWidget* entries = rig.List(1152);
  EXPECT_EQ(entries->headerItem()->text(0), QStringLiteral("Raid Type"));
  EXPECT_EQ(WizardRig::Column(entries, 0),
            (std::vector<std::wstring>{L"Mirrored Set", L"Spare Drive"}));
  EXPECT_EQ(WizardRig::Column(entries, 1)[1], L"DISK 2");
  // Columns widen to their texts: the set's name is not cut.
  EXPECT_GT(entries->columnWidth(1),
            entries->fontMetrics().horizontalAdvance(QStringLiteral("BV MIRRORED SET")));
  EXPECT_EQ(rig.List(1153)->columnCount(), 0);
  WizardRig::ClickRow(entries, 1);
  QTreeWidget* members = rig.List(1153);
  EXPECT_EQ(WizardRig::Column(members, 0), std::vector<std::wstring>{L"Channel 2"});
  EXPECT_EQ(WizardRig::Column(members, 1), std::vector<std::wstring>{L"DISK 2"});
  EXPECT_TRUE(rig.Enabled(B::FinishButton));
  WizardRig::ClickRow(entries, 0);
  EXPECT_EQ(WizardRig::Column(members, 0), (std::vector<std::wstring>{L"Channel 0", L"Channel 1"}));
  EXPECT_EQ(rig.log->Changes(), 0u);
}

TEST(WizardPages, ListsShowWholeRowsAndTheSheetKeepsItsSizeOnEveryPage) {
  WizardRig rig(SetSpareAndFree());
  rig.Open();
  const QSize opening = rig.wizard->size();
  // A list is exactly so many rows high: none of them is ever cut.
  auto wholeRows = [&](unsigned id, int rows) {
    QTreeWidget* list = rig.List(id);
    ASSERT_NE(list, nullptr) << id;
    ASSERT_GT(list->topLevelItemCount(), 0) << id;
    const int row = list->visualItemRect(list->topLevelItem(0)).height();
    EXPECT_EQ(list->viewport()->height(), rows * row) << id;
  };
  const struct {
    P page;
    std::vector<std::pair<unsigned, int>> lists;
  } walk[] = {{P::kSpareDisks, {{1191, 4}}}, {P::kDelete, {{1152, 6}}}};
  for (const auto& step : walk) {
    SCOPED_TRACE(static_cast<int>(step.page));
    rig.wizard->restart();
    WalkTo(rig, step.page);
    ASSERT_EQ(rig.Page(), step.page);
    for (const auto& [id, rows] : step.lists) wholeRows(id, rows);
    if (step.page == P::kSpareDisks) {
      WizardRig::ClickRow(rig.List(1191), 0);
      rig.Control<QPushButton>(1196)->click();
      wholeRows(1192, 4);
      EXPECT_EQ(rig.wizard->size(), opening);
      rig.Next();
      ASSERT_EQ(rig.Page(), P::kSpareSummary);
      wholeRows(1198, 4);
    }
    if (step.page == P::kDelete) {
      WizardRig::ClickRow(rig.List(1152), 0);
      wholeRows(1153, 4);
    }
    EXPECT_EQ(rig.wizard->size(), opening);
  }
}

TEST(WizardPages, StripedSetWarningStaysUntilTheNextActivation) {
  sim::AdapterSpec a = ExtendedRaidAdapter(1);
  for (std::uint8_t c = 0; c < 4; ++c) a.disks.push_back(Disk(c, 0));
  sim::SetSpec striped;
  striped.type = sim::SetType::Striped;
  striped.members = {{0, 0}, {1, 1}};
  sim::SetSpec mirrored;
  mirrored.members = {{2, 0}, {3, 1}};
  a.sets = {striped, mirrored};
  WizardRig rig(ScenarioOf({a}));
  rig.Open();
  WalkTo(rig, P::kDelete);
  auto* warning = rig.Control<QLabel>(1154);
  auto* icon = rig.Control<QLabel>(1208);
  EXPECT_EQ(warning->text(),
            QStringLiteral("Warning: Original data will be destroyed permanently."));
  EXPECT_FALSE(warning->isVisible() || icon->isVisible());
  WizardRig::ClickRow(rig.List(1152), 0);
  EXPECT_TRUE(warning->isVisible() && icon->isVisible());
  WizardRig::ClickRow(rig.List(1152), 1);
  EXPECT_TRUE(warning->isVisible() && icon->isVisible());
  rig.Back();
  rig.Next();
  EXPECT_FALSE(warning->isVisible() || icon->isVisible());
}

// A language module that translates the set type names: the striped set's
// warning comes all the same (the wizard goes by the driver's code).
TEST(WizardPages, StripedSetWarningUnderATranslatedLanguageModule) {
  struct ModuleGuard {
    ModuleGuard() {
      res::SetModule(std::make_shared<const res::LanguageModule>(res::ParseLanguageModule(
          "2165\tStreifenverbund\n2166\tSpiegelverbund\n2167\tGespiegelter Streifenverbund\n")));
    }
    ~ModuleGuard() { res::SetModule(nullptr); }
  } german;
  ASSERT_EQ(res::LoadString(res::kStrRaidTypeStriped), L"Streifenverbund");
  sim::AdapterSpec a = ExtendedRaidAdapter(1);
  for (std::uint8_t c = 0; c < 4; ++c) a.disks.push_back(Disk(c, 0));
  sim::SetSpec striped;
  striped.type = sim::SetType::Striped;
  striped.members = {{0, 0}, {1, 1}};
  sim::SetSpec mirrored;
  mirrored.members = {{2, 0}, {3, 1}};
  a.sets = {mirrored, striped};
  WizardRig rig(ScenarioOf({a}));
  rig.Open();
  WalkTo(rig, P::kDelete);
  auto* warning = rig.Control<QLabel>(1154);
  ASSERT_NE(warning, nullptr);
  WizardRig::ClickRow(rig.List(1152), 0);
  EXPECT_FALSE(warning->isVisible());
  WizardRig::ClickRow(rig.List(1152), 1);
  EXPECT_TRUE(warning->isVisible());
}

TEST(WizardPages, DeletingTheSetAtSecondarySlaveRemovesChannel1Device1First) {
  sim::AdapterSpec a = ExtendedRaidAdapter(2);
  for (std::uint8_t c = 0; c < 2; ++c)
    for (std::uint8_t d = 0; d < 2; ++d) a.disks.push_back(Disk(c, d));
  sim::SetSpec set;
  set.members = {{0, 0}, {3, 1}};
  set.location = 3;
  a.sets = {set};
  WizardRig rig(ScenarioOf({a}));
  {
    ctl::CControllerIo::Lock lock(*rig.io);
    rig.io->Model().Adapter(0)->sets[0].locationText = L"Secondary Slave";
  }
  rig.Open();
  WalkTo(rig, P::kDelete);
  WizardRig::ClickRow(rig.List(1152), 0);
  rig.Finish();
  const auto entries = rig.log->Entries();
  ASSERT_GE(entries.size(), 2u);
  EXPECT_EQ(entries[0].rfind("remove ", 0), 0u);
  EXPECT_NE(entries[0].find("path1target1"), std::string::npos);
  EXPECT_EQ(entries[1], "DeleteSet 0");
  EXPECT_GE(rig.log->Count("reenumerate"), 1u);  // DeleteSet's own, on success
  EXPECT_FALSE(rig.wizard->isVisible());
  EXPECT_EQ(rig.wizard->result(), QDialog::Accepted);
  EXPECT_EQ(rig.EntryCount(), 1u);
}

TEST(WizardPages, DeletingASpareReenumeratesAndCloses) {
  WizardRig rig(SetSpareAndFree());
  rig.Open();
  WalkTo(rig, P::kDelete);
  WizardRig::ClickRow(rig.List(1152), 1);
  rig.Finish();
  const auto entries = rig.log->Entries();
  ASSERT_GE(entries.size(), 2u);
  EXPECT_EQ(entries[0], "DeleteSpare 2");
  EXPECT_EQ(entries[1], "reenumerate");
  EXPECT_FALSE(rig.wizard->isVisible());
  EXPECT_EQ(rig.EntryCount(), 1u);  // the re-enumeration let the adapters go
  EXPECT_EQ(rig.ui->MessageCount(), 0u);
  EXPECT_EQ(platform_qt::RunningSteps(), 0);
}

TEST(WizardPages, RefusedDeletionsShowTheRequestBoxAndClose) {
  const struct {
    const char* request;
    int row;
    const wchar_t* caption;
    bool reenumerated;
  } cases[] = {{"DeleteSpare", 1, L"Delete Spare Drive", true},
               {"DeleteSet", 0, L"Delete Array", false}};
  for (const auto& c : cases) {
    sim::Scenario scenario = SetSpareAndFree();
    scenario.faults.push_back({0, c.request, sim::FaultKind::Status, 255, 1});
    WizardRig rig(std::move(scenario));
    rig.Open();
    WalkTo(rig, P::kDelete);
    WizardRig::ClickRow(rig.List(1152), c.row);
    rig.Finish();
    ASSERT_EQ(rig.ui->MessageCount(), 1u) << c.request;
    EXPECT_EQ(rig.ui->LastMessage()->caption, c.caption);
    EXPECT_EQ(rig.ui->LastMessage()->text, L"General catch-all error status.\nReturn code 255.");
    EXPECT_EQ(rig.log->Count("reenumerate") > 0, c.reenumerated) << c.request;
    EXPECT_FALSE(rig.wizard->isVisible()) << c.request;
  }
}

TEST(WizardPages, ModelEmptiedUnderTheDeletionPageSendsNothing) {
  WizardRig rig(SetSpareAndFree());
  rig.Open();
  WalkTo(rig, P::kDelete);
  WizardRig::ClickRow(rig.List(1152), 0);
  // Something else let the adapters go (their records are freed).
  rig.io->ReenumerateAdapter(0);
  const std::size_t before = rig.log->Changes();
  WizardRig::ClickRow(rig.List(1152), 1);  // the rows are the page's own copies
  EXPECT_EQ(WizardRig::Column(rig.List(1153), 0), std::vector<std::wstring>{L"Channel 2"});
  rig.Finish();
  EXPECT_EQ(rig.log->Changes(), before);
  EXPECT_TRUE(rig.wizard->isVisible());
  ASSERT_EQ(rig.Page(), P::kDelete);
  EXPECT_EQ(rig.List(1152)->topLevelItemCount(), 0);
  EXPECT_FALSE(rig.Button(B::FinishButton)->isEnabled());
}

TEST(WizardPages, CancelOrTheCloseBoxOnAnyPageSendsNothing) {
  const P pages[] = {P::kWelcome,    P::kAction,       P::kDelete, P::kSetType,
                     P::kSpareDisks, P::kSpareSummary, P::kFinish};
  for (const bool closeBox : {false, true}) {
    for (P page : pages) {
      WizardRig rig(SetSpareAndFree());
      rig.Open();
      WalkTo(rig, page);
      ASSERT_EQ(rig.Page(), page);
      if (page == P::kDelete) WizardRig::ClickRow(rig.List(1152), 1);
      if (page == P::kSpareDisks) {
        WizardRig::ClickRow(rig.List(1191), 0);
        rig.Control<QPushButton>(1196)->click();
      }
      const std::size_t before = rig.log->Changes();  // the finish page: created already
      if (closeBox) {
        rig.wizard->close();
      } else {
        rig.Press(B::CancelButton);
      }
      EXPECT_FALSE(rig.wizard->isVisible()) << static_cast<int>(page);
      EXPECT_EQ(rig.wizard->result(), QDialog::Rejected);
      EXPECT_EQ(rig.log->Changes(), before) << static_cast<int>(page) << " " << closeBox;
    }
  }
  // The controller page, with two adapters.
  WizardRig rig(TwoAdapters(ExtendedAt(4), ExtendedAt(5)));
  rig.Open();
  rig.Next();
  ASSERT_EQ(rig.Page(), P::kController);
  rig.wizard->close();
  EXPECT_EQ(rig.log->Changes(), 0u);
}

TEST(WizardPages, ThePasswordIsNeitherKeptNorExamined) {
  WizardRig rig(FreeDisks());
  rig.Open();
  auto* password = rig.Control<QLineEdit>(1148);
  EXPECT_EQ(password->echoMode(), QLineEdit::Password);
  password->setText(QStringLiteral("secret"));
  rig.Next();
  ASSERT_EQ(rig.Page(), P::kAction);
  rig.Back();
  EXPECT_TRUE(rig.Control<QLineEdit>(1148)->text().isEmpty());
}

TEST(WizardPages, NoAdapterLeadsToAnEmptyControllerPageOnly) {
  WizardRig rig(ScenarioOf({}));
  rig.Open();
  rig.Next();
  ASSERT_EQ(rig.Page(), P::kController);
  EXPECT_EQ(rig.List(1149)->topLevelItemCount(), 0);
  EXPECT_FALSE(rig.Enabled(B::NextButton));
  EXPECT_TRUE(rig.Enabled(B::BackButton));
}

}  // namespace
}  // namespace kestrune::test
