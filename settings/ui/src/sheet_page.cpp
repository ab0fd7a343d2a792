#include "settings_ui/sheet_page.h"

#include "resources/strings.h"

namespace kestrune::settings {

SheetPage::SheetPage(platform::UiServices& dialogs) : dialogs_(dialogs) {}

SheetPage::~SheetPage() = default;

bool SheetPage::OnSetActive() {
  const platform::WaitCursor wait(dialogs_);
  UpdateData(false);
  return true;
}

void SheetPage::Tell(const std::wstring& text, platform::MsgIcon icon) {
  dialogs_.MessageBox(text, res::LoadString(res::kStrAppTitle), platform::MsgButtons::Ok, icon);
}

}  // namespace kestrune::settings
