#include "resources/menus.h"

#include "resources/resource_ids.h"

namespace kestrune::res {
namespace {

MenuItem Item(unsigned id, const wchar_t* text) {
  return MenuItem{id, text, {}};
}
MenuItem Separator() {
  return MenuItem{};
}
MenuItem Popup(const wchar_t* text, std::vector<MenuItem> items) {
  return MenuItem{0, text, std::move(items)};
}

}  // namespace

const std::vector<MenuItem>& LoadMenu(unsigned id) {
  static const std::vector<MenuItem> mainMenu = {
      Popup(L"&File", {Item(kCmdExit, L"E&xit")}),
      Popup(L"&Configure", {Item(kCmdConfigure, L"&Configure..."), Separator(),
                            Item(kCmdSaveToFile, L"&Save to file"),
                            Item(kCmdCopyToClipboard, L"Copy to clip &board"),
                            Item(kCmdSendByEmail, L"Send by &e-mail")}),
      Popup(L"&Raid", {Item(kCmdRaidWizard, L"Raid &Wizard...")}),
      Popup(L"&Help", {Item(kCmdHelp, L"&Help..."), Item(kCmdAbout, L"&About...")}),
  };
  static const std::vector<MenuItem> trayMenu = {
      Popup(L"Tray", {Item(kCmdConfigureTray, L"&Configure..."),
                      Item(kCmdRaidWizardTray, L"Raid &Wizard..."), Separator(),
                      Item(kCmdAbout, L"&About..."), Item(kCmdHelp, L"&Help..."), Separator(),
                      Item(kCmdExit, L"&Exit")}),
  };
  static const std::vector<MenuItem> none;
  switch (id) {
    case kMenuMain:
      return mainMenu;
    case kMenuTray:
      return trayMenu;
    default:
      return none;
  }
}

const std::vector<unsigned>& LoadToolbar(unsigned id) {
  static const std::vector<unsigned> mainToolbar = {kCmdConfigureTool,   0,
                                                    kCmdSaveToFileTool,  kCmdCopyToClipboardTool,
                                                    kCmdSendByEmailTool, 0,
                                                    kCmdRaidWizardTool,  0,
                                                    kCmdHelpTool,        kCmdAboutTool};
  static const std::vector<unsigned> none;
  return id == kToolbarMain ? mainToolbar : none;
}

}  // namespace kestrune::res
