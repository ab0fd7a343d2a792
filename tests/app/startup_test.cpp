// Start-up, names, tray icon and menu, single instance and the exit order.
#include <gtest/gtest.h>

#include <QAction>
#include <QFileInfo>
#include <QMenu>
#include <QProcess>
#include <QSignalSpy>
#include <ctime>
#include <fstream>
#include <optional>

#include "app_rig.h"
#include "instance_probe.h"
#include "platform_qt/resources_qt.h"
#include "resources/resource_ids.h"

namespace kestrune::test {
namespace {

using app::CMainFrame;

std::vector<int> MenuIds(QMenu* menu) {
  std::vector<int> ids;
  for (QAction* action : menu->actions()) {
    const auto id = platform_qt::CommandIdOf(action);
    ids.push_back(action->isSeparator() ? 0 : (id ? static_cast<int>(*id) : -1));
  }
  return ids;
}

TEST(StartUp, RaidMachineRunsWithTrayLoggerAndKestruneNames) {
  AppRig rig(QuietScenario());
  ASSERT_EQ(rig.app->InitInstance(), app::kExitOk);
  CMainFrame& frame = rig.Frame();
  EXPECT_FALSE(frame.isVisible());
  EXPECT_TRUE(rig.tray->Shown());
  EXPECT_EQ(rig.tray->Tip(), QStringLiteral("Kestrune"));
  EXPECT_EQ(rig.tray->Icon().cacheKey(), frame.NormalIcon().cacheKey());
  EXPECT_EQ(frame.ProductDisplayName(), L"Kestrune");
  EXPECT_EQ(frame.WindowTitleName(), L"Kestrune");
  EXPECT_TRUE(frame.RaidAdapter());
  EXPECT_TRUE(rig.app->WizardFlag());
  EXPECT_TRUE(frame.WizardOffered());
  ASSERT_NE(frame.Logger(), nullptr);
  EXPECT_TRUE(frame.Logger()->Thread()->HasThread());
  EXPECT_EQ(frame.LinkCursor().shape(), platform_qt::LoadCursor(res::kCursorLink).shape());
  // No logo: no splash, and nothing was asked of the user.
  EXPECT_EQ(frame.Splash(), nullptr);
  EXPECT_EQ(rig.ui->MessageCount(), 0u);
  {
    ctl::CControllerIo::Lock lock(*frame.Io());
    EXPECT_EQ(frame.Io()->Model().program.productName, L"Kestrune");
    EXPECT_GT(frame.Io()->Model().entryCount, 1u);
  }
}

TEST(StartUp, WithoutRaidChipEverythingSaysNorvasse) {
  AppRig rig(StandardOnlyScenario());
  ASSERT_EQ(rig.app->InitInstance(), app::kExitOk);
  EXPECT_EQ(rig.tray->Tip(), QStringLiteral("Norvasse"));
  EXPECT_EQ(rig.Frame().ProductDisplayName(), L"Norvasse");
  EXPECT_EQ(rig.Frame().WindowTitleName(), L"Norvasse");
  EXPECT_FALSE(rig.Frame().WizardOffered());
}

TEST(StartUp, LongProductNameIsCutToTheTipLength) {
  AppRig rig(QuietScenario(), UniqueInstanceName(), [](app::FrameServices& services) {
    services.program.productName = std::wstring(300, L'K');
  });
  ASSERT_EQ(rig.app->InitInstance(), app::kExitOk);
  EXPECT_EQ(rig.tray->Tip(), QString(127, QLatin1Char('K')));
}

TEST(StartUp, NoNotificationAreaSaysSoAndFails) {
  AppRig rig(QuietScenario());
  rig.tray->SetAvailable(false);
  const auto start = rig.clock->Now();
  EXPECT_EQ(rig.app->InitInstance(), app::kExitFrameFailed);
  // Only after waiting the whole 30 seconds for one (the tray host went with
  // the frame, so its count of looks cannot be read here).
  EXPECT_EQ(rig.clock->Now() - start, std::chrono::seconds(30));
  ASSERT_EQ(rig.ui->MessageCount(), 1u);
  EXPECT_EQ(rig.ui->LastMessage()->text,
            L"Kestrune needs a notification area (system tray), and this desktop has none.");
  // The frame is gone, and the tray host it owned with it.
  EXPECT_EQ(rig.app->MainFrame(), nullptr);
  rig.tray = nullptr;
}

// A notification area that comes after the program (at session start) is
// waited for; where none can ever come, nothing is waited for.
TEST(StartUp, NotificationAreaIsWaitedForABoundedTime) {
  struct Case {
    const char* what;
    int availableAfterLooks;  // 0: never
    bool mayAppear;
    int exitCode;
    std::chrono::milliseconds waited;
  };
  const Case cases[] = {
      {"appears after 3 s", 7, true, app::kExitOk, std::chrono::milliseconds(3000)},
      {"appears at the last look", 61, true, app::kExitOk, std::chrono::milliseconds(30000)},
      {"never appears", 0, true, app::kExitFrameFailed, std::chrono::milliseconds(30000)},
      {"cannot appear", 0, false, app::kExitFrameFailed, std::chrono::milliseconds(0)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    platform_qt::FakeTrayHost* tray = nullptr;
    AppRig rig(QuietScenario(), UniqueInstanceName(), [&](app::FrameServices& services) {
      tray = static_cast<platform_qt::FakeTrayHost*>(services.tray.get());
      auto pause = services.trayPause;
      services.trayPause = [&, pause](std::chrono::milliseconds span) {
        pause(span);
        if (tray->AvailabilityLooks() + 1 == c.availableAfterLooks) tray->SetAvailable(true);
      };
    });
    tray->SetAvailable(false);
    tray->SetMayAppear(c.mayAppear);
    const auto start = rig.clock->Now();
    EXPECT_EQ(rig.app->InitInstance(), c.exitCode);
    EXPECT_EQ(rig.clock->Now() - start, c.waited);
    EXPECT_EQ(rig.ui->MessageCount(), c.exitCode == app::kExitOk ? 0u : 1u);
    if (c.exitCode == app::kExitOk) {
      EXPECT_TRUE(rig.tray->Shown());
    } else {
      rig.tray = nullptr;  // gone with the frame
    }
  }
}

TEST(StartUp, RefusedIconEndsWithoutAMessage) {
  AppRig rig(QuietScenario());
  rig.tray->SetAddResult(false);
  EXPECT_EQ(rig.app->InitInstance(), app::kExitFrameFailed);
  EXPECT_EQ(rig.ui->MessageCount(), 0u);
  EXPECT_EQ(rig.app->MainFrame(), nullptr);
}

TEST(StartUp, SecondCopyIsRefusedAndAsksTheFirstToComeForward) {
  const QString name = UniqueInstanceName();
  AppRig first(QuietScenario(), name);
  ASSERT_EQ(first.app->InitInstance(), app::kExitOk);
  QSignalSpy forward(&first.app->Instance(), &app::SingleInstance::comeForward);

  AppRig second(QuietScenario(), name);
  EXPECT_EQ(second.app->InitInstance(), app::kExitAlreadyRunning);
  ASSERT_EQ(second.ui->MessageCount(), 1u);
  EXPECT_EQ(second.ui->LastMessage()->text, L"Application is already running.");
  EXPECT_EQ(second.ui->LastMessage()->buttons, platform::MsgButtons::Ok);
  EXPECT_EQ(second.app->MainFrame(), nullptr);
  EXPECT_TRUE(second.tray->Calls().empty());
  EXPECT_TRUE(SpinUntil([&] { return forward.count() == 1; }));
  EXPECT_TRUE(first.tray->Shown());

  // Once the first has gone, a new copy starts.
  first.app.reset();
  AppRig third(QuietScenario(), name);
  EXPECT_EQ(third.app->InitInstance(), app::kExitOk);
}

// The same across processes: the test program runs itself as the copies.
TEST(StartUp, SecondProcessIsRefusedWhileTheFirstRuns) {
  const QString self = QStringLiteral("/proc/self/exe");
  const QString program = QFileInfo(self).symLinkTarget();
  const QString name = UniqueInstanceName();
  QProcess first;
  first.start(program, {QString::fromLatin1(kInstanceProbeFlag), name});
  ASSERT_TRUE(first.waitForStarted(10000));
  QByteArray firstOut;
  auto readFirst = [&](const char* line) {
    return SpinUntil(
        [&] {
          firstOut += first.readAllStandardOutput();
          return firstOut.contains(line);
        },
        std::chrono::seconds(20));
  };
  ASSERT_TRUE(readFirst("running\n")) << firstOut.constData();

  QProcess second;
  second.start(program, {QString::fromLatin1(kInstanceProbeFlag), name});
  ASSERT_TRUE(second.waitForFinished(20000));
  EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(second.exitCode(), app::kExitAlreadyRunning);
  EXPECT_EQ(second.readAllStandardOutput(), QByteArray("box: Application is already running.\n"));
  // The first copy was asked to come forward and still runs.
  EXPECT_TRUE(readFirst("come forward\n")) << firstOut.constData();
  EXPECT_EQ(first.state(), QProcess::Running);
  first.kill();
  first.waitForFinished(10000);

  // A copy that died leaves nothing in the way of the next one.
  QProcess third;
  third.start(program, {QString::fromLatin1(kInstanceProbeFlag), name});
  QByteArray thirdOut;
  EXPECT_TRUE(SpinUntil(
      [&] {
        thirdOut += third.readAllStandardOutput();
        return thirdOut.contains("running\n");
      },
      std::chrono::seconds(20)))
      << thirdOut.constData();
  third.kill();
  third.waitForFinished(10000);
}

TEST(StartUp, SystemStartTimeIsNowLessUptimeInLocalFileTime) {
  EXPECT_EQ(app::SystemStartTimeFrom(0, 0, 0, 0), 116444736000000000LL);
  EXPECT_EQ(app::SystemStartTimeFrom(10, 500, 3, 3600),
            116444736000000000LL + 10 * 10000000LL + 5 - 3 * 10000000LL + 3600 * 10000000LL);

  double uptime = 0;
  std::ifstream("/proc/uptime") >> uptime;
  ASSERT_GT(uptime, 0);
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  ::localtime_r(&now, &local);
  const std::int64_t expected =
      app::SystemStartTimeFrom(now, 0, static_cast<std::int64_t>(uptime), local.tm_gmtoff);
  EXPECT_NEAR(static_cast<double>(app::ComputeSystemStartTime()), static_cast<double>(expected),
              3 * 1e7);
}

TEST(TrayIcon, AlertAfterASetReadWithADroppedMember) {
  sim::Scenario scenario = QuietScenario();
  bool dropped = false;
  for (auto& adapter : scenario.adapters) {
    for (auto& set : adapter.sets) {
      if (!dropped && set.members.size() > 1) {
        set.members[1].state = sim::MemberState::Dropped;
        dropped = true;
      }
    }
  }
  ASSERT_TRUE(dropped);
  AppRig rig(std::move(scenario));
  ASSERT_EQ(rig.app->InitInstance(), app::kExitOk);
  // Added with the normal icon; the set read's verdict follows on the UI thread.
  EXPECT_TRUE(SpinUntil([&] { return rig.Frame().AlertIconShown(); }));
  EXPECT_EQ(rig.tray->Icon().cacheKey(), rig.Frame().AlertIcon().cacheKey());
}

TEST(TrayIcon, NormalWhenEveryMemberIsCurrentAndBackFromAlert) {
  AppRig rig(QuietScenario());
  ASSERT_EQ(rig.app->InitInstance(), app::kExitOk);
  EXPECT_TRUE(
      SpinUntil([&] { return rig.tray->CallCount(platform_qt::FakeTrayHost::Call::SetIcon) > 0; }));
  EXPECT_FALSE(rig.Frame().AlertIconShown());
  EXPECT_EQ(rig.tray->Icon().cacheKey(), rig.Frame().NormalIcon().cacheKey());

  // A verdict from another thread reaches the tray on the UI thread.
  std::thread([&] { rig.Frame().OnSetHealth(false); }).join();
  EXPECT_TRUE(SpinUntil([&] { return rig.Frame().AlertIconShown(); }));
  EXPECT_EQ(rig.tray->Icon().cacheKey(), rig.Frame().AlertIcon().cacheKey());
  rig.Frame().OnSetHealth(true);
  EXPECT_TRUE(SpinUntil([&] { return !rig.Frame().AlertIconShown(); }));
  EXPECT_EQ(rig.tray->Icon().cacheKey(), rig.Frame().NormalIcon().cacheKey());
}

TEST(TrayMenu, OffersTheWizardOnlyWithARaidChip) {
  const int kSep = 0;
  {
    AppRig rig(QuietScenario());
    ASSERT_EQ(rig.app->InitInstance(), app::kExitOk);
    rig.tray->SimulateRightClick(QPoint(10, 10));
    ASSERT_NE(rig.Frame().TrayMenu(), nullptr);
    EXPECT_EQ(MenuIds(rig.Frame().TrayMenu()),
              (std::vector<int>{32781, 32787, kSep, 57664, 57670, kSep, 57665}));
    rig.Frame().TrayMenu()->close();
  }
  {
    AppRig rig(StandardOnlyScenario());
    ASSERT_EQ(rig.app->InitInstance(), app::kExitOk);
    rig.tray->SimulateRightClick(QPoint(10, 10));
    ASSERT_NE(rig.Frame().TrayMenu(), nullptr);
    EXPECT_EQ(MenuIds(rig.Frame().TrayMenu()),
              (std::vector<int>{32781, kSep, 57664, 57670, kSep, 57665}));
    // Every time it opens.
    rig.Frame().TrayMenu()->close();
    rig.tray->SimulateRightClick(QPoint(10, 10));
    EXPECT_EQ(MenuIds(rig.Frame().TrayMenu()).size(), 6u);
  }
}

TEST(TrayMenu, ChosenItemsGoThroughFrameToApplication) {
  AppRig rig(QuietScenario());
  ASSERT_EQ(rig.app->InitInstance(), app::kExitOk);
  rig.tray->SimulateRightClick();
  QMenu* menu = rig.Frame().TrayMenu();
  ASSERT_NE(menu, nullptr);
  for (QAction* action : menu->actions()) {
    if (platform_qt::CommandIdOf(action) == 57670u) action->trigger();
  }
  EXPECT_EQ(rig.ui->OpenedWithDesktop(),
            (std::vector<std::wstring>{L"/opt/kestrune/bin/kestrune.html"}));
  // Unknown ids reach nobody.
  EXPECT_FALSE(rig.Route(12345));
  // Double clicks and moves give no signal at all; a left click opens the
  // frame's own configuration window.
  rig.tray->SimulateLeftClick();
  EXPECT_NE(rig.Frame().ConfigTree(), nullptr);
}

TEST(TrayIcon, LeftClickOpensTheConfigurationWindowOnceAndRemovesTheSplash) {
  int made = 0;
  AppRig rig(QuietScenario(), UniqueInstanceName(), [&](app::FrameServices& services) {
    services.makeConfigurationWindow = [&] {
      ++made;
      return new QWidget;
    };
  });
  ASSERT_EQ(rig.app->InitInstance(), app::kExitOk);
  EXPECT_FALSE(rig.Frame().MainViewExists());
  rig.tray->SimulateLeftClick();
  ASSERT_NE(rig.Frame().ConfigurationWindow(), nullptr);
  EXPECT_TRUE(rig.Frame().ConfigurationWindow()->isVisible());
  EXPECT_TRUE(rig.Frame().MainViewExists());
  rig.tray->SimulateLeftClick();
  EXPECT_EQ(made, 1);
  rig.Frame().ConfigurationWindow()->close();
  EXPECT_TRUE(SpinUntil([&] { return rig.Frame().ConfigurationWindow() == nullptr; }));
  EXPECT_FALSE(rig.Frame().MainViewExists());
  rig.tray->SimulateLeftClick();
  EXPECT_EQ(made, 2);
}

TEST(Commands, ConfigureAndWizardOpenOnceAndASheetThatCannotBeMadeSaysSo) {
  int sheets = 0;
  int wizards = 0;
  bool sheetFails = true;
  AppRig rig(QuietScenario(), UniqueInstanceName(), [&](app::FrameServices& services) {
    services.makeConfigurationSheet = [&]() -> QWidget* {
      if (sheetFails) return nullptr;
      ++sheets;
      return new QWidget;
    };
    services.makeRaidWizard = [&](ctl::CControllerIo&, platform::UiServices&,
                                  std::function<void()>) -> QWidget* {
      ++wizards;
      return new QWidget;
    };
  });
  ASSERT_EQ(rig.app->InitInstance(), app::kExitOk);
  EXPECT_TRUE(rig.Route(res::kCmdConfigure));
  ASSERT_EQ(rig.ui->MessageCount(), 1u);
  EXPECT_EQ(rig.ui->LastMessage()->text, L"Could not create the Configuration Menu.");
  EXPECT_EQ(rig.Frame().ConfigurationSheet(), nullptr);

  sheetFails = false;
  for (unsigned id : {res::kCmdConfigure, res::kCmdConfigureTool, res::kCmdConfigureTray}) {
    EXPECT_TRUE(rig.Route(id));
  }
  EXPECT_EQ(sheets, 1);
  ASSERT_NE(rig.Frame().ConfigurationSheet(), nullptr);
  EXPECT_TRUE(rig.Frame().ConfigurationSheet()->isVisible());

  for (unsigned id : {res::kCmdRaidWizard, res::kCmdRaidWizardTool, res::kCmdRaidWizardTray}) {
    EXPECT_TRUE(rig.Route(id));
  }
  EXPECT_EQ(wizards, 1);
  EXPECT_EQ(rig.ui->MessageCount(), 1u);
}

TEST(PollDone, RefreshesTheConfigurationWindowOnlyWhileItIsOpen) {
  AppRig rig(QuietScenario(), UniqueInstanceName(), [](app::FrameServices& services) {
    services.makeConfigurationWindow = [] { return new QWidget; };
  });
  ASSERT_EQ(rig.app->InitInstance(), app::kExitOk);
  QSignalSpy refresh(&rig.Frame(), &CMainFrame::pollRefresh);
  // Without the window no poll is passed on.
  rig.Frame().PostPollDone();
  QApplication::processEvents();
  EXPECT_EQ(refresh.count(), 0);
  rig.tray->SimulateLeftClick();
  ASSERT_NE(rig.Frame().ConfigurationWindow(), nullptr);
  ASSERT_TRUE(rig.Poll());
  ASSERT_TRUE(rig.Poll());
  EXPECT_TRUE(SpinUntil([&] { return refresh.count() >= 2; }));
  rig.Frame().ConfigurationWindow()->close();
  ASSERT_TRUE(SpinUntil([&] { return rig.Frame().ConfigurationWindow() == nullptr; }));
  refresh.clear();
  rig.Frame().PostPollDone();
  QApplication::processEvents();
  EXPECT_EQ(refresh.count(), 0);
}

TEST(Exit, StopsTheLoggerBeforeReleasingTheModelThenRemovesTheIcon) {
  AppRig rig(QuietScenario());
  ASSERT_EQ(rig.app->InitInstance(), app::kExitOk);
  rig.Frame().PostShowPopup();
  ASSERT_TRUE(SpinUntil([&] { return rig.Frame().Popup() != nullptr; }));
  // When the icon goes, the logger, the model and the popup are gone already
  // (the logger stopping before the model it reads goes is what the
  // sanitizer stages watch).
  struct AtRemove {
    bool loggerGone = false, modelGone = false, popupGone = false;
  };
  std::optional<AtRemove> atRemove;
  rig.tray->SetOnRemove([&] {
    atRemove = AtRemove{rig.Frame().Logger() == nullptr, rig.Frame().Io() == nullptr,
                        rig.Frame().Popup() == nullptr};
  });
  EXPECT_TRUE(rig.Route(res::kCmdExit));
  // The command only queues the exit: whatever delivered it is still running.
  EXPECT_NE(rig.Frame().Logger(), nullptr);
  EXPECT_NE(rig.Frame().Popup(), nullptr);
  EXPECT_TRUE(rig.tray->Shown());
  EXPECT_EQ(rig.quits, 0);
  QApplication::processEvents();
  ASSERT_TRUE(atRemove.has_value());
  EXPECT_TRUE(atRemove->loggerGone);
  EXPECT_TRUE(atRemove->modelGone);
  EXPECT_TRUE(atRemove->popupGone);
  EXPECT_EQ(rig.Frame().Logger(), nullptr);
  EXPECT_EQ(rig.Frame().Io(), nullptr);
  EXPECT_FALSE(rig.tray->Shown());
  EXPECT_EQ(rig.tray->CallCount(platform_qt::FakeTrayHost::Call::Remove), 1);
  EXPECT_EQ(rig.quits, 1);
  // Late logger messages find nothing to act on.
  rig.Frame().PostShowPopup();
  QApplication::processEvents();
  EXPECT_EQ(rig.Frame().Popup(), nullptr);
}

}  // namespace
}  // namespace kestrune::test
