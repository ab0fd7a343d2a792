#include "unicode/codec.h"

#include <cstdint>

namespace kestrune::unicode {
namespace {

char32_t ToCodePoint(wchar_t c) {
  // wchar_t is signed here: a negative value is no character at all.
  static_assert(sizeof(wchar_t) == 4, "wide characters hold full code points on this platform");
  const auto u = static_cast<std::uint32_t>(c);
  return IsScalarValue(u) ? u : kReplacement;
}

}  // namespace

void AppendUtf8(std::string& out, char32_t c) {
  if (!IsScalarValue(c)) c = kReplacement;
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

std::string ToUtf8(std::wstring_view text) {
  std::string out;
  out.reserve(text.size());
  for (wchar_t c : text) AppendUtf8(out, ToCodePoint(c));
  return out;
}

std::wstring FromUtf8(std::string_view bytes) {
  std::wstring out;
  out.reserve(bytes.size());
  const std::size_t n = bytes.size();
  std::size_t i = 0;
  auto byte = [&](std::size_t at) { return static_cast<std::uint8_t>(bytes[at]); };
  while (i < n) {
    const std::uint8_t b0 = byte(i);
    if (b0 < 0x80) {
      out.push_back(static_cast<wchar_t>(b0));
      ++i;
      continue;
    }
    // Length and the allowed range of the second byte, which excludes overlong
    // forms, surrogates and values beyond U+10FFFF (the well-formed table).
    std::size_t length = 0;
    std::uint8_t lo = 0x80;
    std::uint8_t hi = 0xBF;
    char32_t c = 0;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
      length = 2;
      c = b0 & 0x1Fu;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
      length = 3;
      c = b0 & 0x0Fu;
      if (b0 == 0xE0) lo = 0xA0;
      if (b0 == 0xED) hi = 0x9F;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
      length = 4;
      c = b0 & 0x07u;
      if (b0 == 0xF0) lo = 0x90;
      if (b0 == 0xF4) hi = 0x8F;
    } else {
      out.push_back(static_cast<wchar_t>(kReplacement));
      ++i;
      continue;
    }
    std::size_t used = 1;
    bool good = true;
    for (; used < length; ++used) {
      if (i + used >= n) {
        good = false;
        break;
      }
      const std::uint8_t b = byte(i + used);
      const std::uint8_t low = used == 1 ? lo : std::uint8_t{0x80};
      const std::uint8_t high = used == 1 ? hi : std::uint8_t{0xBF};
      if (b < low || b > high) {
        good = false;
        break;
      }
      c = (c << 6) | (b & 0x3Fu);
    }
    // A broken sequence: its maximal valid prefix is one U+FFFD, and decoding
    // resumes at the byte that broke it.
    out.push_back(good ? static_cast<wchar_t>(c) : static_cast<wchar_t>(kReplacement));
    i += used;
  }
  return out;
}

std::u16string ToUtf16(std::wstring_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (wchar_t wc : text) {
    const char32_t c = ToCodePoint(wc);
    if (c < 0x10000) {
      out.push_back(static_cast<char16_t>(c));
    } else {
      const char32_t v = c - 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 | (v >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 | (v & 0x3FF)));
    }
  }
  return out;
}

std::wstring FromUtf16(std::u16string_view units) {
  std::wstring out;
  out.reserve(units.size());
  for (std::size_t i = 0; i < units.size(); ++i) {
    const char32_t u = units[i];
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units.size()) {
      const char32_t next = units[i + 1];
      if (next >= 0xDC00 && next <= 0xDFFF) {
        out.push_back(static_cast<wchar_t>(0x10000 + ((u - 0xD800) << 10) + (next - 0xDC00)));
        ++i;
        continue;
      }
    }
    out.push_back(u >= 0xD800 && u <= 0xDFFF ? static_cast<wchar_t>(kReplacement)
                                             : static_cast<wchar_t>(u));
  }
  return out;
}

}  // namespace kestrune::unicode
