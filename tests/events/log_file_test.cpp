// The log file: its mark, its entries' bytes, and that writing never creates it.
#include "events/log_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>

#include "platform/temp_dir.h"
#include "platform/text.h"
#include "support/file_size_limit.h"

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

TEST(LogFile, EveryEntryEndsInExactlyOneCrLf) {
  // Only the final line feed becomes CR LF; inner ones stay single.
  EXPECT_EQ(EncodeLogEntry(L"a\nb\n"), (Bytes{'a', 0, '\n', 0, 'b', 0, '\r', 0, '\n', 0}));
  EXPECT_EQ(EncodeLogEntry(L"\n"), (Bytes{'\r', 0, '\n', 0}));
  // An entry without a line end (a mail error that is the server's reply
  // line) still ends its line, so the next time stamp starts a new one.
  EXPECT_EQ(EncodeLogEntry(L"a\r\nb"), (Bytes{'a', 0, '\r', 0, '\n', 0, 'b', 0, '\r', 0, '\n', 0}));
  // One that ends in CR LF already gets no second; a final CR gets its LF.
  EXPECT_EQ(EncodeLogEntry(L"x\r\n"), (Bytes{'x', 0, '\r', 0, '\n', 0}));
  EXPECT_EQ(EncodeLogEntry(L"x\r"), (Bytes{'x', 0, '\r', 0, '\n', 0}));
  EXPECT_TRUE(EncodeLogEntry(L"").empty());
}

TEST(LogFile, CharactersBeyondTheBasicPlaneAreSurrogatePairs) {
  // U+00E9, U+20AC, U+1F600, then an unpaired surrogate value.
  EXPECT_EQ(EncodeLogEntry(std::wstring{L'\u00E9', L'\u20AC', wchar_t(0x1F600), wchar_t(0xD800)}),
            (Bytes{0xE9, 0x00, 0xAC, 0x20, 0x3D, 0xD8, 0x00, 0xDE, 0xFD, 0xFF, '\r', 0, '\n', 0}));
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
  EXPECT_EQ(Read(path), (Bytes{0xFF, 0xFE, 'a', 0, '\r', 0, '\n', 0, 'b', 0, '\r', 0, '\n', 0}));

  // Writing goes to the end even after someone else wrote there.
  std::ofstream(path, std::ios::binary | std::ios::app).write("c\0", 2);
  EXPECT_TRUE(WriteLogEntry(W(path), L"d\n", true));
  EXPECT_EQ(Read(path), (Bytes{0xFF, 0xFE, 'a', 0, '\r', 0, '\n', 0, 'b', 0, '\r', 0, '\n', 0, 'c',
                               0, 'd', 0, '\r', 0, '\n', 0}));
  // Not into a folder.
  EXPECT_FALSE(WriteLogEntry(W(dir.path().string()), L"x\n", true));
}

TEST(LogFile, LinksAndOtherNonRegularFilesAreRefused) {
  testing::TempDir dir;
  const std::string target = dir.File("target.txt");
  const std::string link = dir.File("log.txt");
  WriteRaw(target, {'k', 0});
  std::filesystem::create_symlink(target, link);
  EXPECT_FALSE(OpenLogFile(W(link), false));
  EXPECT_FALSE(OpenLogFile(W(link), true));
  EXPECT_FALSE(WriteLogEntry(W(link), L"x\n", true));
  EXPECT_EQ(Read(target), (Bytes{'k', 0}));

  // A dangling link's target is not created.
  std::filesystem::remove(target);
  EXPECT_FALSE(OpenLogFile(W(link), false));
  EXPECT_FALSE(std::filesystem::exists(target));

  // A pipe is neither waited on nor written.
  const std::string fifo = dir.File("fifo.txt");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_FALSE(OpenLogFile(W(fifo), false));
  EXPECT_FALSE(WriteLogEntry(W(fifo), L"x\n", true));

  // A link in the folder part of the path is followed as before.
  std::filesystem::create_directory(dir.File("real"));
  std::filesystem::create_directory_symlink(dir.File("real"), dir.File("linked"));
  EXPECT_TRUE(OpenLogFile(W(dir.File("linked/log.txt")), false));
  EXPECT_TRUE(std::filesystem::exists(dir.File("real/log.txt")));
}

class RecordingProblems : public platform::ProblemReport {
 public:
  void Report(const std::string& text) override {
    std::lock_guard lock(mutex_);
    lines_.push_back(text);
  }
  std::vector<std::string> Lines() {
    std::lock_guard lock(mutex_);
    return lines_;
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> lines_;
};

using test::ScopedFileSizeLimit;

TEST(LogWriterTest, AFailedWriteLeavesNothingIsReportedOnceAndGoesInWithTheNextEntry) {
  testing::TempDir dir;
  const std::string path = dir.File("log.txt");
  ASSERT_TRUE(OpenLogFile(W(path), false));
  auto problems = std::make_shared<RecordingProblems>();
  LogWriter writer(problems);
  ASSERT_TRUE(writer.Write(W(path), L"first\n", true));
  const Bytes before = Read(path);
  {
    // Room for a few characters only: the entries are cut mid-text.
    ScopedFileSizeLimit full(before.size() + 5);
    EXPECT_FALSE(WriteLogEntry(W(path), L"cut entry\n", true));
    EXPECT_EQ(Read(path), before);
    EXPECT_FALSE(writer.Write(W(path), L"second entry\n", true));
    EXPECT_FALSE(writer.Write(W(path), L"third entry\n", true));
    EXPECT_EQ(Read(path), before);
    EXPECT_EQ(writer.HeldEntries(), 2u);
  }
  ASSERT_EQ(problems->Lines().size(), 1u);
  EXPECT_NE(problems->Lines()[0].find(path), std::string::npos) << problems->Lines()[0];
  EXPECT_NE(problems->Lines()[0].find("File too large"), std::string::npos) << problems->Lines()[0];

  // With room again, the held entries go in before the next, in order.
  EXPECT_TRUE(writer.Write(W(path), L"fourth\n", true));
  EXPECT_EQ(writer.HeldEntries(), 0u);
  EXPECT_EQ(Read(path), [&] {
    Bytes all = before;
    for (const wchar_t* text : {L"second entry\n", L"third entry\n", L"fourth\n"}) {
      const Bytes entry = EncodeLogEntry(text);
      all.insert(all.end(), entry.begin(), entry.end());
    }
    return all;
  }());
  ASSERT_EQ(problems->Lines().size(), 2u);
  EXPECT_NE(problems->Lines()[1].find("written again; 2 held entries"), std::string::npos)
      << problems->Lines()[1];
}

TEST(LogWriterTest, HeldEntriesAreBoundedAndThoseStillHeldAtTheEndAreReported) {
  testing::TempDir dir;
  const std::string path = dir.File("log.txt");
  ASSERT_TRUE(OpenLogFile(W(path), false));
  auto problems = std::make_shared<RecordingProblems>();
  {
    LogWriter writer(problems);
    const std::wstring big(LogWriter::kMaxHeldBytes / 2 / 3, L'x');  // a third of the bound
    ScopedFileSizeLimit full(2);
    for (int i = 0; i < 5; ++i) EXPECT_FALSE(writer.Write(W(path), big, true));
    EXPECT_EQ(writer.HeldEntries(), 2u);
    // Logging off: nothing is tried, nothing reported.
    EXPECT_FALSE(writer.Write(W(path), L"off\n", false));
  }
  EXPECT_EQ(Read(path), (Bytes{0xFF, 0xFE}));
  ASSERT_EQ(problems->Lines().size(), 2u);
  EXPECT_NE(problems->Lines()[1].find("5 entries could not be written"), std::string::npos)
      << problems->Lines()[1];
}

}  // namespace
}  // namespace kestrune::evt
