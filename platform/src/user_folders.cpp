#include "platform/user_folders.h"

#include <pwd.h>
#include <unistd.h>

#include <array>
#include <cstdlib>

namespace kestrune::platform {
namespace {

std::string WithSlash(std::string folder) {
  if (folder.empty() || folder.back() != '/') folder += '/';
  return folder;
}

std::string XdgFolder(const char* variable, const char* belowHome) {
  if (const char* value = std::getenv(variable); value != nullptr && value[0] == '/')
    return WithSlash(value);
  return HomeFolder() + belowHome;
}

}  // namespace

std::string HomeFolder() {
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0')
    return WithSlash(home);
  std::array<char, 4096> buffer{};
  passwd entry{};
  passwd* result = nullptr;
  if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &result) == 0 &&
      result != nullptr && result->pw_dir != nullptr && result->pw_dir[0] != '\0') {
    return WithSlash(result->pw_dir);
  }
  return "./";
}

std::string StateFolder() {
  return XdgFolder("XDG_STATE_HOME", ".local/state/");
}

std::string ConfigFolder() {
  return XdgFolder("XDG_CONFIG_HOME", ".config/");
}

}  // namespace kestrune::platform
