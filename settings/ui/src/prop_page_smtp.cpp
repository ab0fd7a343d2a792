#include "settings_ui/prop_page_smtp.h"

#include "settings_ui/sheet_limits.h"
#include "ui_prop_page_smtp.h"

namespace kestrune::settings {

CPropPageSmtp::CPropPageSmtp(platform::UiServices& dialogs, std::wstring server)
    : SheetPage(dialogs), ui_(std::make_unique<::Ui::CPropPageSmtp>()), server_(std::move(server)) {
  SetUpForm(*ui_);
}

CPropPageSmtp::~CPropPageSmtp() = default;

bool CPropPageSmtp::DoDataExchange(bool save) {
  return ExchangeText(save, ui_->serverEdit, server_, kMaxFieldChars);
}

}  // namespace kestrune::settings
