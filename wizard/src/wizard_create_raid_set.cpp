#include <QLabel>
#include <QListWidget>

#include "platform_qt/forms.h"
#include "platform_qt/qt_ui_services.h"
#include "resources/string_ids.h"
#include "resources/strings.h"
#include "ui_wizard_create_raid_set.h"
#include "wizard/wizard_pages.h"
#include "wizard/wizard_raid.h"

namespace kestrune::wizard {

CWizardCreateRaidSet::CWizardCreateRaidSet(CWizardRaid& sheet)
    : WizardPageBase(sheet, WizardPage::kSetType),
      ui_(std::make_unique<Ui::CWizardCreateRaidSet>()) {
  platform_qt::SetUpForm(*ui_, this);
  SetHeader(res::kStrWizardCreateTitle, res::kStrWizardCreateSubtitle);
  ui_->typeList->setSelectionMode(QAbstractItemView::SingleSelection);
}

CWizardCreateRaidSet::~CWizardCreateRaidSet() = default;

void CWizardCreateRaidSet::OnSetActive() {
  ui_->typeList->clear();
  ui_->typeList->addItem(platform_qt::ToQString(res::LoadString(res::kStrSpareDrive)));
  ui_->typeList->setCurrentRow(0);
  ui_->typeList->setFocus();
  ui_->descriptionLabel->setText(
      platform_qt::ToQString(res::LoadString(res::kStrSpareDriveDescription)));
}

}  // namespace kestrune::wizard
