// Feeds arbitrary driver replies to the controller: every request is answered
// with the next piece of the input, so discovery, refresh and event fetches
// decode whatever bytes a broken or hostile driver could hand back.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "controller/controller_io.h"
#include "controller/decode.h"
#include "platform/device_control.h"
#include "platform/null_services.h"

namespace {

using namespace kestrune;

class ReplyStream final : public platform::DeviceControl {
 public:
  ReplyStream(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  platform::DeviceHandle Open(const std::wstring& name, std::uint32_t*) override {
    // Up to five ports, so the four-adapter limit is reached too.
    for (int p = 0; p < 5; ++p)
      if (name == L"\\\\.\\scsi" + std::to_wstring(p) + L":") return static_cast<std::uint64_t>(p + 1);
    return platform::kInvalidDeviceHandle;
  }

  platform::ControlResult Control(platform::DeviceHandle, std::uint32_t,
                                  std::span<std::uint8_t> buffer, std::size_t inSize,
                                  std::size_t outSize) override {
    if (++calls_ > 4000) return {false, 0, 31};  // bound the work of one input
    const std::uint8_t selector = Take();
    if (selector == 0xEE) return {false, 0, 31};
    const std::size_t out = std::min(outSize, buffer.size());
    if (out >= 28) {
      // Return code: mostly success, sometimes the byte itself.
      const std::uint32_t code = (selector & 0x80) ? selector & 0x1F : 0;
      for (std::size_t i = 0; i < 4; ++i) buffer[20 + i] = static_cast<std::uint8_t>(code >> (8 * i));
      const std::size_t length = std::min<std::size_t>(Take() | (Take() << 8), out - 28);
      for (std::size_t i = 0; i < length && pos_ < size_; ++i) buffer[28 + i] = Take();
    }
    (void)inSize;
    return {true, static_cast<std::uint32_t>(out), 0};
  }

  void Close(platform::DeviceHandle) override {}

 private:
  std::uint8_t Take() { return pos_ < size_ ? data_[pos_++] : 0; }
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
  int calls_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The decoders alone, on the raw input as one payload.
  {
    ctl::AdapterRecord adapter;
    const std::span<const std::uint8_t> payload(data, size);
    adapter.driverMajor = size > 0 && (data[0] & 1) ? 2 : 1;
    ctl::decode::AdapterInfo(payload, adapter);
    ctl::decode::SpareDrives(payload, adapter);
    ctl::decode::Sets(payload, adapter, size > 1 && (data[1] & 1));
    for (auto& set : adapter.sets) ctl::decode::SetDiskTexts(set);
  }
  // The whole controller against a driver that answers with the input.
  ctl::ControllerServices services;
  services.deviceControl = std::make_shared<ReplyStream>(data, size);
  services.deviceInstaller = std::make_shared<platform::NullDeviceInstaller>();
  services.ui = std::make_shared<platform::NullUi>();
  ctl::CControllerIo io(services);
  io.Discover();
  ctl::CControllerIo::Lock lock(io);
  for (std::size_t n = 0; n < io.Model().AdapterCount(); ++n) {
    ctl::EventBatch batch;
    io.FetchEvents(*io.Model().Adapter(n), batch);
    io.QuerySets(*io.Model().Adapter(n), false);
  }
  return 0;
}
