// kestrune-monitor --test-mail against loopback servers: the whole dialogue
// printed, and the exit status the server's answer.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "platform/recording_ui.h"
#include "platform/sqlite_registry.h"
#include "platform/temp_dir.h"
#include "settings/app_settings.h"
#include "support/loopback_smtp.h"

namespace kestrune::test {
namespace {

struct ToolRun {
  int status = -1;
  std::string output;  // standard output and error
};

ToolRun TestMail(const testing::TempDir& dir, std::uint16_t port) {
  const std::string command = "env KESTRUNE_REGISTRY=" + dir.File("registry.db") +
                              " XDG_STATE_HOME=" + dir.File("state") + " " KESTRUNE_MONITOR
                              " --test-mail --server 127.0.0.1 --port " +
                              std::to_string(port) + " 2>&1";
  ToolRun run;
  std::FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return run;
  char chunk[4096];
  for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;) run.output.append(chunk, n);
  const int status = ::pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

class TestMailTool : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    std::shared_ptr<platform::Registry> registry =
        platform::OpenSqliteRegistry(dir_.File("registry.db"), nullptr, error);
    ASSERT_TRUE(registry) << error;
    settings::AppSettings settings(registry, std::make_shared<platform::RecordingUi>());
    settings.Load(L"LAB1", [](platform::Registry&, platform::RegKey, const std::wstring&, bool,
                              std::vector<platform::RegKey>&) { return false; });
    auto values = settings.Get();
    values.smtpServer = L"mail.invalid";  // the --server option wins
    values.defaultEmail = L"raid@lab.example";
    values.eventList = L"ops@lab.example;";
    settings.Set(values);
    settings.Save();
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

}  // namespace
}  // namespace kestrune::test
