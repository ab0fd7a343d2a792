// IDENTIFY DEVICE / IDENTIFY PACKET DEVICE data as a disk would answer it,
// generated from the scenario's disk description.
#include "simulator/identify.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace kestrune::sim {
namespace {

// String fields: first word and length in words.
constexpr std::size_t kSerialWord = 10;
constexpr std::size_t kSerialWords = 10;
constexpr std::size_t kFirmwareWord = 23;
constexpr std::size_t kFirmwareWords = 4;
constexpr std::size_t kModelWord = 27;
constexpr std::size_t kModelWords = 20;

// Default CHS translation of disks larger than 8.4 GB.
constexpr std::uint32_t kMaxCylinders = 16383;
constexpr std::uint32_t kHeads = 16;
constexpr std::uint32_t kSectorsPerTrack = 63;

constexpr std::uint64_t kMax28BitSectors = 0x0FFFFFFF;

class Words {
 public:
  explicit Words(IdentifyData& data) : data_(data) {}

  void Set(std::size_t word, std::uint16_t value) {
    data_[2 * word] = static_cast<std::uint8_t>(value & 0xFF);
    data_[2 * word + 1] = static_cast<std::uint8_t>(value >> 8);
  }
  void SetBits(std::size_t word, std::uint16_t bits) {
    Set(word, static_cast<std::uint16_t>(Get(word) | bits));
  }
  std::uint16_t Get(std::size_t word) const {
    return static_cast<std::uint16_t>(data_[2 * word] | (data_[2 * word + 1] << 8));
  }
  void Set32(std::size_t word, std::uint32_t value) {
    Set(word, static_cast<std::uint16_t>(value & 0xFFFF));
    Set(word + 1, static_cast<std::uint16_t>(value >> 16));
  }
  void Set64(std::size_t word, std::uint64_t value) {
    for (std::size_t i = 0; i < 4; ++i) {
      Set(word + i, static_cast<std::uint16_t>((value >> (16 * i)) & 0xFFFF));
    }
  }

  // Space padded, cut to the field, in ATA order: the first character of each
  // pair sits in the high byte of its word.
  void SetString(std::size_t firstWord, std::size_t words, std::string_view text) {
    for (std::size_t i = 0; i < 2 * words; ++i) {
      const auto c = i < text.size() ? static_cast<std::uint8_t>(text[i]) : std::uint8_t{' '};
      data_[2 * firstWord + (i ^ 1U)] = c;
    }
  }

 private:
  IdentifyData& data_;
};

std::uint16_t BitsUpTo(int highest, int limit) {
  // Bits 0..highest, highest clamped to limit; a negative highest gives none.
  if (highest < 0) return 0;
  const int top = std::min(highest, limit);
  return static_cast<std::uint16_t>((1U << (top + 1)) - 1U);
}

void SwapWords(IdentifyData& data, std::size_t firstWord, std::size_t words) {
  for (std::size_t w = firstWord; w < firstWord + words; ++w) {
    std::swap(data[2 * w], data[2 * w + 1]);
  }
}

void SetChecksum(IdentifyData& data) {
  // Word 255: signature 0xA5 in the low byte, and a high byte that makes all
  // 512 bytes add up to zero modulo 256.
  data[510] = 0xA5;
  unsigned sum = 0;
  for (std::size_t i = 0; i < 511; ++i) sum += data[i];
  data[511] = static_cast<std::uint8_t>((256U - (sum & 0xFFU)) & 0xFFU);
}

// Geometry words 1, 3, 6 and 54-58 of an ATA disk.
void SetGeometry(Words& w, std::uint64_t sectors) {
  const std::uint64_t perCylinder = std::uint64_t{kHeads} * kSectorsPerTrack;
  const auto cylinders =
      static_cast<std::uint32_t>(std::min<std::uint64_t>(sectors / perCylinder, kMaxCylinders));
  w.Set(1, static_cast<std::uint16_t>(cylinders));
  w.Set(3, static_cast<std::uint16_t>(kHeads));
  w.Set(6, static_cast<std::uint16_t>(kSectorsPerTrack));
  w.Set(54, static_cast<std::uint16_t>(cylinders));
  w.Set(55, static_cast<std::uint16_t>(kHeads));
  w.Set(56, static_cast<std::uint16_t>(kSectorsPerTrack));
  // Current capacity is what the current CHS translation reaches.
  w.Set32(57, cylinders * kHeads * kSectorsPerTrack);
}

}  // namespace

IdentifyData BuildIdentify(const DiskSpec& disk) {
  IdentifyData data{};
  Words w(data);

  // Word 0: packet devices carry 10b in bits 15-14 and their command set type
  // in bits 12-8 (DRQ within 50 us in bits 6-5); ATA disks say "fixed".
  std::uint16_t word0 = 0;
  if (disk.atapi) {
    word0 = static_cast<std::uint16_t>(0x8000U | ((disk.atapiType & 0x1FU) << 8) | 0x0040U);
  } else {
    word0 = disk.removable ? 0x0000 : 0x0040;
  }
  if (disk.removable) word0 = static_cast<std::uint16_t>(word0 | 0x0080U);
  w.Set(0, word0);

  w.SetString(kSerialWord, kSerialWords, disk.serial);
  w.SetString(kFirmwareWord, kFirmwareWords, disk.firmware);
  w.SetString(kModelWord, kModelWords, disk.model);

  const bool dma =
      disk.udmaMax >= 0 || disk.mdmaMax >= 0 || disk.currentKind == ModeKind::SingleWordDma;
  const int pio = std::clamp(disk.pioMax, 0, 4);

  if (!disk.atapi) {
    SetGeometry(w, disk.sectors);
    // Multiple-sector transfers: maximum (word 47) and current setting (word 59).
    const auto multiple =
        static_cast<std::uint16_t>(std::min<std::uint32_t>(disk.sectorsPerInterrupt, 0xFF));
    w.Set(47, static_cast<std::uint16_t>(0x8000U | multiple));
    if (multiple != 0) w.Set(59, static_cast<std::uint16_t>(0x0100U | multiple));
    w.Set32(60, static_cast<std::uint32_t>(std::min(disk.sectors, kMax28BitSectors)));
  }

  // Word 49: DMA (bit 8), LBA (bit 9), IORDY (bit 11, required for PIO 3 and 4).
  std::uint16_t caps = 0x0200;
  if (dma) caps = static_cast<std::uint16_t>(caps | 0x0100U);
  if (pio >= 3) caps = static_cast<std::uint16_t>(caps | 0x0800U);
  w.Set(49, caps);

  // Word 51: highest of the original PIO modes 0-2 in the high byte.
  w.Set(51, static_cast<std::uint16_t>(std::min(pio, 2) << 8));

  // Word 53: words 54-58 (ATA disks), 64-70 and 88 are valid.
  w.Set(53, static_cast<std::uint16_t>(disk.atapi ? 0x0006 : 0x0007));

  const int mode = disk.currentMode;
  // Single-word DMA has no supported-mode field of its own in this model; the
  // obsolete word 62 reports the current one as the highest.
  if (disk.currentKind == ModeKind::SingleWordDma && mode >= 0 && mode <= 2) {
    w.Set(62, static_cast<std::uint16_t>(BitsUpTo(mode, 2) | (0x0100U << mode)));
  }
  std::uint16_t mdma = BitsUpTo(disk.mdmaMax, 2);
  if (disk.currentKind == ModeKind::MultiWordDma && mode >= 0 && mode <= 2) {
    mdma = static_cast<std::uint16_t>(mdma | (0x0100U << mode));
  }
  w.Set(63, mdma);

  std::uint16_t advancedPio = 0;
  if (pio >= 3) advancedPio = static_cast<std::uint16_t>(advancedPio | 0x0001U);
  if (pio >= 4) advancedPio = static_cast<std::uint16_t>(advancedPio | 0x0002U);
  w.Set(64, advancedPio);
  // Cycle times in ns: multiword DMA minimum and recommended, PIO without and
  // with IORDY; the values of a drive that reaches MDMA 2 and PIO 4.
  if (disk.mdmaMax >= 0) {
    w.Set(65, 120);
    w.Set(66, 120);
  }
  w.Set(67, pio >= 3 ? 120 : 383);
  w.Set(68, pio >= 3 ? 120 : 240);

  // Word 80: a bit for every major version from ATA-2 up to the highest.
  const int major = std::min<int>(disk.ataMajor, 14);
  w.Set(80, major >= 2 ? static_cast<std::uint16_t>(BitsUpTo(major, 14) & ~0x0003U) : 0);

  // Words 82-87: command sets supported and enabled. Supported and enabled are
  // written as described, so a scenario may describe an odd disk.
  std::uint16_t supported82 = 0;
  std::uint16_t enabled85 = 0;
  if (disk.smartSupported) supported82 = static_cast<std::uint16_t>(supported82 | 0x0001U);
  if (disk.smartEnabled) enabled85 = static_cast<std::uint16_t>(enabled85 | 0x0001U);
  if (disk.writeCacheSupported) supported82 = static_cast<std::uint16_t>(supported82 | 0x0020U);
  if (disk.writeCacheEnabled) enabled85 = static_cast<std::uint16_t>(enabled85 | 0x0020U);
  if (disk.lookAheadSupported) supported82 = static_cast<std::uint16_t>(supported82 | 0x0040U);
  if (disk.lookAheadEnabled) enabled85 = static_cast<std::uint16_t>(enabled85 | 0x0040U);
  w.Set(82, supported82);
  w.Set(85, enabled85);

  // Words 83 and 84 must read 01b in bits 15-14 to be valid; 86 mirrors 83's
  // enabled features and 87 is valid the same way as 84.
  std::uint16_t features = 0;
  if (disk.lba48) features = static_cast<std::uint16_t>(features | 0x0400U);
  if (disk.writeCacheSupported) {
    features = static_cast<std::uint16_t>(features | 0x1000U);                  // FLUSH CACHE
    if (disk.lba48) features = static_cast<std::uint16_t>(features | 0x2000U);  // ... EXT
  }
  w.Set(83, static_cast<std::uint16_t>(0x4000U | features));
  w.Set(84, 0x4000);
  w.Set(86, features);
  w.Set(87, 0x4000);

  std::uint16_t udma = BitsUpTo(disk.udmaMax, 6);
  if (disk.currentKind == ModeKind::UltraDma && mode >= 0 && mode <= 6) {
    udma = static_cast<std::uint16_t>(udma | (0x0100U << mode));
  }
  w.Set(88, udma);

  // Words 100-103: the program reading these words adds one, taking them as
  // the highest LBA, so they hold sectors - 1: its capacity text is then
  // exactly sectors / 2048 MB, the same as words 60-61 give below 2^28.
  if (disk.lba48 && !disk.atapi) w.Set64(100, disk.sectors == 0 ? 0 : disk.sectors - 1);

  SetChecksum(data);
  return data;
}

IdentifyData BuildSetIdentify(const SetSpec& set, std::uint64_t sectors) {
  DiskSpec disk;
  disk.model = set.name;
  disk.firmware = set.metaVersion;
  disk.serial.clear();
  disk.sectors = sectors;
  IdentifyData data = BuildIdentify(disk);
  // A set disk's capacity is read from words 57-58 when its meta version is
  // below 2, so they carry the whole capacity (as far as 32 bits reach)
  // rather than the CHS-limited value of a real disk.
  Words w(data);
  w.Set32(57, static_cast<std::uint32_t>(std::min<std::uint64_t>(sectors, 0xFFFFFFFFU)));
  SetChecksum(data);
  return data;
}

IdentifyData StringsInReadingOrder(IdentifyData identify) {
  SwapWords(identify, kSerialWord, kSerialWords);
  SwapWords(identify, kFirmwareWord, kFirmwareWords);
  SwapWords(identify, kModelWord, kModelWords);
  return identify;
}

}  // namespace kestrune::sim
