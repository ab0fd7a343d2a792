#include "events/smtp_reply.h"

#include <algorithm>

namespace kestrune::evt {

std::size_t SmtpReplyReader::Feed(std::string_view bytes) {
  std::size_t used = 0;
  while (used < bytes.size() && !complete_) {
    // Up to and including the next line feed, or everything.
    const std::size_t lf = bytes.find('\n', used);
    const std::size_t end = lf == std::string_view::npos ? bytes.size() : lf + 1;
    const std::string_view piece = bytes.substr(used, end - used);
    // The byte after the three-digit code decides whether the line goes on.
    constexpr std::size_t kMarkAt = 3;
    if (lineLength_ <= kMarkAt && lineLength_ + piece.size() > kMarkAt)
      continued_ = piece[kMarkAt - lineLength_] == '-';
    if (reply_.size() < limit_)
      reply_.append(piece.substr(0, std::min(piece.size(), limit_ - reply_.size())));
    taken_ += piece.size();
    used = end;
    if (lf == std::string_view::npos) {
      lineLength_ += piece.size();
    } else {
      // A line as short as "250\r\n" has no hyphen: it ends the reply.
      complete_ = !continued_;
      lineLength_ = 0;
      continued_ = false;
    }
  }
  return used;
}

}  // namespace kestrune::evt
