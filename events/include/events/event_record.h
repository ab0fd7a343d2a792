// The driver's 88-byte event record and the reading of a FetchEvents reply.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "controller/controller_io.h"
#include "controller/wire_layout.h"

namespace kestrune::evt {

namespace record_layout = ctl::wire::event_record;

enum class EventSeverity : std::uint32_t {
  Informational = 1,
  Warning = 2,
  Error = 3,
};

// A GUID as the driver lays it out: u32, u16, u16 (little-endian) and 8 bytes.
struct EventGuid {
  std::uint32_t data1 = 0;
  std::uint16_t data2 = 0;
  std::uint16_t data3 = 0;
  std::array<std::uint8_t, 8> data4{};

  friend bool operator==(const EventGuid&, const EventGuid&) = default;
};

struct EventRecord {
  EventGuid eventClass;
  std::uint64_t timeStamp = 0;  // FILETIME: 100 ns units since 1601-01-01 UTC
  std::uint32_t severity = 0;   // an EventSeverity value, or anything the driver sent
  std::array<std::uint8_t, record_layout::kClassData.size> classData{};
  // The four bytes after the record in the reply buffer: the next record's
  // first bytes, or the buffer's 0xFF fill.
  std::array<std::uint8_t, record_layout::kFollowing.size> following{0xFF, 0xFF, 0xFF, 0xFF};

  // A byte by its record offset, 44 to 91 (class data, then the following
  // bytes); 0 for any other offset.
  std::uint8_t Byte(std::size_t recordOffset) const;
  // A little-endian u32 of the class data by its record offset (0 when it
  // does not lie within offsets 44 to 91).
  std::uint32_t Word(std::size_t recordOffset) const;
  // The class data fields by name (wire_layout.h).
  std::uint8_t Get(ctl::wire::U8 field) const { return Byte(field.offset); }
  std::uint32_t Get(ctl::wire::U32 field) const { return Word(field.offset); }
};

// Record offsets 44 to 91: the class data and the four bytes that follow.
inline constexpr std::size_t kClassDataEnd = record_layout::kFollowing.End();

// Decodes one record from `bytes`: the 88 record bytes, optionally followed by
// the bytes that come after it. Missing bytes read as 0xFF, the reply
// buffer's fill.
EventRecord DecodeEventRecord(std::span<const std::uint8_t> bytes);

// The records of one FetchEvents reply, in order. The count the driver reports
// is trusted only as far as the reply can hold it: a count above the 20 record
// slots (also the untouched 0xFFFFFFFF the request is sent with) is taken as
// 20, and only whole records inside the payload (the bytes the driver
// returned) are read, so a short payload yields fewer. The following bytes of
// a record that ends at the payload's end read as 0xFF.
std::vector<EventRecord> ReadEventRecords(const ctl::EventBatch& batch);

}  // namespace kestrune::evt
