#include "settings/smtp_password.h"

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>

#include "platform/secret_file.h"
#include "platform/sqlite_registry.h"
#include "platform/text.h"
#include "resources/strings.h"

namespace kestrune::settings {

namespace {

// The service manager's credential, when it handed the program one.
std::string CredentialPath() {
  const char* credentials = std::getenv("CREDENTIALS_DIRECTORY");
  if (credentials == nullptr || *credentials != '/') return {};
  return (std::filesystem::path(credentials) / kSmtpPasswordFileName).string();
}

}  // namespace

std::string SmtpPasswordPath() {
  namespace fs = std::filesystem;
  if (const std::string given = CredentialPath(); !given.empty()) {
    std::error_code ec;
    if (fs::exists(given, ec)) return given;
  }
  const fs::path store(platform::DefaultRegistryPath());
  return (store.has_parent_path() ? store.parent_path() / kSmtpPasswordFileName
                                  : fs::path(kSmtpPasswordFileName))
      .string();
}

bool ReadSmtpPassword(const std::string& path, std::string& password, std::wstring& error) {
  using Kind = platform::SecretFileStatus::Kind;
  // The service manager gives a service of another user its credential
  // through an access list, which shows in the group bits; its folder is
  // the service's alone.
  const platform::SecretFileStatus status = platform::ReadSecretFile(
      path, password,
      path == CredentialPath() ? platform::kOthersBits : platform::kNotPrivateBits);
  const std::wstring name = platform::FromUtf8(path);
  switch (status.kind) {
    case Kind::Ok:
      return true;
    case Kind::Missing:
      error = res::FormatString(res::kStrSmtpPasswordMissing, name);
      break;
    case Kind::TooOpen:
      error = res::FormatString(res::kStrSmtpPasswordTooOpen, name, static_cast<int>(status.mode),
                                name);
      break;
    case Kind::NotRegular:
    case Kind::TooLarge:
      error = res::FormatString(
          res::kStrSmtpPasswordUnreadable, name,
          std::wstring(status.kind == Kind::TooLarge ? L"it is too large" : L"not a file"));
      break;
    case Kind::Unreadable:
      error = res::FormatString(res::kStrSmtpPasswordUnreadable, name,
                                platform::FromUtf8(status.reason));
      break;
  }
  password.clear();
  return false;
}

bool WriteSmtpPassword(const std::string& path, const std::string& password, std::string& error) {
  return platform::WriteSecretFile(path, password, error);
}

}  // namespace kestrune::settings
