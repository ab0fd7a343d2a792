// The configuration sheet: the Configuration Menu on each of its seven pages,
// over example settings (no logger, nothing saved).
#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <memory>
#include <string>

#include "machine/machine.h"
#include "platform/recording_sound.h"
#include "platform/recording_ui.h"
#include "settings/app_settings.h"
#include "settings_ui/configuration_menu.h"
#include "shots.h"

namespace kestrune::shots {
namespace {

bool ShootSettingsPages(const QString& folder) {
  machine::MachineOptions options;
  options.registryPath = ":memory:";
  options.sound = std::make_shared<platform::RecordingSound>();
  std::string error;
  const machine::Machine machine = machine::MakeMachine(options, error);
  if (!machine) return false;
  auto ui = std::make_shared<platform::RecordingUi>();
  platform::RecordingSound sound;
  settings::AppSettings settings(machine.Registry(), ui);
  auto values = settings::AppSettings::Defaults(L"RAIDHOST");
  values.smtpServer = L"mail.example.com";
  values.defaultEmail = L"raid-admin@example.com";
  values.eventList = L"ops@example.com;storage-team@example.com;oncall@example.com;";
  values.logFileLocation = L"/var/log/kestrune/";
  values.emailEventLevel = 2;
  values.popupEventLevel = 1;
  values.audioError = L"/usr/share/sounds/alarm.wav";
  settings.Set(values);

  settings::ConfigurationMenuServices services;
  services.settings = &settings;
  services.dialogs = ui.get();
  services.sound = &sound;
  auto* menu = settings::MakeConfigurationMenu(services);
  menu->show();
  bool written = true;
  const QString names[] = {QStringLiteral("1-smtp"),         QStringLiteral("2-email"),
                           QStringLiteral("3-notification"), QStringLiteral("4-event-level"),
                           QStringLiteral("5-log-file"),     QStringLiteral("6-audio"),
                           QStringLiteral("7-popup")};
  for (int page = 0; page < menu->Sheet()->PageCount(); ++page) {
    menu->Sheet()->SetActivePage(page);
    QApplication::processEvents();
    written =
        menu->grab().save(QDir(folder).filePath(names[page] + QStringLiteral(".png"))) && written;
  }
  delete menu;
  return written;
}

const FamilyEntry kSettings(QStringLiteral("settings"), ShootSettingsPages);

}  // namespace
}  // namespace kestrune::shots
