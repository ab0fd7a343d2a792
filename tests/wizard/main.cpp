// The wizard's tests run real widgets: on Qt's offscreen platform unless the
// caller chose another.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

namespace {
QtMessageHandler previousHandler = nullptr;
// The offscreen platform's notes on what it cannot do are noise here.
void QuietOffscreen(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (text.startsWith(QStringLiteral("This plugin does not support"))) return;
  if (previousHandler != nullptr) previousHandler(type, context, text);
}
}  // namespace

int main(int argc, char** argv) {
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  previousHandler = qInstallMessageHandler(QuietOffscreen);
  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
