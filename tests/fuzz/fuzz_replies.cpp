// Feeds arbitrary driver replies to the reply decoders. The first byte picks
// the decoder, the second its flags, the rest is the reply payload: each input
// is decoded by the smallest thing that decodes it, a record and a function,
// so millions of replies go through in minutes. One selector in sixteen runs
// the controller's discovery against a driver that answers every request with
// the next piece of the input, so the glue between requests and decoders
// (which decoder sees which reply, what a failed one leaves) is fuzzed too.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "controller/controller_io.h"
#include "controller/decode.h"
#include "platform/device_control.h"
#include "platform/null_services.h"

namespace {

using namespace kestrune;

class ReplyStream final : public platform::DeviceControl {
 public:
  explicit ReplyStream(std::span<const std::uint8_t> data) : data_(data) {}

  platform::DeviceHandle Open(const std::wstring& name, std::uint32_t*) override {
    // Up to five ports, so the four-adapter limit is reached too.
    for (int p = 0; p < 5; ++p)
      if (name == L"\\\\.\\scsi" + std::to_wstring(p) + L":") return static_cast<std::uint64_t>(p + 1);
    return platform::kInvalidDeviceHandle;
  }

  platform::ControlResult Control(platform::DeviceHandle, std::uint32_t,
                                  std::span<std::uint8_t> buffer, std::size_t,
                                  std::size_t outSize) override {
    // Bounds the work of one input; the input runs out long before.
    if (++calls_ > 256 || pos_ >= data_.size()) return {false, 0, 31};
    const std::uint8_t selector = Take();
    if (selector == 0xEE) return {false, 0, 31};
    const std::size_t out = std::min(outSize, buffer.size());
    if (out >= 28) {
      // Return code: mostly success, sometimes the byte itself.
      const std::uint32_t code = (selector & 0x80) ? selector & 0x1F : 0;
      for (std::size_t i = 0; i < 4; ++i) buffer[20 + i] = static_cast<std::uint8_t>(code >> (8 * i));
      const std::size_t length = std::min<std::size_t>(Take() | (Take() << 8), out - 28);
      for (std::size_t i = 0; i < length && pos_ < data_.size(); ++i) buffer[28 + i] = Take();
    }
    return {true, static_cast<std::uint32_t>(out), 0};
  }

  void Close(platform::DeviceHandle) override {}

 private:
  std::uint8_t Take() { return pos_ < data_.size() ? data_[pos_++] : 0; }
  std::span<const std::uint8_t> data_;
  std::size_t pos_ = 0;
  int calls_ = 0;
};

std::uint32_t U32(std::span<const std::uint8_t> bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < 4 && at + i < bytes.size(); ++i)
    value |= static_cast<std::uint32_t>(bytes[at + i]) << (8 * i);
  return value;
}

void Discover(std::span<const std::uint8_t> replies) {
  ctl::ControllerServices services;
  services.deviceControl = std::make_shared<ReplyStream>(replies);
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
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::uint8_t selector = data[0];
  const std::uint8_t flags = data[1];
  const std::span<const std::uint8_t> payload(data + 2, size - 2);
  namespace decode = ctl::decode;

  ctl::AdapterRecord adapter;
  adapter.driverMajor = (flags & 0x01) != 0 ? 2 : 1;
  switch (selector % 16) {
    case 0:
      decode::DriverVersion(payload, adapter);
      break;
    case 1:
      decode::AdapterInfo(payload, adapter);
      break;
    case 2: {
      ctl::ChannelRecord channel;
      decode::ChannelInfo(payload, channel);
      break;
    }
    case 3: {
      // A device block: flags, mode number, sectors per interrupt, IDENTIFY.
      ctl::DeviceRecord device;
      decode::ComposeDevice(device, U32(payload, 0), U32(payload, 4), U32(payload, 8),
                            payload.subspan(std::min<std::size_t>(12, payload.size())));
      decode::SmartTexts(device.identify, device.smartSupport, device.smartEnabled,
                         device.smartStatus);
      break;
    }
    case 4:
      decode::RioVersion(payload, adapter);
      break;
    case 5:
      decode::SpareDrives(payload, adapter);
      break;
    case 6:
    case 7: {
      decode::ResetSets(adapter, true);
      decode::Sets(payload, adapter, (flags & 0x02) != 0);
      for (std::size_t i = 0; i < adapter.sets.size(); ++i) {
        if (decode::SetFullyDecoded(payload, i)) decode::SetDiskTexts(adapter.sets[i]);
      }
      break;
    }
    case 8:
      decode::SmartReturnStatus(payload);
      break;
    case 15:
      Discover(payload);
      break;
    default:
      // The reply fed to every decoder in turn.
      decode::DriverVersion(payload, adapter);
      decode::AdapterInfo(payload, adapter);
      decode::SpareDrives(payload, adapter);
      decode::Sets(payload, adapter, (flags & 0x02) != 0);
      decode::SmartReturnStatus(payload);
      break;
  }
  return 0;
}
