// The test program run again as a second process: starts the tray program
// under the given instance name and reports on stdout what became of it.
#pragma once

#include <QString>

namespace kestrune::test {

inline constexpr char kInstanceProbeFlag[] = "--instance-probe";

// "running" once started (then "come forward" whenever another copy asks)
// until killed; a refused copy prints each message box as "box: TEXT" and
// returns its exit code.
int RunInstanceProbe(const QString& instanceName);

}  // namespace kestrune::test
