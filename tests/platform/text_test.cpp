#include "platform/text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kestrune::platform {
namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr wchar_t R = kReplacementChar;

TEST(TextTest, Utf8EncodesEveryLengthAndReplacesNonCharacters) {
  EXPECT_EQ(ToUtf8(L"A\u00e9\u20ac\U0001F600"), "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
  const std::wstring bad{static_cast<wchar_t>(0xD800), static_cast<wchar_t>(0x110000),
                         static_cast<wchar_t>(-1)};
  EXPECT_EQ(ToUtf8(bad), "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");
  EXPECT_EQ(ToUtf8(std::wstring(L"a\0b", 3)), std::string("a\0b", 3));
}

TEST(TextTest, Utf8DecodesWellFormedText) {
  EXPECT_EQ(FromUtf8("A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"), L"A\u00e9\u20ac\U0001F600");
  EXPECT_EQ(FromUtf8("\xF4\x8F\xBF\xBF"), std::wstring(1, static_cast<wchar_t>(0x10FFFF)));
  EXPECT_EQ(FromUtf8(""), L"");
}

TEST(TextTest, Utf8ReplacesEachMaximalInvalidPart) {
  struct Case {
    const char* bytes;
    std::wstring expected;
  };
  const std::vector<Case> cases = {
      {"\x80", {R}},  // stray continuation
      {"\xFF"
       "A",
       {R, L'A'}},                         // never a lead byte
      {"\xC0\xAF", {R, R}},                // overlong '/'
      {"\xE0\x80\xAF", {R, R, R}},         // overlong three-byte form
      {"\xED\xA0\x80", {R, R, R}},         // encoded surrogate
      {"\xF4\x90\x80\x80", {R, R, R, R}},  // beyond U+10FFFF
      {"\xE2\x82", {R}},                   // truncated at the end
      {"\xE2\x82"
       "A",
       {R, L'A'}},  // truncated before ASCII
      {"\xF0\x9F\x98"
       "\xC3\xA9",
       {R, L'\u00e9'}},  // truncated before a good sequence
  };
  for (const auto& c : cases) EXPECT_EQ(FromUtf8(c.bytes), c.expected) << c.bytes;
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
