// A journal for tests: keeps every entry. Safe to use from several threads.
#pragma once

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
    std::lock_guard lock(mutex_);
    entries_.push_back({priority, message, fields});
  }
  std::vector<Entry> Entries() {
    std::lock_guard lock(mutex_);
    return entries_;
  }

 private:
  std::mutex mutex_;
  std::vector<Entry> entries_;
};

}  // namespace kestrune::platform
