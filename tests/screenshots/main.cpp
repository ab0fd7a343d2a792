// Renders the windows and pages on Qt's offscreen platform from the default
// scenario, one PNG each, into the folder given (docs/screenshots by default).
// Run by scripts/screenshots.sh.
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "app/about_box.h"
#include "app/event_popup.h"
#include "events/log_file.h"
#include "platform/text.h"
#include "views/view_rig.h"

namespace {

using kestrune::views::NodeRef;

bool Save(QWidget& widget, const QDir& folder, const char* name) {
  // Layout requests go round a few times (page, sheet, window).
  for (int i = 0; i < 4; ++i) QApplication::processEvents();
  const QString path = folder.filePath(QString::fromLatin1(name) + QStringLiteral(".png"));
  if (!widget.grab().save(path)) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return false;
  }
  std::printf("%s\n", qPrintable(path));
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  const QDir folder(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("docs/screenshots"));
  if (!QDir().mkpath(folder.path())) return 1;
  bool ok = true;

  namespace kt = kestrune::test;
  kt::ViewRig rig;
  // A log with a few entries for the Events page.
  const auto log = std::filesystem::temp_directory_path() /
                   ("kestrune-screenshots-" + std::to_string(::getpid()) + ".txt");
  rig.settings->SetLogFileLocation(kestrune::platform::FromUtf8(log.parent_path().string() + "/"));
  rig.settings->SetLogFileName(kestrune::platform::FromUtf8(log.filename().string()));
  rig.settings->SetLogFileEnabled(L"TRUE");
  {
    const std::wstring path = rig.settings->LogFilePath();
    kestrune::evt::OpenLogFile(path, true);
    for (const wchar_t* entry :
         {L"15-January-2026 10:00.00\tKestrune Event Logger Started\n",
          L"15-January-2026 10:00.00\tKestrune Event writer starting up.\n",
          L"15-January-2026 10:00.15\tThe Channel 1 Device on adapter 0, BV RAID SET, has "
          L"dropped from its set.\n",
          L"15-January-2026 10:00.35\tRebuild of BV RAID SET on adapter 0 is complete.\n"})
      kestrune::evt::WriteLogEntry(path, entry, true);
  }

  kestrune::views::CConfigTreeDlg& window = rig.Open();
  window.resize(window.minimumSizeHint().expandedTo(window.sizeHint()));
  struct Shot {
    NodeRef node;
    int tab;
    const char* name;
  };
  const Shot shots[] = {
      {NodeRef::Computer(), 0, "config-computer"},
      {NodeRef::Computer(), 1, "config-events"},
      {NodeRef::Adapter(0), 0, "config-adapter"},
      {NodeRef::Channel(0, 1), 0, "config-channel"},
      {NodeRef::Device(0, 3, 0), 0, "config-device"},
      {NodeRef::Sets(0), 0, "config-sets"},
      {NodeRef::Set(0, 0), 0, "config-set"},
  };
  for (const Shot& shot : shots) {
    window.SelectNode(shot.node);
    window.Sheet()->SetActivePage(shot.tab);
    ok = Save(window, folder, shot.name) && ok;
  }

  {
    // Without an extended adapter the channels have their first page.
    kestrune::sim::Scenario scenario = kt::QuietDefault();
    scenario.adapters.erase(scenario.adapters.begin());
    kt::ViewRig old(scenario);
    kestrune::views::CConfigTreeDlg& oldWindow = old.Open(false);
    oldWindow.SelectNode(NodeRef::Channel(0, 0));
    ok = Save(oldWindow, folder, "config-channel-old") && ok;
  }

  kestrune::app::CEventPopupDlg popup([] {});
  popup.show();
  ok = Save(popup, folder, "popup") && ok;

  kestrune::ctl::ProgramInfo program;
  program.productName = L"Kestrune";
  program.companyName = L"Brevalis";
  program.productVersion = L"1.0.0";
  program.legalCopyright = L"Copyright (C) 2026 Brevalis";
  kestrune::app::CAboutBox about(L"Kestrune", L"Kestrune", program, QCursor(Qt::PointingHandCursor),
                                 [](const std::wstring&) {});
  about.show();
  ok = Save(about, folder, "about") && ok;

  std::filesystem::remove(log);
  return ok ? 0 : 1;
}
