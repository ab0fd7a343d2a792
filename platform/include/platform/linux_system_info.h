// What a Linux machine says about itself: host name, /etc/os-release, uname.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "platform/system_info.h"

namespace kestrune::platform {

// ComputerName: the host name. OsName: PRETTY_NAME of os-release, else NAME,
// else "Linux". OsVersion: VERSION_ID, else the kernel release. OsRelease:
// "Linux " + the kernel release. MediaPath: the text given. Every call reads
// the system afresh. The os-release file is /etc/os-release, or
// /usr/lib/os-release when that is missing.
std::shared_ptr<SystemInfo> MakeLinuxSystemInfo(std::wstring mediaPath);
// The same with the os-release file named (only that file is read).
std::shared_ptr<SystemInfo> MakeLinuxSystemInfo(std::wstring mediaPath, std::string osReleasePath);

// Parses os-release text: KEY=value lines with shell quoting ('...', "..."
// with backslash escapes, bare words with backslash escapes); blank lines,
// comments and malformed lines are skipped; a later assignment wins.
std::map<std::string, std::string> ParseOsRelease(std::string_view text);

}  // namespace kestrune::platform
