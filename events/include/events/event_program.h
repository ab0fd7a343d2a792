// The program run for every event that reaches its level: how an alert goes
// to a chat, a pager or a ticket system without Kestrune knowing them. The
// event's fields go in environment variables and its text on standard input;
// the program is never run through a shell.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "events/event_mailer.h"
#include "events/event_record.h"
#include "platform/journal.h"
#include "platform/stop_signal.h"

namespace kestrune::evt {

using ProgramEnvironment = std::vector<std::pair<std::string, std::string>>;

// One event's run of the program.
struct EventProgramRun {
  std::wstring program;  // its full path
  std::chrono::milliseconds timeLimit{30000};
  std::wstring text;  // the event's text, on standard input
  ProgramEnvironment environment;
  // The event's journal fields, for the program's output and for the entry
  // of a run that fails.
  std::vector<platform::JournalField> journalFields;
};

// The runs, one after another in event order, on a thread of their own.
using EventProgramQueue = EventQueue<EventProgramRun>;

// The time limit "Program Time Limit" gives: 0 (or none) the default of 30
// seconds, at most an hour.
std::chrono::milliseconds ProgramTimeLimit(std::uint32_t seconds);

// What the program finds in its environment: the journal's fields of the
// event (KESTRUNE_ADAPTER, KESTRUNE_EVENT_CODE, KESTRUNE_EVENT_CLASS,
// KESTRUNE_SEVERITY and, where the event has them, KESTRUNE_SET,
// KESTRUNE_MEMBER, KESTRUNE_DEVICE_INDEX, KESTRUNE_CHANNEL, KESTRUNE_DEVICE,
// KESTRUNE_BUS), KESTRUNE_SEVERITY_NAME (Informational, Warning, Error or
// Unknown), KESTRUNE_TIME (the event's time in UTC, "2026-01-15T05:00:31Z")
// and KESTRUNE_TEXT (the event's text).
ProgramEnvironment EventProgramEnvironment(const EventRecord& record, std::uint32_t adapterNumber,
                                           const std::wstring& text);

// Runs the program once: true when it ended with status 0; else false with
// the error text of its entry. Each line it writes goes to `journal` (may be
// null) with the event's fields, KESTRUNE_ENTRY=program-output and
// KESTRUNE_PROGRAM_STREAM (stdout or stderr).
bool RunEventProgram(const EventProgramRun& run, std::wstring& error,
                     const std::shared_ptr<platform::StopSignal>& stop, platform::Journal* journal);

}  // namespace kestrune::evt
