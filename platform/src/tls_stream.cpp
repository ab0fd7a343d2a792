// The TLS stream: OpenSSL's client over memory buffers, its records carried
// by the plain stream below it, so that every wait (the handshake's too) is
// that stream's, with its deadline and its stop signal.
#include <arpa/inet.h>
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/stream.h"

namespace kestrune::platform {

namespace {

// What the library said last on this thread, in its own words.
std::string LastTlsError(const char* otherwise) {
  const unsigned long code = ERR_peek_last_error();
  ERR_clear_error();
  if (code == 0) return otherwise;
  if (const char* reason = ERR_reason_error_string(code)) return reason;
  std::array<char, 256> text{};
  ERR_error_string_n(code, text.data(), text.size());
  return text.data();
}

bool IsAddress(const std::string& name) {
  in6_addr address{};
  return ::inet_pton(AF_INET, name.c_str(), &address) == 1 ||
         ::inet_pton(AF_INET6, name.c_str(), &address) == 1;
}

class TlsStream final : public Stream {
 public:
  explicit TlsStream(std::unique_ptr<Stream> inner) : inner_(std::move(inner)) {}
  ~TlsStream() override {
    if (ssl_ != nullptr) {
      // A close_notify when it can go out at once; the connection ends anyway.
      if (handshakeDone_) {
        ERR_clear_error();
        SSL_shutdown(ssl_);
        Flush(std::chrono::steady_clock::now());
      }
      SSL_free(ssl_);
    }
    if (ctx_ != nullptr) SSL_CTX_free(ctx_);
    ERR_clear_error();
  }
  TlsStream(const TlsStream&) = delete;
  TlsStream& operator=(const TlsStream&) = delete;

  StreamError Set(const TlsOptions& options) {
    if (options.serverName.empty())
      return {StreamError::Kind::TlsSetup, 0, "no server name to check the certificate against"};
    ERR_clear_error();
    ctx_ = SSL_CTX_new(TLS_client_method());
    if (ctx_ == nullptr) return {StreamError::Kind::TlsSetup, 0, LastTlsError("out of memory")};
    SSL_CTX_set_min_proto_version(ctx_, TLS1_2_VERSION);
    SSL_CTX_set_verify(ctx_, SSL_VERIFY_PEER, nullptr);
    if (options.caFile.empty()) {
      if (SSL_CTX_set_default_verify_paths(ctx_) != 1)
        return {StreamError::Kind::TlsSetup, 0,
                "the system's trust store cannot be read: " + LastTlsError("unknown error")};
    } else {
      if (::access(options.caFile.c_str(), R_OK) != 0)
        return {StreamError::Kind::TlsSetup, 0,
                "the CA file " + options.caFile + " cannot be read: " + std::strerror(errno)};
      if (SSL_CTX_load_verify_locations(ctx_, options.caFile.c_str(), nullptr) != 1)
        return {StreamError::Kind::TlsSetup, 0,
                "the CA file " + options.caFile +
                    " holds no certificate that can be used: " + LastTlsError("unknown error")};
    }
    ssl_ = SSL_new(ctx_);
    BIO* in = BIO_new(BIO_s_mem());
    BIO* out = BIO_new(BIO_s_mem());
    if (ssl_ == nullptr || in == nullptr || out == nullptr) {
      BIO_free(in);
      BIO_free(out);
      return {StreamError::Kind::TlsSetup, 0, LastTlsError("out of memory")};
    }
    // An empty input buffer means "wait for more", not the end of the stream.
    BIO_set_mem_eof_return(in, -1);
    SSL_set_bio(ssl_, in, out);
    in_ = in;
    out_ = out;
    X509_VERIFY_PARAM* param = SSL_get0_param(ssl_);
    bool named = false;
    if (IsAddress(options.serverName)) {
      named = X509_VERIFY_PARAM_set1_ip_asc(param, options.serverName.c_str()) == 1;
    } else {
      X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
      // SSL_set_tlsext_host_name, without the macro's cast.
      named = SSL_ctrl(ssl_, SSL_CTRL_SET_TLSEXT_HOSTNAME, TLSEXT_NAMETYPE_host_name,
                       const_cast<char*>(options.serverName.c_str())) == 1 &&
              SSL_set1_host(ssl_, options.serverName.c_str()) == 1;
    }
    if (!named)
      return {StreamError::Kind::TlsSetup, 0,
              "the server name " + options.serverName + " cannot be checked"};
    SSL_set_connect_state(ssl_);
    return {};
  }

  StreamError Handshake(SteadyTime deadline) {
    for (;;) {
      ERR_clear_error();
      const int r = SSL_connect(ssl_);
      if (StreamError e = Flush(deadline)) return e;
      if (r == 1) break;
      const int why = SSL_get_error(ssl_, r);
      if (why == SSL_ERROR_WANT_READ) {
        bool closed = false;
        if (StreamError e = Feed(deadline, closed)) return e;
        if (closed) return {StreamError::Kind::Handshake, 0, "the server closed the connection"};
        continue;
      }
      if (why == SSL_ERROR_WANT_WRITE) continue;
      const long verified = SSL_get_verify_result(ssl_);
      if (verified != X509_V_OK) {
        ERR_clear_error();
        return {StreamError::Kind::Certificate, 0, X509_verify_cert_error_string(verified)};
      }
      return {StreamError::Kind::Handshake, 0, LastTlsError("the handshake failed")};
    }
    // The handshake fails on a certificate that does not verify; this holds
    // should a server send none at all.
    X509* peer = SSL_get1_peer_certificate(ssl_);
    const bool hasPeer = peer != nullptr;
    X509_free(peer);
    if (!hasPeer || SSL_get_verify_result(ssl_) != X509_V_OK)
      return {StreamError::Kind::Certificate, 0, "the server sent no certificate"};
    handshakeDone_ = true;
    return {};
  }

  StreamError Send(std::string_view bytes, SteadyTime deadline) override {
    while (!bytes.empty()) {
      ERR_clear_error();
      const int r = SSL_write(ssl_, bytes.data(),
                              static_cast<int>(std::min<std::size_t>(bytes.size(), 1U << 30)));
      if (StreamError e = Flush(deadline)) return e;
      if (r > 0) {
        bytes.remove_prefix(static_cast<std::size_t>(r));
        continue;
      }
      const int why = SSL_get_error(ssl_, r);
      if (why == SSL_ERROR_WANT_WRITE) continue;
      if (why == SSL_ERROR_WANT_READ) {
        bool closed = false;
        if (StreamError e = Feed(deadline, closed)) return e;
        if (closed) return StreamError::Socket(kWsaConnReset);
        continue;
      }
      return {StreamError::Kind::Tls, 0, LastTlsError("the TLS layer failed")};
    }
    return {};
  }

  StreamError Receive(std::span<char> buffer, std::size_t& received, SteadyTime deadline) override {
    received = 0;
    for (;;) {
      ERR_clear_error();
      const int r = SSL_read(ssl_, buffer.data(),
                             static_cast<int>(std::min<std::size_t>(buffer.size(), 1U << 30)));
      // Post-handshake messages (key updates) may want an answer.
      if (StreamError e = Flush(deadline)) return e;
      if (r > 0) {
        received = static_cast<std::size_t>(r);
        return {};
      }
      const int why = SSL_get_error(ssl_, r);
      if (why == SSL_ERROR_ZERO_RETURN) return {};
      if (why == SSL_ERROR_WANT_WRITE) continue;
      if (why == SSL_ERROR_WANT_READ) {
        bool closed = false;
        if (StreamError e = Feed(deadline, closed)) return e;
        // A peer that closes without its close_notify has closed all the
        // same; what it sent before is kept.
        if (closed) return {};
        continue;
      }
      return {StreamError::Kind::Tls, 0, LastTlsError("the TLS layer failed")};
    }
  }

  std::string Protection() const override {
    if (!handshakeDone_) return {};
    return std::string(SSL_get_version(ssl_)) + " " + SSL_get_cipher_name(ssl_);
  }

 private:
  // Sends what the library has written.
  StreamError Flush(SteadyTime deadline) {
    std::array<char, 16384> chunk{};
    while (BIO_ctrl_pending(out_) > 0) {
      const int n = BIO_read(out_, chunk.data(), static_cast<int>(chunk.size()));
      if (n <= 0) break;
      if (StreamError e =
              inner_->Send(std::string_view(chunk.data(), static_cast<std::size_t>(n)), deadline))
        return e;
    }
    return {};
  }

  // Hands the library what the server sent next; `closed` when it closed.
  StreamError Feed(SteadyTime deadline, bool& closed) {
    std::array<char, 16384> chunk{};
    std::size_t received = 0;
    if (StreamError e = inner_->Receive(chunk, received, deadline)) return e;
    closed = received == 0;
    if (!closed) BIO_write(in_, chunk.data(), static_cast<int>(received));
    return {};
  }

  std::unique_ptr<Stream> inner_;
  SSL_CTX* ctx_ = nullptr;
  SSL* ssl_ = nullptr;
  BIO* in_ = nullptr;   // owned by ssl_
  BIO* out_ = nullptr;  // owned by ssl_
  bool handshakeDone_ = false;
};

}  // namespace

std::unique_ptr<Stream> StartTlsClient(std::unique_ptr<Stream> plain, const TlsOptions& options,
                                       SteadyTime deadline, StreamError& error) {
  error = {};
  if (!plain) {
    error = StreamError::Socket(kWsaNotSocket);
    return nullptr;
  }
  std::unique_ptr<TlsStream> tls;
  try {
    tls = std::make_unique<TlsStream>(std::move(plain));
  } catch (const std::bad_alloc&) {
    error = StreamError::Socket(kWsaNoBuffers);
    return nullptr;
  }
  error = tls->Set(options);
  if (!error) error = tls->Handshake(deadline);
  if (error) return nullptr;
  return tls;
}

}  // namespace kestrune::platform
