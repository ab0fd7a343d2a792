// Running a program of the administrator's: never through a shell (its path
// and nothing else is executed, so no text handed to it can become a
// command), with a time bound after which it and everything it started are
// killed, and a stop that ends it at once.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/stop_signal.h"

namespace kestrune::platform {

struct ProgramRequest {
  std::string path;  // run as it is, without arguments
  // Set in the program's environment, over the one it inherits.
  std::vector<std::pair<std::string, std::string>> environment;
  std::string input;  // its standard input, then the end of it
  std::chrono::milliseconds timeLimit{30000};
  // Each line the program writes (`error`: on standard error), without its
  // line end; a line is cut at kMaxOutputLine bytes, and beyond kMaxOutput
  // bytes in all the rest is dropped. May be empty.
  std::function<void(bool error, const std::string& line)> output;
};

inline constexpr std::size_t kMaxOutputLine = 4096;
inline constexpr std::size_t kMaxOutput = 65536;

struct ProgramResult {
  enum class Kind {
    Exited,      // `code` is its exit status
    Signaled,    // ended by signal `code`
    TimedOut,    // ran past its time limit and was killed
    Stopped,     // the stop signal came first; it was killed
    NotStarted,  // `code` is the errno of the failed start
  };
  Kind kind = Kind::NotStarted;
  int code = 0;
};

// Runs the program to its end, its time limit or the stop, whichever comes
// first. The program gets a process group of its own, so that a time-out or
// a stop kills whatever it started too; its signal mask and dispositions are
// the defaults whatever the caller blocked, and it inherits no descriptor but
// its standard input, output and error.
ProgramResult RunProgram(const ProgramRequest& request, const std::shared_ptr<StopSignal>& stop);

}  // namespace kestrune::platform
