// What the logger sends the journal: each entry with its priority by
// severity and the fields a query needs, the log file unchanged.
#include "events/event_journal.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "logger_rig.h"

namespace kestrune::test {
namespace {

using P = platform::JournalPriority;

TEST(EventJournal, RecordFieldsByEventClass) {
  struct Case {
    const char* what;
    RecordBytes record;
    const char* code;
    std::vector<platform::JournalField> fields;  // beyond the four every event has
  };
  const Case cases[] = {
      {"member dropped",
       RecordBytes(guid::kMemberDropped, 3).Put(44, {1, 0, 4, 0, 2}),
       "member-dropped",
       {{"KESTRUNE_SET", "1"}, {"KESTRUNE_MEMBER", "0"}, {"KESTRUNE_DEVICE_INDEX", "2"}}},
      {"rebuild",
       RecordBytes(guid::kRebuild).Put(44, {0, 1, 5, 3}),
       "rebuild",
       {{"KESTRUNE_SET", "0"}, {"KESTRUNE_MEMBER", "1"}, {"KESTRUNE_DEVICE_INDEX", "3"}}},
      {"spare joined a set",
       RecordBytes(guid::kSpareDrive).Put(44, {3, 2, 0, 1}),
       "spare-drive",
       {{"KESTRUNE_DEVICE_INDEX", "2"}, {"KESTRUNE_SET", "0"}, {"KESTRUNE_MEMBER", "1"}}},
      {"spare created",
       RecordBytes(guid::kSpareDrive).Put(44, {1, 2, 9, 9}),
       "spare-drive",
       {{"KESTRUNE_DEVICE_INDEX", "2"}}},
      {"ultra dma",
       RecordBytes(guid::kUltraDma, 2).Put(44, {1, 0, 5, 2}),
       "ultra-dma",
       {{"KESTRUNE_CHANNEL", "1"}, {"KESTRUNE_DEVICE", "0"}}},
      {"set created", RecordBytes(guid::kSetCreated).Put(45, {1}), "set-created", {}},
      {"unknown class", RecordBytes("00000001-0002-0003-0405-060708090A0B", 9), "unknown", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const evt::EventRecord record = c.record.Record();
    const auto fields = evt::EventJournalFields(record, 1);
    ASSERT_EQ(fields.size(), 4 + c.fields.size());
    EXPECT_EQ(fields[0], (platform::JournalField{"KESTRUNE_ADAPTER", "1"}));
    EXPECT_EQ(fields[1], (platform::JournalField{"KESTRUNE_EVENT_CODE", c.code}));
    EXPECT_EQ(fields[3],
              (platform::JournalField{"KESTRUNE_SEVERITY", std::to_string(record.severity)}));
    EXPECT_EQ(std::vector(fields.begin() + 4, fields.end()), c.fields);
  }
  EXPECT_EQ(evt::EventJournalFields(RecordBytes(guid::kUltraDma).Record(), 0)[2].value,
            "650CC120-94B0-46EF-9C61-0520199E3232");
}

// Every entry reaches the journal with its priority, also with the log file
// off, and the log file is written as without a journal.
TEST(EventJournal, LoggerSendsEveryEntryWithItsPriority) {
  for (const bool logging : {true, false}) {
    SCOPED_TRACE(logging ? "log file on" : "log file off");
    LoggerRig rig(OneAdapter(
        {RawStep(0, Udma(1)), RawStep(0, Udma(2)), RawStep(0, Udma(3)), RawStep(0, Udma(7))}));
    rig.settings->SetLogFileEnabled(logging ? L"TRUE" : L"FALSE");
    rig.settings->SetEmailEventLevel(3);  // errors only; the rig's server refuses
    rig.MakeLogger(1ms);
    ASSERT_TRUE(rig.logger->Start());
    ASSERT_TRUE(rig.Poll());
    ASSERT_TRUE(rig.WaitFor(evt::LogEntryKind::EmailFailure, 2));
    rig.logger->Stop();

    const auto sent = rig.journal->Entries();
    const auto logged = rig.Entries();
    ASSERT_EQ(sent.size(), logged.size());
    for (std::size_t i = 0; i < sent.size(); ++i)
      EXPECT_EQ(sent[i].message, platform::ToUtf8(logged[i].text));
    struct Want {
      P priority;
      const char* entry;
      const char* severity;  // "": no event fields
    };
    // Severity 7 is above the mail level too. The mails' entries follow the
    // poll's events: they are written when the mail thread reports.
    const Want want[] = {
        {P::Info, "started", ""},        {P::Info, "resumed", ""},        {P::Info, "event", "1"},
        {P::Warning, "event", "2"},      {P::Error, "event", "3"},        {P::Notice, "event", "7"},
        {P::Error, "mail-failure", "3"}, {P::Error, "mail-failure", "7"}, {P::Info, "stopped", ""}};
    ASSERT_EQ(sent.size(), std::size(want));
    for (std::size_t i = 0; i < sent.size(); ++i) {
      SCOPED_TRACE(i);
      EXPECT_EQ(sent[i].priority, want[i].priority);
      EXPECT_EQ(sent[i].Field("KESTRUNE_ENTRY"), want[i].entry);
      EXPECT_EQ(sent[i].Field("KESTRUNE_SEVERITY"), want[i].severity);
      EXPECT_EQ(sent[i].Has("KESTRUNE_ADAPTER"), *want[i].severity != '\0');
    }
    EXPECT_EQ(sent[6].Field("KESTRUNE_EVENT_CODE"), "ultra-dma");
    EXPECT_EQ(rig.LogBytes().empty(), !logging);
  }
}

}  // namespace
}  // namespace kestrune::test
