#include "app/configuration_menu_factory.h"

#include <utility>

#include "settings_ui/configuration_menu.h"

namespace kestrune::app {

std::function<QWidget*()> ConfigurationMenuFactory(std::function<CMainFrame*()> frame) {
  return [frame = std::move(frame)]() -> QWidget* {
    CMainFrame* running = frame ? frame() : nullptr;
    if (running == nullptr || running->Io() == nullptr) return nullptr;
    settings::ConfigurationMenuServices services;
    services.settings = running->Settings();
    services.logger = running->Logger();
    services.dialogs = &running->Ui();
    services.sound = running->SoundService();
    {
      ctl::CControllerIo::Lock lock(*running->Io());
      services.mediaFolder = running->Io()->Model().computer.mediaPath;
    }
    return settings::MakeConfigurationMenu(std::move(services));
  };
}

}  // namespace kestrune::app
