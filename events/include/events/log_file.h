// The event log file: UTF-16 little-endian text that starts with the
// byte-order mark FF FE, one entry after another, each ending in CR LF.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kestrune::evt {

// The held log file: an open descriptor, closed when the object goes.
// Default-constructed or moved-from it holds nothing ("none").
class LogFileHandle {
 public:
  LogFileHandle() = default;
  explicit LogFileHandle(int fd) : fd_(fd) {}
  ~LogFileHandle() { Close(); }
  LogFileHandle(LogFileHandle&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  LogFileHandle& operator=(LogFileHandle&& other) noexcept;
  LogFileHandle(const LogFileHandle&) = delete;
  LogFileHandle& operator=(const LogFileHandle&) = delete;

  bool IsOpen() const { return fd_ >= 0; }
  explicit operator bool() const { return IsOpen(); }
  int Fd() const { return fd_; }
  void Close();

 private:
  int fd_ = -1;
};

inline constexpr std::uint8_t kLogByteOrderMark[] = {0xFF, 0xFE};

// Opens the log path for reading and writing, creating it when it does not
// exist and emptying it when `truncate` is set; when the file is then empty,
// writes the byte-order mark. Returns the open handle, or none when the file
// cannot be opened or created (or the mark cannot be written). Shows nothing:
// the caller reports the failure.
LogFileHandle OpenLogFile(const std::wstring& path, bool truncate);

// The bytes of one entry: the final line feed (only that one) becomes CR LF,
// then every character as UTF-16LE code units, those above U+FFFF as
// surrogate pairs. Values that are no Unicode scalar become U+FFFD.
std::vector<std::uint8_t> EncodeLogEntry(const std::wstring& text);

// Appends one entry to the file at `path` when `logging` is on. The file is
// opened for writing without being created: when it does not exist or cannot
// be opened, nothing is written and nothing is reported. Returns whether the
// whole entry was written.
bool WriteLogEntry(const std::wstring& path, const std::wstring& text, bool logging);

}  // namespace kestrune::evt
