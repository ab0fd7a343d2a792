// The log file reader: line breaks, byte-order mark, bad UTF-16, and a file
// that grows, shrinks or is replaced while it is read.
#include "events/log_reader.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/temp_dir.h"

namespace kestrune::evt {
namespace {

using Bytes = std::vector<std::uint8_t>;

// UTF-16LE of ASCII text, with the mark in front when asked.
Bytes U16(const std::string& text, bool mark = true) {
  Bytes out;
  if (mark) out = {0xFF, 0xFE};
  for (char c : text) {
    out.push_back(static_cast<std::uint8_t>(c));
    out.push_back(0);
  }
  return out;
}

Bytes Cat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

std::vector<std::wstring> Lines(const LogLineIndex& index, const Bytes& bytes) {
  std::vector<std::wstring> lines;
  for (std::size_t i = 0; i < index.LineCount(); ++i) {
    const LogLineSpan span = index.Line(i);
    lines.push_back(DecodeLogLine(std::span(bytes).subspan(span.offset, span.length)));
  }
  return lines;
}

TEST(LogLineIndexTest, LinesOfEveryShapeWholeAndInPieces) {
  using L = std::vector<std::wstring>;
  struct Case {
    Bytes bytes;
    L lines;
  };
  const Case cases[] = {
      {U16(""), L{}},
      {U16("A\r\nB\r\nC\r\n"), L{L"A", L"B", L"C"}},
      {U16("time\tentry\n\tsecond line\r\n"), L{L"time\tentry", L"\tsecond line"}},
      {U16("A\nB\r\nC"), L{L"A", L"B", L"C"}},               // unfinished last line
      {U16("A\rB\r\r\nC\r"), L{L"A", L"B", L"", L"C"}},      // lone CRs end lines
      {U16("\r\n\r\n"), L{L"", L""}},
      {U16("no mark\r\nhere", false), L{L"no mark", L"here"}},
      {Cat(U16("A\r\n"), Bytes{0x42}), L{L"A", L"\uFFFD"}},  // odd last byte
      {Cat(U16("x"), Bytes{0x00, 0xD8, 0x41, 0x00, 0x3D, 0xD8, 0x00, 0xDE, 0x00, 0xDC}),
       L{L"x\uFFFDA\U0001F600\uFFFD"}},  // lone and paired surrogates
      {Bytes{0xFF}, L{}},                // half a mark is no line yet
      {Bytes{0xFE, 0xFF, 0x41, 0x00}, L{L"\uFFFEA"}},  // a big-endian mark is text
      {Cat(U16("A"), Bytes{0x00, 0x00, 0x0A, 0x00}), L{std::wstring(L"A\0", 2)}},
  };
  for (const Case& c : cases) {
    LogLineIndex whole;
    whole.Add(c.bytes);
    EXPECT_EQ(Lines(whole, c.bytes), c.lines);
    EXPECT_EQ(whole.Size(), c.bytes.size());
    // One byte at a time, and in pieces of three, give the same lines.
    for (std::size_t step : {1u, 3u}) {
      LogLineIndex pieces;
      for (std::size_t at = 0; at < c.bytes.size(); at += step)
        pieces.Add(std::span(c.bytes).subspan(at, std::min(step, c.bytes.size() - at)));
      EXPECT_EQ(Lines(pieces, c.bytes), c.lines) << "pieces of " << step;
    }
  }
}

void Append(const std::string& path, const Bytes& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::app)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

TEST(LogFileReaderTest, TakesWhatIsAppendedAndStartsAgainWhenPurgedOrReplaced) {
  testing::TempDir dir;
  const std::string path = dir.File("errlgr.txt");
  LogFileReader reader(path);
  EXPECT_EQ(reader.Open(), ENOENT);
  EXPECT_EQ(reader.LineCount(), 0u);

  Append(path, U16("first\r\nsecond\r"));
  ASSERT_EQ(reader.Open(), 0);
  ASSERT_EQ(reader.LineCount(), 2u);
  EXPECT_EQ(reader.Line(1), L"second");
  EXPECT_EQ(reader.Line(1, 3), L"sec");
  EXPECT_EQ(reader.Line(2), L"");  // beyond the last line

  // The logger goes on writing: the held CR turns out to be CR LF.
  Append(path, U16("\nthird\r\n", false));
  bool restarted = true;
  ASSERT_EQ(reader.Refresh(restarted), 0);
  EXPECT_FALSE(restarted);
  ASSERT_EQ(reader.LineCount(), 3u);
  EXPECT_EQ(reader.Line(1), L"second");
  EXPECT_EQ(reader.Line(2), L"third");

  // Purged: emptied down to its mark.
  { std::ofstream(path, std::ios::binary | std::ios::trunc).write("\xFF\xFE", 2); }
  ASSERT_EQ(reader.Refresh(restarted), 0);
  EXPECT_TRUE(restarted);
  EXPECT_EQ(reader.LineCount(), 0u);

  // Replaced by another file under the same name.
  const std::string other = dir.File("other.txt");
  Append(other, U16("new\r\n"));
  std::filesystem::rename(other, path);
  ASSERT_EQ(reader.Refresh(restarted), 0);
  EXPECT_TRUE(restarted);
  ASSERT_EQ(reader.LineCount(), 1u);
  EXPECT_EQ(reader.Line(0), L"new");

  std::filesystem::remove(path);
  EXPECT_EQ(reader.Refresh(restarted), ENOENT);
  EXPECT_EQ(reader.LineCount(), 0u);

  // A pipe is refused without waiting for a writer.
  ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
  EXPECT_EQ(reader.Open(), EINVAL);
}

}  // namespace
}  // namespace kestrune::evt
