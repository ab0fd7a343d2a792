// Texts derived from a device's IDENTIFY data and the driver's mode facts.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace kestrune::ctl {

using IdentifyBytes = std::array<std::uint8_t, 512>;

// IDENTIFY word N (bytes 2N low, 2N+1 high); the index is checked at compile time.
template <std::size_t N>
constexpr std::uint16_t IdWord(const IdentifyBytes& id) {
  static_assert(N < 256, "IDENTIFY has 256 words");
  return static_cast<std::uint16_t>(id[2 * N] | (id[2 * N + 1] << 8));
}

// Driver device flags.
inline constexpr std::uint32_t kFlagPacket = 0x01;
inline constexpr std::uint32_t kFlagChanger = 0x02;
inline constexpr std::uint32_t kFlagPio = 0x04;
inline constexpr std::uint32_t kFlagSwDma = 0x08;
inline constexpr std::uint32_t kFlagMwDma = 0x10;
inline constexpr std::uint32_t kFlagUdma = 0x20;
inline constexpr std::uint32_t kFlagInUse = 0x40;

std::wstring DeviceTypeText(std::uint32_t flags, std::uint32_t typeCode);

struct IdentityTexts {
  std::wstring model;     // 40 characters
  std::wstring firmware;  // 8 characters
  std::wstring serial;    // 20 characters; empty for a set disk
};
// Reads model, firmware and serial. NUL bytes become blanks in the stored data
// too. For the disk a set presents (setDisk), the model and firmware words are
// first swapped into reading order in place, and no serial is taken.
IdentityTexts IdentityStrings(IdentifyBytes& identify, bool setDisk);

std::wstring CurrentModeText(std::uint32_t flags, std::uint32_t mode);
std::wstring SectorsPerInterruptText(const std::wstring& currentMode, std::uint32_t count);
std::wstring SupportedModesText(const IdentifyBytes& identify);
std::wstring AtaVersionText(const IdentifyBytes& identify);
std::wstring MediaTypeText(const IdentifyBytes& identify);
std::wstring LookAheadText(const IdentifyBytes& identify);
std::wstring WriteCacheText(const IdentifyBytes& identify);
bool SmartSupported(const IdentifyBytes& identify);
bool SmartEnabled(const IdentifyBytes& identify);

// The sector count the capacity text is built from.
std::uint64_t CapacitySectors(const IdentifyBytes& identify, bool setDisk);
std::wstring CapacityText(const IdentifyBytes& identify, bool setDisk);

struct LocationName {
  std::wstring channel;
  std::wstring device;
  std::wstring Joined() const { return channel + L" " + device; }
};
LocationName ChannelAndDeviceName(unsigned index, bool extendedNaming);

}  // namespace kestrune::ctl
