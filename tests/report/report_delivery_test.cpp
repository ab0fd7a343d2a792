// The three deliveries: the saved file's bytes, the clipboard text and the
// mail dialogue as a loopback SMTP server sees it.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/recording_ui.h"
#include "platform/temp_dir.h"
#include "platform/text.h"
#include "report/report.h"
#include "report/report_rig.h"
#include "support/file_size_limit.h"
#include "support/loopback_port.h"
#include "support/loopback_smtp.h"

namespace kestrune::test {
namespace {

using namespace std::chrono_literals;

std::vector<unsigned char> ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(ReportFile, Utf16LittleEndianWithoutMarkOrTerminator) {
  ReportMachine m(sim::DefaultScenario());
  const std::wstring report = m.Report();
  testing::TempDir dir;
  const std::string path = dir.File(rpt::kDefaultReportFileName);
  ASSERT_TRUE(rpt::SaveReportFile(path, report));
  const auto bytes = ReadAll(path);
  EXPECT_EQ(bytes.size(), 2 * report.size());
  // "\r\nKe", two bytes each, low byte first.
  const std::vector<unsigned char> head = {0x0D, 0x00, 0x0A, 0x00, 0x4B, 0x00, 0x65, 0x00};
  ASSERT_GE(bytes.size(), head.size());
  EXPECT_EQ(std::vector<unsigned char>(bytes.begin(), bytes.begin() + 8), head);
  // Ends with the last line end, no NUL after it.
  EXPECT_EQ(std::vector<unsigned char>(bytes.end() - 4, bytes.end()),
            (std::vector<unsigned char>{0x0D, 0x00, 0x0A, 0x00}));
  EXPECT_EQ(platform::FromUtf16Le(std::span<const std::uint8_t>(bytes.data(), bytes.size())),
            report);
}

TEST(ReportFile, AnExistingFileIsReplacedWhole) {
  testing::TempDir dir;
  const std::string path = dir.File("old.txt");
  { std::ofstream(path, std::ios::binary) << std::string(1000, 'x'); }
  ASSERT_TRUE(rpt::SaveReportFile(path, L"A\x20AC"));  // A and the euro sign
  EXPECT_EQ(ReadAll(path), (std::vector<unsigned char>{0x41, 0x00, 0xAC, 0x20}));
  ASSERT_TRUE(rpt::SaveReportFile(path, L""));
  EXPECT_TRUE(ReadAll(path).empty());
}

TEST(ReportFile, FailureWhenTheFileCannotBeCreated) {
  testing::TempDir dir;
  EXPECT_FALSE(rpt::SaveReportFile(dir.File("missing/folder/QV200CFG.txt"), L"text"));
  EXPECT_FALSE(std::filesystem::exists(dir.File("missing")));
  EXPECT_FALSE(rpt::SaveReportFile(dir.File(""), L"text"));  // the folder itself

  platform::RecordingUi ui;
  rpt::ShowFileFailure(ui);
  ASSERT_EQ(ui.MessageCount(), 1u);
  EXPECT_EQ(ui.LastMessage()->text, L"Result file creation failure!!!");
}

std::vector<std::string> FolderContent(const testing::TempDir& dir) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(ReportFile, AFullDiskLeavesTheOldFileOrNoneAndNoScratch) {
  testing::TempDir dir;
  const std::string old = dir.File("old.txt");
  { std::ofstream(old, std::ios::binary) << "previous"; }
  const std::wstring report(5000, L'r');
  {
    test::ScopedFileSizeLimit full(1000);
    std::string why;
    EXPECT_FALSE(rpt::SaveReportFile(old, report, &why));
    EXPECT_EQ(why, "File too large");
    EXPECT_FALSE(rpt::SaveReportFile(dir.File("new.txt"), report));
  }
  EXPECT_EQ(ReadAll(old), (std::vector<unsigned char>{'p', 'r', 'e', 'v', 'i', 'o', 'u', 's'}));
  EXPECT_EQ(FolderContent(dir), std::vector<std::string>{"old.txt"});
}

TEST(ReportFile, OnlyRegularFilesAreReplacedAndLinksStayLinks) {
  testing::TempDir dir;
  const std::string fifo = dir.File("fifo.txt");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::string why;
  EXPECT_FALSE(rpt::SaveReportFile(fifo, L"text", &why));  // returns at once: nobody reads
  EXPECT_EQ(why, "not a regular file");
  EXPECT_TRUE(std::filesystem::is_fifo(fifo));
  EXPECT_FALSE(rpt::SaveReportFile(dir.path().string(), L"text"));

  const std::string target = dir.File("target.txt");
  const std::string link = dir.File("link.txt");
  { std::ofstream(target) << "old"; }
  std::filesystem::create_symlink("target.txt", link);
  ASSERT_TRUE(rpt::SaveReportFile(link, L"AB"));
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(ReadAll(target), (std::vector<unsigned char>{'A', 0, 'B', 0}));
  EXPECT_EQ(FolderContent(dir), (std::vector<std::string>{"fifo.txt", "link.txt", "target.txt"}));
}

TEST(ReportClipboard, WholeTextOrNothing) {
  platform::RecordingUi ui;
  const std::wstring report = L"\r\nline one\r\n\tline two\r\n";
  EXPECT_TRUE(rpt::CopyReportToClipboard(ui, report));
  ASSERT_EQ(ui.ClipboardTexts().size(), 1u);
  EXPECT_EQ(ui.ClipboardTexts()[0], report);
  ui.SetClipboardResult(false);
  EXPECT_FALSE(rpt::CopyReportToClipboard(ui, report));
  EXPECT_EQ(ui.MessageCount(), 0u);
}

const evt::SmtpOptions kQuick{3000ms};

TEST(ReportMail, FourStepsOnOneConnectionWithTheReportAsBody) {
  ReportMachine m(sim::DefaultScenario());
  const std::wstring report = m.Report();
  LoopbackSmtp server({"220 lab.example ready\r\n", "250 hello\r\n", "250 sender ok\r\n",
                       "250 rcpt ok\r\n", "250 rcpt ok\r\n", "354 go ahead\r\n", "250 queued\r\n",
                       "221 bye\r\n"});
  std::wstring error;
  ASSERT_TRUE(rpt::MailReport(L"127.0.0.1", L"ops@lab.example;boss@lab.example,",
                              L"Kestrune Configuration", L"kestrune@lab.example", report, error,
                              kQuick, server.Port()))
      << platform::ToUtf8(error);
  const auto& got = server.Received();
  ASSERT_EQ(got.size(), 7u);
  EXPECT_EQ(got[0], "helo 127.0.0.1\r\n");
  EXPECT_EQ(got[1], "mail From:<kestrune@lab.example>\r\n");
  EXPECT_EQ(got[2], "rcpt To:<ops@lab.example>\r\n");
  EXPECT_EQ(got[3], "rcpt To:<boss@lab.example>\r\n");
  EXPECT_EQ(got[4], "data\r\n");
  const std::string& mail = got[5];
  EXPECT_NE(mail.find("TO: ops@lab.example\r\nTO: boss@lab.example\r\n"), std::string::npos);
  EXPECT_NE(mail.find("Subject: Kestrune Configuration\r\nMessage-ID: <"), std::string::npos);
  const std::string header =
      "MIME-Version: 1.0\r\nContent-Type: text/plain; charset=UTF-8\r\n"
      "Content-Transfer-Encoding: 7bit\r\n\r\n";
  const auto subject = mail.find(header);
  ASSERT_NE(subject, std::string::npos);
  // The body is the report, line ends and all, then the terminator.
  EXPECT_EQ(mail.substr(subject + header.size()), platform::ToUtf8(report) + "\r\n.\r\n");
  EXPECT_EQ(got[6], "quit\r\n");
}

TEST(ReportMail, StopsAtTheFirstRefusedStepWithTheServersLine) {
  LoopbackSmtp server(
      {"220 lab.example ready\r\n", "250 hello\r\n", "250 sender ok\r\n", "550 no such user\r\n"});
  std::wstring error;
  EXPECT_FALSE(rpt::MailReport(L"127.0.0.1", L"nobody@lab.example;", L"s", L"k@lab.example",
                               L"report\r\n", error, kQuick, server.Port()));
  EXPECT_EQ(error, L"550 no such user");
  // No data and no quit follow; the connection is closed.
  const auto& got = server.Received();
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[2], "rcpt To:<nobody@lab.example>\r\n");

  platform::RecordingUi ui;
  rpt::ShowMailFailure(ui, error);
  ASSERT_EQ(ui.MessageCount(), 1u);
  EXPECT_EQ(ui.LastMessage()->text, L"550 no such user");
  EXPECT_EQ(ui.LastMessage()->caption, L"Ostrevan Error");
  EXPECT_EQ(ui.LastMessage()->icon, platform::MsgIcon::Information);
}

TEST(ReportMail, RefusedConnectionGivesTheConnectErrorText) {
  const RefusingPort port;
  std::wstring error;
  EXPECT_FALSE(
      rpt::MailReport(L"127.0.0.1", L"a@b;", L"s", L"k@b", L"r", error, kQuick, port.Port()));
  EXPECT_EQ(error,
            L"Socket Connect Error\n"
            L"The attempt to connect was forcefully rejected.\n"
            L"Error code 0x0000274d.\n");
}

}  // namespace
}  // namespace kestrune::test
