// What the main of every test program with real widgets does first.
#pragma once
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace kestrune::test {

namespace detail {
inline QtMessageHandler previousHandler = nullptr;
inline void QuietOffscreen(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (text.startsWith(QStringLiteral("This plugin does not support"))) return;
  if (previousHandler != nullptr) previousHandler(type, context, text);
}
}  // namespace detail

// Qt's offscreen platform unless the caller chose another; its notes on what
// it cannot do are noise in test output.
inline void UseOffscreenPlatform() {
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  detail::previousHandler = qInstallMessageHandler(detail::QuietOffscreen);
}

// Qt's minimal platform with the system's fonts, unless the caller chose
// another: like the offscreen one, but with Qt's own in-process drag and
// drop (QDrag::exec runs its loop there; on the offscreen platform it returns
// at once), for tests that drag.
inline void UsePlatformThatDrags() {
  if (std::getenv("QT_QPA_PLATFORM") == nullptr)
    setenv("QT_QPA_PLATFORM", "minimal:enable_fonts", 1);
  detail::previousHandler = qInstallMessageHandler(detail::QuietOffscreen);
}

// A state folder of the program's own (XDG_STATE_HOME, for log files) with a
// private runtime folder in it; removed with everything in it at the end.
class ScopedStateFolder {
 public:
  explicit ScopedStateFolder(const std::string& prefix)
      : folder_(std::filesystem::temp_directory_path() / (prefix + std::to_string(::getpid()))) {
    std::filesystem::create_directories(Runtime());
    ::chmod(Runtime().c_str(), 0700);
    setenv("XDG_STATE_HOME", folder_.c_str(), 1);
  }
  ~ScopedStateFolder() {
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
  }
  ScopedStateFolder(const ScopedStateFolder&) = delete;
  ScopedStateFolder& operator=(const ScopedStateFolder&) = delete;

  std::filesystem::path Runtime() const { return folder_ / "runtime"; }

 private:
  std::filesystem::path folder_;
};

}  // namespace kestrune::test
