// The configuration window in the tray program: opened by the tray's left
// click, one at a time, and the logger's synchronous calls into it while it
// opens, shows its pages and closes.
#include <gtest/gtest.h>

#include <QTreeWidget>
#include <atomic>
#include <thread>

#include "app/sync_calls.h"
#include "app_rig.h"
#include "views/config_tree_dlg.h"

namespace kestrune::test {
namespace {

using views::NodeRef;

sim::TimelineStep Step(double at, sim::TimelineAction action) {
  sim::TimelineStep step;
  step.atSeconds = at;
  step.action = std::move(action);
  return step;
}

TEST(ConfigWindowInFrame, TrayClickOpensOneWindowThatClosesAndFrees) {
  AppRig rig(QuietScenario());
  ASSERT_EQ(rig.app->InitInstance(), app::kExitOk);
  rig.tray->SimulateLeftClick();
  views::CConfigTreeDlg* window = rig.Frame().ConfigTree();
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(window->windowTitle(), QStringLiteral("Configuration for Kestrune"));
  EXPECT_TRUE(window->isVisible());
  rig.tray->SimulateLeftClick();
  EXPECT_EQ(rig.Frame().ConfigTree(), window);
  EXPECT_TRUE(rig.Frame().MainViewExists());

  // A call from the logger's thread waits until the window ran it.
  std::atomic<bool> done{false};
  std::thread logger([&] {
    rig.Frame().RebuildAdapterBranch(0);
    rig.Frame().ReselectCurrentItem();
    done = true;
    WakeTheLoop();
  });
  EXPECT_TRUE(SpinUntil([&] { return done.load(); }));
  logger.join();

  window->close();
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_EQ(rig.Frame().ConfigTree(), nullptr);
  EXPECT_FALSE(rig.Frame().MainViewExists());
  // A call after the window closed finds nothing to do and returns.
  done = false;
  std::thread late([&] {
    rig.Frame().RebuildAdapterBranch(0);
    done = true;
    WakeTheLoop();
  });
  EXPECT_TRUE(SpinUntil([&] { return done.load(); }));
  late.join();
}

// Events keep coming (disks unplugged and plugged back, a member dropped)
// while the window is opened, walked and closed again and again, and the
// logger rebuilds branches and reselects the current item each time. Neither
// thread may wait for the other for good, and nothing may touch a freed
// window or page (the sanitizer build runs this too).
TEST(ConfigWindowInFrame, StressOpenAndCloseWhileTheTimelineFires) {
  sim::Scenario scenario = sim::DefaultScenario();
  sim::DiskSpec disk;
  for (const sim::DiskSpec& d : scenario.adapters[0].disks)
    if (d.channel == 3) disk = d;
  for (int i = 0; i < 40; ++i) {
    scenario.timeline.push_back(Step(1.0 + 2 * i, sim::RemoveDisk{3, 0}));
    scenario.timeline.push_back(Step(2.0 + 2 * i, sim::InsertDisk{disk}));
  }
  AppRig rig(scenario);
  ASSERT_EQ(rig.app->InitInstance(), app::kExitOk);
  int polls = 0;
  QObject::connect(&rig.Frame(), &app::CMainFrame::pollRefresh, [&] { ++polls; });
  const NodeRef walk[] = {NodeRef::Device(0, 3, 0), NodeRef::Adapter(0), NodeRef::Set(0, 0),
                          NodeRef::Channel(0, 3), NodeRef::Computer()};
  for (int round = 0; round < 40; ++round) {
    rig.tray->SimulateLeftClick();
    views::CConfigTreeDlg* window = rig.Frame().ConfigTree();
    ASSERT_NE(window, nullptr);
    const QPointer<views::CConfigTreeDlg> alive(window);
    window->SelectNode(walk[round % 5]);
    if (round % 5 == 4) window->Sheet()->SetActivePage(1);  // the Events page
    // The timeline's next step, and two polls: the second once the logger
    // waits again.
    const int seen = polls;
    rig.clock->Advance(std::chrono::seconds(1));
    ASSERT_TRUE(rig.Poll()) << "round " << round;
    ASSERT_TRUE(SpinUntil([&] { return polls >= seen + 2; })) << "round " << round;
    if (alive) window->close();
    // Closing while the logger's next call is on its way.
    rig.clock->Advance(std::chrono::seconds(1));
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
  // Exit with the window open and the logger busy.
  rig.tray->SimulateLeftClick();
  EXPECT_NE(rig.Frame().ConfigTree(), nullptr);  // it still opens after the rounds
  rig.clock->Advance(std::chrono::seconds(1));
  rig.app.reset();
}

// While the user-interface thread waits for the logger (pause, stop), the
// logger's calls must not wait for it: they return at once and run later.
TEST(SyncCalls, ClosedCallsReturnAtOnceAndRunLater) {
  QObject context;
  app::SyncCalls calls(&context);
  std::atomic<int> ran{0};
  calls.SetClosed(true);
  std::thread closed([&] { calls.Call([&] { ++ran; }); });
  closed.join();
  EXPECT_EQ(ran, 0);
  QApplication::processEvents();
  EXPECT_EQ(ran, 1);

  // Open: the caller waits, until the calls close under it.
  calls.SetClosed(false);
  std::atomic<bool> returned{false};
  std::thread waiting([&] {
    calls.Call([&] { ++ran; });
    returned = true;
  });
  while (calls.Waiting() == 0) std::this_thread::yield();
  EXPECT_FALSE(returned);
  calls.SetClosed(true);
  waiting.join();
  EXPECT_EQ(ran, 1);
  QApplication::processEvents();
  EXPECT_EQ(ran, 2);
}

}  // namespace
}  // namespace kestrune::test
