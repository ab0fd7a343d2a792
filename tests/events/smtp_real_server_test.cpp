// The sender against a real mail server written by others (aiosmtpd): STARTTLS,
// TLS from the first byte, AUTH PLAIN and LOGIN, certificates that do and do
// not verify, servers that do not offer what the settings demand; and what
// the server's own mail parser makes of the message.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "events/logger_rig.h"
#include "events/mail_message.h"
#include "events/smtp.h"
#include "platform/temp_dir.h"
#include "platform/text.h"
#include "settings/smtp_password.h"
#include "support/real_smtp.h"
#include "support/test_certificates.h"

namespace kestrune::evt {
namespace {

using namespace std::chrono_literals;

constexpr char kUser[] = "raid@lab.example";
// A password full of what a careless program would pass through a shell.
constexpr char kPassword[] = "p@ss w0rd;$(id)`x`'\"";

// One server for the whole suite: starting Python takes a while.
struct Lab {
  Lab() {
    const std::string d = dir.path().string();
    authority = std::make_unique<test::TestAuthority>(d + "/ca.pem");
    authority->Issue(d + "/good.key", d + "/good.pem", "DNS:localhost,IP:127.0.0.1");
    authority->Issue(d + "/other.key", d + "/other.pem", "DNS:mail.other.example");
    authority->Issue(d + "/old.key", d + "/old.pem", "DNS:localhost", -2 * 86400, -86400);
    using L = test::RealSmtp::Listener;
    auto tls = [&](const char* name, const char* mode, const char* cert) {
      L l;
      l.name = name;
      l.mode = mode;
      l.cert = d + "/" + cert + ".pem";
      l.key = d + "/" + cert + ".key";
      l.auth = true;
      l.authRequired = true;
      l.user = kUser;
      l.password = kPassword;
      return l;
    };
    L login = tls("login", "starttls", "good");
    login.exclude = {"PLAIN"};
    L plain;
    plain.name = "plain";
    L plainAuth = tls("plainauth", "plain", "good");
    plainAuth.authRequireTls = false;
    server = std::make_unique<test::RealSmtp>(
        std::vector<L>{tls("submission", "starttls", "good"), login, tls("smtps", "tls", "good"),
                       tls("othername", "tls", "other"), tls("expired", "tls", "old"), plain,
                       plainAuth},
        d);
  }
  testing::TempDir dir;
  std::unique_ptr<test::TestAuthority> authority;
  std::unique_ptr<test::RealSmtp> server;
};

Lab& TheLab() {
  static Lab lab;
  return lab;
}

struct Sent {
  bool ok = false;
  std::wstring error;
  std::vector<std::string> transcript;
};

Sent Send(const std::string& listener, SmtpSecurity security, const std::string& user,
          const std::string& password, bool caFile, const std::wstring& subject = L"Event",
          const std::wstring& body = L"body\n") {
  Lab& lab = TheLab();
  SmtpAccount account;
  account.port = lab.server->Port(listener);
  account.security = security;
  account.user = std::wstring(user.begin(), user.end());
  account.password = password;
  if (caFile) account.caFile = lab.authority->CaFile();
  SmtpOptions options(10s);
  Sent sent;
  options.transcript = [&](SmtpLine kind, const std::string& line) {
    sent.transcript.push_back((kind == SmtpLine::Received ? "<- " : "-> ") + line);
  };
  sent.ok = SendMailWith(L"localhost", account, L"raid@lab.example", L"ops@lab.example;", subject,
                         body, sent.error, options);
  return sent;
}

TEST(SmtpRealServerTest, SecurityAndAuthenticationAsTheSettingsDemand) {
  using S = SmtpSecurity;
  struct Case {
    const char* listener;
    S security;
    const char* user;
    const char* password;
    bool caFile;
    const wchar_t* error;  // null: the mail is taken; else the error starts so
  };
  const Case cases[] = {
      {"submission", S::StartTls, kUser, kPassword, true, nullptr},
      {"login", S::StartTls, kUser, kPassword, true, nullptr},  // AUTH LOGIN only
      {"smtps", S::Tls, kUser, kPassword, true, nullptr},
      {"othername", S::Tls, kUser, kPassword, true,
       L"Socket TLS Error\nThe certificate of localhost could not be verified: hostname "
       L"mismatch. The mail is not sent.\n"},
      {"expired", S::Tls, kUser, kPassword, true,
       L"Socket TLS Error\nThe certificate of localhost could not be verified: certificate has "
       L"expired. The mail is not sent.\n"},
      // Without the CA file the test's own authority is trusted by nobody.
      {"smtps", S::Tls, kUser, kPassword, false,
       L"Socket TLS Error\nThe certificate of localhost could not be verified: unable to get "
       L"local issuer certificate. The mail is not sent.\n"},
      {"plain", S::StartTls, "", "", true,
       L"The server localhost does not offer STARTTLS; the mail is not sent unencrypted.\n"},
      {"submission", S::StartTls, kUser, "wrong", true,
       L"535 5.7.8 Authentication credentials invalid"},
      // The server would take the password in clear text; it is not sent.
      {"plainauth", S::None, kUser, kPassword, true,
       L"An SMTP user is set, but the connection is not encrypted"},
      // Without an account the server that wants one refuses the mail.
      {"plainauth", S::None, "", "", true, L"530 5.7.0 Authentication required"},
      {"submission", S::StartTls, "", "", true, L"530 5.7.0 Authentication required"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.listener) + " " + c.user + " " + c.password);
    const std::size_t before = TheLab().server->Mails().size();
    const Sent sent = Send(c.listener, c.security, c.user, c.password, c.caFile);
    EXPECT_EQ(sent.ok, c.error == nullptr);
    const auto mails = TheLab().server->Mails();
    if (c.error == nullptr) {
      EXPECT_TRUE(sent.error.empty()) << std::string(sent.error.begin(), sent.error.end());
      ASSERT_EQ(mails.size(), before + 1);
      EXPECT_EQ(mails.back()["listener"], c.listener);
      EXPECT_EQ(mails.back()["tls"], true);
      EXPECT_EQ(mails.back()["login"], kUser);
    } else {
      EXPECT_EQ(sent.error.rfind(c.error, 0), 0u)
          << std::string(sent.error.begin(), sent.error.end());
      EXPECT_EQ(mails.size(), before);
    }
    // Whatever happened, the password is told nowhere, in no encoding.
    const std::string plainCredentials = std::string(1, '\0') + kUser + '\0' + c.password;
    for (const std::string& line : sent.transcript) {
      if (*c.password == '\0') break;
      EXPECT_EQ(line.find(c.password), std::string::npos) << line;
      EXPECT_EQ(line.find(Base64Encode(c.password)), std::string::npos) << line;
      EXPECT_EQ(line.find(Base64Encode(plainCredentials)), std::string::npos) << line;
    }
  }
  // The password never reached the server that offered AUTH in the clear.
  EXPECT_EQ(TheLab().server->AuthLog().find("plainauth"), std::string::npos)
      << TheLab().server->AuthLog();
  EXPECT_NE(TheLab().server->AuthLog().find("login LOGIN raid@lab.example ok"), std::string::npos)
      << TheLab().server->AuthLog();
}

TEST(SmtpRealServerTest, TheDialogueShowsTlsAndAuthWithoutTheCredentials) {
  const Sent sent = Send("submission", SmtpSecurity::StartTls, kUser, kPassword, true);
  ASSERT_TRUE(sent.ok);
  std::vector<std::string> steps;
  for (const std::string& line : sent.transcript) {
    if (line.rfind("-> EHLO", 0) == 0 || line == "-> STARTTLS" ||
        line.rfind("-> TLS started (TLSv1.", 0) == 0 || line.rfind("-> AUTH", 0) == 0 ||
        line.rfind("<- 235", 0) == 0) {
      steps.push_back(line.substr(0, line.find(' ', 3)));
    }
  }
  EXPECT_EQ(steps, (std::vector<std::string>{"-> EHLO", "-> STARTTLS", "-> TLS", "-> EHLO",
                                             "-> AUTH", "<- 235"}));
  bool masked = false;
  for (const std::string& line : sent.transcript)
    masked = masked || line == "-> AUTH PLAIN (the credentials of raid@lab.example, hidden)";
  EXPECT_TRUE(masked);
}

// The logger mails its events as the settings of the moment say: one
// through STARTTLS with the account, the password from its private file;
// the next, when the settings point at a server whose certificate has
// expired, fails with the reason in its "Event Email Error" entry.
TEST(SmtpRealServerTest, TheLoggerMailsAsTheSettingsSayAndLogsACertificateThatFails) {
  Lab& lab = TheLab();
  test::LoggerRig rig(test::OneAdapter({test::RawStep(0, test::Udma(3)),
                                        test::RawStep(10, test::Udma(2))}));
  const std::string passwordFile = rig.dir.File("smtp-password");
  std::string written;
  ASSERT_TRUE(settings::WriteSmtpPassword(passwordFile, kPassword, written)) << written;
  auto use = [&](const char* listener, const wchar_t* security) {
    settings::AppSettings::Values values = rig.settings->Get();
    values.smtpServer = L"localhost";
    values.smtpPort = lab.server->Port(listener);
    values.smtpSecurity = security;
    values.smtpUser = platform::FromUtf8(kUser);
    values.smtpCaFile = platform::FromUtf8(lab.authority->CaFile());
    values.emailEventLevel = 1;
    rig.settings->Set(values);
  };
  use("submission", L"STARTTLS");
  rig.adjustOptions = [&](EventLogThreadOptions& o) {
    o.mailPort.reset();  // the settings' port
    o.smtpPasswordPath = passwordFile;
    o.smtp.timeout = 10s;
  };
  const std::size_t before = lab.server->Mails().size();
  rig.MakeLogger(1ms);
  ASSERT_TRUE(rig.logger->Start());
  ASSERT_TRUE(rig.Poll());
  ASSERT_TRUE(rig.WaitFor(LogEntryKind::Event));
  // A whole poll after the event: its mail is queued with those settings.
  ASSERT_TRUE(rig.Poll(2));
  use("expired", L"TLS");
  rig.clock->Advance(10s);
  ASSERT_TRUE(rig.WaitFor(LogEntryKind::EmailFailure));
  rig.logger->Stop();

  // Mails go in event order: the first had been taken by then.
  const auto mails = lab.server->Mails();
  ASSERT_EQ(mails.size(), before + 1);
  EXPECT_EQ(mails.back()["listener"], "submission");
  EXPECT_EQ(mails.back()["login"], kUser);
  EXPECT_EQ(rig.CountOf(LogEntryKind::EmailFailure), 1u);
  std::wstring failure;
  for (const auto& e : rig.Entries())
    if (e.kind == LogEntryKind::EmailFailure) failure = e.text;
  EXPECT_NE(failure.find(L"\tEvent Email Error - \r\nSocket TLS Error\nThe certificate of "
                         L"localhost could not be verified: certificate has expired. The mail "
                         L"is not sent.\n\tFor the event: "),
            std::wstring::npos)
      << platform::ToUtf8(failure);
  EXPECT_EQ(platform::ToUtf8(failure).find(kPassword), std::string::npos);
}

// A report line of 10,000 characters with letters beyond ASCII, and such a
// subject: the server's own parser finds the headers strict servers want and
// decodes exactly the text that was sent.
TEST(SmtpRealServerTest, LongNonAsciiLinesArriveIntactWithinTheLineLimit) {
  std::wstring line;
  while (line.size() < 10000) line += L"Gr\u00fc\u00dfe \u20ac\t";
  line.resize(10000);
  const std::wstring body = L"Kestrune Configuration Report\r\n" + line + L"\r\n.\r\nend ";
  const std::wstring subject =
      L"St\u00f6rung auf LAB1 \u2013 Array degraded " + std::wstring(30, L'\u00e9');
  const std::size_t before = TheLab().server->Mails().size();
  const Sent sent =
      Send("submission", SmtpSecurity::StartTls, kUser, kPassword, true, subject, body);
  ASSERT_TRUE(sent.ok) << std::string(sent.error.begin(), sent.error.end());
  const auto mails = TheLab().server->Mails();
  ASSERT_EQ(mails.size(), before + 1);
  const auto& mail = mails.back();
  const auto& headers = mail["headers"];
  EXPECT_EQ(headers["MIME-Version"], "1.0");
  EXPECT_EQ(headers["Content-Type"], "text/plain; charset=\"UTF-8\"");
  EXPECT_EQ(headers["Content-Transfer-Encoding"], "quoted-printable");
  const std::string id = headers["Message-ID"];
  EXPECT_EQ(id.front(), '<');
  EXPECT_NE(id.find("@lab.example>"), std::string::npos) << id;
  std::string subjectUtf8 = "St\xc3\xb6rung auf LAB1 \xe2\x80\x93 Array degraded ";
  for (int i = 0; i < 30; ++i) subjectUtf8 += "\xc3\xa9";
  EXPECT_EQ(headers["Subject"], subjectUtf8);
  // The parser gives the text with its line ends as they went, CR LF.
  std::string expected = "Kestrune Configuration Report\r\n";
  for (const wchar_t c : line) {
    if (c < 0x80) {
      expected += static_cast<char>(c);
    } else if (c < 0x800) {
      expected += static_cast<char>(0xC0 | (c >> 6));
      expected += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      expected += static_cast<char>(0xE0 | (c >> 12));
      expected += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      expected += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  expected += "\r\n.\r\nend \r\n";
  const std::string got = mail["body"];
  EXPECT_EQ(got.size(), expected.size());
  EXPECT_TRUE(got == expected) << "the decoded body differs";
  // Every line on the wire within the limit of the mail standard.
  const std::string raw = TheLab().server->Raw(mails.size() - 1);
  std::size_t start = 0;
  for (std::size_t end; (end = raw.find("\r\n", start)) != std::string::npos; start = end + 2)
    EXPECT_LE(end - start, 78u) << raw.substr(start, 100);
}

}  // namespace
}  // namespace kestrune::evt
