// kestrune-monitor --test-mail against loopback servers: the whole dialogue
// printed, and the exit status the server's answer.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <memory>
#include <string>
#include <vector>

#include "platform/recording_ui.h"
#include "platform/sqlite_registry.h"
#include "platform/temp_dir.h"
#include "settings/app_settings.h"
#include "events/mail_message.h"
#include "platform/text.h"
#include "reg_command.h"
#include "settings/smtp_password.h"
#include "support/loopback_smtp.h"
#include "support/real_smtp.h"
#include "support/test_certificates.h"

namespace kestrune::test {
namespace {

struct ToolRun {
  int status = -1;
  std::string output;  // standard output and error
};

ToolRun Tool(const testing::TempDir& dir, const std::string& program, const std::string& args) {
  const std::string command = "env -u CREDENTIALS_DIRECTORY KESTRUNE_REGISTRY=" +
                              dir.File("registry.db") + " XDG_STATE_HOME=" + dir.File("state") +
                              " " + program + " " + args + " 2>&1 </dev/null";
  ToolRun run;
  std::FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return run;
  char chunk[4096];
  for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;) run.output.append(chunk, n);
  const int status = ::pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

ToolRun TestMail(const testing::TempDir& dir, std::uint16_t port) {
  return Tool(dir, KESTRUNE_MONITOR,
              "--test-mail --server 127.0.0.1 --port " + std::to_string(port));
}

class TestMailTool : public ::testing::Test {
 protected:
  void SetUp() override {
    Store([](settings::AppSettings::Values& values) {
      values.smtpServer = L"mail.invalid";  // the --server option wins
      values.defaultEmail = L"raid@lab.example";
      values.eventList = L"ops@lab.example;";
    });
  }
  void Store(const std::function<void(settings::AppSettings::Values&)>& change) {
    std::string error;
    std::shared_ptr<platform::Registry> registry =
        platform::OpenSqliteRegistry(dir_.File("registry.db"), nullptr, error);
    ASSERT_TRUE(registry) << error;
    settings::AppSettings settings(registry, std::make_shared<platform::RecordingUi>());
    settings.Load(L"LAB1", [](platform::Registry&, platform::RegKey, const std::wstring&, bool,
                              std::vector<platform::RegKey>&) { return false; });
    auto values = settings.Get();
    change(values);
    settings.Set(values);
    settings.Save();
  }
  std::string Reg(const std::vector<std::string>& args) {
    std::string error;
    auto registry = platform::OpenSqliteRegistry(dir_.File("registry.db"), nullptr, error);
    std::istringstream in;
    std::ostringstream out;
    std::ostringstream err;
    tools::RunRegCommand(args, *registry, in, out, err);
    return out.str() + err.str();
  }
  testing::TempDir dir_;
};

TEST_F(TestMailTool, AcceptedMailExitsZeroAndPrintsTheDialogue) {
  LoopbackSmtp server({"220 lab ESMTP\r\n", "250 lab\r\n", "250 ok\r\n", "250 ok\r\n",
                       "354 go ahead\r\n", "250 queued as 42\r\n", "221 bye\r\n"});
  const ToolRun run = TestMail(dir_, server.Port());
  EXPECT_EQ(run.status, 0) << run.output;
  for (const char* line : {"<- 220 lab ESMTP", "-> helo 127.0.0.1", "-> rcpt To:<ops@lab.example>",
                           "-> Subject: Kestrune - Event from system LAB1.", "<- 250 queued as 42",
                           "-> quit", "accepted the test mail"}) {
    EXPECT_NE(run.output.find(line), std::string::npos) << line << "\n" << run.output;
  }
  const auto& received = server.Received();
  ASSERT_GE(received.size(), 5u);
  EXPECT_NE(received[4].find("Kestrune test mail"), std::string::npos) << received[4];
}

TEST_F(TestMailTool, RefusedRecipientExitsNonZeroWithTheReply) {
  LoopbackSmtp server({"220 lab ESMTP\r\n", "250 lab\r\n", "250 ok\r\n",
                       "550 5.1.1 <ops@lab.example>: Recipient address rejected\r\n"});
  const ToolRun run = TestMail(dir_, server.Port());
  EXPECT_EQ(run.status, 1) << run.output;
  EXPECT_NE(run.output.find("the test mail failed: 550 5.1.1 <ops@lab.example>: Recipient "
                            "address rejected"),
            std::string::npos)
      << run.output;
}

// The test mail and the report through a real server with STARTTLS and AUTH:
// the dialogue shows each step, and the password is in no output, nor in the
// registry store, nor in any file the programs write.
TEST_F(TestMailTool, StartTlsAndAuthShownWithoutThePasswordAnywhere) {
  const std::string password = "Xy7!kestrune-secret";
  TestAuthority authority(dir_.File("ca.pem"));
  authority.Issue(dir_.File("server.key"), dir_.File("server.pem"), "DNS:localhost");
  RealSmtp::Listener submission;
  submission.name = "submission";
  submission.mode = "starttls";
  submission.cert = dir_.File("server.pem");
  submission.key = dir_.File("server.key");
  submission.auth = true;
  submission.authRequired = true;
  submission.user = "raid@lab.example";
  submission.password = password;
  RealSmtp server({submission}, dir_.path().string());
  const std::string port = std::to_string(server.Port("submission"));
  Store([&](settings::AppSettings::Values& values) {
    values.smtpServer = L"localhost";
    values.smtpPort = static_cast<std::uint32_t>(server.Port("submission"));
    values.smtpSecurity = L"STARTTLS";
    values.smtpUser = L"raid@lab.example";
    values.smtpCaFile = platform::FromUtf8(dir_.File("ca.pem"));
  });
  // The password beside the store, as kestrune's SMTP page writes it.
  std::string error;
  ASSERT_TRUE(settings::WriteSmtpPassword(dir_.File("smtp-password"), password, error)) << error;

  const ToolRun mail = Tool(dir_, KESTRUNE_MONITOR, "--test-mail");
  EXPECT_EQ(mail.status, 0) << mail.output;
  for (const char* line : {"-> EHLO ", "-> STARTTLS", "<- 220", "-- TLS started (TLSv1.",
                           "-> AUTH PLAIN (the credentials of raid@lab.example, hidden)",
                           "<- 235", "accepted the test mail"})
    EXPECT_NE(mail.output.find(line), std::string::npos) << line << "\n" << mail.output;
  const ToolRun report = Tool(dir_, KESTRUNE_REPORT, "--mail --verbose");
  EXPECT_EQ(report.status, 0) << report.output;
  EXPECT_NE(report.output.find("-> AUTH PLAIN (the credentials"), std::string::npos);
  ASSERT_EQ(server.Mails().size(), 2u);
  EXPECT_EQ(server.Mails()[1]["login"], "raid@lab.example");

  // A password file that others may read is refused, loudly, and not used.
  ::chmod(dir_.File("smtp-password").c_str(), 0644);
  const ToolRun refused = Tool(dir_, KESTRUNE_MONITOR, "--test-mail");
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.output.find("may be read or changed by other users (permissions 0644)"),
            std::string::npos)
      << refused.output;
  EXPECT_EQ(server.Mails().size(), 2u);

  // The monitor's log (its event mails fail on the same refusal).
  Store([&](settings::AppSettings::Values& values) {
    values.emailEventLevel = 1;
    values.logFileLocation = platform::FromUtf8(dir_.File("state")) + L"/";
  });
  const ToolRun monitor = Tool(dir_, KESTRUNE_MONITOR, "--once --interval 0");
  EXPECT_EQ(monitor.status, 0) << monitor.output;

  const std::vector<std::string> outputs = {
      mail.output,
      report.output,
      refused.output,
      monitor.output,
      Tool(dir_, KESTRUNE_REPORT, "--json").output,
      Tool(dir_, KESTRUNE_REPORT, "").output,
      Reg({"query", "HKLM\\Software\\Brevalis\\Kestrune"}),
      Reg({"export", "HKLM", dir_.File("export.reg"), "/y"}),
  };
  std::vector<std::string> files = {dir_.File("registry.db"), dir_.File("export.reg")};
  for (const auto& entry : std::filesystem::recursive_directory_iterator(dir_.File("state")))
    if (entry.is_regular_file()) files.push_back(entry.path().string());
  EXPECT_GT(files.size(), 2u) << "the monitor wrote no log";
  const std::string b64Password = evt::Base64Encode(password);
  const std::string b64Plain =
      evt::Base64Encode(std::string(1, '\0') + "raid@lab.example" + '\0' + password);
  auto clean = [&](const std::string& text, const std::string& where) {
    for (const std::string& secret : {password, b64Password, b64Plain})
      EXPECT_EQ(text.find(secret), std::string::npos) << where;
    // UTF-16 as the registry and the log file keep their texts.
    std::string wide;
    for (const char c : password) wide += std::string{c, '\0'};
    EXPECT_EQ(text.find(wide), std::string::npos) << where;
  };
  for (std::size_t i = 0; i < outputs.size(); ++i) clean(outputs[i], "output " + std::to_string(i));
  for (const std::string& file : files) {
    std::ifstream in(file, std::ios::binary);
    clean({std::istreambuf_iterator<char>(in), {}}, file);
  }
}

}  // namespace
}  // namespace kestrune::test
