#include <gtest/gtest.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <climits>
#include <fstream>

#include "platform/linux_system_info.h"
#include "platform/text.h"
#include "temp_dir.h"

namespace kestrune::platform {
namespace {

std::wstring KernelRelease() {
  utsname names{};
  EXPECT_EQ(uname(&names), 0);
  return FromUtf8(names.release);
}

class SystemInfoTest : public ::testing::Test {
 protected:
  std::shared_ptr<SystemInfo> WithOsRelease(const std::string& text) {
    std::ofstream(path_, std::ios::binary) << text;
    return MakeLinuxSystemInfo(L"/srv/media", path_);
  }

  testing::TempDir dir_;
  std::string path_ = dir_.File("os-release");
};

TEST_F(SystemInfoTest, ReadsPrettyNameAndVersion) {
  auto info = WithOsRelease(
      "# generated\n"
      "NAME=\"Debian GNU/Linux\"\n"
      "PRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n"
      "VERSION_ID=\"12\"\n");
  EXPECT_EQ(info->OsName(), L"Debian GNU/Linux 12 (bookworm)");
  EXPECT_EQ(info->OsVersion(), L"12");
  EXPECT_EQ(info->OsRelease(), L"Linux " + KernelRelease());
  EXPECT_EQ(info->MediaPath(), L"/srv/media");
}

TEST_F(SystemInfoTest, FallsBackWhenFieldsOrFileAreMissing) {
  auto nameOnly = WithOsRelease("NAME='Arch Linux'\nPRETTY_NAME=\"\"\n");
  EXPECT_EQ(nameOnly->OsName(), L"Arch Linux");
  EXPECT_EQ(nameOnly->OsVersion(), KernelRelease());

  auto missing = MakeLinuxSystemInfo(L"", dir_.File("absent"));
  EXPECT_EQ(missing->OsName(), L"Linux");
  EXPECT_EQ(missing->OsVersion(), KernelRelease());

  auto binary = WithOsRelease(std::string("\x00\xFF\n=\n\xC3", 5));
  EXPECT_EQ(binary->OsName(), L"Linux");
}

TEST_F(SystemInfoTest, ComputerNameIsTheHostName) {
  char name[HOST_NAME_MAX + 1] = {};
  ASSERT_EQ(gethostname(name, sizeof name - 1), 0);
  EXPECT_EQ(MakeLinuxSystemInfo(L"")->ComputerName(), FromUtf8(name));
}

TEST(OsReleaseParseTest, FollowsShellQuoting) {
  const auto fields = ParseOsRelease(
      "  # indented comment\n"
      "DOUBLE=\"say \\\"hi\\\" \\\\ \\$HOME \\n\"\n"
      "SINGLE='no \\escapes $here'\n"
      "BARE=two\\ words # trailing comment\n"
      "JOINED=\"a\"'b'c\n"
      "CRLF=\"x\"\r\n"
      "OPEN=\"never closed\n"
      "UTF8=\"Caf\xC3\xA9\"\n"
      "bad line without equals\n"
      "=novalue\n"
      "BAD-KEY=1\n"
      "EMPTY=\n"
      "DUP=first\n"
      "DUP=second\n");
  const std::map<std::string, std::string> expected = {
      {"DOUBLE", "say \"hi\" \\ $HOME \\n"},
      {"SINGLE", "no \\escapes $here"},
      {"BARE", "two words"},
      {"JOINED", "abc"},
      {"CRLF", "x"},
      {"OPEN", "never closed"},
      {"UTF8", "Caf\xC3\xA9"},
      {"EMPTY", ""},
      {"DUP", "second"},
  };
  EXPECT_EQ(fields, expected);
}

}  // namespace
}  // namespace kestrune::platform
