// The SMTP password. It is kept out of the registry store (which anyone who
// may look at the settings reads, and which kestrune-reg prints) in a file of
// its own that only its owner may read; a file that others may read is
// refused, as ssh refuses such a key.
#pragma once

#include <string>

namespace kestrune::settings {

// The file's name, in the service manager's credentials and beside the store.
inline constexpr char kSmtpPasswordFileName[] = "smtp-password";

// $CREDENTIALS_DIRECTORY/smtp-password when the service manager handed the
// program that credential (LoadCredential=smtp-password:...), else the file
// "smtp-password" in the registry store's folder.
std::string SmtpPasswordPath();

// Reads the password for a mail: true with it; false with the text that
// fails the mail (no file, a file others may read, one that cannot be read).
// The service manager's credential may show group bits (its access list for
// the service's user), never any for others.
bool ReadSmtpPassword(const std::string& path, std::string& password, std::wstring& error);

// Stores a new password (0600, replacing the file whole); an empty one
// removes the file. False with the reason in English.
bool WriteSmtpPassword(const std::string& path, const std::string& password, std::string& error);

}  // namespace kestrune::settings
