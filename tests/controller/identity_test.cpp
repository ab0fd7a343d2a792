#include "controller/identity.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>

namespace kestrune::ctl {
namespace {

void SetWord(IdentifyBytes& id, std::size_t word, std::uint16_t value) {
  id[2 * word] = static_cast<std::uint8_t>(value & 0xFF);
  id[2 * word + 1] = static_cast<std::uint8_t>(value >> 8);
}

IdentifyBytes Zeroed() {
  IdentifyBytes id{};
  return id;
}

TEST(DeviceTypeText, PacketDevicesByTypeCodeWithChanger) {
  EXPECT_EQ(DeviceTypeText(kFlagPacket | kFlagChanger, 5), L"CD-ROM Changer");
  EXPECT_EQ(DeviceTypeText(kFlagPacket, 5), L"CD-ROM");
  EXPECT_EQ(DeviceTypeText(0, 5), L"Disk");  // not a packet device: always a disk
  EXPECT_EQ(DeviceTypeText(kFlagPacket | kFlagChanger, 2), L"Printer");  // no changer form
  EXPECT_EQ(DeviceTypeText(kFlagPacket, 9), L"Commuication");
  EXPECT_EQ(DeviceTypeText(kFlagPacket, 11), L"Pre-press");
  EXPECT_EQ(DeviceTypeText(kFlagPacket, 15), L"Card Reader");
}

TEST(IdentityStrings, DeviceStringsKeepReadingOrderAndBlankNuls) {
  IdentifyBytes id = Zeroed();
  std::memcpy(&id[54], "MODEL X", 7);  // the rest of the 40 bytes stay NUL
  std::memcpy(&id[46], "FW1.0\0\0\0", 8);
  std::memcpy(&id[20], "SERIAL0123456789ABCD", 20);
  const IdentityTexts texts = IdentityStrings(id, false);
  EXPECT_EQ(texts.model, L"MODEL X" + std::wstring(33, L' '));
  EXPECT_EQ(texts.firmware, L"FW1.0   ");
  EXPECT_EQ(texts.serial, L"SERIAL0123456789ABCD");
  EXPECT_EQ(id[93], ' ');  // the stored data gets the blanks too
  EXPECT_EQ(id[53], ' ');
}

TEST(IdentityStrings, SetDiskSwapsModelAndFirmwareWordsInPlace) {
  IdentifyBytes id = Zeroed();
  std::memcpy(&id[54], "IMRRRO", 6);  // "MIRROR" in ATA order
  std::memcpy(&id[46], ".210", 4);    // "2.01"
  std::memcpy(&id[20], "ABCD", 4);
  const IdentityTexts texts = IdentityStrings(id, true);
  EXPECT_EQ(texts.model.substr(0, 6), L"MIRROR");
  EXPECT_EQ(texts.model.size(), 40u);
  EXPECT_EQ(texts.firmware, L"2.01    ");
  EXPECT_TRUE(texts.serial.empty());
  EXPECT_EQ(id[46], '2');
  EXPECT_EQ(id[20], 'A');  // serial untouched
}

TEST(IdentityStrings, ModelAndFirmwareFillingTheirFieldsComeOutWhole) {
  const std::string model = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789abcd";  // all 40 bytes
  const std::string firmware = "FW-12345";                               // all 8 bytes
  // A set disk's IDENTIFY data has the two bytes of every word swapped.
  const auto swapped = [](std::string text) {
    for (std::size_t i = 0; i + 1 < text.size(); i += 2) std::swap(text[i], text[i + 1]);
    return text;
  };
  for (const bool setDisk : {false, true}) {
    SCOPED_TRACE(setDisk ? "set disk" : "device");
    IdentifyBytes id = Zeroed();
    std::memset(&id[94], 0x7E, 2);  // the word after the model stays as it is
    const std::string modelBytes = setDisk ? swapped(model) : model;
    const std::string firmwareBytes = setDisk ? swapped(firmware) : firmware;
    std::copy(modelBytes.begin(), modelBytes.end(), id.begin() + 54);
    std::copy(firmwareBytes.begin(), firmwareBytes.end(), id.begin() + 46);
    const IdentityTexts texts = IdentityStrings(id, setDisk);
    EXPECT_EQ(texts.model, std::wstring(model.begin(), model.end()));
    EXPECT_EQ(texts.firmware, std::wstring(firmware.begin(), firmware.end()));
    EXPECT_EQ(id[94], 0x7E);
    EXPECT_EQ(id[95], 0x7E);
  }
}

TEST(CurrentModeText, FirstSetBitWinsInPioSdmaMdmaUdmaOrder) {
  EXPECT_EQ(CurrentModeText(kFlagPio | kFlagUdma, 4), L"PIO 4");
  EXPECT_EQ(CurrentModeText(kFlagSwDma | kFlagMwDma, 2), L"SDMA 2");
  EXPECT_EQ(CurrentModeText(kFlagMwDma, 1), L"MDMA 1");
  EXPECT_EQ(CurrentModeText(kFlagUdma, 5), L"UDMA 5");
  EXPECT_EQ(CurrentModeText(0, 7), L"7");
  EXPECT_EQ(SectorsPerInterruptText(L"PIO 4", 16), L"16");
  EXPECT_EQ(SectorsPerInterruptText(L"pio 4", 8), L"8");
  EXPECT_EQ(SectorsPerInterruptText(L"UDMA 5", 16), L"N/A");
  EXPECT_EQ(SectorsPerInterruptText(L"PI", 16), L"N/A");
}

TEST(SupportedModesText, ListsEveryModeGroupInOrderWithoutBlanks) {
  IdentifyBytes id = Zeroed();
  SetWord(id, 80, 0x007E);
  SetWord(id, 53, 0x0006);
  SetWord(id, 88, 0x0025);  // UDMA 5, 2, 0
  SetWord(id, 49, 0x0100);
  SetWord(id, 63, 0x0005);  // MDMA 2, 0
  SetWord(id, 64, 0x0003);
  SetWord(id, 51, 0x0200);
  EXPECT_EQ(SupportedModesText(id),
            L"UDMA 5,UDMA 2,UDMA 0,MDMA 2,MDMA 0,PIO 4,PIO 3,PIO 2,PIO 1,PIO 0");

  IdentifyBytes old = Zeroed();
  SetWord(old, 80, 0x0004);  // not above 4: no Ultra DMA list even with word 88
  SetWord(old, 53, 0x0004);
  SetWord(old, 88, 0x0007);
  SetWord(old, 51, 0x0100);
  EXPECT_EQ(SupportedModesText(old), L"PIO 1,PIO 0");
  EXPECT_EQ(SupportedModesText(Zeroed()), L"PIO 0");
}

TEST(AtaVersionText, HighestBitOfWord80) {
  IdentifyBytes id = Zeroed();
  EXPECT_EQ(AtaVersionText(id), L"PRE ATA-2");
  SetWord(id, 80, 0x0003);  // bits 0-1 ignored
  EXPECT_EQ(AtaVersionText(id), L"PRE ATA-2");
  SetWord(id, 80, 0x000C);
  EXPECT_EQ(AtaVersionText(id), L"ATA-3");
  SetWord(id, 80, 0x007E);
  EXPECT_EQ(AtaVersionText(id), L"ATA/ATAPI-6");
  SetWord(id, 80, 0xFFFF);
  EXPECT_EQ(AtaVersionText(id), L"ATA/ATAPI-14");
}

TEST(FeatureTexts, NeedBothSupportedAndEnabledBits) {
  IdentifyBytes id = Zeroed();
  SetWord(id, 0, 0x0080);
  SetWord(id, 82, 0x0061);
  SetWord(id, 85, 0x0040);
  EXPECT_EQ(MediaTypeText(id), L"Removable");
  EXPECT_EQ(LookAheadText(id), L"Enabled");
  EXPECT_EQ(WriteCacheText(id), L"Disabled");
  EXPECT_TRUE(SmartSupported(id));
  EXPECT_FALSE(SmartEnabled(id));
  SetWord(id, 82, 0x0000);
  EXPECT_EQ(LookAheadText(id), L"Disabled");
  EXPECT_EQ(MediaTypeText(Zeroed()), L"Nonremovable");
}

TEST(CapacityText, DeviceChoosesBetween48BitLbaAndChsCounts) {
  IdentifyBytes id = Zeroed();
  SetWord(id, 80, 0x007E);  // ATA/ATAPI-6
  SetWord(id, 83, 0x0400);
  SetWord(id, 100, 0xFFFF);  // 48-bit count 0x1FFFF: plus one is 0x20000 sectors = 64 MB
  SetWord(id, 101, 0x0001);
  SetWord(id, 49, 0x0200);
  SetWord(id, 60, 0x0000);  // 28-bit count 0x00100000 = 512 MB
  SetWord(id, 61, 0x0010);
  SetWord(id, 57, 0x0800);  // CHS count 2048 = 1 MB
  EXPECT_EQ(CapacityText(id, false), L"64 MB");
  SetWord(id, 83, 0x0000);
  EXPECT_EQ(CapacityText(id, false), L"512 MB");
  SetWord(id, 49, 0x0000);
  EXPECT_EQ(CapacityText(id, false), L"1 MB");
  SetWord(id, 83, 0x0400);
  SetWord(id, 80, 0x0020);  // ATA/ATAPI-5: the 48-bit count is not used
  EXPECT_EQ(CapacityText(id, false), L"1 MB");
  SetWord(id, 80, 0xFFFF);  // no version reported
  EXPECT_EQ(CapacityText(id, false), L"1 MB");
}

TEST(CapacityText, BoundariesOfTheMegabyteText) {
  IdentifyBytes id = Zeroed();
  SetWord(id, 57, 2047);
  EXPECT_EQ(CapacityText(id, false), L"0 MB");
  // 2^42 sectors is 2^31 MB, shown as the signed 32-bit value.
  IdentifyBytes huge = Zeroed();
  SetWord(huge, 80, 0x0040);
  SetWord(huge, 83, 0x0400);
  for (std::size_t w = 100; w < 104; ++w) SetWord(huge, w, 0xFFFF);
  SetWord(huge, 102, 0x03FF);  // 0x000003FF FFFFFFFF + 1 = 2^42
  SetWord(huge, 103, 0x0000);
  EXPECT_EQ(CapacityText(huge, false), L"-2147483648 MB");
}

TEST(CapacityText, SetDiskFollowsItsMetaVersion) {
  IdentifyBytes id = Zeroed();
  SetWord(id, 57, 0x1000);  // 2 MB
  SetWord(id, 100, 0x2FFF);  // + 1 = 0x3000 = 6 MB
  std::memcpy(&id[46], "1.5     ", 8);
  EXPECT_EQ(CapacityText(id, true), L"2 MB");
  std::memcpy(&id[46], "2.0     ", 8);
  EXPECT_EQ(CapacityText(id, true), L"6 MB");
  std::memcpy(&id[46], "12      ", 8);
  EXPECT_EQ(CapacityText(id, true), L"6 MB");
  std::memcpy(&id[46], "v2.0    ", 8);  // no leading digit counts as 0
  EXPECT_EQ(CapacityText(id, true), L"2 MB");
}

TEST(ChannelAndDeviceName, ClassicAndExtendedNaming) {
  EXPECT_EQ(ChannelAndDeviceName(0, false).Joined(), L"Primary Master");
  EXPECT_EQ(ChannelAndDeviceName(1, false).Joined(), L"Primary Slave");
  EXPECT_EQ(ChannelAndDeviceName(2, false).Joined(), L"Secondary Master");
  EXPECT_EQ(ChannelAndDeviceName(3, false).Joined(), L"Secondary Slave");
  EXPECT_EQ(ChannelAndDeviceName(9, false).Joined(), L"Secondary Slave");
  EXPECT_EQ(ChannelAndDeviceName(3, true).channel, L"Channel 3");
  EXPECT_EQ(ChannelAndDeviceName(3, true).device, L"Device");
}

}  // namespace
}  // namespace kestrune::ctl
