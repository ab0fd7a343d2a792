// Loopback ports of a test's own, so that no test depends on what listens on
// the machine's well-known ports.
#pragma once

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

namespace kestrune::test {

// A TCP socket bound to a free port on 127.0.0.1 and, unless `backlog` is
// negative, listening with that backlog. Sets `port`; a failure fails the
// test.
inline int BindLoopback(int backlog, std::uint16_t& port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof addr;
  if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&addr), length) != 0 ||
      (backlog >= 0 && ::listen(fd, backlog) != 0) ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &length) != 0) {
    ADD_FAILURE() << "loopback socket: errno " << errno;
  }
  port = ntohs(addr.sin_port);
  return fd;
}

// A port that refuses every connection at once: bound for the life of the
// object but never listening, so no other program can take it meanwhile.
class RefusingPort {
 public:
  RefusingPort() : fd_(BindLoopback(-1, port_)) {}
  ~RefusingPort() {
    if (fd_ >= 0) ::close(fd_);
  }
  RefusingPort(const RefusingPort&) = delete;
  RefusingPort& operator=(const RefusingPort&) = delete;

  std::uint16_t Port() const { return port_; }

 private:
  std::uint16_t port_ = 0;
  int fd_ = -1;
};

}  // namespace kestrune::test
