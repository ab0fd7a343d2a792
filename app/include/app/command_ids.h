// Command numbers of the main menu (1500), the configuration window's toolbar
// (1503) and the tray menu (1502), and the resource numbers the frame uses,
// under the names the frame's code reads best with; the numbers themselves
// live with the resources.
#pragma once

#include "resources/resource_ids.h"

namespace kestrune::app {

// Configure, from the menu, the toolbar and the tray.
inline constexpr unsigned ID_CONFIGURE_MENU = res::kCmdConfigure;
inline constexpr unsigned ID_CONFIGURE_TOOLBAR = res::kCmdConfigureTool;
inline constexpr unsigned ID_CONFIGURE_TRAY = res::kCmdConfigureTray;
// The configuration report, menu and toolbar.
inline constexpr unsigned ID_SAVE_MENU = res::kCmdSaveToFile;
inline constexpr unsigned ID_SAVE_TOOLBAR = res::kCmdSaveToFileTool;
inline constexpr unsigned ID_COPY_MENU = res::kCmdCopyToClipboard;
inline constexpr unsigned ID_COPY_TOOLBAR = res::kCmdCopyToClipboardTool;
inline constexpr unsigned ID_SEND_MENU = res::kCmdSendByEmail;
inline constexpr unsigned ID_SEND_TOOLBAR = res::kCmdSendByEmailTool;
// The RAID wizard.
inline constexpr unsigned ID_WIZARD_MENU = res::kCmdRaidWizard;
inline constexpr unsigned ID_WIZARD_TOOLBAR = res::kCmdRaidWizardTool;
inline constexpr unsigned ID_WIZARD_TRAY = res::kCmdRaidWizardTray;
// About and help.
inline constexpr unsigned ID_APP_ABOUT = res::kCmdAbout;
inline constexpr unsigned ID_ABOUT_TOOLBAR = res::kCmdAboutTool;
inline constexpr unsigned ID_HELP_INDEX = res::kCmdHelp;
inline constexpr unsigned ID_HELP_TOOLBAR = res::kCmdHelpTool;
inline constexpr unsigned ID_APP_EXIT = res::kCmdExit;

// Resources.
inline constexpr unsigned IDR_TRAYMENU = res::kMenuTray;
inline constexpr unsigned IDI_TRAY_NORMAL = res::kIconTray;
inline constexpr unsigned IDI_TRAY_ALERT = res::kIconTrayAlert;
inline constexpr unsigned IDC_DROP_ALLOWED = res::kCursorDrop;
inline constexpr unsigned IDC_NO_DROP = res::kCursorNoDrop;
inline constexpr unsigned IDC_LINK = res::kCursorLink;

// Strings.
inline constexpr unsigned IDS_ALREADY_RUNNING = 296;
inline constexpr unsigned IDS_NORVASSE = 297;
inline constexpr unsigned IDS_SHEET_CONSTRUCT_FAILED = 299;
inline constexpr unsigned IDS_ABOUT_PREFIX = 351;
inline constexpr unsigned IDS_FRAME_TITLE = 1500;
inline constexpr unsigned IDS_APP_TITLE = 57344;

}  // namespace kestrune::app
