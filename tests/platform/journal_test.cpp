// The system journal: absent in containers and on build machines, where
// nothing is sent; where journald runs, an entry is read back with its
// fields and priority.
#include "platform/journal.h"

#include <gtest/gtest.h>
#include <systemd/sd-journal.h>
#include <unistd.h>

#include <chrono>
#include <string>

namespace kestrune::test {
namespace {

// The value of `field` in the journal's current entry; empty when it has none.
std::string Field(sd_journal* journal, const char* field) {
  const void* data = nullptr;
  std::size_t length = 0;
  if (sd_journal_get_data(journal, field, &data, &length) < 0) return {};
  const std::string whole(static_cast<const char*>(data), length);
  return whole.substr(whole.find('=') + 1);
}

TEST(SystemJournal, EntryArrivesWithItsFieldsWhereAJournalRuns) {
  const auto journal = platform::MakeSystemJournal("kestrune-test");
  EXPECT_EQ(journal != nullptr, platform::SystemJournalRunning());
  if (!journal) GTEST_SKIP() << "no journal runs here";

  const std::string mark = std::to_string(::getpid()) + "-" +
                           std::to_string(std::chrono::steady_clock::now().time_since_epoch().count());
  journal->Send(platform::JournalPriority::Warning, "kestrune journal test",
                {{"KESTRUNE_TEST_MARK", mark}, {"KESTRUNE_ADAPTER", "0"}});

  sd_journal* reader = nullptr;
  if (sd_journal_open(&reader, SD_JOURNAL_LOCAL_ONLY) < 0) GTEST_SKIP() << "journal not readable";
  const std::string match = "KESTRUNE_TEST_MARK=" + mark;
  ASSERT_GE(sd_journal_add_match(reader, match.c_str(), 0), 0);
  // journald stores the entry shortly after; waited for on the journal's own
  // change notification, at most ten seconds.
  bool found = false;
  for (int round = 0; round < 20 && !found; ++round) {
    found = sd_journal_next(reader) > 0;
    if (!found) sd_journal_wait(reader, 500000);
  }
  if (!found) {
    sd_journal_close(reader);
    GTEST_SKIP() << "this user cannot read the entries it sends";
  }
  EXPECT_EQ(Field(reader, "MESSAGE"), "kestrune journal test");
  EXPECT_EQ(Field(reader, "PRIORITY"), "4");
  EXPECT_EQ(Field(reader, "SYSLOG_IDENTIFIER"), "kestrune-test");
  EXPECT_EQ(Field(reader, "KESTRUNE_ADAPTER"), "0");
  sd_journal_close(reader);
}

}  // namespace
}  // namespace kestrune::test
