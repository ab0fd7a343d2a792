// The wizard's tests run real widgets.
#include <gtest/gtest.h>

#include <QApplication>

#include "support/widget_test_main.h"

int main(int argc, char** argv) {
  kestrune::test::UseOffscreenPlatform();
  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
