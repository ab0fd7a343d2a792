// A stop request that a blocked thread sees at once: once raised it stays
// raised, and its descriptor is readable from then on, so that a thread
// waiting in poll() on a socket can wait on the stop request too.
#pragma once

#include <atomic>

namespace kestrune::platform {

class StopSignal {
 public:
  StopSignal();
  ~StopSignal();
  StopSignal(const StopSignal&) = delete;
  StopSignal& operator=(const StopSignal&) = delete;

  // May be called from any thread, any number of times.
  void Raise();
  bool Raised() const { return raised_.load(); }
  // Readable (POLLIN) once raised; -1 when no descriptor could be had, and
  // then only Raised() tells.
  int Fd() const { return fd_; }

 private:
  std::atomic<bool> raised_{false};
  int fd_ = -1;
};

}  // namespace kestrune::platform
