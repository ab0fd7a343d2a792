#include "platform_qt/busy_wait_box.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFutureWatcher>
#include <QGuiApplication>
#include <QPointer>
#include <QPushButton>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>
#include <algorithm>
#include <exception>
#include <utility>
#include <vector>

#include "platform_qt/forms.h"
#include "platform_qt/qt_ui_services.h"  // UiServices (a direct include would look like a form to uic)
#include "ui_busy_wait_box.h"

namespace kestrune::platform_qt {

namespace {

struct RunningStep {
  std::function<void()> stop;
  QPointer<BusyWaitBox> box;
  platform::UiServices* ui = nullptr;
  QFutureWatcher<void>* watcher = nullptr;
  // Written by the work's thread before its future finishes; read after.
  std::exception_ptr failure;
  bool abandoned = false;
};

struct Waiter {
  QPointer<QObject> context;
  std::function<void()> then;
};

// The steps that have not ended, and what waits for none to run; both on the
// user-interface thread only.
std::vector<std::shared_ptr<RunningStep>>& Steps() {
  static std::vector<std::shared_ptr<RunningStep>> steps;
  return steps;
}

std::vector<Waiter>& Waiters() {
  static std::vector<Waiter> waiters;
  return waiters;
}

// A pool of the steps' own: a step never queues behind other work, and it
// ends with the application, which waits for it.
QThreadPool& Pool() {
  static QPointer<QThreadPool> pool;
  if (!pool) {
    pool = new QThreadPool(QCoreApplication::instance());
    // Steps do not wait for one another (a mail and a re-enumeration).
    pool->setMaxThreadCount(8);
  }
  return *pool;
}

// What every ended step leaves behind: its box, its cursor, its place in the
// list. Inside the watcher's own signal the watcher goes from the event loop.
void Release(const std::shared_ptr<RunningStep>& step, bool inSignal) {
  delete step->box.data();
  step->ui->EndWaitCursor();
  auto& steps = Steps();
  steps.erase(std::remove(steps.begin(), steps.end(), step), steps.end());
  if (inSignal) {
    step->watcher->deleteLater();
  } else {
    delete step->watcher;
  }
}

void Abandon() {
  // A copy: a stop may not change the list, but nothing is assumed.
  for (const auto& step : std::vector(Steps())) {
    step->abandoned = true;
    if (step->stop) step->stop();
  }
}

// Once the last step has ended: what waited for that, from the event loop.
void WakeWaiters() {
  if (!Steps().empty()) return;
  for (Waiter& waiter : std::exchange(Waiters(), {})) {
    if (waiter.context)
      QMetaObject::invokeMethod(waiter.context.data(), std::move(waiter.then),
                                Qt::QueuedConnection);
  }
}

}  // namespace

BusyWaitBox::BusyWaitBox(QWidget* over)
    : QDialog(over != nullptr ? over->window() : nullptr,
              Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      ui_(std::make_unique<Ui::BusyWaitBox>()) {
  SetUpForm(*ui_, this);
  setWindowTitle(over != nullptr && !over->window()->windowTitle().isEmpty()
                     ? over->window()->windowTitle()
                     : QGuiApplication::applicationDisplayName());
  setWindowModality(Qt::ApplicationModal);
  ui_->cancelButton->hide();
  connect(ui_->cancelButton, &QPushButton::clicked, this, &BusyWaitBox::reject);
  FitToTexts(this);
}

BusyWaitBox::~BusyWaitBox() = default;

void BusyWaitBox::OfferCancel(std::function<void()> cancel) {
  cancel_ = std::move(cancel);
  ui_->cancelButton->setVisible(static_cast<bool>(cancel_));
  setWindowFlag(Qt::WindowCloseButtonHint, static_cast<bool>(cancel_));
  FitToTexts(this);
}

void BusyWaitBox::reject() {
  // Escape, Cancel: a step that cannot be abandoned half way goes on; one
  // that can is asked once to stop, and the box goes when it has.
  if (!cancel_) return;
  ui_->cancelButton->setEnabled(false);
  std::exchange(cancel_, {})();
}

void BusyWaitBox::closeEvent(QCloseEvent* event) {
  event->ignore();
  reject();
}

void StartWithoutFreezing(QObject& context, QWidget* over, platform::UiServices& ui, LongStep step,
                          std::function<void(std::exception_ptr)> then) {
  auto state = std::make_shared<RunningStep>();
  state->stop = std::move(step.stop);
  state->ui = &ui;
  ui.BeginWaitCursor();
  // On the heap and guarded: the box belongs to `over`'s window too.
  state->box = new BusyWaitBox(over);
  if (step.cancel == StepCancel::Offered && state->stop) state->box->OfferCancel(state->stop);
  state->box->show();
  state->watcher = new QFutureWatcher<void>();
  Steps().push_back(state);

  QObject::connect(state->watcher, &QFutureWatcher<void>::finished, state->watcher,
                   [state, guard = QPointer<QObject>(&context), then = std::move(then)] {
                     Release(state, true);
                     WakeWaiters();
                     // From the loop, not inside the watcher's signal: what
                     // follows may close windows or ask the user.
                     if (!state->abandoned && guard && then)
                       QMetaObject::invokeMethod(
                           guard.data(), [then, failure = state->failure] { then(failure); },
                           Qt::QueuedConnection);
                   });
  // QtConcurrent passes on only its own exception type: the work's failure
  // is kept aside, whatever it is.
  state->watcher->setFuture(QtConcurrent::run(&Pool(), [work = std::move(step.work), state] {
    try {
      work();
    } catch (...) {
      state->failure = std::current_exception();
    }
  }));
}

int RunningSteps() {
  return static_cast<int>(Steps().size());
}

void AbandonRunningSteps(QObject& context, std::function<void()> then) {
  if (Steps().empty()) {
    then();
    return;
  }
  Abandon();
  Waiters().push_back({&context, std::move(then)});
}

void WaitForRunningSteps() {
  Abandon();
  for (const auto& step : std::vector(Steps())) {
    step->watcher->waitForFinished();
    Release(step, false);
  }
  WakeWaiters();
}

}  // namespace kestrune::platform_qt
