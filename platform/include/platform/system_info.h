// What the machine says about itself.
#pragma once

#include <string>

namespace kestrune::platform {

class SystemInfo {
 public:
  virtual ~SystemInfo() = default;
  virtual std::wstring ComputerName() = 0;
  virtual std::wstring OsName() = 0;      // "Debian GNU/Linux 12 (bookworm)"
  virtual std::wstring OsVersion() = 0;   // "12"
  virtual std::wstring OsRelease() = 0;   // kernel release, "Linux 6.1.0-18-amd64"
  virtual std::wstring MediaPath() = 0;   // the media folder under the system folder
};

}  // namespace kestrune::platform
