#include "events/log_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/text.h"

namespace kestrune::evt {

namespace {

constexpr std::uint16_t kBom = 0xFEFF;
constexpr std::uint16_t kCr = 0x000D;
constexpr std::uint16_t kLf = 0x000A;
constexpr std::size_t kReadChunk = std::size_t{1} << 20;

}  // namespace

// LogLineIndex

void LogLineIndex::EndLine(std::uint64_t end, std::uint64_t next) {
  starts_.push_back(open_);
  ends_.push_back(end);
  open_ = next;
}

void LogLineIndex::Unit(std::uint16_t unit, std::uint64_t at) {
  if (!started_) {
    started_ = true;
    if (unit == kBom) {
      bom_ = true;
      open_ = at + 2;
      return;
    }
  }
  if (crHeld_) {
    crHeld_ = false;
    if (unit == kLf) {
      EndLine(crAt_, at + 2);
      return;
    }
    EndLine(crAt_, crAt_ + 2);  // a lone CR ends its line too
  }
  if (unit == kLf) {
    EndLine(at, at + 2);
  } else if (unit == kCr) {
    crHeld_ = true;
    crAt_ = at;
  }
}

void LogLineIndex::Add(std::span<const std::uint8_t> bytes) {
  std::size_t i = 0;
  if (oddHeld_ && !bytes.empty()) {
    Unit(static_cast<std::uint16_t>(odd_ | (bytes[0] << 8)), size_ - 1);
    oddHeld_ = false;
    i = 1;
  }
  // Offsets of units are counted from the file's start: a unit starts at an
  // even offset.
  for (; i + 1 < bytes.size(); i += 2) {
    Unit(static_cast<std::uint16_t>(bytes[i] | (bytes[i + 1] << 8)), size_ + i);
  }
  if (i < bytes.size()) {
    oddHeld_ = true;
    odd_ = bytes[i];
  }
  size_ += bytes.size();
}

std::size_t LogLineIndex::LineCount() const {
  // The unfinished line counts once it has a byte of its own (a held CR
  // ends a line even when that line is empty); half a byte-order mark
  // does not.
  const bool open = started_ ? (size_ > open_ || crHeld_) : false;
  return starts_.size() + (open ? 1 : 0);
}

LogLineSpan LogLineIndex::Line(std::size_t index) const {
  if (index < starts_.size()) return {starts_[index], ends_[index] - starts_[index]};
  const std::uint64_t end = crHeld_ ? crAt_ : size_;
  return {open_, end > open_ ? end - open_ : 0};
}

std::wstring DecodeLogLine(std::span<const std::uint8_t> bytes) {
  std::wstring text = platform::FromUtf16Le(bytes);
  if (bytes.size() % 2 != 0) text.push_back(platform::kReplacementChar);
  return text;
}

// LogFileReader

LogFileReader::~LogFileReader() {
  Close();
}

void LogFileReader::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  index_ = LogLineIndex();
}

int LogFileReader::Open() {
  Close();
  if (path_.empty()) return ENOENT;
  // Not blocking, so that a pipe at the path cannot hold the page.
  fd_ = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd_ < 0) return errno;
  struct stat info {};
  if (::fstat(fd_, &info) != 0) {
    const int error = errno;
    Close();
    return error;
  }
  if (!S_ISREG(info.st_mode)) {
    Close();
    return EINVAL;
  }
  device_ = info.st_dev;
  inode_ = info.st_ino;
  return ReadFrom(0);
}

int LogFileReader::ReadFrom(std::uint64_t offset) {
  std::vector<std::uint8_t> chunk(kReadChunk);
  for (;;) {
    const ssize_t n = ::pread(fd_, chunk.data(), chunk.size(), static_cast<off_t>(offset));
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (n == 0) return 0;
    index_.Add(std::span<const std::uint8_t>(chunk.data(), static_cast<std::size_t>(n)));
    offset += static_cast<std::uint64_t>(n);
  }
}

int LogFileReader::Refresh(bool& restarted) {
  restarted = false;
  struct stat atPath {};
  struct stat open {};
  const bool replaced =
      fd_ < 0 || ::stat(path_.c_str(), &atPath) != 0 || atPath.st_dev != device_ ||
      atPath.st_ino != inode_ || ::fstat(fd_, &open) != 0 ||
      static_cast<std::uint64_t>(open.st_size) < index_.Size();
  if (replaced) {
    restarted = true;
    return Open();
  }
  return ReadFrom(index_.Size());
}

std::wstring LogFileReader::Line(std::size_t index, std::size_t maxChars) const {
  if (fd_ < 0 || index >= index_.LineCount()) return {};
  const LogLineSpan span = index_.Line(index);
  // Two bytes a unit, two units at most a character.
  const std::uint64_t wanted = std::min<std::uint64_t>(span.length, std::uint64_t{4} * maxChars);
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(wanted));
  std::size_t got = 0;
  while (got < bytes.size()) {
    const ssize_t n = ::pread(fd_, bytes.data() + got, bytes.size() - got,
                              static_cast<off_t>(span.offset + got));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  bytes.resize(got);
  std::wstring text = DecodeLogLine(bytes);
  if (text.size() > maxChars) text.resize(maxChars);
  return text;
}

}  // namespace kestrune::evt
