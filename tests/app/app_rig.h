// The tray program over the simulator, with a fake tray, recorded boxes and
// dialogs, and an in-memory registry.
#pragma once

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QWidget>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/manager_app.h"
#include "platform/linux_files.h"
#include "platform/manual_clock.h"
#include "platform/recording_sound.h"
#include "platform/recording_ui.h"
#include "platform/sqlite_registry.h"
#include "platform/system_info.h"
#include "platform_qt/tray.h"
#include "simulator/simulator.h"

namespace kestrune::test {

class FixedSystem final : public platform::SystemInfo {
 public:
  explicit FixedSystem(std::wstring mediaPath) : mediaPath_(std::move(mediaPath)) {}
  std::wstring ComputerName() override { return L"WORKSTATION"; }
  std::wstring OsName() override { return L"Debian GNU/Linux 12 (bookworm)"; }
  std::wstring OsVersion() override { return L"12"; }
  std::wstring OsRelease() override { return L"Linux 6.1.0-18-amd64"; }
  std::wstring MediaPath() override { return mediaPath_; }

 private:
  std::wstring mediaPath_;
};

// Runs the event loop until `done` or five seconds have passed.
inline bool SpinUntil(const std::function<bool()>& done, int timeoutMs = 5000) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > timeoutMs) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 20);
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

// The default scenario without its timeline, so nothing happens by itself.
inline sim::Scenario QuietScenario() {
  sim::Scenario scenario = sim::DefaultScenario();
  scenario.timeline.clear();
  return scenario;
}

// The same machine with no RAID chip: every adapter a standard one.
inline sim::Scenario StandardOnlyScenario() {
  sim::Scenario scenario = QuietScenario();
  for (auto& adapter : scenario.adapters) {
    adapter.chipType = 1;
    adapter.sets.clear();
    adapter.spares.clear();
  }
  return scenario;
}

inline QString UniqueInstanceName() {
  static int next = 0;
  return QStringLiteral("kestrune-test-%1-%2").arg(::getpid()).arg(++next);
}

struct AppRig {
  std::shared_ptr<platform::ManualClock> clock = std::make_shared<platform::ManualClock>();
  std::shared_ptr<platform::RecordingUi> ui = std::make_shared<platform::RecordingUi>();
  std::shared_ptr<platform::RecordingSound> sound = std::make_shared<platform::RecordingSound>();
  std::unique_ptr<sim::Simulator> simulator;
  std::shared_ptr<platform::Registry> registry;
  platform_qt::FakeTrayHost* tray = nullptr;
  std::unique_ptr<app::CManagerApp> app;
  int quits = 0;

  explicit AppRig(sim::Scenario scenario, QString instanceName = UniqueInstanceName(),
                  const std::function<void(app::FrameServices&)>& adjust = {}) {
    simulator =
        std::make_unique<sim::Simulator>(std::move(scenario), clock, platform::MakeLinuxFiles());
    std::string error;
    registry = platform::OpenSqliteRegistry(
        ":memory:", std::make_shared<FixedSystem>(simulator->MediaPath()), error);
    app::FrameServices services;
    services.controller = {simulator->DeviceControl(),
                           simulator->DeviceManager(),
                           registry,
                           simulator->Files(),
                           ui,
                           clock};
    services.sound = sound;
    auto fakeTray = std::make_unique<platform_qt::FakeTrayHost>();
    tray = fakeTray.get();
    services.tray = std::move(fakeTray);
    services.program = app::BuildProgramInfo();
    services.logoPath = QStringLiteral("/nonexistent/logo.bmp");
    services.helpPath = L"/opt/kestrune/bin/kestrune.html";
    services.loggerOptions.pollInterval = std::chrono::milliseconds(20);
    if (adjust) adjust(services);
    app = std::make_unique<app::CManagerApp>(std::move(services), std::move(instanceName),
                                             [this] { ++quits; });
  }
  ~AppRig() {
    app.reset();
    // Deferred deletions of closed windows.
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }

  app::CMainFrame& Frame() { return *app->MainFrame(); }
  bool Route(unsigned id) { return Frame().RouteCommand(id); }
};

// A loopback SMTP server on a thread: greeting, then one scripted reply per
// command line (after a 354, per mail up to its terminator), recording what
// it received.
class LoopbackSmtp {
 public:
  explicit LoopbackSmtp(std::vector<std::string> replies) : replies_(std::move(replies)) {
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof addr;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&addr), length) != 0 ||
        ::listen(listener_, 1) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &length) != 0) {
      ADD_FAILURE() << "loopback listener failed";
    }
    port_ = ntohs(addr.sin_port);
    thread_ = std::thread([this] { Run(); });
  }
  ~LoopbackSmtp() {
    if (thread_.joinable()) thread_.join();
    ::close(listener_);
  }
  std::uint16_t Port() const { return port_; }
  const std::vector<std::string>& Received() {
    if (thread_.joinable()) thread_.join();
    return received_;
  }

 private:
  static bool Readable(int fd) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, 5000) > 0;
  }
  bool Next(int fd, const std::string& end, std::string& unit) {
    for (;;) {
      const auto at = buffer_.find(end);
      if (at != std::string::npos) {
        unit = buffer_.substr(0, at + end.size());
        buffer_.erase(0, at + end.size());
        return true;
      }
      char chunk[4096];
      if (!Readable(fd)) return false;
      const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
      if (n <= 0) return false;
      buffer_.append(chunk, static_cast<std::size_t>(n));
    }
  }
  static void Send(int fd, const std::string& text) {
    (void)::send(fd, text.data(), text.size(), MSG_NOSIGNAL);
  }
  void Run() {
    if (!Readable(listener_)) return;
    const int fd = ::accept(listener_, nullptr, nullptr);
    if (fd < 0) return;
    bool mailNext = false;
    std::size_t i = 0;
    if (!replies_.empty()) Send(fd, replies_[i++]);
    for (; i < replies_.size(); ++i) {
      std::string unit;
      if (!Next(fd, mailNext ? "\r\n.\r\n" : "\n", unit)) break;
      received_.push_back(unit);
      Send(fd, replies_[i]);
      mailNext = replies_[i].rfind("354", 0) == 0;
    }
    ::close(fd);
  }

  std::vector<std::string> replies_;
  int listener_ = -1;
  std::uint16_t port_ = 0;
  std::string buffer_;
  std::vector<std::string> received_;
  std::thread thread_;
};

}  // namespace kestrune::test
