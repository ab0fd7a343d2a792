// The log file: its mark, its entries' bytes, and that writing never creates it.
#include "events/log_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/temp_dir.h"
#include "platform/text.h"

namespace kestrune::evt {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteRaw(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

std::wstring W(const std::string& path) {
  return platform::FromUtf8(path);
}

TEST(LogFile, OpenCreatesWithTheMarkAndKeepsExistingContent) {
  testing::TempDir dir;
  const std::string path = dir.File("log.txt");
  {
    LogFileHandle held = OpenLogFile(W(path), false);
    ASSERT_TRUE(held);
    EXPECT_EQ(Read(path), (Bytes{0xFF, 0xFE}));
  }
  WriteRaw(path, {0xFF, 0xFE, 'a', 0});
  EXPECT_TRUE(OpenLogFile(W(path), false));
  EXPECT_EQ(Read(path), (Bytes{0xFF, 0xFE, 'a', 0}));
  // An empty file that exists gets its mark too.
  WriteRaw(path, {});
  EXPECT_TRUE(OpenLogFile(W(path), false));
  EXPECT_EQ(Read(path), (Bytes{0xFF, 0xFE}));
  // Truncating empties it down to a fresh mark.
  WriteRaw(path, {0xFF, 0xFE, 'a', 0, 'b', 0});
  EXPECT_TRUE(OpenLogFile(W(path), true));
  EXPECT_EQ(Read(path), (Bytes{0xFF, 0xFE}));
}

TEST(LogFile, OpenFailsForMissingFoldersAndFolders) {
  testing::TempDir dir;
  EXPECT_FALSE(OpenLogFile(W(dir.File("no/such/log.txt")), false));
  EXPECT_FALSE(std::filesystem::exists(dir.File("no")));
  EXPECT_FALSE(OpenLogFile(W(dir.path().string()), false));
  EXPECT_FALSE(OpenLogFile(L"", false));
}

TEST(LogFile, OnlyTheFinalLineFeedBecomesCrLf) {
  EXPECT_EQ(EncodeLogEntry(L"a\nb\n"), (Bytes{'a', 0, '\n', 0, 'b', 0, '\r', 0, '\n', 0}));
  EXPECT_EQ(EncodeLogEntry(L"a\r\nb"), (Bytes{'a', 0, '\r', 0, '\n', 0, 'b', 0}));
  EXPECT_EQ(EncodeLogEntry(L"x\r\n"), (Bytes{'x', 0, '\r', 0, '\r', 0, '\n', 0}));
  EXPECT_EQ(EncodeLogEntry(L"\n"), (Bytes{'\r', 0, '\n', 0}));
  EXPECT_TRUE(EncodeLogEntry(L"").empty());
}

TEST(LogFile, CharactersBeyondTheBasicPlaneAreSurrogatePairs) {
  // U+00E9, U+20AC, U+1F600, then an unpaired surrogate value.
  EXPECT_EQ(EncodeLogEntry(std::wstring{L'\u00E9', L'\u20AC', wchar_t(0x1F600), wchar_t(0xD800)}),
            (Bytes{0xE9, 0x00, 0xAC, 0x20, 0x3D, 0xD8, 0x00, 0xDE, 0xFD, 0xFF}));
}

TEST(LogFile, WritingAppendsButNeverCreates) {
  testing::TempDir dir;
  const std::string path = dir.File("log.txt");
  EXPECT_FALSE(WriteLogEntry(W(path), L"lost\n", true));
  EXPECT_FALSE(std::filesystem::exists(path));

  ASSERT_TRUE(OpenLogFile(W(path), false));
  EXPECT_TRUE(WriteLogEntry(W(path), L"a\n", true));
  EXPECT_FALSE(WriteLogEntry(W(path), L"off\n", false));
  EXPECT_TRUE(WriteLogEntry(W(path), L"b", true));
  EXPECT_EQ(Read(path), (Bytes{0xFF, 0xFE, 'a', 0, '\r', 0, '\n', 0, 'b', 0}));

  // Writing goes to the end even after someone else wrote there.
  std::ofstream(path, std::ios::binary | std::ios::app).write("c\0", 2);
  EXPECT_TRUE(WriteLogEntry(W(path), L"d\n", true));
  EXPECT_EQ(Read(path), (Bytes{0xFF, 0xFE, 'a', 0, '\r', 0, '\n', 0, 'b', 0, 'c', 0, 'd', 0, '\r',
                               0, '\n', 0}));
  // Not into a folder.
  EXPECT_FALSE(WriteLogEntry(W(dir.path().string()), L"x\n", true));
}

}  // namespace
}  // namespace kestrune::evt
