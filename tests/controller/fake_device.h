// A scripted port device: each call hands the request to a handler, and every
// request's input bytes are kept for inspection.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "platform/device_control.h"

namespace kestrune::test {

struct SentRequest {
  std::uint32_t code = 0;
  std::vector<std::uint8_t> input;
  std::size_t outSize = 0;
};

class FakeDevice final : public platform::DeviceControl {
 public:
  using Handler = std::function<platform::ControlResult(const SentRequest&, std::span<std::uint8_t>)>;

  // Ports 0 .. ports-1 open; the handler answers every call.
  FakeDevice(int ports, Handler handler) : ports_(ports), handler_(std::move(handler)) {}

  platform::DeviceHandle Open(const std::wstring& name, std::uint32_t*) override {
    opened.push_back(name);
    for (int p = 0; p < ports_; ++p)
      if (name == L"\\\\.\\scsi" + std::to_wstring(p) + L":") return static_cast<std::uint64_t>(p + 1);
    return platform::kInvalidDeviceHandle;
  }

  platform::ControlResult Control(platform::DeviceHandle, std::uint32_t code,
                                  std::span<std::uint8_t> buffer, std::size_t inSize,
                                  std::size_t outSize) override {
    SentRequest sent{code, std::vector<std::uint8_t>(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(inSize)), outSize};
    requests.push_back(sent);
    return handler_(sent, buffer.first(std::max(inSize, outSize)));
  }

  void Close(platform::DeviceHandle) override { ++closed; }

  std::vector<std::wstring> opened;
  std::vector<SentRequest> requests;
  int closed = 0;

 private:
  int ports_;
  Handler handler_;
};

// Little-endian writers for replies written out in tests.
inline void Put16(std::span<std::uint8_t> b, std::size_t at, std::uint16_t v) {
  b[at] = static_cast<std::uint8_t>(v);
  b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
inline void Put32(std::span<std::uint8_t> b, std::size_t at, std::uint32_t v) {
  for (std::size_t i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}
inline std::uint32_t ControlCodeOf(const SentRequest& r) {
  return static_cast<std::uint32_t>(r.input[16] | (r.input[17] << 8) | (r.input[18] << 16) |
                                    (r.input[19] << 24));
}
inline std::string SignatureOf(const SentRequest& r) {
  return std::string(r.input.begin() + 4, r.input.begin() + 12);
}

}  // namespace kestrune::test
