// Event and log time stamps.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

namespace kestrune::evt {

// A broken-down local time as the time format string (kStrTimeFormat) lays it
// out, with English month names whatever the process locale.
std::wstring FormatLocalTime(const std::tm& local);
// A FILETIME (UTC) converted to local time and formatted as above. Every
// FILETIME value gives a text: should the C library fail to break a time down,
// the UTC time is shown instead.
std::wstring FormatEventTime(std::uint64_t filetime);
// A FILETIME as UTC calendar time, computed without the C library (the
// fallback above); defined for every FILETIME value.
std::tm FiletimeToUtc(std::uint64_t filetime);

}  // namespace kestrune::evt
