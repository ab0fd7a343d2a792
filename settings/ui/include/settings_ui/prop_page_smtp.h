// The "SMTP" page: the SMTP server every mail goes through, and how it is
// reached: port, security, account and the authorities its certificate is
// checked against.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "settings_ui/sheet_page.h"

namespace Ui {
class CPropPageSmtp;
}

namespace kestrune::settings {

// The page's copies of the settings.
struct SmtpPageValues {
  std::wstring server;
  std::uint32_t port = 25;
  std::wstring security;  // kSecurityNone, kSecurityStartTls or kSecurityTls
  std::wstring user;
  std::wstring caFile;
};

class CPropPageSmtp final : public SheetPage {
  Q_OBJECT

 public:
  // `passwordFile` is where the SMTP password is kept (the page tells when
  // one is stored, but never reads it).
  CPropPageSmtp(platform::UiServices& dialogs, SmtpPageValues values, std::string passwordFile);
  ~CPropPageSmtp() override;

  const std::wstring& Server() const { return values_.server; }
  const SmtpPageValues& Values() const { return values_; }
  // A password typed on the page, to be stored; none when it was left empty.
  bool PasswordTyped() const { return passwordTyped_; }
  const std::string& Password() const { return password_; }
  const std::string& PasswordFile() const { return passwordFile_; }

 protected:
  bool DoDataExchange(bool save) override;

 private:
  void SecurityChosen(int index);
  void BrowseCaFile();

  std::unique_ptr<::Ui::CPropPageSmtp> ui_;
  SmtpPageValues values_;
  std::string passwordFile_;
  std::string password_;
  bool passwordTyped_ = false;
};

}  // namespace kestrune::settings
