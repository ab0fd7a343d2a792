// The configuration window's tests run real widgets: on Qt's offscreen
// platform unless the caller chose another. The log file goes to a private
// folder.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {
QtMessageHandler previousHandler = nullptr;
void QuietOffscreen(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (text.startsWith(QStringLiteral("This plugin does not support"))) return;
  if (previousHandler != nullptr) previousHandler(type, context, text);
}
}  // namespace

int main(int argc, char** argv) {
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  previousHandler = qInstallMessageHandler(QuietOffscreen);
  const auto state = std::filesystem::temp_directory_path() /
                     ("kestrune-views-test-" + std::to_string(::getpid()));
  std::filesystem::create_directories(state / "runtime");
  ::chmod((state / "runtime").c_str(), 0700);
  setenv("XDG_STATE_HOME", state.c_str(), 1);
  setenv("XDG_RUNTIME_DIR", (state / "runtime").c_str(), 1);
  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  testing::InitGoogleTest(&argc, argv);
  const int result = RUN_ALL_TESTS();
  std::error_code ec;
  std::filesystem::remove_all(state, ec);
  return result;
}
