// Loopback mail servers that hold their clients: one that never says a word,
// one that sends its greeting a byte at a time with pauses between, and one
// whose greeting line never ends. Each takes any number of clients and lets
// them go only when it is destroyed (at once: its pauses watch for that).
#pragma once

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/loopback_port.h"

namespace kestrune::test {

class HostileSmtp {
 public:
  enum class Kind {
    Silent,          // accepts and says nothing
    Dribbling,       // "220 slow.example ready\r\n", one byte per pause
    EndlessGreeting  // "220 " and then letters, one chunk per pause, never a line end
  };

  explicit HostileSmtp(Kind kind, std::chrono::milliseconds pause = std::chrono::seconds(2))
      : kind_(kind), pause_(pause) {
    listener_ = BindLoopback(16, port_);
    thread_ = std::thread([this] { Run(); });
  }
  ~HostileSmtp() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto n = ::write(quit_, &one, sizeof one);
    thread_.join();
    for (int fd : clients_) ::close(fd);
    ::close(listener_);
    ::close(quit_);
  }
  HostileSmtp(const HostileSmtp&) = delete;
  HostileSmtp& operator=(const HostileSmtp&) = delete;

  std::uint16_t Port() const { return port_; }

  // Waits (at most 30 s) until `count` clients have connected.
  bool WaitForClients(std::size_t count) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(30), [&] { return accepted_ >= count; });
  }

 private:
  void Run() {
    const std::string greeting = "220 slow.example ready\r\n";
    for (;;) {
      pollfd p[2] = {{quit_, POLLIN, 0}, {listener_, POLLIN, 0}};
      const int ms = static_cast<int>(pause_.count());
      const int n = ::poll(p, 2, kind_ == Kind::Silent ? -1 : ms);
      if (n < 0) continue;
      if (p[0].revents != 0) return;
      if (p[1].revents != 0) {
        const int fd = ::accept(listener_, nullptr, nullptr);
        if (fd >= 0) {
          std::lock_guard lock(mutex_);
          clients_.push_back(fd);
          sent_.push_back(0);
          ++accepted_;
          changed_.notify_all();
        }
        continue;
      }
      // A pause has passed: the next piece to every client.
      std::lock_guard lock(mutex_);
      for (std::size_t i = 0; i < clients_.size(); ++i) {
        std::string piece;
        std::size_t& sent = sent_[i];
        if (kind_ == Kind::Dribbling && sent < greeting.size()) piece = greeting.substr(sent++, 1);
        if (kind_ == Kind::EndlessGreeting) piece = sent++ == 0 ? "220 " : "xxxxxxxxxxxxxxxx";
        [[maybe_unused]] const auto w =
            ::send(clients_[i], piece.data(), piece.size(), MSG_NOSIGNAL);
      }
    }
  }

  const Kind kind_;
  const std::chrono::milliseconds pause_;
  int listener_ = -1;
  int quit_ = ::eventfd(0, EFD_CLOEXEC);
  std::uint16_t port_ = 0;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<int> clients_;
  std::vector<std::size_t> sent_;  // bytes each client was sent
  std::size_t accepted_ = 0;
  std::thread thread_;
};

}  // namespace kestrune::test
