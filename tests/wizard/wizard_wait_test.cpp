// A set deletion whose re-enumeration takes the whole wait: the wizard keeps its
// event loop, repaints, handles queued messages, shows the wait box and the
// wait cursor, and lets no input through until the step has ended.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QLabel>
#include <QPointer>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <atomic>
#include <memory>
#include <stdexcept>

#include "platform_qt/busy_wait_box.h"
#include "support/gate_clock.h"
#include "wizard_rig.h"

namespace kestrune::test {
namespace {

using B = QWizard::WizardButton;

// Counts the events of one kind that reach a widget or its children.
class EventCounter final : public QObject {
 public:
  explicit EventCounter(QEvent::Type type) : type_(type) {}
  int count = 0;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == type_) ++count;
    return false;
  }

 private:
  QEvent::Type type_;
};

void Watch(QWidget* root, EventCounter& counter) {
  root->installEventFilter(&counter);
  for (QWidget* child : root->findChildren<QWidget*>()) child->installEventFilter(&counter);
}

TEST(WizardWait, AFullReenumerationWaitKeepsTheWizardRepaintingAndModal) {
  auto clock = std::make_shared<GateClock>();
  sim::AdapterSpec a = ExtendedRaidAdapter(1);
  for (std::uint8_t c = 0; c < 3; ++c) a.disks.push_back(Disk(c, 0));
  sim::SetSpec set;
  set.members = {{0, 0}, {1, 1}};
  a.sets = {set};
  WizardRig rig(ScenarioOf({a}), clock);
  // The system never shows the expected disks: three attempts, two waits.
  rig.machine.Simulator()->DeviceManager()->SetReenumerationLag(3);
  rig.Open();
  rig.Next();
  rig.Control<QRadioButton>(1150)->setChecked(true);
  rig.Next();
  WizardRig::ClickRow(rig.List(1152), 0);
  ASSERT_TRUE(rig.Enabled(B::FinishButton));

  struct Seen {
    bool busyBox = false, modal = false, cursor = false, busy = false;
    int paints = 0, pressesThrough = 0, queuedRan = 0;
  };
  std::vector<Seen> seen;
  QWidget* wizard = rig.wizard.get();
  clock->OnSleep([&] {
    // On the worker, as the wait begins: a message from another thread, as the
    // logger posts its own.
    QMetaObject::invokeMethod(
        qApp,
        [&] {
          auto s = std::make_shared<Seen>();
          auto* box = qobject_cast<platform_qt::BusyWaitBox*>(QApplication::activeModalWidget());
          s->busyBox = box != nullptr && box->isVisible();
          s->modal = box != nullptr && box->windowModality() == Qt::ApplicationModal;
          s->cursor = rig.ui->WaitDepth() > 0;
          s->busy = rig.wizard->Busy();
          // Repainting: an update is painted. Watched from the wait's own loop
          // by a timer, not from a loop nested in this call.
          auto paints = std::make_shared<EventCounter>(QEvent::Paint);
          Watch(wizard, *paints);
          wizard->update();
          auto* poll = new QTimer(qApp);
          auto since = std::make_shared<QElapsedTimer>();
          since->start();
          QObject::connect(poll, &QTimer::timeout, qApp, [&, s, paints, poll, since] {
            if (paints->count == 0 && since->elapsed() < 5000) return;
            poll->stop();
            poll->deleteLater();
            s->paints = paints->count;
            // Input: a click from the window system on the wizard's Back
            // button does not reach it.
            EventCounter presses(QEvent::MouseButtonPress);
            Watch(wizard, presses);
            QAbstractButton* back = rig.Button(B::BackButton);
            QTest::mouseClick(wizard->windowHandle(), Qt::LeftButton, {},
                              back->mapTo(wizard, back->rect().center()));
            QApplication::processEvents();
            s->pressesThrough = presses.count;
            // Queued calls keep running (the poll shows that timers do).
            int ran = 0;
            QTimer::singleShot(0, qApp, [&ran] { ++ran; });
            QApplication::processEvents();
            s->queuedRan = ran;
            seen.push_back(*s);
            clock->Release();
          });
          poll->start(5);
        },
        Qt::QueuedConnection);
  });

  rig.Finish();

  ASSERT_EQ(seen.size(), 2u);  // both 30-second waits
  for (const Seen& s : seen) {
    EXPECT_TRUE(s.busyBox);
    EXPECT_TRUE(s.modal);
    EXPECT_TRUE(s.cursor);
    EXPECT_TRUE(s.busy);
    EXPECT_GT(s.paints, 0);
    EXPECT_EQ(s.pressesThrough, 0);
    EXPECT_EQ(s.queuedRan, 1);
  }
  EXPECT_EQ(clock->TotalSlept(), std::chrono::milliseconds(60000));
  EXPECT_EQ(rig.log->Count("reenumerate"), 3u);
  EXPECT_EQ(rig.log->Count("DeleteSet"), 1u);
  // The steps went on in their order once the wait had ended.
  EXPECT_FALSE(rig.wizard->isVisible());
  EXPECT_EQ(rig.wizard->result(), QDialog::Accepted);
  EXPECT_EQ(rig.ui->WaitDepth(), 0);
  EXPECT_EQ(platform_qt::RunningSteps(), 0);
  EXPECT_EQ(qobject_cast<platform_qt::BusyWaitBox*>(QApplication::activeModalWidget()), nullptr);
}

TEST(WizardWait, TheWaitBoxCannotBeClosedAndAnExitWaitsForTheStep) {
  auto clock = std::make_shared<GateClock>();
  platform::RecordingUi ui;
  QObject context;
  std::atomic<bool> stepDone{false};
  bool stopAsked = false;
  bool followed = false;
  bool exited = false;
  bool doneAtExit = false;
  QTimer::singleShot(0, qApp, [&] {
    auto* box = qobject_cast<platform_qt::BusyWaitBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    box->close();
    box->reject();
    QTest::keyClick(box, Qt::Key_Escape);
    EXPECT_TRUE(box->isVisible());
    EXPECT_EQ(platform_qt::RunningSteps(), 1);
    clock->Release();
    // As an exit in the middle would: what was to follow the step is dropped.
    platform_qt::AbandonRunningSteps(context, [&] {
      exited = true;
      doneAtExit = stepDone.load();
    });
  });
  platform_qt::StartWithoutFreezing(context, nullptr, ui,
                                    {.work =
                                         [&] {
                                           clock->SleepFor(std::chrono::milliseconds(1000));
                                           stepDone = true;
                                         },
                                     .stop = [&] { stopAsked = true; }},
                                    [&](const std::exception_ptr&) { followed = true; });
  EXPECT_EQ(platform_qt::RunningSteps(), 1);  // the call has returned meanwhile
  ASSERT_TRUE(SpinUntil([&] { return exited; }));
  EXPECT_TRUE(stopAsked);
  EXPECT_TRUE(doneAtExit);
  EXPECT_FALSE(followed);
  EXPECT_EQ(platform_qt::RunningSteps(), 0);
  EXPECT_EQ(ui.WaitDepth(), 0);
  EXPECT_EQ(ui.MaxWaitDepth(), 1);
}

// What follows a step gets what the step threw; it does not run once its
// context is gone, and a shutdown outside the loop waits for the step itself.
TEST(WizardWait, AStepsFailureReachesWhatFollowsAndAGoneContextGetsNothing) {
  platform::RecordingUi ui;
  std::exception_ptr seen;
  bool followed = false;
  {
    QObject context;
    platform_qt::StartWithoutFreezing(context, nullptr, ui,
                                      {.work = [] { throw std::runtime_error("adapter gone"); }},
                                      [&](const std::exception_ptr& failure) {
                                        followed = true;
                                        seen = failure;
                                      });
    ASSERT_TRUE(SpinUntil([&] { return followed; }));
  }
  ASSERT_TRUE(seen);
  EXPECT_THROW(std::rethrow_exception(seen), std::runtime_error);

  followed = false;
  auto gate = std::make_shared<GateClock>();
  bool done = false;
  {
    auto context = std::make_unique<QObject>();
    platform_qt::StartWithoutFreezing(*context, nullptr, ui,
                                      {.work =
                                           [&] {
                                             gate->SleepFor(std::chrono::milliseconds(10));
                                             done = true;
                                           }},
                                      [&](const std::exception_ptr&) { followed = true; });
    context.reset();
    gate->Release();
    platform_qt::WaitForRunningSteps();
  }
  EXPECT_TRUE(done);
  QApplication::processEvents();
  EXPECT_FALSE(followed);
  EXPECT_EQ(platform_qt::RunningSteps(), 0);
  EXPECT_EQ(ui.WaitDepth(), 0);
  EXPECT_EQ(qobject_cast<platform_qt::BusyWaitBox*>(QApplication::activeModalWidget()), nullptr);
}

}  // namespace
}  // namespace kestrune::test
