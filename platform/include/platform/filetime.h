// FILETIME: 100-nanosecond ticks since 1601-01-01 UTC, the time unit of the
// driver's event records and of the program's start time.
#pragma once

#include <chrono>
#include <cstdint>

namespace kestrune::platform {

inline constexpr std::int64_t kFiletimeTicksPerSecond = 10'000'000;
inline constexpr std::int64_t kSecondsFrom1601To1970 = 11'644'473'600;
// 1970-01-01 UTC as a FILETIME.
inline constexpr std::int64_t kFiletimeOfUnixEpoch =
    kSecondsFrom1601To1970 * kFiletimeTicksPerSecond;

// Whole seconds since 1970-01-01 UTC of a FILETIME (tenths of seconds dropped).
constexpr std::int64_t FiletimeToUnixSeconds(std::uint64_t filetime) {
  return static_cast<std::int64_t>(filetime / kFiletimeTicksPerSecond) - kSecondsFrom1601To1970;
}

// A FILETIME of whole seconds; 0 for a time before 1601.
inline std::uint64_t ToFiletime(std::chrono::system_clock::time_point when) {
  const auto seconds =
      std::chrono::duration_cast<std::chrono::seconds>(when.time_since_epoch()).count();
  const std::int64_t since1601 = seconds + kSecondsFrom1601To1970;
  return since1601 > 0 ? static_cast<std::uint64_t>(since1601 * kFiletimeTicksPerSecond) : 0;
}

}  // namespace kestrune::platform
