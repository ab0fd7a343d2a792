// The tray program's tests run real widgets. Log files and the like go to a
// private folder. Run as "--instance-probe NAME" the program is the second
// process of the single-instance tests instead.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>
#include <cstring>

#include "instance_probe.h"
#include "support/widget_test_main.h"

int main(int argc, char** argv) {
  kestrune::test::UseOffscreenPlatform();
  const bool probe = argc >= 3 && std::strcmp(argv[1], kestrune::test::kInstanceProbeFlag) == 0;
  const kestrune::test::ScopedStateFolder state("kestrune-app-test-");
  // The probe shares its parent's runtime folder, where the instance lock lives.
  if (!probe || std::getenv("XDG_RUNTIME_DIR") == nullptr) {
    setenv("XDG_RUNTIME_DIR", state.Runtime().c_str(), 1);
  }
  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  if (probe) return kestrune::test::RunInstanceProbe(QString::fromLocal8Bit(argv[2]));
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
