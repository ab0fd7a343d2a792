// The SMTP sender. Each step validates what it will send, then runs its
// exchanges over a non-blocking TCP socket whose every wait is bounded by the
// session's time-out, and on failure leaves a ready-made error text.
#include "events/smtp.h"

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/types.h>
#include <unistd.h>

#include <sys/eventfd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <mutex>
#include <string_view>
#include <system_error>
#include <thread>
#include <utility>

#include "events/smtp_reply.h"
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
constexpr int kWsaInterrupted = 10004;  // a stop request ended the wait
constexpr int kWsaNotSocket = 10038;
constexpr int kWsaConnReset = 10054;
constexpr int kWsaTimedOut = 10060;
constexpr int kWsaHostNotFound = 11001;
constexpr int kWsaTryAgain = 11002;

// Host lookups left running on their own threads after their session gave
// up on them; more are not started, so that a name server that never
// answers cannot pile up threads.
constexpr int kMaxLingeringLookups = 4;
std::atomic<int> g_lookupsRunning{0};

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

// Waits until fd is ready for `events`, or the stop descriptor (when not -1)
// is readable. 0 when ready, kWsaTimedOut when the deadline passed,
// kWsaInterrupted on a stop, else the failing poll's code.
int WaitFor(int fd, short events, Clock::time_point deadline, int stopFd) {
  for (;;) {
    pollfd p[2] = {{fd, events, 0}, {stopFd, POLLIN, 0}};
    const int ms = RemainingMs(deadline);
    const int n = ::poll(p, stopFd >= 0 ? 2 : 1, ms);
    if (n > 0) return p[1].revents != 0 && stopFd >= 0 ? kWsaInterrupted : 0;
    if (n == 0) {
      if (ms == 0 || Clock::now() >= deadline) return kWsaTimedOut;
      continue;
    }
    if (errno != EINTR) return WinsockCodeFromErrno(errno);
  }
}

// The result of a host lookup, shared with the thread that runs it, which
// may outlive the session that asked.
struct LookupState {
  LookupState() : doneFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
  ~LookupState() {
    if (doneFd >= 0) ::close(doneFd);
  }
  LookupState(const LookupState&) = delete;
  LookupState& operator=(const LookupState&) = delete;

  std::mutex mutex;
  bool done = false;
  int code = 0;
  std::vector<SmtpAddress> addresses;
  const int doneFd;
};

// Runs the lookup on a thread of its own and waits for it within the
// deadline and the stop request. 0 with the addresses, or a Windows Sockets
// code: kWsaHostNotFound when the lookup failed, kWsaTimedOut when it did
// not answer in time, kWsaInterrupted on a stop, kWsaTryAgain when too many
// unanswered lookups are still running.
int LookUpHost(const SmtpHostLookup& lookup, const std::string& host, std::uint16_t port,
               Clock::time_point deadline, int stopFd, std::vector<SmtpAddress>& addresses) {
  auto state = std::make_shared<LookupState>();
  if (state->doneFd < 0) return WinsockCodeFromErrno(errno);
  if (g_lookupsRunning.fetch_add(1) >= kMaxLingeringLookups) {
    g_lookupsRunning.fetch_sub(1);
    return kWsaTryAgain;
  }
  try {
    std::thread([state, lookup, host, port] {
      std::vector<SmtpAddress> found;
      int code = EAI_FAIL;
      try {
        code = lookup ? lookup(host, port, found) : SystemHostLookup(host, port, found);
      } catch (...) {
        code = EAI_FAIL;
      }
      {
        std::lock_guard lock(state->mutex);
        state->code = code;
        state->addresses = std::move(found);
        state->done = true;
      }
      const std::uint64_t one = 1;
      [[maybe_unused]] const auto n = ::write(state->doneFd, &one, sizeof one);
      g_lookupsRunning.fetch_sub(1);
    }).detach();
  } catch (const std::system_error&) {
    g_lookupsRunning.fetch_sub(1);
    return 10055;  // no resources for another thread
  }
  const int waited = WaitFor(state->doneFd, POLLIN, deadline, stopFd);
  std::lock_guard lock(state->mutex);
  if (!state->done) return waited != 0 ? waited : kWsaTimedOut;
  if (state->code != 0 || state->addresses.empty()) return kWsaHostNotFound;
  addresses = std::move(state->addresses);
  return 0;
}

}  // namespace

int SystemHostLookup(const std::string& host, std::uint16_t port,
                     std::vector<SmtpAddress>& addresses) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const int code = ::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
  if (code != 0) return code;
  for (const addrinfo* ai = found; ai != nullptr; ai = ai->ai_next) {
    if (ai->ai_addrlen > sizeof(sockaddr_storage)) continue;
    SmtpAddress address;
    std::memcpy(&address.address, ai->ai_addr, ai->ai_addrlen);
    address.length = ai->ai_addrlen;
    addresses.push_back(address);
  }
  ::freeaddrinfo(found);
  return 0;
}

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
    pending.clear();
  }

  Clock::time_point Deadline() const { return Clock::now() + options.timeout; }
  int StopFd() const { return options.stop ? options.stop->Fd() : -1; }

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
      if (const int code = WaitFor(fd, POLLOUT, deadline, StopFd()); code != 0) return code;
    }
    return 0;
  }

  // One reply, at most `limit` bytes kept: every line of a multi-line reply,
  // however the server splits it into segments, so that none of it is left
  // for the next step; of a longer reply the rest is read and dropped. Bytes
  // that came after the reply wait for the next one. A peer that closes
  // before sending anything is a connection reset; one that closes within a
  // reply leaves what it sent as the reply. 0 or the Windows Sockets code of
  // the failure.
  int Receive(std::size_t limit, std::string& reply) {
    reply.clear();
    if (fd < 0) return kWsaNotSocket;
    SmtpReplyReader reader(limit);
    pending.erase(0, reader.Feed(pending));
    const auto deadline = Deadline();
    char chunk[4096];
    while (!reader.Complete()) {
      if (const int code = WaitFor(fd, POLLIN, deadline, StopFd()); code != 0) {
        // A reply longer than its buffer has given all that is used of it.
        if (reader.Cut()) break;
        return code;
      }
      const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
      if (n < 0) {
        if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
        return WinsockCodeFromErrno(errno);
      }
      if (n == 0) {
        if (reader.Taken() == 0) return kWsaConnReset;
        break;
      }
      const std::string_view got(chunk, static_cast<std::size_t>(n));
      pending.append(got.substr(reader.Feed(got)));
    }
    reply = reader.Reply();
    return 0;
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
    const std::wstring reply = platform::FromUtf8(bytes);
    if (!ReplyCodeIs(reply, expected)) {
      error = FirstLine(reply);
      return false;
    }
    return true;
  }

  bool Exchange(const std::string& command, unsigned sendId, std::size_t limit, int expected,
                unsigned receiveId, std::wstring& error) {
    return Send(command, sendId, error) && Expect(limit, expected, receiveId, error);
  }

  // Looks the host up and tries each of its addresses in turn, the lookup
  // and the connection each within one time-out; 0 and a connected socket,
  // or the step and code of the last failure.
  int Connect(const std::string& host, std::uint16_t port, unsigned& stepId) {
    stepId = res::kStrSmtpConnectError;
    if (options.stop && options.stop->Raised()) return kWsaInterrupted;
    std::vector<SmtpAddress> addresses;
    if (const int code = LookUpHost(options.lookup, host, port, Deadline(), StopFd(), addresses);
        code != 0) {
      return code;
    }
    const auto deadline = Deadline();
    int code = kWsaHostNotFound;
    for (const SmtpAddress& address : addresses) {
      const int family = address.address.ss_family;
      const int s = ::socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
      if (s < 0) {
        stepId = res::kStrSmtpCreateError;
        code = WinsockCodeFromErrno(errno);
        continue;
      }
      stepId = res::kStrSmtpConnectError;
      code = 0;
      if (::connect(s, reinterpret_cast<const sockaddr*>(&address.address), address.length) != 0) {
        if (errno == EINPROGRESS || errno == EINTR) {
          code = WaitFor(s, POLLOUT, deadline, StopFd());
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
      // The time-out covers all addresses; a stop ends the attempt.
      if (code == kWsaTimedOut || code == kWsaInterrupted) break;
    }
    return code;
  }

  SmtpOptions options;
  int fd = -1;
  std::string pending;  // received after the last reply
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
  for (const auto& [bytes, stepId] : parts) {
    if (!impl_->Send(bytes, stepId, error)) return false;
  }
  return impl_->Expect(kDataBuffer, 250, res::kStrSmtpTerminatorReceiveError, error);
}

bool SmtpSession::SmtpQuit(std::wstring& error) {
  return impl_->Exchange("quit\r\n", res::kStrSmtpQuitError, kQuitBuffer, 221,
                         res::kStrSmtpQuitReceiveError, error);
}

bool SendMailWith(const std::wstring& server, std::uint16_t port, const std::wstring& sender,
                  const std::wstring& recipients, const std::wstring& subject,
                  const std::wstring& text, std::wstring& error, SmtpOptions options) {
  SmtpSession session(std::move(options));
  return session.SmtpConnect(server, port, error) &&
         session.SmtpAddresses(sender, recipients, error) &&
         session.SmtpData(sender, recipients, subject, text, error) && session.SmtpQuit(error);
}

bool SendEventMailOnPort(const settings::AppSettings& settings, const std::wstring& text,
                         std::wstring& error, SmtpOptions options, std::uint16_t port) {
  const settings::AppSettings::Values values = settings.Get();
  return SendMailWith(values.smtpServer, port, values.defaultEmail, values.eventList,
                      values.eventSubject, text, error, std::move(options));
}

bool SendEventMail(const settings::AppSettings& settings, const std::wstring& text,
                   std::wstring& error, SmtpOptions options) {
  return SendEventMailOnPort(settings, text, error, options, kSmtpPort);
}

}  // namespace kestrune::evt
