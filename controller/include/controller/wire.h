// The driver request framing: an SRB_IO_CONTROL header followed by the
// payload, in one buffer that is both input and output.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace kestrune::ctl::wire {

inline constexpr std::size_t kHeaderSize = 28;
inline constexpr std::uint32_t kSentReturnCode = 0xFFFFFFFF;

// Buffer sizes by request family.
inline constexpr std::size_t kIdeBufferSize = 2152;
inline constexpr std::size_t kRioBufferSize = 544;
inline constexpr std::size_t kSmartBufferSize = 556;
inline constexpr std::size_t kSmartIdentifyOutSize = 2184;

using Signature = std::array<char, 8>;
inline constexpr Signature kSignatureIde = {'Q', 'M', 'X', '_', 'I', 'D', 'E', ' '};
inline constexpr Signature kSignatureRio = {'Q', 'M', 'X', '_', 'R', 'I', 'O', ' '};
inline constexpr Signature kSignatureSmart = {'S', 'C', 'S', 'I', 'D', 'I', 'S', 'K'};

namespace code {
inline constexpr std::uint32_t kDriverVersion = 0x42000;
inline constexpr std::uint32_t kAdapterInfo = 0x42004;
inline constexpr std::uint32_t kDeviceInfo = 0x42008;
inline constexpr std::uint32_t kFetchEvents = 0x4200C;
inline constexpr std::uint32_t kSetDeviceFeatures = 0x4201C;
inline constexpr std::uint32_t kChannelInfo = 0x42020;
inline constexpr std::uint32_t kSetGpioInterface = 0x42024;
inline constexpr std::uint32_t kWriteGpioStatus = 0x42028;
inline constexpr std::uint32_t kRioVersion = 0x42000;
inline constexpr std::uint32_t kDeleteSet = 0x42008;
inline constexpr std::uint32_t kAddMember = 0x4200C;
inline constexpr std::uint32_t kRemoveMember = 0x42010;
inline constexpr std::uint32_t kQuerySets = 0x42024;
inline constexpr std::uint32_t kResetChannel = 0x42028;
inline constexpr std::uint32_t kSpareDrives = 0x4202C;
inline constexpr std::uint32_t kEnableSpare = 0x42030;
inline constexpr std::uint32_t kSetRebuildRate = 0x42038;
inline constexpr std::uint32_t kCreateSpare = 0x42040;
inline constexpr std::uint32_t kDeleteSpare = 0x42044;
inline constexpr std::uint32_t kSmartIdentify = 0x1B0501;
inline constexpr std::uint32_t kSmartReturnStatus = 0x1B0506;
}  // namespace code

// Payload lengths.
namespace length {
inline constexpr std::uint32_t kDriverVersion = 4;
inline constexpr std::uint32_t kAdapterInfo = 64;
inline constexpr std::uint32_t kAdapterInfoExtended = 164;
inline constexpr std::uint32_t kChannelInfo = 24;
inline constexpr std::uint32_t kDeviceInfo = 2124;
inline constexpr std::uint32_t kDeviceInfoExtended = 536;
inline constexpr std::uint32_t kFetchEvents = 1764;
inline constexpr std::uint32_t kSetDeviceFeatures = 3;
inline constexpr std::uint32_t kSetGpioInterface = 2;
inline constexpr std::uint32_t kWriteGpioStatus = 3;
inline constexpr std::uint32_t kRioVersion = 8;
inline constexpr std::uint32_t kSpareDrives = 6;
inline constexpr std::uint32_t kQuerySets = 92;
inline constexpr std::uint32_t kDeleteSet = 4;
inline constexpr std::uint32_t kTwoBytes = 2;
inline constexpr std::uint32_t kOneByte = 1;
inline constexpr std::uint32_t kSmartIdentify = 556;
inline constexpr std::uint32_t kSmartStatus = 528;
}  // namespace length

inline constexpr std::size_t kEventRecordSize = 88;
inline constexpr std::size_t kMaxEventRecords = 20;
inline constexpr std::size_t kLegacyDeviceBlockSize = 530;
inline constexpr std::size_t kSetDescriptorSize = 44;
inline constexpr std::size_t kMemberEntrySize = 8;

// One request buffer. The payload is what follows the header.
class Request {
 public:
  Request(const Signature& signature, std::uint32_t timeout, std::uint32_t controlCode,
          std::uint32_t payloadLength, std::size_t inSize, std::size_t outSize,
          std::uint8_t fill = 0);

  std::span<std::uint8_t> Buffer() { return buffer_; }
  std::span<std::uint8_t> Payload() { return std::span(buffer_).subspan(kHeaderSize); }
  std::span<const std::uint8_t> Payload() const {
    return std::span<const std::uint8_t>(buffer_).subspan(kHeaderSize);
  }
  std::size_t InSize() const { return inSize_; }
  std::size_t OutSize() const { return outSize_; }
  std::uint32_t ReturnCode() const;

  void Put8(std::size_t offset, std::uint8_t value);
  void Put16(std::size_t offset, std::uint16_t value);
  void Put32(std::size_t offset, std::uint32_t value);

 private:
  std::vector<std::uint8_t> buffer_;
  std::size_t inSize_;
  std::size_t outSize_;
};

// Little-endian reads that answer 0 for bytes outside the span.
std::uint8_t Get8(std::span<const std::uint8_t> bytes, std::size_t offset);
std::uint16_t Get16(std::span<const std::uint8_t> bytes, std::size_t offset);
std::uint32_t Get32(std::span<const std::uint8_t> bytes, std::size_t offset);

}  // namespace kestrune::ctl::wire
