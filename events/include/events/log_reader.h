// Reading the event log file as lines of text, for the Events page.
//
// Contract:
// - The file is UTF-16 little-endian text. A leading byte-order mark FF FE is
//   skipped; a file without it is read from its first byte (a log that was
//   started by hand or by an older program). Nothing else about the content
//   is assumed: any bytes give lines, and none is lost or invented.
// - A line ends at LF, at CR LF, or at a CR that is not followed by LF; the
//   line break is not part of the line. The logger ends every entry with
//   CR LF and keeps single LFs inside an entry, so an entry of two lines
//   gives two lines here, as the page shows them.
// - Decoding: surrogate pairs are joined; an unpaired surrogate becomes
//   U+FFFD, and so does an odd last byte of the file (half a code unit).
//   NULs are kept.
// - The last line may be unfinished (no line break yet): it is a line as it
//   stands. A CR at the very end is held back until the next byte tells
//   whether it is the first half of CR LF.
// - The index holds two offsets per line (16 bytes a line, about 16 MB for a
//   100 MB log of ordinary entries); text is decoded only when a line is
//   asked for, so a page can show the newest lines first without decoding
//   the rest.
// - A file being appended to while it is read (the logger writes while the
//   page reads) is read up to where it ended then; Refresh takes what was
//   appended since. A file that became shorter (purged) or was replaced by
//   another file is read anew from its start.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace kestrune::evt {

// Where a line's text lies in the file: bytes [offset, offset + length), line
// break excluded.
struct LogLineSpan {
  std::uint64_t offset = 0;
  std::uint64_t length = 0;
};

// The line index of a log file's bytes, built incrementally: the bytes can
// be added in pieces of any size (odd ones too), and the result is the same
// as for all of them at once.
class LogLineIndex {
 public:
  // Takes the next bytes of the file, which follow those taken before.
  void Add(std::span<const std::uint8_t> bytes);
  // Bytes taken so far.
  std::uint64_t Size() const { return size_; }
  // Finished lines, and the unfinished last one when it has begun.
  std::size_t LineCount() const;
  // Line `index` (0 = the first in the file); index < LineCount().
  LogLineSpan Line(std::size_t index) const;
  // Whether the file begins with the byte-order mark (known from 2 bytes on).
  bool HasByteOrderMark() const { return bom_; }

 private:
  void Unit(std::uint16_t unit, std::uint64_t at);
  void EndLine(std::uint64_t end, std::uint64_t next);

  std::vector<std::uint64_t> starts_;  // of finished lines
  std::vector<std::uint64_t> ends_;
  std::uint64_t size_ = 0;
  std::uint64_t open_ = 0;  // start of the unfinished line
  std::uint64_t crAt_ = 0;  // offset of a held-back CR
  bool crHeld_ = false;
  bool started_ = false;  // the first unit has been seen
  bool bom_ = false;
  bool oddHeld_ = false;
  std::uint8_t odd_ = 0;
};

// The text of one line's bytes: UTF-16LE decoded as the contract says.
std::wstring DecodeLogLine(std::span<const std::uint8_t> bytes);

// A log file opened for reading only (never created, never written), with
// its line index. Lines are read from the file when asked for.
class LogFileReader {
 public:
  // The file at `path`. Open tells 0 or the errno of the failure; the page
  // shows a failure its own way.
  explicit LogFileReader(std::string path) : path_(std::move(path)) {}
  ~LogFileReader();
  LogFileReader(const LogFileReader&) = delete;
  LogFileReader& operator=(const LogFileReader&) = delete;

  // Opens the file and indexes all of it. 0, or the errno of the failure
  // (ENOENT when there is no file; not a regular file gives EINVAL).
  int Open();
  // Indexes what was appended since the last Open or Refresh. When the file
  // shrank or another file took its path, it is opened and indexed anew and
  // `restarted` is set: line numbers from before no longer hold. 0 or the
  // errno of the failure.
  int Refresh(bool& restarted);

  std::size_t LineCount() const { return index_.LineCount(); }
  // Line `index` (0 = the first in the file), at most `maxChars` characters
  // of it (a line of megabytes without a break is cut, not loaded whole).
  // Empty when the line cannot be read any more.
  std::wstring Line(std::size_t index, std::size_t maxChars = 65536) const;

 private:
  int ReadFrom(std::uint64_t offset);
  void Close();

  std::string path_;
  int fd_ = -1;
  std::uint64_t device_ = 0;
  std::uint64_t inode_ = 0;
  LogLineIndex index_;
};

}  // namespace kestrune::evt
