// Reading one SMTP reply out of the bytes of a connection as they arrive.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kestrune::evt {

// Gathers one reply as the mail standard defines it: lines that carry a
// hyphen after their code ("250-lab.example") continue it, and the first
// line that does not (a blank after the code, or nothing after it) ends it.
// A line ends with LF, alone or after CR. The first `limit` bytes of the
// reply are kept; the rest of a longer reply is taken and dropped up to its
// last line, so that none of it is read as the next reply.
class SmtpReplyReader {
 public:
  explicit SmtpReplyReader(std::size_t limit) : limit_(limit) {}

  // Takes bytes received; returns how many of them belong to this reply:
  // all of them until the reply is complete, then only those up to its end
  // (the rest came after it and belongs to the next reply).
  std::size_t Feed(std::string_view bytes);

  bool Complete() const { return complete_; }
  // The reply's bytes, at most `limit`, line ends included.
  const std::string& Reply() const { return reply_; }
  // Whether some of the reply had to be dropped.
  bool Cut() const { return taken_ > reply_.size(); }
  // Bytes taken so far, dropped ones included.
  std::size_t Taken() const { return taken_; }

 private:
  std::size_t limit_;
  std::string reply_;
  std::size_t taken_ = 0;
  std::size_t lineLength_ = 0;  // bytes of the current line so far
  bool continued_ = false;      // the current line has a hyphen after its code
  bool complete_ = false;
};

}  // namespace kestrune::evt
