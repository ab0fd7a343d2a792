// Little-endian field access within a span, for the driver's request and
// event buffers. Out-of-range accesses read 0 and write nothing, so a short
// reply area can never be overrun.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace kestrune::sim {

inline std::uint8_t GetU8(std::span<const std::uint8_t> s, std::size_t off) {
  return off < s.size() ? s[off] : std::uint8_t{0};
}
inline std::uint16_t GetU16(std::span<const std::uint8_t> s, std::size_t off) {
  if (off + 2 > s.size()) return 0;
  return static_cast<std::uint16_t>(s[off] | (s[off + 1] << 8));
}
inline std::uint32_t GetU32(std::span<const std::uint8_t> s, std::size_t off) {
  if (off + 4 > s.size()) return 0;
  return static_cast<std::uint32_t>(s[off]) | (static_cast<std::uint32_t>(s[off + 1]) << 8) |
         (static_cast<std::uint32_t>(s[off + 2]) << 16) |
         (static_cast<std::uint32_t>(s[off + 3]) << 24);
}
inline void PutU8(std::span<std::uint8_t> s, std::size_t off, std::uint8_t v) {
  if (off < s.size()) s[off] = v;
}
inline void PutU16(std::span<std::uint8_t> s, std::size_t off, std::uint16_t v) {
  if (off + 2 > s.size()) return;
  s[off] = static_cast<std::uint8_t>(v & 0xFF);
  s[off + 1] = static_cast<std::uint8_t>(v >> 8);
}
inline void PutU32(std::span<std::uint8_t> s, std::size_t off, std::uint32_t v) {
  if (off + 4 > s.size()) return;
  for (std::size_t i = 0; i < 4; ++i) s[off + i] = static_cast<std::uint8_t>((v >> (8 * i)) & 0xFF);
}
inline void PutBytes(std::span<std::uint8_t> s, std::size_t off, std::span<const std::uint8_t> b) {
  for (std::size_t i = 0; i < b.size() && off + i < s.size(); ++i) s[off + i] = b[i];
}

}  // namespace kestrune::sim
