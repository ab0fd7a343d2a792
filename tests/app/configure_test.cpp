// The Configure commands open the configuration sheet over the frame's own
// settings, logger, dialogs and media folder.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "app/configuration_menu_factory.h"
#include "app_rig.h"
#include "platform_qt/command_table.h"
#include "resources/resource_ids.h"
#include "settings_ui/configuration_menu.h"

namespace kestrune::test {
namespace {

TEST(ConfigureCommand, OpensOneConfigurationMenuOverTheFramesSettingsAndLogger) {
  AppRig* running = nullptr;
  AppRig rig(QuietScenario(), UniqueInstanceName(), [&running](app::FrameServices& services) {
    services.makeConfigurationSheet =
        app::ConfigurationMenuFactory([&running] { return running->app->MainFrame(); });
  });
  running = &rig;
  ASSERT_EQ(rig.app->InitInstance(), app::kExitOk);
  app::CMainFrame& frame = rig.Frame();
  ASSERT_TRUE(frame.Logger()->HoldsLogFile());

  EXPECT_TRUE(rig.Route(res::kCmdConfigure));
  auto* menu = qobject_cast<settings::ConfigurationMenu*>(frame.ConfigurationSheet());
  ASSERT_NE(menu, nullptr);
  EXPECT_TRUE(menu->isVisible());
  EXPECT_TRUE(menu->isWindow());
  EXPECT_FALSE(menu->windowIcon().isNull());
  EXPECT_TRUE(rig.Route(res::kCmdConfigureTray));
  EXPECT_EQ(frame.ConfigurationSheet(), menu);

  // The wave chooser starts in the computer's media folder.
  menu->Sheet()->SetActivePage(5);
  rig.ui->QueueFileAnswer(std::nullopt);
  platform_qt::FindById<QPushButton>(menu, 1401)->click();
  ASSERT_EQ(rig.ui->FileDialogs().size(), 1u);
  EXPECT_EQ(rig.ui->FileDialogs()[0].request.startFolder, L"/kestrune-sim/WINDOWS/Media");

  menu->Sheet()->SetActivePage(0);
  platform_qt::FindById<QLineEdit>(menu, 1389)->setText(QStringLiteral("mail.example.net"));
  menu->Sheet()->SetActivePage(4);
  platform_qt::FindById<QRadioButton>(menu, 1413)->click();
  platform_qt::FindById<QPushButton>(menu, 1)->click();
  EXPECT_TRUE(SpinUntil([&] { return frame.ConfigurationSheet() == nullptr; }));
  EXPECT_EQ(frame.Settings()->SmtpServer(), L"mail.example.net");
  EXPECT_EQ(frame.Settings()->LogFileEnabled(), L"FALSE");
  EXPECT_FALSE(frame.Logger()->HoldsLogFile());
  EXPECT_EQ(rig.ui->MessageCount(), 0u);

  // A new one each time; Cancel closes it too.
  EXPECT_TRUE(rig.Route(res::kCmdConfigureTool));
  ASSERT_NE(frame.ConfigurationSheet(), nullptr);
  platform_qt::FindById<QPushButton>(frame.ConfigurationSheet(), 2)->click();
  EXPECT_TRUE(SpinUntil([&] { return frame.ConfigurationSheet() == nullptr; }));
}

TEST(ConfigureCommand, WithoutARunningFrameNothingCanBeMade) {
  const auto make = app::ConfigurationMenuFactory([] { return nullptr; });
  EXPECT_EQ(make(), nullptr);
}

}  // namespace
}  // namespace kestrune::test
