#include "app/sync_calls.h"

#include <QMetaObject>
#include <QThread>
#include <memory>

namespace kestrune::app {

void SyncCalls::Call(std::function<void()> work) {
  if (QThread::currentThread() == context_->thread()) {
    work();
    return;
  }
  struct Pending {
    std::function<void()> work;
    bool done = false;
  };
  auto pending = std::make_shared<Pending>();
  pending->work = std::move(work);
  std::unique_lock lock(mutex_);
  const bool wait = !closed_;
  if (wait) ++waiting_;
  QMetaObject::invokeMethod(
      context_,
      [this, pending] {
        pending->work();
        {
          std::lock_guard done(mutex_);
          pending->done = true;
        }
        changed_.notify_all();
      },
      Qt::QueuedConnection);
  if (!wait) return;
  changed_.wait(lock, [&] { return pending->done || closed_; });
  --waiting_;
}

void SyncCalls::SetClosed(bool closed) {
  {
    std::lock_guard lock(mutex_);
    closed_ = closed;
  }
  changed_.notify_all();
}

int SyncCalls::Waiting() {
  std::lock_guard lock(mutex_);
  return waiting_;
}

}  // namespace kestrune::app
