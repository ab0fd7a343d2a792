// The report text, line for line, for the embedded default machine, for a
// machine without adapters and for models built by hand.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "platform/text.h"
#include "report/report.h"
#include "report/report_rig.h"

namespace kestrune::test {
namespace {

using Strings = std::vector<std::wstring>;

std::wstring Pad(const std::wstring& text, std::size_t width) {
  return text + std::wstring(width - text.size(), L' ');
}

// Where `first` occurs in `lines` at or after `from`; fails the test if nowhere.
std::size_t Find(const Strings& lines, const std::wstring& first, std::size_t from = 0) {
  const auto at = std::find(lines.begin() + static_cast<std::ptrdiff_t>(from), lines.end(), first);
  EXPECT_NE(at, lines.end()) << "no line \"" << platform::ToUtf8(first) << "\"";
  return static_cast<std::size_t>(at - lines.begin());
}

void ExpectLinesAt(const Strings& lines, std::size_t at, const Strings& expected) {
  ASSERT_LE(at + expected.size(), lines.size());
  for (std::size_t i = 0; i < expected.size(); ++i)
    EXPECT_EQ(lines[at + i], expected[i]) << "line " << at + i;
}

std::size_t Count(const Strings& lines, const std::wstring& line) {
  return static_cast<std::size_t>(std::count(lines.begin(), lines.end(), line));
}

// The 32 dump lines of an IDENTIFY block of which only the first 13 lines are
// given; the rest are zero but for the checksum word 255.
Strings Dump(Strings head, const std::wstring& word255) {
  const wchar_t* offsets[] = {L"0104", L"0112", L"0120", L"0128", L"0136", L"0144",
                              L"0152", L"0160", L"0168", L"0176", L"0184", L"0192",
                              L"0200", L"0208", L"0216", L"0224", L"0232", L"0240"};
  for (const wchar_t* k : offsets)
    head.push_back(std::wstring(L"\t\t\t") + k + L"   0000 0000 0000 0000 0000 0000 0000 0000");
  head.push_back(L"\t\t\t0248   0000 0000 0000 0000 0000 0000 0000 " + word255);
  return head;
}

const Strings kHeading = {
    L"",
    L"Kestrune Configuration Information.\t\t\t15-January-2026 10:00.00",
    L"Kestrune Version 1.0.0.7",
    L"",
    L"",
    L"Computer Information -",
    L"\tName\tWORKSTATION",
    L"\tDebian GNU/Linux 12 (bookworm) 12",
    L"\tLinux 6.1.0-18-amd64",
    L"",
};

TEST(ReportText, DefaultMachineComputerAndFirstAdapter) {
  ReportMachine m(sim::DefaultScenario());
  const Strings lines = Lines(m.Report());
  ExpectLinesAt(lines, 0, kHeading);
  ExpectLinesAt(lines, kHeading.size(),
                {
                    L"Adapter 0 Information -",
                    L"\tChip Model\t\tBV-7420",
                    L"\tChip Revision\t\t0002",
                    L"\tChip Type\t\tRAID",
                    L"\tDriver Status\t\t0",
                    L"\tMajor Version\t\t2",
                    L"\tMinor Version\t\t1",
                    L"\tFile Version\t\t2.1.0.18",
                    L"\tFile Date\t\tTue Mar 14 09:26:53 2006",
                    L"\tPCI IRQ\t\t\t11",
                    L"\tPCI Bus Number\t2",
                    L"\tPCI Device Number\t4",
                    L"",
                    L"\tPrimary Channel Information -",
                    L"\t\tIDE Base Address\tUNKNOWN",
                    L"\t\tAlt Base Address\tUNKNOWN",
                    L"\t\tDMA Base Address\tUNKNOWN",
                    L"",
                    L"\t\tMaster Device Information -",
                });
  // The mirror's first member: a disk, not a spare.
  const std::size_t device = kHeading.size() + 19;
  ExpectLinesAt(lines, device,
                {
                    L"\t\t\tDevice Type\t\tDisk",
                    L"\t\t\tHot Spare\t\t\tNo",
                    L"\t\t\tModel Number\t\t" + Pad(L"NORRIK NS250-SA2", 40),
                    L"\t\t\tFirmware Version\t3.AAE   ",
                    L"\t\t\tSerial Number\t\t" + Pad(L"NS2A0613K4471", 20),
                    L"\t\t\tCurrent Mode\t\tUDMA 5",
                    L"\t\t\tSupported Modes\tUDMA 6,UDMA 5,UDMA 4,UDMA 3,UDMA 2,UDMA 1,UDMA "
                    L"0,MDMA 2,MDMA 1,MDMA 0,PIO 4,PIO 3,PIO 2,PIO 1,PIO 0",
                    L"\t\t\tBytes\\Interrupt\t\tN/A",
                    L"\t\t\tMedia Type\t\t\tNonremovable",
                    L"\t\t\tATA Version\t\tATA/ATAPI-7",
                    L"\t\t\t\tSMART Support\t\tYes",
                    L"\t\t\t\tSMART Enabled\t\tYes",
                    L"\t\t\t\tSMART Status\t\t\tOK",
                    L"\t\t\tLook-ahead\t\t\tEnabled",
                    L"\t\t\tWrite Cache\t\tEnabled",
                    L"\t\t\t\tCapacity\t\t238475 MB",
                    L"",
                    L"\t\t\tIdentify Data -",
                });
  // Words in the byte order the model keeps: the strings in reading order,
  // so "NS" of the serial is 0x534e.
  Strings dump = Dump(
      {
          L"\t\t\t0000   0040 3fff 0000 0010 0000 0000 003f 0000",
          L"\t\t\t0008   0000 0000 534e 4132 3630 3331 344b 3734",
          L"\t\t\t0016   2031 2020 2020 2020 0000 0000 0000 2e33",
          L"\t\t\t0024   4141 2045 2020 4f4e 5252 4b49 4e20 3253",
          L"\t\t\t0032   3035 532d 3241 2020 2020 2020 2020 2020",
          L"\t\t\t0040   2020 2020 2020 2020 2020 2020 2020 8010",
          L"\t\t\t0048   0000 0b00 0000 0200 0000 0007 3fff 0010",
          L"\t\t\t0056   003f fc10 00fb 0110 ffff 0fff 0000 0007",
          L"\t\t\t0064   0003 0078 0078 0078 0078 0000 0000 0000",
          L"\t\t\t0072   0000 0000 0000 0000 0000 0000 0000 0000",
          L"\t\t\t0080   00fc 0000 0061 7400 4000 0061 3400 4000",
          L"\t\t\t0088   207f 0000 0000 0000 0000 0000 0000 0000",
          L"\t\t\t0096   0000 0000 0000 0000 596f 1d1c 0000 0000",
      },
      L"48a5");  // signature a5; 48 makes all 512 bytes sum to zero
  dump.push_back(L"");
  dump.push_back(L"\tSecondary Channel Information -");
  ExpectLinesAt(lines, device + 18, dump);
}

TEST(ReportText, DefaultMachineChannelsSlotsAndRaidBlock) {
  ReportMachine m(sim::DefaultScenario());
  const std::wstring report = m.Report();
  const Strings lines = Lines(report);

  // Four channels of the extended adapter, two of the older one; every
  // channel after the first is "Secondary", each has one master heading.
  Strings headings;
  for (const std::wstring& line : lines)
    if (line.find(L"Channel Information -") != std::wstring::npos) headings.push_back(line);
  EXPECT_EQ(headings,
            (Strings{L"\tPrimary Channel Information -", L"\tSecondary Channel Information -",
                     L"\tSecondary Channel Information -", L"\tSecondary Channel Information -",
                     L"\tPrimary Channel Information -", L"\tSecondary Channel Information -"}));
  EXPECT_EQ(Count(lines, L"\t\tMaster Device Information -"), 6u);
  // 4 x 1 slots and 2 x 2 slots, present or not.
  std::size_t blocks = 0;
  for (const std::wstring& line : lines) blocks += line.rfind(L"\t\t\tDevice Type\t\t", 0) == 0;
  EXPECT_EQ(blocks, 8u);
  // The spare on channel 2 says so.
  const std::size_t spare = Find(lines, L"\t\t\tSerial Number\t\t" + Pad(L"NS2A0702M0918", 20));
  EXPECT_EQ(lines[spare - 3], L"\t\t\tHot Spare\t\t\tYes");

  // The RAID block follows the last device of the RAID adapter; the older,
  // standard adapter has none.
  EXPECT_EQ(Count(lines, L"\tRIO information -"), 1u);
  const std::size_t rio = Find(lines, L"\tRIO information -");
  EXPECT_LT(rio, Find(lines, L"Adapter 1 Information -"));
  EXPECT_EQ(lines[rio - 2], L"\t\t\t0248   0000 0000 0000 0000 0000 0000 0000 b6a5");
  ExpectLinesAt(lines, rio,
                {
                    L"\tRIO information -",
                    L"\t\tMajor revision\t\t2",
                    L"\t\tMinor revision\t\t0",
                    L"\t\tArray conflicts\t\tNo",
                    L"\t\tNumber of sets\t\t1",
                    L"",
                    L"\tSet number 0 information -",
                    L"\t\tSet name\t\t" + Pad(L"BV MIRRORED SET", 40),
                    L"\t\tSet type\t\tMirrored Set",
                    L"\t\tSet state\t\tOnline",
                    L"\t\tSet location\t\tChannel 0 Device",
                    L"\t\tMeta version\t\t2.0     ",
                    L"\t\t\tCapacity\t\t238475 MB",
                    L"\t\t\tSMART Support\t\tYes",
                    L"\t\t\tSMART Enabled\t\tYes",
                    L"\t\t\tSMART Status\t\t\tOK",
                    L"\t\t\tHot Spare\t\t\tYes",
                    L"\t\tMembers count\t\t2",
                    L"",
                    L"\t\tMembers information -",
                    L"\t\t\tMember index\t0",
                    L"\t\t\tDevice index\t0",
                    L"\t\t\tMember state\tCurrent",
                    L"",
                    L"\t\t\tMember index\t1",
                    L"\t\t\tDevice index\t1",
                    L"\t\t\tMember state\tCurrent",
                    L"",
                    L"\t\tIdentify Data -",
                    L"\t\t\t0000   0040 3fff 0000 0010 0000 0000 003f 0000",
                    L"\t\t\t0008   0000 0000 2020 2020 2020 2020 2020 2020",
                    L"\t\t\t0016   2020 2020 2020 2020 0000 0000 0000 2e32",
                    // "2.0" and "BV MIRRORED SET" in reading order.
                    L"\t\t\t0024   2030 2020 2020 5642 4d20 5249 4f52 4552",
                });
  EXPECT_EQ(lines[rio + 29 + 32], L"");
  EXPECT_EQ(lines[rio + 29 + 33], L"Adapter 1 Information -");

  // The older adapter: base addresses, and an empty second slot whose texts
  // are the presets and whose dump is the fill pattern.
  const std::size_t older = Find(lines, L"Adapter 1 Information -");
  ExpectLinesAt(lines, older,
                {
                    L"Adapter 1 Information -",
                    L"\tChip Model\t\tBV-7210",
                    L"\tChip Revision\t\t0001",
                    L"\tChip Type\t\tStandard",
                    L"\tDriver Status\t\t0",
                    L"\tMajor Version\t\t1",
                    L"\tMinor Version\t\t3",
                    L"\tFile Version\t\t1.3.0.6",
                    L"\tFile Date\t\tThu Sep  2 14:05:11 2004",
                    L"\tPCI IRQ\t\t\t10",
                    L"\tPCI Bus Number\t2",
                    L"\tPCI Device Number\t5",
                    L"",
                    L"\tPrimary Channel Information -",
                    L"\t\tIDE Base Address\tEC00",
                    L"\t\tAlt Base Address\tE802",
                    L"\t\tDMA Base Address\tE000",
                    L"",
                    L"\t\tMaster Device Information -",
                    L"\t\t\tDevice Type\t\tDisk",
                });
  const std::size_t empty = Find(lines, L"\t\t\tDevice Type\t\tUNKNOWN", older);
  Strings expectedEmpty = {
      L"\t\t\tDevice Type\t\tUNKNOWN",  // no hot-spare line: not a disk
      L"\t\t\tModel Number\t\tUNKNOWN",
      L"\t\t\tFirmware Version\tUNKNOWN",
      L"\t\t\tSerial Number\t\tUNKNOWN",
      L"\t\t\tCurrent Mode\t\tUNKNOWN",
      L"\t\t\tSupported Modes\tUNKNOWN",
      L"\t\t\tBytes\\Interrupt\t\tUNKNOWN",
      L"\t\t\tMedia Type\t\t\tUNKNOWN",
      L"\t\t\tATA Version\t\tUNKNOWN",
      L"\t\t\t\tSMART Support\t\tUNKNOWN",
      L"\t\t\t\tSMART Enabled\t\tUNKNOWN",
      L"\t\t\t\tSMART Status\t\t\tUNKNOWN",
      L"\t\t\tLook-ahead\t\t\tUNKNOWN",
      L"\t\t\tWrite Cache\t\tUNKNOWN",
      L"\t\t\t\tCapacity\t\tUNKNOWN",
      L"",
      L"\t\t\tIdentify Data -",
  };
  for (int k = 0; k < 256; k += 8) {
    wchar_t offset[8];
    std::swprintf(offset, 8, L"%04d", k);
    expectedEmpty.push_back(std::wstring(L"\t\t\t") + offset +
                            L"   6666 6666 6666 6666 6666 6666 6666 6666");
  }
  expectedEmpty.push_back(L"");
  expectedEmpty.push_back(L"\tSecondary Channel Information -");
  ExpectLinesAt(lines, empty, expectedEmpty);

  // The CD-ROM has no hot-spare line.
  const std::size_t cd = Find(lines, L"\t\t\tDevice Type\t\tCD-ROM", older);
  EXPECT_EQ(lines[cd + 1], L"\t\t\tModel Number\t\t" + Pad(L"ORVANE CDR-5200", 40));
  EXPECT_EQ(lines[cd + 9], L"\t\t\t\tSMART Support\t\tNo");
  EXPECT_EQ(lines[cd + 14], L"\t\t\t\tCapacity\t\t0 MB");

  // The report ends with the last slot's dump and an empty line.
  ASSERT_GE(report.size(), 8u);
  EXPECT_EQ(report.substr(report.size() - 8), L"6666\r\n\r\n");
  EXPECT_EQ(lines.back(), L"");
}

TEST(ReportText, NoAdapterEndsAfterTheComputerBlock) {
  ReportMachine m(sim::Scenario{});
  EXPECT_EQ(m.Report(),
            L"\r\n"
            L"Kestrune Configuration Information.\t\t\t15-January-2026 10:00.00\r\n"
            L"Kestrune Version 1.0.0.7\r\n"
            L"\r\n"
            L"\r\n"
            L"Computer Information -\r\n"
            L"\tName\tWORKSTATION\r\n"
            L"\tDebian GNU/Linux 12 (bookworm) 12\r\n"
            L"\tLinux 6.1.0-18-amd64\r\n"
            L"\r\n"
            L"\r\n"
            L"NO BRV ADAPTERS FOUND!!!\r\n");
}

sim::DiskSpec Disk(std::uint8_t channel) {
  sim::DiskSpec disk;
  disk.channel = channel;
  disk.sectors = 312581808;
  return disk;
}

sim::MemberSpec Member(std::uint8_t device, std::uint8_t position, sim::MemberState state,
                       std::uint8_t percent = 0) {
  sim::MemberSpec member;
  member.deviceIndex = device;
  member.position = position;
  member.state = state;
  member.rebuildPercent = percent;
  return member;
}

sim::Scenario TwoSets(sim::SetSpec first, sim::SetSpec second) {
  sim::AdapterSpec adapter;
  adapter.chipId = 0x7420;
  adapter.name = "bv7420r";
  adapter.disks = {Disk(0), Disk(1), Disk(2), Disk(3)};
  adapter.sets = {std::move(first), std::move(second)};
  sim::Scenario scenario;
  scenario.adapters = {adapter};
  return scenario;
}

// The member lines of set `set`, from its heading to its dump heading.
Strings MemberLines(const Strings& lines, int set) {
  const std::size_t at = Find(lines, L"\tSet number " + std::to_wstring(set) + L" information -");
  const std::size_t from = Find(lines, L"\t\tMembers information -", at) + 1;
  const std::size_t to = Find(lines, L"\t\tIdentify Data -", from);
  return Strings(lines.begin() + static_cast<std::ptrdiff_t>(from),
                 lines.begin() + static_cast<std::ptrdiff_t>(to));
}

TEST(ReportText, RebuildPercentOnlyForRebuildingAndSyncingMembers) {
  sim::SetSpec mirror;
  mirror.type = sim::SetType::Mirrored;
  mirror.members = {Member(0, 0, sim::MemberState::Current),
                    Member(1, 1, sim::MemberState::Rebuild, 40)};
  sim::SetSpec stripe;
  stripe.type = sim::SetType::Striped;
  stripe.stripeSectors = 128;
  stripe.members = {Member(2, 0, sim::MemberState::Current),
                    Member(3, 1, sim::MemberState::Current)};
  ReportMachine m(TwoSets(mirror, stripe));
  const Strings lines = Lines(m.Report());

  EXPECT_EQ(MemberLines(lines, 0), (Strings{
                                       L"\t\t\tMember index\t0",
                                       L"\t\t\tDevice index\t0",
                                       L"\t\t\tMember state\tCurrent",
                                       L"",
                                       L"\t\t\tMember index\t1",
                                       L"\t\t\tDevice index\t1",
                                       L"\t\t\tMember state\tRebuild",
                                       L"\t\t\tRebuild percent\t40 %",
                                       L"",
                                   }));
  EXPECT_EQ(MemberLines(lines, 1).size(), 8u);
  EXPECT_EQ(Count(lines, L"\t\tNumber of sets\t\t2"), 1u);
  // A mirror tells its spare use, a stripe its stripe size instead.
  const std::size_t mirrorAt = Find(lines, L"\tSet number 0 information -");
  EXPECT_EQ(lines[mirrorAt + 10], L"\t\t\tHot Spare\t\t\tNo");
  const std::size_t stripeAt = Find(lines, L"\tSet number 1 information -");
  EXPECT_EQ(lines[stripeAt + 2], L"\t\tSet type\t\tStriped Set");
  EXPECT_EQ(lines[stripeAt + 10], L"\t\tStripe size\t\t65536 Bytes");
  EXPECT_EQ(lines[stripeAt + 11], L"\t\tMembers count\t\t2");
}

TEST(ReportText, SyncingMirrorShowsPercentLinesForEveryMember) {
  sim::SetSpec mirror;
  mirror.type = sim::SetType::Mirrored;
  mirror.state = sim::SetState::Sync;
  mirror.members = {Member(0, 0, sim::MemberState::Current),
                    Member(1, 1, sim::MemberState::Current)};
  sim::SetSpec other = mirror;
  other.state = sim::SetState::Online;
  other.members = {Member(2, 0, sim::MemberState::Current)};
  ReportMachine m(TwoSets(mirror, other));
  const Strings lines = Lines(m.Report());
  EXPECT_EQ(MemberLines(lines, 0), (Strings{
                                       L"\t\t\tMember index\t0",
                                       L"\t\t\tDevice index\t0",
                                       L"\t\t\tMember state\tSync",
                                       L"\t\t\tRebuild percent\tN/A",
                                       L"",
                                       L"\t\t\tMember index\t1",
                                       L"\t\t\tDevice index\t1",
                                       L"\t\t\tMember state\tSync",
                                       L"\t\t\tRebuild percent\tN/A",
                                       L"",
                                   }));
}

TEST(ReportText, TimelineRebuildShowsInTheNextReport) {
  ReportMachine m(sim::DefaultScenario());
  // The default machine drops the second member at 15 s; the spare on
  // channel 2 takes its place and is rebuilt.
  m.clock->Advance(std::chrono::seconds(17));
  const Strings lines = Lines(m.Report());
  const Strings members = MemberLines(lines, 0);
  ASSERT_EQ(members.size(), 9u);
  EXPECT_EQ(members[3], L"");
  EXPECT_EQ(members[5], L"\t\t\tDevice index\t2");
  EXPECT_EQ(members[6], L"\t\t\tMember state\tRebuild");
  EXPECT_EQ(members[7].rfind(L"\t\t\tRebuild percent\t", 0), 0u) << platform::ToUtf8(members[7]);
  EXPECT_EQ(members[7].substr(members[7].size() - 2), L" %");
}

TEST(ReportText, ProduceReportRefreshesUnderTheWaitCursorWithTheClocksTime) {
  ReportMachine m(sim::DefaultScenario());
  {
    ctl::CControllerIo::Lock lock(*m.io);
    m.io->Model().Adapter(0)->driverFileVersion = L"stale";
  }
  const std::wstring report = rpt::ProduceReportText(*m.io, *m.clock, *m.ui);
  const Strings lines = Lines(report);
  ASSERT_GT(lines.size(), 20u);
  // The manual clock starts at 10:00 UTC on 15 January 2026.
  EXPECT_EQ(lines[1], L"Kestrune Configuration Information.\t\t\t15-January-2026 10:00.00");
  EXPECT_EQ(Count(lines, L"\tFile Version\t\t2.1.0.18"), 1u);
  // The requests show their own wait cursors; one more is around them all.
  ReportMachine alone(sim::DefaultScenario());
  alone.Report();
  EXPECT_EQ(m.ui->MaxWaitDepth(), alone.ui->MaxWaitDepth() + 1);
  EXPECT_EQ(m.ui->WaitDepth(), 0);
  EXPECT_EQ(m.ui->MessageCount(), 0u);
}

// Models built by hand: the Windows 9x blocks and counts the model cannot hold.
TEST(ReportText, NinetyFiveFamilyHasDescriptionAndSupportDriverBlock) {
  ctl::ConfigurationModel model;
  model.entryCount = 1;
  model.ntFamily = false;
  model.computer.computerName = L"OLDBOX";
  model.computer.osName = L"Windows 98";
  model.computer.osVersion = L"4.10";
  model.computer.computerComment = L"front desk";
  model.program = {L"Kestrune", L"Brevalis", L"2.0", L""};
  model.supportMajorText = model.supportMinorText = L"1";
  model.supportFileVersion = L"4.10.2222";
  model.supportFileDate = L"UNKNOWN";
  EXPECT_EQ(rpt::BuildReport(model, L"now"),
            L"\r\nKestrune Configuration Information.\t\t\tnow\r\n"
            L"Kestrune Version 2.0\r\n\r\n\r\n"
            L"Computer Information -\r\n"
            L"\tName\tOLDBOX\r\n"
            L"\tWindows 98 4.10\r\n"
            L"\tDescription front desk\r\n"
            L"\r\n"
            L"VXD Information - \r\n"
            L"\tMajor Version\t\t1\r\n"
            L"\tMinor Version\t\t1\r\n"
            L"\tFile Version\t\t4.10.2222\r\n"
            L"\tFile Date\t\tUNKNOWN\r\n\r\n"
            L"\r\nNO BRV ADAPTERS FOUND!!!\r\n");
}

TEST(ReportText, CountsBeyondTheModelAreCutToIt) {
  ctl::ConfigurationModel model;
  model.entryCount = 2;
  model.adapters[1] = std::make_unique<ctl::AdapterRecord>();
  ctl::AdapterRecord& adapter = *model.adapters[1];
  adapter.chipType = L"raid";
  adapter.chipKind = ctl::ChipKind::kRaid;
  adapter.channelCount = 60000;
  adapter.devicesPerChannel = 60000;
  adapter.setCount = 4000000000U;
  adapter.sets[0].memberCount = 255;
  adapter.sets[1].type = L"MIRRORED SET";
  adapter.sets[1].kind = ctl::SetKind::kMirrored;
  const Strings lines = Lines(rpt::BuildReport(model, kNow));
  EXPECT_EQ(Count(lines, L"\t\tMaster Device Information -"), ctl::kMaxChannels);
  std::size_t blocks = 0;
  for (const std::wstring& line : lines) blocks += line == L"\t\t\tDevice Type\t\tUNKNOWN";
  EXPECT_EQ(blocks, ctl::kMaxChannels * ctl::kMaxDevicesPerChannel);
  // The count is shown as the driver said it; only the sets held are listed.
  EXPECT_EQ(Count(lines, L"\t\tNumber of sets\t\t-294967296"), 1u);
  EXPECT_EQ(Count(lines, L"\tSet number 1 information -"), 1u);
  EXPECT_EQ(Count(lines, L"\tSet number 2 information -"), 0u);
  EXPECT_EQ(Count(lines, L"\t\tMembers count\t\t255"), 1u);
  EXPECT_EQ(Count(lines, L"\t\t\tMember index\t3"), 1u);
  EXPECT_EQ(Count(lines, L"\t\t\tMember index\t4"), 0u);
  // The mirror check ignores case; a set of unknown type shows a stripe size.
  EXPECT_EQ(Count(lines, L"\t\tStripe size\t\t0 Bytes"), 1u);
  EXPECT_EQ(Count(lines, L"\t\t\tHot Spare\t\t\tNo"), 1u);
  EXPECT_EQ(lines.back(), L"");
}

}  // namespace
}  // namespace kestrune::test
