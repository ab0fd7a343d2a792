// Feeds arbitrary FetchEvents payloads to the event reader and formats every
// record read, so hostile counts, GUIDs, bytes and time stamps go through the
// whole text and GPIO path. The input is the payload itself: its first four
// bytes are the record count. The last byte, when there are more than four,
// picks the naming mode, the member numbering, a failing GPIO request and the
// adapter number (so an adapter missing from the model is tried too).
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "controller/controller_io.h"
#include "events/event_record.h"
#include "events/event_text.h"
#include "platform/device_control.h"
#include "platform/null_services.h"

namespace {

using namespace kestrune;

// Answers every request with the return code it was given; the payload is
// left as sent.
class FixedAnswer final : public platform::DeviceControl {
 public:
  explicit FixedAnswer(std::uint32_t returnCode) : returnCode_(returnCode) {}

  platform::DeviceHandle Open(const std::wstring&, std::uint32_t*) override { return 1; }

  platform::ControlResult Control(platform::DeviceHandle, std::uint32_t,
                                  std::span<std::uint8_t> buffer, std::size_t,
                                  std::size_t outSize) override {
    if (buffer.size() >= 24)
      for (std::size_t i = 0; i < 4; ++i)
        buffer[20 + i] = static_cast<std::uint8_t>(returnCode_ >> (8 * i));
    return {true, static_cast<std::uint32_t>(outSize), 0};
  }

  void Close(platform::DeviceHandle) override {}

 private:
  std::uint32_t returnCode_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> input(data, size);
  ctl::EventBatch batch;
  for (std::size_t i = 0; i < 4 && i < input.size(); ++i)
    batch.reportedCount |= static_cast<std::uint32_t>(input[i]) << (8 * i);
  batch.payload.assign(input.begin(), input.end());

  const std::uint8_t mode = input.size() > 4 ? input.back() : 0;
  const bool extended = (mode & 0x01) != 0;
  const bool numbering = (mode & 0x02) != 0;
  const std::uint32_t returnCode = (mode & 0x04) != 0 ? 2 : 0;
  const std::uint32_t adapterNumber = (mode >> 3) & 0x03;

  // The RAID layer version query must succeed to end member numbering.
  auto device = std::make_shared<FixedAnswer>(numbering ? returnCode : 0);
  ctl::CControllerIo io(ctl::ControllerServices{device, nullptr, nullptr, nullptr,
                                                std::make_shared<platform::NullUi>(), nullptr});
  {
    ctl::CControllerIo::Lock lock(io);
    auto& model = io.Model();
    model.adapters[1] = std::make_unique<ctl::AdapterRecord>();
    model.adapters[1]->handle = 1;
    model.adapters[1]->gpioStatus = static_cast<std::uint8_t>(batch.reportedCount);
    model.entryCount = 2;
    model.extendedNaming = extended;
    if (!numbering) io.QueryRioVersion(*model.adapters[1]);
  }

  evt::EventFormatter formatter(io);
  std::wstring text;
  for (const evt::EventRecord& record : evt::ReadEventRecords(batch)) {
    if (const auto led = formatter.FormatEvent(record, adapterNumber, text))
      formatter.ApplyLedChange(adapterNumber, *led);
    for (std::size_t offset = 40; offset < 96; ++offset) evt::CdbText(record, offset);
  }
  formatter.ClearMarks();
  return 0;
}
