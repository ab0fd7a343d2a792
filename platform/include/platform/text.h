// Conversions between the wide texts of the core (wchar_t holds a full code
// point here) and the byte encodings of files, the registry and the console.
// None of them throws on bad input: what cannot be decoded becomes U+FFFD.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "unicode/codec.h"

namespace kestrune::platform {

inline constexpr wchar_t kReplacementChar = L'\xFFFD';

// UTF-8 through the program's one codec (unicode/codec.h): non-scalar code points
// are written as U+FFFD; each maximal ill-formed part decodes to one U+FFFD.
using unicode::FromUtf8;
using unicode::ToUtf8;
// Each byte becomes the character of the same code (ISO 8859-1).
std::wstring Latin1ToWide(std::string_view text);

// UTF-16 little-endian without byte-order mark or terminating NUL; characters
// above U+FFFF become surrogate pairs, non-scalar values U+FFFD.
std::vector<std::uint8_t> ToUtf16Le(std::wstring_view text);
// Surrogate pairs are joined; an unpaired surrogate becomes U+FFFD; an odd
// trailing byte is ignored. NULs are kept.
std::wstring FromUtf16Le(std::span<const std::uint8_t> bytes);

// Comparison and lower-casing of the letters A-Z only, the way the program
// compares its model texts; other characters must match exactly.
bool EqualsNoCase(std::wstring_view a, std::wstring_view b);
std::wstring ToLowerAscii(std::wstring_view text);
std::wstring ToUpperAscii(std::wstring_view text);

}  // namespace kestrune::platform
