// Runs the event loop while a test waits for something the loop brings about.
#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QMetaObject>
#include <QTimer>
#include <chrono>
#include <functional>

namespace kestrune::test {

// Runs the event loop until `done`. Between two looks the loop sleeps until
// something comes for it (a posted call, a timer, a socket, a message from
// another thread), so nothing here waits for time to pass; `limit` (real
// time) only ends a wait that would never end, and the test fails.
inline bool SpinUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds limit = std::chrono::seconds(30)) {
  const QDeadlineTimer deadline(limit);
  // Wakes the last sleep at the limit.
  QTimer wake;
  wake.setSingleShot(true);
  wake.start(limit);
  for (;;) {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    if (done()) return true;
    if (deadline.hasExpired()) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
  }
}

// For a thread other than the user interface's that has changed what a
// SpinUntil there waits for without posting anything: wakes the loop to look.
inline void WakeTheLoop() {
  QMetaObject::invokeMethod(QCoreApplication::instance(), [] {}, Qt::QueuedConnection);
}

}  // namespace kestrune::test
