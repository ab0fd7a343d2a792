// A journal for tests: keeps every entry. Safe to use from several threads.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "platform/journal.h"

namespace kestrune::platform {

class RecordingJournal final : public Journal {
 public:
  struct Entry {
    JournalPriority priority;
    std::string message;
    std::vector<JournalField> fields;

    // The value of the field `name`; empty when the entry has none.
    std::string Field(const std::string& name) const {
      for (const JournalField& field : fields) {
        if (field.name == name) return field.value;
      }
      return {};
    }
    bool Has(const std::string& name) const {
      for (const JournalField& field : fields) {
        if (field.name == name) return true;
      }
      return false;
    }
  };

  void Send(JournalPriority priority, const std::string& message,
            const std::vector<JournalField>& fields) override {
    {
      std::lock_guard lock(mutex_);
      entries_.push_back({priority, message, fields});
    }
    changed_.notify_all();
  }
  // Waits (at most `limit`) until an entry with this message has come.
  bool WaitForMessage(const std::string& message,
                      std::chrono::milliseconds limit = std::chrono::seconds(30)) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, limit, [&] {
      for (const Entry& e : entries_)
        if (e.message == message) return true;
      return false;
    });
  }
  std::vector<Entry> Entries() {
    std::lock_guard lock(mutex_);
    return entries_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Entry> entries_;
};

}  // namespace kestrune::platform
