// The configuration window over the test machine (simulator, virtual clock,
// in-memory registry) with recorded boxes and a scripted right-click menu.
#pragma once

#include <QApplication>
#include <QMenu>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest/QTest>
#include <algorithm>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "controller/adapter_keys.h"
#include "controller/controller_io.h"
#include "platform/manual_clock.h"
#include "platform/recording_ui.h"
#include "platform_qt/command_table.h"
#include "platform_qt/qt_ui_services.h"
#include "settings/app_settings.h"
#include "simulator/scenario.h"
#include "support/scenarios.h"
#include "support/test_machine.h"
#include "support/watched_control.h"
#include "views/config_tree_dlg.h"

namespace kestrune::test {

struct ViewRig {
  std::shared_ptr<platform::ManualClock> clock = std::make_shared<platform::ManualClock>();
  std::shared_ptr<platform::RecordingUi> ui = std::make_shared<platform::RecordingUi>();
  std::shared_ptr<WatchedControl> watched;
  machine::Machine machine;
  std::unique_ptr<ctl::CControllerIo> io;
  std::unique_ptr<settings::AppSettings> settings;
  std::unique_ptr<views::CConfigTreeDlg> window;
  // The right-click menu: its texts when it was shown, and the answer.
  std::vector<QString> menuTexts;
  int menusShown = 0;
  std::optional<unsigned> menuAnswer;

  explicit ViewRig(sim::Scenario scenario = QuietScenario()) {
    machine::MachineOptions options = TestMachineOptions(std::move(scenario), clock);
    options.wrapDeviceControl = [this](std::shared_ptr<platform::DeviceControl> inner) {
      watched = std::make_shared<WatchedControl>(std::move(inner));
      return watched;
    };
    machine = MakeTestMachine(options);
    io = std::make_unique<ctl::CControllerIo>(machine.ControllerServices(ui));
    io->ReadComputerInfo();
    io->Discover();
    settings = std::make_unique<settings::AppSettings>(machine.Registry(), ui);
    settings->Load(ctl::ComputerName(*io), ctl::AdapterKeyOpener(*io));
  }
  ~ViewRig() {
    window.reset();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }

  // Opens the window (shown, so its pages are filled).
  views::CConfigTreeDlg& Open(bool wizardOffered = true) {
    views::ConfigViewServices services;
    services.io = io.get();
    services.settings = settings.get();
    services.ui = ui.get();
    services.windowTitleName = L"Kestrune";
    services.wizardOffered = wizardOffered;
    services.runPopupMenu = [this](QMenu& menu, QPoint) -> std::optional<unsigned> {
      ++menusShown;
      menuTexts.clear();
      for (QAction* action : menu.actions()) menuTexts.push_back(action->text());
      return menuAnswer;
    };
    window = std::make_unique<views::CConfigTreeDlg>(std::move(services));
    window->show();
    QApplication::processEvents();
    return *window;
  }

  sim::Simulator& Sim() { return *machine.Simulator(); }

  // Changes the model under its lock.
  void Edit(const std::function<void(ctl::ConfigurationModel&)>& change) {
    ctl::CControllerIo::Lock lock(*io);
    change(io->Model());
  }
};

namespace detail {
struct Gesture {
  QWidget* from = nullptr;
  std::vector<std::function<void()>> steps;
  std::size_t finished = 0;
};
inline void RunGestureStep(const std::shared_ptr<Gesture>& gesture, std::size_t k) {
  // The next step is queued first: this one may not return until the drag
  // is over.
  if (k + 1 < gesture->steps.size())
    QTimer::singleShot(0, gesture->from, [gesture, k] { RunGestureStep(gesture, k + 1); });
  gesture->steps[k]();
  ++gesture->finished;
}
}  // namespace detail

// A hand's drag with the left button: a press on `from` at `start`, moves in
// steps of `step` pixels to `end` and the release there, all in `from`'s
// coordinates (which may lie outside it: the pressed widget keeps the
// mouse). Every event is a step of its own from the event loop, so that a
// drag loop that one of them starts (QDrag::exec) takes the later ones as
// the platform's would. `afterMove` runs after each move has been handled.
// Returns once every step has returned.
inline void MouseDrag(QWidget* from, QPoint start, QPoint end, int step = 3,
                      const std::function<void()>& afterMove = {}) {
  auto gesture = std::make_shared<detail::Gesture>();
  gesture->from = from;
  gesture->steps.emplace_back([=] { QTest::mousePress(from, Qt::LeftButton, {}, start); });
  const QPoint delta = end - start;
  const int count = std::max(1, std::max(std::abs(delta.x()), std::abs(delta.y())) / step);
  for (int i = 1; i <= count; ++i) {
    const QPoint at = start + delta * i / count;
    gesture->steps.emplace_back([=] {
      QTest::mouseMove(from, at);
      if (afterMove) afterMove();
    });
  }
  gesture->steps.emplace_back([=] { QTest::mouseRelease(from, Qt::LeftButton, {}, end); });
  QTimer::singleShot(0, from, [gesture] { detail::RunGestureStep(gesture, 0); });
  for (int round = 0; gesture->finished < gesture->steps.size() && round < 100000; ++round)
    QCoreApplication::processEvents();
}

// The tree as indented lines: "label [image]", two blanks a level.
inline std::vector<std::string> TreeLines(const QTreeWidget& tree) {
  std::vector<std::string> lines;
  std::function<void(const QTreeWidgetItem*, int)> walk = [&](const QTreeWidgetItem* item,
                                                              int depth) {
    lines.push_back(std::string(static_cast<std::size_t>(2 * depth), ' ') +
                    item->text(0).toStdString() + " [" +
                    std::to_string(views::CConfigTreeDlg::ImageOf(item)) + "]");
    for (int i = 0; i < item->childCount(); ++i) walk(item->child(i), depth + 1);
  };
  for (int i = 0; i < tree.topLevelItemCount(); ++i) walk(tree.topLevelItem(i), 0);
  return lines;
}

}  // namespace kestrune::test
