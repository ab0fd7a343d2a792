// The system sound service: files that cannot be played are refused before
// the sound system is asked; a real wave file never crashes or blocks,
// whether or not this machine has a sound device.
#include "platform/sound.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>

#include "platform/temp_dir.h"
#include "platform/text.h"

namespace kestrune::platform {
namespace {

// A 44-byte RIFF header and 0.1 s of 8 kHz, 8-bit mono silence.
void WriteWave(const std::string& path) {
  const std::uint32_t samples = 800;
  auto u32 = [](std::uint32_t v) {
    return std::string{static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
                       static_cast<char>(v >> 24)};
  };
  std::string wave = "RIFF" + u32(36 + samples) + "WAVEfmt " + u32(16) +
                     std::string("\x01\x00\x01\x00", 4) + u32(8000) + u32(8000) +
                     std::string("\x01\x00\x08\x00", 4) + "data" + u32(samples) +
                     std::string(samples, '\x80');
  std::ofstream(path, std::ios::binary) << wave;
}

TEST(SystemSound, RefusesWhatIsNoReadableFile) {
  testing::TempDir dir;
  auto sound = MakeSystemSound();
  EXPECT_FALSE(sound->PlayAsync(FromUtf8(dir.File("missing.wav"))));
  EXPECT_FALSE(sound->PlayAsync(FromUtf8(dir.path().string())));
  EXPECT_FALSE(sound->PlayAsync(L""));
  EXPECT_FALSE(sound->PlayAsync(L"Disabled"));
}

TEST(SystemSound, AWaveFileReturnsPromptlyEitherWay) {
  testing::TempDir dir;
  const std::string path = dir.File("chime.wav");
  WriteWave(path);
  auto sound = MakeSystemSound();
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 3; ++i) sound->PlayAsync(FromUtf8(path));  // played or not: no crash
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

}  // namespace
}  // namespace kestrune::platform
