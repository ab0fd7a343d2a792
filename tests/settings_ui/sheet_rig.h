// The configuration sheet over the test machine: settings loaded from and
// saved to its in-memory registry, the log file in a private folder, a real
// event logger (or one whose thread could not be made, or none), recorded
// boxes, dialogs and sounds.
#pragma once

#include <QApplication>
#include <QPointer>
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <vector>

#include "controller/adapter_keys.h"
#include "controller/controller_io.h"
#include "events/event_log_thread.h"
#include "platform/manual_clock.h"
#include "platform/recording_sound.h"
#include "platform/recording_ui.h"
#include "platform/temp_dir.h"
#include "platform/text.h"
#include "platform_qt/command_table.h"
#include "settings/app_settings.h"
#include "settings_ui/configuration_menu.h"
#include "support/scenarios.h"
#include "support/test_machine.h"

namespace kestrune::test {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

enum class LoggerKind {
  Running,   // a logger thread that writes entries
  NoThread,  // its thread could not be made at start
  None,      // no logger object at all
};

inline Bytes ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The entries of a log file as text (without the byte-order mark); empty
// when the file does not start with the mark.
inline std::wstring LogText(const std::string& path) {
  const Bytes bytes = ReadBytes(path);
  if (bytes.size() < 2 || bytes[0] != 0xFF || bytes[1] != 0xFE) return {};
  return platform::FromUtf16Le(std::span<const std::uint8_t>(bytes).subspan(2));
}

inline std::size_t Count(const std::wstring& text, const std::wstring& what) {
  std::size_t n = 0;
  for (auto at = text.find(what); at != std::wstring::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

inline const std::wstring kPauseTaken = L"Kestrune Event writer shutting down.\r\n";
inline const std::wstring kResumed = L"Kestrune Event writer starting up.\r\n";
inline const std::wstring kStarted = L"Kestrune Event Logger Started\r\n";

struct SheetRig {
  ::kestrune::testing::TempDir dir;
  std::shared_ptr<platform::ManualClock> clock = std::make_shared<platform::ManualClock>();
  machine::Machine machine;
  std::shared_ptr<platform::RecordingUi> ui = std::make_shared<platform::RecordingUi>();
  std::shared_ptr<platform::RecordingSound> sound = std::make_shared<platform::RecordingSound>();
  std::unique_ptr<ctl::CControllerIo> io;
  std::unique_ptr<settings::AppSettings> settings;
  std::unique_ptr<evt::EventLogger> logger;
  QPointer<settings::ConfigurationMenu> menu;

  std::mutex mutex;
  std::condition_variable changed;
  std::vector<evt::LogEntryKind> entries;
  // Runs on the logger thread right after an entry went into the file.
  std::function<void(evt::LogEntryKind)> afterEntry;

  explicit SheetRig(LoggerKind kind = LoggerKind::Running) {
    sim::Scenario scenario;
    scenario.adapters = {ExtendedRaidAdapter()};
    machine = MakeTestMachine(TestMachineOptions(std::move(scenario), clock));
    io = std::make_unique<ctl::CControllerIo>(machine.ControllerServices(ui));
    io->ReadComputerInfo();
    io->Discover();
    settings = std::make_unique<settings::AppSettings>(machine.Registry(), ui);
    settings->Load(L"TESTHOST", ctl::AdapterKeyOpener(*io));
    auto values = settings->Get();
    values.logFileLocation = platform::FromUtf8(dir.path().string()) + L"/";
    values.logFileName = L"events.txt";
    values.logFileEnabled = L"TRUE";
    values.eventList = L"ops@example.com;Admin@Example.com;";
    settings->Set(values);
    settings->Save();
    if (kind == LoggerKind::None) return;

    evt::EventLogThreadOptions options;
    options.pollInterval = 1h;  // no polls: only the handshake writes
    options.onEntry = [this](evt::LogEntryKind entryKind, const std::wstring&) {
      if (afterEntry) afterEntry(entryKind);
      {
        std::lock_guard lock(mutex);
        entries.push_back(entryKind);
      }
      changed.notify_all();
    };
    evt::ThreadLauncher launcher;
    if (kind == LoggerKind::NoThread) {
      launcher = [](std::function<void()>) -> std::thread {
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
      };
    }
    logger = std::make_unique<evt::EventLogger>(
        evt::EventLoggerServices{{io.get(), settings.get(), nullptr, sound, clock, {}}, ui, {}},
        options, std::move(launcher));
    logger->Start();
    if (kind == LoggerKind::Running) WaitFor(evt::LogEntryKind::Resumed);
  }

  ~SheetRig() {
    delete menu.data();
    logger.reset();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }

  // The dialog as the Configure command opens it.
  settings::ConfigurationMenu& Open() {
    settings::ConfigurationMenuServices services;
    services.settings = settings.get();
    services.logger = logger.get();
    services.dialogs = ui.get();
    services.sound = sound.get();
    services.mediaFolder = L"/kestrune-sim/WINDOWS/Media";
    services.smtpPasswordPath = File("smtp-password");
    menu = settings::MakeConfigurationMenu(std::move(services));
    menu->show();
    return *menu;
  }
  // Shows page `index` (0 = SMTP ... 6 = Popup) as a click on its tab would.
  void ShowPage(int index) { menu->Sheet()->SetActivePage(index); }
  void PressOk() { platform_qt::FindById<QPushButton>(menu.data(), 1)->click(); }
  void PressCancel() { platform_qt::FindById<QPushButton>(menu.data(), 2)->click(); }
  // Whether the dialog is gone (deferred deletions run).
  bool MenuGone() {
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return menu.isNull();
  }

  template <typename T = QWidget>
  T* Control(unsigned id) {
    return platform_qt::FindById<T>(menu.data(), id);
  }

  std::size_t CountOf(evt::LogEntryKind kind) {
    std::lock_guard lock(mutex);
    return static_cast<std::size_t>(std::count(entries.begin(), entries.end(), kind));
  }
  // Waits until the logger made `count` entries of a kind in all.
  bool WaitFor(evt::LogEntryKind kind, std::size_t count = 1) {
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, 30s, [&] {
      return static_cast<std::size_t>(std::count(entries.begin(), entries.end(), kind)) >= count;
    });
  }

  std::string File(const std::string& name) const { return dir.File(name); }
  std::string LogPath() const { return File("events.txt"); }

  // A value as the registry holds it now.
  std::wstring StoredText(const wchar_t* name) {
    std::array<std::uint8_t, 1024> buffer{};
    platform::RegType type = platform::RegType::None;
    std::size_t size = 0;
    machine.Registry()->QueryValue(settings->Key(), name, type, buffer, size);
    return platform::DecodeRegSz(std::span<const std::uint8_t>(buffer).first(size));
  }
};

}  // namespace kestrune::test
