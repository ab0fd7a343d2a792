// The SMTP sender. Each step validates what it will send, then runs its
// exchanges over a non-blocking TCP socket whose every wait is bounded by the
// session's time-out, and on failure leaves a ready-made error text.
#include "events/smtp.h"

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <string_view>
#include <utility>

#include "platform/text.h"
#include "resources/strings.h"
#include "settings/app_settings.h"

namespace kestrune::evt {

namespace {

using Clock = std::chrono::steady_clock;

// Buffer sizes of the exchanges. On this platform a command needs no
// terminating null: a command, the mail and a reply may use the whole buffer.
constexpr std::size_t kCommandBuffer = 512;  // greeting, HELO, MAIL FROM, RCPT TO
constexpr std::size_t kDataBuffer = 80000;   // DATA reply, mail text, final reply
constexpr std::size_t kQuitBuffer = 1000;

// Windows Sockets codes with a meaning of their own here.
constexpr int kWsaNotSocket = 10038;
constexpr int kWsaConnReset = 10054;
constexpr int kWsaTimedOut = 10060;
constexpr int kWsaHostNotFound = 11001;

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

// Every line end of the body becomes CR LF (CR LF, a bare LF and a lone CR
// alike), and a line that starts with "." gets a second one, so that no body
// line can end the mail early.
std::string BodyForWire(std::string_view body) {
  std::string out;
  out.reserve(body.size() + body.size() / 16 + 2);
  bool lineStart = true;
  for (std::size_t i = 0; i < body.size(); ++i) {
    const char c = body[i];
    if (c == '\r' || c == '\n') {
      out += "\r\n";
      if (c == '\r' && i + 1 < body.size() && body[i + 1] == '\n') ++i;
      lineStart = true;
      continue;
    }
    if (lineStart && c == '.') out.push_back('.');
    out.push_back(c);
    lineStart = false;
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

// Milliseconds left until the deadline, as poll takes them.
int RemainingMs(Clock::time_point deadline) {
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  if (left <= 0) return 0;
  return left > INT_MAX ? INT_MAX : static_cast<int>(left);
}

// Waits until fd is ready for `events`. 0 when ready, kWsaTimedOut when the
// deadline passed, else the failing poll's code.
int WaitFor(int fd, short events, Clock::time_point deadline) {
  for (;;) {
    pollfd p{fd, events, 0};
    const int ms = RemainingMs(deadline);
    const int n = ::poll(&p, 1, ms);
    if (n > 0) return 0;
    if (n == 0) {
      if (ms == 0 || Clock::now() >= deadline) return kWsaTimedOut;
      continue;
    }
    if (errno != EINTR) return WinsockCodeFromErrno(errno);
  }
}

}  // namespace

int WinsockCodeFromErrno(int errnoValue) {
  switch (errnoValue) {
    case EINTR:
      return 10004;
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
      return 10055;
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
  explicit Impl(SmtpOptions o) : options(o) {
    // A negative time-out means "give up at once"; a huge one must not
    // overflow the deadline arithmetic.
    constexpr std::chrono::milliseconds kLongest = std::chrono::hours(24);
    options.timeout = std::clamp(options.timeout, std::chrono::milliseconds(0), kLongest);
  }
  ~Impl() { Close(); }

  void Close() {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }

  Clock::time_point Deadline() const { return Clock::now() + options.timeout; }

  // Sends all bytes; 0 or the Windows Sockets code of the failure.
  int SendAll(std::string_view bytes) {
    if (fd < 0) return kWsaNotSocket;
    const auto deadline = Deadline();
    std::size_t sent = 0;
    while (sent < bytes.size()) {
      const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
      if (n > 0) {
        sent += static_cast<std::size_t>(n);
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return WinsockCodeFromErrno(errno);
      if (const int code = WaitFor(fd, POLLOUT, deadline); code != 0) return code;
    }
    return 0;
  }

  // One reply, at most `limit` bytes. Reads until a whole line (ended by LF)
  // has arrived, the buffer is full or the peer has closed, so that a reply
  // split across segments is read whole and none of it is left for the next
  // step. Of a first line too long for the buffer the rest is read and
  // dropped. A peer that closes before sending anything is a connection
  // reset. 0 or the Windows Sockets code of the failure.
  int Receive(std::size_t limit, std::string& reply) {
    reply.clear();
    if (fd < 0) return kWsaNotSocket;
    const auto deadline = Deadline();
    char chunk[4096];
    while (reply.size() < limit) {
      if (const int code = WaitFor(fd, POLLIN, deadline); code != 0) return code;
      const std::size_t want = std::min(sizeof chunk, limit - reply.size());
      const ssize_t n = ::recv(fd, chunk, want, 0);
      if (n < 0) {
        if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
        return WinsockCodeFromErrno(errno);
      }
      if (n == 0) return reply.empty() ? kWsaConnReset : 0;
      const std::string_view got(chunk, static_cast<std::size_t>(n));
      reply.append(got);
      if (got.find('\n') != std::string_view::npos) return 0;
    }
    DropRestOfLine(deadline);
    return 0;
  }

  // The reply already holds its code; failing to read the rest of its line
  // is left for the next exchange to notice.
  void DropRestOfLine(Clock::time_point deadline) {
    char chunk[512];
    for (;;) {
      if (WaitFor(fd, POLLIN, deadline) != 0) return;
      const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
      if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) continue;
      if (n <= 0) return;
      if (std::string_view(chunk, static_cast<std::size_t>(n)).find('\n') != std::string_view::npos)
        return;
    }
  }

  // Tells the transcript each line of `text` (line ends dropped).
  void Note(bool fromServer, std::string_view text) {
    if (!options.transcript) return;
    while (!text.empty()) {
      const auto end = text.find('\n');
      std::string_view line = text.substr(0, end);
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      options.transcript(fromServer, std::string(line));
      if (end == std::string_view::npos) break;
      text.remove_prefix(end + 1);
    }
  }

  bool Send(std::string_view bytes, unsigned stepId, std::wstring& error) {
    if (const int code = SendAll(bytes); code != 0) {
      error = SocketFailure(stepId, code);
      return false;
    }
    return true;
  }

  // Receives one reply and requires its code; a wrong code leaves the
  // reply's first line as the error text.
  bool Expect(std::size_t limit, int expected, unsigned stepId, std::wstring& error) {
    std::string bytes;
    if (const int code = Receive(limit, bytes); code != 0) {
      error = SocketFailure(stepId, code);
      return false;
    }
    Note(true, bytes);
    const std::wstring reply = platform::FromUtf8(bytes);
    if (!ReplyCodeIs(reply, expected)) {
      error = FirstLine(reply);
      return false;
    }
    return true;
  }

  bool Exchange(const std::string& command, unsigned sendId, std::size_t limit, int expected,
                unsigned receiveId, std::wstring& error) {
    Note(false, command);
    return Send(command, sendId, error) && Expect(limit, expected, receiveId, error);
  }

  // Tries each address of the host in turn within one time-out; 0 and a
  // connected socket, or the step and code of the last failure.
  int Connect(const std::string& host, std::uint16_t port, unsigned& stepId) {
    stepId = res::kStrSmtpConnectError;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0 ||
        found == nullptr) {
      return kWsaHostNotFound;
    }
    const auto deadline = Deadline();
    int code = kWsaHostNotFound;
    for (addrinfo* ai = found; ai != nullptr; ai = ai->ai_next) {
      const int s =
          ::socket(ai->ai_family, ai->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, ai->ai_protocol);
      if (s < 0) {
        stepId = res::kStrSmtpCreateError;
        code = WinsockCodeFromErrno(errno);
        continue;
      }
      stepId = res::kStrSmtpConnectError;
      code = 0;
      if (::connect(s, ai->ai_addr, ai->ai_addrlen) != 0) {
        if (errno == EINPROGRESS || errno == EINTR) {
          code = WaitFor(s, POLLOUT, deadline);
          if (code == 0) {
            int soError = 0;
            socklen_t length = sizeof soError;
            if (::getsockopt(s, SOL_SOCKET, SO_ERROR, &soError, &length) != 0) soError = errno;
            code = soError == 0 ? 0 : WinsockCodeFromErrno(soError);
          }
        } else {
          code = WinsockCodeFromErrno(errno);
        }
      }
      if (code == 0) {
        fd = s;
        break;
      }
      ::close(s);
      if (code == kWsaTimedOut) break;  // the time-out covers all addresses
    }
    ::freeaddrinfo(found);
    return code;
  }

  SmtpOptions options;
  int fd = -1;
};

SmtpSession::SmtpSession(SmtpOptions options) : impl_(std::make_unique<Impl>(options)) {}

SmtpSession::~SmtpSession() = default;

bool SmtpSession::SmtpConnect(const std::wstring& host, std::uint16_t port, std::wstring& error) {
  impl_->Close();
  const std::wstring name = StripLineBreaks(host);
  const std::string helo = platform::ToUtf8(L"helo " + name + L"\r\n");
  if (helo.size() > kCommandBuffer) {
    error = CommandTooLong(res::kStrSmtpHeloError, kCommandBuffer);
    return false;
  }
  unsigned stepId = res::kStrSmtpConnectError;
  if (const int code = impl_->Connect(platform::ToUtf8(name), port, stepId); code != 0) {
    error = SocketFailure(stepId, code);
    return false;
  }
  return impl_->Expect(kCommandBuffer, 220, res::kStrSmtpConnectReceiveError, error) &&
         impl_->Exchange(helo, res::kStrSmtpHeloError, kCommandBuffer, 250,
                         res::kStrSmtpHeloReceiveError, error);
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
  const std::wstring headerStart =
      L"Date: " + CurrentMailDate() + L"\r\nFrom: " + StripLineBreaks(sender) + L"\r\n";
  std::vector<std::pair<std::string, unsigned>> parts;
  parts.emplace_back(platform::ToUtf8(headerStart), res::kStrSmtpHeaderError);
  for (const auto& piece : RecipientPieces(recipients))
    parts.emplace_back(platform::ToUtf8(L"TO: " + StripLineBreaks(piece) + L"\r\n"),
                       res::kStrSmtpToLineError);
  // The empty line ends the header.
  parts.emplace_back(platform::ToUtf8(L"Subject: " + StripLineBreaks(subject) + L"\r\n\r\n"),
                     res::kStrSmtpSubjectError);
  std::size_t headerSize = 0;
  for (const auto& part : parts) headerSize += part.first.size();
  constexpr std::string_view kTerminator = "\r\n.\r\n";

  // The body goes out in pieces no larger than the DATA buffer, so a report
  // of a large machine can be mailed without any piece exceeding it.
  const std::string bodyBytes = BodyForWire(platform::ToUtf8(body));
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
      impl_->Note(false, bytes);
    } else if (i == 0 || parts[i - 1].second != res::kStrSmtpBodyError) {
      impl_->Note(false, "(message body, " + std::to_string(bodyBytes.size()) + " bytes)");
    }
    if (!impl_->Send(bytes, stepId, error)) return false;
  }
  return impl_->Expect(kDataBuffer, 250, res::kStrSmtpTerminatorReceiveError, error);
}

bool SmtpSession::SmtpQuit(std::wstring& error) {
  return impl_->Exchange("quit\r\n", res::kStrSmtpQuitError, kQuitBuffer, 221,
                         res::kStrSmtpQuitReceiveError, error);
}

bool SendEventMailOnPort(const settings::AppSettings& settings, const std::wstring& text,
                         std::wstring& error, SmtpOptions options, std::uint16_t port) {
  const settings::AppSettings::Values values = settings.Get();
  return SendEventMailWith(values.smtpServer, port, values.defaultEmail, values.eventList,
                           values.eventSubject, text, error, std::move(options));
}

bool SendEventMailWith(const std::wstring& server, std::uint16_t port, const std::wstring& sender,
                       const std::wstring& recipients, const std::wstring& subject,
                       const std::wstring& text, std::wstring& error, SmtpOptions options) {
  SmtpSession session(std::move(options));
  return session.SmtpConnect(server, port, error) &&
         session.SmtpAddresses(sender, recipients, error) &&
         session.SmtpData(sender, recipients, subject, text, error) && session.SmtpQuit(error);
}

bool SendEventMail(const settings::AppSettings& settings, const std::wstring& text,
                   std::wstring& error, SmtpOptions options) {
  return SendEventMailOnPort(settings, text, error, options, kSmtpPort);
}

}  // namespace kestrune::evt
