// The SMTP password file: where it is, what is refused, how it is written.
#include "settings/smtp_password.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "platform/temp_dir.h"
#include "support/scoped_env.h"

namespace kestrune::settings {
namespace {

void WriteFile(const std::string& path, const std::string& bytes, unsigned mode) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
  ::chmod(path.c_str(), mode);
}

unsigned ModeOf(const std::string& path) {
  struct stat info {};
  ::stat(path.c_str(), &info);
  return static_cast<unsigned>(info.st_mode) & 07777U;
}

TEST(SmtpPasswordTest, OnlyAFileThatOthersCannotReadIsUsed) {
  testing::TempDir dir;
  const std::string path = dir.File("smtp-password");
  struct Case {
    std::optional<std::string> bytes;  // none: no file
    unsigned mode;
    bool read;
    std::string password;
    std::wstring error;
  };
  const std::wstring name = std::filesystem::path(path).wstring();
  const Case cases[] = {
      {"s3cret", 0600, true, "s3cret", L""},
      {"s3cret\n", 0400, true, "s3cret", L""},  // echo's line end goes
      {"s3cret\r\n", 0600, true, "s3cret", L""},
      {"two\nlines\n\n", 0600, true, "two\nlines\n", L""},  // only one line end goes
      {"s3cret", 0644, false, "",
       L"The SMTP password file " + name +
           L" may be read or changed by other users (permissions 0644); it is not used. Make "
           L"it private: chmod 600 " +
           name + L"\n"},
      {"s3cret", 0640, false, "", L""},
      {"s3cret", 0602, false, "", L""},
      {std::nullopt, 0, false, "",
       L"An SMTP user is set, but there is no password: " + name + L" does not exist.\n"},
      {std::string(5000, 'x'), 0600, false, "", L""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode);
    std::filesystem::remove(path);
    if (c.bytes) WriteFile(path, *c.bytes, c.mode);
    std::string password = "stale";
    std::wstring error;
    EXPECT_EQ(ReadSmtpPassword(path, password, error), c.read);
    EXPECT_EQ(password, c.password);
    if (!c.error.empty()) {
      EXPECT_EQ(error, c.error);
    }
    EXPECT_EQ(error.empty(), c.read);
  }
  // A folder in the file's place.
  std::filesystem::remove(path);
  std::filesystem::create_directory(path);
  std::string password;
  std::wstring error;
  EXPECT_FALSE(ReadSmtpPassword(path, password, error));
  EXPECT_EQ(error, L"The SMTP password file " + name + L" cannot be read: not a file.\n");
}

TEST(SmtpPasswordTest, WrittenPrivateFromTheStartAndRemovedWhenEmpty) {
  testing::TempDir dir;
  const std::string path = dir.File("new/smtp-password");
  const mode_t old = ::umask(0);  // the widest umask: the file must still be 0600
  std::string error;
  ASSERT_TRUE(WriteSmtpPassword(path, "first", error)) << error;
  EXPECT_EQ(ModeOf(path), 0600U);
  EXPECT_EQ(ModeOf(dir.File("new")), 0700U);
  // A file others could read is replaced by a private one.
  ::chmod(path.c_str(), 0644);
  ASSERT_TRUE(WriteSmtpPassword(path, "second", error)) << error;
  ::umask(old);
  EXPECT_EQ(ModeOf(path), 0600U);
  std::string password;
  std::wstring readError;
  ASSERT_TRUE(ReadSmtpPassword(path, password, readError)) << readError.size();
  EXPECT_EQ(password, "second");
  ASSERT_TRUE(WriteSmtpPassword(path, "", error)) << error;
  EXPECT_FALSE(std::filesystem::exists(path));
  EXPECT_TRUE(WriteSmtpPassword(path, "", error)) << "removing no file is no failure";
}

TEST(SmtpPasswordTest, TheServiceCredentialWinsOverTheFileBesideTheStore) {
  testing::TempDir dir;
  test::ScopedEnv registry("KESTRUNE_REGISTRY", dir.File("etc/registry.db").c_str());
  {
    test::ScopedEnv none("CREDENTIALS_DIRECTORY", nullptr);
    EXPECT_EQ(SmtpPasswordPath(), dir.File("etc/smtp-password"));
  }
  std::filesystem::create_directory(dir.File("credentials"));
  test::ScopedEnv credentials("CREDENTIALS_DIRECTORY", dir.File("credentials").c_str());
  // A credentials folder without the password (another credential only).
  EXPECT_EQ(SmtpPasswordPath(), dir.File("etc/smtp-password"));
  WriteFile(dir.File("credentials/smtp-password"), "from systemd", 0400);
  EXPECT_EQ(SmtpPasswordPath(), dir.File("credentials/smtp-password"));

  // The credential of a service with a user of its own carries an access
  // list for that user, which shows as group bits: taken there, and only
  // there; any bit for others is refused all the same.
  for (const unsigned mode : {0400u, 0440u, 0404u}) {
    SCOPED_TRACE(mode);
    ::chmod(dir.File("credentials/smtp-password").c_str(), mode);
    std::string password;
    std::wstring error;
    EXPECT_EQ(ReadSmtpPassword(SmtpPasswordPath(), password, error), mode != 0404u);
    EXPECT_EQ(password, mode != 0404u ? "from systemd" : "");
  }
  WriteFile(dir.File("etc-copy"), "beside the store", 0440);
  std::string password;
  std::wstring error;
  EXPECT_FALSE(ReadSmtpPassword(dir.File("etc-copy"), password, error));
}

}  // namespace
}  // namespace kestrune::settings
