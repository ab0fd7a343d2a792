// The configuration window's tests run real widgets, on a platform where a
// disk can be dragged. The log file goes to a private folder.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

#include "support/widget_test_main.h"

int main(int argc, char** argv) {
  kestrune::test::UsePlatformThatDrags();
  const kestrune::test::ScopedStateFolder state("kestrune-views-test-");
  setenv("XDG_RUNTIME_DIR", state.Runtime().c_str(), 1);
  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
