// kestrune: the tray program. Lives in the notification area over the
// adapters (simulated unless a driver is present), watching their events.
#include <QApplication>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>

#include "app/configuration_menu_factory.h"
#include "app/manager_app.h"
#include "app/program_files.h"
#include "machine/machine.h"
#include "platform/text.h"
#include "platform_qt/qt_ui_services.h"
#include "platform_qt/tray.h"
#include "wizard/wizard_raid.h"

int main(int argc, char** argv) {
  using namespace kestrune;
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Kestrune"));
  // The main window is never shown; closing a dialog must not end the program.
  QApplication::setQuitOnLastWindowClosed(false);

  auto ui = std::make_shared<platform_qt::QtUiServices>();
  std::string error;
  const machine::Machine machine = machine::MakeMachine({}, error);
  if (!machine) {
    std::fprintf(stderr, "kestrune: %s\n", error.c_str());
    ui->MessageBox(platform::FromUtf8(error), L"Kestrune", platform::MsgButtons::Ok,
                   platform::MsgIcon::Error);
    return 1;
  }

  app::FrameServices services;
  services.controller = machine.ControllerServices(ui);
  services.sound = machine.Sound();
  services.journal = machine.Journal();
  services.tray = std::make_unique<platform_qt::SystemTrayHost>();
  services.program = app::BuildProgramInfo();
  const std::filesystem::path executable = QApplication::applicationFilePath().toStdString();
  std::error_code noFolder;
  const app::ProgramFiles files =
      app::LocateProgramFiles(executable, std::filesystem::current_path(noFolder));
  services.helpPath = platform::FromUtf8(files.help.string());
  services.logoPath = QString::fromStdString(files.logo.string());
  services.makeRaidWizard = wizard::MakeRaidWizard;

  // The configuration sheet works on the frame's settings and logger, which
  // exist once the application has made the frame.
  app::CManagerApp* running = nullptr;
  services.makeConfigurationSheet = app::ConfigurationMenuFactory(
      [&running] { return running != nullptr ? running->MainFrame() : nullptr; });

  app::CManagerApp managerApp(std::move(services));
  running = &managerApp;
  managerApp.SetExecutablePath(executable);
  if (const int code = managerApp.InitInstance(); code != app::kExitOk) return code;
  return QApplication::exec();
}
