// The event logger's synchronous calls into the user-interface thread: the
// logger hands over the work and waits until the user-interface thread has
// run it. While the user-interface thread itself waits for the logger (the
// pause handshake, the stop at exit) it cannot run anything, so the calls are
// closed then: a waiting caller goes on at once and its work runs later, when
// the user-interface thread gets back to its events. So neither thread can
// wait for the other at the same time.
#pragma once

#include <QObject>
#include <condition_variable>
#include <functional>
#include <mutex>

namespace kestrune::app {

class SyncCalls {
 public:
  // `context` lives on the user-interface thread; work is run there, and is
  // dropped when `context` is destroyed before it ran.
  explicit SyncCalls(QObject* context) : context_(context) {}
  SyncCalls(const SyncCalls&) = delete;
  SyncCalls& operator=(const SyncCalls&) = delete;

  // Any thread. On the user-interface thread the work runs at once;
  // elsewhere it runs there and the caller waits for it, unless the calls
  // are closed (or become closed while it waits).
  void Call(std::function<void()> work);

  // User-interface thread: closes the calls before it waits for the caller's
  // thread, and opens them again afterwards.
  void SetClosed(bool closed);

  // Callers waiting now (for tests).
  int Waiting();

 private:
  QObject* context_;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool closed_ = false;
  int waiting_ = 0;
};

}  // namespace kestrune::app
