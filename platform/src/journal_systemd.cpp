// The system journal through libsystemd's sd_journal_sendv.
#include <sys/uio.h>
#include <systemd/sd-journal.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/journal.h"

namespace kestrune::platform {
namespace {

// journald's socket; where it is missing no journal runs.
constexpr char kJournalSocket[] = "/run/systemd/journal/socket";

class SystemJournal final : public Journal {
 public:
  explicit SystemJournal(std::string identifier) : identifier_(std::move(identifier)) {}

  void Send(JournalPriority priority, const std::string& message,
            const std::vector<JournalField>& fields) override {
    std::vector<std::string> lines;
    lines.reserve(fields.size() + 3);
    lines.push_back("MESSAGE=" + message);
    lines.push_back("PRIORITY=" + std::to_string(static_cast<int>(priority)));
    lines.push_back("SYSLOG_IDENTIFIER=" + identifier_);
    for (const JournalField& field : fields) lines.push_back(field.name + "=" + field.value);
    std::vector<iovec> vectors;
    vectors.reserve(lines.size());
    for (std::string& line : lines) vectors.push_back({line.data(), line.size()});
    // A journal that has gone away loses the entry; the log file has it.
    (void)sd_journal_sendv(vectors.data(), static_cast<int>(vectors.size()));
  }

 private:
  std::string identifier_;
};

}  // namespace

bool SystemJournalRunning() {
  return ::access(kJournalSocket, W_OK) == 0;
}

std::shared_ptr<Journal> MakeSystemJournal(const std::string& identifier) {
  if (!SystemJournalRunning()) return nullptr;
  return std::make_shared<SystemJournal>(identifier);
}

}  // namespace kestrune::platform
