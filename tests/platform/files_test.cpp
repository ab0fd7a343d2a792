#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstring>
#include <ctime>
#include <fstream>

#include "platform/linux_files.h"
#include "platform/text.h"
#include "temp_dir.h"

namespace kestrune::platform {
namespace {

using Bytes = std::vector<std::uint8_t>;

void WriteFile(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

// A version block laid out by hand: wLength, wValueLength, wType, the key
// "VS_VERSION_INFO" with its NUL, padding to a 4-byte boundary, then a body.
Bytes VersionBlock(std::uint16_t lengthField, std::size_t bodySize) {
  Bytes block{static_cast<std::uint8_t>(lengthField & 0xFF),
              static_cast<std::uint8_t>(lengthField >> 8),
              0x00,
              0x00,
              0x01,
              0x00};
  for (char c : std::string("VS_VERSION_INFO")) {
    block.push_back(static_cast<std::uint8_t>(c));
    block.push_back(0x00);
  }
  block.insert(block.end(), {0x00, 0x00, 0x00, 0x00});  // NUL and padding: 40 bytes so far
  for (std::size_t i = 0; i < bodySize; ++i) block.push_back(static_cast<std::uint8_t>(0xA0 + i));
  return block;
}

class FilesTest : public ::testing::Test {
 protected:
  testing::TempDir dir_;
  std::shared_ptr<Files> files_ = MakeLinuxFiles();
};

TEST_F(FilesTest, ModificationTimeIsTheCtimeTextWithoutLineEnd) {
  const std::string path = dir_.File("bv7210r.sys");
  WriteFile(path, Bytes{1, 2, 3});
  const timeval times[2] = {{741484148, 0}, {741484148, 0}};  // 1993-06-30
  ASSERT_EQ(utimes(path.c_str(), times), 0);

  const time_t expectedTime = 741484148;
  char expected[64] = {};
  ASSERT_NE(ctime_r(&expectedTime, expected), nullptr);
  expected[std::strlen(expected) - 1] = '\0';

  const auto text = files_->ModificationTimeText(FromUtf8(path));
  ASSERT_TRUE(text.has_value());
  EXPECT_EQ(*text, expected);
  EXPECT_EQ(text->size(), 24U);
  EXPECT_NE(text->find("1993"), std::string::npos);
}

TEST_F(FilesTest, ModificationTimeHandlesWideNamesAndMissingFiles) {
  const std::wstring name = FromUtf8(dir_.File("tr\xC3\xA9iber.sys"));
  WriteFile(ToUtf8(name), Bytes{0});
  EXPECT_TRUE(files_->ModificationTimeText(name).has_value());
  EXPECT_FALSE(files_->ModificationTimeText(FromUtf8(dir_.File("missing.sys"))).has_value());
}

TEST_F(FilesTest, FindsTheVersionBlockBetweenJunk) {
  const Bytes block = VersionBlock(60, 20);
  ASSERT_EQ(block.size(), 60U);
  // Junk of odd length before, and a key fragment too short to be the real one.
  Bytes file(1001, 0x5A);
  const Bytes decoy = VersionBlock(10, 0);  // lies: shorter than its own header and key
  file.insert(file.end(), decoy.begin(), decoy.end());
  file.insert(file.end(), block.begin(), block.end());
  file.insert(file.end(), 500, 0x00);
  const std::string path = dir_.File("driver.sys");
  WriteFile(path, file);

  EXPECT_EQ(files_->VersionResource(FromUtf8(path)), block);
}

TEST_F(FilesTest, FindsABlockWhoseKeyCrossesTheReadChunks) {
  // The reader works in 1 MiB pieces; put the key right across the seam.
  Bytes file((std::size_t{1} << 20) - 17, 0x11);
  const Bytes block = VersionBlock(48, 8);
  file.insert(file.end(), block.begin(), block.end());
  const std::string path = dir_.File("seam.sys");
  WriteFile(path, file);
  EXPECT_EQ(files_->VersionResource(FromUtf8(path)), block);
}

TEST_F(FilesTest, RefusesBlocksThatDoNotFitTheFile) {
  const std::string path = dir_.File("bad.sys");

  Bytes tooLong(100, 0x33);  // wLength runs past the end of the file
  const Bytes lying = VersionBlock(200, 20);
  tooLong.insert(tooLong.end(), lying.begin(), lying.end());
  WriteFile(path, tooLong);
  EXPECT_EQ(files_->VersionResource(FromUtf8(path)), std::nullopt);

  // Exactly to the last byte is fine.
  Bytes exact(100, 0x33);
  const Bytes fitting = VersionBlock(60, 20);
  exact.insert(exact.end(), fitting.begin(), fitting.end());
  WriteFile(path, exact);
  EXPECT_EQ(files_->VersionResource(FromUtf8(path)), fitting);

  // The key at the very start leaves no room for a header.
  const Bytes whole = VersionBlock(60, 20);
  const Bytes noHeader(whole.begin() + 6, whole.end());
  WriteFile(path, noHeader);
  EXPECT_EQ(files_->VersionResource(FromUtf8(path)), std::nullopt);

  // A file that is cut off in the middle of the block.
  Bytes truncated = VersionBlock(60, 20);
  truncated.resize(50);
  WriteFile(path, truncated);
  EXPECT_EQ(files_->VersionResource(FromUtf8(path)), std::nullopt);
}

TEST_F(FilesTest, NoBlockInEmptyMissingOrSpecialFiles) {
  const std::string empty = dir_.File("empty.sys");
  WriteFile(empty, Bytes{});
  EXPECT_EQ(files_->VersionResource(FromUtf8(empty)), std::nullopt);
  EXPECT_EQ(files_->VersionResource(FromUtf8(dir_.File("missing.sys"))), std::nullopt);
  EXPECT_EQ(files_->VersionResource(FromUtf8(dir_.path().string())), std::nullopt);
  const std::string fifo = dir_.File("pipe");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(files_->VersionResource(FromUtf8(fifo)), std::nullopt);  // must not hang
}

TEST_F(FilesTest, ScanStopsAtTheLimit) {
  const Bytes block = VersionBlock(48, 8);
  const std::string path = dir_.File("huge.sys");
  auto place = [&](std::uint64_t offset) {
    std::filesystem::remove(path);
    std::fstream out(path, std::ios::binary | std::ios::out);
    out.seekp(static_cast<std::streamoff>(offset));  // the gap stays a hole
    out.write(reinterpret_cast<const char*>(block.data()),
              static_cast<std::streamsize>(block.size()));
  };
  place(kMaxVersionScan - 4096);
  EXPECT_EQ(files_->VersionResource(FromUtf8(path)), block);
  place(kMaxVersionScan + 4096);
  EXPECT_EQ(files_->VersionResource(FromUtf8(path)), std::nullopt);
}

}  // namespace
}  // namespace kestrune::platform
