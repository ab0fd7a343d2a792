// A name server on a loopback UDP port that takes every query and answers
// none, as a name server that is down or cut off; it tells when it has been
// asked.
#pragma once

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

namespace kestrune::test {

class SilentNameServer {
 public:
  SilentNameServer() {
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof addr;
    if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&addr), length) != 0 ||
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &length) != 0) {
      ADD_FAILURE() << "name server socket: errno " << errno;
    }
    port_ = ntohs(addr.sin_port);
    thread_ = std::thread([this] { Run(); });
  }
  ~SilentNameServer() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto n = ::write(quit_, &one, sizeof one);
    thread_.join();
    ::close(fd_);
    ::close(quit_);
  }
  SilentNameServer(const SilentNameServer&) = delete;
  SilentNameServer& operator=(const SilentNameServer&) = delete;

  // What the resolver is told to ask ("127.0.0.1:port").
  std::string Address() const { return "127.0.0.1:" + std::to_string(port_); }
  // Waits (at most 30 s) for the first query.
  bool WaitAsked() {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(30), [this] { return asked_; });
  }

 private:
  void Run() {
    for (;;) {
      pollfd p[2] = {{quit_, POLLIN, 0}, {fd_, POLLIN, 0}};
      if (::poll(p, 2, -1) < 0) continue;
      if (p[0].revents != 0) return;
      char query[1500];
      if (::recv(fd_, query, sizeof query, 0) > 0) {
        std::lock_guard lock(mutex_);
        asked_ = true;
        changed_.notify_all();
      }
    }
  }

  int fd_ = -1;
  int quit_ = ::eventfd(0, EFD_CLOEXEC);
  std::uint16_t port_ = 0;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool asked_ = false;
  std::thread thread_;
};

}  // namespace kestrune::test
