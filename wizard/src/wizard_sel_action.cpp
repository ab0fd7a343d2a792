#include <QRadioButton>

#include "platform_qt/forms.h"
#include "resources/string_ids.h"
#include "ui_wizard_sel_action.h"
#include "wizard/wizard_pages.h"
#include "wizard/wizard_raid.h"

namespace kestrune::wizard {

CWizardSelAction::CWizardSelAction(CWizardRaid& sheet)
    : WizardPageBase(sheet, WizardPage::kAction), ui_(std::make_unique<Ui::CWizardSelAction>()) {
  platform_qt::SetUpForm(*ui_, this);
  SetHeader(res::kStrWizardActionTitle, res::kStrWizardActionSubtitle);
}

CWizardSelAction::~CWizardSelAction() = default;

void CWizardSelAction::OnSetActive() {
  const bool remove = State().actionChoice == kActionDelete;
  ui_->deleteRadio->setChecked(remove);
  ui_->createRadio->setChecked(!remove);
}

bool CWizardSelAction::OnWizardNext() {
  State().ActionNext(ui_->deleteRadio->isChecked() ? kActionDelete : kActionCreate);
  return true;
}

}  // namespace kestrune::wizard
