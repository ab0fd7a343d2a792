#include "settings_ui/prop_page_smtp.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <algorithm>
#include <array>
#include <filesystem>

#include "platform/text.h"
#include "platform_qt/forms.h"
#include "platform_qt/qt_ui_services.h"
#include "resources/strings.h"
#include "settings/app_settings.h"
#include "settings_ui/sheet_limits.h"
#include "ui_prop_page_smtp.h"

namespace kestrune::settings {

namespace {

// The security choices in the order of the list, with the port each is
// usually found on.
struct Security {
  const wchar_t* value;
  int port;
};
constexpr std::array<Security, 3> kSecurities{{
    {kSecurityNone, 25},
    {kSecurityStartTls, 587},
    {kSecurityTls, 465},
}};

int SecurityIndex(const std::wstring& value) {
  for (std::size_t i = 0; i < kSecurities.size(); ++i)
    if (platform::EqualsNoCase(value, kSecurities[i].value)) return static_cast<int>(i);
  return -1;  // a value the list does not have stays as it is
}

}  // namespace

CPropPageSmtp::CPropPageSmtp(platform::UiServices& dialogs, SmtpPageValues values,
                             std::string passwordFile)
    : SheetPage(dialogs),
      ui_(std::make_unique<::Ui::CPropPageSmtp>()),
      values_(std::move(values)),
      passwordFile_(std::move(passwordFile)) {
  SetUpForm(*ui_);
  std::error_code ec;
  if (std::filesystem::exists(passwordFile_, ec))
    ui_->passwordEdit->setPlaceholderText(
        platform_qt::ToQString(res::LoadString(res::kStrSmtpPasswordStored)));
  connect(ui_->securityCombo, &QComboBox::activated, this, &CPropPageSmtp::SecurityChosen);
  connect(ui_->caFileBrowseButton, &QPushButton::clicked, this, &CPropPageSmtp::BrowseCaFile);
}

CPropPageSmtp::~CPropPageSmtp() = default;

bool CPropPageSmtp::DoDataExchange(bool save) {
  if (!ExchangeText(save, ui_->serverEdit, values_.server, kMaxFieldChars) ||
      !ExchangeText(save, ui_->userEdit, values_.user, kMaxFieldChars) ||
      !ExchangeText(save, ui_->caFileEdit, values_.caFile, kMaxFieldChars))
    return false;
  if (save) {
    values_.port = static_cast<std::uint32_t>(ui_->portSpin->value());
    const int index = ui_->securityCombo->currentIndex();
    if (index >= 0) values_.security = kSecurities[static_cast<std::size_t>(index)].value;
    if (!ui_->passwordEdit->text().isEmpty()) {
      password_ = ui_->passwordEdit->text().toStdString();
      passwordTyped_ = true;
    }
  } else {
    ui_->portSpin->setValue(static_cast<int>(std::clamp<std::uint32_t>(values_.port, 1, 65535)));
    ui_->securityCombo->setCurrentIndex(SecurityIndex(values_.security));
    ui_->passwordEdit->setText(passwordTyped_ ? QString::fromStdString(password_) : QString());
  }
  return true;
}

void CPropPageSmtp::SecurityChosen(int index) {
  if (index < 0 || index >= static_cast<int>(kSecurities.size())) return;
  // A port that is one of the usual ones follows the choice; any other was
  // chosen on purpose and stays.
  const int port = ui_->portSpin->value();
  for (const Security& s : kSecurities) {
    if (s.port == port) {
      ui_->portSpin->setValue(kSecurities[static_cast<std::size_t>(index)].port);
      return;
    }
  }
}

void CPropPageSmtp::BrowseCaFile() {
  platform::FileDialogRequest request;
  request.title = res::LoadString(res::kStrCaFileTitle);
  request.filter = res::LoadString(res::kStrCaFileFilter);
  request.mustExist = true;
  // The folder of the file named now, else where the system keeps its own.
  const std::filesystem::path current(platform_qt::ToWString(ui_->caFileEdit->text()));
  request.startFolder = current.has_parent_path() && current.is_absolute()
                            ? current.parent_path().wstring()
                            : std::wstring(L"/etc/ssl/certs");
  request.defaultName = current.filename().wstring();
  if (const auto path = Dialogs().OpenFileName(request))
    ui_->caFileEdit->setText(platform_qt::ToQString(*path));
}

}  // namespace kestrune::settings
