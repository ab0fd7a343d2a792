// The driver request framing: an SRB_IO_CONTROL header followed by the
// payload, in one buffer that is both input and output.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace kestrune::ctl::wire {

// A field of a payload, header or record: its offset, and through T its width.
// Multi-byte fields are little-endian.
template <typename T>
struct Field {
  std::size_t offset;
  constexpr std::size_t End() const { return offset + sizeof(T); }
};
using U8 = Field<std::uint8_t>;
using U16 = Field<std::uint16_t>;
using U32 = Field<std::uint32_t>;
using U64 = Field<std::uint64_t>;

// A run of bytes: text, IDENTIFY data, a CDB.
struct Block {
  std::size_t offset;
  std::size_t size;
  constexpr std::size_t End() const { return offset + size; }
};

// The SRB_IO_CONTROL header in front of every payload.
namespace header {
inline constexpr U32 kHeaderLength{0};
inline constexpr Block kSignature{4, 8};
inline constexpr U32 kTimeout{12};
inline constexpr U32 kControlCode{16};
inline constexpr U32 kReturnCode{20};
inline constexpr U32 kLength{24};
}  // namespace header
inline constexpr std::size_t kHeaderSize = header::kLength.End();
static_assert(kHeaderSize == 28);
inline constexpr std::uint32_t kSentReturnCode = 0xFFFFFFFF;
// Header timeouts in seconds: every request, and the set SMART status request.
inline constexpr std::uint32_t kTimeout = 5;
inline constexpr std::uint32_t kSetSmartTimeout = 31;

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

// Payload lengths (the header's Length field).
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

// The reply payload as far as the driver returned it, read little-endian.
// Every read checks the length: a field that does not lie wholly inside the
// reply reads as 0 and a block as empty. The request layer compares a reply's
// size with its layout before decoding, so these answers only guard against a
// decoder that reads past its layout.
class Reply {
 public:
  Reply() = default;
  explicit Reply(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

  bool Holds(std::size_t size) const { return bytes_.size() >= size; }
  std::span<const std::uint8_t> Bytes() const { return bytes_; }

  template <typename T>
  T Get(Field<T> field) const {
    if (!Holds(field.End())) return T{0};
    T value = 0;
    for (std::size_t i = 0; i < sizeof(T); ++i)
      value = static_cast<T>(value | static_cast<T>(T{bytes_[field.offset + i]} << (8 * i)));
    return value;
  }
  std::span<const std::uint8_t> Get(Block block) const {
    return Holds(block.End()) ? bytes_.subspan(block.offset, block.size)
                              : std::span<const std::uint8_t>();
  }
  // An entry of the reply (a set descriptor, a device block) as a reply of its
  // own; empty when it does not lie wholly inside.
  Reply Entry(Block block) const { return Reply(Get(block)); }

 private:
  std::span<const std::uint8_t> bytes_;
};

// One request buffer. The payload is what follows the header.
class Request {
 public:
  Request(const Signature& signature, std::uint32_t timeout, std::uint32_t controlCode,
          std::uint32_t payloadLength, std::size_t inSize, std::size_t outSize,
          std::uint8_t fill = 0);

  std::span<std::uint8_t> Buffer() { return buffer_; }
  std::size_t InSize() const { return inSize_; }
  std::size_t OutSize() const { return outSize_; }

  // Writes a request field of the payload, little-endian; a field beyond the
  // buffer is not written.
  template <typename T>
  void Put(Field<T> field, T value) {
    for (std::size_t i = 0; i < sizeof(T); ++i)
      PutByte(field.offset + i, static_cast<std::uint8_t>(value >> (8 * i)));
  }

  // What the call handed back: `bytesReturned` counts the header and the
  // payload, as the device-control call reports it.
  void SetReturned(std::size_t bytesReturned);
  // The whole header came back (and with it the return code).
  bool HeaderReturned() const { return returned_ >= kHeaderSize; }
  // The driver's return code; the one sent when the header did not come back.
  std::uint32_t ReturnCode() const;
  // The payload bytes the driver returned.
  Reply Returned() const;

 private:
  void PutByte(std::size_t offset, std::uint8_t value);

  std::vector<std::uint8_t> buffer_;
  std::size_t inSize_;
  std::size_t outSize_;
  std::size_t returned_ = 0;
};

}  // namespace kestrune::ctl::wire
