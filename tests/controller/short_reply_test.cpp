// Replies shorter than their layout: the simulated driver answers in full, but
// the call reports fewer bytes returned for one request. A reply exactly as
// long as its layout decodes; one byte less fails the request, silently, and
// the fields it owns keep their presets.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "controller/controller_io.h"
#include "controller/wire_layout.h"
#include "platform/manual_clock.h"
#include "platform/recording_ui.h"
#include "support/test_machine.h"

namespace kestrune::ctl {
namespace {

// Forwards to the simulator; for one request (signature and control code) the
// call reports at most `returned` bytes.
class ShortReplies final : public platform::DeviceControl {
 public:
  explicit ShortReplies(std::shared_ptr<platform::DeviceControl> inner)
      : inner_(std::move(inner)) {}
  platform::DeviceHandle Open(const std::wstring& name, std::uint32_t* error) override {
    return inner_->Open(name, error);
  }
  platform::ControlResult Control(platform::DeviceHandle h, std::uint32_t code,
                                  std::span<std::uint8_t> buffer, std::size_t in,
                                  std::size_t out) override {
    const bool cut = target && code == platform::kIoctlScsiMiniport &&
                     std::string(buffer.begin() + 4, buffer.begin() + 12) == signature &&
                     wire::Reply(buffer).Get(wire::header::kControlCode) == *target;
    platform::ControlResult result = inner_->Control(h, code, buffer, in, out);
    if (cut) result.bytesReturned = std::min<std::uint32_t>(result.bytesReturned, returned);
    return result;
  }
  void Close(platform::DeviceHandle h) override { inner_->Close(h); }

  std::string signature;
  std::optional<std::uint32_t> target;
  std::uint32_t returned = 0;

 private:
  std::shared_ptr<platform::DeviceControl> inner_;
};

struct Rig {
  std::shared_ptr<platform::ManualClock> clock = std::make_shared<platform::ManualClock>();
  std::shared_ptr<ShortReplies> control;
  machine::Machine machine = test::MakeTestMachine(Options());
  std::shared_ptr<platform::RecordingUi> ui = std::make_shared<platform::RecordingUi>();
  CControllerIo io{machine.ControllerServices(ui)};
  AdapterRecord extended;  // port 0: driver 2.1, RAID chip, four channels of one device
  AdapterRecord legacy;    // port 1: driver 1.3, two channels of master and slave
  EventBatch batch;
  IdentifyBytes identify{};
  DeviceRecord device;

  Rig() {
    extended.handle = control->Open(L"\\\\.\\scsi0:", nullptr);
    legacy.handle = control->Open(L"\\\\.\\scsi1:", nullptr);
    legacy.adapterNumber = 1;
    for (AdapterRecord* a : {&extended, &legacy}) {
      io.QueryDriverVersion(*a);
      io.QueryAdapterInfo(*a);
    }
  }
  // The default machine, every request going through `control`.
  machine::MachineOptions Options() {
    auto options = test::TestMachineOptions(sim::DefaultScenario(), clock);
    options.wrapDeviceControl = [this](std::shared_ptr<platform::DeviceControl> inner) {
      control = std::make_shared<ShortReplies>(std::move(inner));
      return control;
    };
    return options;
  }
  // From now on the request reports `payload` bytes after the header.
  void Cut(const char* sig, std::uint32_t code, std::size_t payload) {
    control->signature = sig;
    control->target = code;
    control->returned = static_cast<std::uint32_t>(wire::kHeaderSize + payload);
  }
};

struct Case {
  const char* name;
  const char* signature;
  std::uint32_t code;
  std::size_t layout;  // payload bytes the layout needs
  std::function<bool(Rig&)> run;
  std::function<bool(const Rig&)> decoded;  // the reply's values reached the model
};

TEST(ShortReplies, ReplyShorterThanItsLayoutFailsTheRequestAndKeepsPresets) {
  namespace w = wire;
  const Case cases[] = {
      {"driver version", "QMX_IDE ", w::code::kDriverVersion, w::driver_version::kReplySize,
       [](Rig& r) { return r.io.QueryDriverVersion(r.legacy); },
       [](const Rig& r) { return r.legacy.driverMajorText == L"1"; }},
      {"adapter info", "QMX_IDE ", w::code::kAdapterInfo, w::adapter_info::kReplySize,
       [](Rig& r) { return r.io.QueryAdapterInfo(r.legacy); },
       [](const Rig& r) { return r.legacy.chipModel == L"BV-7210"; }},
      {"adapter info, extended", "QMX_IDE ", w::code::kAdapterInfo,
       w::adapter_info::kExtendedReplySize,
       [](Rig& r) { return r.io.QueryAdapterInfo(r.extended); },
       [](const Rig& r) { return r.extended.adapterName == L"bv7420r"; }},
      {"channel info", "QMX_IDE ", w::code::kChannelInfo, w::channel_info::kReplySize,
       [](Rig& r) {
         r.extended.channels[0].ResetInfo();
         return r.io.QueryChannelInfo(r.extended);
       },
       [](const Rig& r) { return r.extended.channels[0].linkGeneration == 1; }},
      {"device info", "QMX_IDE ", w::code::kDeviceInfo, w::device_info::kReplySize,
       [](Rig& r) { return r.io.QueryDeviceInfo(r.legacy); },
       [](const Rig& r) {
         return r.legacy.channels[0].devices[0].modelNumber.starts_with(L"VELMARA VD080 ATA");
       }},
      {"device info, extended", "QMX_IDE ", w::code::kDeviceInfo,
       w::device_info_extended::kReplySize, [](Rig& r) { return r.io.QueryDeviceInfo(r.extended); },
       [](const Rig& r) {
         return r.extended.channels[0].devices[0].modelNumber.starts_with(L"NORRIK NS250-SA2");
       }},
      {"event fetch", "QMX_IDE ", w::code::kFetchEvents, w::fetch_events::kReplySize,
       [](Rig& r) { return r.io.FetchEvents(r.extended, r.batch); },
       [](const Rig& r) { return r.batch.reportedCount == 0 && r.batch.payload.size() == 4; }},
      {"RAID layer version", "QMX_RIO ", w::code::kRioVersion, w::rio_version::kReplySize,
       [](Rig& r) { return r.io.QueryRioVersion(r.extended); },
       [](const Rig& r) { return r.extended.rioMajorText == L"2"; }},
      {"spare drives (one)", "QMX_RIO ", w::code::kSpareDrives, w::spare_drives::ReplySize(1),
       [](Rig& r) { return r.io.QuerySpareDrives(r.extended); },
       [](const Rig& r) { return r.extended.channels[2].devices[0].spare == 1; }},
      {"sets (one)", "QMX_RIO ", w::code::kQuerySets, w::query_sets::ReplySize(1),
       [](Rig& r) { return r.io.QuerySets(r.extended, false); },
       [](const Rig& r) { return r.extended.setCount == 1; }},
      {"set disk identify", "SCSIDISK", w::code::kSmartIdentify, w::smart::kIdentifyReplySize,
       [](Rig& r) { return r.io.IdentifySetDisk(r.extended, 3, r.identify); },
       [](const Rig& r) { return r.identify != IdentifyBytes{}; }},
      {"SMART status", "QMX_RIO ", w::code::kSmartReturnStatus, w::smart::kStatusReplySize,
       [](Rig& r) { return r.io.QueryDeviceSmartStatus(r.extended, 3, r.device); },
       [](const Rig& r) { return r.device.smartStatus == L"OK"; }},
  };
  for (const Case& c : cases) {
    for (const bool whole : {true, false}) {
      SCOPED_TRACE(std::string(c.name) + (whole ? ", whole" : ", one byte short"));
      Rig rig;
      rig.Cut(c.signature, c.code, whole ? c.layout : c.layout - 1);
      EXPECT_EQ(c.run(rig), whole);
      EXPECT_EQ(c.decoded(rig), whole);
      EXPECT_TRUE(rig.ui->Messages().empty());
    }
  }
}

TEST(ShortReplies, ReplyWithoutItsWholeHeaderCarriesNoReturnCode) {
  struct HeaderCase {
    const char* name;
    std::uint32_t code;
    std::function<bool(Rig&)> run;
    const wchar_t* caption;  // of the error box; none when null
  };
  const HeaderCase cases[] = {
      {"GPIO status", wire::code::kWriteGpioStatus,
       [](Rig& r) { return r.io.WriteGpioStatus(r.extended, false, 0); },
       L"Read/Write GPIO status"},
      {"device features", wire::code::kSetDeviceFeatures,
       [](Rig& r) {
         return r.io.SetDeviceFeatures(r.extended, true, r.extended.channels[0].devices[0], 0, 0);
       },
       nullptr},
  };
  for (const HeaderCase& c : cases) {
    SCOPED_TRACE(c.name);
    Rig rig;
    rig.control->signature = "QMX_IDE ";
    rig.control->target = c.code;
    rig.control->returned = wire::kHeaderSize - 1;
    EXPECT_FALSE(c.run(rig));
    if (c.caption == nullptr) {
      EXPECT_TRUE(rig.ui->Messages().empty());
      continue;
    }
    ASSERT_EQ(rig.ui->MessageCount(), 1u);
    EXPECT_EQ(rig.ui->Messages()[0].text, L"Unknown error code returned.\nReturn code -1.");
    EXPECT_EQ(rig.ui->Messages()[0].caption, c.caption);
  }
}

}  // namespace
}  // namespace kestrune::ctl
