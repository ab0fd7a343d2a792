#include "platform/linux_system_info.h"

#include <sys/utsname.h>
#include <unistd.h>

#include <array>
#include <climits>
#include <fstream>
#include <optional>
#include <vector>

#include "platform/text.h"

namespace kestrune::platform {

namespace {

// An os-release file is a few hundred bytes; anything far larger is not one.
constexpr std::size_t kMaxOsReleaseSize = 64 * 1024;

bool IsKeyChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r';
}

// Reads one shell word of an assignment's value; stops at unquoted blanks
// (anything after them, such as a comment, is ignored).
std::string ParseValue(std::string_view value) {
  std::string out;
  std::size_t i = 0;
  while (i < value.size()) {
    const char c = value[i];
    if (IsBlank(c)) break;
    if (c == '\'') {
      const std::size_t end = value.find('\'', i + 1);
      const std::size_t stop = end == std::string_view::npos ? value.size() : end;
      out.append(value.substr(i + 1, stop - i - 1));
      i = stop + 1;
    } else if (c == '"') {
      ++i;
      while (i < value.size() && value[i] != '"') {
        // Inside double quotes a backslash only escapes these characters.
        if (value[i] == '\\' && i + 1 < value.size() &&
            std::string_view("\"\\$`").find(value[i + 1]) != std::string_view::npos) {
          ++i;
        }
        out.push_back(value[i]);
        ++i;
      }
      ++i;
    } else if (c == '\\') {
      if (i + 1 < value.size()) out.push_back(value[i + 1]);
      i += 2;
    } else {
      out.push_back(c);
      ++i;
    }
  }
  return out;
}

std::optional<std::string> ReadSmallFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string text(kMaxOsReleaseSize, '\0');
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<std::size_t>(in.gcount()));
  return text;
}

std::string KernelRelease() {
  utsname names{};
  if (uname(&names) != 0) return {};
  return names.release;
}

class LinuxSystemInfo final : public SystemInfo {
 public:
  LinuxSystemInfo(std::wstring mediaPath, std::vector<std::string> osReleasePaths)
      : mediaPath_(std::move(mediaPath)), osReleasePaths_(std::move(osReleasePaths)) {}

  std::wstring ComputerName() override {
    std::array<char, HOST_NAME_MAX + 1> name{};
    if (gethostname(name.data(), name.size() - 1) != 0) return {};
    return FromUtf8(name.data());
  }

  std::wstring OsName() override {
    const auto fields = ReadOsRelease();
    for (const char* key : {"PRETTY_NAME", "NAME"}) {
      const auto it = fields.find(key);
      if (it != fields.end() && !it->second.empty()) return FromUtf8(it->second);
    }
    return L"Linux";
  }

  std::wstring OsVersion() override {
    const auto fields = ReadOsRelease();
    const auto it = fields.find("VERSION_ID");
    if (it != fields.end() && !it->second.empty()) return FromUtf8(it->second);
    return FromUtf8(KernelRelease());
  }

  std::wstring OsRelease() override {
    const std::string release = KernelRelease();
    return release.empty() ? L"Linux" : L"Linux " + FromUtf8(release);
  }

  std::wstring MediaPath() override { return mediaPath_; }

 private:
  std::map<std::string, std::string> ReadOsRelease() const {
    for (const auto& path : osReleasePaths_) {
      if (const auto text = ReadSmallFile(path)) return ParseOsRelease(*text);
    }
    return {};
  }

  const std::wstring mediaPath_;
  const std::vector<std::string> osReleasePaths_;
};

}  // namespace

std::map<std::string, std::string> ParseOsRelease(std::string_view text) {
  std::map<std::string, std::string> fields;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);

    while (!line.empty() && IsBlank(line.front())) line.remove_prefix(1);
    if (line.empty() || line.front() == '#') continue;
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos || equals == 0) continue;
    const std::string_view key = line.substr(0, equals);
    bool validKey = true;
    for (char c : key) validKey = validKey && IsKeyChar(c);
    if (!validKey) continue;
    fields[std::string(key)] = ParseValue(line.substr(equals + 1));
  }
  return fields;
}

std::shared_ptr<SystemInfo> MakeLinuxSystemInfo(std::wstring mediaPath) {
  return std::make_shared<LinuxSystemInfo>(
      std::move(mediaPath), std::vector<std::string>{"/etc/os-release", "/usr/lib/os-release"});
}

std::shared_ptr<SystemInfo> MakeLinuxSystemInfo(std::wstring mediaPath, std::string osReleasePath) {
  return std::make_shared<LinuxSystemInfo>(std::move(mediaPath),
                                           std::vector<std::string>{std::move(osReleasePath)});
}

}  // namespace kestrune::platform
