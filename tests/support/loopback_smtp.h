// A loopback SMTP server for tests of the mail senders.
#pragma once

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "support/loopback_port.h"

namespace kestrune::test {

// A loopback SMTP server on a thread: it sends the greeting, then answers
// each command line (or, after a 354, the whole mail up to its terminator)
// with the next scripted reply, and records what it received, one entry per
// command or mail. After the script it records whatever else comes.
class LoopbackSmtp {
 public:
  explicit LoopbackSmtp(std::vector<std::string> replies) : replies_(std::move(replies)) {
    listener_ = BindLoopback(1, port_);
    thread_ = std::thread([this] { Run(); });
  }
  ~LoopbackSmtp() {
    if (thread_.joinable()) thread_.join();
    ::close(listener_);
  }
  std::uint16_t Port() const { return port_; }
  // Waits for the client to close.
  const std::vector<std::string>& Received() {
    if (thread_.joinable()) thread_.join();
    return received_;
  }

 private:
  bool Readable(int fd) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, 5000) > 0;
  }
  // The next unit up to and including `end`; false when the client closed.
  bool Next(int fd, const std::string& end, std::string& unit) {
    for (;;) {
      const auto at = buffer_.find(end);
      if (at != std::string::npos) {
        unit = buffer_.substr(0, at + end.size());
        buffer_.erase(0, at + end.size());
        return true;
      }
      char chunk[4096];
      if (!Readable(fd)) return false;
      const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
      if (n <= 0) return false;
      buffer_.append(chunk, static_cast<std::size_t>(n));
    }
  }
  void Send(int fd, const std::string& text) {
    (void)::send(fd, text.data(), text.size(), MSG_NOSIGNAL);
  }
  void Run() {
    if (!Readable(listener_)) return;
    const int fd = ::accept(listener_, nullptr, nullptr);
    if (fd < 0) return;
    bool mailNext = false;
    std::size_t i = 0;
    if (!replies_.empty()) Send(fd, replies_[i++]);
    for (; i < replies_.size(); ++i) {
      std::string unit;
      if (!Next(fd, mailNext ? "\r\n.\r\n" : "\n", unit)) break;
      received_.push_back(unit);
      Send(fd, replies_[i]);
      mailNext = replies_[i].rfind("354", 0) == 0;
    }
    std::string rest;
    while (Next(fd, "\n", rest)) received_.push_back(rest);
    if (!buffer_.empty()) received_.push_back(buffer_);
    ::close(fd);
  }

  std::vector<std::string> replies_;
  int listener_ = -1;
  std::uint16_t port_ = 0;
  std::string buffer_;
  std::vector<std::string> received_;
  std::thread thread_;
};

}  // namespace kestrune::test
