// The tray program over the test machine (simulator, virtual clock,
// in-memory registry), with a fake tray and recorded boxes and dialogs.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QPushButton>
#include <QWidget>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/manager_app.h"
#include "platform/manual_clock.h"
#include "platform/recording_sound.h"
#include "platform/recording_ui.h"
#include "platform_qt/busy_wait_box.h"
#include "platform_qt/forms.h"
#include "platform_qt/tray.h"
#include "simulator/scenario.h"
#include "support/gate_clock.h"
#include "support/loopback_port.h"
#include "support/loopback_smtp.h"
#include "support/scenarios.h"
#include "support/spin.h"
#include "support/test_machine.h"

namespace kestrune::test {

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
  // Where mail goes unless a test points it at its own server: a port that
  // refuses at once, whatever listens on the machine's mail port.
  RefusingPort mailServer;
  std::shared_ptr<platform::ManualClock> clock = std::make_shared<platform::ManualClock>();
  std::shared_ptr<platform::RecordingUi> ui = std::make_shared<platform::RecordingUi>();
  std::shared_ptr<platform::RecordingSound> sound = std::make_shared<platform::RecordingSound>();
  machine::Machine machine;
  std::shared_ptr<platform::Registry> registry;
  platform_qt::FakeTrayHost* tray = nullptr;
  std::unique_ptr<app::CManagerApp> app;
  int quits = 0;
  // The virtual time the logger's polls wait on: the rig's clock or the
  // machine's own. Its waits wake the event loop of a SpinUntil.
  platform::ManualClock* pollClock = nullptr;

  // `machineClock`: another clock for the machine than the rig's ManualClock
  // (one whose sleeps wait for the test).
  explicit AppRig(sim::Scenario scenario, QString instanceName = UniqueInstanceName(),
                  const std::function<void(app::FrameServices&)>& adjust = {},
                  std::shared_ptr<platform::Clock> machineClock = nullptr) {
    pollClock = clock.get();
    if (auto* gate = dynamic_cast<GateClock*>(machineClock.get())) {
      pollClock = &gate->Virtual();
    } else if (auto* manual = dynamic_cast<platform::ManualClock*>(machineClock.get())) {
      pollClock = manual;
    }
    pollClock->OnWaiting(WakeTheLoop);
    auto options =
        TestMachineOptions(std::move(scenario), machineClock ? std::move(machineClock) : clock);
    options.sound = sound;
    machine = MakeTestMachine(options);
    registry = machine.Registry();
    app::FrameServices services;
    services.controller = machine.ControllerServices(ui);
    services.sound = machine.Sound();
    auto fakeTray = std::make_unique<platform_qt::FakeTrayHost>();
    tray = fakeTray.get();
    services.tray = std::move(fakeTray);
    services.program = app::BuildProgramInfo();
    services.logoPath = QStringLiteral("/nonexistent/logo.bmp");
    services.helpPath = L"/opt/kestrune/bin/kestrune.html";
    // Waiting for the notification area passes virtual time.
    services.trayPause = [clock = clock](std::chrono::milliseconds span) { clock->SleepFor(span); };
    services.loggerOptions.pollInterval = std::chrono::milliseconds(20);
    services.loggerOptions.mailPort = mailServer.Port();
    services.mailPort = mailServer.Port();
    // Never the password of whoever runs the tests.
    services.smtpPasswordPath = "/nonexistent/kestrune-test/smtp-password";
    services.loggerOptions.smtpPasswordPath = services.smtpPasswordPath;
    if (adjust) adjust(services);
    app = std::make_unique<app::CManagerApp>(std::move(services), std::move(instanceName),
                                             [this] { ++quits; });
  }
  ~AppRig() {
    app.reset();
    // Deferred deletions of closed windows.
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }

  // Lets the logger's next poll come: runs the event loop (the logger may be
  // waiting for it) until the logger waits for its next poll, then moves the
  // clock on to it. What the poll brings about reaches the user interface
  // through its event loop (SpinUntil).
  bool Poll() {
    return SpinUntil(
        [&] { return pollClock->AdvanceToNextDeadline(std::chrono::milliseconds(0)); });
  }

  app::CMainFrame& Frame() { return *app->MainFrame(); }
  bool Route(unsigned id) { return Frame().RouteCommand(id); }

  // Presses a button that starts a long step (the Send dialog's Send, the
  // wizard's Finish) and returns once no step runs any more and what was to
  // follow has come.
  static void PressAndWait(QAbstractButton* button) {
    ASSERT_NE(button, nullptr);
    button->click();
    EXPECT_TRUE(SpinUntil([] { return platform_qt::RunningSteps() == 0; }));
    QApplication::processEvents();
  }
  static void Send(QDialog* dialog) { PressAndWait(platform_qt::FindById<QPushButton>(dialog, 1)); }
};

}  // namespace kestrune::test
