// Reading (and, for an allowed change, writing) the kernel's files below a
// root folder, and the recorder that copies what was read.
#include "host/sysfs.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <set>

namespace kestrune::host {
namespace {

// Attributes are at most a page; a file that says more is cut there.
constexpr std::size_t kMaxAttribute = 4096;

std::string Join(const std::string& root, const std::string& path) {
  if (root.empty() || root == "/") return path;
  std::string out = root;
  while (!out.empty() && out.back() == '/') out.pop_back();
  return out + path;
}

class RootedFiles final : public FileSource {
 public:
  explicit RootedFiles(std::string root) : root_(std::move(root)) {}

  std::optional<std::string> Read(const std::string& path) override {
    const int fd = ::open(Join(root_, path).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return std::nullopt;
    struct stat st {};
    // Only attribute files: never a device node, whose contents are a disk's.
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
      ::close(fd);
      return std::nullopt;
    }
    char buffer[kMaxAttribute];
    std::size_t used = 0;
    while (used < sizeof buffer) {
      const ssize_t n = ::read(fd, buffer + used, sizeof buffer - used);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        if (n < 0 && used == 0) {
          ::close(fd);
          return std::nullopt;
        }
        break;
      }
      const bool whole = static_cast<std::size_t>(n) < sizeof buffer - used;
      used += static_cast<std::size_t>(n);
      // An attribute comes whole in one read, and a file's short read is its
      // end; only procfs (which gives no size) may hand out a text in pieces.
      if (whole && st.st_size != 0) break;
    }
    ::close(fd);
    return std::string(buffer, used);
  }

  std::vector<std::string> List(const std::string& path) override {
    std::vector<std::string> names;
    DIR* dir = ::opendir(Join(root_, path).c_str());
    if (dir == nullptr) return names;
    while (const dirent* entry = ::readdir(dir)) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
  }

  std::optional<std::string> Link(const std::string& path) override {
    char buffer[4096];
    const ssize_t n = ::readlink(Join(root_, path).c_str(), buffer, sizeof buffer);
    if (n <= 0 || static_cast<std::size_t>(n) >= sizeof buffer) return std::nullopt;
    return std::string(buffer, static_cast<std::size_t>(n));
  }

  bool Write(const std::string& path, const std::string& value, std::string& error) override {
    const std::string full = Join(root_, path);
    const int fd = ::open(full.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
      error = full + ": " + std::strerror(errno);
      return false;
    }
    const ssize_t n = ::write(fd, value.data(), value.size());
    const int saved = errno;
    ::close(fd);
    if (n != static_cast<ssize_t>(value.size())) {
      error = full + ": " + std::strerror(n < 0 ? saved : EIO);
      return false;
    }
    return true;
  }

 private:
  std::string root_;
};

// Copies into `destination` what is read through it: each link met on the
// way is made again as the same link, folders are made, and files are
// written with the text that was read.
class RecordingFiles final : public FileSource {
 public:
  RecordingFiles(std::shared_ptr<FileSource> inner, std::string root, std::string destination)
      : inner_(std::move(inner)), root_(std::move(root)), destination_(std::move(destination)) {}

  std::optional<std::string> Read(const std::string& path) override {
    auto text = inner_->Read(path);
    if (text) {
      std::lock_guard lock(mutex_);
      const std::string real = Mirror(path);
      std::ofstream(destination_ + real, std::ios::binary) << *text;
    }
    return text;
  }

  std::vector<std::string> List(const std::string& path) override {
    auto names = inner_->List(path);
    std::lock_guard lock(mutex_);
    const std::string real = Mirror(path);
    std::error_code ignored;
    std::filesystem::create_directories(destination_ + real, ignored);
    // The folders and links listed are there in the copy too, followed or
    // not: some are only counted (a controller's ports). A file is copied
    // only when it is read: one that could not be read stays away.
    const std::string folder = !path.empty() && path.back() == '/' ? path : path + "/";
    for (const std::string& name : names) {
      if (inner_->Link(folder + name)) {
        Mirror(folder + name);
        continue;
      }
      if (std::filesystem::is_directory(Join(root_, real + "/" + name), ignored))
        std::filesystem::create_directories(destination_ + real + "/" + name, ignored);
    }
    return names;
  }

  std::optional<std::string> Link(const std::string& path) override {
    auto target = inner_->Link(path);
    std::lock_guard lock(mutex_);
    Mirror(path);
    return target;
  }

  bool Write(const std::string&, const std::string&, std::string& error) override {
    error = "a recording changes nothing";
    return false;
  }

 private:
  // Makes the folders and links of `path` in the copy as they are on the
  // machine, and answers where the path really lies there.
  std::string Mirror(const std::string& path) {
    std::string real;
    std::vector<std::string> parts;
    std::size_t start = 1;
    while (start <= path.size()) {
      const std::size_t end = path.find('/', start);
      const std::string part = path.substr(start, end == std::string::npos ? end : end - start);
      if (!part.empty()) parts.push_back(part);
      if (end == std::string::npos) break;
      start = end + 1;
    }
    int hops = 0;
    for (std::size_t i = 0; i < parts.size(); ++i) {
      const std::string next = real + "/" + parts[i];
      if (parts[i] == "..") {
        const auto cut = real.rfind('/');
        real = cut == std::string::npos ? std::string() : real.substr(0, cut);
        continue;
      }
      const auto target = inner_->Link(next);
      if (target && ++hops < 40) {
        std::error_code ignored;
        std::filesystem::create_directories(destination_ + real, ignored);
        std::filesystem::create_symlink(*target, destination_ + next, ignored);
        // Follow the link: its target's parts replace this one.
        std::vector<std::string> rest;
        std::size_t s = 0;
        const std::string t = *target;
        if (!t.empty() && t.front() == '/') real.clear();
        while (s <= t.size()) {
          const std::size_t e = t.find('/', s);
          const std::string p = t.substr(s, e == std::string::npos ? e : e - s);
          if (!p.empty() && p != ".") rest.push_back(p);
          if (e == std::string::npos) break;
          s = e + 1;
        }
        parts.insert(parts.begin() + static_cast<std::ptrdiff_t>(i) + 1, rest.begin(), rest.end());
        continue;
      }
      real = next;
      if (i + 1 < parts.size()) {
        std::error_code ignored;
        std::filesystem::create_directories(destination_ + real, ignored);
      }
    }
    return real;
  }

  std::shared_ptr<FileSource> inner_;
  std::string root_;
  std::string destination_;
  std::mutex mutex_;
};

}  // namespace

std::shared_ptr<FileSource> MakeRootedFiles(std::string root) {
  return std::make_shared<RootedFiles>(std::move(root));
}

std::shared_ptr<FileSource> MakeRecordingFiles(std::shared_ptr<FileSource> inner,
                                               std::string root, std::string destination) {
  return std::make_shared<RecordingFiles>(std::move(inner), std::move(root),
                                          std::move(destination));
}

std::optional<std::string> ReadWord(FileSource& files, const std::string& path) {
  auto text = files.Read(path);
  if (!text) return std::nullopt;
  std::string line = text->substr(0, text->find('\n'));
  const auto first = line.find_first_not_of(" \t\r");
  if (first == std::string::npos) return std::string();
  const auto last = line.find_last_not_of(" \t\r");
  return line.substr(first, last - first + 1);
}

std::string ResolveLink(const std::string& linkPath, const std::string& target) {
  std::vector<std::string> parts;
  auto push = [&](const std::string& text) {
    std::size_t s = 0;
    while (s <= text.size()) {
      const std::size_t e = text.find('/', s);
      const std::string p = text.substr(s, e == std::string::npos ? e : e - s);
      if (p == "..") {
        if (!parts.empty()) parts.pop_back();
      } else if (!p.empty() && p != ".") {
        parts.push_back(p);
      }
      if (e == std::string::npos) break;
      s = e + 1;
    }
  };
  if (target.empty() || target.front() != '/') push(linkPath.substr(0, linkPath.rfind('/')));
  push(target);
  std::string out;
  for (const auto& p : parts) out += "/" + p;
  return out.empty() ? "/" : out;
}

}  // namespace kestrune::host
