// Long steps without a frozen window. A step that waits for the system (an
// adapter being re-enumerated, a mail server that is slow to answer) runs on a
// thread of its own while the user-interface thread's event loop goes on:
// windows repaint, timers run and queued calls (the event logger's messages)
// are handled. Meanwhile a small application-modal "please wait" box stands
// over the windows, so that no input reaches them, and the wait cursor is
// shown; the caller carries on with its next step once the step has ended.
#pragma once

#include <QDialog>
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

// Runs `step` on a thread of its own and returns when it has ended, with the
// event loop running meanwhile, the wait box up and the wait cursor shown.
// The step must not touch widgets; boxes it raises through UiServices are
// carried to the user-interface thread. `stop`, when given, asks the step to
// end early (FinishRunningSteps calls it, and the box's Cancel when offered).
// Call on the user-interface thread.
void RunWithoutFreezing(QWidget* over, platform::UiServices& ui, const std::function<void()>& step,
                        std::function<void()> stop = {}, StepCancel cancel = StepCancel::No);

// Steps started by RunWithoutFreezing that have not returned to their caller.
int RunningSteps();

// Deletes `object` now; while steps are running (their callers, which may
// belong to the object, are still on the stack) it is deleted later, once the
// last of them has returned.
void DeleteAfterSteps(QObject* object);

// Asks every running step to stop (where it can) and waits for all of them to
// end, the event loop running meanwhile. For shutdown: what the steps use may
// be released afterwards. Their callers return once control is back in their
// own loops.
void FinishRunningSteps();

}  // namespace kestrune::platform_qt
