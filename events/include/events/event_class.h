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
  // Kestrune's own: an array of the machine's own that no set stands for,
  // and the changes made to its disks.
  ArrayNotice,
  Unknown,
};

// The class of a GUID; Unknown when it matches none of the fourteen.
EventKind Classify(const EventGuid& guid);

}  // namespace kestrune::evt
