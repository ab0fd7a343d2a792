// The SMTP sender: the mail dialogue over a stream (plain, STARTTLS or TLS,
// with or without authentication), in steps that each return false with a
// ready-made error text for the caller to log or show. No step waits for good:
// each wait on the server ends at the options' time-out, or at once when the
// options' stop signal is raised.
#pragma once

#include <chrono>
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/stop_signal.h"
#include "platform/stream.h"
#include "settings/app_settings.h"

namespace kestrune::evt {

inline constexpr std::uint16_t kSmtpPort = 25;

enum class SmtpSecurity {
  None,      // plain, as the mail always went
  StartTls,  // plain until STARTTLS, which the server must offer and accept
  Tls,       // TLS from the first byte (the submission port 465)
};

// "None", "STARTTLS" or "TLS" in any case; nothing for any other text.
std::optional<SmtpSecurity> ParseSmtpSecurity(const std::wstring& text);

// How a mail reaches its server besides the server's name.
struct SmtpAccount {
  std::uint16_t port = kSmtpPort;
  SmtpSecurity security = SmtpSecurity::None;
  std::wstring user;     // empty: no authentication
  std::string password;  // UTF-8; never told to a transcript, log or box
  std::string caFile;    // PEM authorities to trust; empty: the system's store
};

// The settings' port, security, user and CA file, with the password read
// from `passwordPath` when a user is set (settings::SmtpPasswordPath()).
// False with the error text that fails the mail when any of them cannot be
// used: a port outside 1 to 65535, an unknown security, a user without
// encryption, a password file that is missing or that others may read.
bool SmtpAccountFromSettings(const settings::AppSettings::Values& values,
                             const std::string& passwordPath, SmtpAccount& account,
                             std::wstring& error);

// What a transcript is told: the lines sent and received, and the session's
// notes (the TLS that protects it).
enum class SmtpLine { Sent, Received, Note };

struct SmtpOptions {
  SmtpOptions() = default;
  // NOLINTNEXTLINE(google-explicit-constructor): options are often just a time-out.
  SmtpOptions(std::chrono::milliseconds limit) : timeout(limit) {}

  // A server that accepts the connection and then says nothing must not hold
  // the caller forever: the host lookup, connect, TLS handshake, send and
  // receive each give up after this.
  std::chrono::milliseconds timeout{60000};
  // When raised, every wait of the session ends at once and the step fails
  // (the event mail's thread is being stopped). May be null.
  std::shared_ptr<platform::StopSignal> stop;
  // How the server is reached; null: platform::SystemNetwork().
  std::shared_ptr<platform::Network> network;
  // The name servers the host lookup asks ("127.0.0.1:5353"); empty: the
  // system's. For tests.
  std::string nameServers;
  // The name EHLO gives for this machine; empty: its host name.
  std::string clientName;
  // When set, told each line of the dialogue as it goes. The message body is
  // told only by its size, never its text; a line that carries credentials
  // only by what it is, never its text.
  std::function<void(SmtpLine kind, const std::string& line)> transcript;
};

// One mail dialogue on one connection. Destroying the session closes it.
class SmtpSession {
 public:
  explicit SmtpSession(SmtpOptions options = {});
  ~SmtpSession();
  SmtpSession(const SmtpSession&) = delete;
  SmtpSession& operator=(const SmtpSession&) = delete;

  // Plain, without authentication: connects, requires the 220 greeting,
  // sends "helo <host>" and requires 250.
  bool SmtpConnect(const std::wstring& host, std::uint16_t port, std::wstring& error);
  // With the account: plain as above when its security is None and it has no
  // user. Otherwise (TLS first when its security is TLS) the greeting,
  // "EHLO", for STARTTLS the server's offer, "STARTTLS" and its 220, TLS and
  // "EHLO" again; then, with a user, AUTH PLAIN (or LOGIN when the server
  // offers only that), which requires TLS. TLS verifies the certificate
  // against the server's name; nothing is sent in the clear that was meant
  // to go encrypted.
  bool SmtpConnect(const std::wstring& host, const SmtpAccount& account, std::wstring& error);
  // "mail From:<sender>" then one "rcpt To:<piece>" per used recipient piece.
  bool SmtpAddresses(const std::wstring& sender, const std::wstring& recipients,
                     std::wstring& error);
  // "data", the header lines, the body and the terminator.
  bool SmtpData(const std::wstring& sender, const std::wstring& recipients,
                const std::wstring& subject, const std::wstring& body, std::wstring& error);
  bool SmtpQuit(std::wstring& error);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// The pieces of a recipient text that are used: those ended by ";" or ",".
std::vector<std::wstring> RecipientPieces(const std::wstring& recipients);

// Mails an event text with the settings' server, account (the password from
// settings::SmtpPasswordPath()), sender, "Event List" and "Event Subject";
// true only when every step succeeds.
bool SendEventMail(const settings::AppSettings& settings, const std::wstring& text,
                   std::wstring& error, SmtpOptions options = {});

// The same on another port, for a test server that cannot listen on 25.
bool SendEventMailOnPort(const settings::AppSettings& settings, const std::wstring& text,
                         std::wstring& error, SmtpOptions options, std::uint16_t port);

// One mail with the values given (those of the settings when the event came):
// the steps on one connection, stopping at the first failure.
bool SendMailWith(const std::wstring& server, const SmtpAccount& account,
                  const std::wstring& sender, const std::wstring& recipients,
                  const std::wstring& subject, const std::wstring& text, std::wstring& error,
                  SmtpOptions options);

// The mail's "Date: " value for a broken-down local time and its offset from
// UTC in seconds, e.g. "Mon, 07 Dec 2026 23:55:04 +0100", with English day and
// month names whatever the locale.
std::wstring MailDate(const std::tm& local, long utcOffsetSeconds);

// The Windows Sockets code the error texts are keyed by, for an errno value.
using platform::WinsockCodeFromErrno;

}  // namespace kestrune::evt
