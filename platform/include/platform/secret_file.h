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

// The permission bits that make a secret file too open: any for the group
// or others. In a folder that only its owner's processes may enter (the
// service manager's credentials) the group bits are those of an access list
// naming the service's user, and only the bits of others count.
inline constexpr unsigned kNotPrivateBits = 077;
inline constexpr unsigned kOthersBits = 007;

// Reads the secret: the file's bytes, less one final line end (LF or CR LF)
// that an editor or "echo" put there. A file with any of `forbidden` in its
// permissions is refused as TooOpen.
SecretFileStatus ReadSecretFile(const std::string& path, std::string& secret,
                                unsigned forbidden = kNotPrivateBits);

// Writes the secret as the file's new content, readable and writable by the
// owner only (0600) from its first byte on; the file is replaced whole or
// not at all. An empty secret removes the file. False with the reason.
bool WriteSecretFile(const std::string& path, const std::string& secret, std::string& error);

}  // namespace kestrune::platform
