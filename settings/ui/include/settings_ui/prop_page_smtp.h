// The "SMTP" page: the SMTP server every mail goes through.
#pragma once

#include <memory>
#include <string>

#include "settings_ui/sheet_page.h"

namespace Ui {
class CPropPageSmtp;
}

namespace kestrune::settings {

class CPropPageSmtp final : public SheetPage {
 public:
  CPropPageSmtp(platform::UiServices& dialogs, std::wstring server);
  ~CPropPageSmtp() override;

  const std::wstring& Server() const { return server_; }

 protected:
  bool DoDataExchange(bool save) override;

 private:
  std::unique_ptr<::Ui::CPropPageSmtp> ui_;
  std::wstring server_;
};

}  // namespace kestrune::settings
