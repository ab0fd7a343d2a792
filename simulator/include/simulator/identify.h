// IDENTIFY DEVICE data generated from a disk description.
#pragma once

#include <array>
#include <cstdint>

#include "simulator/scenario.h"

namespace kestrune::sim {

using IdentifyData = std::array<std::uint8_t, 512>;

// Real ATA words, little-endian, strings in ATA order (the two bytes of every
// word swapped relative to reading order), as a disk answers IDENTIFY.
IdentifyData BuildIdentify(const DiskSpec& disk);

// The IDENTIFY data of the virtual disk a set presents (sectors = set capacity).
IdentifyData BuildSetIdentify(const SetSpec& set, std::uint64_t sectors);

// Swaps the bytes of the serial, firmware and model words so the strings read
// in order, as the driver delivers IDENTIFY data with QueryDeviceInfo.
IdentifyData StringsInReadingOrder(IdentifyData identify);

}  // namespace kestrune::sim
