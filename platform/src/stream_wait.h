// The waits the streams share.
#pragma once

#include "platform/stream.h"

namespace kestrune::platform {

// Milliseconds left until the deadline, as poll takes them (0 once passed).
long RemainingMs(SteadyTime deadline);

// Waits until `fd` is ready for `events`, or the stop descriptor (when not
// -1) is readable: 0 when ready, kWsaTimedOut when the deadline passed,
// kWsaInterrupted on a stop, else the failing poll's code.
int WaitForFd(int fd, short events, SteadyTime deadline, int stopFd);

}  // namespace kestrune::platform
