#include "controller/wire.h"

#include <algorithm>
#include <cstring>

namespace kestrune::ctl::wire {

Request::Request(const Signature& signature, std::uint32_t timeout, std::uint32_t controlCode,
                 std::uint32_t payloadLength, std::size_t inSize, std::size_t outSize,
                 std::uint8_t fill)
    : buffer_(std::max({inSize, outSize, kHeaderSize}), fill), inSize_(inSize), outSize_(outSize) {
  std::memset(buffer_.data(), 0, kHeaderSize);
  auto put32 = [this](std::size_t at, std::uint32_t v) {
    for (std::size_t i = 0; i < 4; ++i) buffer_[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
  };
  put32(0, static_cast<std::uint32_t>(kHeaderSize));
  std::memcpy(buffer_.data() + 4, signature.data(), signature.size());
  put32(12, timeout);
  put32(16, controlCode);
  put32(20, kSentReturnCode);
  put32(24, payloadLength);
}

std::uint32_t Request::ReturnCode() const { return Get32(buffer_, 20); }

void Request::Put8(std::size_t offset, std::uint8_t value) {
  if (kHeaderSize + offset < buffer_.size()) buffer_[kHeaderSize + offset] = value;
}
void Request::Put16(std::size_t offset, std::uint16_t value) {
  Put8(offset, static_cast<std::uint8_t>(value & 0xFF));
  Put8(offset + 1, static_cast<std::uint8_t>(value >> 8));
}
void Request::Put32(std::size_t offset, std::uint32_t value) {
  for (std::size_t i = 0; i < 4; ++i) Put8(offset + i, static_cast<std::uint8_t>(value >> (8 * i)));
}

std::uint8_t Get8(std::span<const std::uint8_t> bytes, std::size_t offset) {
  return offset < bytes.size() ? bytes[offset] : 0;
}
std::uint16_t Get16(std::span<const std::uint8_t> bytes, std::size_t offset) {
  return static_cast<std::uint16_t>(Get8(bytes, offset) | (Get8(bytes, offset + 1) << 8));
}
std::uint32_t Get32(std::span<const std::uint8_t> bytes, std::size_t offset) {
  return static_cast<std::uint32_t>(Get16(bytes, offset)) |
         (static_cast<std::uint32_t>(Get16(bytes, offset + 2)) << 16);
}

}  // namespace kestrune::ctl::wire
