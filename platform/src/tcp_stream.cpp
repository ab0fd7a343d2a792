// The plain stream: a non-blocking TCP socket whose every wait is bounded by
// its deadline and the stop signal. The host lookup is c-ares', run on the
// calling thread under the same waits, so that a name server that never
// answers is given up at once and leaves nothing running behind.
#include <ares.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstring>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/stream.h"
#include "stream_wait.h"

namespace kestrune::platform {

namespace {

using Clock = std::chrono::steady_clock;

int StopFdOf(const std::shared_ptr<StopSignal>& stop) {
  return stop ? stop->Fd() : -1;
}

class TcpStream final : public Stream {
 public:
  TcpStream(int fd, std::shared_ptr<StopSignal> stop) : fd_(fd), stop_(std::move(stop)) {}
  ~TcpStream() override { ::close(fd_); }
  TcpStream(const TcpStream&) = delete;
  TcpStream& operator=(const TcpStream&) = delete;

  StreamError Send(std::string_view bytes, SteadyTime deadline) override {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
      if (stop_ && stop_->Raised()) return StreamError::Socket(kWsaInterrupted);
      const ssize_t n = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
      if (n > 0) {
        sent += static_cast<std::size_t>(n);
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
        return StreamError::Socket(WinsockCodeFromErrno(errno));
      if (const int code = WaitForFd(fd_, POLLOUT, deadline, StopFdOf(stop_)); code != 0)
        return StreamError::Socket(code);
    }
    return {};
  }

  StreamError Receive(std::span<char> buffer, std::size_t& received, SteadyTime deadline) override {
    received = 0;
    for (;;) {
      if (const int code = WaitForFd(fd_, POLLIN, deadline, StopFdOf(stop_)); code != 0)
        return StreamError::Socket(code);
      const ssize_t n = ::recv(fd_, buffer.data(), buffer.size(), 0);
      if (n >= 0) {
        received = static_cast<std::size_t>(n);
        return {};
      }
      if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
      return StreamError::Socket(WinsockCodeFromErrno(errno));
    }
  }

 private:
  const int fd_;
  const std::shared_ptr<StopSignal> stop_;
};

// A name the resolver may be asked for: letters, digits, "-", "_" and ".",
// or an address. Anything else cannot name a host, and no name server
// needs to be asked to know that.
bool PlausibleHostName(const std::string& host) {
  in6_addr address{};
  if (::inet_pton(AF_INET, host.c_str(), &address) == 1 ||
      ::inet_pton(AF_INET6, host.c_str(), &address) == 1)
    return true;
  if (host.empty() || host.size() > 253) return false;
  for (const char c : host) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                    c == '-' || c == '_' || c == '.';
    if (!ok) return false;
  }
  return true;
}

struct LookupResult {
  bool done = false;
  int status = ARES_ENOTFOUND;
  std::vector<std::pair<sockaddr_storage, socklen_t>> addresses;
};

void LookupDone(void* arg, int status, int /*timeouts*/, ares_addrinfo* result) {
  auto& out = *static_cast<LookupResult*>(arg);
  out.done = true;
  out.status = status;
  if (result == nullptr) return;
  for (const ares_addrinfo_node* node = result->nodes; node != nullptr; node = node->ai_next) {
    if (node->ai_addr == nullptr || node->ai_addrlen > sizeof(sockaddr_storage)) continue;
    sockaddr_storage address{};
    std::memcpy(&address, node->ai_addr, node->ai_addrlen);
    out.addresses.emplace_back(address, static_cast<socklen_t>(node->ai_addrlen));
  }
  ares_freeaddrinfo(result);
}

// One c-ares channel for one lookup; destroying it ends the lookup at once.
class Resolver {
 public:
  Resolver() {
    static std::once_flag initialised;
    static int initStatus = ARES_SUCCESS;
    std::call_once(initialised, [] { initStatus = ares_library_init(ARES_LIB_INIT_ALL); });
    if (initStatus == ARES_SUCCESS) status_ = ares_init_options(&channel_, nullptr, 0);
  }
  ~Resolver() {
    if (status_ == ARES_SUCCESS) ares_destroy(channel_);
  }
  Resolver(const Resolver&) = delete;
  Resolver& operator=(const Resolver&) = delete;

  // 0 with the addresses, or a Windows Sockets code.
  int LookUp(const std::string& host, std::uint16_t port, const ConnectOptions& options,
             std::vector<std::pair<sockaddr_storage, socklen_t>>& addresses) {
    if (!PlausibleHostName(host)) return kWsaHostNotFound;
    if (status_ == ARES_ENOMEM) return kWsaNoBuffers;
    if (status_ != ARES_SUCCESS) return kWsaHostNotFound;
    if (!options.nameServers.empty() &&
        ares_set_servers_ports_csv(channel_, options.nameServers.c_str()) != ARES_SUCCESS) {
      return kWsaHostNotFound;
    }
    LookupResult& result = result_;
    ares_addrinfo_hints hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    ares_getaddrinfo(channel_, host.c_str(), nullptr, &hints, LookupDone, &result);
    const auto deadline = Clock::now() + options.timeout;
    const int stopFd = StopFdOf(options.stop);
    while (!result.done) {
      std::array<ares_socket_t, ARES_GETSOCK_MAXNUM> sockets{};
      const int bits = ares_getsock(channel_, sockets.data(), ARES_GETSOCK_MAXNUM);
      std::vector<pollfd> watched;
      for (int i = 0; i < ARES_GETSOCK_MAXNUM; ++i) {
        short events = 0;
        if (ARES_GETSOCK_READABLE(bits, i)) events |= POLLIN;
        if (ARES_GETSOCK_WRITABLE(bits, i)) events |= POLLOUT;
        if (events != 0) watched.push_back({sockets[static_cast<std::size_t>(i)], events, 0});
      }
      if (stopFd >= 0) watched.push_back({stopFd, POLLIN, 0});
      timeval longest{};
      const long leftMs = RemainingMs(deadline);
      longest.tv_sec = leftMs / 1000;
      longest.tv_usec = (leftMs % 1000) * 1000;
      timeval tv{};
      const timeval* next = ares_timeout(channel_, &longest, &tv);
      const int ms = static_cast<int>(next->tv_sec * 1000 + (next->tv_usec + 999) / 1000);
      const int n = ::poll(watched.data(), watched.size(), ms);
      if (n < 0 && errno != EINTR) return WinsockCodeFromErrno(errno);
      if (stopFd >= 0 && watched.back().revents != 0) return kWsaInterrupted;
      if (options.stop && options.stop->Raised()) return kWsaInterrupted;
      bool any = false;
      for (const pollfd& p : watched) {
        if (p.fd == stopFd || p.revents == 0) continue;
        any = true;
        const bool readable = (p.revents & (POLLIN | POLLERR | POLLHUP)) != 0;
        const bool writable = (p.revents & POLLOUT) != 0;
        ares_process_fd(channel_, readable ? p.fd : ARES_SOCKET_BAD,
                        writable ? p.fd : ARES_SOCKET_BAD);
      }
      // Time-outs and retries of the name servers.
      if (!any) ares_process_fd(channel_, ARES_SOCKET_BAD, ARES_SOCKET_BAD);
      if (!result.done && Clock::now() >= deadline) return kWsaTimedOut;
    }
    if (result.status == ARES_ENOMEM) return kWsaNoBuffers;
    if (result.status != ARES_SUCCESS || result.addresses.empty()) return kWsaHostNotFound;
    for (auto& [address, length] : result.addresses) {
      if (address.ss_family == AF_INET) {
        reinterpret_cast<sockaddr_in*>(&address)->sin_port = htons(port);
      } else if (address.ss_family == AF_INET6) {
        reinterpret_cast<sockaddr_in6*>(&address)->sin6_port = htons(port);
      }
    }
    addresses = std::move(result.addresses);
    return 0;
  }

 private:
  // Filled by the callback, which the channel's destruction may still call.
  LookupResult result_;
  ares_channel channel_ = nullptr;
  int status_ = ARES_ENOMEM;
};

}  // namespace

long RemainingMs(SteadyTime deadline) {
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  if (left <= 0) return 0;
  return left > INT_MAX ? INT_MAX : static_cast<long>(left);
}

int WaitForFd(int fd, short events, SteadyTime deadline, int stopFd) {
  for (;;) {
    pollfd p[2] = {{fd, events, 0}, {stopFd, POLLIN, 0}};
    const long ms = RemainingMs(deadline);
    const int n = ::poll(p, stopFd >= 0 ? 2 : 1, static_cast<int>(ms));
    if (n > 0) return stopFd >= 0 && p[1].revents != 0 ? kWsaInterrupted : 0;
    if (n == 0) {
      if (ms == 0 || Clock::now() >= deadline) return kWsaTimedOut;
      continue;
    }
    if (errno != EINTR) return WinsockCodeFromErrno(errno);
  }
}

std::unique_ptr<Stream> ConnectTcp(const std::string& host, std::uint16_t port,
                                   const ConnectOptions& options, StreamError& error) {
  error = {};
  if (options.stop && options.stop->Raised()) {
    error = StreamError::Socket(kWsaInterrupted);
    return nullptr;
  }
  std::vector<std::pair<sockaddr_storage, socklen_t>> addresses;
  {
    Resolver resolver;
    if (const int code = resolver.LookUp(host, port, options, addresses); code != 0) {
      error = StreamError::Socket(code);
      return nullptr;
    }
  }
  const auto deadline = Clock::now() + options.timeout;
  const int stopFd = StopFdOf(options.stop);
  for (const auto& [address, length] : addresses) {
    const int s = ::socket(address.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (s < 0) {
      error = {StreamError::Kind::Create, WinsockCodeFromErrno(errno), {}};
      continue;
    }
    int code = 0;
    if (::connect(s, reinterpret_cast<const sockaddr*>(&address), length) != 0) {
      if (errno == EINPROGRESS || errno == EINTR) {
        code = WaitForFd(s, POLLOUT, deadline, stopFd);
        if (code == 0) {
          int soError = 0;
          socklen_t size = sizeof soError;
          if (::getsockopt(s, SOL_SOCKET, SO_ERROR, &soError, &size) != 0) soError = errno;
          code = soError == 0 ? 0 : WinsockCodeFromErrno(soError);
        }
      } else {
        code = WinsockCodeFromErrno(errno);
      }
    }
    if (code == 0) {
      try {
        return std::make_unique<TcpStream>(s, options.stop);
      } catch (const std::bad_alloc&) {
        ::close(s);
        error = StreamError::Socket(kWsaNoBuffers);
        return nullptr;
      }
    }
    ::close(s);
    error = StreamError::Socket(code);
    // The time-out covers all addresses; a stop ends the attempt.
    if (code == kWsaTimedOut || code == kWsaInterrupted) break;
  }
  return nullptr;
}

namespace {

class SystemNetworkImpl final : public Network {
 public:
  std::unique_ptr<Stream> Connect(const std::string& host, std::uint16_t port,
                                  const ConnectOptions& options, StreamError& error) override {
    return ConnectTcp(host, port, options, error);
  }
  std::unique_ptr<Stream> StartTls(std::unique_ptr<Stream> plain, const TlsOptions& options,
                                   SteadyTime deadline, StreamError& error) override {
    return StartTlsClient(std::move(plain), options, deadline, error);
  }
};

}  // namespace

std::string HostName() {
  std::array<char, 256> name{};
  if (::gethostname(name.data(), name.size() - 1) != 0 || name[0] == '\0') return "localhost";
  return name.data();
}

std::shared_ptr<Network> SystemNetwork() {
  static const std::shared_ptr<Network> network = std::make_shared<SystemNetworkImpl>();
  return network;
}

int WinsockCodeFromErrno(int errnoValue) {
  switch (errnoValue) {
    case EINTR:
      return kWsaInterrupted;
    case EBADF:
      return kWsaNotSocket;
    case EACCES:
      return 10013;
    case EFAULT:
      return 10014;
    case EINVAL:
      return 10022;
    case EMFILE:
    case ENFILE:
      return 10024;
    case EAGAIN:
      return 10035;
    case EINPROGRESS:
      return 10036;
    case EALREADY:
      return 10037;
    case ENOTSOCK:
      return kWsaNotSocket;
    case EDESTADDRREQ:
      return 10039;
    case EMSGSIZE:
      return 10040;
    case EPROTOTYPE:
      return 10041;
    case EPROTONOSUPPORT:
      return 10043;
    case EOPNOTSUPP:
      return 10045;
    case EAFNOSUPPORT:
      return 10047;
    case EADDRINUSE:
      return 10048;
    case EADDRNOTAVAIL:
      return 10049;
    case ENETDOWN:
      return 10050;
    case ENETUNREACH:
      return 10051;
    case ENETRESET:
      return 10052;
    case ECONNABORTED:
      return 10053;
    // The peer is gone: a send after its close gives EPIPE here, where
    // Windows Sockets reports the connection reset.
    case ECONNRESET:
    case EPIPE:
      return kWsaConnReset;
    case ENOBUFS:
    case ENOMEM:
      return kWsaNoBuffers;
    case EISCONN:
      return 10056;
    case ENOTCONN:
      return 10057;
    case ESHUTDOWN:
      return 10058;
    case ETIMEDOUT:
      return kWsaTimedOut;
    case ECONNREFUSED:
      return 10061;
    case EHOSTDOWN:
      return 10064;
    case EHOSTUNREACH:
      return 10065;
    default:
      return errnoValue;
  }
}

}  // namespace kestrune::platform
