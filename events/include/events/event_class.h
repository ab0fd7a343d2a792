// The event classes: which of the driver's event class GUIDs a record carries.
#pragma once

#include "events/event_record.h"

namespace kestrune::evt {

enum class EventKind {
  UltraDma,
  DeviceChanged,
  NewDevice,
  DeviceRemoved,
  MemberDropped,
  MemberAdded,
  MemberRemoved,
  BusReset,
  Rebuild,
  MemberError,
  SpareDrive,
  SetCreated,
  SetDeleted,
  Unknown,
};

// The class of a GUID; Unknown when it matches none of the thirteen.
EventKind Classify(const EventGuid& guid);

}  // namespace kestrune::evt
