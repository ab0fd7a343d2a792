// Feeds arbitrary FetchEvents payloads to the event reader and composes the
// text of one record read, so hostile counts, GUIDs, bytes and time stamps go
// through the whole text path. The input is the payload itself: its first four
// bytes are the record count. The last byte, when there are more than four,
// picks the naming mode, the member numbering, the adapter number, which
// record is composed and the record offset of one more CDB text. Records do
// not depend on one another, so composing one per input (purely: no
// controller, no driver) covers the same paths as composing all, at a
// twentieth of the cost.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "controller/controller_io.h"
#include "events/event_record.h"
#include "events/event_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kestrune;
  const std::span<const std::uint8_t> input(data, size);
  ctl::EventBatch batch;
  for (std::size_t i = 0; i < 4 && i < input.size(); ++i)
    batch.reportedCount |= static_cast<std::uint32_t>(input[i]) << (8 * i);
  batch.payload.assign(input.begin(), input.end());

  const std::uint8_t mode = input.size() > 4 ? input.back() : 0;
  evt::EventContext context;
  context.extendedNaming = (mode & 0x01) != 0;
  context.memberNumbering = (mode & 0x02) != 0;
  const std::uint32_t adapterNumber = (mode >> 2) & 0x03;
  const std::size_t cdbOffset = 40 + (mode >> 4) * 4;  // 40 to 100: inside, at and past the end

  const std::vector<evt::EventRecord> records = evt::ReadEventRecords(batch);
  if (records.empty()) return 0;
  const evt::EventRecord& record = records[(mode >> 1) % records.size()];
  const evt::ComposedEvent event = evt::ComposeEvent(record, adapterNumber, context);
  if (event.led) event.led->AppliedTo(static_cast<std::uint8_t>(batch.reportedCount));
  evt::CdbText(record, cdbOffset);
  return 0;
}
