// The dialogue of STARTTLS, TLS and AUTH against a server in memory: what is
// sent in which order, what is refused before anything goes out, what the
// transcript is told.
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "events/mail_message.h"
#include "events/smtp.h"

namespace kestrune::evt {
namespace {

// A server in memory: its replies in order (the first is the greeting; each
// further one answers a command line, or after a 354 the mail), "<TLS>" among
// them where it starts TLS. It records every command, and "<TLS>" where TLS
// started. Nothing ever waits: a reply that is not there is a time-out.
class MemoryServer final : public platform::Network {
 public:
  explicit MemoryServer(std::vector<std::string> replies) : replies_(std::move(replies)) {}

  std::optional<platform::StreamError> tlsFailure;
  int connects = 0;
  std::vector<std::string> log;

  std::unique_ptr<platform::Stream> Connect(const std::string&, std::uint16_t,
                                            const platform::ConnectOptions&,
                                            platform::StreamError&) override {
    ++connects;
    auto stream = std::make_unique<Wire>(*this);
    Answer();  // the greeting (or, for TLS first, nothing yet)
    return stream;
  }
  std::unique_ptr<platform::Stream> StartTls(std::unique_ptr<platform::Stream> plain,
                                             const platform::TlsOptions& options,
                                             platform::SteadyTime,
                                             platform::StreamError& error) override {
    serverName = options.serverName;
    if (tlsFailure) {
      error = *tlsFailure;
      return nullptr;
    }
    log.push_back("<TLS>");
    if (next_ < replies_.size() && replies_[next_] == "<TLS>") ++next_;
    protected_ = true;
    // TLS from the first byte: the greeting comes now. After STARTTLS the
    // server waits for the client's EHLO.
    if (log.size() == 1) Answer();
    return plain;
  }
  std::string serverName;

 private:
  class Wire final : public platform::Stream {
   public:
    explicit Wire(MemoryServer& server) : server_(server) {}
    platform::StreamError Send(std::string_view bytes, platform::SteadyTime) override {
      server_.Take(bytes);
      return {};
    }
    platform::StreamError Receive(std::span<char> buffer, std::size_t& received,
                                  platform::SteadyTime) override {
      std::string& out = server_.outbox_;
      if (out.empty()) return platform::StreamError::Socket(platform::kWsaTimedOut);
      received = std::min(buffer.size(), out.size());
      out.copy(buffer.data(), received);
      out.erase(0, received);
      return {};
    }
    std::string Protection() const override { return server_.protected_ ? "TLSv1.3 TEST" : ""; }

   private:
    MemoryServer& server_;
  };

  void Answer() {
    if (next_ < replies_.size() && replies_[next_] != "<TLS>") {
      outbox_ += replies_[next_] + "\r\n";
      mail_ = replies_[next_].rfind("354", 0) == 0;
      ++next_;
    }
  }
  void Take(std::string_view bytes) {
    inbox_ += bytes;
    for (;;) {
      const std::string end = mail_ ? "\r\n.\r\n" : "\r\n";
      const auto at = inbox_.find(end);
      if (at == std::string::npos) return;
      log.push_back(mail_ ? "<mail>" : inbox_.substr(0, at));
      inbox_.erase(0, at + end.size());
      mail_ = false;
      Answer();
    }
  }

  std::vector<std::string> replies_;
  std::size_t next_ = 0;
  std::string inbox_;
  std::string outbox_;
  bool mail_ = false;
  bool protected_ = false;
};

constexpr char kEhloTls[] = "250-mem.example\r\n250-SIZE 1000000\r\n250 STARTTLS";
constexpr char kEhloAuth[] = "250-mem.example\r\n250-8BITMIME\r\n250 AUTH LOGIN PLAIN";

struct Outcome {
  bool ok = false;
  std::wstring error;
  std::vector<std::string> transcript;
};

Outcome Connect(MemoryServer& server, SmtpSecurity security, const std::wstring& user = L"",
                const std::string& password = "") {
  SmtpOptions options(std::chrono::milliseconds(0));
  options.network = std::shared_ptr<platform::Network>(&server, [](platform::Network*) {});
  options.clientName = "client.example";
  Outcome run;
  options.transcript = [&](SmtpLine kind, const std::string& line) {
    run.transcript.push_back((kind == SmtpLine::Received ? "S "
                              : kind == SmtpLine::Sent   ? "C "
                                                         : "N ") +
                             line);
  };
  SmtpAccount account;
  account.security = security;
  account.user = user;
  account.password = password;
  SmtpSession session(options);
  run.ok = session.SmtpConnect(L"mem.example", account, run.error);
  return run;
}

using V = std::vector<std::string>;

TEST(SmtpSecurityTest, StartTlsThenAuthInTheOrderTheStandardWants) {
  struct Case {
    const char* what;
    std::vector<std::string> replies;
    SmtpSecurity security;
    std::wstring user;
    V log;                 // what the server received
    const wchar_t* error;  // null: connected
  };
  using S = SmtpSecurity;
  const std::string plain = "AUTH PLAIN " + Base64Encode(std::string("\0ops\0pw", 7));
  const Case cases[] = {
      {"STARTTLS, AUTH PLAIN",
       {"220 mem", kEhloTls, "220 go ahead", "<TLS>", kEhloAuth, "235 ok"},
       S::StartTls,
       L"ops",
       {"EHLO client.example", "STARTTLS", "<TLS>", "EHLO client.example", plain},
       nullptr},
      {"STARTTLS without an account: no AUTH",
       {"220 mem", kEhloTls, "220 go ahead", "<TLS>", kEhloAuth},
       S::StartTls,
       L"",
       {"EHLO client.example", "STARTTLS", "<TLS>", "EHLO client.example"},
       nullptr},
      {"TLS from the first byte, AUTH LOGIN",
       {"<TLS>", "220 mem", "250-mem\r\n250 AUTH=LOGIN", "334 VXNlcm5hbWU6", "334 UGFzc3dvcmQ6",
        "235 ok"},
       S::Tls,
       L"ops",
       {"<TLS>", "EHLO client.example", "AUTH LOGIN", Base64Encode("ops"), Base64Encode("pw")},
       nullptr},
      {"STARTTLS not offered",
       {"220 mem", kEhloAuth},
       S::StartTls,
       L"ops",
       {"EHLO client.example"},
       L"The server mem.example does not offer STARTTLS; the mail is not sent unencrypted.\n"},
      {"STARTTLS refused",
       {"220 mem", kEhloTls, "454 4.7.0 TLS not available"},
       S::StartTls,
       L"ops",
       {"EHLO client.example", "STARTTLS"},
       L"The server refused STARTTLS (454 4.7.0 TLS not available); the mail is not sent "
       L"unencrypted.\n"},
      // Plain text slipped in behind the 220 must not count as the answer to
      // the EHLO sent under TLS: that answer offers AUTH, the slipped one not.
      {"text injected before the handshake",
       {"220 mem", kEhloTls, "220 go ahead\r\n250 mem.example", "<TLS>", kEhloAuth, "235 ok"},
       S::StartTls,
       L"ops",
       {"EHLO client.example", "STARTTLS", "<TLS>", "EHLO client.example", plain},
       nullptr},
      {"the STARTTLS offer made in the clear does not count for AUTH",
       {"220 mem", "250-mem\r\n250-AUTH PLAIN\r\n250 STARTTLS", "220 go", "<TLS>", "250 mem"},
       S::StartTls,
       L"ops",
       {"EHLO client.example", "STARTTLS", "<TLS>", "EHLO client.example"},
       L"The server mem.example does not offer authentication; the mail is not sent.\n"},
      {"no mechanism that can be used",
       {"<TLS>", "220 mem", "250-mem\r\n250 AUTH CRAM-MD5 XOAUTH2"},
       S::Tls,
       L"ops",
       {"<TLS>", "EHLO client.example"},
       L"The server mem.example offers no authentication that can be used (PLAIN or LOGIN): "
       L"CRAM-MD5 XOAUTH2.\n"},
      {"AUTH refused",
       {"<TLS>", "220 mem", kEhloAuth, "535 5.7.8 Authentication credentials invalid"},
       S::Tls,
       L"ops",
       {"<TLS>", "EHLO client.example", plain},
       L"535 5.7.8 Authentication credentials invalid"},
      {"security without an account still says EHLO",
       {"<TLS>", "220 mem", "250 mem"},
       S::Tls,
       L"",
       {"<TLS>", "EHLO client.example"},
       nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    MemoryServer server(c.replies);
    const Outcome run = Connect(server, c.security, c.user, "pw");
    EXPECT_EQ(run.ok, c.error == nullptr);
    if (c.error != nullptr) {
      EXPECT_EQ(run.error, c.error);
    }
    EXPECT_EQ(server.log, c.log);
    for (const std::string& line : run.transcript) {
      EXPECT_EQ(line.find(Base64Encode("pw")), std::string::npos) << line;
      EXPECT_EQ(line.find(plain), std::string::npos) << line;
    }
  }
}

TEST(SmtpSecurityTest, TheTranscriptNamesTheStepsAndHidesTheCredentials) {
  MemoryServer server({"<TLS>", "220 mem", "250-mem\r\n250 AUTH LOGIN", "334 VXNlcm5hbWU6",
                       "334 UGFzc3dvcmQ6", "235 ok"});
  const Outcome run = Connect(server, SmtpSecurity::Tls, L"ops", "pw");
  ASSERT_TRUE(run.ok);
  EXPECT_EQ(server.serverName, "mem.example");  // the certificate is checked against it
  EXPECT_EQ(run.transcript,
            (V{"N TLS started (TLSv1.3 TEST); the certificate of mem.example is verified",
               "S 220 mem", "C EHLO client.example", "S 250-mem", "S 250 AUTH LOGIN",
               "C AUTH LOGIN", "S 334 VXNlcm5hbWU6", "C (the user name ops, hidden)",
               "S 334 UGFzc3dvcmQ6", "C (the password, hidden)", "S 235 ok"}));
}

TEST(SmtpSecurityTest, NothingIsSentInTheClearThatWasMeantToGoEncrypted) {
  // A user without TLS: refused before any connection is made.
  MemoryServer server({"220 mem", kEhloAuth});
  const Outcome run = Connect(server, SmtpSecurity::None, L"ops", "pw");
  EXPECT_FALSE(run.ok);
  EXPECT_EQ(run.error.rfind(L"An SMTP user is set, but the connection is not encrypted", 0), 0u);
  EXPECT_EQ(server.connects, 0);

  // A certificate that does not verify ends the mail with its reason.
  MemoryServer bad({"220 mem", kEhloTls, "220 go ahead"});
  bad.tlsFailure =
      platform::StreamError{platform::StreamError::Kind::Certificate, 0, "certificate has expired"};
  const Outcome expired = Connect(bad, SmtpSecurity::StartTls, L"ops", "pw");
  EXPECT_FALSE(expired.ok);
  EXPECT_EQ(expired.error,
            L"Socket TLS Error\nThe certificate of mem.example could not be verified: "
            L"certificate has expired. The mail is not sent.\n");
  EXPECT_EQ(bad.log, (V{"EHLO client.example", "STARTTLS"}));
}

TEST(SmtpSecurityTest, SettingsThatCannotBeUsedFailTheMailWithTheirReason) {
  struct Case {
    std::uint32_t port;
    const wchar_t* security;
    const wchar_t* error;  // null: usable
    SmtpSecurity parsed;
    const wchar_t* user = L"";
  };
  const Case cases[] = {
      {25, L"None", nullptr, SmtpSecurity::None},
      {587, L"starttls", nullptr, SmtpSecurity::StartTls},
      {465, L"Tls", nullptr, SmtpSecurity::Tls},
      {65535, L"NONE", nullptr, SmtpSecurity::None},
      {0, L"None", L"The SMTP port 0 is not a port (1 to 65535).\n", {}},
      {65536, L"None", L"The SMTP port 65536 is not a port (1 to 65535).\n", {}},
      {25, L"SSL", L"The SMTP security \"SSL\" is not known: None, STARTTLS or TLS.\n", {}},
      {25, L"", L"The SMTP security \"\" is not known: None, STARTTLS or TLS.\n", {}},
      // A user without encryption is told so before any password is looked for.
      {25, L"None",
       L"An SMTP user is set, but the connection is not encrypted: the password is not sent in "
       L"clear text. Choose STARTTLS or TLS as the security.\n",
       {}, L"ops"},
      {587, L"STARTTLS",
       L"An SMTP user is set, but there is no password: /nonexistent does not exist.\n", {},
       L"ops"},
  };
  for (const Case& c : cases) {
    settings::AppSettings::Values values;
    values.smtpPort = c.port;
    values.smtpSecurity = c.security;
    values.smtpUser = c.user;
    SmtpAccount account;
    std::wstring error;
    EXPECT_EQ(SmtpAccountFromSettings(values, "/nonexistent", account, error), c.error == nullptr)
        << c.port;
    if (c.error != nullptr) {
      EXPECT_EQ(error, c.error);
    } else {
      EXPECT_EQ(account.port, c.port);
      EXPECT_EQ(account.security, c.parsed);
    }
  }
}

}  // namespace
}  // namespace kestrune::evt
