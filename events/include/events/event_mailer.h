// The event mail queue: each event's mail goes out on a thread of its own,
// one after the other in the order the events came, so that a slow, silent or
// hostile mail server never holds the logger, its log, sounds and popups.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "platform/journal.h"
#include "platform/stop_signal.h"

namespace kestrune::evt {

// One event's mail: what the settings said when the event came, and the
// event's text as the body.
struct EventMail {
  std::wstring server;
  std::wstring sender;
  std::wstring recipients;
  std::wstring subject;
  std::wstring text;
  // How the server is reached, as the settings said: "SMTP Port", "SMTP
  // Security", "SMTP User" and "SMTP CA File" (the password is read when the
  // mail goes out, and never kept).
  std::uint32_t port = 25;
  std::wstring security;
  std::wstring user;
  std::wstring caFile;
  // The event's journal fields, carried to the entry of a mail that fails.
  std::vector<platform::JournalField> journalFields;
};

// What became of a mail that did not go out.
struct MailOutcome {
  enum class Kind {
    Failed,   // a step failed: `error` holds the sender's error text
    NotSent,  // the mailer stopped before the mail went out
    Dropped,  // never queued: too many mails were waiting (or no thread could be made)
  };
  Kind kind = Kind::Failed;
  std::wstring eventText;
  std::wstring error;
  std::vector<platform::JournalField> journalFields;
};

// A queue of event jobs worked off one after the other, in event order, on a
// thread of its own: the event mails, and the event program's runs.
template <typename Job>
class EventQueue {
 public:
  // Works one job (sends one mail); true when it succeeded, else false with
  // the error text. `stop` is raised when the queue stops, and must end the
  // work at once.
  using Sender = std::function<bool(const Job& job, std::wstring& error,
                                    const std::shared_ptr<platform::StopSignal>& stop)>;

  // Mails waiting beyond this are not kept: the newest is given back as not
  // sent at once (a server that is down for hours with events every second).
  static constexpr std::size_t kDefaultMaxQueued = 1000;

  // `outcomeReady` is called on the mail thread whenever an outcome awaits
  // TakeOutcomes (the logger wakes up to write it); may be empty.
  EventQueue(Sender sender, std::function<void()> outcomeReady,
             std::size_t maxQueued = kDefaultMaxQueued)
      : sender_(std::move(sender)), outcomeReady_(std::move(outcomeReady)), maxQueued_(maxQueued) {}
  // Stops.
  ~EventQueue() { Stop(); }
  EventQueue(const EventQueue&) = delete;
  EventQueue& operator=(const EventQueue&) = delete;

  // Queues a mail behind those waiting; the thread starts with the first
  // mail. After Stop the mail becomes a NotSent outcome at once; when the
  // queue is full or no thread can be made, a Dropped one.
  void Enqueue(Job mail) {
    {
      std::unique_lock lock(mutex_);
      const std::size_t waiting = queue_.size() + (sending_ ? 1 : 0);
      if (!stopping_ && waiting < maxQueued_) {
        if (!thread_.joinable()) {
          try {
            thread_ = std::thread([this] { Run(); });
          } catch (const std::system_error&) {
            lock.unlock();
            AddOutcome({MailOutcome::Kind::Dropped,
                        std::move(mail.text),
                        {},
                        std::move(mail.journalFields)});
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
        AddOutcome(
            {MailOutcome::Kind::Dropped, std::move(mail.text), {}, std::move(mail.journalFields)});
        return;
      }
    }
    AddOutcome(
        {MailOutcome::Kind::NotSent, std::move(mail.text), {}, std::move(mail.journalFields)});
  }
  // The outcomes not yet taken, in the order of their mails.
  std::vector<MailOutcome> TakeOutcomes() {
    std::lock_guard lock(mutex_);
    std::vector<MailOutcome> taken;
    taken.swap(outcomes_);
    return taken;
  }
  // Ends the mail in progress at once (its waits watch the stop signal) and
  // joins the thread; the mail in progress and those still queued become
  // NotSent outcomes, after any failures before them. Further mails are not
  // sent. Safe to call more than once.
  void Stop() {
    std::deque<Job> left;
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
      for (Job& mail : left)
        outcomes_.push_back(
            {MailOutcome::Kind::NotSent, std::move(mail.text), {}, std::move(mail.journalFields)});
    }
  }

  // Mails queued or in progress.
  std::size_t Pending() {
    std::lock_guard lock(mutex_);
    return queue_.size() + (sending_ ? 1 : 0);
  }

 private:
  void Run() {
    std::unique_lock lock(mutex_);
    for (;;) {
      wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
      if (stopping_) return;
      Job mail = std::move(queue_.front());
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
        AddOutcome({MailOutcome::Kind::Failed, std::move(mail.text), std::move(error),
                    std::move(mail.journalFields)});

      lock.lock();
      sending_ = false;
      if (cutShort) {
        outcomes_.push_back(
            {MailOutcome::Kind::NotSent, std::move(mail.text), {}, std::move(mail.journalFields)});
        return;
      }
    }
  }
  void AddOutcome(MailOutcome outcome) {
    {
      std::lock_guard lock(mutex_);
      outcomes_.push_back(std::move(outcome));
    }
    if (outcomeReady_) outcomeReady_();
  }

  Sender sender_;
  std::function<void()> outcomeReady_;
  const std::size_t maxQueued_;
  std::shared_ptr<platform::StopSignal> stop_ = std::make_shared<platform::StopSignal>();

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<Job> queue_;
  bool sending_ = false;  // a mail is in the sender's hands
  bool stopping_ = false;
  std::vector<MailOutcome> outcomes_;
  std::thread thread_;
};

// The event mail queue.
using EventMailer = EventQueue<EventMail>;

}  // namespace kestrune::evt
