// The tray program's tests run real widgets: on Qt's offscreen platform unless
// the caller chose another. Log files and the like go to a private folder.
// Run as "--instance-probe NAME" the program is the second process of the
// single-instance tests instead.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "instance_probe.h"

namespace {
QtMessageHandler previousHandler = nullptr;
void QuietOffscreen(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (text.startsWith(QStringLiteral("This plugin does not support"))) return;
  if (previousHandler != nullptr) previousHandler(type, context, text);
}
}  // namespace

int main(int argc, char** argv) {
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  // The offscreen platform's notes on what it cannot do are noise here.
  previousHandler = qInstallMessageHandler(QuietOffscreen);
  const bool probe = argc >= 3 && std::strcmp(argv[1], kestrune::test::kInstanceProbeFlag) == 0;
  const auto state = std::filesystem::temp_directory_path() /
                     ("kestrune-app-test-" + std::to_string(::getpid()));
  std::filesystem::create_directories(state / "runtime");
  ::chmod((state / "runtime").c_str(), 0700);
  setenv("XDG_STATE_HOME", state.c_str(), 1);
  // The probe shares its parent's runtime folder, where the instance lock lives.
  if (!probe || std::getenv("XDG_RUNTIME_DIR") == nullptr) {
    setenv("XDG_RUNTIME_DIR", (state / "runtime").c_str(), 1);
  }
  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  int result = 0;
  if (probe) {
    result = kestrune::test::RunInstanceProbe(QString::fromLocal8Bit(argv[2]));
  } else {
    testing::InitGoogleTest(&argc, argv);
    result = RUN_ALL_TESTS();
  }
  std::error_code ec;
  std::filesystem::remove_all(state, ec);
  return result;
}
