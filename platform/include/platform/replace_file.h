// Writing a whole file so that it is either wholly there or not changed.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace kestrune::platform {

// Writes `bytes` as the new content of the regular file at `path` (created
// when missing): first into a fresh file beside it, which is flushed to disk
// and then renamed over the target, so that a full disk, a crash or a kill
// leaves the old file (or none) rather than an empty or cut one. A symbolic
// link is followed and stays a link. A target that exists and is no regular
// file (a pipe, a device, a folder) is refused, since the rename would put a
// file in its place and a pipe would wait for a reader. The new file gets the
// usual permissions of a created file (`mode`, 0666 unless given, less the
// umask) from its first byte on. Returns false with a reason in English in
// `error` when the file could not be written.
bool ReplaceFileContent(const std::string& path, std::span<const std::uint8_t> bytes,
                        std::string& error, unsigned mode = 0666);

}  // namespace kestrune::platform
