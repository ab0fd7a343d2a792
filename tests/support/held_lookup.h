// A host lookup for the mail sender that answers only when the test lets it,
// as a name server that does not answer.
#pragma once

#include <netdb.h>

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "events/smtp.h"

namespace kestrune::test {

// A host lookup that answers only when the test lets it (a name server that
// does not answer), telling when it has been asked. Its state outlives the
// test: the lookup's thread may wake after the test has ended.
class HeldLookup {
 public:
  ~HeldLookup() { Release(); }
  evt::SmtpHostLookup Lookup() {
    return [state = state_](const std::string&, std::uint16_t, std::vector<evt::SmtpAddress>&) {
      std::unique_lock lock(state->mutex);
      state->asked = true;
      state->changed.notify_all();
      state->changed.wait(lock, [&] { return state->released; });
      return EAI_AGAIN;
    };
  }
  void WaitAsked() {
    std::unique_lock lock(state_->mutex);
    state_->changed.wait(lock, [this] { return state_->asked; });
  }
  void Release() {
    std::lock_guard lock(state_->mutex);
    state_->released = true;
    state_->changed.notify_all();
  }

 private:
  struct State {
    std::mutex mutex;
    std::condition_variable changed;
    bool asked = false;
    bool released = false;
  };
  std::shared_ptr<State> state_ = std::make_shared<State>();
};

}  // namespace kestrune::test
