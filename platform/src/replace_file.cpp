#include "platform/replace_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <random>
#include <system_error>

namespace kestrune::platform {

namespace {

std::string ErrnoText(int code) {
  return std::generic_category().message(code);
}

// Closes a descriptor and removes the scratch file unless it was kept.
struct Scratch {
  int fd = -1;
  std::string path;
  bool kept = false;
  ~Scratch() {
    if (fd >= 0) ::close(fd);
    if (!path.empty() && !kept) ::unlink(path.c_str());
  }
};

int WriteAll(int fd, std::span<const std::uint8_t> bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (n == 0) return ENOSPC;
    bytes = bytes.subspan(static_cast<std::size_t>(n));
  }
  return 0;
}

}  // namespace

bool ReplaceFileContent(const std::string& path, std::span<const std::uint8_t> bytes,
                        std::string& error, unsigned mode) {
  namespace fs = std::filesystem;
  error.clear();
  if (path.empty()) {
    error = "no file name given";
    return false;
  }
  std::error_code ec;
  fs::path target(path);
  if (fs::is_symlink(fs::symlink_status(target, ec))) {
    target = fs::canonical(target, ec);
    if (ec) {
      error = "the link leads nowhere: " + ec.message();
      return false;
    }
  }
  const fs::file_status status = fs::status(target, ec);
  if (fs::exists(status) && !fs::is_regular_file(status)) {
    error = "not a regular file";
    return false;
  }
  if (target.filename().empty()) {
    error = "not a file name";
    return false;
  }

  const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
  Scratch scratch;
  std::random_device random;
  for (int attempt = 0; attempt < 16 && scratch.fd < 0; ++attempt) {
    const std::string candidate =
        (folder / ("." + target.filename().string() + "." + std::to_string(random()) + ".tmp"))
            .string();
    scratch.fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW,
                        static_cast<mode_t>(mode));
    if (scratch.fd >= 0) {
      scratch.path = candidate;
    } else if (errno != EEXIST) {
      error = ErrnoText(errno);
      return false;
    }
  }
  if (scratch.fd < 0) {
    error = ErrnoText(EEXIST);
    return false;
  }
  if (const int code = WriteAll(scratch.fd, bytes); code != 0) {
    error = ErrnoText(code);
    return false;
  }
  const int synced = ::fsync(scratch.fd) == 0 ? 0 : errno;
  const int closed = ::close(scratch.fd) == 0 ? 0 : errno;
  scratch.fd = -1;
  if (synced != 0 || closed != 0) {
    error = ErrnoText(synced != 0 ? synced : closed);
    return false;
  }
  if (::rename(scratch.path.c_str(), target.c_str()) != 0) {
    error = ErrnoText(errno);
    return false;
  }
  scratch.kept = true;
  // The rename itself survives a power loss only once the folder is on disk.
  if (const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return true;
}

}  // namespace kestrune::platform
