#include "simulator/identify.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace kestrune::sim {
namespace {

std::uint16_t Word(const IdentifyData& d, std::size_t w) {
  return static_cast<std::uint16_t>(d[2 * w] | (d[2 * w + 1] << 8));
}

std::vector<std::uint8_t> Bytes(const IdentifyData& d, std::size_t from, std::size_t count) {
  return {d.begin() + static_cast<std::ptrdiff_t>(from),
          d.begin() + static_cast<std::ptrdiff_t>(from + count)};
}

std::vector<std::uint8_t> Ascii(const std::string& s) {
  return {s.begin(), s.end()};
}

// The capacity rule of the program that reads this data, written out from its
// description rather than shared with the generator.
std::uint64_t ProgramSectors(const IdentifyData& d, bool setDisk, int metaMajor = 0) {
  const auto w32 = [&](std::size_t w) {
    return Word(d, w) | (std::uint64_t{Word(d, w + 1)} << 16);
  };
  const std::uint64_t w48 = w32(100) | (w32(102) << 32);
  if (setDisk) return metaMajor >= 2 ? w48 + 1 : w32(57);
  const std::uint16_t v = Word(d, 80);
  if (v >= 4 && v != 0xFFFF) {
    int n = 2;
    for (int b = 14; b >= 3; --b) {
      if (v & (1U << b)) {
        n = b;
        break;
      }
    }
    if (n > 5 && (Word(d, 83) & 0x0400)) return w48 + 1;
  }
  return (Word(d, 49) & 0x0200) ? w32(60) : w32(57);
}

DiskSpec Described() {
  DiskSpec d;
  d.model = "ABCDE";
  d.serial = "SN12345";
  d.firmware = "1.0";
  d.sectors = 488397168;  // 0x1D1C5970
  d.ataMajor = 7;
  d.udmaMax = 6;
  d.mdmaMax = 2;
  d.pioMax = 4;
  d.currentKind = ModeKind::UltraDma;
  d.currentMode = 5;
  d.sectorsPerInterrupt = 16;
  return d;
}

TEST(Identify, StringsAreSpacePaddedInAtaByteOrder) {
  const IdentifyData id = BuildIdentify(Described());
  // Serial, words 10-19: "SN12345" + 13 blanks, pairs swapped.
  EXPECT_EQ(Bytes(id, 20, 20), Ascii("NS2143 5            "));
  // Firmware, words 23-26.
  EXPECT_EQ(Bytes(id, 46, 8), Ascii(".1 0    "));
  // Model, words 27-46.
  EXPECT_EQ(Bytes(id, 54, 40), Ascii("BADC E" + std::string(34, ' ')));

  const IdentifyData read = StringsInReadingOrder(id);
  EXPECT_EQ(Bytes(read, 20, 20), Ascii("SN12345             "));
  EXPECT_EQ(Bytes(read, 46, 8), Ascii("1.0     "));
  EXPECT_EQ(Bytes(read, 54, 40), Ascii("ABCDE" + std::string(35, ' ')));
  // Nothing outside the three string fields moves.
  for (std::size_t w = 0; w < 256; ++w) {
    if ((w >= 10 && w <= 19) || (w >= 23 && w <= 46)) continue;
    EXPECT_EQ(Word(read, w), Word(id, w)) << "word " << w;
  }
}

TEST(Identify, LongStringsAreCutAndHighBytesPassThrough) {
  DiskSpec d = Described();
  d.model = std::string(38, 'M') + "\xC4" + "XYZ";  // 42 bytes: the last two are cut
  d.serial = std::string(25, '9');
  d.firmware = "123456789";
  const IdentifyData id = StringsInReadingOrder(BuildIdentify(d));
  EXPECT_EQ(Bytes(id, 54, 40), Ascii(std::string(38, 'M') + "\xC4X"));
  EXPECT_EQ(Bytes(id, 20, 20), Ascii(std::string(20, '9')));
  EXPECT_EQ(Bytes(id, 46, 8), Ascii("12345678"));
  // The words after each field are untouched by the cut text.
  EXPECT_EQ(Word(id, 20), 0);       // after the serial
  EXPECT_EQ(Word(id, 47), 0x8010);  // after the model: multiple sector maximum 16
}

TEST(Identify, CapacityWordsOfALargeDisk) {
  const IdentifyData id = BuildIdentify(Described());
  // Default geometry capped at 16383/16/63 and the current capacity it reaches.
  EXPECT_EQ(Word(id, 1), 16383);
  EXPECT_EQ(Word(id, 3), 16);
  EXPECT_EQ(Word(id, 6), 63);
  EXPECT_EQ(Bytes(id, 114, 4), (std::vector<std::uint8_t>{0x10, 0xFC, 0xFB, 0x00}));  // 16514064
  // Beyond 28 bits: words 60-61 say 0x0FFFFFFF.
  EXPECT_EQ(Bytes(id, 120, 4), (std::vector<std::uint8_t>{0xFF, 0xFF, 0xFF, 0x0F}));
  // 48-bit count holds sectors - 1: the reader adds one.
  EXPECT_EQ(Bytes(id, 200, 8),
            (std::vector<std::uint8_t>{0x6F, 0x59, 0x1C, 0x1D, 0x00, 0x00, 0x00, 0x00}));
  EXPECT_EQ(ProgramSectors(id, false), 488397168U);
}

TEST(Identify, TwentyEightBitCountIsCapped) {
  DiskSpec d = Described();
  d.sectors = 0x100000000ULL;  // 2 TiB
  const IdentifyData id = BuildIdentify(d);
  EXPECT_EQ(Bytes(id, 120, 4), (std::vector<std::uint8_t>{0xFF, 0xFF, 0xFF, 0x0F}));
  EXPECT_EQ(Bytes(id, 200, 8),
            (std::vector<std::uint8_t>{0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00}));
  EXPECT_EQ(ProgramSectors(id, false), 0x100000000ULL);

  d.sectors = 0x0FFFFFFF;  // exactly at the cap
  EXPECT_EQ(Bytes(BuildIdentify(d), 120, 4), (std::vector<std::uint8_t>{0xFF, 0xFF, 0xFF, 0x0F}));
}

TEST(Identify, ProgramReadsTheDescribedCapacityOnEveryPath) {
  for (const std::uint64_t sectors :
       {1ULL, 2047ULL, 2048ULL, 4095ULL, 204805ULL, 156301488ULL, 0x0FFFFFFFULL}) {
    DiskSpec d = Described();
    d.sectors = sectors;
    EXPECT_EQ(ProgramSectors(BuildIdentify(d), false), sectors) << sectors << " 48-bit";
    d.lba48 = false;  // ATA-7 without 48-bit addressing: words 60-61
    EXPECT_EQ(ProgramSectors(BuildIdentify(d), false), sectors) << sectors << " 28-bit";
    d.lba48 = true;
    d.ataMajor = 5;  // before ATA-6 the 48-bit words are not read
    EXPECT_EQ(ProgramSectors(BuildIdentify(d), false), sectors) << sectors << " ATA-5";
  }
  // An empty disk has nothing to subtract one from; it still reads as 0 MB.
  DiskSpec empty = Described();
  empty.sectors = 0;
  EXPECT_EQ(ProgramSectors(BuildIdentify(empty), false) / 2048, 0U);
}

TEST(Identify, DiskWithoutFortyEightBitAddressing) {
  DiskSpec d = Described();
  d.lba48 = false;
  d.sectors = 204805;  // 203 cylinders of 1008 sectors and a rest
  const IdentifyData id = BuildIdentify(d);
  EXPECT_EQ(Word(id, 1), 203);
  EXPECT_EQ(Word(id, 57) | (Word(id, 58) << 16), 203 * 1008);
  EXPECT_EQ(Word(id, 60) | (Word(id, 61) << 16), 204805);
  EXPECT_EQ(Word(id, 83), 0x5000);  // valid + FLUSH CACHE, no 48-bit
  EXPECT_EQ(Word(id, 86), 0x1000);
  for (std::size_t w = 100; w <= 103; ++w) EXPECT_EQ(Word(id, w), 0);
}

TEST(Identify, CapabilityAndModeWords) {
  const IdentifyData id = BuildIdentify(Described());
  EXPECT_EQ(Word(id, 0), 0x0040);   // fixed ATA disk
  EXPECT_EQ(Word(id, 49), 0x0B00);  // DMA, LBA, IORDY
  EXPECT_EQ(Word(id, 51), 0x0200);  // PIO 2 timing
  EXPECT_EQ(Word(id, 53), 0x0007);
  EXPECT_EQ(Word(id, 59), 0x0110);
  EXPECT_EQ(Word(id, 63), 0x0007);  // MDMA 0-2, none selected
  EXPECT_EQ(Word(id, 64), 0x0003);  // PIO 3 and 4
  EXPECT_EQ(Word(id, 80), 0x00FC);  // ATA-2 .. ATA/ATAPI-7
  EXPECT_EQ(Word(id, 82), 0x0061);
  EXPECT_EQ(Word(id, 83), 0x7400);
  EXPECT_EQ(Word(id, 84), 0x4000);
  EXPECT_EQ(Word(id, 85), 0x0061);
  EXPECT_EQ(Word(id, 86), 0x3400);
  EXPECT_EQ(Word(id, 87), 0x4000);
  EXPECT_EQ(Word(id, 88), 0x207F);  // UDMA 0-6, UDMA 5 selected

  DiskSpec m = Described();
  m.udmaMax = 5;
  m.currentKind = ModeKind::MultiWordDma;
  m.currentMode = 1;
  m.pioMax = 1;
  m.ataMajor = 14;
  m.smartEnabled = false;
  m.writeCacheEnabled = false;
  m.lookAheadSupported = false;
  const IdentifyData mid = BuildIdentify(m);
  EXPECT_EQ(Word(mid, 63), 0x0207);
  EXPECT_EQ(Word(mid, 88), 0x003F);
  EXPECT_EQ(Word(mid, 64), 0x0000);
  EXPECT_EQ(Word(mid, 51), 0x0100);
  EXPECT_EQ(Word(mid, 49), 0x0300);  // no IORDY below PIO 3
  EXPECT_EQ(Word(mid, 80), 0x7FFC);
  EXPECT_EQ(Word(mid, 82), 0x0021);  // look-ahead not supported
  EXPECT_EQ(Word(mid, 85), 0x0040);  // enabled bits written as described

  DiskSpec pio = Described();
  pio.udmaMax = -1;
  pio.mdmaMax = -1;
  pio.currentKind = ModeKind::Pio;
  pio.currentMode = 4;
  pio.ataMajor = 1;
  const IdentifyData pid = BuildIdentify(pio);
  EXPECT_EQ(Word(pid, 49), 0x0A00);  // no DMA
  EXPECT_EQ(Word(pid, 63), 0);
  EXPECT_EQ(Word(pid, 88), 0);
  EXPECT_EQ(Word(pid, 80), 0);  // "PRE ATA-2"
}

TEST(Identify, RemovableAndPacketDevicesWordZero) {
  DiskSpec d = Described();
  d.removable = true;
  EXPECT_EQ(Word(BuildIdentify(d), 0), 0x0080);

  DiskSpec cd;
  cd.atapi = true;
  cd.atapiType = 5;
  cd.removable = true;
  cd.sectors = 0;
  const IdentifyData id = BuildIdentify(cd);
  EXPECT_EQ(Word(id, 0), 0x85C0);
  EXPECT_EQ((Word(id, 0) >> 8) & 0x0F, 5);
  EXPECT_EQ(Word(id, 53), 0x0006);  // no CHS words on a packet device
  EXPECT_EQ(Word(id, 57), 0);
  EXPECT_EQ(Word(id, 60), 0);
  cd.removable = false;
  cd.atapiType = 1;
  EXPECT_EQ(Word(BuildIdentify(cd), 0), 0x8140);
}

TEST(Identify, IntegrityWordMakesTheSectorSumZero) {
  for (const DiskSpec& d : {Described(), DiskSpec{}}) {
    const IdentifyData id = BuildIdentify(d);
    EXPECT_EQ(id[510], 0xA5);
    unsigned sum = 0;
    for (const std::uint8_t b : id) sum += b;
    EXPECT_EQ(sum % 256, 0U);
    unsigned swappedSum = 0;
    for (const std::uint8_t b : StringsInReadingOrder(id)) swappedSum += b;
    EXPECT_EQ(swappedSum % 256, 0U);
  }
}

TEST(Identify, SetDiskCarriesNameMetaVersionAndCapacity) {
  SetSpec set;
  set.name = "BV MIRRORED SET";
  set.metaVersion = "2.0";
  const IdentifyData id = BuildSetIdentify(set, 488397168);
  // As IdentifySetDisk returns it: strings in ATA order.
  EXPECT_EQ(Bytes(id, 46, 8), Ascii(".2 0    "));
  EXPECT_EQ(Bytes(StringsInReadingOrder(id), 54, 40),
            Ascii("BV MIRRORED SET" + std::string(25, ' ')));
  EXPECT_EQ(Bytes(id, 114, 4), (std::vector<std::uint8_t>{0x70, 0x59, 0x1C, 0x1D}));
  EXPECT_EQ(Bytes(id, 200, 8),
            (std::vector<std::uint8_t>{0x6F, 0x59, 0x1C, 0x1D, 0x00, 0x00, 0x00, 0x00}));
  EXPECT_EQ(ProgramSectors(id, true, 2), 488397168U);
  EXPECT_EQ(ProgramSectors(id, true, 1), 488397168U);
  EXPECT_EQ(id[510], 0xA5);
  unsigned sum = 0;
  for (const std::uint8_t b : id) sum += b;
  EXPECT_EQ(sum % 256, 0U);

  // Above 32 bits only the 48-bit words can say it.
  const IdentifyData big = BuildSetIdentify(set, 0x123456789ULL);
  EXPECT_EQ(Bytes(big, 114, 4), (std::vector<std::uint8_t>{0xFF, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(ProgramSectors(big, true, 2), 0x123456789ULL);
}

}  // namespace
}  // namespace kestrune::sim
