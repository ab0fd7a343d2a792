// Where a program reports a problem that no window shows (a log file that
// cannot be written, a mail that cannot be sent at exit): standard error now;
// the system journal can join later behind the same interface.
#pragma once

#include <memory>
#include <string>

namespace kestrune::platform {

class ProblemReport {
 public:
  virtual ~ProblemReport() = default;
  // One problem, one line of English text without a line end. May be called
  // from any thread.
  virtual void Report(const std::string& text) = 0;
};

// Writes "<program>: <text>" and a line end to standard error; an empty
// program name stands for the running program's own.
std::shared_ptr<ProblemReport> MakeStderrProblemReport(std::string program);

}  // namespace kestrune::platform
