// What the configuration sheet's pages share: the desktop's dialogs and boxes,
// and the wait cursor while a page becomes active.
#pragma once

#include <string>

#include "platform/ui_services.h"
#include "platform_qt/property_sheet.h"

namespace kestrune::settings {

class SheetPage : public platform_qt::CPropertyPage {
  Q_OBJECT

 public:
  ~SheetPage() override;

  // Shows the copies, under the wait cursor.
  bool OnSetActive() override;

 protected:
  explicit SheetPage(platform::UiServices& dialogs);

  platform::UiServices& Dialogs() const { return dialogs_; }
  // A box with an OK button and the program's name as its caption.
  void Tell(const std::wstring& text, platform::MsgIcon icon = platform::MsgIcon::Warning);

 private:
  platform::UiServices& dialogs_;
};

}  // namespace kestrune::settings
