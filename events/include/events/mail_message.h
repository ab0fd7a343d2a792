// What makes a mail one that strict servers take: a Message-ID, the MIME
// headers, a subject in encoded words when it is not ASCII, and a body whose
// transfer encoding keeps every character and every line within the limits of
// the mail standard.
#pragma once

#include <string>
#include <string_view>

namespace kestrune::evt {

// "<random.time@domain>": the domain of `sender` (after its last "@") when it
// looks like one, else `hostName` when that does, else "localhost".
std::string MakeMessageId(std::string_view sender, std::string_view hostName);

// A header value as it may stand in a header: ASCII text as it is; other text
// as UTF-8 encoded words ("=?UTF-8?B?...?="), folded so that no line exceeds
// 76 characters, with `used` the characters the line already holds before it.
std::string HeaderValue(std::string_view utf8, std::size_t used);

// A mail body with CR LF line ends, ready for the DATA part (before lines
// that start with "." are doubled).
struct MailBody {
  std::string encoding;  // "7bit" or "quoted-printable"
  std::string bytes;
};

// Line ends become CR LF (CR LF, a lone LF and a lone CR alike). A body of
// ASCII whose lines are at most 998 bytes stays as it is ("7bit"); any other
// is quoted-printable, lines at most 76 characters, which every server
// carries unchanged and every mail reader decodes to the same UTF-8 text.
MailBody EncodeMailBody(std::string_view utf8);

// Base64 (with "=" padding), as AUTH and encoded words carry their bytes.
std::string Base64Encode(std::string_view bytes);

// Doubles the "." that starts a line, so that no line of the body ends the mail.
std::string DotStuffed(std::string_view crlfText);

}  // namespace kestrune::evt
