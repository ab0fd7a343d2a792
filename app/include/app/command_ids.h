// Command numbers of the main menu (1500), the configuration window's toolbar
// (1503) and the tray menu (1502), and the resource numbers the frame uses.
#pragma once

namespace kestrune::app {

// Configure, from the menu, the toolbar and the tray.
inline constexpr int ID_CONFIGURE_MENU = 32782;
inline constexpr int ID_CONFIGURE_TOOLBAR = 32774;
inline constexpr int ID_CONFIGURE_TRAY = 32781;
// The configuration report, menu and toolbar.
inline constexpr int ID_SAVE_MENU = 32783;
inline constexpr int ID_SAVE_TOOLBAR = 32775;
inline constexpr int ID_COPY_MENU = 32784;
inline constexpr int ID_COPY_TOOLBAR = 32776;
inline constexpr int ID_SEND_MENU = 32785;
inline constexpr int ID_SEND_TOOLBAR = 32777;
// The RAID wizard.
inline constexpr int ID_WIZARD_MENU = 32786;
inline constexpr int ID_WIZARD_TOOLBAR = 32778;
inline constexpr int ID_WIZARD_TRAY = 32787;
// About and help.
inline constexpr int ID_APP_ABOUT = 57664;
inline constexpr int ID_ABOUT_TOOLBAR = 32779;
inline constexpr int ID_HELP_INDEX = 57670;
inline constexpr int ID_HELP_TOOLBAR = 32780;
inline constexpr int ID_APP_EXIT = 57665;

// Resources.
inline constexpr int IDR_MAINFRAME = 1500;
inline constexpr int IDR_TRAYMENU = 1502;
inline constexpr int IDI_TRAY_NORMAL = 130;
inline constexpr int IDI_TRAY_ALERT = 131;
inline constexpr int IDC_DROP_ALLOWED = 1300;
inline constexpr int IDC_NO_DROP = 1301;
inline constexpr int IDC_LINK = 1302;
inline constexpr unsigned kTrayIconId = 1500;

// Strings.
inline constexpr unsigned IDS_ALREADY_RUNNING = 296;
inline constexpr unsigned IDS_NORVASSE = 297;
inline constexpr unsigned IDS_SHEET_CONSTRUCT_FAILED = 299;
inline constexpr unsigned IDS_SHEET_CREATE_FAILED = 300;
inline constexpr unsigned IDS_OPEN_VERB = 301;
inline constexpr unsigned IDS_ABOUT_PREFIX = 351;
inline constexpr unsigned IDS_FRAME_TITLE = 1500;
inline constexpr unsigned IDS_APP_TITLE = 57344;

}  // namespace kestrune::app
