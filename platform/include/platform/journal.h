// The system journal: structured entries with a priority, for `journalctl`
// queries such as "journalctl KESTRUNE_ADAPTER=0 -p err".
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace kestrune::platform {

// syslog's numbers, as the journal keeps them in PRIORITY.
enum class JournalPriority { Error = 3, Warning = 4, Notice = 5, Info = 6 };

struct JournalField {
  std::string name;  // upper-case letters, digits and '_', not starting with '_'
  std::string value;

  friend bool operator==(const JournalField&, const JournalField&) = default;
};

class Journal {
 public:
  virtual ~Journal() = default;
  // Sends one entry: MESSAGE, PRIORITY and the fields. Never blocks for long
  // and never fails the caller: an entry the journal does not take is lost.
  virtual void Send(JournalPriority priority, const std::string& message,
                    const std::vector<JournalField>& fields) = 0;
};

// The system journal through libsystemd, each entry with SYSLOG_IDENTIFIER
// `identifier`; null where no journal runs (containers, build machines), so
// that nothing is tried there.
std::shared_ptr<Journal> MakeSystemJournal(const std::string& identifier);

// Whether a journal daemon listens on this machine.
bool SystemJournalRunning();

}  // namespace kestrune::platform
