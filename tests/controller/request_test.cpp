// Request bytes and reply decoding, against buffers written out by hand.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <set>
#include <memory>

#include "controller/controller_io.h"
#include "controller/fake_device.h"
#include "controller/recording_observer.h"
#include "platform/manual_clock.h"
#include "platform/null_services.h"
#include "platform/recording_ui.h"

namespace kestrune::ctl {
namespace {

using test::FakeDevice;
using test::Put16;
using test::Put32;
using test::SentRequest;

// Replies are keyed by control code; the handler writes ReturnCode 0 and lets
// the test fill the payload.
struct Rig {
  using Reply = std::function<void(const SentRequest&, std::span<std::uint8_t> payload)>;
  std::map<std::uint32_t, Reply> replies;
  std::map<std::uint32_t, std::uint32_t> returnCodes;
  std::set<std::uint32_t> failingCalls;
  std::shared_ptr<FakeDevice> device;
  std::shared_ptr<platform::RecordingUi> ui = std::make_shared<platform::RecordingUi>();
  test::RecordingObserver observer;
  std::unique_ptr<CControllerIo> io;
  AdapterRecord adapter;

  Rig() {
    device = std::make_shared<FakeDevice>(1, [this](const SentRequest& sent, std::span<std::uint8_t> buffer) {
      if (sent.code != platform::kIoctlScsiMiniport) return platform::ControlResult{true, 0, 0};
      const std::uint32_t code = test::ControlCodeOf(sent);
      if (failingCalls.count(code)) return platform::ControlResult{false, 0, 31};
      Put32(buffer, 20, returnCodes.count(code) ? returnCodes[code] : 0);
      if (auto it = replies.find(code); it != replies.end()) it->second(sent, buffer.subspan(28));
      return platform::ControlResult{true, static_cast<std::uint32_t>(sent.outSize), 0};
    });
    ControllerServices services;
    services.deviceControl = device;
    services.deviceInstaller = std::make_shared<platform::NullDeviceInstaller>();
    services.ui = ui;
    services.clock = std::make_shared<platform::ManualClock>();
    io = std::make_unique<CControllerIo>(services);
    io->SetObserver(&observer);
    adapter.handle = 1;
  }
};

std::vector<std::uint8_t> Header(const char (&signature)[9], std::uint32_t timeout,
                                 std::uint32_t code, std::uint32_t length) {
  std::vector<std::uint8_t> h(28, 0);
  h[0] = 0x1C;
  std::memcpy(&h[4], signature, 8);
  h[12] = static_cast<std::uint8_t>(timeout);
  for (int i = 0; i < 4; ++i) {
    h[16 + i] = static_cast<std::uint8_t>(code >> (8 * i));
    h[20 + i] = 0xFF;
    h[24 + i] = static_cast<std::uint8_t>(length >> (8 * i));
  }
  return h;
}

std::vector<std::uint8_t> Prefix(const SentRequest& r, std::size_t n) {
  return std::vector<std::uint8_t>(r.input.begin(), r.input.begin() + static_cast<std::ptrdiff_t>(n));
}

TEST(Requests, DriverVersionIsFramedByteForByteAndSetsExtendedNaming) {
  Rig rig;
  rig.replies[0x42000] = [](const SentRequest&, std::span<std::uint8_t> p) {
    Put16(p, 0, 2);
    Put16(p, 2, 1);
  };
  ASSERT_TRUE(rig.io->QueryDriverVersion(rig.adapter));
  ASSERT_EQ(rig.device->requests.size(), 1u);
  const SentRequest& sent = rig.device->requests[0];
  EXPECT_EQ(sent.code, 0x4D008u);
  EXPECT_EQ(sent.input.size(), 2152u);
  EXPECT_EQ(sent.outSize, 2152u);
  auto expected = Header("QMX_IDE ", 5, 0x42000, 4);
  for (std::uint8_t b : {0xFF, 0x00, 0xFF, 0x00}) expected.push_back(b);
  EXPECT_EQ(Prefix(sent, 32), expected);
  EXPECT_EQ(rig.adapter.driverMajorText, L"2");
  EXPECT_EQ(rig.adapter.driverMinorText, L"1");
  EXPECT_TRUE(rig.io->Model().extendedNaming);
  EXPECT_EQ(rig.ui->WaitDepth(), 0);
  EXPECT_EQ(rig.ui->WaitBegins(), 1);
}

TEST(Requests, FailedQueryLeavesPresetsNotStaleValues) {
  Rig rig;
  rig.adapter.driverMajorText = L"9";
  rig.returnCodes[0x42000] = 2;
  EXPECT_FALSE(rig.io->QueryDriverVersion(rig.adapter));
  EXPECT_EQ(rig.adapter.driverMajorText, L"UNKNOWN");
  EXPECT_FALSE(rig.io->Model().extendedNaming);
  EXPECT_EQ(rig.ui->MessageCount(), 0u);  // no caption: silent
}

TEST(Requests, LegacyAdapterInfoDecodesChipAndFourChannelEntries) {
  Rig rig;
  rig.adapter.driverMajor = 1;
  rig.replies[0x42004] = [](const SentRequest& sent, std::span<std::uint8_t> p) {
    EXPECT_EQ(Prefix(sent, 28), Header("QMX_IDE ", 5, 0x42004, 64));
    Put32(p, 0, 0x7210);
    Put32(p, 4, 0x2);
    Put32(p, 8, 1);
    Put32(p, 12, 0x1F);
    Put32(p, 16, 11);
    Put32(p, 20, 2);
    Put32(p, 24, 4);
    Put32(p, 28, 77);
    Put32(p, 32, 3);
    Put32(p, 36, 0x1F0);
    Put32(p, 40, 0x3F6);
    Put32(p, 44, 0xFFA0);
    Put32(p, 48, 1);
    Put32(p, 80, 2);  // the fourth entry lies past the 64-byte length but is stored
  };
  ASSERT_TRUE(rig.io->QueryAdapterInfo(rig.adapter));
  const AdapterRecord& a = rig.adapter;
  EXPECT_EQ(a.chipModel, L"BV-7210");
  EXPECT_EQ(a.chipRevision, L"0002");
  EXPECT_EQ(a.chipType, L"Standard");
  EXPECT_EQ(a.driverStatus, L"1f");
  EXPECT_EQ(a.pciInterrupt, L"11");
  EXPECT_EQ(a.pciBus, L"2");
  EXPECT_EQ(a.pciDevice, L"4");
  EXPECT_EQ(a.adapterId, 77u);
  EXPECT_EQ(a.channelCount, 2);
  EXPECT_EQ(a.devicesPerChannel, 2);
  EXPECT_EQ(a.channels[0].flags, 3u);
  EXPECT_EQ(a.channels[0].ideBase, L"01F0");
  EXPECT_EQ(a.channels[0].altBase, L"03F6");
  EXPECT_EQ(a.channels[0].dmaBase, L"FFA0");
  EXPECT_EQ(a.channels[1].flags, 1u);
  EXPECT_EQ(a.channels[3].flags, 2u);
  EXPECT_EQ(a.adapterName, L"UNKNOWN");
  EXPECT_EQ(rig.device->requests.size(), 1u);  // no channel queries below version 2
}

TEST(Requests, ExtendedAdapterInfoClampsCountsReadsUnterminatedNameAndQueriesChannels) {
  Rig rig;
  rig.adapter.driverMajor = 2;
  rig.replies[0x42004] = [](const SentRequest& sent, std::span<std::uint8_t> p) {
    EXPECT_EQ(Prefix(sent, 28), Header("QMX_IDE ", 5, 0x42004, 164));
    Put32(p, 0, 0x7420);
    Put32(p, 8, 2);
    Put16(p, 32, 9);   // more channels than the model holds
    Put16(p, 34, 20);  // more devices than the model holds
    std::memset(&p[36], 'N', 128);  // no terminator at all
    p[164] = 'X';                   // the byte after the field is not part of the name
  };
  rig.replies[0x42020] = [](const SentRequest& sent, std::span<std::uint8_t> p) {
    const std::uint8_t channel = sent.input[28];
    EXPECT_EQ(sent.input[29], 0);
    EXPECT_EQ(sent.input[30], 1);
    EXPECT_EQ(sent.input[31], 0);
    Put32(p, 4, 0xA0 + channel);
    Put32(p, 8, channel == 1 ? 1 : 0);
    Put16(p, 12, 0xB0);
    Put16(p, 14, 1);
    Put16(p, 16, 0x1095);
    Put16(p, 18, 0x3726);
    Put16(p, 20, 5);
    p[22] = 0x11;
    p[23] = 0x02;
  };
  ASSERT_TRUE(rig.io->QueryAdapterInfo(rig.adapter));
  const AdapterRecord& a = rig.adapter;
  EXPECT_EQ(a.chipModel, L"BV-7420");
  EXPECT_EQ(a.chipType, L"RAID");
  EXPECT_EQ(a.channelCount, 4);
  EXPECT_EQ(a.devicesPerChannel, 15);
  EXPECT_EQ(a.adapterName, std::wstring(128, L'N'));
  ASSERT_EQ(rig.device->requests.size(), 5u);
  EXPECT_EQ(Prefix(rig.device->requests[1], 28), Header("QMX_IDE ", 5, 0x42020, 24));
  EXPECT_EQ(rig.device->requests[4].input[28], 3);
  EXPECT_EQ(a.channels[1].flags, 1u);
  EXPECT_EQ(a.channels[2].valueA, 0xA2u);
  EXPECT_EQ(a.channels[2].valueB, 0xB0);
  EXPECT_EQ(a.channels[2].linkGeneration, 1);
  EXPECT_EQ(a.channels[2].pmVendor, 0x1095);
  EXPECT_EQ(a.channels[2].pmDevice, 0x3726);
  EXPECT_EQ(a.channels[2].pmPorts, 5);
  EXPECT_EQ(a.channels[2].pmSpecVersion, 0x11);
  EXPECT_EQ(a.channels[2].pmRevision, 0x02);
}

TEST(Requests, ChannelQueryStopsAtFirstFailureAndReportsACallFailure) {
  Rig rig;
  rig.adapter.driverMajor = 2;
  rig.adapter.channelCount = 4;
  rig.failingCalls.insert(0x42020);
  EXPECT_FALSE(rig.io->QueryChannelInfo(rig.adapter));
  EXPECT_EQ(rig.device->requests.size(), 1u);
  ASSERT_EQ(rig.ui->MessageCount(), 1u);
  EXPECT_EQ(rig.ui->LastMessage()->text, L"IdeDevIoGetDevInfo error: 31");
}

// A set reply: count and descriptors as the layout gives them.
void PutSet(std::span<std::uint8_t> p, std::size_t set, std::uint32_t stripe, std::uint16_t state,
            std::uint8_t spare, std::uint8_t type, std::uint8_t members, std::uint8_t location) {
  const std::size_t at = 4 + 44 * set;
  Put32(p, at, stripe);
  Put16(p, at + 4, state);
  p[at + 6] = spare;
  p[at + 8] = type;
  p[at + 9] = members;
  p[at + 10] = location;
}
void PutMember(std::span<std::uint8_t> p, std::size_t set, std::size_t k, std::uint16_t state,
               std::uint8_t position, std::uint8_t device, std::uint8_t percent, std::uint8_t rate) {
  const std::size_t at = 4 + 44 * set + 12 + 8 * k;
  Put16(p, at, state);
  p[at + 2] = position;
  p[at + 3] = device;
  p[at + 4] = percent;
  p[at + 5] = rate;
}

TEST(Requests, SetReplyAnnouncingThreeSetsFailsAndLeavesNoSet) {
  Rig rig;
  rig.adapter.setCount = 2;
  rig.replies[0x42024] = [](const SentRequest& sent, std::span<std::uint8_t> p) {
    auto expected = Header("QMX_RIO ", 5, 0x42024, 92);
    for (std::uint8_t b : {0, 0, 2, 0}) expected.push_back(b);
    EXPECT_EQ(Prefix(sent, 32), expected);
    EXPECT_EQ(sent.input.size(), 544u);
    Put16(p, 2, 3);
  };
  EXPECT_FALSE(rig.io->QuerySets(rig.adapter, false));
  EXPECT_EQ(rig.adapter.setCount, 0u);
  EXPECT_TRUE(rig.observer.health.empty());  // no icon change on a failed read
  EXPECT_EQ(rig.ui->MessageCount(), 0u);
}

TEST(Requests, MirroredStripedSetInSyncMarksRebuildingMemberAndItsPartner) {
  Rig rig;
  rig.adapter.driverMajor = 2;
  rig.adapter.channelCount = 4;
  rig.adapter.devicesPerChannel = 1;
  rig.replies[0x42024] = [](const SentRequest&, std::span<std::uint8_t> p) {
    Put16(p, 2, 1);
    PutSet(p, 0, 128, 4, 1, 3, 4, 0);
    PutMember(p, 0, 0, 1, 0, 0, 0, 30);
    PutMember(p, 0, 1, 2, 1, 1, 40, 30);
    PutMember(p, 0, 2, 1, 2, 2, 0, 30);
    PutMember(p, 0, 3, 1, 3, 3, 0, 30);
  };
  ASSERT_TRUE(rig.io->QuerySets(rig.adapter, false));
  const SetRecord& set = rig.adapter.sets[0];
  EXPECT_EQ(set.type, L"Mirrored Striped Set");
  EXPECT_EQ(set.state, L"Sync");
  EXPECT_EQ(set.stripeSize, 128u * 512u);
  EXPECT_EQ(set.rebuildRate, 30u);
  EXPECT_EQ(set.spareEnabled, 1);
  EXPECT_EQ(set.locationText, L"Primary Master");  // naming follows the model flag, not the adapter
  EXPECT_EQ(set.members[0].state, L"Current");
  EXPECT_EQ(set.members[1].state, L"Sync");
  EXPECT_EQ(set.members[1].rebuildPercent, L"40 %");
  EXPECT_EQ(set.members[2].state, L"Current");
  EXPECT_EQ(set.members[3].state, L"Sync");
  for (std::size_t i = 0; i < 4; ++i)
    EXPECT_TRUE(rig.adapter.channels[i].devices[0].flags & kFlagInUse) << i;
  EXPECT_EQ(rig.observer.health, std::vector<bool>{false});
}

TEST(Requests, MirroredSetWithTooManyMembersKeepsOnlyItsHeadline) {
  Rig rig;
  rig.adapter.driverMajor = 1;
  rig.adapter.channelCount = 2;
  rig.adapter.devicesPerChannel = 2;
  rig.replies[0x42024] = [](const SentRequest&, std::span<std::uint8_t> p) {
    Put16(p, 2, 2);
    PutSet(p, 0, 64, 1, 0, 2, 3, 1);
    PutMember(p, 0, 0, 1, 0, 0, 0, 77);
    PutSet(p, 1, 0, 1, 0, 2, 2, 2);
    PutMember(p, 1, 0, 1, 0, 2, 0, 10);
    PutMember(p, 1, 1, 1, 1, 9, 0, 10);  // device index beyond the slots: ignored
  };
  ASSERT_TRUE(rig.io->QuerySets(rig.adapter, false));
  const SetRecord& bad = rig.adapter.sets[0];
  EXPECT_EQ(bad.type, L"Mirrored Set");
  EXPECT_EQ(bad.state, L"Online");
  EXPECT_EQ(bad.memberCount, 3);
  EXPECT_EQ(bad.rebuildRate, 77u);
  EXPECT_EQ(bad.stripeSize, 0u);
  EXPECT_EQ(bad.locationText, L"UNKNOWN");
  EXPECT_EQ(bad.members[0].state, L"UNKNOWN");
  const SetRecord& good = rig.adapter.sets[1];
  EXPECT_EQ(good.locationText, L"Secondary Master");
  EXPECT_EQ(good.members[1].deviceIndex, 9);
  EXPECT_TRUE(rig.adapter.channels[1].devices[0].flags & kFlagInUse);
  EXPECT_EQ(rig.observer.health, std::vector<bool>{true});
}

TEST(Requests, SpareReplyAboveRoomFailsSilentlyAndEntriesMapByAdapterKind) {
  Rig rig;
  rig.adapter.driverMajor = 2;
  rig.adapter.channelCount = 4;
  rig.adapter.devicesPerChannel = 1;
  std::uint16_t count = 5;
  rig.replies[0x4202C] = [&](const SentRequest& sent, std::span<std::uint8_t> p) {
    auto expected = Header("QMX_RIO ", 5, 0x4202C, 6);
    for (std::uint8_t b : {4, 0}) expected.push_back(b);
    EXPECT_EQ(Prefix(sent, 30), expected);
    Put16(p, 0, count);
    p[2] = 2;
    p[3] = 7;  // no such channel: ignored
  };
  EXPECT_FALSE(rig.io->QuerySpareDrives(rig.adapter));
  EXPECT_EQ(rig.ui->MessageCount(), 0u);
  count = 2;
  EXPECT_TRUE(rig.io->QuerySpareDrives(rig.adapter));
  EXPECT_EQ(rig.adapter.channels[2].devices[0].spare, 1);
  // A spare no longer listed loses its mark, on every channel.
  count = 0;
  rig.adapter.channels[3].devices[0].spare = 1;
  EXPECT_TRUE(rig.io->QuerySpareDrives(rig.adapter));
  for (std::size_t c = 0; c < 4; ++c) EXPECT_EQ(rig.adapter.channels[c].devices[0].spare, 0) << c;
  count = 2;

  rig.adapter = AdapterRecord{};
  rig.adapter.handle = 1;
  rig.adapter.driverMajor = 1;
  rig.adapter.channelCount = 2;
  rig.adapter.devicesPerChannel = 2;
  EXPECT_TRUE(rig.io->QuerySpareDrives(rig.adapter));
  EXPECT_EQ(rig.adapter.channels[1].devices[0].spare, 1);  // index 2 = secondary master
}

TEST(Requests, FailedCallShowsUnknownErrorWithReturnCodeMinusOneUnderTheCaption) {
  Rig rig;
  rig.failingCalls.insert(0x42000);
  EXPECT_FALSE(rig.io->QueryRioVersion(rig.adapter));
  ASSERT_EQ(rig.ui->MessageCount(), 1u);
  const auto box = *rig.ui->LastMessage();
  EXPECT_EQ(box.text, L"Unknown error code returned.\nReturn code -1.");
  EXPECT_EQ(box.caption, L"Get RIO Version");
  EXPECT_EQ(box.icon, platform::MsgIcon::Error);
  EXPECT_EQ(rig.adapter.rioMajorText, L"UNKNOWN");
  EXPECT_TRUE(rig.io->MemberNumbering());
}

TEST(Requests, RioVersionClearsMemberNumberingForGood) {
  Rig rig;
  rig.replies[0x42000] = [](const SentRequest& sent, std::span<std::uint8_t> p) {
    EXPECT_EQ(test::SignatureOf(sent), "QMX_RIO ");
    Put16(p, 0, 3);
    Put16(p, 2, 4);
    p[4] = 1;
  };
  ASSERT_TRUE(rig.io->QueryRioVersion(rig.adapter));
  EXPECT_EQ(rig.adapter.rioMajorText, L"3");
  EXPECT_EQ(rig.adapter.rioMinorText, L"4");
  EXPECT_EQ(rig.adapter.arrayConflicts, L"Yes");
  EXPECT_FALSE(rig.io->MemberNumbering());
}

TEST(Requests, AcceptedReturnCodesDifferByRequest) {
  Rig rig;
  rig.returnCodes[0x42024] = 7;
  rig.returnCodes[0x42028] = 7;
  rig.returnCodes[0x4201C] = 1;
  EXPECT_TRUE(rig.io->SetGpioInterface(rig.adapter, 1, 255));
  EXPECT_TRUE(rig.io->WriteGpioStatus(rig.adapter, true, 0xB5));
  DeviceRecord device;
  device.lookAhead = L"enabled";
  EXPECT_TRUE(rig.io->SetDeviceFeatures(rig.adapter, true, device, 2, 0));
  EXPECT_EQ(rig.ui->MessageCount(), 0u);
  const auto& gpio = rig.device->requests[1].input;
  EXPECT_EQ(gpio[28], 1);
  EXPECT_EQ(gpio[29], 0xB5);
  const auto& features = rig.device->requests[2].input;
  EXPECT_EQ(features[28], 2);
  EXPECT_EQ(features[29], 0);
  EXPECT_EQ(features[30], 0x03);

  rig.returnCodes[0x4201C] = 2;
  EXPECT_FALSE(rig.io->SetDeviceFeatures(rig.adapter, false, device, 0, 0));
  rig.returnCodes[0x42028] = 1;
  EXPECT_FALSE(rig.io->WriteGpioStatus(rig.adapter, false, 0));
  ASSERT_EQ(rig.ui->MessageCount(), 1u);
  EXPECT_EQ(rig.ui->LastMessage()->text,
            L"Reboot required for change to take effect.\nReturn code 1.");
  EXPECT_EQ(rig.ui->LastMessage()->caption, L"Read/Write GPIO status");
}

TEST(Requests, DriverStatusTexts) {
  EXPECT_EQ(CControllerIo::DriverStatusText(0), L"Operation completed successfully.\nReturn code 0.");
  EXPECT_EQ(CControllerIo::DriverStatusText(3), L"Caller's buffer is too small.\nReturn code 3.");
  EXPECT_EQ(CControllerIo::DriverStatusText(4), L"Unknown error code returned.\nReturn code 4.");
  EXPECT_EQ(CControllerIo::DriverStatusText(10), L"Max number of arrays reach.\nReturn code 10.");
  EXPECT_EQ(CControllerIo::DriverStatusText(13), L"Invaild device index.\nReturn code 13.");
  EXPECT_EQ(CControllerIo::DriverStatusText(18), L"Can not remove last member..\nReturn code 18.");
  EXPECT_EQ(CControllerIo::DriverStatusText(19), L"Unknown error code returned.\nReturn code 19.");
  EXPECT_EQ(CControllerIo::DriverStatusText(255), L"General catch-all error status.\nReturn code 255.");
  EXPECT_EQ(CControllerIo::DriverStatusText(256), L"Unknown error code returned.\nReturn code 256.");
  EXPECT_EQ(CControllerIo::DriverStatusText(0x80000000),
            L"Unknown error code returned.\nReturn code -2147483648.");
}

TEST(Requests, SmartRequestsCarryRegistersAndDriveNumber) {
  Rig rig;
  rig.adapter.chipType = L"raid";
  rig.adapter.chipKind = ctl::ChipKind::kRaid;
  rig.replies[0x1B0501] = [](const SentRequest&, std::span<std::uint8_t> p) {
    for (std::size_t i = 0; i < 512; ++i) p[16 + i] = static_cast<std::uint8_t>(i);
  };
  rig.replies[0x1B0506] = [](const SentRequest&, std::span<std::uint8_t> p) {
    p[4] = 0;  // the reply's driver error byte overlays the request's features register
    p[19] = 0xF4;
    p[20] = 0x2C;
  };
  IdentifyBytes identify{};
  ASSERT_TRUE(rig.io->IdentifySetDisk(rig.adapter, 3, identify));
  EXPECT_EQ(identify[0], 0);
  EXPECT_EQ(identify[511], 255);
  const SentRequest& ident = rig.device->requests[0];
  EXPECT_EQ(ident.input.size(), 556u);
  EXPECT_EQ(ident.outSize, 2184u);
  auto expected = Header("SCSIDISK", 5, 0x1B0501, 556);
  for (std::uint8_t b : {0x10, 0x02, 0, 0, 0, 1, 1, 0, 0, 0xB0, 0xEC, 0, 3}) expected.push_back(b);
  EXPECT_EQ(Prefix(ident, 41), expected);

  DeviceRecord device;
  ASSERT_TRUE(rig.io->QueryDeviceSmartStatus(rig.adapter, 2, device));
  EXPECT_EQ(device.smartStatus, L"Exceeded");
  auto status = Header("QMX_RIO ", 5, 0x1B0506, 528);
  for (std::uint8_t b : {0x10, 0x02, 0, 0, 0xDA, 1, 1, 0x4F, 0xC2, 0xA0, 0xB0, 0, 2})
    status.push_back(b);
  EXPECT_EQ(Prefix(rig.device->requests[1], 41), status);

  SetRecord set;
  set.location = 1;
  rig.replies[0x1B0506] = [](const SentRequest&, std::span<std::uint8_t> p) {
    p[4] = 0;
    p[19] = 0x4F;
    p[20] = 0xC2;
  };
  ASSERT_TRUE(rig.io->QuerySetSmartStatus(rig.adapter, set));
  EXPECT_EQ(set.smartStatus, L"OK");
  const SentRequest& setStatus = rig.device->requests[2];
  EXPECT_EQ(test::SignatureOf(setStatus), "SCSIDISK");
  EXPECT_EQ(setStatus.input[12], 31);  // the longer time-out
  EXPECT_EQ(setStatus.input[28 + 9], 0xB0);

  rig.replies[0x1B0506] = [](const SentRequest&, std::span<std::uint8_t> p) { p[4] = 1; };
  set.smartStatus = L"UNKNOWN";
  EXPECT_FALSE(rig.io->QuerySetSmartStatus(rig.adapter, set));
  EXPECT_EQ(set.smartStatus, L"UNKNOWN");
}

TEST(Requests, FetchEventsFillsTheBufferAndHandsBackThePayload) {
  Rig rig;
  rig.replies[0x4200C] = [](const SentRequest& sent, std::span<std::uint8_t> p) {
    EXPECT_EQ(Prefix(sent, 28), Header("QMX_IDE ", 5, 0x4200C, 1764));
    for (std::size_t i = 28; i < sent.input.size(); ++i) ASSERT_EQ(sent.input[i], 0xFF) << i;
    Put32(p, 0, 1);
    p[4] = 0xAB;
  };
  EventBatch batch;
  ASSERT_TRUE(rig.io->FetchEvents(rig.adapter, batch));
  EXPECT_EQ(batch.reportedCount, 1u);
  ASSERT_EQ(batch.payload.size(), 2152u - 28u);
  EXPECT_EQ(batch.payload[4], 0xAB);
  EXPECT_EQ(batch.payload[5], 0xFF);
  EXPECT_EQ(rig.ui->WaitBegins(), 0);  // the logger's fetch shows no wait cursor
}

TEST(Requests, RaidCommandPayloadsAndCaptions) {
  Rig rig;
  rig.returnCodes[0x4200C] = 14;
  EXPECT_FALSE(rig.io->AddMember(rig.adapter, 1, 6));
  auto expected = Header("QMX_RIO ", 5, 0x4200C, 2);
  for (std::uint8_t b : {6, 1}) expected.push_back(b);
  EXPECT_EQ(Prefix(rig.device->requests[0], 30), expected);
  ASSERT_EQ(rig.ui->MessageCount(), 1u);
  EXPECT_EQ(rig.ui->LastMessage()->text, L"Device already in use.\nReturn code 14.");
  EXPECT_EQ(rig.ui->LastMessage()->caption, L"Add Member");

  EXPECT_TRUE(rig.io->RemoveMember(rig.adapter, 1, 3));
  EXPECT_EQ(rig.device->requests[1].input[28], 1);
  EXPECT_EQ(rig.device->requests[1].input[29], 3);
  EXPECT_TRUE(rig.io->EnableSpare(rig.adapter, 0, true));
  EXPECT_EQ(rig.device->requests[2].input[29], 1);
  rig.returnCodes[0x42038] = 2;
  EXPECT_FALSE(rig.io->SetRebuildRate(rig.adapter, 0, 101));
  EXPECT_EQ(rig.ui->LastMessage()->caption, L"Set Rebuild Rate");
  EXPECT_TRUE(rig.io->CreateSpare(rig.adapter, 5));
  EXPECT_EQ(Prefix(rig.device->requests[4], 29).back(), 5);
  EXPECT_EQ(rig.device->requests[4].input[24], 1);  // length 1

  EXPECT_TRUE(rig.io->ResetChannel(rig.adapter, 1));
  const SentRequest& reset = rig.device->requests[5];
  EXPECT_EQ(reset.code, 0x2D5000u);
  EXPECT_EQ(reset.input, std::vector<std::uint8_t>{1});
  EXPECT_EQ(reset.outSize, 0u);
}

}  // namespace
}  // namespace kestrune::ctl

namespace kestrune::ctl {
namespace {

// One disk known to the system: the object name carries the adapter and target keys.
class OneDisk final : public platform::DeviceInstaller {
 public:
  explicit OneDisk(std::wstring objectName, std::uint32_t problem = 0)
      : name_(std::move(objectName)), problem_(problem) {}
  std::optional<std::wstring> ClassGuidFromName(const std::wstring& name) override {
    return name == L"DiskDrive" ? std::optional<std::wstring>(L"{disk}") : std::nullopt;
  }
  std::optional<std::vector<platform::DevInst>> PresentDevices(const std::wstring&) override {
    return std::vector<platform::DevInst>{7};
  }
  std::optional<std::wstring> Property(platform::DevInst, platform::DeviceProperty p) override {
    if (p == platform::DeviceProperty::PhysicalDeviceObjectName) return name_;
    return std::nullopt;
  }
  std::optional<std::wstring> InstanceId(platform::DevInst) override { return std::nullopt; }
  std::optional<platform::DeviceNodeStatus> Status(platform::DevInst) override {
    return platform::DeviceNodeStatus{0, problem_};
  }
  bool Remove(platform::DevInst) override { return true; }
  bool Reenumerate(platform::DevInst) override { return true; }
  std::optional<platform::DevInst> FirstChild(platform::DevInst) override { return std::nullopt; }
  std::optional<platform::DevInst> NextSibling(platform::DevInst) override { return std::nullopt; }

 private:
  std::wstring name_;
  std::uint32_t problem_;
};

// IDENTIFY data with a model text in reading order and SMART off.
void PutIdentify(std::span<std::uint8_t> at, const char* model) {
  std::memset(at.data(), 0, 512);
  std::memcpy(&at[54], model, std::strlen(model));
}

struct DeviceRig {
  std::shared_ptr<FakeDevice> device;
  std::shared_ptr<platform::RecordingUi> ui = std::make_shared<platform::RecordingUi>();
  std::unique_ptr<CControllerIo> io;
  AdapterRecord* adapter = nullptr;
  std::function<void(const SentRequest&, std::span<std::uint8_t>)> reply;
  int refusedSlot = -1;  // answered with ReturnCode 2

  DeviceRig(std::uint16_t major, std::shared_ptr<platform::DeviceInstaller> installer) {
    device = std::make_shared<FakeDevice>(1, [this](const SentRequest& sent, std::span<std::uint8_t> b) {
      if (test::ControlCodeOf(sent) != 0x42008) return platform::ControlResult{false, 0, 31};
      Put32(b, 20, sent.input[28] == refusedSlot ? 2 : 0);
      reply(sent, b.subspan(28));
      return platform::ControlResult{true, static_cast<std::uint32_t>(sent.outSize), 0};
    });
    io = std::make_unique<CControllerIo>(ControllerServices{
        device, std::move(installer), nullptr, nullptr, ui, std::make_shared<platform::ManualClock>()});
    CControllerIo::Lock lock(*io);
    auto record = std::make_unique<AdapterRecord>();
    record->handle = 1;
    record->driverMajor = major;
    record->adapterName = major >= 2 ? L"bv7420r" : L"UNKNOWN";
    record->channelCount = major >= 2 ? 4 : 2;
    record->devicesPerChannel = major >= 2 ? 1 : 2;
    adapter = record.get();
    io->Model().adapters[1] = std::move(record);
    io->Model().entryCount = 2;
  }
};

TEST(DeviceQuery, OlderAdaptersAnswerAllFourSlotsInOneReply) {
  DeviceRig rig(1, std::make_shared<OneDisk>(L"\\Device\\Scsi\\x\\Path0Target0Lun0"));
  rig.adapter->channels[0].flags = 0x1;  // master only
  rig.adapter->channels[1].flags = 0x2;  // slave only
  rig.reply = [](const SentRequest& sent, std::span<std::uint8_t> p) {
    auto expected = Header("QMX_IDE ", 5, 0x42008, 2124);
    for (std::uint8_t b : {0, 0, 4, 0}) expected.push_back(b);
    EXPECT_EQ(Prefix(sent, 32), expected);
    for (std::size_t slot = 0; slot < 4; ++slot) {
      auto block = p.subspan(4 + 530 * slot, 530);
      Put32(block, 0, slot == 0 ? 0x04 : 0x21);  // PIO / packet + Ultra DMA
      Put32(block, 8, 16);
      block[16] = static_cast<std::uint8_t>(slot + 2);
      PutIdentify(block.subspan(18, 512), slot == 0 ? "FIRST" : "OTHER");
      block[18 + 1] = 0x05;  // word 0 high byte: type code 5
    }
  };
  ASSERT_TRUE(rig.io->QueryDeviceInfo(*rig.adapter));
  const DeviceRecord& master = rig.adapter->channels[0].devices[0];
  EXPECT_EQ(master.modelNumber.substr(0, 5), L"FIRST");
  EXPECT_EQ(master.currentMode, L"PIO 2");
  EXPECT_EQ(master.sectorsPerInterrupt, L"16");
  EXPECT_EQ(master.deviceType, L"Disk");
  EXPECT_EQ(master.smartSupport, L"No");
  EXPECT_EQ(master.smartStatus, L"N/A");
  // "unknown1" is in no object name: the disk counts as not available.
  EXPECT_EQ(master.flags, 0x04u | kFlagInUse);
  EXPECT_EQ(rig.adapter->channels[0].devices[1].modelNumber, L"UNKNOWN");  // no presence bit
  const DeviceRecord& slave = rig.adapter->channels[1].devices[1];  // slot 3
  EXPECT_EQ(slave.deviceType, L"CD-ROM");
  EXPECT_EQ(slave.currentMode, L"UDMA 5");
  EXPECT_EQ(slave.sectorsPerInterrupt, L"N/A");
  EXPECT_EQ(rig.adapter->channels[1].devices[0].modelNumber, L"UNKNOWN");
}

TEST(DeviceQuery, ExtendedAdaptersAnswerPerSlotAndOutOfRangeRepliesAreIgnored) {
  DeviceRig rig(2, std::make_shared<OneDisk>(L"\\Device\\Scsi\\BV7420R1\\Path2Target0Lun0"));
  rig.reply = [](const SentRequest& sent, std::span<std::uint8_t> p) {
    const std::uint16_t slot = static_cast<std::uint16_t>(sent.input[28] | sent.input[29] << 8);
    EXPECT_EQ(Prefix(sent, 28), Header("QMX_IDE ", 5, 0x42008, 536));
    EXPECT_EQ(sent.input[30], 1);
    Put32(p, 4, 0x20);
    Put32(p, 12, 8);
    Put16(p, 18, 0xCAFE);
    p[22] = 6;
    p[23] = slot == 1 ? 0 : 1;  // slot 1 reports no device
    p[20] = slot == 3 ? 4 : static_cast<std::uint8_t>(slot);  // slot 3 names channel 4
    p[21] = 0;
    PutIdentify(p.subspan(24, 512), "EXT DISK");
  };
  ASSERT_TRUE(rig.io->QueryDeviceInfo(*rig.adapter));
  EXPECT_EQ(rig.device->requests.size(), 4u);
  const DeviceRecord& seen = rig.adapter->channels[2].devices[0];
  EXPECT_EQ(seen.present, 1);
  EXPECT_EQ(seen.valueC, 0xCAFE);
  EXPECT_EQ(seen.currentMode, L"UDMA 6");
  EXPECT_EQ(seen.flags, 0u);  // the system sees it: the whole flags word is cleared
  const DeviceRecord& hidden = rig.adapter->channels[0].devices[0];
  EXPECT_EQ(hidden.flags, 0x20u | kFlagInUse);
  EXPECT_EQ(rig.adapter->channels[1].devices[0].present, 0);
  EXPECT_EQ(rig.adapter->channels[3].devices[0].present, 0);
}

TEST(DeviceQuery, AFailedSlotStopsTheScanButKeepsWhatWasRead) {
  DeviceRig rig(2, std::make_shared<OneDisk>(L"none"));
  rig.refusedSlot = 1;
  int calls = 0;
  rig.reply = [&](const SentRequest& sent, std::span<std::uint8_t> p) {
    ++calls;
    p[20] = sent.input[28];
    p[23] = 1;
    PutIdentify(p.subspan(24, 512), "READ");
    p[24 + 164] = 0x01;  // SMART supported, not enabled
  };
  EXPECT_FALSE(rig.io->QueryDeviceInfo(*rig.adapter));
  EXPECT_EQ(calls, 2);
  const DeviceRecord& first = rig.adapter->channels[0].devices[0];
  EXPECT_EQ(first.smartSupport, L"Yes");
  EXPECT_EQ(first.smartEnabled, L"No");
  EXPECT_EQ(rig.adapter->channels[1].devices[0].modelNumber, L"UNKNOWN");
  EXPECT_EQ(rig.ui->MessageCount(), 0u);  // a refused slot is silent
}

TEST(Requests, DeleteCommandsCarryTheirIndex) {
  Rig rig;
  EXPECT_TRUE(rig.io->DeleteSpare(rig.adapter, 9));
  auto spare = Header("QMX_RIO ", 5, 0x42044, 1);
  spare.push_back(9);
  EXPECT_EQ(Prefix(rig.device->requests[0], 29), spare);
  rig.returnCodes[0x42008] = 11;
  EXPECT_FALSE(rig.io->DeleteSet(rig.adapter, 1));
  auto set = Header("QMX_RIO ", 5, 0x42008, 4);
  for (std::uint8_t b : {1, 0, 0, 0}) set.push_back(b);
  EXPECT_EQ(Prefix(rig.device->requests[1], 32), set);
  EXPECT_EQ(rig.ui->LastMessage()->caption, L"Delete Array");
  EXPECT_EQ(rig.ui->LastMessage()->text, L"Invalid Array Index.\nReturn code 11.");
}

}  // namespace
}  // namespace kestrune::ctl
