// Reading event records out of a FetchEvents reply, within its bounds.
#include "events/event_record.h"

#include <algorithm>

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

std::uint8_t EventRecord::Byte(std::size_t recordOffset) const {
  if (recordOffset < kClassDataOffset) return 0;
  const std::size_t i = recordOffset - kClassDataOffset;
  if (i < classData.size()) return classData[i];
  if (i - classData.size() < following.size()) return following[i - classData.size()];
  return 0;
}

std::uint32_t EventRecord::Word(std::size_t recordOffset) const {
  if (recordOffset < kClassDataOffset ||
      recordOffset + 4 > kClassDataOffset + kClassDataSize + kFollowingSize)
    return 0;
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < 4; ++i)
    value |= static_cast<std::uint32_t>(Byte(recordOffset + i)) << (8 * i);
  return value;
}

EventRecord DecodeEventRecord(std::span<const std::uint8_t> bytes) {
  EventRecord record;
  record.eventClass.data1 = At32(bytes, 0);
  record.eventClass.data2 = At16(bytes, 4);
  record.eventClass.data3 = At16(bytes, 6);
  for (std::size_t i = 0; i < record.eventClass.data4.size(); ++i)
    record.eventClass.data4[i] = At(bytes, 8 + i);
  record.timeStamp = At64(bytes, 24);
  record.severity = At32(bytes, 40);
  for (std::size_t i = 0; i < kClassDataSize; ++i)
    record.classData[i] = At(bytes, kClassDataOffset + i);
  for (std::size_t i = 0; i < kFollowingSize; ++i)
    record.following[i] = At(bytes, kEventRecordSize + i);
  return record;
}

std::vector<EventRecord> ReadEventRecords(const ctl::EventBatch& batch) {
  // The driver fills at most the 20 slots; a larger count (including the
  // 0xFFFFFFFF the request is sent with, when the driver left it alone) is
  // taken as 20 rather than trusted.
  const std::size_t count = std::min<std::size_t>(batch.reportedCount, kMaxEventRecords);
  const std::span<const std::uint8_t> payload(batch.payload);
  std::vector<EventRecord> records;
  records.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t offset = kFirstRecordOffset + i * kEventRecordSize;
    if (offset > payload.size() || payload.size() - offset < kEventRecordSize) break;
    const std::size_t available =
        std::min(payload.size() - offset, kEventRecordSize + kFollowingSize);
    records.push_back(DecodeEventRecord(payload.subspan(offset, available)));
  }
  return records;
}

}  // namespace kestrune::evt
