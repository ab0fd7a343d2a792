// Numbers of the program's resources other than strings: icons, cursors,
// bitmaps, menus, the toolbar and the commands.
#pragma once

namespace kestrune::res {

// Icons.
inline constexpr unsigned kIconTray = 130;       // normal tray icon, small icon of windows
inline constexpr unsigned kIconTrayAlert = 131;  // a set member is not Current
inline constexpr unsigned kIconWarning = 211;    // the wizard's deletion warning
inline constexpr unsigned kIconComputer = 1200;
inline constexpr unsigned kIconAdapter = 1201;
inline constexpr unsigned kIconChannel = 1202;
inline constexpr unsigned kIconDiskFree = 1203;
inline constexpr unsigned kIconDiskInUse = 1204;
inline constexpr unsigned kIconCdromFree = 1205;
inline constexpr unsigned kIconCdromInUse = 1206;
inline constexpr unsigned kIconTapeFree = 1207;
inline constexpr unsigned kIconTapeInUse = 1208;
inline constexpr unsigned kIconSets = 1209;
inline constexpr unsigned kIconSet = 1210;
inline constexpr unsigned kIconMember = 1211;
inline constexpr unsigned kIconDriver = 1212;
inline constexpr unsigned kIconUnassigned = 1213;
inline constexpr unsigned kIconSpare = 1214;

// Cursors.
inline constexpr unsigned kCursorDrop = 1300;
inline constexpr unsigned kCursorNoDrop = 1301;
inline constexpr unsigned kCursorLink = 1302;

// Bitmaps (the OK button's bitmap is named "ImageOk").
inline constexpr unsigned kBitmapWatermark = 210;
inline constexpr unsigned kBitmapAdapter = 1103;   // at the left of the node pages
inline constexpr unsigned kBitmapComputer = 1112;
inline constexpr unsigned kBitmapChannel = 1114;
inline constexpr unsigned kBitmapDevice = 1115;
inline constexpr unsigned kBitmapSet = 1116;
inline constexpr unsigned kBitmapHeader = 1120;

// Menus and toolbar.
inline constexpr unsigned kMenuMain = 1500;
inline constexpr unsigned kMenuTray = 1502;
inline constexpr unsigned kToolbarMain = 1503;

// Commands: menu / toolbar / tray.
inline constexpr unsigned kCmdConfigure = 32782;
inline constexpr unsigned kCmdConfigureTool = 32774;
inline constexpr unsigned kCmdConfigureTray = 32781;
inline constexpr unsigned kCmdSaveToFile = 32783;
inline constexpr unsigned kCmdSaveToFileTool = 32775;
inline constexpr unsigned kCmdCopyToClipboard = 32784;
inline constexpr unsigned kCmdCopyToClipboardTool = 32776;
inline constexpr unsigned kCmdSendByEmail = 32785;
inline constexpr unsigned kCmdSendByEmailTool = 32777;
inline constexpr unsigned kCmdRaidWizard = 32786;
inline constexpr unsigned kCmdRaidWizardTool = 32778;
inline constexpr unsigned kCmdRaidWizardTray = 32787;
inline constexpr unsigned kCmdAbout = 57664;
inline constexpr unsigned kCmdAboutTool = 32779;
inline constexpr unsigned kCmdHelp = 57670;
inline constexpr unsigned kCmdHelpTool = 32780;
inline constexpr unsigned kCmdExit = 57665;

// The framework's dialog buttons.
inline constexpr unsigned kIdOk = 1;
inline constexpr unsigned kIdCancel = 2;
inline constexpr unsigned kIdApply = 12321;

}  // namespace kestrune::res
