#include "platform_qt/qt_ui_services.h"
#include "resources/strings.h"
#include "wizard/wizard_pages.h"
#include "wizard/wizard_raid.h"

namespace kestrune::wizard {

WizardPageBase::WizardPageBase(CWizardRaid& sheet, WizardPage id)
    : QWizardPage(nullptr), sheet_(sheet), id_(id) {}

WizardPageBase::~WizardPageBase() = default;

WizardState& WizardPageBase::State() const {
  return sheet_.State();
}

bool WizardPageBase::isComplete() const {
  const WizardButtons buttons = sheet_.State().ButtonsOf(id_);
  return buttons.next || buttons.finish;
}

void WizardPageBase::SetHeader(unsigned titleId, unsigned subtitleId) {
  setTitle(platform_qt::ToQString(res::LoadString(titleId)));
  setSubTitle(platform_qt::ToQString(res::LoadString(subtitleId)));
}

}  // namespace kestrune::wizard
