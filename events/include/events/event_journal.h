// What the logger sends the system journal with each entry: the priority by
// severity and the fields a query needs (journalctl KESTRUNE_ADAPTER=0
// KESTRUNE_EVENT_CODE=member-dropped).
#pragma once

#include <cstdint>
#include <vector>

#include "events/event_log_thread.h"
#include "events/event_record.h"
#include "platform/journal.h"

namespace kestrune::evt {

// Informational -> info, Warning -> warning, Error and failed mails -> err;
// a severity the driver should not send -> notice; the logger's own entries
// (started, stopped, pause, resumed) -> info. `severity` counts for events
// only.
platform::JournalPriority JournalPriorityOf(LogEntryKind kind, std::uint32_t severity = 0);

// KESTRUNE_ENTRY: started, stopped, pause, resumed, event, mail-failure,
// mail-not-sent, program-failure or program-not-run.
platform::JournalField JournalEntryField(LogEntryKind kind);

// The record's fields: KESTRUNE_ADAPTER (from 0), KESTRUNE_EVENT_CODE (the
// event class: ultra-dma, member-dropped, ... or unknown), KESTRUNE_EVENT_CLASS
// (its GUID), KESTRUNE_SEVERITY (the driver's number), and where the record
// has them KESTRUNE_SET, KESTRUNE_MEMBER, KESTRUNE_DEVICE_INDEX,
// KESTRUNE_CHANNEL, KESTRUNE_DEVICE and KESTRUNE_BUS.
std::vector<platform::JournalField> EventJournalFields(const EventRecord& record,
                                                       std::uint32_t adapterNumber);

}  // namespace kestrune::evt
