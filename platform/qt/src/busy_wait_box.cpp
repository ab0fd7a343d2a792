#include "platform_qt/busy_wait_box.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QEventLoop>
#include <QGuiApplication>
#include <QPointer>
#include <QPushButton>
#include <algorithm>
#include <atomic>
#include <exception>
#include <thread>
#include <utility>
#include <vector>

#include "platform_qt/forms.h"
#include "platform_qt/qt_ui_services.h"  // UiServices (a direct include would look like a form to uic)
#include "ui_busy_wait_box.h"

namespace kestrune::platform_qt {

namespace {

struct RunningStep {
  std::atomic<bool> done{false};
  std::function<void()> stop;
};

// The steps whose callers wait; user-interface thread only.
std::vector<std::shared_ptr<RunningStep>>& Steps() {
  static std::vector<std::shared_ptr<RunningStep>> steps;
  return steps;
}

// Objects to delete once no step runs.
std::vector<QPointer<QObject>>& Doomed() {
  static std::vector<QPointer<QObject>> doomed;
  return doomed;
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

void RunWithoutFreezing(QWidget* over, platform::UiServices& ui, const std::function<void()>& step,
                        std::function<void()> stop, StepCancel cancel) {
  auto state = std::make_shared<RunningStep>();
  state->stop = std::move(stop);
  Steps().push_back(state);
  platform::WaitCursor cursor(ui);
  // On the heap and guarded: the box belongs to `over`'s window too.
  QPointer<BusyWaitBox> box = new BusyWaitBox(over);
  if (cancel == StepCancel::Offered && state->stop) box->OfferCancel(state->stop);
  box->show();

  QEventLoop loop;
  std::exception_ptr failure;
  std::thread worker([&] {
    try {
      step();
    } catch (...) {
      failure = std::current_exception();
    }
    state->done = true;
    QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
  });
  loop.exec();
  // The loop also ends when the application is told to quit; the step is
  // still waited for, as the caller's next step needs it done.
  worker.join();

  delete box.data();
  auto& steps = Steps();
  steps.erase(std::remove(steps.begin(), steps.end(), state), steps.end());
  if (steps.empty()) {
    // After the callers have returned to the event loop.
    for (const QPointer<QObject>& object : std::exchange(Doomed(), {}))
      if (object) object->deleteLater();
  }
  if (failure) std::rethrow_exception(failure);
}

int RunningSteps() {
  return static_cast<int>(Steps().size());
}

void DeleteAfterSteps(QObject* object) {
  if (object == nullptr) return;
  if (Steps().empty()) {
    delete object;
  } else {
    Doomed().emplace_back(object);
  }
}

void FinishRunningSteps() {
  // A copy: steps may return to their callers meanwhile only after this
  // function has, but the list must not change under the loop either way.
  const auto steps = Steps();
  for (const auto& step : steps) {
    if (step->stop) step->stop();
  }
  const auto pending = [&steps] {
    return std::any_of(steps.begin(), steps.end(), [](const auto& s) { return !s->done.load(); });
  };
  while (pending()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

}  // namespace kestrune::platform_qt
