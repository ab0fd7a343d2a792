#include <QFont>

#include "platform_qt/forms.h"
#include "ui_wizard_finish.h"
#include "wizard/wizard_pages.h"
#include "wizard/wizard_raid.h"

namespace kestrune::wizard {

namespace {
constexpr int kTitleHeight = 20;
}  // namespace

CWizardFinish::CWizardFinish(CWizardRaid& sheet)
    : WizardPageBase(sheet, WizardPage::kFinish), ui_(std::make_unique<Ui::CWizardFinish>()) {
  platform_qt::SetUpForm(*ui_, this);
  QFont font(QStringLiteral("Arial"));
  font.setPixelSize(kTitleHeight);
  font.setBold(true);
  ui_->titleLabel->setFont(font);
}

CWizardFinish::~CWizardFinish() = default;

QLabel* CWizardFinish::TitleLabel() const {
  return ui_->titleLabel;
}

}  // namespace kestrune::wizard
