#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/files.h"

namespace kestrune::platform {
namespace {

using Bytes = std::vector<std::uint8_t>;

void Put16(Bytes& b, std::uint16_t v) {
  b.push_back(static_cast<std::uint8_t>(v & 0xFF));
  b.push_back(static_cast<std::uint8_t>(v >> 8));
}
void Put32(Bytes& b, std::uint32_t v) {
  Put16(b, static_cast<std::uint16_t>(v & 0xFFFF));
  Put16(b, static_cast<std::uint16_t>(v >> 16));
}
// ASCII text as UTF-16LE with its terminating NUL.
void PutText(Bytes& b, const char* s) {
  for (; *s; ++s) Put16(b, static_cast<std::uint8_t>(*s));
  Put16(b, 0);
}
void PutZeros(Bytes& b, std::size_t n) {
  b.insert(b.end(), n, 0);
}

std::uint16_t Get16(const Bytes& b, std::size_t at) {
  return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}
std::uint32_t Get32(const Bytes& b, std::size_t at) {
  return Get16(b, at) | (static_cast<std::uint32_t>(Get16(b, at + 2)) << 16);
}

// One string (FileVersion "1.2" in table 000004b0) and one translation
// (0x0000, 0x04b0), laid out node by node with the offsets noted.
Bytes HandWrittenBlock() {
  Bytes b;
  Put16(b, 260);                  // @0 VS_VERSIONINFO: wLength
  Put16(b, 52);                   //   wValueLength = sizeof(VS_FIXEDFILEINFO)
  Put16(b, 0);                    //   wType binary
  PutText(b, "VS_VERSION_INFO");  // @6..37
  PutZeros(b, 2);                 // @38 padding
  Put32(b, 0xFEEF04BD);           // @40 dwSignature
  Put32(b, 0x00010000);           //   dwStrucVersion
  Put32(b, 0);                    //   dwFileVersionMS ("1.2" is not a.b.c.d)
  Put32(b, 0);                    //   dwFileVersionLS
  Put32(b, 0);                    //   dwProductVersionMS
  Put32(b, 0);                    //   dwProductVersionLS
  Put32(b, 0x3F);                 //   dwFileFlagsMask
  Put32(b, 0);                    //   dwFileFlags
  Put32(b, 0x00040004);           //   dwFileOS VOS_NT_WINDOWS32
  Put32(b, 0);                    //   dwFileType
  Put32(b, 0);                    //   dwFileSubtype
  Put32(b, 0);                    //   dwFileDateMS
  Put32(b, 0);                    //   dwFileDateLS
  Put16(b, 100);                  // @92 StringFileInfo: wLength
  Put16(b, 0);
  Put16(b, 1);
  PutText(b, "StringFileInfo");  // @98..127
  Put16(b, 64);                  // @128 StringTable
  Put16(b, 0);
  Put16(b, 1);
  PutText(b, "000004b0");  // @134..151
  Put16(b, 40);            // @152 String
  Put16(b, 4);             //   wValueLength in WORDs, NUL included
  Put16(b, 1);
  PutText(b, "FileVersion");  // @158..181
  PutZeros(b, 2);             // @182 padding
  PutText(b, "1.2");          // @184..191
  Put16(b, 68);               // @192 VarFileInfo
  Put16(b, 0);
  Put16(b, 1);
  PutText(b, "VarFileInfo");  // @198..221
  PutZeros(b, 2);
  Put16(b, 36);  // @224 Var
  Put16(b, 4);   //   wValueLength in bytes
  Put16(b, 0);
  PutText(b, "Translation");  // @230..253
  PutZeros(b, 2);
  Put16(b, 0x0000);  // @256 language
  Put16(b, 0x04B0);  //   code page
  EXPECT_EQ(b.size(), 260u);
  return b;
}

VersionInfoSpec HandWrittenInfo() {
  VersionInfoSpec info;
  info.tables.push_back({L"000004b0", {{L"FileVersion", L"1.2"}}});
  info.translations = {{0x0000, 0x04B0}};
  return info;
}

VersionInfoSpec TwoTableInfo() {
  VersionInfoSpec info;
  info.tables.push_back({L"040904b0",
                         {{L"CompanyName", L"Brevalis"},
                          {L"FileDescription", L"Serial ATA RAID driver"},
                          {L"FileVersion", L"5.1.2600.2180 (build lab)"},
                          {L"Comments", L""},
                          {L"ProductName", L"Kestrune \u00e9\U0001F600"},
                          {L"ProductVersion", L"3.0.1.7"}}});
  info.tables.push_back({L"000004b0", {{L"FileVersion", L"2.1"}, {L"A", L"x"}}});
  info.translations = {{0x0409, 0x04B0}, {0x0000, 0x04B0}};
  return info;
}

TEST(VersionInfo, DecodesHandWrittenBlock) {
  const Bytes block = HandWrittenBlock();
  EXPECT_EQ(QueryVersionString(block, L"\\StringFileInfo\\000004b0\\FileVersion"), L"1.2");
  EXPECT_EQ(QueryVersionTranslations(block),
            (std::vector<std::pair<std::uint16_t, std::uint16_t>>{{0x0000, 0x04B0}}));
  EXPECT_EQ(QueryVersionString(block, L"\\StringFileInfo\\040904b0\\FileVersion"), std::nullopt);
  EXPECT_EQ(QueryVersionString(block, L"\\StringFileInfo\\000004b0\\ProductName"), std::nullopt);
  EXPECT_EQ(QueryVersionString(block, L"\\"), std::nullopt);
  EXPECT_EQ(QueryVersionString(block, L""), std::nullopt);
}

TEST(VersionInfo, BuildsTheHandWrittenLayoutByteForByte) {
  EXPECT_EQ(BuildVersionResource(HandWrittenInfo()), HandWrittenBlock());
}

TEST(VersionInfo, RoundTripsSeveralStringsInTwoTables) {
  const VersionInfoSpec info = TwoTableInfo();
  const Bytes block = BuildVersionResource(info);
  for (const auto& table : info.tables)
    for (const auto& [name, value] : table.strings)
      EXPECT_EQ(QueryVersionString(block, L"\\StringFileInfo\\" + table.translation + L"\\" + name),
                value)
          << std::string(name.begin(), name.end());
  EXPECT_EQ(QueryVersionTranslations(block), info.translations);

  // Root length covers the block; every node starts 32-bit aligned.
  EXPECT_EQ(Get16(block, 0), block.size());
  EXPECT_EQ(block.size() % 4, 0u);
  // Fixed part: versions from the FileVersion / ProductVersion strings.
  EXPECT_EQ(Get32(block, 40), 0xFEEF04BDu);
  EXPECT_EQ(Get32(block, 48), 0x00050001u);
  EXPECT_EQ(Get32(block, 52), 0x0A280884u);  // 2600, 2180
  EXPECT_EQ(Get32(block, 56), 0x00030000u);
  EXPECT_EQ(Get32(block, 60), 0x00010007u);
}

TEST(VersionInfo, LookupIgnoresCaseOfEveryPathPart) {
  const Bytes block = BuildVersionResource(TwoTableInfo());
  EXPECT_EQ(QueryVersionString(block, L"\\stringfileinfo\\040904B0\\companyNAME"), L"Brevalis");
  EXPECT_EQ(QueryVersionString(block, L"\\STRINGFILEINFO\\000004B0\\FILEVERSION"), L"2.1");
  EXPECT_EQ(QueryVersionTranslations(block).size(), 2u);
}

TEST(VersionInfo, EmptySpecGivesAnEmptyButValidBlock) {
  const Bytes block = BuildVersionResource({});
  EXPECT_EQ(block.size(), 92u);
  EXPECT_EQ(Get16(block, 0), 92u);
  EXPECT_TRUE(QueryVersionTranslations(block).empty());
  EXPECT_EQ(QueryVersionString(block, L"\\StringFileInfo\\000004b0\\FileVersion"), std::nullopt);
}

TEST(VersionInfo, OversizedStringsAreLeftOutSoTheBlockStaysValid) {
  VersionInfoSpec info = HandWrittenInfo();
  info.tables[0].strings.insert(info.tables[0].strings.begin(),
                                {L"Huge", std::wstring(40000, L'x')});
  info.tables[0].strings.emplace_back(L"Tail", L"kept");
  const Bytes block = BuildVersionResource(info);
  ASSERT_LE(block.size(), 0xFFFFu);
  EXPECT_EQ(Get16(block, 0), block.size());
  EXPECT_EQ(QueryVersionString(block, L"\\StringFileInfo\\000004b0\\Huge"), std::nullopt);
  EXPECT_EQ(QueryVersionString(block, L"\\StringFileInfo\\000004b0\\FileVersion"), L"1.2");
  EXPECT_EQ(QueryVersionString(block, L"\\StringFileInfo\\000004b0\\Tail"), L"kept");
  EXPECT_EQ(QueryVersionTranslations(block).size(), 1u);
}

TEST(VersionInfo, LyingLengthsGiveNothing) {
  // A child claiming more than its parent holds.
  Bytes b = HandWrittenBlock();
  b[152] = 200;  // String wLength beyond its table
  EXPECT_EQ(QueryVersionString(b, L"\\StringFileInfo\\000004b0\\FileVersion"), std::nullopt);
  // A value claiming more than its node holds.
  b = HandWrittenBlock();
  b[154] = 20;
  EXPECT_EQ(QueryVersionString(b, L"\\StringFileInfo\\000004b0\\FileVersion"), std::nullopt);
  // A root claiming more than the block.
  b = HandWrittenBlock();
  b[0] = 0x08;  // 264 of 260 bytes
  b[1] = 0x01;
  EXPECT_EQ(QueryVersionString(b, L"\\StringFileInfo\\000004b0\\FileVersion"), std::nullopt);
  EXPECT_TRUE(QueryVersionTranslations(b).empty());
  // A key without its NUL inside the node.
  b = HandWrittenBlock();
  b[152] = 10;  // String ends inside its key
  EXPECT_EQ(QueryVersionString(b, L"\\StringFileInfo\\000004b0\\FileVersion"), std::nullopt);
  // A zero-length child ends the walk.
  b = HandWrittenBlock();
  b[128] = 0;
  EXPECT_EQ(QueryVersionString(b, L"\\StringFileInfo\\000004b0\\FileVersion"), std::nullopt);
  // The wrong root key.
  b = HandWrittenBlock();
  b[6] = 'X';
  EXPECT_EQ(QueryVersionString(b, L"\\StringFileInfo\\000004b0\\FileVersion"), std::nullopt);
  // An unknown node type.
  b = HandWrittenBlock();
  b[156] = 7;
  EXPECT_EQ(QueryVersionString(b, L"\\StringFileInfo\\000004b0\\FileVersion"), std::nullopt);
}

TEST(VersionInfo, TruncatedAndCorruptedBlocksNeverReadOutside) {
  const Bytes block = BuildVersionResource(TwoTableInfo());
  const std::wstring path = L"\\StringFileInfo\\040904b0\\ProductVersion";
  for (std::size_t n = 0; n < block.size(); ++n) {
    // An exact-size copy, so that a read past the span is caught by the sanitizer.
    const Bytes cut(block.begin(), block.begin() + static_cast<std::ptrdiff_t>(n));
    EXPECT_EQ(QueryVersionString(cut, path), std::nullopt) << n;
    EXPECT_TRUE(QueryVersionTranslations(cut).empty()) << n;
  }
  for (std::size_t at = 0; at < block.size(); ++at) {
    for (int mask : {0x01, 0x02, 0x10, 0x80, 0xFF}) {
      Bytes bad = block;
      bad[at] = static_cast<std::uint8_t>(bad[at] ^ mask);
      const auto value = QueryVersionString(bad, path);
      if (value) {
        EXPECT_LE(value->size(), bad.size() / 2);
      }
      (void)QueryVersionString(bad, L"\\StringFileInfo\\000004b0\\A");
      EXPECT_LE(QueryVersionTranslations(bad).size(), bad.size() / 4);
    }
  }
}

}  // namespace
}  // namespace kestrune::platform
