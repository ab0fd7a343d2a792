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
#include <thread>
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

class EventMailer {
 public:
  // Sends one mail; true when it went out, else false with the error text.
  // `stop` is raised when the mailer stops, and must end the send at once.
  using Sender = std::function<bool(const EventMail& mail, std::wstring& error,
                                    const std::shared_ptr<platform::StopSignal>& stop)>;

  // Mails waiting beyond this are not kept: the newest is given back as not
  // sent at once (a server that is down for hours with events every second).
  static constexpr std::size_t kDefaultMaxQueued = 1000;

  // `outcomeReady` is called on the mail thread whenever an outcome awaits
  // TakeOutcomes (the logger wakes up to write it); may be empty.
  EventMailer(Sender sender, std::function<void()> outcomeReady,
              std::size_t maxQueued = kDefaultMaxQueued);
  // Stops.
  ~EventMailer();
  EventMailer(const EventMailer&) = delete;
  EventMailer& operator=(const EventMailer&) = delete;

  // Queues a mail behind those waiting; the thread starts with the first
  // mail. After Stop the mail becomes a NotSent outcome at once; when the
  // queue is full or no thread can be made, a Dropped one.
  void Enqueue(EventMail mail);
  // The outcomes not yet taken, in the order of their mails.
  std::vector<MailOutcome> TakeOutcomes();
  // Ends the mail in progress at once (its waits watch the stop signal) and
  // joins the thread; the mail in progress and those still queued become
  // NotSent outcomes, after any failures before them. Further mails are not
  // sent. Safe to call more than once.
  void Stop();

  // Mails queued or in progress.
  std::size_t Pending();

 private:
  void Run();
  void AddOutcome(MailOutcome outcome);

  Sender sender_;
  std::function<void()> outcomeReady_;
  const std::size_t maxQueued_;
  std::shared_ptr<platform::StopSignal> stop_ = std::make_shared<platform::StopSignal>();

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<EventMail> queue_;
  bool sending_ = false;  // a mail is in the sender's hands
  bool stopping_ = false;
  std::vector<MailOutcome> outcomes_;
  std::thread thread_;
};

}  // namespace kestrune::evt
