// The names of the string-table entries (string_table.def), as the numbers
// LoadString and FormatString take.
#pragma once

#include "resources/resource_ids.h"

namespace kestrune::res {

#define KESTRUNE_STRING(name, number, text) inline constexpr unsigned name = number;
#include "resources/string_table.def"
#undef KESTRUNE_STRING

// A toolbar button's tooltip is the entry with the button's command number.
static_assert(kStrTipConfigure == kCmdConfigureTool);
static_assert(kStrTipSaveToFile == kCmdSaveToFileTool);
static_assert(kStrTipCopyToClipboard == kCmdCopyToClipboardTool);
static_assert(kStrTipSendByEmail == kCmdSendByEmailTool);
static_assert(kStrTipRaidWizard == kCmdRaidWizardTool);
static_assert(kStrTipAbout == kCmdAboutTool);
static_assert(kStrTipHelp == kCmdHelpTool);

}  // namespace kestrune::res
