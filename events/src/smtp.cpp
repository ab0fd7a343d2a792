// The SMTP sender. Each step validates what it will send, then runs its
// exchanges over the session's stream, whose every wait is bounded by the
// session's time-out and its stop signal, and on failure leaves a ready-made
// error text.
#include "events/smtp.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <utility>

#include "events/mail_message.h"
#include "events/smtp_reply.h"
#include "platform/text.h"
#include "resources/strings.h"
#include "settings/smtp_password.h"

namespace kestrune::evt {

namespace {

using platform::StreamError;

// Buffer sizes of the exchanges. On this platform a command needs no
// terminating null: a command, the mail and a reply may use the whole buffer.
constexpr std::size_t kCommandBuffer = 512;  // greeting, HELO, MAIL FROM, RCPT TO
constexpr std::size_t kDataBuffer = 80000;   // DATA reply, mail text, final reply
constexpr std::size_t kQuitBuffer = 1000;
// An EHLO reply lists the server's extensions, often more than 512 bytes of
// them; AUTH PLAIN carries its credentials in the command.
constexpr std::size_t kExtendedBuffer = 4096;

struct CodeText {
  int code;
  unsigned id;
};
constexpr std::array<CodeText, 15> kSocketErrorTexts{{
    {10014, res::kStrWsaBadAddressLength},
    {10022, res::kStrWsaInvalidHost},
    {10024, res::kStrWsaTooManySockets},
    {10038, res::kStrWsaNotSocket},
    {10039, res::kStrWsaDestinationRequired},
    {10047, res::kStrWsaFamilyNotSupported},
    {10048, res::kStrWsaAddressInUse},
    {10049, res::kStrWsaAddressNotAvailable},
    {10050, res::kStrWsaNetworkDown},
    {10051, res::kStrWsaNetworkUnreachable},
    {10055, res::kStrWsaNoBuffers},
    {10056, res::kStrWsaAlreadyConnected},
    {10057, res::kStrWsaNotConnected},
    {10060, res::kStrWsaTimedOut},
    {10061, res::kStrWsaConnectionRefused},
}};

const std::wstring& SocketErrorText(int code) {
  for (const auto& entry : kSocketErrorTexts) {
    if (entry.code == code) return res::LoadString(entry.id);
  }
  return res::LoadString(res::kStrWsaOther);
}

// Step text, socket error text, then the code in eight hex digits.
std::wstring SocketFailure(unsigned stepId, int code) {
  return res::LoadString(stepId) + SocketErrorText(code) +
         res::FormatString(res::kStrErrorCode, code);
}

// A failed stream: the socket's texts, or the step text and what TLS said.
std::wstring StreamFailure(unsigned stepId, const StreamError& e, const std::wstring& host) {
  const std::wstring detail = platform::FromUtf8(e.detail);
  switch (e.kind) {
    case StreamError::Kind::None:
    case StreamError::Kind::Create:
    case StreamError::Kind::Socket:
      break;
    case StreamError::Kind::TlsSetup:
      return res::LoadString(stepId) + res::FormatString(res::kStrTlsSetupFailed, detail);
    case StreamError::Kind::Certificate:
      return res::LoadString(stepId) +
             res::FormatString(res::kStrTlsCertificateFailed, host, detail);
    case StreamError::Kind::Handshake:
      return res::LoadString(stepId) + res::FormatString(res::kStrTlsHandshakeFailed, host, detail);
    case StreamError::Kind::Tls:
      return res::LoadString(stepId) + res::FormatString(res::kStrTlsFailed, detail);
  }
  return SocketFailure(stepId, e.code);
}

std::wstring CommandTooLong(unsigned stepId, std::size_t limit) {
  return res::LoadString(stepId) +
         res::FormatString(res::kStrSmtpCommandTooLong, static_cast<int>(limit));
}

// Line breaks inside a value would end the command or header line early and
// let the value smuggle in a command or header of its own.
std::wstring StripLineBreaks(std::wstring_view text) {
  std::wstring out;
  out.reserve(text.size());
  for (wchar_t c : text) {
    if (c != L'\r' && c != L'\n') out.push_back(c);
  }
  return out;
}

// The first line of a reply: up to the first CR or LF.
std::wstring FirstLine(const std::wstring& reply) {
  return reply.substr(0, reply.find_first_of(L"\r\n"));
}

bool ReplyCodeIs(const std::wstring& reply, int expected) {
  const std::wstring digits = std::to_wstring(expected);
  return reply.size() >= 3 && reply.compare(0, 3, digits) == 0;
}

std::wstring CurrentMailDate() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  if (localtime_r(&now, &local) != nullptr) return MailDate(local, local.tm_gmtoff);
  std::tm utc{};
  gmtime_r(&now, &utc);
  return MailDate(utc, 0);
}

std::string Upper(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return out;
}

// What an EHLO reply offers.
struct Extensions {
  bool startTls = false;
  bool auth = false;
  bool plain = false;
  bool login = false;
  std::string mechanisms;  // as the server named them
};

Extensions ParseEhlo(std::string_view reply) {
  Extensions offered;
  while (!reply.empty()) {
    const auto end = reply.find('\n');
    std::string_view line = reply.substr(0, end);
    reply.remove_prefix(end == std::string_view::npos ? reply.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    // "250-KEYWORD params" or "250 KEYWORD params"; the first line greets.
    if (line.size() <= 4) continue;
    const std::string words = Upper(line.substr(4));
    if (words == "STARTTLS") offered.startTls = true;
    // "AUTH PLAIN LOGIN", and the older "AUTH=LOGIN".
    if (words.rfind("AUTH", 0) == 0 && words.size() > 4 && (words[4] == ' ' || words[4] == '=')) {
      offered.auth = true;
      const std::string list = words.substr(5);
      offered.mechanisms += (offered.mechanisms.empty() ? "" : " ") + std::string(line.substr(9));
      std::size_t at = 0;
      while (at < list.size()) {
        const auto stop = list.find_first_of(" =", at);
        const std::string name = list.substr(at, stop - at);
        offered.plain = offered.plain || name == "PLAIN";
        offered.login = offered.login || name == "LOGIN";
        if (stop == std::string::npos) break;
        at = stop + 1;
      }
    }
  }
  return offered;
}

// Overwrites a secret before its memory is given back.
void Forget(std::string& secret) {
  std::fill(secret.begin(), secret.end(), '\0');
  secret.clear();
}

}  // namespace

std::optional<SmtpSecurity> ParseSmtpSecurity(const std::wstring& text) {
  if (platform::EqualsNoCase(text, settings::kSecurityNone)) return SmtpSecurity::None;
  if (platform::EqualsNoCase(text, settings::kSecurityStartTls)) return SmtpSecurity::StartTls;
  if (platform::EqualsNoCase(text, settings::kSecurityTls)) return SmtpSecurity::Tls;
  return std::nullopt;
}

bool SmtpAccountFromSettings(const settings::AppSettings::Values& values,
                             const std::string& passwordPath, SmtpAccount& account,
                             std::wstring& error) {
  account = SmtpAccount{};
  if (values.smtpPort < 1 || values.smtpPort > 65535) {
    error = res::FormatString(res::kStrSmtpBadPort, values.smtpPort);
    return false;
  }
  const std::optional<SmtpSecurity> security = ParseSmtpSecurity(values.smtpSecurity);
  if (!security) {
    error = res::FormatString(res::kStrSmtpBadSecurity, values.smtpSecurity);
    return false;
  }
  account.port = static_cast<std::uint16_t>(values.smtpPort);
  account.security = *security;
  account.user = values.smtpUser;
  account.caFile = platform::ToUtf8(values.smtpCaFile);
  // The mistake that matters is the missing encryption, not the password.
  if (!account.user.empty() && account.security == SmtpSecurity::None) {
    error = res::LoadString(res::kStrSmtpAuthNeedsTls);
    return false;
  }
  if (!account.user.empty() && !settings::ReadSmtpPassword(passwordPath, account.password, error))
    return false;
  return true;
}

std::wstring MailDate(const std::tm& local, long utcOffsetSeconds) {
  static constexpr std::array<const wchar_t*, 7> kDays{L"Sun", L"Mon", L"Tue", L"Wed",
                                                       L"Thu", L"Fri", L"Sat"};
  static constexpr std::array<const wchar_t*, 12> kMonths{L"Jan", L"Feb", L"Mar", L"Apr",
                                                          L"May", L"Jun", L"Jul", L"Aug",
                                                          L"Sep", L"Oct", L"Nov", L"Dec"};
  const int wday = std::clamp(local.tm_wday, 0, 6);
  const int mon = std::clamp(local.tm_mon, 0, 11);
  // Offsets beyond a day are no real zone; the header stays well formed.
  const long offsetMinutes = std::clamp(utcOffsetSeconds, -86399L, 86399L) / 60;
  const long absMinutes = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
  return fmt::format(L"{}, {:02d} {} {:04d} {:02d}:{:02d}:{:02d} {}{:02d}{:02d}",
                     kDays[static_cast<std::size_t>(wday)], local.tm_mday,
                     kMonths[static_cast<std::size_t>(mon)], local.tm_year + 1900L, local.tm_hour,
                     local.tm_min, local.tm_sec, offsetMinutes < 0 ? L'-' : L'+', absMinutes / 60,
                     absMinutes % 60);
}

std::vector<std::wstring> RecipientPieces(const std::wstring& recipients) {
  std::vector<std::wstring> pieces;
  std::wstring current;
  for (wchar_t c : recipients) {
    if (c == L';' || c == L',') {
      pieces.push_back(std::move(current));
      current.clear();
    } else {
      current.push_back(c);
    }
  }
  return pieces;  // whatever follows the last separator is not used
}

struct SmtpSession::Impl {
  explicit Impl(SmtpOptions o) : options(std::move(o)) {
    // A negative time-out means "give up at once"; a huge one must not
    // overflow the deadline arithmetic.
    constexpr std::chrono::milliseconds kLongest = std::chrono::hours(24);
    options.timeout = std::clamp(options.timeout, std::chrono::milliseconds(0), kLongest);
    if (!options.network) options.network = platform::SystemNetwork();
  }

  void Close() {
    stream.reset();
    pending.clear();
  }

  platform::SteadyTime Deadline() const {
    return std::chrono::steady_clock::now() + options.timeout;
  }

  // One reply, at most `limit` bytes kept: every line of a multi-line reply,
  // however the server splits it into segments, so that none of it is left
  // for the next step; of a longer reply the rest is read and dropped. Bytes
  // that came after the reply wait for the next one. A peer that closes
  // before sending anything is a connection reset; one that closes within a
  // reply leaves what it sent as the reply.
  StreamError Receive(std::size_t limit, std::string& reply) {
    reply.clear();
    if (!stream) return StreamError::Socket(platform::kWsaNotSocket);
    SmtpReplyReader reader(limit);
    pending.erase(0, reader.Feed(pending));
    const auto deadline = Deadline();
    std::array<char, 4096> chunk{};
    while (!reader.Complete()) {
      std::size_t n = 0;
      if (StreamError e = stream->Receive(chunk, n, deadline)) {
        // A reply longer than its buffer has given all that is used of it.
        if (reader.Cut()) break;
        return e;
      }
      if (n == 0) {
        if (reader.Taken() == 0) return StreamError::Socket(platform::kWsaConnReset);
        break;
      }
      const std::string_view got(chunk.data(), n);
      pending.append(got.substr(reader.Feed(got)));
    }
    reply = reader.Reply();
    return {};
  }

  // Tells the transcript each line of `text` (line ends dropped).
  void Note(SmtpLine kind, std::string_view text) {
    if (!options.transcript) return;
    while (!text.empty()) {
      const auto end = text.find('\n');
      std::string_view line = text.substr(0, end);
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      options.transcript(kind, std::string(line));
      if (end == std::string_view::npos) break;
      text.remove_prefix(end + 1);
    }
  }

  bool Send(std::string_view bytes, unsigned stepId, std::wstring& error) {
    if (!stream) {
      error = SocketFailure(stepId, platform::kWsaNotSocket);
      return false;
    }
    if (StreamError e = stream->Send(bytes, Deadline())) {
      error = StreamFailure(stepId, e, host);
      return false;
    }
    return true;
  }

  // Receives one reply and requires its code; a wrong code leaves the
  // reply's first line as the error text. `raw` takes the reply.
  bool Expect(std::size_t limit, int expected, unsigned stepId, std::wstring& error,
              std::string* raw = nullptr) {
    std::string bytes;
    if (StreamError e = Receive(limit, bytes)) {
      error = StreamFailure(stepId, e, host);
      return false;
    }
    Note(SmtpLine::Received, bytes);
    const std::wstring reply = platform::FromUtf8(bytes);
    if (raw != nullptr) *raw = bytes;
    if (!ReplyCodeIs(reply, expected)) {
      error = FirstLine(reply);
      return false;
    }
    return true;
  }

  // Sends a command and requires its reply; `shown` is what the transcript
  // is told in the command's place (one that carries credentials).
  bool Exchange(const std::string& command, unsigned sendId, std::size_t limit, int expected,
                unsigned receiveId, std::wstring& error, std::string* raw = nullptr,
                const char* shown = nullptr) {
    Note(SmtpLine::Sent, shown != nullptr ? std::string_view(shown) : std::string_view(command));
    return Send(command, sendId, error) && Expect(limit, expected, receiveId, error, raw);
  }

  bool StartTls(const std::string& caFile, std::wstring& error) {
    platform::TlsOptions tls;
    tls.serverName = platform::ToUtf8(host);
    tls.caFile = caFile;
    StreamError e;
    stream = options.network->StartTls(std::move(stream), tls, Deadline(), e);
    if (!stream) {
      error = StreamFailure(res::kStrSmtpTlsError, e, host);
      return false;
    }
    Note(SmtpLine::Note, "TLS started (" + stream->Protection() + "); the certificate of " +
                             tls.serverName + " is verified");
    return true;
  }

  bool Authenticate(const SmtpAccount& account, const Extensions& offered, std::wstring& error) {
    if (!offered.auth) {
      error = res::FormatString(res::kStrSmtpNoAuth, host);
      return false;
    }
    const std::string user = platform::ToUtf8(account.user);
    if (offered.plain) {
      std::string credentials(1, '\0');
      credentials += user;
      credentials += '\0';
      credentials += account.password;
      std::string command = "AUTH PLAIN " + Base64Encode(credentials) + "\r\n";
      Forget(credentials);
      if (command.size() > kExtendedBuffer) {
        Forget(command);
        error = CommandTooLong(res::kStrSmtpAuthError, kExtendedBuffer);
        return false;
      }
      const std::string shown = "AUTH PLAIN (the credentials of " + user + ", hidden)";
      const bool ok = Exchange(command, res::kStrSmtpAuthError, kCommandBuffer, 235,
                               res::kStrSmtpAuthReceiveError, error, nullptr, shown.c_str());
      Forget(command);
      return ok;
    }
    if (offered.login) {
      const std::string name = Base64Encode(user) + "\r\n";
      std::string secret = Base64Encode(account.password) + "\r\n";
      if (name.size() > kExtendedBuffer || secret.size() > kExtendedBuffer) {
        Forget(secret);
        error = CommandTooLong(res::kStrSmtpAuthError, kExtendedBuffer);
        return false;
      }
      const std::string shownName = "(the user name " + user + ", hidden)";
      const bool ok =
          Exchange("AUTH LOGIN\r\n", res::kStrSmtpAuthError, kCommandBuffer, 334,
                   res::kStrSmtpAuthReceiveError, error) &&
          Exchange(name, res::kStrSmtpAuthError, kCommandBuffer, 334, res::kStrSmtpAuthReceiveError,
                   error, nullptr, shownName.c_str()) &&
          Exchange(secret, res::kStrSmtpAuthError, kCommandBuffer, 235,
                   res::kStrSmtpAuthReceiveError, error, nullptr, "(the password, hidden)");
      Forget(secret);
      return ok;
    }
    error = res::FormatString(res::kStrSmtpNoAuthMechanism, host,
                              platform::FromUtf8(offered.mechanisms));
    return false;
  }

  SmtpOptions options;
  std::unique_ptr<platform::Stream> stream;
  std::string pending;  // received after the last reply
  std::wstring host;    // the server's name, as the certificate must carry it
};

SmtpSession::SmtpSession(SmtpOptions options) : impl_(std::make_unique<Impl>(std::move(options))) {}

SmtpSession::~SmtpSession() = default;

bool SmtpSession::SmtpConnect(const std::wstring& host, std::uint16_t port, std::wstring& error) {
  SmtpAccount plain;
  plain.port = port;
  return SmtpConnect(host, plain, error);
}

bool SmtpSession::SmtpConnect(const std::wstring& host, const SmtpAccount& account,
                              std::wstring& error) {
  Impl& s = *impl_;
  s.Close();
  s.host = StripLineBreaks(host);
  error.clear();
  // A password goes only where nobody on the way can read it.
  if (!account.user.empty() && account.security == SmtpSecurity::None) {
    error = res::LoadString(res::kStrSmtpAuthNeedsTls);
    return false;
  }
  const bool extended = account.security != SmtpSecurity::None || !account.user.empty();
  std::string hello;
  if (extended) {
    const std::string client =
        s.options.clientName.empty() ? platform::HostName() : s.options.clientName;
    hello = "EHLO " + platform::ToUtf8(StripLineBreaks(platform::FromUtf8(client))) + "\r\n";
  } else {
    hello = platform::ToUtf8(L"helo " + s.host + L"\r\n");
  }
  if (hello.size() > kCommandBuffer) {
    error = CommandTooLong(res::kStrSmtpHeloError, kCommandBuffer);
    return false;
  }

  platform::ConnectOptions connect;
  connect.timeout = s.options.timeout;
  connect.stop = s.options.stop;
  connect.nameServers = s.options.nameServers;
  StreamError e;
  s.stream = s.options.network->Connect(platform::ToUtf8(s.host), account.port, connect, e);
  if (!s.stream) {
    error = e.kind == StreamError::Kind::Create
                ? SocketFailure(res::kStrSmtpCreateError, e.code)
                : StreamFailure(res::kStrSmtpConnectError, e, s.host);
    return false;
  }
  if (account.security == SmtpSecurity::Tls && !s.StartTls(account.caFile, error)) return false;
  if (!s.Expect(kCommandBuffer, 220, res::kStrSmtpConnectReceiveError, error)) return false;
  if (!extended)
    return s.Exchange(hello, res::kStrSmtpHeloError, kCommandBuffer, 250,
                      res::kStrSmtpHeloReceiveError, error);

  std::string reply;
  if (!s.Exchange(hello, res::kStrSmtpHeloError, kExtendedBuffer, 250,
                  res::kStrSmtpHeloReceiveError, error, &reply))
    return false;
  Extensions offered = ParseEhlo(reply);
  if (account.security == SmtpSecurity::StartTls) {
    if (!offered.startTls) {
      error = res::FormatString(res::kStrSmtpNoStartTls, s.host);
      return false;
    }
    s.Note(SmtpLine::Sent, "STARTTLS");
    if (!s.Send("STARTTLS\r\n", res::kStrSmtpStartTlsError, error)) return false;
    if (StreamError got = s.Receive(kCommandBuffer, reply)) {
      error = StreamFailure(res::kStrSmtpStartTlsReceiveError, got, s.host);
      return false;
    }
    s.Note(SmtpLine::Received, reply);
    if (!ReplyCodeIs(platform::FromUtf8(reply), 220)) {
      error = res::FormatString(res::kStrSmtpStartTlsRefused, FirstLine(platform::FromUtf8(reply)));
      return false;
    }
    // Whatever came before the handshake was not protected by it: none of
    // it may be taken for a reply afterwards.
    s.pending.clear();
    if (!s.StartTls(account.caFile, error)) return false;
    // What the server offered in the clear does not count any more.
    if (!s.Exchange(hello, res::kStrSmtpHeloError, kExtendedBuffer, 250,
                    res::kStrSmtpHeloReceiveError, error, &reply))
      return false;
    offered = ParseEhlo(reply);
  }
  if (account.user.empty()) return true;
  return s.Authenticate(account, offered, error);
}

bool SmtpSession::SmtpAddresses(const std::wstring& sender, const std::wstring& recipients,
                                std::wstring& error) {
  const std::string mail = platform::ToUtf8(L"mail From:<" + StripLineBreaks(sender) + L">\r\n");
  if (mail.size() > kCommandBuffer) {
    error = CommandTooLong(res::kStrSmtpMailError, kCommandBuffer);
    return false;
  }
  std::vector<std::string> rcpts;
  for (const auto& piece : RecipientPieces(recipients)) {
    rcpts.push_back(platform::ToUtf8(L"rcpt To:<" + StripLineBreaks(piece) + L">\r\n"));
    if (rcpts.back().size() > kCommandBuffer) {
      error = CommandTooLong(res::kStrSmtpRcptError, kCommandBuffer);
      return false;
    }
  }
  if (!impl_->Exchange(mail, res::kStrSmtpMailError, kCommandBuffer, 250,
                       res::kStrSmtpMailReceiveError, error))
    return false;
  for (const auto& rcpt : rcpts) {
    if (!impl_->Exchange(rcpt, res::kStrSmtpRcptError, kCommandBuffer, 250,
                         res::kStrSmtpRcptReceiveError, error))
      return false;
  }
  return true;
}

bool SmtpSession::SmtpData(const std::wstring& sender, const std::wstring& recipients,
                           const std::wstring& subject, const std::wstring& body,
                           std::wstring& error) {
  // The whole mail is put together before anything is sent.
  const std::wstring from = StripLineBreaks(sender);
  const std::wstring headerStart = L"Date: " + CurrentMailDate() + L"\r\nFrom: " + from + L"\r\n";
  std::vector<std::pair<std::string, unsigned>> parts;
  parts.emplace_back(platform::ToUtf8(headerStart), res::kStrSmtpHeaderError);
  for (const auto& piece : RecipientPieces(recipients))
    parts.emplace_back(platform::ToUtf8(L"TO: " + StripLineBreaks(piece) + L"\r\n"),
                       res::kStrSmtpToLineError);
  const MailBody encoded = EncodeMailBody(platform::ToUtf8(body));
  // The subject, then what strict servers want of every mail; the empty line
  // ends the header.
  constexpr std::string_view kSubject = "Subject: ";
  parts.emplace_back(
      std::string(kSubject) +
          HeaderValue(platform::ToUtf8(StripLineBreaks(subject)), kSubject.size()) +
          "\r\nMessage-ID: " + MakeMessageId(platform::ToUtf8(from), platform::HostName()) +
          "\r\nMIME-Version: 1.0\r\nContent-Type: text/plain; charset=UTF-8\r\n"
          "Content-Transfer-Encoding: " +
          encoded.encoding + "\r\n\r\n",
      res::kStrSmtpSubjectError);
  constexpr std::string_view kTerminator = "\r\n.\r\n";

  // The body goes out in pieces no larger than the DATA buffer, so a report
  // of a large machine can be mailed without any piece exceeding it.
  const std::string bodyBytes = DotStuffed(encoded.bytes);
  for (std::size_t at = 0; at < bodyBytes.size(); at += kDataBuffer)
    parts.emplace_back(bodyBytes.substr(at, kDataBuffer), res::kStrSmtpBodyError);
  parts.emplace_back(std::string(kTerminator), res::kStrSmtpTerminatorError);

  if (!impl_->Exchange("data\r\n", res::kStrSmtpDataError, kDataBuffer, 354,
                       res::kStrSmtpDataReceiveError, error))
    return false;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    const auto& [bytes, stepId] = parts[i];
    // The header lines as they are; the body by its size alone.
    if (stepId != res::kStrSmtpBodyError) {
      impl_->Note(SmtpLine::Sent, bytes);
    } else if (i == 0 || parts[i - 1].second != res::kStrSmtpBodyError) {
      impl_->Note(SmtpLine::Sent, "(message body, " + std::to_string(bodyBytes.size()) + " bytes)");
    }
    if (!impl_->Send(bytes, stepId, error)) return false;
  }
  return impl_->Expect(kDataBuffer, 250, res::kStrSmtpTerminatorReceiveError, error);
}

bool SmtpSession::SmtpQuit(std::wstring& error) {
  return impl_->Exchange("quit\r\n", res::kStrSmtpQuitError, kQuitBuffer, 221,
                         res::kStrSmtpQuitReceiveError, error);
}

bool SendMailWith(const std::wstring& server, const SmtpAccount& account,
                  const std::wstring& sender, const std::wstring& recipients,
                  const std::wstring& subject, const std::wstring& text, std::wstring& error,
                  SmtpOptions options) {
  SmtpSession session(std::move(options));
  return session.SmtpConnect(server, account, error) &&
         session.SmtpAddresses(sender, recipients, error) &&
         session.SmtpData(sender, recipients, subject, text, error) && session.SmtpQuit(error);
}

bool SendEventMailOnPort(const settings::AppSettings& settings, const std::wstring& text,
                         std::wstring& error, SmtpOptions options, std::uint16_t port) {
  const settings::AppSettings::Values values = settings.Get();
  SmtpAccount account;
  if (!SmtpAccountFromSettings(values, settings::SmtpPasswordPath(), account, error)) return false;
  account.port = port;
  const bool sent = SendMailWith(values.smtpServer, account, values.defaultEmail, values.eventList,
                                 values.eventSubject, text, error, std::move(options));
  Forget(account.password);
  return sent;
}

bool SendEventMail(const settings::AppSettings& settings, const std::wstring& text,
                   std::wstring& error, SmtpOptions options) {
  const settings::AppSettings::Values values = settings.Get();
  const std::uint16_t port = values.smtpPort >= 1 && values.smtpPort <= 65535
                                 ? static_cast<std::uint16_t>(values.smtpPort)
                                 : kSmtpPort;
  return SendEventMailOnPort(settings, text, error, std::move(options), port);
}

}  // namespace kestrune::evt
