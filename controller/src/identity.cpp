#include "controller/identity.h"

#include <utility>

#include "resources/strings.h"

namespace kestrune::ctl {
namespace {

constexpr std::size_t kSerialOffset = 20, kSerialLength = 20;
constexpr std::size_t kFirmwareOffset = 46, kFirmwareLength = 8;
constexpr std::size_t kModelOffset = 54, kModelLength = 40;

std::wstring TakeText(IdentifyBytes& id, std::size_t offset, std::size_t length) {
  std::wstring text;
  text.reserve(length);
  for (std::size_t i = offset; i < offset + length; ++i) {
    if (id[i] == 0) id[i] = ' ';
    text.push_back(static_cast<wchar_t>(id[i]));
  }
  return text;
}

void SwapWords(IdentifyBytes& id, std::size_t offset, std::size_t length) {
  for (std::size_t i = offset; i + 1 < offset + length; i += 2) std::swap(id[i], id[i + 1]);
}

bool Bit(std::uint16_t word, unsigned bit) { return ((static_cast<unsigned>(word) >> bit) & 1U) != 0; }

std::uint32_t Dword(const IdentifyBytes& id, std::size_t word) {
  return static_cast<std::uint32_t>(id[2 * word]) | (static_cast<std::uint32_t>(id[2 * word + 1]) << 8) |
         (static_cast<std::uint32_t>(id[2 * word + 2]) << 16) |
         (static_cast<std::uint32_t>(id[2 * word + 3]) << 24);
}

std::uint64_t Sectors48(const IdentifyBytes& id) {
  std::uint64_t value = 0;
  for (std::size_t b = 0; b < 8; ++b) value |= static_cast<std::uint64_t>(id[200 + b]) << (8 * b);
  return value;
}

}  // namespace

std::wstring DeviceTypeText(std::uint32_t flags, std::uint32_t typeCode) {
  if ((flags & kFlagPacket) == 0) return L"Disk";
  struct Entry {
    const wchar_t* text;
    bool changer;
  };
  static constexpr Entry kTypes[16] = {
      {L"Disk", false},      {L"Tape", true},          {L"Printer", false},
      {L"Processor", false}, {L"Worm", true},          {L"CD-ROM", true},
      {L"Scanner", false},   {L"Optical", true},       {L"Changer", false},
      {L"Commuication", false}, {L"Pre-press", false}, {L"Pre-press", false},
      {L"Array", false},     {L"Enclosed", false},     {L"Reduced Block", false},
      {L"Card Reader", false}};
  const Entry& entry = kTypes[typeCode & 0x0F];
  std::wstring text = entry.text;
  if (entry.changer && (flags & kFlagChanger) != 0) text += L" Changer";
  return text;
}

IdentityTexts IdentityStrings(IdentifyBytes& identify, bool setDisk) {
  IdentityTexts texts;
  if (setDisk) {
    SwapWords(identify, kModelOffset, kModelLength);
    SwapWords(identify, kFirmwareOffset, kFirmwareLength);
  }
  texts.model = TakeText(identify, kModelOffset, kModelLength);
  texts.firmware = TakeText(identify, kFirmwareOffset, kFirmwareLength);
  if (!setDisk) texts.serial = TakeText(identify, kSerialOffset, kSerialLength);
  return texts;
}

std::wstring CurrentModeText(std::uint32_t flags, std::uint32_t mode) {
  const int m = static_cast<int>(mode);
  if (flags & kFlagPio) return res::Sprintf(L"PIO %d", m);
  if (flags & kFlagSwDma) return res::Sprintf(L"SDMA %d", m);
  if (flags & kFlagMwDma) return res::Sprintf(L"MDMA %d", m);
  if (flags & kFlagUdma) return res::Sprintf(L"UDMA %d", m);
  return res::Sprintf(L"%d", m);
}

std::wstring SectorsPerInterruptText(const std::wstring& currentMode, std::uint32_t count) {
  const bool pio = currentMode.size() >= 3 && (currentMode[0] | 0x20) == L'p' &&
                   (currentMode[1] | 0x20) == L'i' && (currentMode[2] | 0x20) == L'o';
  return pio ? res::Sprintf(L"%d", static_cast<int>(count)) : std::wstring(L"N/A");
}

std::wstring SupportedModesText(const IdentifyBytes& id) {
  std::wstring text;
  const std::uint16_t w49 = IdWord<49>(id), w51 = IdWord<51>(id), w53 = IdWord<53>(id);
  const std::uint16_t w63 = IdWord<63>(id), w64 = IdWord<64>(id), w80 = IdWord<80>(id);
  const std::uint16_t w88 = IdWord<88>(id);
  if (w80 > 4 && Bit(w53, 2)) {
    for (int bit = 6; bit >= 0; --bit)
      if (Bit(w88, static_cast<unsigned>(bit))) text += res::Sprintf(L"UDMA %d,", bit);
  }
  if (Bit(w49, 8)) {
    for (int bit = 2; bit >= 0; --bit)
      if (Bit(w63, static_cast<unsigned>(bit))) text += res::Sprintf(L"MDMA %d,", bit);
  }
  if (Bit(w53, 1)) {
    if (Bit(w64, 1)) text += L"PIO 4,";
    if (Bit(w64, 0)) text += L"PIO 3,";
  }
  const unsigned pioTiming = w51 >> 8;
  if (pioTiming & 0x02) {
    text += L"PIO 2,PIO 1,";
  } else if (pioTiming & 0x01) {
    text += L"PIO 1,";
  }
  text += L"PIO 0";
  return text;
}

std::wstring AtaVersionText(const IdentifyBytes& id) {
  const std::uint16_t w80 = IdWord<80>(id);
  for (int bit = 14; bit >= 2; --bit) {
    if (!Bit(w80, static_cast<unsigned>(bit))) continue;
    if (bit >= 4) return res::Sprintf(L"ATA/ATAPI-%d", bit);
    return res::Sprintf(L"ATA-%d", bit);
  }
  return L"PRE ATA-2";
}

std::wstring MediaTypeText(const IdentifyBytes& id) {
  return Bit(IdWord<0>(id), 7) ? L"Removable" : L"Nonremovable";
}

std::wstring LookAheadText(const IdentifyBytes& id) {
  return Bit(IdWord<82>(id), 6) && Bit(IdWord<85>(id), 6) ? L"Enabled" : L"Disabled";
}

std::wstring WriteCacheText(const IdentifyBytes& id) {
  return Bit(IdWord<82>(id), 5) && Bit(IdWord<85>(id), 5) ? L"Enabled" : L"Disabled";
}

bool SmartSupported(const IdentifyBytes& id) { return Bit(IdWord<82>(id), 0); }
bool SmartEnabled(const IdentifyBytes& id) { return Bit(IdWord<85>(id), 0); }

std::uint64_t CapacitySectors(const IdentifyBytes& id, bool setDisk) {
  if (setDisk) {
    // The meta version in the firmware field tells how the set reports its size:
    // a leading number of 2 or more means the 48-bit count.
    unsigned long number = 0;
    for (std::size_t i = kFirmwareOffset; i < id.size() && id[i] >= '0' && id[i] <= '9'; ++i) {
      number = number * 10 + (id[i] - '0');
      if (number > 1000000) break;
    }
    return number >= 2 ? Sectors48(id) + 1 : Dword(id, 57);
  }
  const std::uint16_t w80 = IdWord<80>(id);
  if (w80 >= 4 && w80 != 0xFFFF) {
    int highest = 2;
    for (int bit = 14; bit >= 3; --bit) {
      if (Bit(w80, static_cast<unsigned>(bit))) {
        highest = bit;
        break;
      }
    }
    if (highest > 5 && Bit(IdWord<83>(id), 10)) return Sectors48(id) + 1;
  }
  return Bit(IdWord<49>(id), 9) ? Dword(id, 60) : Dword(id, 57);
}

std::wstring CapacityText(const IdentifyBytes& id, bool setDisk) {
  const std::uint64_t megabytes = CapacitySectors(id, setDisk) / 2048;
  // Shown as the signed 32-bit value the original field held.
  const auto shown = static_cast<std::int32_t>(static_cast<std::uint32_t>(megabytes));
  return res::FormatString(res::kStrMegabytes, static_cast<long>(shown));
}

LocationName ChannelAndDeviceName(unsigned index, bool extendedNaming) {
  if (extendedNaming) {
    return {res::FormatString(res::kStrChannelNumber, static_cast<int>(index)),
            res::LoadString(res::kStrDevice)};
  }
  return {res::LoadString(index <= 1 ? res::kStrPrimary : res::kStrSecondary),
          res::LoadString(index == 0 || index == 2 ? res::kStrMaster : res::kStrSlave)};
}

}  // namespace kestrune::ctl
