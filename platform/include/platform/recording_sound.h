// A sound service for tests: keeps every path it was asked to play and answers
// with a settable result. Safe to use from several threads.
#pragma once

#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

#include "platform/sound.h"

namespace kestrune::platform {

class RecordingSound final : public Sound {
 public:
  bool PlayAsync(const std::wstring& path) override {
    std::lock_guard lock(mutex_);
    played_.push_back(path);
    return result_;
  }

  void SetResult(bool result) {
    std::lock_guard lock(mutex_);
    result_ = result;
  }
  // Every path asked for, in order, whether or not it "played".
  std::vector<std::wstring> Played() {
    std::lock_guard lock(mutex_);
    return played_;
  }
  std::size_t Count() {
    std::lock_guard lock(mutex_);
    return played_.size();
  }
  void Clear() {
    std::lock_guard lock(mutex_);
    played_.clear();
  }

 private:
  std::mutex mutex_;
  std::vector<std::wstring> played_;
  bool result_ = true;
};

}  // namespace kestrune::platform
