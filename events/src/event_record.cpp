// Reading event records out of a FetchEvents reply, within its bounds.
#include "events/event_record.h"

#include <algorithm>
#include <tuple>

namespace kestrune::evt {

namespace {

std::uint8_t At(std::span<const std::uint8_t> bytes, std::size_t offset) {
  return offset < bytes.size() ? bytes[offset] : std::uint8_t{0xFF};
}

std::uint16_t At16(std::span<const std::uint8_t> bytes, std::size_t offset) {
  return static_cast<std::uint16_t>(At(bytes, offset) | (At(bytes, offset + 1) << 8));
}

std::uint32_t At32(std::span<const std::uint8_t> bytes, std::size_t offset) {
  return static_cast<std::uint32_t>(At16(bytes, offset)) |
         (static_cast<std::uint32_t>(At16(bytes, offset + 2)) << 16);
}

std::uint64_t At64(std::span<const std::uint8_t> bytes, std::size_t offset) {
  return static_cast<std::uint64_t>(At32(bytes, offset)) |
         (static_cast<std::uint64_t>(At32(bytes, offset + 4)) << 32);
}

}  // namespace

namespace batch_layout = ctl::wire::fetch_events;

std::uint8_t EventRecord::Byte(std::size_t recordOffset) const {
  if (recordOffset < record_layout::kClassData.offset) return 0;
  const std::size_t i = recordOffset - record_layout::kClassData.offset;
  if (i < classData.size()) return classData[i];
  if (i - classData.size() < following.size()) return following[i - classData.size()];
  return 0;
}

std::uint32_t EventRecord::Word(std::size_t recordOffset) const {
  if (recordOffset < record_layout::kClassData.offset || recordOffset + 4 > kClassDataEnd) return 0;
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < 4; ++i)
    value |= static_cast<std::uint32_t>(Byte(recordOffset + i)) << (8 * i);
  return value;
}

EventRecord DecodeEventRecord(std::span<const std::uint8_t> bytes) {
  EventRecord record;
  record.eventClass.data1 = At32(bytes, record_layout::kClassData1.offset);
  record.eventClass.data2 = At16(bytes, record_layout::kClassData2.offset);
  record.eventClass.data3 = At16(bytes, record_layout::kClassData3.offset);
  static_assert(record_layout::kClassData4.size == std::tuple_size_v<decltype(EventGuid::data4)>);
  for (std::size_t i = 0; i < record_layout::kClassData4.size; ++i)
    record.eventClass.data4[i] = At(bytes, record_layout::kClassData4.offset + i);
  record.timeStamp = At64(bytes, record_layout::kTimeStamp.offset);
  record.severity = At32(bytes, record_layout::kSeverity.offset);
  for (std::size_t i = 0; i < record_layout::kClassData.size; ++i)
    record.classData[i] = At(bytes, record_layout::kClassData.offset + i);
  for (std::size_t i = 0; i < record_layout::kFollowing.size; ++i)
    record.following[i] = At(bytes, record_layout::kFollowing.offset + i);
  return record;
}

std::vector<EventRecord> ReadEventRecords(const ctl::EventBatch& batch) {
  // The driver fills at most the 20 slots; a larger count (including the
  // 0xFFFFFFFF the request is sent with, when the driver left it alone) is
  // taken as 20 rather than trusted.
  const std::size_t count = std::min<std::size_t>(batch.reportedCount, batch_layout::kMaxRecords);
  const std::span<const std::uint8_t> payload(batch.payload);
  std::vector<EventRecord> records;
  records.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    const ctl::wire::Block slot = batch_layout::Record(i);
    if (slot.End() > payload.size()) break;
    const std::size_t available =
        std::min(payload.size() - slot.offset, slot.size + record_layout::kFollowing.size);
    records.push_back(DecodeEventRecord(payload.subspan(slot.offset, available)));
  }
  return records;
}

}  // namespace kestrune::evt
