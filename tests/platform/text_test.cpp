#include "platform/text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kestrune::platform {
namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr wchar_t R = kReplacementChar;

// The UTF-8 conversions are the shared codec's (tests/unicode/).
TEST(TextTest, Utf8IsTheSharedCodec) {
  EXPECT_EQ(FromUtf8("\xED\xA0\x80"), (std::wstring{R, R, R}));
  EXPECT_EQ(ToUtf8(L"\u00e9"), "\xC3\xA9");
}

TEST(TextTest, Latin1MapsEachByteToItsCode) {
  EXPECT_EQ(Latin1ToWide("a\xE9\xFF"), L"a\u00e9\u00ff");
}

TEST(TextTest, Utf16LeUsesSurrogatePairs) {
  EXPECT_EQ(ToUtf16Le(L"A\u00e9\U0001F600"),
            (Bytes{0x41, 0x00, 0xE9, 0x00, 0x3D, 0xD8, 0x00, 0xDE}));
  EXPECT_EQ(ToUtf16Le(std::wstring(1, static_cast<wchar_t>(0xDC00))), (Bytes{0xFD, 0xFF}));
}

TEST(TextTest, Utf16LeDecodingHandlesBrokenPairsAndOddLength) {
  EXPECT_EQ(FromUtf16Le(Bytes{0x41, 0x00, 0x3D, 0xD8, 0x00, 0xDE}), L"A\U0001F600");
  EXPECT_EQ(FromUtf16Le(Bytes{0x3D, 0xD8}), std::wstring{R});  // high at the end
  EXPECT_EQ(FromUtf16Le(Bytes{0x00, 0xDE, 0x41, 0x00}), (std::wstring{R, L'A'}));  // lone low
  EXPECT_EQ(FromUtf16Le(Bytes{0x3D, 0xD8, 0x41, 0x00}), (std::wstring{R, L'A'}));  // high + BMP
  EXPECT_EQ(FromUtf16Le(Bytes{0x41, 0x00, 0x42}), L"A");                           // odd byte
  EXPECT_EQ(FromUtf16Le(Bytes{0x41, 0x00, 0x00, 0x00, 0x42, 0x00}), std::wstring(L"A\0B", 3));
}

TEST(TextTest, CaseInsensitiveComparisonCoversAsciiLettersOnly) {
  EXPECT_TRUE(EqualsNoCase(L"Raid", L"rAID"));
  EXPECT_TRUE(EqualsNoCase(L"", L""));
  EXPECT_FALSE(EqualsNoCase(L"raid", L"raid0"));
  EXPECT_FALSE(EqualsNoCase(L"\u00e9", L"\u00c9"));  // no folding outside A-Z
  EXPECT_FALSE(EqualsNoCase(L"@", L"`"));            // neighbours of the letter ranges
  EXPECT_EQ(ToLowerAscii(L"Bv-7210 \u00c9[Z]"), L"bv-7210 \u00c9[z]");
  EXPECT_EQ(ToUpperAscii(L"true{a}"), L"TRUE{A}");
}

}  // namespace
}  // namespace kestrune::platform
