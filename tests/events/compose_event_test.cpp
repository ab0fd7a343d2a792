// Composing an event text touches nothing: the LED change and the marks come
// back with the text, and applying the change is a separate step.
#include <gtest/gtest.h>

#include <optional>

#include "events/event_rig.h"
#include "events/event_text.h"
#include "platform/filetime.h"

namespace kestrune::evt {
namespace {

using test::RecordBytes;
namespace guid = test::guid;

TEST(ComposeEvent, ReturnsTheLedChangeAndMarksInsteadOfApplyingThem) {
  struct Case {
    const char* name;
    RecordBytes bytes;
    std::optional<LedChange> led;
    bool refresh;
    bool rescan;
  };
  const Case cases[] = {
      {"new device", RecordBytes(guid::kNewDevice).Put(44, {1, 0}), LedChange{1, true}, true,
       false},
      {"device removed", RecordBytes(guid::kDeviceRemoved).Put(44, {9, 0}), LedChange{9, false},
       true, false},
      {"member dropped", RecordBytes(guid::kMemberDropped).Put(44, {0, 0, 1, 4, 2}),
       LedChange{2, false}, false, true},
      {"rebuild started", RecordBytes(guid::kRebuild).Put(44, {0, 0, 5, 1}), LedChange{5, false},
       false, true},
      {"member error", RecordBytes(guid::kMemberError).Put(44, {0, 0, 3, 9}), LedChange{3, false},
       false, false},
      {"bus reset", RecordBytes(guid::kBusReset).Put(44, {0}), std::nullopt, true, false},
  };
  test::ScopedTimeZone utc("UTC");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ComposedEvent event = ComposeEvent(c.bytes.Record(), 0, EventContext{});
    EXPECT_EQ(event.led, c.led);
    EXPECT_EQ(event.refreshTree, c.refresh);
    EXPECT_EQ(event.rescanAdapter, c.rescan);
    EXPECT_TRUE(event.text.starts_with(test::kStampText));
  }
}

TEST(ComposeEvent, LedChangeSetsOrClearsOneBitWithinTheByte) {
  EXPECT_EQ((LedChange{1, true}.AppliedTo(0xF0)), 0xF2);
  EXPECT_EQ((LedChange{5, false}.AppliedTo(0xF0)), 0xD0);
  EXPECT_EQ((LedChange{8, true}.AppliedTo(0xF0)), 0xF0);
}

TEST(Filetime, UnixEpochAndWholeSeconds) {
  EXPECT_EQ(platform::ToFiletime(std::chrono::system_clock::time_point{}),
            static_cast<std::uint64_t>(platform::kFiletimeOfUnixEpoch));
  EXPECT_EQ(platform::FiletimeToUnixSeconds(test::kStamp + 9'999'999), 1078495629);
}

}  // namespace
}  // namespace kestrune::evt
