// The RAID wizard from the frame, and the frame's long steps: the wizard opens
// from its three commands only when it is offered and one at a time, and a
// re-enumeration or a silent mail server leaves the windows painting and the
// logger's messages handled.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "app_rig.h"
#include "platform/text.h"
#include "platform_qt/busy_wait_box.h"
#include "platform_qt/command_table.h"
#include "resources/resource_ids.h"
#include "support/gate_clock.h"
#include "wizard/wizard_raid.h"

namespace kestrune::test {
namespace {

void WithWizard(app::FrameServices& services) {
  services.makeRaidWizard = wizard::MakeRaidWizard;
}

// Counts paint events of a widget and its children.
class PaintCounter final : public QObject {
 public:
  explicit PaintCounter(QWidget* root) {
    root->installEventFilter(this);
    for (QWidget* child : root->findChildren<QWidget*>()) child->installEventFilter(this);
  }
  int count = 0;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++count;
    return false;
  }
};

// A mail server that accepts and then says nothing until told to.
class SilentSmtp {
 public:
  explicit SilentSmtp(std::string reply) : reply_(std::move(reply)) {
    listener_ = BindLoopback(1, port_);
    thread_ = std::thread([this] { Run(); });
  }
  ~SilentSmtp() {
    Speak();
    thread_.join();
    ::close(listener_);
  }
  std::uint16_t Port() const { return port_; }
  void Speak() {
    std::lock_guard lock(mutex_);
    speak_ = true;
    told_.notify_all();
  }
  bool Connected() {
    std::lock_guard lock(mutex_);
    return connected_;
  }

 private:
  void Run() {
    pollfd p{listener_, POLLIN, 0};
    if (::poll(&p, 1, 10000) <= 0) return;
    const int fd = ::accept(listener_, nullptr, nullptr);
    if (fd < 0) return;
    std::unique_lock lock(mutex_);
    connected_ = true;
    WakeTheLoop();  // a test spins until it is connected
    told_.wait(lock, [this] { return speak_; });
    lock.unlock();
    (void)::send(fd, reply_.data(), reply_.size(), MSG_NOSIGNAL);
    char buffer[256];
    pollfd q{fd, POLLIN, 0};
    while (::poll(&q, 1, 5000) > 0 && ::recv(fd, buffer, sizeof buffer, 0) > 0) {
    }
    ::close(fd);
  }

  std::string reply_;
  int listener_ = -1;
  std::uint16_t port_ = 0;
  std::mutex mutex_;
  std::condition_variable told_;
  bool speak_ = false;
  bool connected_ = false;
  std::thread thread_;
};

// From the welcome page to the deletion page with the set row clicked (the
// quiet machine lists two adapters; the first has a mirrored set and a spare).
void ToSetDeletion(wizard::CWizardRaid& w) {
  w.button(QWizard::NextButton)->click();  // controller
  w.button(QWizard::NextButton)->click();  // action
  platform_qt::FindById<QRadioButton>(w.currentPage(), 1150)->setChecked(true);
  w.button(QWizard::NextButton)->click();
  auto* entries = platform_qt::FindById<QTreeWidget>(w.currentPage(), 1152);
  ASSERT_EQ(entries->topLevelItemCount(), 2);
  QTest::mouseClick(entries->viewport(), Qt::LeftButton, {},
                    entries->visualItemRect(entries->topLevelItem(0)).center());
  QApplication::processEvents();
}

TEST(RaidWizardCommand, OpensFromItsThreeCommandsOnlyWhenOfferedAndOnlyOnce) {
  AppRig rig(QuietScenario(), UniqueInstanceName(), WithWizard);
  ASSERT_EQ(rig.app->InitInstance(), app::kExitOk);
  ASSERT_TRUE(rig.Frame().WizardOffered());
  for (unsigned id : {res::kCmdRaidWizard, res::kCmdRaidWizardTool, res::kCmdRaidWizardTray}) {
    EXPECT_TRUE(rig.Route(id));
    auto* w = qobject_cast<wizard::CWizardRaid*>(rig.Frame().RaidWizard());
    ASSERT_NE(w, nullptr) << id;
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(w->windowModality(), Qt::ApplicationModal);
    EXPECT_EQ(w->currentId(), 0);
    EXPECT_EQ(w->windowTitle(), QStringLiteral("RAID Wizard"));
    EXPECT_TRUE(rig.Route(id));
    EXPECT_EQ(rig.Frame().RaidWizard(), w);
    w->close();  // the close box: Cancel
    EXPECT_TRUE(SpinUntil([&] { return rig.Frame().RaidWizard() == nullptr; }));
  }
  EXPECT_EQ(rig.ui->MessageCount(), 0u);

  AppRig standard(StandardOnlyScenario(), UniqueInstanceName(), WithWizard);
  ASSERT_EQ(standard.app->InitInstance(), app::kExitOk);
  EXPECT_FALSE(standard.Frame().WizardOffered());
  EXPECT_TRUE(standard.Route(res::kCmdRaidWizard));
  EXPECT_EQ(standard.Frame().RaidWizard(), nullptr);
}

TEST(RaidWizardCommand, AFullReenumerationWaitLeavesTheLoggerMessagesHandled) {
  auto clock = std::make_shared<GateClock>();
  AppRig rig(QuietScenario(), UniqueInstanceName(), WithWizard, clock);
  ASSERT_EQ(rig.app->InitInstance(), app::kExitOk);
  rig.machine.Simulator()->DeviceManager()->SetReenumerationLag(3);
  ASSERT_TRUE(rig.Route(res::kCmdRaidWizard));
  auto* w = qobject_cast<wizard::CWizardRaid*>(rig.Frame().RaidWizard());
  ASSERT_NE(w, nullptr);
  ToSetDeletion(*w);
  ASSERT_TRUE(w->button(QWizard::FinishButton)->isEnabled());

  int waits = 0;
  bool popupDuringWait = false;
  int popupPaints = 0;
  clock->OnSleep([&] {
    // On the waiting thread: the logger's messages arrive meanwhile.
    rig.Frame().PostShowPopup();
    rig.Frame().PostPollDone();
    QMetaObject::invokeMethod(
        qApp,
        [&] {
          ++waits;
          if (rig.Frame().Popup() != nullptr) {
            popupDuringWait = true;
            PaintCounter paints(rig.Frame().Popup());
            rig.Frame().Popup()->update();
            SpinUntil([&] { return paints.count > 0; });
            popupPaints += paints.count;
          }
          clock->Release();
        },
        Qt::QueuedConnection);
  });
  AppRig::PressAndWait(w->button(QWizard::FinishButton));

  EXPECT_EQ(waits, 2);
  EXPECT_TRUE(popupDuringWait);
  EXPECT_GT(popupPaints, 0);
  EXPECT_TRUE(SpinUntil([&] { return rig.Frame().RaidWizard() == nullptr; }));
  clock->OnSleep({});
}

TEST(RaidWizardCommand, ExitDuringTheWaitFinishesTheStepFirst) {
  auto clock = std::make_shared<GateClock>();
  AppRig rig(QuietScenario(), UniqueInstanceName(), WithWizard, clock);
  ASSERT_EQ(rig.app->InitInstance(), app::kExitOk);
  rig.machine.Simulator()->DeviceManager()->SetReenumerationLag(3);
  ASSERT_TRUE(rig.Route(res::kCmdRaidWizard));
  QPointer<QWidget> w = rig.Frame().RaidWizard();
  ToSetDeletion(*qobject_cast<wizard::CWizardRaid*>(w.data()));
  clock->OnSleep([&] {
    QMetaObject::invokeMethod(
        qApp,
        [&] {
          clock->OnSleep({});
          clock->Open();
          // The tray menu's Exit, chosen while the wizard waits.
          rig.app->Exit();
        },
        Qt::QueuedConnection);
  });
  qobject_cast<wizard::CWizardRaid*>(w.data())->button(QWizard::FinishButton)->click();
  // The exit waits for the step, the wizard for the exit.
  EXPECT_TRUE(SpinUntil([&] { return rig.quits == 1; }));
  EXPECT_EQ(rig.Frame().Io(), nullptr);
  EXPECT_EQ(platform_qt::RunningSteps(), 0);
  EXPECT_TRUE(w.isNull());
}

TEST(ReportCommands, ASilentMailServerLeavesTheWindowsRepainting) {
  SilentSmtp server("554 go away\r\n");
  AppRig rig(QuietScenario(), UniqueInstanceName(),
             [&](app::FrameServices& services) { services.mailPort = server.Port(); });
  ASSERT_EQ(rig.app->InitInstance(), app::kExitOk);
  ASSERT_TRUE(rig.Route(res::kCmdSendByEmail));
  app::CSendConfigDlg* dialog = rig.Frame().SendDialog();
  ASSERT_NE(dialog, nullptr);
  dialog->findChild<QLineEdit*>(QStringLiteral("serverEdit"))->setText(QStringLiteral("127.0.0.1"));

  bool checked = false;
  QTimer::singleShot(0, qApp, [&] {
    // Inside the send: the server has not answered.
    EXPECT_TRUE(SpinUntil([&] { return server.Connected(); }));
    EXPECT_EQ(platform_qt::RunningSteps(), 1);
    auto* box = qobject_cast<platform_qt::BusyWaitBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    EXPECT_GT(rig.ui->WaitDepth(), 0);
    PaintCounter boxPaints(box);
    box->update();
    rig.Frame().PostShowPopup();
    EXPECT_TRUE(SpinUntil([&] { return rig.Frame().Popup() != nullptr; }));
    PaintCounter popupPaints(rig.Frame().Popup());
    rig.Frame().Popup()->update();
    SpinUntil([&] { return boxPaints.count > 0 && popupPaints.count > 0; });
    EXPECT_GT(boxPaints.count, 0);
    EXPECT_GT(popupPaints.count, 0);
    EXPECT_EQ(rig.ui->MessageCount(), 0u);
    checked = true;
    server.Speak();
  });
  AppRig::Send(dialog);
  EXPECT_TRUE(checked);
  ASSERT_EQ(rig.ui->MessageCount(), 1u);
  EXPECT_EQ(rig.ui->LastMessage()->text, L"554 go away");
  EXPECT_EQ(rig.ui->WaitDepth(), 0);
  EXPECT_EQ(platform_qt::RunningSteps(), 0);
}

TEST(ReportCommands, ExitWhileTheMailWaitsEndsTheSendFirst) {
  SilentSmtp server("554 go away\r\n");
  AppRig rig(QuietScenario(), UniqueInstanceName(),
             [&](app::FrameServices& services) { services.mailPort = server.Port(); });
  ASSERT_EQ(rig.app->InitInstance(), app::kExitOk);
  ASSERT_TRUE(rig.Route(res::kCmdSendByEmail));
  QPointer<app::CSendConfigDlg> dialog = rig.Frame().SendDialog();
  ASSERT_FALSE(dialog.isNull());
  dialog->findChild<QLineEdit*>(QStringLiteral("serverEdit"))->setText(QStringLiteral("127.0.0.1"));
  QTimer::singleShot(0, qApp, [&] {
    EXPECT_TRUE(SpinUntil([&] { return server.Connected(); }));
    server.Speak();
    rig.app->Exit();  // the tray menu's Exit while the send waits
  });
  platform_qt::FindById<QPushButton>(dialog, 1)->click();
  EXPECT_TRUE(SpinUntil([&] { return rig.quits == 1; }));
  EXPECT_EQ(platform_qt::RunningSteps(), 0);
  EXPECT_EQ(rig.ui->MessageCount(), 0u);  // the failure is not shown after Exit
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(dialog.isNull());
}

TEST(ReportCommands, CancelEscapeOrExitEndAMailToASilentServerAtOnce) {
  enum class Way { CancelButton, Escape, Exit };
  for (const Way way : {Way::CancelButton, Way::Escape, Way::Exit}) {
    SCOPED_TRACE(static_cast<int>(way));
    SilentSmtp server("554 go away\r\n");  // speaks only when it goes
    AppRig rig(QuietScenario(), UniqueInstanceName(), [&](app::FrameServices& services) {
      services.mailPort = server.Port();
      // Were the wait not ended, it would end here, with another error.
      services.mailOptions.timeout = std::chrono::seconds(20);
    });
    ASSERT_EQ(rig.app->InitInstance(), app::kExitOk);
    ASSERT_TRUE(rig.Route(res::kCmdSendByEmail));
    QPointer<app::CSendConfigDlg> dialog = rig.Frame().SendDialog();
    ASSERT_FALSE(dialog.isNull());
    dialog->findChild<QLineEdit*>(QStringLiteral("serverEdit"))
        ->setText(QStringLiteral("127.0.0.1"));
    QTimer::singleShot(0, qApp, [&] {
      EXPECT_TRUE(SpinUntil([&] { return server.Connected(); }));
      auto* box = qobject_cast<platform_qt::BusyWaitBox*>(QApplication::activeModalWidget());
      ASSERT_NE(box, nullptr);
      auto* cancel = platform_qt::FindById<QPushButton>(box, 2);
      ASSERT_NE(cancel, nullptr);
      EXPECT_TRUE(cancel->isVisible());
      if (way == Way::CancelButton) cancel->click();
      if (way == Way::Escape) QTest::keyClick(box, Qt::Key_Escape);
      if (way == Way::Exit) rig.app->Exit();
    });
    AppRig::Send(dialog);
    EXPECT_EQ(platform_qt::RunningSteps(), 0);
    EXPECT_EQ(rig.ui->WaitDepth(), 0);
    if (way == Way::Exit) {
      EXPECT_TRUE(SpinUntil([&] { return rig.quits == 1; }));
      EXPECT_EQ(rig.ui->MessageCount(), 0u);
      continue;
    }
    // The step that waited failed, interrupted (10004), and says so.
    ASSERT_EQ(rig.ui->MessageCount(), 1u);
    EXPECT_EQ(rig.ui->LastMessage()->caption, L"Ostrevan Error");
    EXPECT_NE(rig.ui->LastMessage()->text.find(L"Error code 0x00002714."), std::wstring::npos)
        << platform::ToUtf8(rig.ui->LastMessage()->text);
  }
}

}  // namespace
}  // namespace kestrune::test
