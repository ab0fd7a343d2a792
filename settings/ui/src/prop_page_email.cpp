#include "settings_ui/prop_page_email.h"

#include "settings_ui/sheet_limits.h"
#include "ui_prop_page_email.h"

namespace kestrune::settings {

CPropPageEmail::CPropPageEmail(platform::UiServices& dialogs, std::wstring address,
                               std::wstring subject)
    : SheetPage(dialogs),
      ui_(std::make_unique<::Ui::CPropPageEmail>()),
      address_(std::move(address)),
      subject_(std::move(subject)) {
  SetUpForm(*ui_);
}

CPropPageEmail::~CPropPageEmail() = default;

bool CPropPageEmail::DoDataExchange(bool save) {
  return ExchangeText(save, ui_->addressEdit, address_, kMaxFieldChars) &&
         ExchangeText(save, ui_->subjectEdit, subject_, kMaxFieldChars);
}

}  // namespace kestrune::settings
