// The program's one UTF-8 and UTF-16 codec, edge cases in one table each.
#include "unicode/codec.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kestrune::unicode {
namespace {

constexpr wchar_t R = static_cast<wchar_t>(kReplacement);

TEST(Utf8, EncodesEveryLengthAndReplacesNonCharacters) {
  EXPECT_EQ(ToUtf8(L"A\u00e9\u20ac\U0001F600"), "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
  const std::wstring bad{static_cast<wchar_t>(0xD800), static_cast<wchar_t>(0x110000),
                         static_cast<wchar_t>(-1)};
  EXPECT_EQ(ToUtf8(bad), "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");
  EXPECT_EQ(ToUtf8(std::wstring(L"a\0b", 3)), std::string("a\0b", 3));
  std::string out;
  AppendUtf8(out, 0x7F);
  AppendUtf8(out, 0x80);
  AppendUtf8(out, 0xDFFF);
  EXPECT_EQ(out, "\x7F\xC2\x80\xEF\xBF\xBD");
}

// Well-formed text decodes to its code points; each maximal ill-formed part
// (a lead byte and the continuation bytes that may still follow it) becomes
// one U+FFFD, and decoding goes on at the byte that broke it.
TEST(Utf8, DecodesWellFormedTextAndReplacesEachMaximalInvalidPart) {
  struct Case {
    std::string bytes;
    std::wstring expected;
  };
  const std::vector<Case> cases = {
      {"A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", L"A\u00e9\u20ac\U0001F600"},
      {"\xC2\x80\xDF\xBF", L"\u0080\u07ff"},  // ends of the two-byte range
      {"\xEF\xBF\xBF\xF0\x90\x80\x80", L"\uffff\U00010000"},
      {"\xF4\x8F\xBF\xBF", std::wstring(1, static_cast<wchar_t>(0x10FFFF))},
      {"", L""},
      {std::string("a\0b", 3), std::wstring(L"a\0b", 3)},
      {"\x80", {R}},            // stray continuation
      {"\xBF\x80", {R, R}},     // two of them
      {"\xFF\x41", {R, L'A'}},  // never a lead byte
      {"\xC0\xAF", {R, R}},     // overlong '/': C0 is never a lead
      {"\xC1\xBF", {R, R}},
      {"\xE0\x80\xAF", {R, R, R}},  // overlong three-byte form
      {"\xE0\x9F\xBF", {R, R, R}},
      {"\xF0\x8F\xBF\xBF", {R, R, R, R}},  // overlong four-byte form
      {"\xED\xA0\x80", {R, R, R}},         // encoded surrogate: A0 cannot follow ED
      {"\xED\xBF\xBF", {R, R, R}},
      {"\xED\x9F\xBF", L"\ud7ff"},         // the last character before them
      {"\xF4\x90\x80\x80", {R, R, R, R}},  // beyond U+10FFFF
      {"\xF5\x80\x80\x80", {R, R, R, R}},
      {"\xE2\x82", {R}},                         // truncated at the end
      {"\xE2\x82\x41", {R, L'A'}},               // truncated before ASCII
      {"\xF0\x9F\x98\xC3\xA9", {R, L'\u00e9'}},  // truncated before a good sequence
      {"\xC3", {R}},
      {"\xF0\x9F\x98\xC3", {R, R}},
  };
  for (const auto& c : cases) EXPECT_EQ(FromUtf8(c.bytes), c.expected) << c.bytes;
}

TEST(Utf16, UsesSurrogatePairsBothWays) {
  EXPECT_EQ(ToUtf16(L"A\u00e9\U0001F600"), u"A\u00e9\U0001F600");
  EXPECT_EQ(ToUtf16(std::wstring(1, static_cast<wchar_t>(0xDC00))), u"\uFFFD");
  struct Case {
    std::u16string units;
    std::wstring expected;
  };
  const std::vector<Case> cases = {
      {u"A\U0001F600", L"A\U0001F600"},
      {{char16_t{0xD83D}}, {R}},              // high surrogate at the end
      {{char16_t{0xDE00}, u'A'}, {R, L'A'}},  // lone low surrogate
      {{char16_t{0xD83D}, u'A'}, {R, L'A'}},  // high surrogate, then a BMP unit
      {{char16_t{0xD83D}, char16_t{0xD83D}, char16_t{0xDE00}}, {R, L'\U0001F600'}},
      {std::u16string(u"A\0B", 3), std::wstring(L"A\0B", 3)},
  };
  for (const auto& c : cases) EXPECT_EQ(FromUtf16(c.units), c.expected);
}

}  // namespace
}  // namespace kestrune::unicode
