#include "events/log_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstddef>
#include <span>
#include <system_error>
#include <thread>
#include <utility>

#include "platform/text.h"

namespace kestrune::evt {

namespace {

// Writes every byte, carrying on after interrupted or partial writes. 0, or
// the errno of the failure; `done` counts the bytes written.
int WriteAll(int fd, std::span<const std::uint8_t> bytes, std::size_t& done) {
  done = 0;
  while (done < bytes.size()) {
    const ssize_t written = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (written < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (written == 0) return ENOSPC;
    done += static_cast<std::size_t>(written);
  }
  return 0;
}

bool WriteAll(int fd, std::span<const std::uint8_t> bytes) {
  std::size_t done = 0;
  return WriteAll(fd, bytes, done) == 0;
}

// Takes the file's advisory lock, waiting at most half a second: a lock held
// longer by someone else must not stop the logger, which then writes without.
void LockBriefly(int fd) {
  for (int tries = 0; tries < 100; ++tries) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return;
    if (errno != EWOULDBLOCK && errno != EINTR) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

std::string Describe(const std::wstring& path) {
  return "the log file " + platform::ToUtf8(path);
}

}  // namespace

LogFileHandle& LogFileHandle::operator=(LogFileHandle&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

void LogFileHandle::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

LogFileHandle OpenLogFile(const std::wstring& path, bool truncate) {
  const std::string file = platform::ToUtf8(path);
  if (file.empty()) return {};
  int flags = O_RDWR | O_CREAT | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW;
  if (truncate) flags |= O_TRUNC;
  LogFileHandle handle(::open(file.c_str(), flags, 0666));
  if (!handle) return {};
  struct stat info {};
  if (::fstat(handle.Fd(), &info) != 0 || !S_ISREG(info.st_mode)) return {};
  if (info.st_size == 0 && !WriteAll(handle.Fd(), kLogByteOrderMark)) return {};
  return handle;
}

std::vector<std::uint8_t> EncodeLogEntry(const std::wstring& text) {
  if (text.empty()) return {};
  std::wstring entry = text;
  if (entry.back() == L'\n') {
    if (entry.size() < 2 || entry[entry.size() - 2] != L'\r') entry.insert(entry.size() - 1, 1, L'\r');
  } else if (entry.back() == L'\r') {
    entry.push_back(L'\n');
  } else {
    entry += L"\r\n";
  }
  return platform::ToUtf16Le(entry);
}

LogAppendResult AppendToLogFile(const std::wstring& path, std::span<const std::uint8_t> bytes) {
  const std::string file = platform::ToUtf8(path);
  if (file.empty()) return {LogAppendOutcome::NoFile, ENOENT};
  // Never created here: entries go only to a file that the held open (or the
  // user) made, so a re-pointed path without a file stays without one. Not
  // blocking, so that a path naming a pipe cannot hold the logger; not
  // through a link, which could point anywhere the process may write.
  const int fd = ::open(file.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW);
  if (fd < 0) return {LogAppendOutcome::NoFile, errno};
  LogFileHandle handle(fd);
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) return {LogAppendOutcome::NoFile, 0};
  LockBriefly(fd);
  if (::fstat(fd, &info) != 0) return {LogAppendOutcome::Failed, errno};
  const off_t before = info.st_size;
  std::size_t done = 0;
  const int error = WriteAll(fd, bytes, done);
  if (error == 0) return {LogAppendOutcome::Written, 0};
  // Take the partial entry back out, unless someone wrote after it (only
  // possible when the lock could not be had), whose text must stay.
  if (done > 0 && ::fstat(fd, &info) == 0 &&
      info.st_size == before + static_cast<off_t>(done)) {
    [[maybe_unused]] const int rc = ::ftruncate(fd, before);
  }
  return {LogAppendOutcome::Failed, error};
}

bool WriteLogEntry(const std::wstring& path, const std::wstring& text, bool logging) {
  if (!logging) return false;
  const std::vector<std::uint8_t> bytes = EncodeLogEntry(text);
  if (bytes.empty()) return false;
  return AppendToLogFile(path, bytes).outcome == LogAppendOutcome::Written;
}

// LogWriter

LogWriter::LogWriter(std::shared_ptr<platform::ProblemReport> report)
    : report_(std::move(report)) {}

LogWriter::~LogWriter() {
  if (!held_.empty() || dropped_ > 0) {
    Report(Describe(lastPath_) + ": " + std::to_string(held_.size() + dropped_) +
           " entries could not be written and are lost");
  }
}

void LogWriter::Report(const std::string& text) {
  if (report_) report_->Report(text);
}

bool LogWriter::Write(const std::wstring& path, const std::wstring& text, bool logging) {
  if (!logging) return false;
  std::vector<std::uint8_t> entry = EncodeLogEntry(text);
  if (entry.empty()) return false;
  lastPath_ = path;
  std::vector<std::uint8_t> batch;
  batch.reserve(heldBytes_ + entry.size());
  for (const auto& held : held_) batch.insert(batch.end(), held.begin(), held.end());
  batch.insert(batch.end(), entry.begin(), entry.end());

  const LogAppendResult result = AppendToLogFile(path, batch);
  if (result.outcome == LogAppendOutcome::Written) {
    if (failing_) {
      std::string note = Describe(path) + " is written again";
      if (!held_.empty()) note += "; " + std::to_string(held_.size()) + " held entries went in late";
      if (dropped_ > 0)
        note += "; " + std::to_string(dropped_) + " entries could not be kept and are lost";
      Report(note);
    }
    failing_ = false;
    held_.clear();
    heldBytes_ = 0;
    dropped_ = 0;
    return true;
  }
  if (result.outcome == LogAppendOutcome::NoFile) return false;

  if (!failing_) {
    Report(Describe(path) + " cannot be written (" + std::generic_category().message(result.error) +
           "); its entries are held back and written with the next one");
    failing_ = true;
  }
  heldBytes_ += entry.size();
  held_.push_back(std::move(entry));
  while (heldBytes_ > kMaxHeldBytes && !held_.empty()) {
    heldBytes_ -= held_.front().size();
    held_.pop_front();
    ++dropped_;
  }
  return false;
}

}  // namespace kestrune::evt
