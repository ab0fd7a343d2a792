// Event texts against texts written out by hand, with the GPIO requests and
// the marks each event leaves.
#include "events/event_text.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "events/event_rig.h"

namespace kestrune::evt {
namespace {

using test::EventRig;
using test::RecordBytes;
namespace guid = test::guid;

class EventText : public ::testing::Test {
 protected:
  // Formats one record for adapter 0 and returns the text after the time
  // stamp and its tab (checked here).
  std::wstring Format(EventRig& rig, const RecordBytes& bytes, std::uint32_t adapter = 0) {
    EventFormatter formatter(*rig.io);
    std::wstring text;
    if (const auto led = formatter.FormatEvent(bytes.Record(), adapter, text))
      formatter.ApplyLedChange(adapter, *led);
    refresh = formatter.RefreshTreeMark();
    rescan = formatter.RescanAdapterMark();
    const std::wstring prefix = std::wstring(test::kStampText) + L"\t";
    EXPECT_EQ(text.substr(0, prefix.size()), prefix);
    return text.substr(std::min(prefix.size(), text.size()));
  }

  test::ScopedTimeZone utc{"UTC"};
  bool refresh = false;
  bool rescan = false;
};

TEST_F(EventText, NewDeviceReadsGpioThenSetsPresenceBitOfItsChannel) {
  EventRig rig;
  auto bytes = RecordBytes(guid::kNewDevice).Put(44, {1, 0}).Text(46, "WDC WD800JD");
  EXPECT_EQ(Format(rig, bytes),
            L"Informational - New device\n\t\tThe secondary master on adapter 0, WDC WD800JD, is "
            L"the new device.\n");
  EXPECT_EQ(rig.GpioRequests(), (std::vector<std::pair<int, int>>{{0, 0xF0}, {1, 0xF2}}));
  EXPECT_EQ(rig.Gpio(), 0xF2);
  EXPECT_TRUE(refresh);
  EXPECT_FALSE(rescan);
}

TEST_F(EventText, DeviceEventsNameChannelAndDeviceByTheirBytes) {
  EventRig legacy;
  // Zero bytes inside the model become blanks; trailing ones go.
  auto removed = RecordBytes(guid::kDeviceRemoved, 2)
                     .Put(44, {0, 1})
                     .Text(46, "AB")
                     .Put(48, {0})
                     .Text(49, "C\xE9  ");
  EXPECT_EQ(Format(legacy, removed),
            L"Warning       - Device remove\n\t\tThe primary slave on adapter 0, AB C\xE9, was "
            L"removed.\n");
  EXPECT_EQ(legacy.GpioRequests(), (std::vector<std::pair<int, int>>{{0, 0xF0}, {1, 0xF0}}));
  EXPECT_TRUE(refresh);

  EventRig extended(true);
  auto added = RecordBytes(guid::kNewDevice).Put(44, {2, 0}).Text(46, "ST3160827AS");
  EXPECT_EQ(
      Format(extended, added),
      L"Informational - New device\n\t\tThe Channel 2 Device on adapter 0, ST3160827AS, is the "
      L"new device.\n");
  EXPECT_EQ(extended.Gpio(), 0xF4);

  // A model of zero bytes only: the commas stand with one blank between them.
  EventRig plain;
  EXPECT_EQ(Format(plain, RecordBytes(guid::kDeviceChanged).Put(44, {0, 3})),
            L"Informational - Device changed\n\t\tThe primary slave on adapter 0, , is the new "
            L"device.\n");
  EXPECT_EQ(plain.GpioRequests().size(), 1u);  // the read only
  EXPECT_FALSE(refresh);
  EXPECT_FALSE(rescan);

  auto udma = RecordBytes(guid::kUltraDma, 2).Put(44, {1, 0, 5, 2});
  EXPECT_EQ(Format(plain, udma),
            L"Warning       - Ultra DMA mode downgraded.\n\t\tThe secondary master on adapter 0 "
            L"Ultra DMA mode changed from 5 to 2.\n");
  EXPECT_EQ(Format(extended, udma),
            L"Warning       - Ultra DMA mode downgraded.\n\t\tThe Channel 1 Device on adapter 0 "
            L"Ultra DMA mode changed from 5 to 2.\n");
}

TEST_F(EventText, SeverityTextsArePaddedAndOtherValuesNamed) {
  EXPECT_EQ(SeverityText(1), L"Informational");
  EXPECT_EQ(SeverityText(2), L"Warning      ");
  EXPECT_EQ(SeverityText(3), L"Error        ");
  EXPECT_EQ(SeverityText(0), L"Severity Level is 0");
  EXPECT_EQ(SeverityText(0xFFFFFFFF), L"Severity Level is -1");
  EventRig rig;
  EXPECT_EQ(Format(rig, RecordBytes(guid::kBusReset, 7).Put(44, {1})),
            L"Severity Level is 7 - Bus reset\n\t\tBus 1 was reset on adapter 0.\n");
  EXPECT_TRUE(refresh);
  EXPECT_FALSE(rescan);
  EXPECT_EQ(rig.GpioRequests().size(), 1u);
}

// Each case: record, text with member numbering, text without it (legacy
// labels), presence or rebuild GPIO byte written after 0xF0 (none: -1), and
// the refresh and rescan marks.
struct MemberCase {
  RecordBytes bytes;
  std::wstring numbered;
  std::wstring labelled;
  int gpio;
  bool refresh;
  bool rescan;
};

TEST_F(EventText, MemberAndRebuildEventsInBothNumberingModes) {
  const std::vector<MemberCase> cases = {
      {RecordBytes(guid::kMemberDropped, 3).Put(44, {1, 2, 3, 0x84, 3}),
       L"Error         - Member dropped\n\t\tSet 1 dropped member 2 on adapter 0 due to an unknown "
       L"error. SRB status was Unknown SRB status 132.\n",
       L"Error         - Member dropped\n\t\tSet 1 dropped Secondary Slave on adapter 0 due to an "
       L"unknown error. SRB status was Unknown SRB status 132.\n",
       0xF0, false, true},
      {RecordBytes(guid::kMemberDropped, 3).Put(44, {0, 0, 1, 9, 0}),
       L"Error         - Member dropped\n\t\tSet 0 dropped member 0 on adapter 0 due to a port "
       L"error. SRB status was Request Timed Out.\n",
       L"Error         - Member dropped\n\t\tSet 0 dropped Primary Master on adapter 0 due to a "
       L"port "
       L"error. SRB status was Request Timed Out.\n",
       0xF0, false, true},
      // Member added has no member-number text.
      {RecordBytes(guid::kMemberAdded).Put(44, {1, 2}),
       L"Informational - Member added\n\t\tDevice 2 was added to array 1 on adapter 0.\n",
       L"Informational - Member added\n\t\tDevice 2 was added to array 1 on adapter 0.\n", 0xF4,
       true, true},
      {RecordBytes(guid::kMemberRemoved).Put(44, {0, 1, 1}),
       L"Informational - Member removed\n\t\tMember 1 was removed from set 0 on adapter 0.\n",
       L"Informational - Member removed\n\t\tPrimary Slave was removed from set 0 on adapter 0.\n",
       0xF0, false, true},
      {RecordBytes(guid::kRebuild).Put(44, {0, 1, 1, 2}),
       L"Informational - Rebuild complete\n\t\tSet 0 completed its rebuild for member 1 on adapter "
       L"0.\n",
       L"Informational - Rebuild complete\n\t\tSet 0 completed its rebuild for Secondary Master on "
       L"adapter 0.\n",
       0xF0, false, true},
      {RecordBytes(guid::kRebuild).Put(44, {0, 1, 5, 2}),
       L"Informational - Rebuild started\n\t\tSet 0 started a rebuild for member 1 on adapter 0.\n",
       L"Informational - Rebuild started\n\t\tSet 0 started a rebuild for Secondary Master on "
       L"adapter 0.\n",
       0xB0, false, true},
      {RecordBytes(guid::kRebuild, 2).Put(44, {1, 3, 3, 1}),
       L"Warning       - Rebuild status unknown\n\t\tRebuild status 3 from member 3 in array 1 on "
       L"adapter 0.\n",
       L"Warning       - Rebuild status unknown\n\t\tRebuild status 3 from Primary Slave in array "
       L"1 "
       L"on adapter 0.\n",
       0xF0, false, false},
      // Device index 5: the rebuild bit falls outside the byte, which is
      // written unchanged.
      {RecordBytes(guid::kRebuild).Put(44, {0, 0, 5, 5}),
       L"Informational - Rebuild started\n\t\tSet 0 started a rebuild for member 0 on adapter 0.\n",
       L"Informational - Rebuild started\n\t\tSet 0 started a rebuild for Secondary Slave on "
       L"adapter "
       L"0.\n",
       0xF0, false, true},
      {RecordBytes(guid::kMemberError, 3).Put(44, {3, 2, 9, 3}),
       L"Error         - Member Error - Unknown Member Error 3\n\t\tMember 2 - Set 3 - Adapter 0\n",
       L"Error         - Member Error - Unknown Member Error 3\n\t\tSecondary Slave - Adapter 0\n",
       0xF0, false, false},
  };
  for (bool numbered : {true, false}) {
    for (const MemberCase& c : cases) {
      EventRig rig(false, 0xF0);
      if (!numbered) rig.EndMemberNumbering();
      SCOPED_TRACE(c.labelled);
      EXPECT_EQ(Format(rig, c.bytes), numbered ? c.numbered : c.labelled);
      EXPECT_EQ(refresh, c.refresh);
      EXPECT_EQ(rescan, c.rescan);
      EXPECT_EQ(rig.GpioRequests(), (std::vector<std::pair<int, int>>{{0, 0xF0}, {1, c.gpio}}));
    }
  }
}

TEST_F(EventText, ExtendedNamingLabelsDeviceIndexAsChannel) {
  EventRig rig(true);
  rig.EndMemberNumbering();
  EXPECT_EQ(
      Format(rig, RecordBytes(guid::kMemberDropped, 3).Put(44, {1, 2, 2, 4, 3})),
      L"Error         - Member dropped\n\t\tSet 1 dropped Channel 3 Device on adapter 0 due to "
      L"a SCSI error. SRB status was Error With Bus Status.\n");
  EXPECT_EQ(Format(rig, RecordBytes(guid::kSpareDrive).Put(44, {1, 11})),
            L"Informational - Hot spare created.\n\t\tHot spare created on adapter 0. Hot spare "
            L"device is Channel 11 Device.\n");
}

TEST_F(EventText, PortAndScsiErrorsListCdbBytesByOperationGroup) {
  auto port = RecordBytes(guid::kMemberError, 3)
                  .Put(44, {1, 0, 0, 1, 0, 9, 0x28, 0, 0, 1, 2, 3, 0, 0, 8, 0, 0x77, 0x77});
  auto scsi6 = RecordBytes(guid::kMemberError, 3)
                   .Put(44, {0, 2, 1, 2, 3, 0x00, 0x12, 0x34, 0x56, 0x11, 0x04})
                   .Put(55, {0x12, 1, 2, 3, 4, 5, 0x99, 0x99});
  auto scsi12 = RecordBytes(guid::kMemberError, 3)
                    .Put(44, {0, 2, 1, 2, 0x20, 0, 0, 0, 1, 0x3A, 0})
                    .Put(55, {0xA8, 0, 0, 0, 0, 0x10, 0, 0, 0, 1, 0, 0, 0x99});
  {
    EventRig rig(false, 0xF3);
    EXPECT_EQ(
        Format(rig, port),
        L"Error         - Port Error - Request Timed Out\n\t\tError ocurred on member 0 of set "
        L"1 on adapter 0. Primary Master - CDB 28 00 00 01 02 03 00 00 08 00 \n");
    EXPECT_EQ(rig.GpioRequests().back(), (std::pair<int, int>{1, 0xF2}));
    EXPECT_FALSE(refresh);
    EXPECT_FALSE(rescan);
    EXPECT_EQ(
        Format(rig, scsi6),
        L"Error         - SCSI Error - Medium Error\n\t\tError ocurred on member 2 of set 0 on "
        L"adapter 0. Primary Slave - Key 03 - ASC 11, ASCQ 04 - CDB 12 01 02 03 04 05 - INFO "
        L"00 12 34 56\n");
    EXPECT_EQ(rig.GpioRequests().back(), (std::pair<int, int>{1, 0xF0}));
  }
  EventRig legacy;
  legacy.EndMemberNumbering();
  EXPECT_EQ(
      Format(legacy, port),
      L"Error         - Port Error - Request Timed Out\n\t\tError ocurred on Primary Master on "
      L"adapter 0. Primary Master - CDB 28 00 00 01 02 03 00 00 08 00 \n");
  EXPECT_EQ(
      Format(legacy, scsi12),
      L"Error         - SCSI Error - Unknown Sense Key\n\t\tError ocurred on Primary Slave on "
      L"adapter 0. Primary Slave - Key 20 - ASC 3a, ASCQ 00 - CDB a8 00 00 00 00 10 00 00 00 "
      L"01 00 00 - INFO 00 00 00 01\n");
  EventRig extended(true);
  extended.EndMemberNumbering();
  EXPECT_EQ(
      Format(extended, scsi6),
      L"Error         - SCSI Error - Medium Error\n\t\tError ocurred on Channel 1 Device on "
      L"adapter 0. Channel 1 Device - Key 03 - ASC 11, ASCQ 04 - CDB 12 01 02 03 04 05 - INFO "
      L"00 12 34 56\n");
}

TEST_F(EventText, BadBlockTypesOneToSevenWithVirtualBlockLine) {
  const std::wstring line = L"Secondary Master - Virtual Block 0x3c4d\n";
  const std::vector<std::tuple<std::uint32_t, std::wstring, std::wstring>> cases = {
      {1,
       L"BBR Information - Replacement Attempt\r\n\t\tAttempting to replace block 0x1a2b on member "
       L"3 of set 1 on adapter 0. ",
       L"BBR Information - Replacement Attempt\r\n\t\tAttempting to replace block 0x1a2b on "
       L"Secondary Master on adapter 0. "},
      {2,
       L"BBR Error - Replacement Failed\n\t\tAn error ocurred on member 3 of set 1 on adapter 0 "
       L"while replacing block 0x1a2b. ",
       L"BBR Error - Replacement Failed\n\t\tAn error ocurred on Secondary Master on adapter 0 "
       L"while replacing block 0x1a2b. "},
      {3,
       L"BBR Information - Replacement Successful\n\t\tBlock 0x1a2b was successfully replaced on "
       L"member 3 of set 1 of adapter 0. ",
       L"BBR Information - Replacement Successful\n\t\tBlock 0x1a2b was successfully replaced on "
       L"Secondary Master of adapter 0. "},
      {4,
       L"BBR Information - Flag Attempt\r\n\t\tAttempting to flag block 0x1a2b on member 3 of set "
       L"1 of adapter 0. ",
       L"BBR Information - Flag Attempt\r\n\t\tAttempting to flag block 0x1a2b on Secondary Master "
       L"device of adapter 0. "},
      {5,
       L"BBR Error - Flag Failed\n\t\tAn error ocurred on member 3 of set 1 of adapter 0 while "
       L"flagging block 0x1a2b. ",
       L"BBR Error - Flag Failed\n\t\tAn error ocurred on Secondary Master of adapter 0 while "
       L"flagging block 0x1a2b. "},
      {6,
       L"BBR Information - Flag Successful\n\t\tBlock 0x1a2b was successfully flagged on member 3 "
       L"of set 1 of adapter 0. ",
       L"BBR Information - Flag Successful\n\t\tBlock 0x1a2b was successfully flagged on Secondary "
       L"Master of adapter 0. "},
      {7, L"BBR Error - Unknown BBR Type 7\n\t\tBlock 0x1a2b - Member 3 - Set 1 - Adapter 0 ",
       L"BBR Error - Unknown BBR Type 7\n\t\tBlock 0x1a2b - Secondary Master - Adapter 0 "},
      {0xFFFFFFFF,
       L"BBR Error - Unknown BBR Type -1\n\t\tBlock 0x1a2b - Member 3 - Set 1 - Adapter 0 ",
       L"BBR Error - Unknown BBR Type -1\n\t\tBlock 0x1a2b - Secondary Master - Adapter 0 "},
  };
  for (const auto& [type, numbered, labelled] : cases) {
    SCOPED_TRACE(type);
    auto bytes = RecordBytes(guid::kMemberError, 2)
                     .Put(44, {1, 3, 2, 4})
                     .Word(48, type)
                     .Word(52, 0x1A2B)
                     .Word(56, 0x3C4D);
    EventRig rig(false, 0xFF);
    EXPECT_EQ(Format(rig, bytes), L"Warning       - " + numbered + line);
    EXPECT_EQ(rig.GpioRequests().back(), (std::pair<int, int>{1, 0xFB}));
    rig.EndMemberNumbering();
    EXPECT_EQ(Format(rig, bytes), L"Warning       - " + labelled + line);
  }
}

TEST_F(EventText, SpareDriveCodesInBothNumberingModes) {
  // code, numbered body, labelled body, title; device index 1, set 1, member 2.
  const std::vector<std::tuple<int, std::wstring, std::wstring, std::wstring>> cases = {
      {1, L"Hot spare created.\n\t\t",
       L"Hot spare created on adapter 0. Hot spare device index is 1.\n",
       L"Hot spare created on adapter 0. Hot spare device is Primary Slave.\n"},
      {2, L"Hot spare delete.\n\t\t",
       L"Hot spare deleted on adapter 0. Hot spare device index is 1.\n",
       L"Hot spare deleted on adapter 0. Device is Primary Slave.\n"},
      {3, L"Hot spare added to set.\n\t\t",
       L"Hot spare added to set 1 as member 2 on adapter 0. Hot spare device index is 1.\n",
       L"Hot spare added to set 1 as member 2 on adapter 0. Hot spare device is Primary Slave.\n"},
      {4, L"Hot spare too small.\n\t\t",
       L"Hot spare too small to be added to set 1 on adapter 0. Hot spare device index is 1.\n",
       L"Hot spare too small to be added to set 1 on adapter 0. Host spare device is Primary "
       L"Slave.\n"},
      {0x1B, L"Hot spare event unknown\n\t\t",
       L"Hot spare code 1b - Set index 1 - Member index 2 - Device index 1 - Adapter 0\n",
       L"Hot spare code 1b - Set 1 - Member 2 - Primary Slave - Adapter 0\n"},
  };
  for (const auto& [code, title, numbered, labelled] : cases) {
    SCOPED_TRACE(code);
    auto bytes = RecordBytes(guid::kSpareDrive).Put(44, {code, 1, 1, 2});
    EventRig rig;
    EXPECT_EQ(Format(rig, bytes), L"Informational - " + title + numbered);
    EXPECT_EQ(refresh, code == 3);
    EXPECT_EQ(rescan, code == 3);
    rig.EndMemberNumbering();
    EXPECT_EQ(Format(rig, bytes), L"Informational - " + title + labelled);
    EXPECT_EQ(rig.GpioRequests().size(), 1u);  // the read only
  }
}

TEST_F(EventText, SetCreatedAndDeletedNameTheRaidType) {
  EventRig rig;
  EXPECT_EQ(
      Format(rig, RecordBytes(guid::kSetCreated).Put(44, {0, 2})),
      L"Informational - Raid Set Created\n\t\tRaid type Mirrored Set on adapter 0 was created "
      L".\n");
  EXPECT_TRUE(rescan);
  EXPECT_FALSE(refresh);
  EXPECT_EQ(
      Format(rig, RecordBytes(guid::kSetDeleted).Put(44, {0, 3})),
      L"Informational - Raid Set Deleted\n\t\tRaid type Mirrored Striped Set on adapter 0 was "
      L"deleted.\n");
  EXPECT_EQ(Format(rig, RecordBytes(guid::kSetDeleted).Put(44, {0, 0})),
            L"Informational - Raid Set Deleted\n\t\tRaid type  on adapter 0 was deleted.\n");
  EXPECT_EQ(RaidTypeText(1), L"Striped Set");
}

TEST_F(EventText, UnknownClassPrintsGuidAndFortyEightBytesInEightRows) {
  RecordBytes bytes("01020304-0506-0708-090A-0B0C0D0E0F10", 1);
  for (int i = 0; i < 44; ++i) bytes.Put(44 + static_cast<std::size_t>(i), {i});
  bytes.bytes.insert(bytes.bytes.end(), {0xAA, 0xBB, 0xCC, 0xDD});  // what follows the record
  EventRig rig;
  EXPECT_EQ(Format(rig, bytes),
            L"Informational - Unknown Event\n"
            L"\t\tAdapter 0 - GUID = 01020304-0506-0708-09-0a-0b-0c-0d-0e-0f-10-\n"
            L"\t\t0x00 0x01 0x02 0x03 0x04 0x05\n"
            L"\t\t0x06 0x07 0x08 0x09 0x0a 0x0b\n"
            L"\t\t0x0c 0x0d 0x0e 0x0f 0x10 0x11\n"
            L"\t\t0x12 0x13 0x14 0x15 0x16 0x17\n"
            L"\t\t0x18 0x19 0x1a 0x1b 0x1c 0x1d\n"
            L"\t\t0x1e 0x1f 0x20 0x21 0x22 0x23\n"
            L"\t\t0x24 0x25 0x26 0x27 0x28 0x29\n"
            L"\t\t0x2a 0x2b 0xaa 0xbb 0xcc 0xdd\n");
  EXPECT_FALSE(refresh);
  EXPECT_FALSE(rescan);
  // All sixteen bytes must match: a known class with its last byte changed
  // is unknown.
  RecordBytes almost(guid::kBusReset);
  almost.bytes[15] ^= 1;
  EXPECT_EQ(Format(rig, almost).substr(0, 30), L"Informational - Unknown Event\n");
}

TEST_F(EventText, GpioRequestsOfARunOfEvents) {
  EventRig rig(false, 0xF0);
  rig.EndMemberNumbering();
  const std::vector<RecordBytes> run = {
      RecordBytes(guid::kNewDevice).Put(44, {1, 0}),               // presence 1 on
      RecordBytes(guid::kMemberDropped).Put(44, {0, 0, 1, 4, 1}),  // presence 1 off
      RecordBytes(guid::kRebuild).Put(44, {0, 0, 5, 1}),           // rebuild 1 running
      RecordBytes(guid::kRebuild).Put(44, {0, 0, 1, 1}),           // rebuild 1 done
      RecordBytes(guid::kRebuild).Put(44, {0, 0, 5, 5}),           // index 5: outside the byte
      RecordBytes(guid::kNewDevice).Put(44, {9, 0}),               // position 9: outside the byte
      RecordBytes(guid::kMemberRemoved).Put(44, {0, 0, 5}),        // presence 5 is bit 5
      RecordBytes(guid::kBusReset).Put(44, {0}),                   // read only
  };
  EventFormatter formatter(*rig.io);
  std::wstring text;
  for (const RecordBytes& bytes : run) {
    if (const auto led = formatter.FormatEvent(bytes.Record(), 0, text))
      formatter.ApplyLedChange(0, *led);
  }
  EXPECT_EQ(rig.GpioRequests(), (std::vector<std::pair<int, int>>{{0, 0xF0},
                                                                  {1, 0xF2},
                                                                  {0, 0xF2},
                                                                  {1, 0xF0},
                                                                  {0, 0xF0},
                                                                  {1, 0xD0},
                                                                  {0, 0xD0},
                                                                  {1, 0xF0},
                                                                  {0, 0xF0},
                                                                  {1, 0xF0},
                                                                  {0, 0xF0},
                                                                  {1, 0xF0},
                                                                  {0, 0xF0},
                                                                  {1, 0xD0},
                                                                  {0, 0xD0}}));
  EXPECT_EQ(rig.Gpio(), 0xD0);
  // Every request is a three-byte WriteGpioStatus on the adapter's port.
  ASSERT_EQ(rig.device->requests.size(), 15u);
  const std::vector<std::uint8_t> header = {0x1C, 0,    0,    0,    'Q', 'M', 'X',  '_',  'I',  'D',
                                            'E',  ' ',  5,    0,    0,   0,   0x28, 0x20, 0x04, 0,
                                            0xFF, 0xFF, 0xFF, 0xFF, 3,   0,   0,    0};
  std::vector<std::uint8_t> expected = header;
  expected.insert(expected.end(), {1, 0xF2, 0});
  const auto& first = rig.device->requests[1].input;
  EXPECT_EQ(std::vector<std::uint8_t>(first.begin(), first.begin() + 31), expected);
  // The marks gather over the run until the logger clears them.
  EXPECT_TRUE(formatter.RefreshTreeMark());
  EXPECT_TRUE(formatter.RescanAdapterMark());
  formatter.ClearMarks();
  EXPECT_FALSE(formatter.RefreshTreeMark());
  EXPECT_FALSE(formatter.RescanAdapterMark());
}

TEST_F(EventText, AdapterMissingFromModelGetsTextWithoutGpio) {
  EventRig rig;
  EXPECT_EQ(Format(rig, RecordBytes(guid::kNewDevice).Put(44, {0, 0}).Text(46, "X"), 3),
            L"Informational - New device\n\t\tThe primary master on adapter 3, X, is the new "
            L"device.\n");
  EXPECT_TRUE(rig.device->requests.empty());
  EXPECT_TRUE(refresh);
}

TEST_F(EventText, FailedGpioRequestsShowTheDriverErrorAndTheTextStillComes) {
  EventRig rig(false, 0xF0);
  rig.gpioReturnCode = 1;
  EXPECT_EQ(
      Format(rig, RecordBytes(guid::kDeviceRemoved).Put(44, {0, 0})),
      L"Informational - Device remove\n\t\tThe primary master on adapter 0, , was removed.\n");
  const auto messages = rig.ui->Messages();
  ASSERT_EQ(messages.size(), 2u);  // the read and the write
  EXPECT_EQ(messages[0].caption, L"Read/Write GPIO status");
  EXPECT_EQ(messages[0].text, L"Reboot required for change to take effect.\nReturn code 1.");
  EXPECT_EQ(rig.Gpio(), 0xF0);
}

TEST(EventLookups, SrbStatusSenseKeyAndReasonTexts) {
  EXPECT_EQ(SrbStatusText(0), L"Pending");
  EXPECT_EQ(SrbStatusText(11), L"Command Timed Out");
  EXPECT_EQ(SrbStatusText(12), L"Unknown SRB status 12");
  EXPECT_EQ(SrbStatusText(13), L"Message Rejected");
  EXPECT_EQ(SrbStatusText(22), L"Request Flushed");
  EXPECT_EQ(SrbStatusText(23), L"Unknown SRB status 23");
  EXPECT_EQ(SrbStatusText(31), L"Unknown SRB status 31");
  EXPECT_EQ(SrbStatusText(32), L"Invalid Lun");
  EXPECT_EQ(SrbStatusText(35), L"Error Recovery");
  EXPECT_EQ(SrbStatusText(36), L"Unknown SRB status 36");
  EXPECT_EQ(SrbStatusText(0xC4), L"Unknown SRB status 196");
  EXPECT_EQ(SenseKeyText(0), L"No Sense");
  EXPECT_EQ(SenseKeyText(15), L"Reserved");
  EXPECT_EQ(SenseKeyText(16), L"Unknown Sense Key");
  EXPECT_EQ(DropReasonText(0), L"an unknown error");
  EXPECT_EQ(DropReasonText(2), L"a SCSI error");
}

TEST(EventLookups, CdbTextStopsAtTheFourBytesAfterTheRecord) {
  RecordBytes bytes(guid::kMemberError);
  bytes.Put(80, {0xA8, 1, 2, 3, 4, 5, 6, 7});
  bytes.bytes.insert(bytes.bytes.end(), {0x28, 9, 10, 11});
  const EventRecord record = bytes.Record();
  EXPECT_EQ(CdbText(record, 80), L"CDB a8 01 02 03 04 05 06 07 28 09 0a 0b ");
  EXPECT_EQ(CdbText(record, 85), L"CDB 05 06 07 28 09 0a ");
  EXPECT_EQ(CdbText(record, 88), L"CDB 28 09 0a 0b ");
  EXPECT_EQ(CdbText(record, 91), L"CDB 0b ");
  EXPECT_EQ(CdbText(record, 92), L"CDB ");
  EXPECT_EQ(CdbText(record, 10), L"CDB ");
  bytes.Put(60, {0x5F});
  EXPECT_EQ(CdbText(bytes.Record(), 60), L"CDB 5f 00 00 00 00 00 00 00 00 00 ");
  bytes.Put(60, {0x60});
  EXPECT_EQ(CdbText(bytes.Record(), 60), L"CDB 60 00 00 00 00 00 00 00 00 00 00 00 ");
  bytes.Put(60, {0x1F});
  EXPECT_EQ(CdbText(bytes.Record(), 60), L"CDB 1f 00 00 00 00 00 ");
}

}  // namespace
}  // namespace kestrune::evt
