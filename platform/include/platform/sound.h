// Playing a wave file without waiting for it.
#pragma once

#include <memory>
#include <string>

namespace kestrune::platform {

class Sound {
 public:
  virtual ~Sound() = default;
  // Starts playing the file and returns at once; false when it cannot be
  // played (missing file, no sound system). Never blocks on the playback.
  virtual bool PlayAsync(const std::wstring& path) = 0;
};

// The desktop's sound system (libcanberra); silent when there is none.
std::shared_ptr<Sound> MakeSystemSound();

}  // namespace kestrune::platform
