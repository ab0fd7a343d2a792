// Event records out of FetchEvents payloads written out by hand.
#include "events/event_record.h"

#include <gtest/gtest.h>

#include <vector>

namespace kestrune::evt {
namespace {

TEST(EventRecordLayout, FieldsAtTheirOffsets) {
  std::vector<std::uint8_t> bytes = {
      0x20, 0xC1, 0x0C, 0x65, 0xB0, 0x94, 0xEF, 0x46,  // u32, u16, u16
      0x9C, 0x61, 0x05, 0x20, 0x19, 0x9E, 0x32, 0x32,  // eight bytes
      0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE,  // not interpreted
      0x08, 0x07, 0x06, 0x05, 0x04, 0x03, 0x02, 0x01,  // time stamp
      0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE,  // not interpreted
      0x03, 0x00, 0x00, 0x80,                          // severity
  };
  for (int i = 0; i < 44; ++i) bytes.push_back(static_cast<std::uint8_t>(0x40 + i));
  bytes.insert(bytes.end(), {0xA0, 0xA1, 0xA2, 0xA3, 0xA4});  // four follow; the fifth is ignored
  const EventRecord r = DecodeEventRecord(bytes);
  EXPECT_EQ(r.eventClass.data1, 0x650CC120u);
  EXPECT_EQ(r.eventClass.data2, 0x94B0);
  EXPECT_EQ(r.eventClass.data3, 0x46EF);
  EXPECT_EQ(r.eventClass.data4,
            (std::array<std::uint8_t, 8>{0x9C, 0x61, 0x05, 0x20, 0x19, 0x9E, 0x32, 0x32}));
  EXPECT_EQ(r.timeStamp, 0x0102030405060708u);
  EXPECT_EQ(r.severity, 0x80000003u);
  EXPECT_EQ(r.classData[0], 0x40);
  EXPECT_EQ(r.classData[43], 0x6B);
  EXPECT_EQ(r.following, (std::array<std::uint8_t, 4>{0xA0, 0xA1, 0xA2, 0xA3}));
  // Bytes by record offset: class data, then what follows, nothing else.
  EXPECT_EQ(r.Byte(43), 0);
  EXPECT_EQ(r.Byte(44), 0x40);
  EXPECT_EQ(r.Byte(87), 0x6B);
  EXPECT_EQ(r.Byte(88), 0xA0);
  EXPECT_EQ(r.Byte(91), 0xA3);
  EXPECT_EQ(r.Byte(92), 0);
  EXPECT_EQ(r.Word(48), 0x47464544u);
  EXPECT_EQ(r.Word(88), 0xA3A2A1A0u);
  EXPECT_EQ(r.Word(89), 0u);  // would run past the following bytes

  // A record cut short reads the missing bytes as the buffer's 0xFF fill.
  const EventRecord cut = DecodeEventRecord(std::span(bytes).first(42));
  EXPECT_EQ(cut.severity, 0xFFFF0003u);
  EXPECT_EQ(cut.classData[0], 0xFF);
  EXPECT_EQ(cut.following[3], 0xFF);
}

// A reply payload as the driver leaves it: the count, record slots filled
// with records whose byte 44 is their number, the rest 0xFF.
ctl::EventBatch Batch(std::uint32_t count, std::size_t written, std::size_t size = 2124) {
  ctl::EventBatch batch;
  batch.reportedCount = count;
  batch.payload.assign(size, 0xFF);
  for (std::size_t i = 0; i < 4 && i < size; ++i)
    batch.payload[i] = static_cast<std::uint8_t>(count >> (8 * i));
  for (std::size_t r = 0; r < written; ++r) {
    const std::size_t at = 4 + r * 88;
    for (std::size_t i = 0; i < 88 && at + i < size; ++i)
      batch.payload[at + i] =
          i == 44 ? static_cast<std::uint8_t>(r) : static_cast<std::uint8_t>(0x10 + i);
  }
  return batch;
}

TEST(ReadEventRecords, CountIsTrustedOnlyUpToTheTwentySlots) {
  EXPECT_TRUE(ReadEventRecords(Batch(0, 0)).empty());

  const auto one = ReadEventRecords(Batch(1, 1));
  ASSERT_EQ(one.size(), 1u);
  EXPECT_EQ(one[0].classData[0], 0);
  EXPECT_EQ(one[0].following, (std::array<std::uint8_t, 4>{0xFF, 0xFF, 0xFF, 0xFF}));

  // The bytes after a record are the next record's first bytes.
  const auto two = ReadEventRecords(Batch(2, 2));
  ASSERT_EQ(two.size(), 2u);
  EXPECT_EQ(two[0].following, (std::array<std::uint8_t, 4>{0x10, 0x11, 0x12, 0x13}));
  EXPECT_EQ(two[1].classData[0], 1);

  for (std::uint32_t count : {20U, 21U, 0xFFFFFFFFU}) {
    const auto records = ReadEventRecords(Batch(count, 20));
    ASSERT_EQ(records.size(), 20u) << count;
    EXPECT_EQ(records[19].classData[0], 19);
    EXPECT_EQ(records[19].following[0], 0xFF);
  }
}

TEST(ReadEventRecords, ShortPayloadYieldsOnlyWholeRecords) {
  EXPECT_TRUE(ReadEventRecords(ctl::EventBatch{5, {}}).empty());
  EXPECT_TRUE(ReadEventRecords(Batch(1, 1, 3)).empty());
  EXPECT_TRUE(ReadEventRecords(Batch(1, 1, 4 + 87)).empty());
  // Exactly one record: the following bytes lie outside and read 0xFF.
  auto exact = Batch(3, 3, 4 + 88 + 2);
  const auto records = ReadEventRecords(exact);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].following, (std::array<std::uint8_t, 4>{0x10, 0x11, 0xFF, 0xFF}));
  EXPECT_EQ(ReadEventRecords(Batch(20, 20, 4 + 88 * 7 + 50)).size(), 7u);
}

TEST(ReadEventRecords, PayloadEndingWithTheNthRecordGivesNRecords) {
  for (const std::size_t n : {std::size_t{1}, std::size_t{2}, std::size_t{7}, std::size_t{20}}) {
    for (const std::uint32_t count : {static_cast<std::uint32_t>(n), 20U, 0xFFFFFFFFU}) {
      const auto records = ReadEventRecords(Batch(count, n, 4 + 88 * n));
      ASSERT_EQ(records.size(), n) << "n " << n << ", count " << count;
      EXPECT_EQ(records[n - 1].classData[0], n - 1);
      EXPECT_EQ(records[n - 1].following, (std::array<std::uint8_t, 4>{0xFF, 0xFF, 0xFF, 0xFF}));
    }
  }
}

}  // namespace
}  // namespace kestrune::evt
