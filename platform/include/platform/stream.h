// A byte stream to a server: a TCP connection, plain or under TLS. Every wait
// has a deadline and ends at once on the stop signal, so that no server (nor
// a name server that never answers) can hold the thread that talks to it.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "platform/stop_signal.h"

namespace kestrune::platform {

using SteadyTime = std::chrono::steady_clock::time_point;

// Windows Sockets codes with a meaning of their own for a stream.
inline constexpr int kWsaInterrupted = 10004;  // the stop signal ended the wait
inline constexpr int kWsaNotSocket = 10038;
inline constexpr int kWsaNoBuffers = 10055;  // no memory (or no thread) for the connection
inline constexpr int kWsaConnReset = 10054;
inline constexpr int kWsaTimedOut = 10060;
inline constexpr int kWsaHostNotFound = 11001;

// The Windows Sockets code the mail's error texts are keyed by, for an errno
// value; an errno without a counterpart is passed on as it is.
int WinsockCodeFromErrno(int errnoValue);

// What went wrong with a stream.
struct StreamError {
  enum class Kind {
    None,
    Create,       // no socket could be made: `code`
    Socket,       // the connection (or the host lookup) failed: `code`
    TlsSetup,     // TLS could not be prepared (a CA file that cannot be read): `detail`
    Certificate,  // the server's certificate did not verify: `detail`
    Handshake,    // the TLS handshake failed otherwise: `detail`
    Tls,          // the TLS layer failed after the handshake: `detail`
  };
  Kind kind = Kind::None;
  int code = 0;        // a Windows Sockets code, for Create and Socket
  std::string detail;  // what the TLS library said, in its words (UTF-8)

  explicit operator bool() const { return kind != Kind::None; }
  static StreamError Socket(int wsaCode) { return {Kind::Socket, wsaCode, {}}; }
};

// How a TLS session checks its server.
struct TlsOptions {
  // The name the certificate must carry (a host name, or an IPv4 or IPv6
  // address); also told to the server (SNI) when it is a name.
  std::string serverName;
  // PEM certificates of the authorities to trust; empty: the system's store.
  std::string caFile;
};

class Stream {
 public:
  virtual ~Stream() = default;
  // Sends every byte before `deadline`.
  virtual StreamError Send(std::string_view bytes, SteadyTime deadline) = 0;
  // Waits for bytes until `deadline` and takes what has come, at most
  // `buffer.size()` (which must not be 0). `received` 0: the peer closed.
  virtual StreamError Receive(std::span<char> buffer, std::size_t& received,
                              SteadyTime deadline) = 0;
  // What protects the stream: empty while plain, else the protocol and the
  // cipher ("TLSv1.3 TLS_AES_256_GCM_SHA384").
  virtual std::string Protection() const { return {}; }
};

// How a connection is made.
struct ConnectOptions {
  // The host lookup, then the connection (over all of the host's addresses),
  // each within this.
  std::chrono::milliseconds timeout{60000};
  // Ends every wait of the connection at once, then and later; may be null.
  std::shared_ptr<StopSignal> stop;
  // The name servers to ask, "address[:port]" separated by commas; empty:
  // the system's (resolv.conf, with /etc/hosts first). For tests.
  std::string nameServers;
};

// How a client reaches servers: TCP connections and TLS over them. Tests put
// streams of their own in its place.
class Network {
 public:
  virtual ~Network() = default;
  // Looks the host up (a name or an address) and connects to its addresses
  // in turn; null with the error of the last attempt when none answers.
  virtual std::unique_ptr<Stream> Connect(const std::string& host, std::uint16_t port,
                                          const ConnectOptions& options, StreamError& error) = 0;
  // Starts TLS as the client over `plain`: the handshake within `deadline`,
  // TLS 1.2 or later, the server's certificate verified against the trust
  // store and `options.serverName`. Null when any of that fails (`plain` is
  // closed then): there is no way back to the plain stream.
  virtual std::unique_ptr<Stream> StartTls(std::unique_ptr<Stream> plain, const TlsOptions& options,
                                           SteadyTime deadline, StreamError& error) = 0;
};

// The name this machine gives itself (gethostname); "localhost" when it has
// none.
std::string HostName();

// TCP with a host lookup that the deadline and the stop end at once (c-ares),
// and TLS through OpenSSL.
std::shared_ptr<Network> SystemNetwork();

// The pieces of SystemNetwork, for tests that need one of them.
std::unique_ptr<Stream> ConnectTcp(const std::string& host, std::uint16_t port,
                                   const ConnectOptions& options, StreamError& error);
std::unique_ptr<Stream> StartTlsClient(std::unique_ptr<Stream> plain, const TlsOptions& options,
                                       SteadyTime deadline, StreamError& error);

}  // namespace kestrune::platform
