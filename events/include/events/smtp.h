// The SMTP sender: plain SMTP on a blocking TCP connection, four steps, each
// returning false with a ready-made error text for the caller to log or show.
#pragma once

#include <chrono>
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kestrune::settings {
class AppSettings;
}

namespace kestrune::evt {

inline constexpr std::uint16_t kSmtpPort = 25;

struct SmtpOptions {
  // A server that accepts the connection and then says nothing must not hold
  // the caller forever: connect, send and receive each give up after this.
  std::chrono::milliseconds timeout{60000};
  // When set, told each line of the dialogue as it goes: `fromServer` for the
  // server's replies, else what this side sends. The message body is told
  // only by its size, never its text.
  std::function<void(bool fromServer, const std::string& line)> transcript;
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

// The same with the values given: server, sender, "Event List", "Event
// Subject" (a test mail with another server than the settings').
bool SendEventMailWith(const std::wstring& server, std::uint16_t port, const std::wstring& sender,
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
