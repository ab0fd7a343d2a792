// The event log file: UTF-16 little-endian text that starts with the
// byte-order mark FF FE, one entry after another, each ending in CR LF.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/problem_report.h"

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
// writes the byte-order mark. A symbolic link in the path's last component is
// not followed (not even a dangling one, whose target would be created), and
// only a regular file is taken. Returns the open handle, or none when the file
// cannot be opened or created (or the mark cannot be written). Shows nothing:
// the caller reports the failure.
LogFileHandle OpenLogFile(const std::wstring& path, bool truncate);

// The bytes of one entry: every character as UTF-16LE code units, those above
// U+FFFF as surrogate pairs (values that are no Unicode scalar become U+FFFD),
// ending in CR LF: a final line feed (only that one) becomes CR LF, a final
// CR gets its LF, an entry already ending in CR LF is left so, and any other
// gets CR LF appended, so that the next entry always starts a line. The empty
// text gives no bytes.
std::vector<std::uint8_t> EncodeLogEntry(const std::wstring& text);

enum class LogAppendOutcome {
  Written,
  // No log file to write to: missing, a link, not a regular file, not
  // openable. Nothing was written; the logger does not report this.
  NoFile,
  // The write did not complete (a full disk, a quota, an I/O error); the
  // file was put back to its length before the write.
  Failed,
};

struct LogAppendResult {
  LogAppendOutcome outcome = LogAppendOutcome::NoFile;
  int error = 0;  // errno of the failure
};

// Appends bytes to the file at `path`, opened for writing without being
// created and without following a link in its last component, only when it
// is a regular file. The write holds the file's advisory lock (waiting for it
// briefly), so that two of our programs logging to one file cannot cut each
// other's entries when one of them takes a failed write back out.
LogAppendResult AppendToLogFile(const std::wstring& path, std::span<const std::uint8_t> bytes);

// Appends one entry to the file at `path` when `logging` is on. The file is
// opened for writing without being created: when it does not exist or cannot
// be opened, nothing is written and nothing is reported. Returns whether the
// whole entry was written; an entry that was not leaves nothing of itself.
bool WriteLogEntry(const std::wstring& path, const std::wstring& text, bool logging);

// The logger's writer of entries. An entry whose write does not complete
// leaves nothing behind in the file, is reported once (a run of failures is
// one report, and the end of the run another), and is held back to be
// written, in order, just before the next entry; held entries beyond
// kMaxHeldBytes give way oldest first, and their number is reported. Entries
// still held when the writer goes are reported as not written. Used by one
// thread at a time.
class LogWriter {
 public:
  static constexpr std::size_t kMaxHeldBytes = std::size_t{1} << 20;

  // `report` may be null: then nothing is reported.
  explicit LogWriter(std::shared_ptr<platform::ProblemReport> report = nullptr);
  ~LogWriter();
  LogWriter(const LogWriter&) = delete;
  LogWriter& operator=(const LogWriter&) = delete;

  // Writes the held entries and then this one when `logging` is on; true when
  // they all went in. With no file to write to nothing is written or held.
  bool Write(const std::wstring& path, const std::wstring& text, bool logging);

  std::size_t HeldEntries() const { return held_.size(); }

 private:
  void Report(const std::string& text);

  std::shared_ptr<platform::ProblemReport> report_;
  std::deque<std::vector<std::uint8_t>> held_;
  std::size_t heldBytes_ = 0;
  std::size_t dropped_ = 0;
  bool failing_ = false;
  std::wstring lastPath_;
};

}  // namespace kestrune::evt
