#include "platform/registry.h"
#include "platform/text.h"

namespace kestrune::platform {

std::vector<std::uint8_t> EncodeRegSz(std::wstring_view text) {
  std::vector<std::uint8_t> data = ToUtf16Le(text);
  data.push_back(0);
  data.push_back(0);
  return data;
}

std::vector<std::uint8_t> EncodeRegDword(std::uint32_t value) {
  return {static_cast<std::uint8_t>(value & 0xFF), static_cast<std::uint8_t>((value >> 8) & 0xFF),
          static_cast<std::uint8_t>((value >> 16) & 0xFF),
          static_cast<std::uint8_t>((value >> 24) & 0xFF)};
}

std::wstring DecodeRegSz(std::span<const std::uint8_t> data) {
  std::size_t units = data.size() / 2;
  for (std::size_t i = 0; i < units; ++i) {
    if (data[2 * i] == 0 && data[2 * i + 1] == 0) {
      units = i;
      break;
    }
  }
  return FromUtf16Le(data.first(units * 2));
}

}  // namespace kestrune::platform
