// The "E-mail" page: the sender's address and the subject of a configuration
// report sent by e-mail.
#pragma once

#include <memory>
#include <string>

#include "settings_ui/sheet_page.h"

namespace Ui {
class CPropPageEmail;
}

namespace kestrune::settings {

class CPropPageEmail final : public SheetPage {
 public:
  CPropPageEmail(platform::UiServices& dialogs, std::wstring address, std::wstring subject);
  ~CPropPageEmail() override;

  const std::wstring& Address() const { return address_; }
  const std::wstring& Subject() const { return subject_; }

 protected:
  bool DoDataExchange(bool save) override;

 private:
  std::unique_ptr<::Ui::CPropPageEmail> ui_;
  std::wstring address_;
  std::wstring subject_;
};

}  // namespace kestrune::settings
