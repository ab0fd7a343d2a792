#include "events/event_journal.h"

#include <fmt/format.h>

#include <string>

#include "controller/wire_layout.h"
#include "events/event_class.h"

namespace kestrune::evt {
namespace {

namespace ev = ctl::wire::event_record;

const char* CodeName(EventKind kind) {
  switch (kind) {
    case EventKind::UltraDma:
      return "ultra-dma";
    case EventKind::DeviceChanged:
      return "device-changed";
    case EventKind::NewDevice:
      return "new-device";
    case EventKind::DeviceRemoved:
      return "device-removed";
    case EventKind::MemberDropped:
      return "member-dropped";
    case EventKind::MemberAdded:
      return "member-added";
    case EventKind::MemberRemoved:
      return "member-removed";
    case EventKind::BusReset:
      return "bus-reset";
    case EventKind::Rebuild:
      return "rebuild";
    case EventKind::MemberError:
      return "member-error";
    case EventKind::SpareDrive:
      return "spare-drive";
    case EventKind::SetCreated:
      return "set-created";
    case EventKind::SetDeleted:
      return "set-deleted";
    case EventKind::ArrayNotice:
      return "array-notice";
    case EventKind::Unknown:
      break;
  }
  return "unknown";
}

}  // namespace

platform::JournalPriority JournalPriorityOf(LogEntryKind kind, std::uint32_t severity) {
  using P = platform::JournalPriority;
  switch (kind) {
    case LogEntryKind::EmailFailure:
    case LogEntryKind::EmailNotSent:
    case LogEntryKind::ProgramFailure:
    case LogEntryKind::ProgramNotRun:
      return P::Error;
    case LogEntryKind::Event:
      switch (severity) {
        case static_cast<std::uint32_t>(EventSeverity::Informational):
          return P::Info;
        case static_cast<std::uint32_t>(EventSeverity::Warning):
          return P::Warning;
        case static_cast<std::uint32_t>(EventSeverity::Error):
          return P::Error;
        default:
          return P::Notice;
      }
    default:
      return P::Info;
  }
}

platform::JournalField JournalEntryField(LogEntryKind kind) {
  const char* name = "event";
  switch (kind) {
    case LogEntryKind::Started:
      name = "started";
      break;
    case LogEntryKind::Stopped:
      name = "stopped";
      break;
    case LogEntryKind::PauseTaken:
      name = "pause";
      break;
    case LogEntryKind::Resumed:
      name = "resumed";
      break;
    case LogEntryKind::Event:
      break;
    case LogEntryKind::EmailFailure:
      name = "mail-failure";
      break;
    case LogEntryKind::EmailNotSent:
      name = "mail-not-sent";
      break;
    case LogEntryKind::ProgramFailure:
      name = "program-failure";
      break;
    case LogEntryKind::ProgramNotRun:
      name = "program-not-run";
      break;
  }
  return {"KESTRUNE_ENTRY", name};
}

std::vector<platform::JournalField> EventJournalFields(const EventRecord& record,
                                                       std::uint32_t adapterNumber) {
  const EventKind kind = Classify(record.eventClass);
  const EventGuid& g = record.eventClass;
  std::vector<platform::JournalField> fields{
      {"KESTRUNE_ADAPTER", std::to_string(adapterNumber)},
      {"KESTRUNE_EVENT_CODE", CodeName(kind)},
      {"KESTRUNE_EVENT_CLASS",
       fmt::format("{:08X}-{:04X}-{:04X}-{:02X}{:02X}-{:02X}{:02X}{:02X}{:02X}{:02X}{:02X}",
                   g.data1, g.data2, g.data3, g.data4[0], g.data4[1], g.data4[2], g.data4[3],
                   g.data4[4], g.data4[5], g.data4[6], g.data4[7])},
      {"KESTRUNE_SEVERITY", std::to_string(record.severity)},
  };
  auto add = [&](const char* name, ctl::wire::U8 field) {
    fields.push_back({name, std::to_string(record.Get(field))});
  };
  switch (kind) {
    case EventKind::UltraDma:
      add("KESTRUNE_CHANNEL", ev::ultra_dma::kChannel);
      add("KESTRUNE_DEVICE", ev::ultra_dma::kDevice);
      break;
    case EventKind::DeviceChanged:
    case EventKind::NewDevice:
    case EventKind::DeviceRemoved:
      add("KESTRUNE_CHANNEL", ev::device::kChannel);
      add("KESTRUNE_DEVICE", ev::device::kDevice);
      break;
    case EventKind::MemberDropped:
      add("KESTRUNE_SET", ev::member_dropped::kSet);
      add("KESTRUNE_MEMBER", ev::member_dropped::kMember);
      add("KESTRUNE_DEVICE_INDEX", ev::member_dropped::kDeviceIndex);
      break;
    case EventKind::MemberAdded:
      add("KESTRUNE_SET", ev::member_added::kSet);
      add("KESTRUNE_DEVICE_INDEX", ev::member_added::kDeviceIndex);
      break;
    case EventKind::MemberRemoved:
      add("KESTRUNE_SET", ev::member_removed::kSet);
      add("KESTRUNE_MEMBER", ev::member_removed::kMember);
      add("KESTRUNE_DEVICE_INDEX", ev::member_removed::kDeviceIndex);
      break;
    case EventKind::BusReset:
      add("KESTRUNE_BUS", ev::bus_reset::kBus);
      break;
    case EventKind::Rebuild:
      add("KESTRUNE_SET", ev::rebuild::kSet);
      add("KESTRUNE_MEMBER", ev::rebuild::kMember);
      add("KESTRUNE_DEVICE_INDEX", ev::rebuild::kDeviceIndex);
      break;
    case EventKind::MemberError:
      add("KESTRUNE_SET", ev::member_error::kSet);
      add("KESTRUNE_MEMBER", ev::member_error::kMember);
      add("KESTRUNE_DEVICE_INDEX", ev::member_error::kDeviceIndex);
      break;
    case EventKind::SpareDrive:
      add("KESTRUNE_DEVICE_INDEX", ev::spare_drive::kDeviceIndex);
      // Only a spare that joined a set (code 3) or was too small for one
      // (code 4) names a set; only the one that joined, a member.
      if (record.Get(ev::spare_drive::kCode) == 3 || record.Get(ev::spare_drive::kCode) == 4)
        add("KESTRUNE_SET", ev::spare_drive::kSet);
      if (record.Get(ev::spare_drive::kCode) == 3) add("KESTRUNE_MEMBER", ev::spare_drive::kMember);
      break;
    case EventKind::ArrayNotice:
      add("KESTRUNE_NOTICE", ctl::wire::U8{44});
      break;
    case EventKind::SetCreated:
    case EventKind::SetDeleted:
    case EventKind::Unknown:
      break;
  }
  return fields;
}

}  // namespace kestrune::evt
