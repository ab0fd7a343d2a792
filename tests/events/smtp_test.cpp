#include "events/smtp.h"

#include <gtest/gtest.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "events/event_rig.h"
#include "events/smtp_reply.h"
#include "platform/recording_ui.h"
#include "platform/sqlite_registry.h"
#include "settings/app_settings.h"
#include "support/loopback_port.h"
#include "support/silent_name_server.h"

namespace kestrune::evt {
namespace {

using namespace std::chrono_literals;

const SmtpOptions kShort{300ms};

// A loopback SMTP server that plays a script to one client and records every
// byte it receives.
class ScriptedServer {
 public:
  struct Action {
    enum Kind { kSend, kLine, kMail, kPause, kClose } kind;
    std::string text;
  };
  static Action Send(std::string text) { return {Action::kSend, std::move(text)}; }
  // Reads one command line, or the mail up to its terminator.
  static Action Line() { return {Action::kLine, {}}; }
  static Action Mail() { return {Action::kMail, {}}; }
  // A pause between two sends puts them into separate segments.
  static Action Pause() { return {Action::kPause, {}}; }
  static Action Close() { return {Action::kClose, {}}; }

  // Greeting, HELO, MAIL FROM, `rcpts` RCPT TO, DATA and the mail, QUIT.
  static std::vector<Action> Dialogue(int rcpts) {
    std::vector<Action> s{Send("220 lab.example ESMTP\r\n"), Line(), Send("250 lab.example\r\n"),
                          Line(), Send("250 2.1.0 Ok\r\n")};
    for (int i = 0; i < rcpts; ++i) {
      s.push_back(Line());
      s.push_back(Send("250 2.1.5 Ok\r\n"));
    }
    for (auto a : {Line(), Send("354 End data with <CR><LF>.<CR><LF>\r\n"), Mail(),
                   Send("250 2.0.0 Ok: queued\r\n"), Line(), Send("221 2.0.0 Bye\r\n")})
      s.push_back(std::move(a));
    return s;
  }

  explicit ScriptedServer(std::vector<Action> script) {
    listener_ = test::BindLoopback(1, port_);
    thread_ = std::thread([this, s = std::move(script)] { Run(s); });
  }
  ~ScriptedServer() {
    Join();
    ::close(listener_);
  }

  std::uint16_t Port() const { return port_; }

  // Everything received; waits until the client has closed (at most 5 s).
  const std::string& Received() {
    Join();
    return received_;
  }

 private:
  void Join() {
    if (thread_.joinable()) thread_.join();
  }

  bool Readable(int fd) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, 5000) > 0;
  }

  // Reads until `marker` appears after what earlier actions consumed; false
  // when the client closed or went quiet.
  bool ReadUntil(int fd, std::string_view marker) {
    for (;;) {
      const auto at = received_.find(marker, consumed_);
      if (at != std::string::npos) {
        consumed_ = at + marker.size();
        return true;
      }
      char chunk[4096];
      if (!Readable(fd)) return false;
      const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
      if (n <= 0) return false;
      received_.append(chunk, static_cast<std::size_t>(n));
    }
  }

  void Run(const std::vector<Action>& script) {
    if (!Readable(listener_)) return;
    const int fd = ::accept(listener_, nullptr, nullptr);
    if (fd < 0) return;
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    for (const Action& a : script) {
      switch (a.kind) {
        case Action::kSend:
          if (::send(fd, a.text.data(), a.text.size(), MSG_NOSIGNAL) < 0) break;
          continue;
        case Action::kLine:
          if (!ReadUntil(fd, "\n")) break;
          continue;
        case Action::kMail:
          if (!ReadUntil(fd, "\r\n.\r\n")) break;
          continue;
        case Action::kPause:
          std::this_thread::sleep_for(50ms);
          continue;
        case Action::kClose:
          ::close(fd);
          return;
      }
      break;
    }
    // Whatever else comes, until the client closes.
    consumed_ = received_.size();
    ReadUntil(fd, std::string(1, '\0') + "never");
    ::close(fd);
  }

  int listener_ = -1;
  std::uint16_t port_ = 0;
  std::string received_;
  std::size_t consumed_ = 0;
  std::thread thread_;
};

using S = ScriptedServer;

// A loopback listener that accepts nobody.
class Listener {
 public:
  explicit Listener(int backlog) : fd_(test::BindLoopback(backlog, port_)) {}
  ~Listener() { ::close(fd_); }
  Listener(const Listener&) = delete;
  Listener& operator=(const Listener&) = delete;
  std::uint16_t Port() const { return port_; }
  // Takes the next client (waiting at most 5 s); -1 when none came.
  int Accept() {
    pollfd p{fd_, POLLIN, 0};
    return ::poll(&p, 1, 5000) > 0 ? ::accept(fd_, nullptr, nullptr) : -1;
  }

 private:
  std::uint16_t port_ = 0;
  int fd_;
};

// The Date line checked by pattern ("Mon, 07 Dec 2026 23:55:04 +0000") and
// replaced by "Date: *"; the Message-ID checked by its shape and replaced by
// "Message-ID: *".
std::string WithoutDate(const std::string& dialogue) {
  const auto at = dialogue.find("Date: ");
  const auto end = dialogue.find("\r\n", at);
  if (at == std::string::npos || end == std::string::npos) {
    ADD_FAILURE() << "no Date line in " << dialogue;
    return dialogue;
  }
  const std::string value = dialogue.substr(at + 6, end - at - 6);
  const std::string shape = "Ddd, 00 Mmm 0000 00:00:00 +0000";
  bool good = value.size() == shape.size() &&
              std::string("SunMonTueWedThuFriSat").find(value.substr(0, 3)) % 3 == 0 &&
              std::string("JanFebMarAprMayJunJulAugSepOctNovDec").find(value.substr(8, 3)) % 3 == 0;
  for (std::size_t i = 0; good && i < shape.size(); ++i) {
    if (shape[i] == '0') good = value[i] >= '0' && value[i] <= '9';
    if (shape[i] == '+') good = value[i] == '+' || value[i] == '-';
    if (shape[i] == ' ' || shape[i] == ',' || shape[i] == ':') good = value[i] == shape[i];
  }
  EXPECT_TRUE(good) << value;
  std::string out = dialogue.substr(0, at) + "Date: *" + dialogue.substr(end);
  const auto id = out.find("\r\nMessage-ID: <");
  const auto idEnd = out.find(">\r\n", id);
  if (id == std::string::npos || idEnd == std::string::npos ||
      out.substr(id, idEnd - id).find('@') == std::string::npos) {
    ADD_FAILURE() << "no Message-ID line in " << dialogue;
    return out;
  }
  return out.substr(0, id) + "\r\nMessage-ID: *" + out.substr(idEnd + 1);
}

// The header lines after the subject, for a body in plain ASCII.
constexpr char kMimeLines[] =
    "Message-ID: *\r\n"
    "MIME-Version: 1.0\r\n"
    "Content-Type: text/plain; charset=UTF-8\r\n"
    "Content-Transfer-Encoding: 7bit\r\n";

TEST(RecipientPiecesTest, OnlyPiecesEndedBySeparatorsAreUsed) {
  using V = std::vector<std::wstring>;
  EXPECT_EQ(RecipientPieces(L""), V{});
  EXPECT_EQ(RecipientPieces(L"ops@lab.example"), V{});
  EXPECT_EQ(RecipientPieces(L"a@x;"), V{L"a@x"});
  EXPECT_EQ(RecipientPieces(L"a@x,b@y;c@z"), (V{L"a@x", L"b@y"}));
  EXPECT_EQ(RecipientPieces(L"a@x;;b@y,"), (V{L"a@x", L"", L"b@y"}));
  EXPECT_EQ(RecipientPieces(L";"), V{L""});
  EXPECT_EQ(RecipientPieces(L" a@x ;"), V{L" a@x "});
}

TEST(MailDateTest, EnglishNamesAndZoneOffset) {
  std::tm t{};
  t.tm_year = 2026 - 1900;
  t.tm_mon = 11;
  t.tm_mday = 7;
  t.tm_wday = 1;
  t.tm_hour = 23;
  t.tm_min = 55;
  t.tm_sec = 4;
  EXPECT_EQ(MailDate(t, 0), L"Mon, 07 Dec 2026 23:55:04 +0000");
  EXPECT_EQ(MailDate(t, 3600), L"Mon, 07 Dec 2026 23:55:04 +0100");
  EXPECT_EQ(MailDate(t, -(5 * 3600 + 30 * 60)), L"Mon, 07 Dec 2026 23:55:04 -0530");
  t = std::tm{};
  t.tm_year = 2004 - 1900;
  t.tm_mday = 1;
  t.tm_wday = 4;
  EXPECT_EQ(MailDate(t, 14 * 3600), L"Thu, 01 Jan 2004 00:00:00 +1400");
  // A broken-down time out of range still gives a well-formed line.
  t.tm_wday = 9;
  t.tm_mon = -3;
  EXPECT_EQ(MailDate(t, 999999), L"Sat, 01 Jan 2004 00:00:00 +2359");
}

TEST(MailDateTest, HeaderUsesLocalTimeAndItsOffset) {
  test::ScopedTimeZone zone("IST-5:30");
  ScriptedServer server(S::Dialogue(0));
  {
    SmtpSession s(kShort);
    std::wstring error;
    ASSERT_TRUE(s.SmtpConnect(L"127.0.0.1", server.Port(), error)) << error;
    ASSERT_TRUE(s.SmtpAddresses(L"", L"", error)) << error;
    ASSERT_TRUE(s.SmtpData(L"", L"", L"s", L"b", error)) << error;
  }
  EXPECT_NE(server.Received().find(" +0530\r\nFrom: \r\n"), std::string::npos) << server.Received();
}

TEST(WinsockCodeTest, ErrnoValuesWithoutAnExactCounterpart) {
  EXPECT_EQ(WinsockCodeFromErrno(ECONNREFUSED), 10061);
  EXPECT_EQ(WinsockCodeFromErrno(EPIPE), 10054);
  EXPECT_EQ(WinsockCodeFromErrno(ENFILE), 10024);
  EXPECT_EQ(WinsockCodeFromErrno(EHOSTUNREACH), 10065);
  EXPECT_EQ(WinsockCodeFromErrno(EIO), EIO);
}

class SmtpEventMailTest : public ::testing::Test {
 protected:
  SmtpEventMailTest() {
    std::string openError;
    auto registry = platform::OpenSqliteRegistry(":memory:", nullptr, openError);
    settings_ = std::make_unique<settings::AppSettings>(
        std::shared_ptr<platform::Registry>(std::move(registry)),
        std::make_shared<platform::RecordingUi>());
    auto v = settings::AppSettings::Defaults(L"LAB1");
    v.smtpServer = L"127.0.0.1";
    v.defaultEmail = L"raid@lab.example";
    v.eventList = L"ops@lab.example;";
    settings_->Set(v);
  }
  std::unique_ptr<settings::AppSettings> settings_;
};

TEST_F(SmtpEventMailTest, WholeDialogueByteForByte) {
  ScriptedServer server(S::Dialogue(1));
  std::wstring error;
  EXPECT_TRUE(SendEventMailOnPort(*settings_,
                                  L"05-March-2004 14:07.09\tWarning      - Member dropped\n"
                                  L"\t\tSet 0 dropped member 1 on adapter 0.\n",
                                  error, kShort, server.Port()))
      << error;
  EXPECT_EQ(WithoutDate(server.Received()),
            "helo 127.0.0.1\r\n"
            "mail From:<raid@lab.example>\r\n"
            "rcpt To:<ops@lab.example>\r\n"
            "data\r\n"
            "Date: *\r\n"
            "From: raid@lab.example\r\n"
            "TO: ops@lab.example\r\n"
            "Subject: Kestrune - Event from system LAB1.\r\n" +
                std::string(kMimeLines) +
                "\r\n"
                "05-March-2004 14:07.09\tWarning      - Member dropped\r\n"
                "\t\tSet 0 dropped member 1 on adapter 0.\r\n"
                "\r\n.\r\n"
                "quit\r\n");
}

TEST_F(SmtpEventMailTest, FailingStepPassesItsTextOut) {
  settings_->SetEventList(L"ops@lab.example");  // no final ";": no recipient at all
  ScriptedServer server({S::Send("220 lab.example\r\n"), S::Line(), S::Send("250 hi\r\n"),
                         S::Line(), S::Send("250 ok\r\n"), S::Line(),
                         S::Send("554 5.5.1 Error: no valid recipients\r\n")});
  std::wstring error;
  EXPECT_FALSE(SendEventMailOnPort(*settings_, L"text", error, kShort, server.Port()));
  EXPECT_EQ(error, L"554 5.5.1 Error: no valid recipients");
  EXPECT_EQ(server.Received(),
            "helo 127.0.0.1\r\n"
            "mail From:<raid@lab.example>\r\n"
            "data\r\n");
}

// The transcript: every command and reply line as it goes, the header
// lines, and the body by its size alone.
TEST_F(SmtpEventMailTest, TranscriptTellsTheDialogueButNotTheBody) {
  ScriptedServer server(S::Dialogue(1));
  std::vector<std::string> lines;
  SmtpOptions options = kShort;
  options.transcript = [&](SmtpLine kind, const std::string& line) {
    lines.push_back((kind == SmtpLine::Received ? "S " : "C ") + line);
  };
  std::wstring error;
  ASSERT_TRUE(SendEventMailOnPort(*settings_, L"private line 1\nprivate line 2\n", error, options,
                                  server.Port()))
      << error;
  ASSERT_GT(lines.size(), 4u);
  lines.erase(lines.begin() + 9);  // the date
  ASSERT_GT(lines.size(), 12u);
  EXPECT_EQ(lines[12].rfind("C Message-ID: <", 0), 0u) << lines[12];
  lines.erase(lines.begin() + 12);
  EXPECT_EQ(lines, (std::vector<std::string>{"S 220 lab.example ESMTP",
                                             "C helo 127.0.0.1",
                                             "S 250 lab.example",
                                             "C mail From:<raid@lab.example>",
                                             "S 250 2.1.0 Ok",
                                             "C rcpt To:<ops@lab.example>",
                                             "S 250 2.1.5 Ok",
                                             "C data",
                                             "S 354 End data with <CR><LF>.<CR><LF>",
                                             "C From: raid@lab.example",
                                             "C TO: ops@lab.example",
                                             "C Subject: Kestrune - Event from system LAB1.",
                                             "C MIME-Version: 1.0",
                                             "C Content-Type: text/plain; charset=UTF-8",
                                             "C Content-Transfer-Encoding: 7bit",
                                             "C ",
                                             "C (message body, 32 bytes)",
                                             "C ",
                                             "C .",
                                             "S 250 2.0.0 Ok: queued",
                                             "C quit",
                                             "S 221 2.0.0 Bye"}));
}

TEST(SmtpDialogueTest, CommaAndSemicolonSeparateRecipients) {
  ScriptedServer server(S::Dialogue(2));
  {
    SmtpSession s(kShort);
    std::wstring error;
    const std::wstring list = L"a@lab.example,b@lab.example;";
    ASSERT_TRUE(s.SmtpConnect(L"127.0.0.1", server.Port(), error)) << error;
    ASSERT_TRUE(s.SmtpAddresses(L"me@lab.example", list, error)) << error;
    ASSERT_TRUE(s.SmtpData(L"me@lab.example", list, L"Report", L"", error)) << error;
    ASSERT_TRUE(s.SmtpQuit(error)) << error;
  }
  EXPECT_EQ(WithoutDate(server.Received()),
            "helo 127.0.0.1\r\n"
            "mail From:<me@lab.example>\r\n"
            "rcpt To:<a@lab.example>\r\n"
            "rcpt To:<b@lab.example>\r\n"
            "data\r\n"
            "Date: *\r\n"
            "From: me@lab.example\r\n"
            "TO: a@lab.example\r\n"
            "TO: b@lab.example\r\n"
            "Subject: Report\r\n" +
                std::string(kMimeLines) +
                "\r\n"
                "\r\n.\r\n"
                "quit\r\n");
}

TEST(SmtpDialogueTest, EmptySenderAndEmptyPiece) {
  ScriptedServer server(S::Dialogue(2));
  {
    SmtpSession s(kShort);
    std::wstring error;
    ASSERT_TRUE(s.SmtpConnect(L"localhost", server.Port(), error)) << error;
    ASSERT_TRUE(s.SmtpAddresses(L"", L";x@y;", error)) << error;
    ASSERT_TRUE(s.SmtpData(L"", L";x@y;", L"", L"body", error)) << error;
  }
  EXPECT_EQ(WithoutDate(server.Received()),
            "helo localhost\r\n"
            "mail From:<>\r\n"
            "rcpt To:<>\r\n"
            "rcpt To:<x@y>\r\n"
            "data\r\n"
            "Date: *\r\n"
            "From: \r\n"
            "TO: \r\n"
            "TO: x@y\r\n"
            "Subject: \r\n" +
                std::string(kMimeLines) +
                "\r\n"
                "body\r\n.\r\n");
}

TEST(SmtpDialogueTest, LineEndsDotsAndUtf8InTheMail) {
  ScriptedServer server(S::Dialogue(1));
  {
    SmtpSession s(kShort);
    std::wstring error;
    ASSERT_TRUE(s.SmtpConnect(L"127.0.0.1", server.Port(), error)) << error;
    ASSERT_TRUE(s.SmtpAddresses(L"a@x", L"b@x;", error)) << error;
    ASSERT_TRUE(s.SmtpData(L"a@x", L"b@x;", L"St\u00f6rung \u20ac",
                           L".first\nmid\r\n.\r\nlone\rend\r\r\n..two\n.", error))
        << error;
  }
  // A subject that is not ASCII goes in an encoded word; the ASCII body as it is.
  const std::string got = WithoutDate(server.Received());
  const auto subject = got.find("Subject: ");
  ASSERT_NE(subject, std::string::npos);
  EXPECT_EQ(got.substr(subject), "Subject: =?UTF-8?B?U3TDtnJ1bmcg4oKs?=\r\n" +
                                     std::string(kMimeLines) +
                                     "\r\n"
                                     "..first\r\n"
                                     "mid\r\n"
                                     "..\r\n"
                                     "lone\r\n"
                                     "end\r\n"
                                     "\r\n"
                                     "...two\r\n"
                                     "..\r\n.\r\n");
}

TEST(SmtpDialogueTest, LineBreaksRemovedFromValues) {
  ScriptedServer server(S::Dialogue(1));
  {
    SmtpSession s(kShort);
    std::wstring error;
    ASSERT_TRUE(s.SmtpConnect(L"127.0.0.1\r\n", server.Port(), error)) << error;
    ASSERT_TRUE(s.SmtpAddresses(L"a@x>\r\nRSET", L"b@\nx;", error)) << error;
    ASSERT_TRUE(s.SmtpData(L"a@x\r", L"b@\nx;", L"Hi\r\nBcc: c@x", L"", error)) << error;
  }
  EXPECT_EQ(WithoutDate(server.Received()),
            "helo 127.0.0.1\r\n"
            "mail From:<a@x>RSET>\r\n"
            "rcpt To:<b@x>\r\n"
            "data\r\n"
            "Date: *\r\n"
            "From: a@x\r\n"
            "TO: b@x\r\n"
            "Subject: HiBcc: c@x\r\n" +
                std::string(kMimeLines) +
                "\r\n"
                "\r\n.\r\n");
}

TEST(SmtpRepliesTest, GreetingOtherThan220GivesItsFirstLine) {
  ScriptedServer server({S::Send("421-lab.example busy\r\n421 try later\r\n")});
  std::wstring error;
  {
    SmtpSession s(kShort);
    EXPECT_FALSE(s.SmtpConnect(L"127.0.0.1", server.Port(), error));
  }
  EXPECT_EQ(error, L"421-lab.example busy");
  EXPECT_EQ(server.Received(), "");
}

TEST(SmtpRepliesTest, ReplySplitAcrossSegmentsIsReadWhole) {
  ScriptedServer server({S::Send("22"), S::Pause(), S::Send("0 lab\r\n"), S::Line(),
                         S::Send("250 hel"), S::Pause(), S::Send("lo\r\n"), S::Line(),
                         S::Send("550 no such "), S::Pause(), S::Send("user\r\n")});
  std::wstring error;
  SmtpSession s(kShort);
  ASSERT_TRUE(s.SmtpConnect(L"127.0.0.1", server.Port(), error)) << error;
  EXPECT_FALSE(s.SmtpAddresses(L"a@x", L"", error));
  EXPECT_EQ(error, L"550 no such user");
}

TEST(SmtpRepliesTest, MultiLineRepliesInSeveralSegmentsAreReadWhole) {
  ScriptedServer server({S::Send("220-lab.example ESMTP\r\n"), S::Pause(), S::Send("220-no UCE\r\n"),
                         S::Pause(), S::Send("220 ready\r\n"), S::Line(),
                         S::Send("250-lab.example\r\n250-SIZE 1000"), S::Pause(),
                         S::Send("0\r\n250 8BITMIME\r\n"), S::Line(), S::Send("550-no such"),
                         S::Pause(), S::Send(" user\r\n550 5.1.1 really\r\n")});
  std::wstring error;
  {
    SmtpSession s(kShort);
    ASSERT_TRUE(s.SmtpConnect(L"127.0.0.1", server.Port(), error)) << error;
    EXPECT_FALSE(s.SmtpAddresses(L"a@x", L"", error));
  }
  EXPECT_EQ(error, L"550-no such user");  // the error text stays the first line
  // The session has closed: the server has all there is.
  EXPECT_EQ(server.Received(), "helo 127.0.0.1\r\nmail From:<a@x>\r\n");
}

TEST(SmtpRepliesTest, AMultiLineReplyLongerThanItsBufferIsDroppedUpToItsEnd) {
  std::string longReply;
  for (int i = 0; i < 20; ++i) longReply += "250-" + std::string(60, 'a' + i) + "\r\n";
  ScriptedServer server({S::Send("220 lab\r\n"), S::Line(), S::Send(longReply), S::Pause(),
                         S::Send("250 last\r\n"), S::Line(), S::Send("551 next\r\n")});
  std::wstring error;
  SmtpSession s(kShort);
  ASSERT_TRUE(s.SmtpConnect(L"127.0.0.1", server.Port(), error)) << error;
  EXPECT_FALSE(s.SmtpAddresses(L"a@x", L"", error));
  EXPECT_EQ(error, L"551 next");
}

// The reader fed one byte at a time and all at once must agree.
TEST(SmtpReplyReaderTest, EndsAtTheFirstLineWithoutHyphenAndKeepsWhatFollows) {
  struct Case {
    std::string bytes;
    std::size_t limit;
    bool complete;
    std::string reply;
    std::size_t used;
  };
  const Case cases[] = {
      {"220 ready\r\n", 512, true, "220 ready\r\n", 11},
      {"220-a\r\n220 b\r\n250 next\r\n", 512, true, "220-a\r\n220 b\r\n", 14},
      {"250-a\n250\n", 512, true, "250-a\n250\n", 10},            // bare LF, code alone
      {"250\r\nrest", 512, true, "250\r\n", 5},
      {"250-a\r\n250-b", 512, false, "250-a\r\n250-b", 12},       // waits for more
      {"25", 512, false, "25", 2},
      {"250-abcdef\r\n250 x\r\nZ", 8, true, "250-abcd", 19},        // cut, then dropped
      {"x-\r\n", 512, true, "x-\r\n", 4},                          // too short to go on
      {"\n", 512, true, "\n", 1},
      {"", 512, false, "", 0},
  };
  for (const Case& c : cases) {
    SmtpReplyReader whole(c.limit);
    EXPECT_EQ(whole.Feed(c.bytes), c.used) << c.bytes;
    SmtpReplyReader bytewise(c.limit);
    std::size_t used = 0;
    for (char b : c.bytes) used += bytewise.Feed(std::string_view(&b, 1));
    EXPECT_EQ(used, c.used) << c.bytes;
    for (const SmtpReplyReader* r : {&whole, &bytewise}) {
      EXPECT_EQ(r->Complete(), c.complete) << c.bytes;
      EXPECT_EQ(r->Reply(), c.reply) << c.bytes;
      EXPECT_EQ(r->Cut(), c.reply.size() < c.used) << c.bytes;
    }
  }
}

TEST(SmtpRepliesTest, ReplyLongerThanItsBufferIsCut) {
  ScriptedServer server({S::Send("220 lab\r\n"), S::Line(),
                         S::Send("250 " + std::string(600, 'x') + "\r\n"), S::Line(),
                         S::Send("550 " + std::string(700, 'y') + "\r\n")});
  std::wstring error;
  SmtpSession s(kShort);
  // The rest of the long HELO reply must not be taken for the next reply.
  ASSERT_TRUE(s.SmtpConnect(L"127.0.0.1", server.Port(), error)) << error;
  EXPECT_FALSE(s.SmtpAddresses(L"a@x", L"", error));
  EXPECT_EQ(error, L"550 " + std::wstring(508, L'y'));
}

TEST(SmtpRepliesTest, RepliesDecodedFromUtf8) {
  ScriptedServer server({S::Send("220 lab\r\n"), S::Line(), S::Send("250 ok\r\n"), S::Line(),
                         S::Send("550 Empf\xc3\xa4nger \xff unbekannt\r\n")});
  std::wstring error;
  SmtpSession s(kShort);
  ASSERT_TRUE(s.SmtpConnect(L"127.0.0.1", server.Port(), error)) << error;
  EXPECT_FALSE(s.SmtpAddresses(L"a@x", L"", error));
  EXPECT_EQ(error, L"550 Empf\u00e4nger \ufffd unbekannt");
}

TEST(SmtpRepliesTest, QuitRequires221) {
  auto script = S::Dialogue(0);
  script.back() = S::Send("500 what\r\n");
  ScriptedServer server(script);
  std::wstring error;
  SmtpSession s(kShort);
  ASSERT_TRUE(s.SmtpConnect(L"127.0.0.1", server.Port(), error)) << error;
  ASSERT_TRUE(s.SmtpAddresses(L"", L"", error)) << error;
  ASSERT_TRUE(s.SmtpData(L"", L"", L"", L"", error)) << error;
  EXPECT_FALSE(s.SmtpQuit(error));
  EXPECT_EQ(error, L"500 what");
}

TEST(SmtpRepliesTest, RightClassButWrongCodeFailsTheStep) {
  // Actions of Dialogue(1): 0 greeting, 2 HELO, 4 MAIL FROM, 6 RCPT TO,
  // 8 DATA, 10 end of the mail, 12 QUIT.
  struct Case {
    std::size_t action;
    const char* reply;
    int failingStep;  // 0 connect, 1 addresses, 2 data, 3 quit
  };
  const Case cases[] = {
      {0, "221 lab closing", 0}, {2, "221 bye", 0},   {4, "251 not local", 1},
      {6, "251 forwarded", 1},   {8, "350 go on", 2}, {10, "251 queued", 2},
      {12, "220 still here", 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reply);
    auto script = S::Dialogue(1);
    script[c.action] = S::Send(std::string(c.reply) + "\r\n");
    ScriptedServer server(script);
    SmtpSession s(kShort);
    std::wstring error;
    const std::function<bool()> steps[] = {
        [&] { return s.SmtpConnect(L"127.0.0.1", server.Port(), error); },
        [&] { return s.SmtpAddresses(L"a@x", L"b@y;", error); },
        [&] { return s.SmtpData(L"a@x", L"b@y;", L"subject", L"body", error); },
        [&] { return s.SmtpQuit(error); },
    };
    int failed = -1;
    for (int step = 0; step < 4 && failed < 0; ++step) {
      if (!steps[step]()) failed = step;
    }
    EXPECT_EQ(failed, c.failingStep);
    const std::string reply = c.reply;
    EXPECT_EQ(error, std::wstring(reply.begin(), reply.end()));
  }
}

TEST(SmtpSocketFailureTest, RefusedConnection) {
  const test::RefusingPort port;
  SmtpSession s(kShort);
  std::wstring error;
  EXPECT_FALSE(s.SmtpConnect(L"127.0.0.1", port.Port(), error));
  EXPECT_EQ(error,
            L"Socket Connect Error\n"
            L"The attempt to connect was forcefully rejected.\n"
            L"Error code 0x0000274d.\n");
}

TEST(SmtpSocketFailureTest, UnknownHost) {
  SmtpSession s(kShort);
  std::wstring error;
  EXPECT_FALSE(s.SmtpConnect(L"no such host!", 25, error));
  EXPECT_EQ(error, L"Socket Connect Error\nError code not switched.\nError code 0x00002af9.\n");
}

TEST(SmtpSocketFailureTest, SilentServerTimesOut) {
  ScriptedServer server({});
  SmtpSession s(kShort);
  std::wstring error;
  EXPECT_FALSE(s.SmtpConnect(L"127.0.0.1", server.Port(), error));
  EXPECT_EQ(error,
            L"Socket Connect Receive Error\n"
            L"The attempt to connect timed out without establishing a connection.\n"
            L"Error code 0x0000274c.\n");
}

TEST(SmtpSocketFailureTest, NoFinalReplyTimesOut) {
  auto script = S::Dialogue(0);
  script.resize(script.size() - 3);  // stays silent after the mail
  ScriptedServer server(script);
  SmtpSession s(kShort);
  std::wstring error;
  ASSERT_TRUE(s.SmtpConnect(L"127.0.0.1", server.Port(), error)) << error;
  ASSERT_TRUE(s.SmtpAddresses(L"", L"", error)) << error;
  EXPECT_FALSE(s.SmtpData(L"", L"", L"", L"", error));
  EXPECT_EQ(error,
            L"Socket Data Terminator Receive Error\n"
            L"The attempt to connect timed out without establishing a connection.\n"
            L"Error code 0x0000274c.\n");
}

TEST(SmtpSocketFailureTest, ConnectTimesOut) {
  // A listener whose queue is full drops further connection requests.
  Listener server(0);
  std::vector<int> fillers;
  bool full = false;
  for (int i = 0; i < 8 && !full; ++i) {
    const int c = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(server.Port());
    ::connect(c, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    pollfd p{c, POLLOUT, 0};
    full = ::poll(&p, 1, 200) == 0;
    fillers.push_back(c);
  }
  if (full) {
    SmtpSession s(kShort);
    std::wstring error;
    EXPECT_FALSE(s.SmtpConnect(L"127.0.0.1", server.Port(), error));
    EXPECT_EQ(error,
              L"Socket Connect Error\n"
              L"The attempt to connect timed out without establishing a connection.\n"
              L"Error code 0x0000274c.\n");
  }
  for (int c : fillers) ::close(c);
  if (!full) GTEST_SKIP() << "the loopback listener's queue never filled";
}

TEST(SmtpSocketFailureTest, AnUnansweredHostLookupTimesOut) {
  test::SilentNameServer nameServer;
  SmtpOptions options(kShort);
  options.nameServers = nameServer.Address();
  SmtpSession s(options);
  std::wstring error;
  EXPECT_FALSE(s.SmtpConnect(L"mail.lab.example", 25, error));
  EXPECT_EQ(error,
            L"Socket Connect Error\n"
            L"The attempt to connect timed out without establishing a connection.\n"
            L"Error code 0x0000274c.\n");
}

// With a time-out of an hour, a stop request still ends every wait at once:
// the host lookup and the wait for a greeting that never comes.
TEST(SmtpSocketFailureTest, AStopRequestEndsTheLookupAndTheReplyWaits) {
  {
    test::SilentNameServer nameServer;
    SmtpOptions options(std::chrono::hours(1));
    options.stop = std::make_shared<platform::StopSignal>();
    options.nameServers = nameServer.Address();
    std::thread stopper([&] {
      nameServer.WaitAsked();
      options.stop->Raise();
    });
    SmtpSession s(options);
    std::wstring error;
    EXPECT_FALSE(s.SmtpConnect(L"mail.lab.example", 25, error));
    EXPECT_EQ(error, L"Socket Connect Error\nError code not switched.\nError code 0x00002714.\n");
    stopper.join();
  }
  // A server that greets, answers HELO and then never answers MAIL FROM: the
  // stop comes once the command has arrived, while the client waits.
  Listener server(4);
  SmtpOptions options(std::chrono::hours(1));
  options.stop = std::make_shared<platform::StopSignal>();
  std::thread stopper([&] {
    const int fd = server.Accept();
    std::string got;
    auto readLine = [&] {
      char c = 0;
      while (::recv(fd, &c, 1, 0) == 1 && c != '\n') got.push_back(c);
    };
    ::send(fd, "220 a\r\n", 7, MSG_NOSIGNAL);
    readLine();
    ::send(fd, "250 b\r\n", 7, MSG_NOSIGNAL);
    readLine();
    options.stop->Raise();
    ::close(fd);
  });
  SmtpSession s(options);
  std::wstring error;
  ASSERT_TRUE(s.SmtpConnect(L"127.0.0.1", server.Port(), error)) << error;
  EXPECT_FALSE(s.SmtpAddresses(L"a@x", L"", error));
  EXPECT_EQ(error,
            L"Socket Mail Receive Error\nError code not switched.\nError code 0x00002714.\n");
  stopper.join();
  // Raised before the start, nothing is tried.
  EXPECT_FALSE(s.SmtpConnect(L"127.0.0.1", server.Port(), error));
  EXPECT_EQ(error, L"Socket Connect Error\nError code not switched.\nError code 0x00002714.\n");
}

TEST(SmtpSocketFailureTest, ServerClosesMidDialogue) {
  ScriptedServer server(
      {S::Send("220 lab\r\n"), S::Line(), S::Send("250 hi\r\n"), S::Line(), S::Close()});
  SmtpSession s(kShort);
  std::wstring error;
  ASSERT_TRUE(s.SmtpConnect(L"127.0.0.1", server.Port(), error)) << error;
  EXPECT_FALSE(s.SmtpAddresses(L"a@x", L"b@x;", error));
  EXPECT_EQ(error,
            L"Socket Mail Receive Error\nError code not switched.\nError code 0x00002746.\n");
}

TEST(SmtpSocketFailureTest, StepsWithoutConnection) {
  SmtpSession s(kShort);
  std::wstring error;
  EXPECT_FALSE(s.SmtpAddresses(L"a@x", L"", error));
  EXPECT_EQ(error, L"Socket Mail Error\nThe descriptor is not a socket.\nError code 0x00002736.\n");
  EXPECT_FALSE(s.SmtpQuit(error));
  EXPECT_EQ(error, L"Socket Quit Error\nThe descriptor is not a socket.\nError code 0x00002736.\n");
}

TEST(SmtpLimitsTest, CommandsUpTo512Bytes) {
  // "mail From:<" + 498 bytes + ">\r\n" is 512 bytes; "é" counts two.
  const std::wstring fits = std::wstring(496, L'a') + L"\u00e9";
  ScriptedServer server(S::Dialogue(0));
  std::wstring error;
  {
    SmtpSession s(kShort);
    ASSERT_TRUE(s.SmtpConnect(L"127.0.0.1", server.Port(), error)) << error;
    EXPECT_FALSE(s.SmtpAddresses(L"b" + fits, L"", error));
    EXPECT_EQ(error, L"Socket Mail Error\nCommand too long to send: 512 bytes at most.\n");
    EXPECT_TRUE(s.SmtpAddresses(fits, L"", error)) << error;
    EXPECT_FALSE(s.SmtpAddresses(L"", std::wstring(600, L'r') + L";", error));
    EXPECT_EQ(error, L"Socket Rcpt Error\nCommand too long to send: 512 bytes at most.\n");
    EXPECT_FALSE(s.SmtpConnect(std::wstring(508, L'h'), server.Port(), error));
    EXPECT_EQ(error, L"Socket Hello Error\nCommand too long to send: 512 bytes at most.\n");
  }
  EXPECT_EQ(server.Received(),
            "helo 127.0.0.1\r\nmail From:<" + std::string(496, 'a') + "\xc3\xa9>\r\n");
}

TEST(SmtpLimitsTest, ALargeMailGoesOutInPiecesOfTheDataBuffer) {
  auto script = S::Dialogue(1);
  ScriptedServer server(script);
  std::wstring error;
  // 200,000 characters, one LF every 100, each becoming CR LF on the wire.
  std::wstring body;
  for (int line = 0; line < 2000; ++line) body += std::wstring(99, L'a') + L"\n";
  {
    SmtpSession s(kShort);
    ASSERT_TRUE(s.SmtpConnect(L"127.0.0.1", server.Port(), error)) << error;
    ASSERT_TRUE(s.SmtpAddresses(L"s@x", L"r@x;", error)) << error;
    ASSERT_TRUE(s.SmtpData(L"s@x", L"r@x;", L"S", body, error)) << error;
  }
  const std::string& got = server.Received();
  const auto start = got.find("Content-Transfer-Encoding: 7bit\r\n\r\n");
  ASSERT_NE(start, std::string::npos);
  const auto bodyStart = start + 35;
  const auto end = got.find("\r\n.\r\n", bodyStart);
  ASSERT_NE(end, std::string::npos);
  EXPECT_EQ(end - bodyStart, 2000u * 101u);  // the body arrived whole, CR LF included
  EXPECT_EQ(got.find("\r\n.\r\n", end + 1), std::string::npos);
}

}  // namespace
}  // namespace kestrune::evt
