#include <QPushButton>
#include <QTreeWidget>

#include "platform_qt/forms.h"
#include "resources/string_ids.h"
#include "ui_wizard_raid1_sel_spares.h"
#include "wizard/wizard_pages.h"
#include "wizard/wizard_raid.h"
#include "wizard_lists.h"

namespace kestrune::wizard {

CWizardRaid1SelSpares::CWizardRaid1SelSpares(CWizardRaid& sheet)
    : WizardPageBase(sheet, WizardPage::kSpareDisks),
      ui_(std::make_unique<Ui::CWizardRaid1SelSpares>()) {
  platform_qt::SetUpForm(*ui_, this);
  SetHeader(res::kStrWizardSelectSparesTitle, res::kStrWizardSelectSparesSubtitle);
  // Four spare drives may be chosen: four whole rows each.
  SetUpReportList(ui_->availableList, 4);
  SetUpReportList(ui_->chosenList, 4);
  ui_->selectButton->setEnabled(false);
  ui_->deselectButton->setEnabled(false);
  // Only mouse clicks enable the buttons; the keyboard moves the selection
  // alone. Select takes a disk only while fewer than four are chosen.
  new ListClicks(ui_->availableList, true, [this] {
    ui_->selectButton->setEnabled(SelectedRow(ui_->availableList) >= 0 && State().CanSelect());
  });
  new ListClicks(ui_->chosenList, true,
                 [this] { ui_->deselectButton->setEnabled(SelectedRow(ui_->chosenList) >= 0); });
  connect(ui_->selectButton, &QPushButton::clicked, this, [this] { OnSelect(); });
  connect(ui_->deselectButton, &QPushButton::clicked, this, [this] { OnDeselect(); });
}

CWizardRaid1SelSpares::~CWizardRaid1SelSpares() = default;

void CWizardRaid1SelSpares::OnSetActive() {
  State().ActivateSpareDisks();
  FillReportList(ui_->availableList, DiskColumns(),
                 DiskRows(State().availableDisks, State().extendedNaming));
  FillReportList(ui_->chosenList, DiskColumns(),
                 DiskRows(State().spareChoice, State().extendedNaming));
  ui_->selectButton->setEnabled(false);
  ui_->deselectButton->setEnabled(false);
  Sheet().UpdateButtons();
}

void CWizardRaid1SelSpares::OnSelect() {
  const int row = SelectedRow(ui_->availableList);
  if (row >= 0) State().Select(static_cast<std::size_t>(row));
  OnSetActive();
}

void CWizardRaid1SelSpares::OnDeselect() {
  const int row = SelectedRow(ui_->chosenList);
  if (row >= 0) State().Deselect(static_cast<std::size_t>(row));
  OnSetActive();
}

void CWizardRaid1SelSpares::OnWizardBack() {
  State().BackFromSpareDisks();
}

}  // namespace kestrune::wizard
