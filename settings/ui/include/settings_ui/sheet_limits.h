// How long the texts of the configuration sheet's fields may be.
#pragma once

namespace kestrune::settings {

// Server, addresses and subjects.
inline constexpr int kMaxFieldChars = 220;
// The log file's folder.
inline constexpr int kMaxLocationChars = 260;

}  // namespace kestrune::settings
