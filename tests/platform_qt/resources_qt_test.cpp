#include "platform_qt/resources_qt.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QGuiApplication>
#include <QImage>
#include <QMenu>
#include <QMenuBar>
#include <QSignalSpy>
#include <QToolBar>
#include <vector>

#include "platform_qt/command_table.h"
#include "platform_qt/tray.h"

namespace kestrune::platform_qt {
namespace {

QImage Image(unsigned id, int size = 16) {
  return LoadIcon(id).pixmap(size, size).toImage();
}

TEST(ResourcesQt, EveryIconExistsAndIsDistinct) {
  std::vector<unsigned> ids = {130, 131, 211};
  for (unsigned id = 1200; id <= 1214; ++id) ids.push_back(id);
  std::vector<QImage> images;
  for (unsigned id : ids) {
    const QIcon icon = LoadIcon(id);
    ASSERT_FALSE(icon.isNull()) << id;
    EXPECT_EQ(icon.pixmap(16, 16).size(), QSize(16, 16)) << id;
    EXPECT_EQ(icon.pixmap(32, 32).size(), QSize(32, 32)) << id;
    images.push_back(Image(id));
  }
  for (std::size_t i = 0; i < images.size(); ++i) {
    for (std::size_t j = i + 1; j < images.size(); ++j) {
      EXPECT_NE(images[i], images[j]) << ids[i] << " looks like " << ids[j];
    }
  }
}

TEST(ResourcesQt, AlertTrayIconDiffersFromTheNormalOne) {
  EXPECT_NE(Image(130), Image(131));
  EXPECT_EQ(Image(130), Image(130));  // drawn the same each time
}

TEST(ResourcesQt, UnknownNumbersGiveEmptyResources) {
  EXPECT_TRUE(LoadIcon(0).isNull());
  EXPECT_TRUE(LoadIcon(1215).isNull());
  EXPECT_TRUE(LoadBitmap(211).isNull());
  EXPECT_TRUE(LoadBitmap(QStringLiteral("ImageCancel")).isNull());
  EXPECT_EQ(LoadCursor(1303).shape(), Qt::ArrowCursor);
}

TEST(ResourcesQt, CursorsAndBitmaps) {
  for (unsigned id : {1300u, 1301u, 1302u}) {
    const QCursor cursor = LoadCursor(id);
    EXPECT_EQ(cursor.shape(), Qt::BitmapCursor) << id;
    EXPECT_FALSE(cursor.pixmap().isNull()) << id;
  }
  EXPECT_NE(LoadCursor(1300).pixmap().toImage(), LoadCursor(1301).pixmap().toImage());
  EXPECT_EQ(LoadBitmap(210).size(), QSize(164, 314));
  EXPECT_EQ(LoadBitmap(1120).size(), QSize(49, 49));
  EXPECT_FALSE(LoadBitmap(QStringLiteral("ImageOk")).isNull());
}

std::vector<std::pair<unsigned, QString>> Items(const QMenu* menu) {
  std::vector<std::pair<unsigned, QString>> items;
  for (const QAction* action : menu->actions()) {
    items.emplace_back(CommandIdOf(action).value_or(0),
                       action->isSeparator() ? QString() : action->text());
  }
  return items;
}

TEST(ResourcesQt, TrayMenuItemsInOrder) {
  QMenu* menu = LoadPopupMenu(1502, 0);
  ASSERT_NE(menu, nullptr);
  const std::vector<std::pair<unsigned, QString>> expected = {
      {32781, QStringLiteral("&Configure...")},
      {32787, QStringLiteral("Raid &Wizard...")},
      {0, QString()},
      {57664, QStringLiteral("&About...")},
      {57670, QStringLiteral("&Help...")},
      {0, QString()},
      {57665, QStringLiteral("&Exit")}};
  EXPECT_EQ(Items(menu), expected);
  delete menu;
  EXPECT_EQ(LoadPopupMenu(1502, 1), nullptr);
  EXPECT_EQ(LoadPopupMenu(9999, 0), nullptr);
}

TEST(ResourcesQt, MainMenuAndToolbar) {
  QMenuBar bar;
  FillMenuBar(&bar, 1500);
  QStringList titles;
  for (const QAction* action : bar.actions()) titles << action->text();
  EXPECT_EQ(titles, (QStringList{QStringLiteral("&File"), QStringLiteral("&Configure"),
                                 QStringLiteral("&Raid"), QStringLiteral("&Help")}));
  const std::vector<std::pair<unsigned, QString>> configure = {
      {32782, QStringLiteral("&Configure...")},
      {0, QString()},
      {32783, QStringLiteral("&Save to file")},
      {32784, QStringLiteral("Copy to clip &board")},
      {32785, QStringLiteral("Send by &e-mail")}};
  EXPECT_EQ(Items(bar.actions()[1]->menu()), configure);
  EXPECT_NE(FindById<QAction>(&bar, 57665), nullptr);

  QToolBar toolbar;
  FillToolBar(&toolbar, 1503);
  std::vector<unsigned> ids;
  for (const QAction* action : toolbar.actions()) ids.push_back(CommandIdOf(action).value_or(0));
  EXPECT_EQ(ids, (std::vector<unsigned>{32774, 0, 32775, 32776, 32777, 0, 32778, 0, 32780, 32779}));
  for (const QAction* action : toolbar.actions()) {
    if (!action->isSeparator()) {
      EXPECT_FALSE(action->icon().isNull());
    }
  }
}

TEST(Tray, SystemTrayFollowsTheDesktop) {
  SystemTrayHost tray;
  // No notification area offscreen or on a bare X server: refused, not shown.
  if (!tray.Available()) {
    EXPECT_FALSE(tray.Add(LoadIcon(130), QStringLiteral("Kestrune")));
  }
  // Offscreen none can ever come, so the program does not wait for one.
  if (QGuiApplication::platformName() == QLatin1String("offscreen")) {
    EXPECT_FALSE(tray.MayAppear());
  }
  tray.SetIcon(LoadIcon(131));  // harmless without an icon
  tray.Remove();
}

TEST(Tray, FakeRecordsAndClicks) {
  FakeTrayHost tray;
  QSignalSpy left(&tray, &TrayHost::LeftButtonReleased);
  QSignalSpy right(&tray, &TrayHost::RightButtonPressed);
  tray.SetAvailable(false);
  EXPECT_FALSE(tray.Add(LoadIcon(130), QStringLiteral("Kestrune")));
  EXPECT_FALSE(tray.Shown());
  tray.SetAvailable(true);
  ASSERT_TRUE(tray.Add(LoadIcon(130), QStringLiteral("Kestrune")));
  EXPECT_TRUE(tray.Shown());
  EXPECT_EQ(tray.Tip(), QStringLiteral("Kestrune"));
  tray.SetIcon(LoadIcon(131));
  EXPECT_EQ(tray.Icon().pixmap(16, 16).toImage(), Image(131));
  tray.SimulateLeftClick(QPoint(5, 6));
  tray.SimulateRightClick(QPoint(7, 8));
  ASSERT_EQ(left.size(), 1);
  ASSERT_EQ(right.size(), 1);
  EXPECT_EQ(right.front().front().toPoint(), QPoint(7, 8));
  tray.Remove();
  EXPECT_FALSE(tray.Shown());
  using Call = FakeTrayHost::Call;
  EXPECT_EQ(tray.Calls(), (std::vector<Call>{Call::Add, Call::Add, Call::SetIcon, Call::Remove}));
  EXPECT_EQ(tray.CallCount(Call::Add), 2);
}

}  // namespace
}  // namespace kestrune::platform_qt
