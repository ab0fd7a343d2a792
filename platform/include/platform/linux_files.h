// Files on the Linux file system: modification time texts and version blocks.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/files.h"

namespace kestrune::platform {

// Wide paths are taken as UTF-8 file names. The version block search looks
// at the first kMaxVersionScan bytes of a regular file only, so a huge file
// costs neither unbounded memory nor unbounded time.
inline constexpr std::uint64_t kMaxVersionScan = std::uint64_t{64} << 20;

std::shared_ptr<Files> MakeLinuxFiles();

}  // namespace kestrune::platform
