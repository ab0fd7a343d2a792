// The SMTP sender: plain SMTP on a blocking TCP connection, four steps, each
// returning false with a ready-made error text for the caller to log or show.
#pragma once

#include <sys/socket.h>

#include <chrono>
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/stop_signal.h"

namespace kestrune::settings {
class AppSettings;
}

namespace kestrune::evt {

inline constexpr std::uint16_t kSmtpPort = 25;

// One address of the mail server, as the host lookup found it.
struct SmtpAddress {
  sockaddr_storage address{};
  socklen_t length = 0;
};

// Finds the addresses of `host` for TCP on `port`: 0, or a getaddrinfo
// error code (EAI_*). It may block as long as it likes: the session waits
// for it only within its time-out.
using SmtpHostLookup =
    std::function<int(const std::string& host, std::uint16_t port, std::vector<SmtpAddress>&)>;

// The system's resolver (getaddrinfo).
int SystemHostLookup(const std::string& host, std::uint16_t port,
                     std::vector<SmtpAddress>& addresses);

struct SmtpOptions {
  SmtpOptions() = default;
  // NOLINTNEXTLINE(google-explicit-constructor): options are often just a time-out.
  SmtpOptions(std::chrono::milliseconds limit) : timeout(limit) {}

  // A server that accepts the connection and then says nothing must not hold
  // the caller forever: the host lookup, connect, send and receive each give
  // up after this.
  std::chrono::milliseconds timeout{60000};
  // When raised, every wait of the session ends at once and the step fails
  // (the event mail's thread is being stopped). May be null.
  std::shared_ptr<platform::StopSignal> stop;
  // The host lookup; empty: SystemHostLookup. A lookup that does not answer
  // within the time-out (or before a stop) is left to finish on its own
  // thread; a few such lookups at most are left waiting at a time, and a
  // session that would need one more fails at once.
  SmtpHostLookup lookup;
};

// One mail dialogue on one connection. Destroying the session closes it.
class SmtpSession {
 public:
  explicit SmtpSession(SmtpOptions options = {});
  ~SmtpSession();
  SmtpSession(const SmtpSession&) = delete;
  SmtpSession& operator=(const SmtpSession&) = delete;

  // Connects, requires the 220 greeting, sends "helo <host>" and requires 250.
  bool SmtpConnect(const std::wstring& host, std::uint16_t port, std::wstring& error);
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

// Mails an event text with the settings' server (port 25), sender, "Event
// List" and "Event Subject"; true only when all four steps succeed.
bool SendEventMail(const settings::AppSettings& settings, const std::wstring& text,
                   std::wstring& error, SmtpOptions options = {});

// The same on another port, for a test server that cannot listen on 25.
bool SendEventMailOnPort(const settings::AppSettings& settings, const std::wstring& text,
                         std::wstring& error, SmtpOptions options, std::uint16_t port);

// One event mail with the values given (those of the settings when the event
// came): the four steps on one connection, stopping at the first failure.
bool SendMailWith(const std::wstring& server, std::uint16_t port, const std::wstring& sender,
                  const std::wstring& recipients, const std::wstring& subject,
                  const std::wstring& text, std::wstring& error, SmtpOptions options);

// The mail's "Date: " value for a broken-down local time and its offset from
// UTC in seconds, e.g. "Mon, 07 Dec 2026 23:55:04 +0100", with English day and
// month names whatever the locale.
std::wstring MailDate(const std::tm& local, long utcOffsetSeconds);

// The Windows Sockets code the error texts are keyed by, for an errno value;
// an errno without a counterpart is passed on as it is.
int WinsockCodeFromErrno(int errnoValue);

}  // namespace kestrune::evt
