// Feeds arbitrary server bytes to the SMTP reply reader in pieces whose sizes
// come from the input, as the network would split them, and compares with
// the bytes fed whole: the same reply, the same end, never more than the
// buffer kept. The first byte picks the buffer size.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "events/smtp_reply.h"
#include "platform/text.h"

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using kestrune::evt::SmtpReplyReader;
  if (size == 0) return 0;
  const std::size_t limit = 1 + data[0] * 4u;  // 1 to 1021 bytes
  const std::string_view stream(reinterpret_cast<const char*>(data) + 1, size - 1);

  // Reads replies one after another, as a session does, whole and in pieces.
  std::size_t at = 0;
  while (at < stream.size()) {
    SmtpReplyReader whole(limit);
    const std::size_t used = whole.Feed(stream.substr(at));
    Require(used > 0 && used <= stream.size() - at);
    Require(whole.Reply().size() <= limit && whole.Reply().size() <= used);
    Require(whole.Taken() == used);

    SmtpReplyReader pieces(limit);
    std::size_t fed = 0;
    while (at + fed < stream.size() && !pieces.Complete()) {
      const std::size_t step =
          std::min<std::size_t>(1 + static_cast<std::uint8_t>(stream[at + fed]) % 16,
                                stream.size() - at - fed);
      const std::size_t took = pieces.Feed(stream.substr(at + fed, step));
      Require(took <= step);
      fed += took;
      if (took < step) Require(pieces.Complete());
    }
    Require(fed == used && pieces.Complete() == whole.Complete());
    Require(pieces.Reply() == whole.Reply());
    // What the session makes of it: the reply decoded and its first line.
    const std::wstring reply = kestrune::platform::FromUtf8(whole.Reply());
    Require(reply.substr(0, reply.find_first_of(L"\r\n")).size() <= reply.size());
    if (!whole.Complete()) break;
    at += used;
  }
  return 0;
}
