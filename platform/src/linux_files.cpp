#include "platform/linux_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <span>

#include "platform/text.h"

namespace kestrune::platform {

namespace {

// wLength, wValueLength and wType precede the key of every version block.
constexpr std::size_t kBlockHeaderSize = 6;
constexpr std::size_t kChunkSize = std::size_t{1} << 20;

// L"VS_VERSION_INFO" with its terminating NUL, as UTF-16LE.
const std::vector<std::uint8_t>& VersionKey() {
  static const std::vector<std::uint8_t> key = [] {
    std::vector<std::uint8_t> bytes = ToUtf16Le(L"VS_VERSION_INFO");
    bytes.push_back(0);
    bytes.push_back(0);
    return bytes;
  }();
  return key;
}

class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

// Reads as much of [offset, offset + out.size()) as the file holds.
std::size_t ReadAt(int fd, std::uint64_t offset, std::span<std::uint8_t> out) {
  std::size_t done = 0;
  while (done < out.size()) {
    const ssize_t n =
        pread(fd, out.data() + done, out.size() - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  return done;
}

// The block whose key starts at keyOffset, when its header is believable:
// long enough for header and key, and lying wholly within the file.
std::optional<std::vector<std::uint8_t>> BlockAt(int fd, std::uint64_t keyOffset,
                                                 std::uint64_t fileSize) {
  if (keyOffset < kBlockHeaderSize) return std::nullopt;
  const std::uint64_t start = keyOffset - kBlockHeaderSize;
  std::array<std::uint8_t, 2> length{};
  if (ReadAt(fd, start, length) != length.size()) return std::nullopt;
  const std::size_t blockLength = static_cast<std::size_t>(length[0] | (length[1] << 8));
  if (blockLength < kBlockHeaderSize + VersionKey().size()) return std::nullopt;
  if (blockLength > fileSize - start) return std::nullopt;
  std::vector<std::uint8_t> block(blockLength);
  if (ReadAt(fd, start, block) != block.size()) return std::nullopt;
  return block;
}

class LinuxFiles final : public Files {
 public:
  std::optional<std::string> ModificationTimeText(const std::wstring& path) override {
    struct stat status {};
    if (stat(ToUtf8(path).c_str(), &status) != 0) return std::nullopt;
    std::array<char, 64> text{};
    const time_t modified = status.st_mtime;
    if (ctime_r(&modified, text.data()) == nullptr) return std::nullopt;
    std::string result(text.data());
    while (!result.empty() && (result.back() == '\n' || result.back() == '\r')) result.pop_back();
    return result;
  }

  std::optional<std::vector<std::uint8_t>> VersionResource(const std::wstring& path) override {
    // Non-blocking, so that a FIFO given by mistake cannot hang the caller.
    const Descriptor fd(open(ToUtf8(path).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0) return std::nullopt;
    struct stat status {};
    if (fstat(fd.get(), &status) != 0 || !S_ISREG(status.st_mode) || status.st_size <= 0) {
      return std::nullopt;
    }
    const auto fileSize = static_cast<std::uint64_t>(status.st_size);
    const std::uint64_t scanEnd = std::min(fileSize, kMaxVersionScan);
    const auto& key = VersionKey();

    // Chunks overlap by the key's length less one, so that a key across a
    // chunk boundary is still seen.
    std::vector<std::uint8_t> window;
    std::uint64_t windowStart = 0;
    std::uint64_t next = 0;
    while (next < scanEnd) {
      const std::size_t carried = window.size();
      const auto want =
          static_cast<std::size_t>(std::min<std::uint64_t>(kChunkSize, scanEnd - next));
      window.resize(carried + want);
      const std::size_t got = ReadAt(fd.get(), next, std::span(window).subspan(carried));
      window.resize(carried + got);
      if (got == 0) break;
      next += got;

      for (std::size_t at = 0; at < window.size();) {
        const void* hit = memmem(window.data() + at, window.size() - at, key.data(), key.size());
        if (hit == nullptr) break;
        const auto found =
            static_cast<std::size_t>(static_cast<const std::uint8_t*>(hit) - window.data());
        if (auto block = BlockAt(fd.get(), windowStart + found, fileSize)) return block;
        at = found + 1;
      }
      const std::size_t keep = std::min(window.size(), key.size() - 1);
      windowStart += window.size() - keep;
      window.erase(window.begin(), window.end() - static_cast<std::ptrdiff_t>(keep));
    }
    return std::nullopt;
  }
};

}  // namespace

std::shared_ptr<Files> MakeLinuxFiles() {
  return std::make_shared<LinuxFiles>();
}

}  // namespace kestrune::platform
