// Services that do nothing, beside the recording ones: for programs and tests
// that need an interface filled but have nothing behind it.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/device_installer.h"
#include "platform/ui_services.h"

namespace kestrune::platform {

// A user interface nobody sees: every box is answered Ok at once, nothing is
// recorded.
class NullUi final : public UiServices {
 public:
  MsgResult MessageBox(const std::wstring&, const std::wstring&, MsgButtons, MsgIcon) override {
    return MsgResult::Ok;
  }
  void BeginWaitCursor() override {}
  void EndWaitCursor() override {}
  bool SetClipboardText(const std::wstring&) override { return true; }
};

// A device manager that knows no device at all.
class NullDeviceInstaller final : public DeviceInstaller {
 public:
  std::optional<std::wstring> ClassGuidFromName(const std::wstring&) override {
    return std::nullopt;
  }
  std::optional<std::vector<DevInst>> PresentDevices(const std::wstring&) override {
    return std::nullopt;
  }
  std::optional<std::wstring> Property(DevInst, DeviceProperty) override { return std::nullopt; }
  std::optional<std::wstring> InstanceId(DevInst) override { return std::nullopt; }
  std::optional<DeviceNodeStatus> Status(DevInst) override { return std::nullopt; }
  bool Remove(DevInst) override { return false; }
  bool Reenumerate(DevInst) override { return false; }
  std::optional<DevInst> FirstChild(DevInst) override { return std::nullopt; }
  std::optional<DevInst> NextSibling(DevInst) override { return std::nullopt; }
};

}  // namespace kestrune::platform
