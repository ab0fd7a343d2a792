// The program run for every event: what it is given, the entries of a run
// that fails, hangs or never runs, its output in the journal, and that it
// never holds the logger or the stop.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <string>

#include "events/logger_rig.h"

namespace kestrune::evt {
namespace {

using namespace std::chrono_literals;
using test::LoggerRig;
using test::OneAdapter;
using test::RawStep;
using test::Udma;
using test::UdmaText;

std::string Script(LoggerRig& rig, const std::string& body) {
  const std::string path = rig.dir.File("alert");
  std::ofstream(path) << "#!/bin/sh\ncd \"$(dirname \"$0\")\"\n" << body;
  ::chmod(path.c_str(), 0700);
  return path;
}

std::string Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

std::wstring Wide(const std::string& text) {
  return platform::FromUtf8(text);
}

// The line that names the event, ending the entry's text.
std::string ForEvent(std::string_view severityText) {
  const std::string event = UdmaText(severityText);
  return "\tFor the event: " + event.substr(0, event.find('\n')) + "\n";
}

std::string EntryText(LoggerRig& rig, LogEntryKind kind) {
  for (const auto& e : rig.Entries())
    if (e.kind == kind) return platform::ToUtf8(e.text);
  return {};
}

// An Error (which reaches level 2) runs the program with its fields; a
// Warning after it makes it fail, and its entry shows that both ran in order.
TEST(EventProgram, RunsWithTheEventsFieldsAndAFailureWritesAnEntry) {
  LoggerRig rig(OneAdapter({RawStep(0, Udma(3)), RawStep(0, Udma(2)), RawStep(0, Udma(1))}));
  const std::string program =
      Script(rig,
             "printf '%s|%s|%s|%s|%s|%s\\n' \"$KESTRUNE_SEVERITY\" "
             "\"$KESTRUNE_SEVERITY_NAME\" \"$KESTRUNE_EVENT_CODE\" "
             "\"$KESTRUNE_ADAPTER\" \"$KESTRUNE_CHANNEL\" "
             "\"$KESTRUNE_TIME\" >> fields.txt\n"
             "printf '%s' \"$KESTRUNE_TEXT\" > text-$KESTRUNE_SEVERITY.txt\n"
             "cat > stdin-$KESTRUNE_SEVERITY.txt\n"
             "echo \"paged for $KESTRUNE_SEVERITY_NAME\"\n"
             "[ \"$KESTRUNE_SEVERITY\" = 3 ] || exit 5\n");
  rig.settings->SetEventProgram(Wide(program));
  rig.settings->SetProgramEventLevel(2);
  rig.MakeLogger(1ms);
  ASSERT_TRUE(rig.logger->Start());
  ASSERT_TRUE(rig.PollUntil(3));
  ASSERT_TRUE(rig.WaitFor(LogEntryKind::ProgramFailure));
  rig.logger->Stop();
  // The Informational event is below the level: two runs, in event order.
  EXPECT_EQ(Read(rig.dir.File("fields.txt")),
            "3|Error|ultra-dma|0|1|2004-03-05T14:07:09Z\n"
            "2|Warning|ultra-dma|0|1|2004-03-05T14:07:09Z\n");
  EXPECT_EQ(Read(rig.dir.File("text-3.txt")), UdmaText("Error        "));
  EXPECT_EQ(Read(rig.dir.File("stdin-3.txt")), UdmaText("Error        "));
  EXPECT_EQ(rig.CountOf(LogEntryKind::ProgramFailure), 1u);
  EXPECT_EQ(EntryText(rig, LogEntryKind::ProgramFailure),
            "15-January-2026 05:00.00\tEvent Program Error - \r\nThe event program " + program +
                " ended with status 5.\n" + ForEvent("Warning      "));
  // Its output went to the journal with the event's fields.
  bool paged = false;
  for (const auto& entry : rig.journal->Entries()) {
    if (entry.message != "paged for Error") continue;
    paged = true;
    EXPECT_EQ(entry.Field("KESTRUNE_ENTRY"), "program-output");
    EXPECT_EQ(entry.Field("KESTRUNE_PROGRAM_STREAM"), "stdout");
    EXPECT_EQ(entry.Field("KESTRUNE_EVENT_CODE"), "ultra-dma");
  }
  EXPECT_TRUE(paged);
}

// A program that hangs is killed at its bound; one with an hour's bound
// holds neither the next event's entry nor the stop, which writes it and the
// one waiting behind it as not run.
TEST(EventProgram, AHangingProgramIsKilledAndNeverHoldsTheLoggerOrTheStop) {
  {
    LoggerRig rig(OneAdapter({RawStep(0, Udma(3))}));
    const std::string program = Script(rig, "exec sleep 1000\n");
    rig.settings->SetEventProgram(Wide(program));
    rig.settings->SetProgramEventLevel(1);
    rig.adjustOptions = [](EventLogThreadOptions& o) { o.programTimeLimit = 200ms; };
    rig.MakeLogger(1ms);
    ASSERT_TRUE(rig.logger->Start());
    ASSERT_TRUE(rig.Poll());
    ASSERT_TRUE(rig.WaitFor(LogEntryKind::ProgramFailure));
    rig.logger->Stop();
    EXPECT_EQ(EntryText(rig, LogEntryKind::ProgramFailure),
              "15-January-2026 05:00.00\tEvent Program Error - \r\nThe event program " + program +
                  " did not end within its time limit (1 s) and was killed.\n" +
                  ForEvent("Error        "));
  }
  LoggerRig rig(OneAdapter({RawStep(0, Udma(3)), RawStep(10, Udma(2))}));
  const std::string program = Script(rig, "echo started\nexec sleep 1000\n");
  rig.settings->SetEventProgram(Wide(program));
  rig.settings->SetProgramEventLevel(1);
  rig.settings->SetProgramTimeLimit(3600);
  rig.MakeLogger(1ms);
  ASSERT_TRUE(rig.logger->Start());
  ASSERT_TRUE(rig.Poll());
  ASSERT_TRUE(rig.journal->WaitForMessage("started"));
  rig.clock->Advance(10s);
  ASSERT_TRUE(rig.WaitFor(LogEntryKind::Event, 2));
  ASSERT_TRUE(rig.Poll());
  EXPECT_EQ(rig.logger->Thread()->PendingPrograms(), 2u);
  rig.logger->Stop();
  const std::string notRun =
      "15-January-2026 05:00.10\tEvent Program Not Run - the program stopped before the event "
      "program ran.\r\n";
  std::vector<std::string> runs;
  for (const auto& e : rig.Entries())
    if (e.kind == LogEntryKind::ProgramNotRun) runs.push_back(platform::ToUtf8(e.text));
  EXPECT_EQ(runs, (std::vector<std::string>{notRun + ForEvent("Error        "),
                                            notRun + ForEvent("Warning      ")}));
  EXPECT_EQ(rig.CountOf(LogEntryKind::ProgramFailure), 0u);
}

TEST(EventProgram, AProgramThatCannotRunSaysWhy) {
  struct Case {
    std::wstring program;
    std::string error;
  };
  const Case cases[] = {
      {L"alert.sh",
       "The event program alert.sh is not named by its full path (starting with /).\n"},
      {L"/nonexistent/alert",
       "The event program /nonexistent/alert could not be started: No such file or directory.\n"},
  };
  for (const Case& c : cases) {
    LoggerRig rig(OneAdapter({RawStep(0, Udma(3))}));
    rig.settings->SetEventProgram(c.program);
    rig.settings->SetProgramEventLevel(3);
    rig.MakeLogger(1ms);
    ASSERT_TRUE(rig.logger->Start());
    ASSERT_TRUE(rig.Poll());
    ASSERT_TRUE(rig.WaitFor(LogEntryKind::ProgramFailure));
    rig.logger->Stop();
    EXPECT_EQ(EntryText(rig, LogEntryKind::ProgramFailure),
              "15-January-2026 05:00.00\tEvent Program Error - \r\n" + c.error +
                  ForEvent("Error        "));
  }
}

}  // namespace
}  // namespace kestrune::evt
