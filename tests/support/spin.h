// Runs the event loop while a test waits for something the loop brings about.
#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <chrono>
#include <functional>
#include <thread>

namespace kestrune::test {

// Runs the event loop until `done` or five seconds have passed.
inline bool SpinUntil(const std::function<bool()>& done, int timeoutMs = 5000) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > timeoutMs) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 20);
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

}  // namespace kestrune::test
