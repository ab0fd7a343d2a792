// The pieces of a mail that strict servers take: Message-ID, encoded subject,
// body transfer encoding.
#include "events/mail_message.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace kestrune::evt {
namespace {

// Undoes quoted-printable (soft breaks and =XX), as a reader does.
std::string DecodeQp(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '=') {
      out += text[i];
    } else if (text.compare(i + 1, 2, "\r\n") == 0) {
      i += 2;
    } else {
      out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
      i += 2;
    }
  }
  return out;
}

std::size_t LongestLine(const std::string& text) {
  std::size_t longest = 0;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
    longest = std::max(longest, end - start);
  return std::max(longest, text.size() - start);
}

TEST(MailBodyTest, AsciiStaysAsItIsAndEverythingElseIsQuotedPrintable) {
  struct Case {
    std::string text;
    const char* encoding;
    std::string crlf;  // the text with CR LF line ends, as it must decode
  };
  const std::string longAscii(998, 'a');
  const Case cases[] = {
      {"line 1\nline 2\n", "7bit", "line 1\r\nline 2\r\n"},
      {"cr\rcrlf\r\n\tTab", "7bit", "cr\r\ncrlf\r\n\tTab"},
      {longAscii, "7bit", longAscii},  // 998 bytes: the limit
      {longAscii + "b", "quoted-printable", longAscii + "b"},
      {"Gr\xc3\xbc\xc3\x9f"
       "e\n",
       "quoted-printable",
       "Gr\xc3\xbc\xc3\x9f"
       "e\r\n"},
      {"a = b  \nend\t", "7bit", "a = b  \r\nend\t"},
      {"\xc3\xa9 = b  \nend\t", "quoted-printable", "\xc3\xa9 = b  \r\nend\t"},  // blanks at ends
      {std::string("nul\0byte", 8), "quoted-printable", std::string("nul\0byte", 8)},
      {"", "7bit", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text.substr(0, 20));
    const MailBody body = EncodeMailBody(c.text);
    EXPECT_EQ(body.encoding, c.encoding);
    if (body.encoding == std::string("7bit")) {
      EXPECT_EQ(body.bytes, c.crlf);
    } else {
      EXPECT_LE(LongestLine(body.bytes), 76u);
      EXPECT_EQ(DecodeQp(body.bytes), c.crlf);
      // No line may end in a blank: transport would drop it.
      EXPECT_EQ(body.bytes.find(" \r\n"), std::string::npos);
      EXPECT_NE(body.bytes.back(), ' ');
    }
  }
}

TEST(MailBodyTest, ATenThousandCharacterLineIsCarriedWhole) {
  std::string line;
  while (line.size() < 30000) line += "\xe2\x82\xac \xc3\xa9 x";  // euro, e acute
  const MailBody body = EncodeMailBody(line + "\n");
  EXPECT_EQ(body.encoding, "quoted-printable");
  EXPECT_LE(LongestLine(body.bytes), 76u);
  EXPECT_EQ(DecodeQp(body.bytes), line + "\r\n");
  EXPECT_EQ(DotStuffed(".a\r\n.\r\nb.\r\n"), "..a\r\n..\r\nb.\r\n");
}

TEST(MailHeaderTest, NonAsciiSubjectsGoInFoldedEncodedWords) {
  EXPECT_EQ(HeaderValue("Kestrune - Event from system LAB1.", 9),
            "Kestrune - Event from system LAB1.");
  std::string subject;
  for (int i = 0; i < 40; ++i) subject += "St\xc3\xb6rung \xe2\x82\xac ";
  const std::string value = HeaderValue(subject, 9);
  EXPECT_LE(LongestLine("Subject: " + value), 76u);
  // Each line one encoded word of whole characters, decoding to the subject.
  std::string decoded;
  std::size_t start = 0;
  while (start < value.size()) {
    auto end = value.find("\r\n ", start);
    if (end == std::string::npos) end = value.size();
    const std::string word = value.substr(start, end - start);
    EXPECT_EQ(word.rfind("=?UTF-8?B?", 0), 0u) << word;
    EXPECT_EQ(word.substr(word.size() - 2), "?=") << word;
    const std::string b64 = word.substr(10, word.size() - 12);
    std::string bytes;
    int bits = 0;
    unsigned buffer = 0;
    for (const char c : b64) {
      if (c == '=') break;
      const auto at =
          std::string("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/").find(c);
      buffer = (buffer << 6) | static_cast<unsigned>(at);
      bits += 6;
      if (bits >= 8) {
        bits -= 8;
        bytes += static_cast<char>((buffer >> bits) & 0xFF);
      }
    }
    // Whole characters: no word ends inside a UTF-8 sequence.
    EXPECT_NE(static_cast<unsigned char>(bytes.back()) & 0xC0, 0xC0U);
    decoded += bytes;
    start = end == value.size() ? end : end + 3;
  }
  EXPECT_EQ(decoded, subject);
}

TEST(MailHeaderTest, MessageIdsAreUniqueAndNameTheSendersDomain) {
  struct Case {
    const char* sender;
    const char* host;
    const char* domain;
  };
  const Case cases[] = {
      {"raid@lab.example", "vm", "@lab.example>"},
      {"Raid <raid@mail.lab.example>", "vm", "@mail.lab.example>"},  // ">" is no domain
      {"", "server.lab.example", "@server.lab.example>"},
      {"nobody@", "", "@localhost>"},
      {"a@b c", "bad host", "@localhost>"},
  };
  for (const Case& c : cases) {
    const std::string id = MakeMessageId(c.sender, c.host);
    EXPECT_EQ(id.front(), '<') << id;
    const std::string domain = c.domain;
    EXPECT_EQ(id.substr(id.size() - domain.size()), domain) << c.sender;
  }
  std::set<std::string> ids;
  for (int i = 0; i < 1000; ++i) ids.insert(MakeMessageId("raid@lab.example", ""));
  EXPECT_EQ(ids.size(), 1000u);
}

}  // namespace
}  // namespace kestrune::evt
