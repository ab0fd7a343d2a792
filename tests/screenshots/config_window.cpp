// The configuration window on each node kind and page (default scenario, a
// short log for the Events page), the old-style channel page, the event
// popup and the About box. The README's picture comes from here.
#include <unistd.h>

#include <QApplication>
#include <QPixmap>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>

#include "app/about_box.h"
#include "app/event_popup.h"
#include "controller/adapter_keys.h"
#include "controller/controller_io.h"
#include "events/log_file.h"
#include "platform/manual_clock.h"
#include "platform/recording_ui.h"
#include "platform/text.h"
#include "settings/app_settings.h"
#include "shots.h"
#include "simulator/scenario.h"
#include "support/test_machine.h"
#include "views/config_tree_dlg.h"
#include "views/prop_page_array_mbrs.h"

namespace kestrune::shots {
namespace {

using views::NodeRef;

// The window over a machine of its own.
struct Rig {
  std::shared_ptr<platform::RecordingUi> ui = std::make_shared<platform::RecordingUi>();
  std::shared_ptr<platform::ManualClock> clock = std::make_shared<platform::ManualClock>();
  machine::Machine machine;
  std::unique_ptr<ctl::CControllerIo> io;
  std::unique_ptr<settings::AppSettings> settings;
  std::unique_ptr<views::CConfigTreeDlg> window;

  explicit Rig(sim::Scenario scenario) {
    scenario.timeline.clear();
    machine = test::MakeTestMachine(test::TestMachineOptions(std::move(scenario), clock));
    io = std::make_unique<ctl::CControllerIo>(machine.ControllerServices(ui));
    io->ReadComputerInfo();
    io->Discover();
    settings = std::make_unique<settings::AppSettings>(machine.Registry(), ui);
    settings->Load(ctl::ComputerName(*io), ctl::AdapterKeyOpener(*io));
  }
  views::CConfigTreeDlg& Open(bool wizardOffered) {
    views::ConfigViewServices services;
    services.io = io.get();
    services.settings = settings.get();
    services.ui = ui.get();
    services.windowTitleName = L"Kestrune";
    services.wizardOffered = wizardOffered;
    window = std::make_unique<views::CConfigTreeDlg>(std::move(services));
    window->show();
    return *window;
  }
};

bool ShootConfigWindow(const QString& folder) {
  bool ok = true;
  Rig rig(sim::DefaultScenario());
  const auto log = std::filesystem::temp_directory_path() /
                   ("kestrune-screenshots-" + std::to_string(::getpid()) + ".txt");
  rig.settings->SetLogFileLocation(platform::FromUtf8(log.parent_path().string() + "/"));
  rig.settings->SetLogFileName(platform::FromUtf8(log.filename().string()));
  rig.settings->SetLogFileEnabled(L"TRUE");
  {
    const std::wstring path = rig.settings->LogFilePath();
    evt::OpenLogFile(path, true);
    for (const wchar_t* entry :
         {L"15-January-2026 10:00.00\tKestrune Event Logger Started\n",
          L"15-January-2026 10:00.00\tKestrune Event writer starting up.\n",
          L"15-January-2026 10:00.15\tThe Channel 1 Device on adapter 0, BV RAID SET, has "
          L"dropped from its set.\n",
          L"15-January-2026 10:00.35\tRebuild of BV RAID SET on adapter 0 is complete.\n"})
      evt::WriteLogEntry(path, entry, true);
  }

  views::CConfigTreeDlg& window = rig.Open(true);
  struct Shot {
    NodeRef node;
    int tab;
    const char* name;
  };
  const Shot shots[] = {
      {NodeRef::Computer(), 0, "config-computer"},  {NodeRef::Computer(), 1, "config-events"},
      {NodeRef::Adapter(0), 0, "config-adapter"},   {NodeRef::Channel(0, 1), 0, "config-channel"},
      {NodeRef::Device(0, 3, 0), 0, "config-device"},
      {NodeRef::Device(0, 3, 0), 1, "config-device-smart"},
      {NodeRef::Device(0, 3, 0), 2, "config-device-identify"},
      {NodeRef::Sets(0), 0, "config-sets"},
      {NodeRef::Set(0, 0), 0, "config-set"},
  };
  for (const Shot& shot : shots) {
    window.SelectNode(shot.node);
    window.Sheet()->SetActivePage(shot.tab);
    ok = Save(window, folder, shot.name) && ok;
  }
  std::filesystem::remove(log);

  {
    // A mirror whose second member is being rebuilt, and a striped set over
    // the other two disks.
    sim::Scenario scenario = sim::DefaultScenario();
    sim::AdapterSpec& adapter = scenario.adapters[0];
    adapter.spares.clear();
    adapter.sets[0].members[1].state = sim::MemberState::Rebuild;
    sim::SetSpec striped;
    striped.type = sim::SetType::Striped;
    striped.name = "BV STRIPED SET";
    striped.members = {{2, 0}, {3, 1}};
    adapter.sets.push_back(striped);
    Rig sets(scenario);
    sets.settings->SetDebugModeEnabled(L"TRUE");  // "Stop Rebuild" shown during the rebuild
    views::CConfigTreeDlg& setsWindow = sets.Open(true);
    setsWindow.SelectNode(NodeRef::Set(0, 1));
    ok = Save(setsWindow, folder, "config-set-striped") && ok;
    setsWindow.SelectNode(NodeRef::Set(0, 0));
    setsWindow.Sheet()->SetActivePage(2);
    ok = Save(setsWindow, folder, "config-set-smart") && ok;
    // Seven seconds into the rebuild, one refresh of the Members page.
    setsWindow.Sheet()->SetActivePage(1);
    sets.clock->Advance(std::chrono::seconds(7));
    static_cast<views::CPropPageArrayMbrs*>(setsWindow.Sheet()->ActivePage())->Refresh();
    ok = Save(setsWindow, folder, "config-set-members") && ok;
  }

  {
    // Without an extended adapter the channels have their first page.
    sim::Scenario scenario = sim::DefaultScenario();
    scenario.adapters.erase(scenario.adapters.begin());
    Rig old(scenario);
    views::CConfigTreeDlg& oldWindow = old.Open(false);
    oldWindow.SelectNode(NodeRef::Channel(0, 0));
    ok = Save(oldWindow, folder, "config-channel-old") && ok;
  }

  app::CEventPopupDlg popup([] {});
  popup.show();
  ok = Save(popup, folder, "popup") && ok;

  ctl::ProgramInfo program;
  program.productName = L"Kestrune";
  program.companyName = L"Brevalis";
  program.productVersion = L"1.0.0";
  program.legalCopyright = L"Copyright (C) 2026 Brevalis";
  app::CAboutBox about(L"Kestrune", L"Kestrune", program, QCursor(Qt::PointingHandCursor),
                       [](const std::wstring&) {});
  about.show();
  ok = Save(about, folder, "about") && ok;
  return ok;
}

const FamilyEntry kConfig(QStringLiteral("config"), &ShootConfigWindow);

}  // namespace
}  // namespace kestrune::shots
