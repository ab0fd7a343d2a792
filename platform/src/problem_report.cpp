#include "platform/problem_report.h"

#include <errno.h>

#include <cstdio>
#include <mutex>
#include <utility>

namespace kestrune::platform {

namespace {

class StderrProblemReport final : public ProblemReport {
 public:
  explicit StderrProblemReport(std::string program) : program_(std::move(program)) {
    if (program_.empty()) program_ = program_invocation_short_name;
  }

  void Report(const std::string& text) override {
    // One write per line, so that lines of several threads do not mix.
    const std::string line = program_ + ": " + text + "\n";
    std::lock_guard lock(mutex_);
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
  }

 private:
  std::string program_;
  std::mutex mutex_;
};

}  // namespace

std::shared_ptr<ProblemReport> MakeStderrProblemReport(std::string program) {
  return std::make_shared<StderrProblemReport>(std::move(program));
}

}  // namespace kestrune::platform
