// The named string entries: each name keeps its number, and every
// toolbar button has its tooltip under the button's command number.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "resources/language_module.h"
#include "resources/menus.h"
#include "resources/resource_ids.h"
#include "resources/strings.h"

namespace kestrune::res {
namespace {

// The texts themselves are checked where they are shown (the log, the mail
// errors, the event texts, the boxes). What a name must keep is its number:
// the modules translators have written find the text by it.
TEST(StringTable, ATranslatedModuleReachesTheNamesByTheirNumbers) {
  struct Case {
    unsigned name;
    unsigned number;
    const wchar_t* translated;
  };
  const Case cases[] = {
      {kStrLoggerStarted, 8, L"%s\tEreignisprotokoll gestartet\n"},
      {kStrReturnCode, 57, L"\nR\u00fcckgabewert %d."},
      {kStrStatusInvalidParameter, 240, L"Ung\u00fcltiger Parameter."},
      {kStrAlreadyRunning, 296, L"Das Programm l\u00e4uft bereits."},
      {kStrSrbErrorRecovery, 425, L"Fehlerbehebung"},
      {kStrEventBbrFlagDone, 2146, L"BBR: Block 0x%x markiert auf %s %s von Adapter %d. "},
      {kStrWsaOther, 2235, L"Unbekannter Fehlercode.\n"},
      {kStrTextTooLong, 61715, L"H\u00f6chstens %1 Zeichen."},
  };
  std::string text;
  for (const Case& c : cases)
    text += std::to_string(c.number) + "\t" + EscapeModuleText(c.translated) + "\n";
  SetModule(std::make_shared<const LanguageModule>(ParseLanguageModule(text)));
  for (const Case& c : cases) EXPECT_EQ(LoadString(c.name), c.translated) << c.number;
  SetModule(nullptr);
  EXPECT_EQ(LoadString(kStrAlreadyRunning), BuiltinString(kStrAlreadyRunning));
}

TEST(StringTable, EveryToolbarButtonHasItsTooltip) {
  struct Case {
    unsigned command;
    const wchar_t* tip;
  };
  const Case cases[] = {
      {kCmdConfigureTool, L"Configure Kestrune"},
      {kCmdSaveToFileTool, L"Save configuration to a file"},
      {kCmdCopyToClipboardTool, L"Copy configuration to clip board"},
      {kCmdSendByEmailTool, L"Send configuration by e-mail"},
      {kCmdRaidWizardTool, L"RAID Configuration Wizard"},
      {kCmdAboutTool, L"About Kestrune"},
      {kCmdHelpTool, L"Help on Kestrune"},
  };
  for (const Case& c : cases) EXPECT_EQ(BuiltinString(c.command), c.tip) << c.command;
  for (unsigned command : LoadToolbar(kToolbarMain)) {
    if (command != 0) {
      EXPECT_FALSE(BuiltinString(command).empty()) << command;
    }
  }
}

}  // namespace
}  // namespace kestrune::res
