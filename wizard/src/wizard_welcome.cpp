#include <QFont>

#include "platform_qt/forms.h"
#include "ui_wizard_welcome.h"
#include "wizard/wizard_pages.h"
#include "wizard/wizard_raid.h"

namespace kestrune::wizard {

namespace {
// The title's font: height 20, bold, all else default.
constexpr int kTitleHeight = 20;
}  // namespace

CWizardWelcome::CWizardWelcome(CWizardRaid& sheet)
    : WizardPageBase(sheet, WizardPage::kWelcome), ui_(std::make_unique<Ui::CWizardWelcome>()) {
  platform_qt::SetUpForm(*ui_, this);
  QFont font(QStringLiteral("MS Sans Serif"));
  font.setPixelSize(kTitleHeight);
  font.setBold(true);
  ui_->titleLabel->setFont(font);
}

CWizardWelcome::~CWizardWelcome() = default;

QLabel* CWizardWelcome::TitleLabel() const {
  return ui_->titleLabel;
}

bool CWizardWelcome::OnWizardNext() {
  // Nothing examines the password: it is not kept, and the box is emptied so
  // that the text does not outlive the page.
  ui_->passwordEdit->clear();
  {
    ctl::CControllerIo::Lock lock(Sheet().Io());
    State().WelcomeNext(Sheet().Io().Model());
  }
  // The controller page is passed through: its list is filled and its row
  // marked as if it had been shown.
  if (State().NextOf(WizardPage::kWelcome) == WizardPage::kAction) {
    Sheet().ControllerPage()->Activate();
  }
  return true;
}

}  // namespace kestrune::wizard
