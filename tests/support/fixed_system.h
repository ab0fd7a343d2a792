// System facts that stay the same on every machine the tests run on.
#pragma once

#include <string>

#include "platform/system_info.h"

namespace kestrune::test {

class FixedSystem final : public platform::SystemInfo {
 public:
  explicit FixedSystem(std::wstring mediaPath) : mediaPath_(std::move(mediaPath)) {}
  std::wstring ComputerName() override { return L"WORKSTATION"; }
  std::wstring OsName() override { return L"Debian GNU/Linux 12 (bookworm)"; }
  std::wstring OsVersion() override { return L"12"; }
  std::wstring OsRelease() override { return L"Linux 6.1.0-18-amd64"; }
  std::wstring MediaPath() override { return mediaPath_; }

 private:
  std::wstring mediaPath_;
};

}  // namespace kestrune::test
