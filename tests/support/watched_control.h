// A device control that passes everything to another and keeps what was
// opened, sent and closed. Safe to use from the logger thread and the test
// at once.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/device_control.h"

namespace kestrune::test {

class WatchedControl final : public platform::DeviceControl {
 public:
  // One miniport request: the header's signature and control code, and the
  // first (up to four) payload bytes.
  struct Sent {
    std::string signature;
    std::uint32_t code = 0;
    std::vector<std::uint8_t> head;
  };

  explicit WatchedControl(std::shared_ptr<platform::DeviceControl> inner)
      : inner_(std::move(inner)) {}

  platform::DeviceHandle Open(const std::wstring& name, std::uint32_t* error) override {
    {
      std::lock_guard lock(mutex_);
      opened_.push_back(name);
    }
    return inner_->Open(name, error);
  }
  platform::ControlResult Control(platform::DeviceHandle h, std::uint32_t code,
                                  std::span<std::uint8_t> buffer, std::size_t in,
                                  std::size_t out) override {
    constexpr std::size_t kHeaderSize = 28;  // SRB_IO_CONTROL
    if (code == platform::kIoctlScsiMiniport && in >= kHeaderSize && buffer.size() >= kHeaderSize) {
      const std::size_t headEnd = std::min(buffer.size(), kHeaderSize + 4);
      std::lock_guard lock(mutex_);
      sent_.push_back(
          {std::string(buffer.begin() + 4, buffer.begin() + 12),
           static_cast<std::uint32_t>(buffer[16] | buffer[17] << 8 | buffer[18] << 16 |
                                      buffer[19] << 24),
           std::vector<std::uint8_t>(buffer.begin() + kHeaderSize, buffer.begin() + headEnd)});
    }
    return inner_->Control(h, code, buffer, in, out);
  }
  void Close(platform::DeviceHandle h) override {
    {
      std::lock_guard lock(mutex_);
      ++closed_;
    }
    inner_->Close(h);
  }

  std::vector<std::wstring> Opened() {
    std::lock_guard lock(mutex_);
    return opened_;
  }
  std::size_t Opens(const std::wstring& name) {
    std::lock_guard lock(mutex_);
    return static_cast<std::size_t>(std::count(opened_.begin(), opened_.end(), name));
  }
  std::vector<Sent> SentRequests() {
    std::lock_guard lock(mutex_);
    return sent_;
  }
  // Requests sent with a signature and control code.
  std::size_t Count(const std::string& signature, std::uint32_t code) {
    std::lock_guard lock(mutex_);
    return static_cast<std::size_t>(std::count_if(sent_.begin(), sent_.end(), [&](const Sent& s) {
      return s.signature == signature && s.code == code;
    }));
  }
  int Closed() {
    std::lock_guard lock(mutex_);
    return closed_;
  }

 private:
  std::shared_ptr<platform::DeviceControl> inner_;
  std::mutex mutex_;
  std::vector<std::wstring> opened_;
  std::vector<Sent> sent_;
  int closed_ = 0;
};

}  // namespace kestrune::test
