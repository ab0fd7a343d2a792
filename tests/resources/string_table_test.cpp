// The named string entries: each name keeps its number and text, and every
// toolbar button has its tooltip under the button's command number.
#include <gtest/gtest.h>

#include "resources/menus.h"
#include "resources/resource_ids.h"
#include "resources/strings.h"

namespace kestrune::res {
namespace {

TEST(StringTable, NamesKeepTheirNumbersAndTexts) {
  struct Case {
    unsigned name;
    unsigned number;
    const wchar_t* text;
  };
  const Case cases[] = {
      {kStrLoggerStarted, 8, L"%s\tKestrune Event Logger Started\n"},
      {kStrReturnCode, 57, L"\nReturn code %d."},
      {kStrStatusInvalidParameter, 240, L"Invalid parameter."},
      {kStrAlreadyRunning, 296, L"Application is already running."},
      {kStrSrbErrorRecovery, 425, L"Error Recovery"},
      {kStrEventBbrFlagDone, 2146,
       L"BBR Information - Flag Successful\n\t\tBlock 0x%x was successfully flagged on %s %s of "
       L"adapter %d. "},
      {kStrWsaOther, 2235, L"Error code not switched.\n"},
      {kStrTextTooLong, 61715, L"Please enter no more than %1 characters."},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.name, c.number);
    EXPECT_EQ(BuiltinString(c.name), c.text) << c.number;
  }
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
