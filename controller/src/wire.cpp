#include "controller/wire.h"

#include <algorithm>
#include <cstring>

namespace kestrune::ctl::wire {

Request::Request(const Signature& signature, std::uint32_t timeout, std::uint32_t controlCode,
                 std::uint32_t payloadLength, std::size_t inSize, std::size_t outSize,
                 std::uint8_t fill)
    : buffer_(std::max({inSize, outSize, kHeaderSize}), fill), inSize_(inSize), outSize_(outSize) {
  std::memset(buffer_.data(), 0, kHeaderSize);
  auto put32 = [this](U32 field, std::uint32_t v) {
    for (std::size_t i = 0; i < 4; ++i)
      buffer_[field.offset + i] = static_cast<std::uint8_t>(v >> (8 * i));
  };
  put32(header::kHeaderLength, static_cast<std::uint32_t>(kHeaderSize));
  std::memcpy(buffer_.data() + header::kSignature.offset, signature.data(), signature.size());
  put32(header::kTimeout, timeout);
  put32(header::kControlCode, controlCode);
  put32(header::kReturnCode, kSentReturnCode);
  put32(header::kLength, payloadLength);
}

void Request::SetReturned(std::size_t bytesReturned) {
  returned_ = std::min({bytesReturned, outSize_, buffer_.size()});
}

std::uint32_t Request::ReturnCode() const {
  if (!HeaderReturned()) return kSentReturnCode;
  return Reply(buffer_).Get(header::kReturnCode);
}

Reply Request::Returned() const {
  if (!HeaderReturned()) return Reply();
  return Reply(
      std::span<const std::uint8_t>(buffer_).subspan(kHeaderSize, returned_ - kHeaderSize));
}

void Request::PutByte(std::size_t offset, std::uint8_t value) {
  if (kHeaderSize + offset < buffer_.size()) buffer_[kHeaderSize + offset] = value;
}

}  // namespace kestrune::ctl::wire
