// The program's images, cursors and menus as Qt objects. The images are drawn
// for this program in code, so the executable carries no image files.
#pragma once

#include <QCursor>
#include <QIcon>
#include <QPixmap>
#include <QString>
#include <vector>

#include "resources/menus.h"
#include "resources/resource_ids.h"

class QMenu;
class QMenuBar;
class QToolBar;
class QWidget;

namespace kestrune::platform_qt {

class CommandTarget;

// Icons 130, 131, 211 and 1200 to 1214 (16 and 32 pixels); a null icon for
// another number.
QIcon LoadIcon(unsigned id);
// Cursors 1300 (drop allowed), 1301 (no drop), 1302 (link); the arrow for
// another number.
QCursor LoadCursor(unsigned id);
// Bitmaps 210 (wizard watermark, 164 x 314), 1120 (wizard header, 49 x 49) and
// the node pages' pictures 1103, 1112, 1114, 1115 and 1116 (64 x 160); a null
// pixmap for another number.
inline constexpr int kPageBitmapWidth = 64;
inline constexpr int kPageBitmapHeight = 160;
QPixmap LoadBitmap(unsigned id);
// Named bitmaps: "ImageOk" (the About box's OK button); null for another name.
QPixmap LoadBitmap(const QString& name);

// Fills a menu with items (popups become sub-menus, separators separators);
// every action carries its command id and, when target is given, routes it.
void FillMenu(QMenu* menu, const std::vector<res::MenuItem>& items,
              CommandTarget* target = nullptr);
// The main menu 1500 on a menu bar: one menu per top-level popup.
void FillMenuBar(QMenuBar* bar, unsigned menuId, CommandTarget* target = nullptr);
// A new menu holding the items of popup `index` of menu menuId (the tray menu
// is LoadPopupMenu(1502, 0)); the caller owns it. nullptr when there is none.
QMenu* LoadPopupMenu(unsigned menuId, int index, QWidget* parent = nullptr,
                     CommandTarget* target = nullptr);
// The toolbar 1503: 16 x 16 buttons carrying their ids, each with the string of
// its id as tooltip.
void FillToolBar(QToolBar* bar, unsigned toolbarId, CommandTarget* target = nullptr);

}  // namespace kestrune::platform_qt
