#include "platform/secret_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <span>
#include <system_error>

#include "platform/replace_file.h"

namespace kestrune::platform {

namespace {

std::string ErrnoText(int code) {
  return std::generic_category().message(code);
}

struct Descriptor {
  int fd = -1;
  ~Descriptor() {
    if (fd >= 0) ::close(fd);
  }
};

}  // namespace

SecretFileStatus ReadSecretFile(const std::string& path, std::string& secret,
                                unsigned forbidden) {
  using Kind = SecretFileStatus::Kind;
  secret.clear();
  Descriptor file;
  // O_NONBLOCK: a pipe put in the file's place must not hold the reader.
  file.fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (file.fd < 0) {
    if (errno == ENOENT) return {Kind::Missing, 0, {}};
    return {Kind::Unreadable, 0, ErrnoText(errno)};
  }
  struct stat info {};
  if (::fstat(file.fd, &info) != 0) return {Kind::Unreadable, 0, ErrnoText(errno)};
  if (!S_ISREG(info.st_mode)) return {Kind::NotRegular, 0, {}};
  const unsigned mode = static_cast<unsigned>(info.st_mode) & 07777U;
  if ((mode & forbidden & 077U) != 0) return {Kind::TooOpen, mode, {}};
  if (info.st_size > static_cast<off_t>(kMaxSecretBytes)) return {Kind::TooLarge, 0, {}};
  char chunk[kMaxSecretBytes + 1];
  std::string content;
  for (;;) {
    const ssize_t n = ::read(file.fd, chunk, sizeof chunk);
    if (n < 0) {
      if (errno == EINTR) continue;
      return {Kind::Unreadable, 0, ErrnoText(errno)};
    }
    if (n == 0) break;
    content.append(chunk, static_cast<std::size_t>(n));
    if (content.size() > kMaxSecretBytes) return {Kind::TooLarge, 0, {}};
  }
  if (!content.empty() && content.back() == '\n') {
    content.pop_back();
    if (!content.empty() && content.back() == '\r') content.pop_back();
  }
  secret = std::move(content);
  return {};
}

bool WriteSecretFile(const std::string& path, const std::string& secret, std::string& error) {
  namespace fs = std::filesystem;
  error.clear();
  if (secret.empty()) {
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
      error = ErrnoText(errno);
      return false;
    }
    return true;
  }
  const fs::path folder = fs::path(path).parent_path();
  if (!folder.empty()) {
    std::error_code ec;
    if (fs::create_directories(folder, ec)) {
      fs::permissions(folder, fs::perms::owner_all, ec);
    } else if (ec) {
      error = ec.message();
      return false;
    }
  }
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(secret.data());
  return ReplaceFileContent(path, std::span<const std::uint8_t>(bytes, secret.size()), error, 0600);
}

}  // namespace kestrune::platform
