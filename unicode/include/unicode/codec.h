// The one Unicode codec of the program: wide texts (wchar_t holds a whole
// code point on this platform) to and from UTF-8 and UTF-16. Nothing here
// throws on bad input: what cannot be encoded or decoded becomes U+FFFD.
//
// Ill-formed UTF-8 is replaced the way the Unicode standard recommends and
// the WHATWG decoder does ("maximal subparts"): a lead byte with the
// continuation bytes that may still follow it is one U+FFFD, and decoding goes
// on at the first byte that could not. So the truncated "E2 82" is one
// U+FFFD, while the encoded surrogate "ED A0 80" is three (A0 cannot follow
// ED), as are the overlong "E0 80 AF" and "F4 90 80 80" beyond U+10FFFF (four).
#pragma once

#include <string>
#include <string_view>

namespace kestrune::unicode {

inline constexpr char32_t kReplacement = 0xFFFD;

// Surrogates and values beyond U+10FFFF are no characters.
constexpr bool IsScalarValue(char32_t c) {
  return c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF);
}

// Appends the UTF-8 form of one code point; a non-scalar value is written as
// U+FFFD.
void AppendUtf8(std::string& out, char32_t c);
std::string ToUtf8(std::wstring_view text);
std::wstring FromUtf8(std::string_view bytes);

// Characters above U+FFFF become surrogate pairs, non-scalar values U+FFFD.
std::u16string ToUtf16(std::wstring_view text);
// Surrogate pairs are joined; an unpaired surrogate becomes U+FFFD. NULs are
// kept.
std::wstring FromUtf16(std::u16string_view units);

}  // namespace kestrune::unicode
