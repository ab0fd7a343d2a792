// Long steps without a frozen window. A step that waits for the system (an
// adapter being re-enumerated, a mail server that is slow to answer) runs on a
// thread of Qt's pool while the caller returns to the event loop it came
// from: windows repaint, timers run and queued calls (the event logger's
// messages) are handled, and no loop is nested for the wait. Meanwhile a small
// application-modal "please wait" box stands over the windows, so that no
// input reaches them, and the wait cursor is shown; what follows the step runs
// from the event loop once the step has ended.
#pragma once

#include <QDialog>
#include <exception>
#include <functional>
#include <memory>

namespace Ui {
class BusyWaitBox;
}

class QCloseEvent;

// Not included: uic would take "ui_services.h" for a form of this file's name.
namespace kestrune::platform {
class UiServices;
}

namespace kestrune::platform_qt {

// The "please wait" box (template 1090): a text and a busy indicator. A step
// that cannot be abandoned half way gets no button, and neither Escape nor
// the window frame closes the box; one that can gets Cancel, and Escape and
// the frame's close do the same: they ask the step to stop (once) and the
// box stays until it has.
class BusyWaitBox final : public QDialog {
  Q_OBJECT

 public:
  // Stands over `over`'s window and takes its caption (the program's name
  // without one).
  explicit BusyWaitBox(QWidget* over);
  ~BusyWaitBox() override;

  // Offers Cancel, which calls `cancel`.
  void OfferCancel(std::function<void()> cancel);
  void reject() override;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  std::unique_ptr<Ui::BusyWaitBox> ui_;
  std::function<void()> cancel_;
};

// Whether the user may end a step from its wait box (Cancel).
enum class StepCancel { No, Offered };

struct LongStep {
  // Runs on a thread of the pool. It must not touch widgets; boxes it raises
  // through UiServices are carried to the user-interface thread.
  std::function<void()> work = {};
  // Asks `work` to end early; may be empty (a step that cannot be abandoned
  // half way). Called on the user-interface thread.
  std::function<void()> stop = {};
  // Offered: the box's Cancel, Escape and close box call `stop`.
  StepCancel cancel = StepCancel::No;
};

// Starts `step` and returns at once, the wait box up over `over`'s window
// (a window of its own without one) and the wait cursor shown. Once the
// work has ended, the box goes, the cursor is restored and `then` runs on the
// user-interface thread, from its event loop, with what the work threw (null
// when nothing) -- unless `context` is gone by then or the step was abandoned.
// Call on the user-interface thread.
void StartWithoutFreezing(QObject& context, QWidget* over, platform::UiServices& ui, LongStep step,
                          std::function<void(std::exception_ptr)> then);

// Steps started and not yet ended.
int RunningSteps();

// For an exit: asks every running step to stop (where it can); what was to
// follow each of them is dropped. `then` runs once no step runs any more, from
// the event loop (while `context` lives), or at once when none runs now.
void AbandonRunningSteps(QObject& context, std::function<void()> then);

// The last resort of a shutdown that does not come back to the event loop:
// abandons the running steps as above and blocks until their work has ended.
// A step's work must not wait for the user-interface thread meanwhile.
void WaitForRunningSteps();

}  // namespace kestrune::platform_qt
