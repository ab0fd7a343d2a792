// Feeds arbitrary driver replies to the reply decoders. The first byte picks
// the decoder, the second its flags, the rest is the reply payload: each input
// is decoded by the smallest thing that decodes it, a record and a function,
// so millions of replies go through in minutes. The records are made once
// (an adapter record holds sixty device slots) and put back to their presets
// by the decoders' own reset steps before every input. Which reply reaches
// which decoder, and what a short or failed one leaves in the model, is the
// controller's part, tested request by request in tests/controller.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

#include "controller/decode.h"

namespace {

using namespace kestrune;

std::uint32_t U32(std::span<const std::uint8_t> bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < 4 && at + i < bytes.size(); ++i)
    value |= static_cast<std::uint32_t>(bytes[at + i]) << (8 * i);
  return value;
}

// The adapter record a decoder fills, as the controller has it before the
// query: presets, the driver version the flags give (bit 0: extended) and a
// channel and device count within the model's limits (bits 2-4 and 5-7), so
// that replies naming slots inside and outside it are both tried.
ctl::AdapterRecord& PresetAdapter(std::uint8_t flags) {
  static ctl::AdapterRecord adapter;
  namespace decode = ctl::decode;
  decode::ResetDriverVersion(adapter);
  decode::ResetAdapterInfo(adapter);
  decode::ResetRioVersion(adapter);
  decode::ResetSets(adapter, true);
  for (auto& channel : adapter.channels)
    for (auto& device : channel.devices) device.spare = 0;
  adapter.driverMajor = (flags & 0x01) != 0 ? 2 : 1;
  adapter.driverMinor = 1;
  adapter.channelCount = static_cast<std::uint16_t>(((flags >> 2) & 0x07) % (ctl::kMaxChannels + 1));
  adapter.devicesPerChannel = static_cast<std::uint16_t>(flags >> 5);
  return adapter;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::uint8_t selector = data[0];
  const std::uint8_t flags = data[1];
  const std::span<const std::uint8_t> payload(data + 2, size - 2);
  namespace decode = ctl::decode;

  ctl::AdapterRecord& adapter = PresetAdapter(flags);
  switch (selector % 16) {
    case 0:
      decode::DriverVersion(payload, adapter);
      break;
    case 1:
      decode::AdapterInfo(payload, adapter);
      break;
    case 2: {
      ctl::ChannelRecord& channel = adapter.channels[0];
      channel.ResetInfo();
      decode::ChannelInfo(payload, channel);
      break;
    }
    case 3: {
      // A device block: flags, mode number, sectors per interrupt, IDENTIFY.
      // Composing overwrites every field it reads.
      static ctl::DeviceRecord device;
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
