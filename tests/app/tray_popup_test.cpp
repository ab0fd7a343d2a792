// The tray icon, its menu and the event popup with real mouse events: Exit
// chosen in a menu, clicks on the icon during the splash, while a modal window
// is up and while the configuration window is minimised, and the popup's way
// to the foreground.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QImage>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <filesystem>
#include <string>

#include "app_rig.h"
#include "platform_qt/command_table.h"
#include "platform_qt/qt_ui_services.h"
#include "resources/resource_ids.h"
#include "wizard/wizard_raid.h"

namespace kestrune::test {
namespace {

QAction* ActionWithId(QWidget* menu, unsigned id) {
  for (QAction* action : menu->actions()) {
    if (platform_qt::CommandIdOf(action) == id) return action;
  }
  return nullptr;
}

void ClickAction(QMenu* menu, QAction* action) {
  QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
}

// A click as the window system delivers it, to the widget's window: what a
// modal window blocks stays blocked.
void ClickAt(QWidget* widget, Qt::MouseButton button, QPoint pos) {
  QWidget* window = widget->window();
  ASSERT_NE(window->windowHandle(), nullptr);
  QTest::mouseClick(window->windowHandle(), button, {}, widget->mapTo(window, pos));
}

void Press(QWidget* widget, Qt::MouseButton button) {
  ClickAt(widget, button, QPoint(5, 5));
}

void ClickButton(QPushButton* button) {
  ClickAt(button, Qt::LeftButton, button->rect().center());
}

// A logo for the splash, in a folder of its own.
struct Logo {
  std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("kestrune-tray-logo-" + std::to_string(::getpid()));
  QString path;
  Logo() {
    std::filesystem::create_directories(folder);
    path = QString::fromStdString((folder / "logo.bmp").string());
    QImage image(64, 32, QImage::Format_RGB32);
    image.fill(Qt::darkBlue);
    image.save(path, "BMP");
  }
  ~Logo() { std::filesystem::remove_all(folder); }
};

TEST(ExitCommand, ChosenInATrayMenuItLeavesTheMenuAliveUntilItsSignalHasReturned) {
  AppRig rig(QuietScenario());
  ASSERT_EQ(rig.app->InitInstance(), app::kExitOk);
  Press(rig.tray->IconWidget(), Qt::RightButton);
  QPointer<QMenu> menu = rig.Frame().TrayMenu();
  ASSERT_FALSE(menu.isNull());
  ASSERT_TRUE(menu->isVisible());
  QAction* exitAction = ActionWithId(menu, res::kCmdExit);
  ASSERT_NE(exitAction, nullptr);
  // Runs after the command's own handler, still inside the menu's signal.
  bool aliveInSignal = false;
  QObject::connect(exitAction, &QAction::triggered, [&] { aliveInSignal = !menu.isNull(); });
  ClickAction(menu, exitAction);
  EXPECT_TRUE(aliveInSignal);
  EXPECT_TRUE(SpinUntil([&] { return rig.quits == 1; }));
  EXPECT_FALSE(rig.tray->Shown());
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(menu.isNull());
  // A second Exit (a queued one, say) does nothing more.
  rig.app->Exit();
  EXPECT_EQ(rig.quits, 1);
}

TEST(ExitCommand, ChosenInTheWindowsFileMenuLeavesTheWindowAliveUntilItsSignalHasReturned) {
  AppRig rig(QuietScenario());
  ASSERT_EQ(rig.app->InitInstance(), app::kExitOk);
  Press(rig.tray->IconWidget(), Qt::LeftButton);
  QPointer<QWidget> window = rig.Frame().ConfigurationWindow();
  ASSERT_FALSE(window.isNull());
  auto* bar = window->findChild<QMenuBar*>(QStringLiteral("menuBar"));
  ASSERT_NE(bar, nullptr);
  QMenu* file = bar->actions().front()->menu();
  ASSERT_NE(file, nullptr);
  file->popup(window->mapToGlobal(QPoint(0, 0)));
  QAction* exitAction = ActionWithId(file, res::kCmdExit);
  ASSERT_NE(exitAction, nullptr);
  bool aliveInSignal = false;
  QObject::connect(exitAction, &QAction::triggered, [&] { aliveInSignal = !window.isNull(); });
  ClickAction(file, exitAction);
  EXPECT_TRUE(aliveInSignal);
  EXPECT_TRUE(SpinUntil([&] { return rig.quits == 1 && window.isNull(); }));
  EXPECT_EQ(rig.Frame().Io(), nullptr);
}

TEST(ExitCommand, ABoxWaitingForAnAnswerIsClosedAndItsCallerReturnsFirst) {
  AppRig rig(QuietScenario());
  ASSERT_EQ(rig.app->InitInstance(), app::kExitOk);
  platform_qt::QtUiServices boxes;
  // Should the exit leave the box up, the test fails instead of waiting.
  QTimer guard;
  guard.setSingleShot(true);
  QObject::connect(&guard, &QTimer::timeout, [] { platform_qt::CloseWaitingBoxes(); });
  guard.start(5000);
  // The tray menu's Exit, chosen while a window's handler waits in a box.
  QTimer::singleShot(0, qApp, [&] {
    EXPECT_EQ(platform_qt::WaitingBoxes(), 1);
    rig.Route(res::kCmdExit);
  });
  const platform::MsgResult answer = boxes.MessageBox(
      L"Purge?", L"Kestrune", platform::MsgButtons::YesNo, platform::MsgIcon::Question);
  EXPECT_EQ(answer, platform::ClosedAnswer(platform::MsgButtons::YesNo));
  EXPECT_EQ(platform_qt::WaitingBoxes(), 0);
  // The caller runs on with everything it uses still there.
  EXPECT_EQ(rig.quits, 0);
  EXPECT_NE(rig.Frame().Io(), nullptr);
  EXPECT_TRUE(SpinUntil([&] { return rig.quits == 1; }));
  EXPECT_EQ(rig.Frame().Io(), nullptr);
}

TEST(ExitCommand, WindowsOverTheSettingsAndTheLoggerGoBeforeThem) {
  bool loggerWhenSheetWent = false;
  AppRig rig(QuietScenario(), UniqueInstanceName(), [&](app::FrameServices& services) {
    services.makeConfigurationSheet = [&]() -> QWidget* {
      auto* sheet = new QWidget;
      QObject::connect(sheet, &QObject::destroyed, [&] {
        loggerWhenSheetWent = rig.Frame().Logger() != nullptr && rig.Frame().Settings() != nullptr;
      });
      return sheet;
    };
  });
  ASSERT_EQ(rig.app->InitInstance(), app::kExitOk);
  ASSERT_TRUE(rig.Route(res::kCmdConfigure));
  ASSERT_NE(rig.Frame().ConfigurationSheet(), nullptr);
  rig.app->Exit();
  EXPECT_TRUE(loggerWhenSheetWent);
}

TEST(TrayIcon, PressesDuringTheSplash) {
  struct Case {
    const char* name;
    bool onIcon;
    Qt::MouseButton button;
    bool windowOpens;
    bool menuOpens;
    bool splashStays;
  };
  const Case cases[] = {
      // The icon's click opens the window and ends the splash.
      {"left on the icon", true, Qt::LeftButton, true, false, false},
      // The icon's menu opens; its own clicks are its own.
      {"right on the icon", true, Qt::RightButton, false, true, true},
      // Anywhere else the press only ends the splash.
      {"left elsewhere", false, Qt::LeftButton, false, false, false},
  };
  const Logo logo;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    AppRig rig(QuietScenario(), UniqueInstanceName(),
               [&](app::FrameServices& services) { services.logoPath = logo.path; });
    ASSERT_EQ(rig.app->InitInstance(), app::kExitOk);
    QPointer<app::CSplashWindow> splash = rig.Frame().Splash();
    ASSERT_FALSE(splash.isNull());
    QWidget elsewhere;
    elsewhere.resize(40, 40);
    elsewhere.show();
    Press(c.onIcon ? rig.tray->IconWidget() : &elsewhere, c.button);
    EXPECT_EQ(rig.Frame().ConfigurationWindow() != nullptr, c.windowOpens);
    EXPECT_EQ(rig.Frame().TrayMenu() != nullptr, c.menuOpens);
    if (c.splashStays) {
      EXPECT_TRUE(splash->isVisible());
    } else {
      EXPECT_TRUE(SpinUntil([&] { return splash.isNull(); }));
    }
    if (QMenu* menu = rig.Frame().TrayMenu()) {
      // A click into the menu reaches it: Configure opens the sheet.
      int sheets = 0;
      QAction* configure = ActionWithId(menu, res::kCmdConfigureTray);
      ASSERT_NE(configure, nullptr);
      QObject::connect(configure, &QAction::triggered, [&] { ++sheets; });
      ClickAction(menu, configure);
      EXPECT_EQ(sheets, 1);
    }
  }
}

TEST(TrayIcon, LeftClickBringsAMinimisedConfigurationWindowBack) {
  AppRig rig(QuietScenario());
  ASSERT_EQ(rig.app->InitInstance(), app::kExitOk);
  Press(rig.tray->IconWidget(), Qt::LeftButton);
  QWidget* window = rig.Frame().ConfigurationWindow();
  ASSERT_NE(window, nullptr);
  window->showMinimized();
  ASSERT_TRUE(window->isMinimized());
  Press(rig.tray->IconWidget(), Qt::LeftButton);
  EXPECT_EQ(rig.Frame().ConfigurationWindow(), window);
  EXPECT_FALSE(window->isMinimized());
  EXPECT_TRUE(window->isVisible());
}

// The modal windows the program has: the RAID wizard and the About box.
TEST(TrayIcon, WorksWhileAModalWindowIsUpAndThePopupStandsOverIt) {
  const struct {
    const char* name;
    unsigned command;
  } modals[] = {{"wizard", res::kCmdRaidWizard}, {"About box", res::kCmdAbout}};
  for (const auto& m : modals) {
    SCOPED_TRACE(m.name);
    AppRig rig(QuietScenario(), UniqueInstanceName(), [](app::FrameServices& services) {
      services.makeRaidWizard = wizard::MakeRaidWizard;
    });
    ASSERT_EQ(rig.app->InitInstance(), app::kExitOk);
    ASSERT_TRUE(rig.Route(m.command));
    QWidget* modal = QApplication::activeModalWidget();
    ASSERT_NE(modal, nullptr);
    ASSERT_NE(modal->windowModality(), Qt::NonModal);

    Press(rig.tray->IconWidget(), Qt::RightButton);
    ASSERT_NE(rig.Frame().TrayMenu(), nullptr);
    rig.Frame().TrayMenu()->close();
    Press(rig.tray->IconWidget(), Qt::LeftButton);
    EXPECT_NE(rig.Frame().ConfigurationWindow(), nullptr);

    rig.Frame().PostShowPopup();
    ASSERT_TRUE(SpinUntil([&] { return rig.Frame().Popup() != nullptr; }));
    QPointer<app::CEventPopupDlg> popup = rig.Frame().Popup();
    ASSERT_NE(popup->windowHandle(), nullptr);
    EXPECT_EQ(popup->windowHandle()->transientParent(), modal->windowHandle());
    // Its OK takes the click although the modal window is up.
    ClickButton(platform_qt::FindById<QPushButton>(popup, 1));
    EXPECT_TRUE(SpinUntil([&] { return popup.isNull(); }));
    EXPECT_EQ(rig.Frame().Popup(), nullptr);
    EXPECT_EQ(QApplication::activeModalWidget(), modal);
  }
}

TEST(EventPopup, AMinimisedPopupComesBackAtTheNextEvent) {
  AppRig rig(QuietScenario());
  ASSERT_EQ(rig.app->InitInstance(), app::kExitOk);
  rig.Frame().PostShowPopup();
  ASSERT_TRUE(SpinUntil([&] { return rig.Frame().Popup() != nullptr; }));
  app::CEventPopupDlg* popup = rig.Frame().Popup();
  popup->showMinimized();
  rig.Frame().PostShowPopup();
  EXPECT_TRUE(SpinUntil([&] { return !popup->isMinimized(); }));
  EXPECT_EQ(rig.Frame().Popup(), popup);
  EXPECT_TRUE(popup->isVisible());
}

TEST(EventPopup, AnEventBetweenOkAndItsClosedMessageShowsAFreshPopup) {
  AppRig rig(QuietScenario());
  ASSERT_EQ(rig.app->InitInstance(), app::kExitOk);
  rig.Frame().PostShowPopup();
  ASSERT_TRUE(SpinUntil([&] { return rig.Frame().Popup() != nullptr; }));
  QPointer<app::CEventPopupDlg> first = rig.Frame().Popup();
  // The next event's message is queued before OK posts the popup's own.
  rig.Frame().PostShowPopup();
  ClickButton(platform_qt::FindById<QPushButton>(first, 1));
  EXPECT_TRUE(SpinUntil([&] { return first.isNull(); }));
  QApplication::processEvents();
  ASSERT_NE(rig.Frame().Popup(), nullptr);
  EXPECT_TRUE(rig.Frame().Popup()->isVisible());
}

}  // namespace
}  // namespace kestrune::test
