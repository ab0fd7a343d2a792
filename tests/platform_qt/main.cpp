// The UI tests run real widgets: on Qt's offscreen platform unless the caller
// chose another (an xcb run under xvfb-run keeps its own).
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

#if defined(__SANITIZE_THREAD__)
// Qt's own libraries are not built for ThreadSanitizer, so the hand-over of a
// queued call through Qt's event queue is invisible to it and every value
// crossing that way looks raced. Those reports are about Qt, not this code.
extern "C" const char* __tsan_default_suppressions() {
  return "race:libQt6Core.so\n";
}
#endif

int main(int argc, char** argv) {
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
