// A file that holds a secret (a password): readable by its owner only, as ssh
// keeps its keys. A file that others may read is refused rather than used,
// so that the mistake is seen and mended.
#pragma once

#include <string>

namespace kestrune::platform {

struct SecretFileStatus {
  enum class Kind {
    Ok,
    Missing,     // no such file
    TooOpen,     // the group or others may read or change it: `mode` tells
    NotRegular,  // a folder, a device, ...
    TooLarge,    // more than kMaxSecretBytes: no password file
    Unreadable,  // cannot be opened or read: `reason`
  };
  Kind kind = Kind::Ok;
  unsigned mode = 0;   // the permission bits, for TooOpen
  std::string reason;  // the system's words, for Unreadable
};

inline constexpr std::size_t kMaxSecretBytes = 4096;

// Reads the secret: the file's bytes, less one final line end (LF or CR LF)
// that an editor or "echo" put there.
SecretFileStatus ReadSecretFile(const std::string& path, std::string& secret);

// Writes the secret as the file's new content, readable and writable by the
// owner only (0600) from its first byte on; the file is replaced whole or
// not at all. An empty secret removes the file. False with the reason.
bool WriteSecretFile(const std::string& path, const std::string& secret, std::string& error);

}  // namespace kestrune::platform
