#include "events/log_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <span>

#include "platform/text.h"

namespace kestrune::evt {

namespace {

// Writes every byte, carrying on after interrupted or partial writes.
bool WriteAll(int fd, std::span<const std::uint8_t> bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (written == 0) return false;
    bytes = bytes.subspan(static_cast<std::size_t>(written));
  }
  return true;
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
  int flags = O_RDWR | O_CREAT | O_CLOEXEC | O_NONBLOCK;
  if (truncate) flags |= O_TRUNC;
  LogFileHandle handle(::open(file.c_str(), flags, 0666));
  if (!handle) return {};
  struct stat info {};
  if (::fstat(handle.Fd(), &info) != 0 || !S_ISREG(info.st_mode)) return {};
  if (info.st_size == 0 && !WriteAll(handle.Fd(), kLogByteOrderMark)) return {};
  return handle;
}

std::vector<std::uint8_t> EncodeLogEntry(const std::wstring& text) {
  if (!text.empty() && text.back() == L'\n') {
    std::wstring entry = text;
    entry.insert(entry.size() - 1, 1, L'\r');
    return platform::ToUtf16Le(entry);
  }
  return platform::ToUtf16Le(text);
}

bool WriteLogEntry(const std::wstring& path, const std::wstring& text, bool logging) {
  if (!logging) return false;
  const std::string file = platform::ToUtf8(path);
  if (file.empty()) return false;
  // Never created here: entries go only to a file that the held open (or the
  // user) made, so a re-pointed path without a file stays without one. Not
  // blocking, so that a path naming a pipe cannot hold the logger.
  const int fd = ::open(file.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  LogFileHandle handle(fd);
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) return false;
  return WriteAll(fd, EncodeLogEntry(text));
}

}  // namespace kestrune::evt
