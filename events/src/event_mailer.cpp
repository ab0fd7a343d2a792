#include "events/event_mailer.h"

#include <system_error>
#include <utility>

namespace kestrune::evt {

EventMailer::EventMailer(Sender sender, std::function<void()> outcomeReady,
                         std::size_t maxQueued)
    : sender_(std::move(sender)), outcomeReady_(std::move(outcomeReady)), maxQueued_(maxQueued) {}

EventMailer::~EventMailer() {
  Stop();
}

void EventMailer::AddOutcome(MailOutcome outcome) {
  {
    std::lock_guard lock(mutex_);
    outcomes_.push_back(std::move(outcome));
  }
  if (outcomeReady_) outcomeReady_();
}

void EventMailer::Enqueue(EventMail mail) {
  {
    std::unique_lock lock(mutex_);
    const std::size_t waiting = queue_.size() + (sending_ ? 1 : 0);
    if (!stopping_ && waiting < maxQueued_) {
      if (!thread_.joinable()) {
        try {
          thread_ = std::thread([this] { Run(); });
        } catch (const std::system_error&) {
          lock.unlock();
          AddOutcome({MailOutcome::Kind::Dropped, std::move(mail.text), {}});
          return;
        }
      }
      queue_.push_back(std::move(mail));
      lock.unlock();
      wake_.notify_one();
      return;
    }
    if (!stopping_) {
      lock.unlock();
      AddOutcome({MailOutcome::Kind::Dropped, std::move(mail.text), {}});
      return;
    }
  }
  AddOutcome({MailOutcome::Kind::NotSent, std::move(mail.text), {}});
}

void EventMailer::Run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
    if (stopping_) return;
    EventMail mail = std::move(queue_.front());
    queue_.pop_front();
    sending_ = true;
    lock.unlock();

    std::wstring error;
    bool sent = false;
    try {
      sent = sender_(mail, error, stop_);
    } catch (...) {
      sent = false;
    }
    // A send that the stop cut short did not go out: it is reported as not
    // sent with the others, not as a failure of the server.
    const bool cutShort = !sent && stop_->Raised();
    if (!sent && !cutShort)
      AddOutcome({MailOutcome::Kind::Failed, std::move(mail.text), std::move(error)});

    lock.lock();
    sending_ = false;
    if (cutShort) {
      outcomes_.push_back({MailOutcome::Kind::NotSent, std::move(mail.text), {}});
      return;
    }
  }
}

void EventMailer::Stop() {
  std::deque<EventMail> left;
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  stop_->Raise();
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
  {
    std::lock_guard lock(mutex_);
    left.swap(queue_);
    for (EventMail& mail : left)
      outcomes_.push_back({MailOutcome::Kind::NotSent, std::move(mail.text), {}});
  }
}

std::vector<MailOutcome> EventMailer::TakeOutcomes() {
  std::lock_guard lock(mutex_);
  std::vector<MailOutcome> taken;
  taken.swap(outcomes_);
  return taken;
}

std::size_t EventMailer::Pending() {
  std::lock_guard lock(mutex_);
  return queue_.size() + (sending_ ? 1 : 0);
}

}  // namespace kestrune::evt
