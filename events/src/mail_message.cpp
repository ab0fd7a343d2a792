#include "events/mail_message.h"

#include <array>
#include <atomic>
#include <chrono>
#include <random>

namespace kestrune::evt {

namespace {

constexpr std::size_t kMaxLine = 998;   // octets of a line, CR LF not counted
constexpr std::size_t kMaxQpLine = 76;  // characters of a quoted-printable line
constexpr char kHex[] = "0123456789ABCDEF";

bool LooksLikeDomain(std::string_view name) {
  if (name.empty() || name.size() > 253 || name.front() == '.' || name.front() == '-' ||
      name.back() == '.')
    return false;
  for (const char c : name) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                    c == '.' || c == '-';
    if (!ok) return false;
  }
  return true;
}

}  // namespace

std::string Base64Encode(std::string_view bytes) {
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    const std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
    std::uint32_t v = 0;
    for (std::size_t k = 0; k < 3; ++k)
      v = (v << 8) | (k < n ? static_cast<unsigned char>(bytes[i + k]) : 0U);
    for (std::size_t k = 0; k < 4; ++k) out += k <= n ? kAlphabet[(v >> (18 - 6 * k)) & 0x3F] : '=';
  }
  return out;
}

namespace {

// The length of the UTF-8 sequence that starts with `lead` (1 for a stray
// continuation byte, so that nothing is ever lost).
std::size_t SequenceLength(unsigned char lead) {
  if (lead >= 0xF0) return 4;
  if (lead >= 0xE0) return 3;
  if (lead >= 0xC0) return 2;
  return 1;
}

std::string CrlfLines(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 32 + 2);
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      out += "\r\n";
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      continue;
    }
    out.push_back(c);
  }
  return out;
}

}  // namespace

std::string MakeMessageId(std::string_view sender, std::string_view hostName) {
  std::string domain = "localhost";
  const auto at = sender.rfind('@');
  // "Name <user@domain>" as well as "user@domain".
  const std::string_view senderDomain = at == std::string_view::npos
                                            ? std::string_view()
                                            : sender.substr(at + 1, sender.find('>', at) - at - 1);
  if (LooksLikeDomain(senderDomain)) {
    domain = senderDomain;
  } else if (LooksLikeDomain(hostName)) {
    domain = hostName;
  }
  static std::atomic<std::uint32_t> counter{0};
  std::random_device random;
  const std::uint64_t r = (static_cast<std::uint64_t>(random()) << 32) | random();
  const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(
                          std::chrono::system_clock::now().time_since_epoch())
                          .count();
  std::string id = "<";
  for (int shift = 60; shift >= 0; shift -= 4) id += kHex[(r >> shift) & 0xF];
  id += "." + std::to_string(micros) + "." + std::to_string(counter.fetch_add(1)) + "@" + domain +
        ">";
  return id;
}

std::string HeaderValue(std::string_view utf8, std::size_t used) {
  bool ascii = true;
  for (const char c : utf8) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
  if (ascii) return std::string(utf8);
  // Each word carries whole characters, as many as fit the line: a word is
  // "=?UTF-8?B?" and "?=" around the base64 of its bytes.
  constexpr std::size_t kOverhead = 12;
  std::string out;
  std::size_t column = used;
  std::size_t i = 0;
  bool first = true;
  while (i < utf8.size()) {
    // Words after the first start a line of their own; the first does too
    // when not even a short word fits behind what the line holds.
    if (!first || column + kOverhead + 8 > kMaxQpLine) {
      out += "\r\n ";
      column = 1;
    }
    const std::size_t room = (kMaxQpLine - column - kOverhead) / 4 * 3;
    std::size_t end = i;
    while (end < utf8.size()) {
      const std::size_t n =
          std::min(SequenceLength(static_cast<unsigned char>(utf8[end])), utf8.size() - end);
      if (end + n - i > room) break;
      end += n;
    }
    if (end == i) end = i + 1;
    const std::string word = "=?UTF-8?B?" + Base64Encode(utf8.substr(i, end - i)) + "?=";
    out += word;
    column += word.size();
    first = false;
    i = end;
  }
  return out;
}

MailBody EncodeMailBody(std::string_view utf8) {
  std::string text = CrlfLines(utf8);
  bool plain = true;
  std::size_t line = 0;
  for (std::size_t i = 0; i < text.size() && plain; ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      line = 0;
      ++i;
      continue;
    }
    plain = c < 0x80 && c != 0 && ++line <= kMaxLine;
  }
  if (plain) return {"7bit", std::move(text)};

  // Quoted-printable: lines of at most 76 characters, a soft break ("=" at
  // the end) where a line of the text is longer.
  std::string out;
  out.reserve(text.size() * 3 / 2);
  std::size_t column = 0;
  auto put = [&](std::string_view piece) {
    if (column + piece.size() > kMaxQpLine - 1) {
      out += "=\r\n";
      column = 0;
    }
    out += piece;
    column += piece.size();
  };
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      out += "\r\n";
      column = 0;
      ++i;
      continue;
    }
    const bool lineEnds =
        i + 1 == text.size() || (text[i + 1] == '\r' && i + 2 < text.size() && text[i + 2] == '\n');
    // Blanks at a line's end would be lost in transport: they are encoded.
    const bool literal =
        (c >= 33 && c <= 126 && c != '=') || ((c == ' ' || c == '\t') && !lineEnds);
    if (literal) {
      const char one = static_cast<char>(c);
      put(std::string_view(&one, 1));
    } else {
      const std::array<char, 3> encoded{'=', kHex[c >> 4], kHex[c & 0xF]};
      put(std::string_view(encoded.data(), encoded.size()));
    }
  }
  return {"quoted-printable", std::move(out)};
}

std::string DotStuffed(std::string_view crlfText) {
  std::string out;
  out.reserve(crlfText.size() + 16);
  bool lineStart = true;
  for (const char c : crlfText) {
    if (lineStart && c == '.') out.push_back('.');
    out.push_back(c);
    lineStart = c == '\n';
  }
  return out;
}

}  // namespace kestrune::evt
