// The driver's 88-byte event records and the per-adapter queue.
#include <algorithm>

#include "driver_core.h"

namespace kestrune::sim::detail {
namespace {

// 1970-01-01 in FILETIME units.
constexpr std::int64_t kUnixEpochTicks = 116444736000000000LL;

}  // namespace

std::uint64_t ToFileTime(TimePoint t) {
  const std::int64_t ticks = t.time_since_epoch().count() * 10 + kUnixEpochTicks;
  return ticks < 0 ? 0 : static_cast<std::uint64_t>(ticks);
}

EventBytes MakeEvent(const Guid& eventClass, TimePoint when, Severity severity) {
  EventBytes record{};
  std::span<std::uint8_t> s(record);
  PutU32(s, 0, eventClass.data1);
  PutU16(s, 4, eventClass.data2);
  PutU16(s, 6, eventClass.data3);
  PutBytes(s, 8, eventClass.data4);
  const std::uint64_t stamp = ToFileTime(when);
  PutU32(s, 24, static_cast<std::uint32_t>(stamp & 0xFFFFFFFFU));
  PutU32(s, 28, static_cast<std::uint32_t>(stamp >> 32));
  PutU32(s, 40, static_cast<std::uint32_t>(severity));
  return record;
}

void PutModel(EventBytes& record, std::size_t offset, std::string_view model) {
  for (std::size_t i = 0; i < 40 && offset + i < record.size(); ++i) {
    record[offset + i] = i < model.size() ? static_cast<std::uint8_t>(model[i]) : std::uint8_t{' '};
  }
}

void LiveAdapter::Queue(const EventBytes& record) {
  while (events.size() >= kEventQueueCap) {
    events.pop_front();
    ++droppedEvents;
  }
  events.push_back(record);
}

}  // namespace kestrune::sim::detail
