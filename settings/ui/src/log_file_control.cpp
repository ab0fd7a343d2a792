#include "settings_ui/log_file_control.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <string>
#include <system_error>
#include <vector>

#include "events/log_file.h"
#include "platform/text.h"
#include "resources/strings.h"

namespace kestrune::settings {

namespace {

// Closes a descriptor when it goes.
class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  // Closes now; false (errno set) when the close reports a failed write.
  bool Close() {
    const int fd = fd_;
    fd_ = -1;
    return fd < 0 || ::close(fd) == 0;
  }

 private:
  int fd_;
};

std::wstring ErrorText(int error) {
  return platform::FromUtf8(std::generic_category().message(error)) + L"\n";
}

bool WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t written = ::write(fd, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (written == 0) {
      errno = EIO;
      return false;
    }
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

// Copies everything `in` holds into `out`.
bool CopyAll(int in, int out) {
  std::vector<char> buffer(1 << 16);
  for (;;) {
    const ssize_t got = ::read(in, buffer.data(), buffer.size());
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (got == 0) return true;
    if (!WriteAll(out, buffer.data(), static_cast<std::size_t>(got))) return false;
  }
}

}  // namespace

LogFileControl::LogFileControl(AppSettings& settings, evt::EventLogger* logger,
                               platform::UiServices& ui)
    : settings_(settings), logger_(logger), ui_(ui) {}

void LogFileControl::Pause() {
  if (logger_ != nullptr) logger_->Pause();
}

void LogFileControl::Resume() {
  if (logger_ != nullptr) logger_->Resume();
}

bool LogFileControl::Held() const {
  return logger_ != nullptr && logger_->HoldsLogFile();
}

bool LogFileControl::OpenHeld(bool truncate) {
  if (logger_ != nullptr) return logger_->OpenLogFile(truncate);
  if (evt::OpenLogFile(settings_.LogFilePath(), truncate)) return true;
  ui_.MessageBox(res::LoadString(res::kStrLogFileFailed), kProductName, platform::MsgButtons::Ok,
                 platform::MsgIcon::None);
  return false;
}

bool CopyFileReplacing(const std::wstring& from, const std::wstring& to, std::wstring& error) {
  const std::string source = platform::ToUtf8(from);
  const std::string target = platform::ToUtf8(to);
  const auto fail = [&error](int code) {
    error = ErrorText(code);
    return false;
  };
  if (source.empty() || target.empty()) return fail(ENOENT);
  Fd in(::open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (in.get() < 0) return fail(errno);
  struct stat sourceInfo {};
  if (::fstat(in.get(), &sourceInfo) != 0) return fail(errno);
  if (!S_ISREG(sourceInfo.st_mode)) return fail(EINVAL);
  // The copy would replace its own source, and the purge then empty both.
  struct stat targetInfo {};
  if (::stat(target.c_str(), &targetInfo) == 0 && targetInfo.st_dev == sourceInfo.st_dev &&
      targetInfo.st_ino == sourceInfo.st_ino) {
    return fail(EEXIST);
  }

  // Written beside the target, then renamed over it.
  static std::atomic<unsigned> counter{0};
  const std::string temporary =
      target + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(counter.fetch_add(1));
  Fd out(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
  if (out.get() < 0) return fail(errno);
  const auto discard = [&](int code) {
    out.Close();
    ::unlink(temporary.c_str());
    return fail(code);
  };
  if (!CopyAll(in.get(), out.get())) return discard(errno);
  if (::fsync(out.get()) != 0) return discard(errno);
  if (!out.Close()) {
    const int code = errno;
    ::unlink(temporary.c_str());
    return fail(code);
  }
  if (::rename(temporary.c_str(), target.c_str()) != 0) {
    const int code = errno;
    ::unlink(temporary.c_str());
    return fail(code);
  }
  return true;
}

void SplitPath(const std::wstring& path, std::wstring& folder, std::wstring& name) {
  const std::size_t slash = path.find_last_of(L'/');
  if (slash == std::wstring::npos) {
    folder.clear();
    name = path;
    return;
  }
  folder = path.substr(0, slash + 1);
  name = path.substr(slash + 1);
}

bool HasExtension(const std::wstring& path, const std::wstring& extension) {
  std::wstring folder;
  std::wstring name;
  SplitPath(path, folder, name);
  const std::size_t dot = name.find_last_of(L'.');
  if (dot == std::wstring::npos) return false;
  return platform::EqualsNoCase(name.substr(dot + 1), extension);
}

}  // namespace kestrune::settings
