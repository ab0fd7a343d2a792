#include "simulator/scenario.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "simulator/identify.h"
#include "support/source_dir.h"

namespace kestrune::sim {
namespace {

using ::testing::AllOf;
using ::testing::HasSubstr;
using ::testing::StartsWith;

Scenario Parse(const std::string& json) {
  auto result = ParseScenario(json, "test.json");
  if (auto* error = std::get_if<ScenarioError>(&result)) {
    ADD_FAILURE() << error->message;
    return {};
  }
  return std::get<Scenario>(result);
}

std::string Error(const std::string& json) {
  auto result = ParseScenario(json, "test.json");
  if (std::holds_alternative<Scenario>(result)) {
    ADD_FAILURE() << "accepted: " << json;
    return {};
  }
  return std::get<ScenarioError>(result).message;
}

// One adapter around the given disks/sets/spares text.
std::string Adapter(const std::string& body) {
  return R"({"adapters": [{)" + body + "}]}";
}

TEST(DefaultScenario, IsTheDocumentedMachine) {
  const Scenario s = DefaultScenario();
  ASSERT_EQ(s.adapters.size(), 2U) << s.description;

  const AdapterSpec& raid = s.adapters[0];
  EXPECT_EQ(raid.driverMajor, 2);
  EXPECT_EQ(raid.driverMinor, 1);
  EXPECT_EQ(raid.chipId, 0x7420U);
  EXPECT_EQ(raid.chipType, 2U);
  EXPECT_EQ(raid.name, "bv7420r");
  EXPECT_EQ(raid.channels, 4);
  EXPECT_EQ(raid.devicesPerChannel, 1);
  ASSERT_EQ(raid.disks.size(), 4U);
  for (std::uint8_t c = 0; c < 4; ++c) {
    EXPECT_EQ(raid.disks[c].channel, c);
    EXPECT_FALSE(raid.disks[c].atapi);
  }
  ASSERT_EQ(raid.sets.size(), 1U);
  const SetSpec& mirror = raid.sets[0];
  EXPECT_EQ(mirror.type, SetType::Mirrored);
  EXPECT_EQ(mirror.state, SetState::Online);
  EXPECT_TRUE(mirror.spareEnabled);
  EXPECT_EQ(mirror.rebuildRate, 50);
  ASSERT_EQ(mirror.members.size(), 2U);
  EXPECT_EQ(mirror.members[0].deviceIndex, 0);
  EXPECT_EQ(mirror.members[1].deviceIndex, 1);
  EXPECT_EQ(mirror.members[1].position, 1);
  EXPECT_EQ(raid.spares, std::vector<std::uint8_t>{2});
  // The spare can replace a member; the free disk on channel 3 is smaller.
  EXPECT_GE(raid.disks[2].sectors, raid.disks[1].sectors);
  EXPECT_LT(raid.disks[3].sectors, raid.disks[0].sectors);
  ASSERT_TRUE(raid.driverFile.has_value());
  EXPECT_EQ(raid.driverFile->fileVersion, "2.1.0.18");
  // A rebuild at rate 50 must finish well within a minute.
  EXPECT_LE(raid.rebuildSeconds * 100 / mirror.rebuildRate, 30U);
  // 250 GB class disks show their size in MB through the capacity words.
  const IdentifyData id = BuildIdentify(raid.disks[0]);
  std::uint64_t max48 = 0;
  for (std::size_t i = 0; i < 8; ++i) max48 |= std::uint64_t{id[200 + i]} << (8 * i);
  EXPECT_EQ((max48 + 1) / 2048, 238475U);

  const AdapterSpec& old = s.adapters[1];
  EXPECT_LT(old.driverMajor, 2);
  EXPECT_EQ(old.chipId, 0x7210U);
  EXPECT_EQ(old.chipType, 1U);
  EXPECT_TRUE(old.sets.empty());
  ASSERT_EQ(old.disks.size(), 2U);
  EXPECT_EQ(old.disks[0].channel, 0);
  EXPECT_EQ(old.disks[0].device, 0);
  EXPECT_FALSE(old.disks[0].atapi);
  EXPECT_EQ(old.disks[1].channel, 1);
  EXPECT_EQ(old.disks[1].device, 0);
  EXPECT_TRUE(old.disks[1].atapi);
  EXPECT_EQ(old.disks[1].atapiType, 5);
  EXPECT_TRUE(old.disks[1].removable);
  EXPECT_TRUE(old.driverFile.has_value());

  ASSERT_EQ(s.timeline.size(), 1U);
  EXPECT_DOUBLE_EQ(s.timeline[0].atSeconds, 15.0);
  EXPECT_EQ(s.timeline[0].adapter, 0U);
  const auto* drop = std::get_if<DropMember>(&s.timeline[0].action);
  ASSERT_NE(drop, nullptr);
  EXPECT_EQ(drop->set, 0);
  EXPECT_EQ(drop->position, 1);
  EXPECT_EQ(drop->reason, 1);
  EXPECT_TRUE(s.faults.empty());
}

TEST(DefaultScenario, EveryTruncationIsASyntaxErrorNotACrash) {
  const std::string_view text = EmbeddedDefaultScenario();
  // Cutting inside the last closing brace's trailing whitespace still parses.
  const std::size_t end = text.find_last_of('}');
  for (std::size_t n = 0; n < end; n += 7) {
    auto result = ParseScenario(text.substr(0, n), "cut.json");
    ASSERT_TRUE(std::holds_alternative<ScenarioError>(result)) << n;
    EXPECT_THAT(std::get<ScenarioError>(result).message, StartsWith("cut.json: syntax error"));
  }
}

TEST(ScenarioParse, EmptyObjectAndMissingFieldsTakeDefaults) {
  const Scenario empty = Parse("{}");
  EXPECT_TRUE(empty.adapters.empty());
  EXPECT_EQ(empty.systemRoot, Scenario{}.systemRoot);

  const Scenario s = Parse(Adapter(R"("disks": [{}], "sets": [], "spares": [])"));
  ASSERT_EQ(s.adapters.size(), 1U);
  const AdapterSpec& a = s.adapters[0];
  const AdapterSpec def;
  EXPECT_EQ(a.driverMajor, def.driverMajor);
  EXPECT_EQ(a.chipId, def.chipId);
  EXPECT_EQ(a.channels, def.channels);
  EXPECT_FALSE(a.driverFile.has_value());
  const DiskSpec& d = a.disks.at(0);
  const DiskSpec ddef;
  EXPECT_EQ(d.model, ddef.model);
  EXPECT_EQ(d.udmaMax, ddef.udmaMax);
  EXPECT_EQ(d.currentKind, ddef.currentKind);
  EXPECT_EQ(d.smartEnabled, ddef.smartEnabled);
}

// Every documented field, each set away from its default, so a misspelt name
// in the reader shows up here.
TEST(ScenarioParse, ReadsEveryField) {
  const Scenario s = Parse(R"({
    "description": "all fields", "systemRoot": "/sim/WIN/",
    "adapters": [{
      "driverMajor": 3, "driverMinor": 7, "chipId": 29712, "chipRevision": 9, "chipType": 1,
      "driverStatus": 5, "pciIrq": 3, "pciBus": 7, "pciDevice": 9, "pciFunction": 1,
      "adapterId": 4, "name": "bv7410", "channels": 2, "devicesPerChannel": 3,
      "channelInfo": [{"valueA": 1, "valueB": 2, "linkGeneration": 2, "portMultiplier": true,
        "pmVendor": "0x197B", "pmDevice": 3, "pmPorts": 5, "pmSpecVersion": 6, "pmRevision": 7,
        "ideBase": 8, "altBase": 9, "dmaBase": 10}],
      "disks": [{"channel": 1, "device": 2, "atapi": false, "atapiType": 7, "changer": true,
        "removable": true, "model": "M", "serial": "S", "firmware": "F", "sectors": 12345678901,
        "ataMajor": 8, "lba48": false, "udmaMax": 4, "mdmaMax": 1, "pioMax": 3,
        "currentKind": "swdma", "currentMode": 2, "sectorsPerInterrupt": 8,
        "smartSupported": false, "smartEnabled": false, "smartExceeded": true,
        "writeCacheSupported": false, "writeCacheEnabled": false,
        "lookAheadSupported": false, "lookAheadEnabled": false, "valueC": 11, "problem": 22},
        {"channel": 0, "device": 0}],
      "sets": [{"type": "striped", "state": "available", "stripeSectors": 256,
        "spareEnabled": true, "rebuildRate": 80, "location": 5, "name": "N",
        "metaVersion": "1.1", "members": [
          {"deviceIndex": 5, "position": 1, "state": "rebuild", "rebuildPercent": 40}]}],
      "spares": [0],
      "rioMajor": 4, "rioMinor": 5, "arrayConflicts": true, "service": "svc",
      "driverFile": {"fileVersion": "9.8.7.6", "modified": "2001-02-03T04:05:06Z"},
      "rebuildSeconds": 99}],
    "faults": [{"adapter": 0, "request": "QuerySets", "kind": "reply-count", "value": 3,
      "times": 2}]
  })");
  EXPECT_EQ(s.description, "all fields");
  EXPECT_EQ(s.systemRoot, "/sim/WIN/");
  ASSERT_EQ(s.adapters.size(), 1U);
  const AdapterSpec& a = s.adapters[0];
  EXPECT_EQ(a.driverMajor, 3);
  EXPECT_EQ(a.driverMinor, 7);
  EXPECT_EQ(a.chipId, 29712U);
  EXPECT_EQ(a.chipRevision, 9U);
  EXPECT_EQ(a.chipType, 1U);
  EXPECT_EQ(a.driverStatus, 5U);
  EXPECT_EQ(a.pciIrq, 3U);
  EXPECT_EQ(a.pciBus, 7U);
  EXPECT_EQ(a.pciDevice, 9U);
  EXPECT_EQ(a.pciFunction, 1U);
  EXPECT_EQ(a.adapterId, 4U);
  EXPECT_EQ(a.name, "bv7410");
  EXPECT_EQ(a.channels, 2);
  EXPECT_EQ(a.devicesPerChannel, 3);
  ASSERT_EQ(a.channelInfo.size(), 1U);
  const ChannelSpec& c = a.channelInfo[0];
  EXPECT_EQ(c.valueA, 1U);
  EXPECT_EQ(c.valueB, 2);
  EXPECT_EQ(c.linkGeneration, 2);
  EXPECT_TRUE(c.portMultiplier);
  EXPECT_EQ(c.pmVendor, 0x197B);
  EXPECT_EQ(c.pmDevice, 3);
  EXPECT_EQ(c.pmPorts, 5);
  EXPECT_EQ(c.pmSpecVersion, 6);
  EXPECT_EQ(c.pmRevision, 7);
  EXPECT_EQ(c.ideBase, 8U);
  EXPECT_EQ(c.altBase, 9U);
  EXPECT_EQ(c.dmaBase, 10U);
  ASSERT_EQ(a.disks.size(), 2U);
  const DiskSpec& d = a.disks[0];
  EXPECT_EQ(d.channel, 1);
  EXPECT_EQ(d.device, 2);
  EXPECT_EQ(d.atapiType, 7);
  EXPECT_TRUE(d.changer);
  EXPECT_TRUE(d.removable);
  EXPECT_EQ(d.model, "M");
  EXPECT_EQ(d.serial, "S");
  EXPECT_EQ(d.firmware, "F");
  EXPECT_EQ(d.sectors, 12345678901ULL);
  EXPECT_EQ(d.ataMajor, 8);
  EXPECT_FALSE(d.lba48);
  EXPECT_EQ(d.udmaMax, 4);
  EXPECT_EQ(d.mdmaMax, 1);
  EXPECT_EQ(d.pioMax, 3);
  EXPECT_EQ(d.currentKind, ModeKind::SingleWordDma);
  EXPECT_EQ(d.currentMode, 2);
  EXPECT_EQ(d.sectorsPerInterrupt, 8U);
  EXPECT_FALSE(d.smartSupported);
  EXPECT_FALSE(d.smartEnabled);
  EXPECT_TRUE(d.smartExceeded);
  EXPECT_FALSE(d.writeCacheSupported);
  EXPECT_FALSE(d.writeCacheEnabled);
  EXPECT_FALSE(d.lookAheadSupported);
  EXPECT_FALSE(d.lookAheadEnabled);
  EXPECT_EQ(d.valueC, 11);
  EXPECT_EQ(d.problem, 22U);
  ASSERT_EQ(a.sets.size(), 1U);
  const SetSpec& set = a.sets[0];
  EXPECT_EQ(set.type, SetType::Striped);
  EXPECT_EQ(set.state, SetState::Available);
  EXPECT_EQ(set.stripeSectors, 256U);
  EXPECT_TRUE(set.spareEnabled);
  EXPECT_EQ(set.rebuildRate, 80);
  EXPECT_EQ(set.location, std::optional<std::uint8_t>(5));
  EXPECT_EQ(set.name, "N");
  EXPECT_EQ(set.metaVersion, "1.1");
  ASSERT_EQ(set.members.size(), 1U);
  EXPECT_EQ(set.members[0].deviceIndex, 5);  // channel 1 x 3 + device 2
  EXPECT_EQ(set.members[0].position, 1);
  EXPECT_EQ(set.members[0].state, MemberState::Rebuild);
  EXPECT_EQ(set.members[0].rebuildPercent, 40);
  EXPECT_EQ(a.spares, std::vector<std::uint8_t>{0});
  EXPECT_EQ(a.rioMajor, 4);
  EXPECT_EQ(a.rioMinor, 5);
  EXPECT_TRUE(a.arrayConflicts);
  EXPECT_EQ(a.service, "svc");
  ASSERT_TRUE(a.driverFile.has_value());
  EXPECT_EQ(a.driverFile->fileVersion, "9.8.7.6");
  EXPECT_EQ(a.driverFile->modified, "2001-02-03T04:05:06Z");
  EXPECT_EQ(a.rebuildSeconds, 99U);
  ASSERT_EQ(s.faults.size(), 1U);
  EXPECT_EQ(s.faults[0].request, "QuerySets");
  EXPECT_EQ(s.faults[0].kind, FaultKind::ReplyCount);
  EXPECT_EQ(s.faults[0].value, 3U);
  EXPECT_EQ(s.faults[0].times, 2);
}

TEST(ScenarioParse, TimelineActionsAndOrder) {
  const Scenario s = Parse(R"({
    "adapters": [{"disks": [{"channel": 0}, {"channel": 1}],
      "sets": [{"members": [{"deviceIndex": 0}, {"deviceIndex": 1, "position": 1}]}]}],
    "timeline": [
      {"at": 5, "action": "remove-disk", "channel": 3},
      {"at": 1.5, "action": "member-error", "set": 0, "position": 1, "kind": "bad-block",
       "cdb": "2a 00 00 00 10 00 00 00 08 00", "block": 4096, "virtualBlock": 8192,
       "bbrType": 2, "information": 7, "senseKey": 4, "asc": 1, "ascq": 2, "srbStatus": 6},
      {"at": 5, "action": "udma-change", "channel": 2, "newMode": 6},
      {"at": 1.5, "action": "insert-disk", "disk": {"channel": 2, "model": "NEW"}},
      {"action": "raw-event", "record": [1, 2, 3]},
      {"at": 9, "action": "drop-member", "reason": 7, "srbStatus": 9}
    ]
  })");
  ASSERT_EQ(s.timeline.size(), 6U);
  // Sorted by time; equal times keep their file order.
  const auto* raw = std::get_if<RawEvent>(&s.timeline[0].action);
  ASSERT_NE(raw, nullptr);
  ASSERT_EQ(raw->record.size(), 88U);  // padded with zeros
  EXPECT_EQ(raw->record[2], 3);
  EXPECT_EQ(raw->record[3], 0);

  const auto* err = std::get_if<MemberError>(&s.timeline[1].action);
  ASSERT_NE(err, nullptr);
  EXPECT_DOUBLE_EQ(s.timeline[1].atSeconds, 1.5);
  EXPECT_EQ(err->kind, 4);
  EXPECT_EQ(err->position, 1);
  EXPECT_EQ(err->cdb, (std::vector<std::uint8_t>{0x2a, 0, 0, 0, 0x10, 0, 0, 0, 8, 0}));
  EXPECT_EQ(err->block, 4096U);
  EXPECT_EQ(err->virtualBlock, 8192U);
  EXPECT_EQ(err->bbrType, 2U);
  EXPECT_EQ(err->information, 7U);
  EXPECT_EQ(err->senseKey, 4);
  EXPECT_EQ(err->asc, 1);
  EXPECT_EQ(err->ascq, 2);
  EXPECT_EQ(err->srbStatus, 6);

  const auto* insert = std::get_if<InsertDisk>(&s.timeline[2].action);
  ASSERT_NE(insert, nullptr);
  EXPECT_EQ(insert->disk.channel, 2);
  EXPECT_EQ(insert->disk.model, "NEW");

  const auto* remove = std::get_if<RemoveDisk>(&s.timeline[3].action);
  ASSERT_NE(remove, nullptr);
  EXPECT_EQ(remove->channel, 3);
  const auto* udma = std::get_if<UdmaChange>(&s.timeline[4].action);
  ASSERT_NE(udma, nullptr);
  EXPECT_EQ(udma->channel, 2);
  EXPECT_EQ(udma->newMode, 6);
  const auto* drop = std::get_if<DropMember>(&s.timeline[5].action);
  ASSERT_NE(drop, nullptr);
  EXPECT_EQ(drop->reason, 7);  // a raw code for "an unknown error"
  EXPECT_EQ(drop->srbStatus, 9);
}

TEST(ScenarioParse, NumbersHexAndEightBitTexts) {
  const Scenario s = Parse(
      Adapter(R"("chipId": "0x7250", "disks": [{"model": "CAF\u00c9", "serial": "A\u0000B"}])"));
  EXPECT_EQ(s.adapters[0].chipId, 0x7250U);
  EXPECT_EQ(s.adapters[0].disks[0].model, "CAF\xC9");
  EXPECT_EQ(s.adapters[0].disks[0].serial, std::string("A\0B", 3));
  // Comments are allowed; whole numbers written with a fraction of zero too.
  EXPECT_EQ(
      Parse("{ // machine\n \"adapters\": [{\"pciBus\": 3.0}] /* end */ }").adapters[0].pciBus, 3U);
}

TEST(ScenarioParse, AllowInvalidSetsDescribeMalformedReplies) {
  const Scenario s = Parse(Adapter(R"("sets": [{"allowInvalid": true, "type": 7, "state": 9,
      "rebuildRate": 200, "members": [{"deviceIndex": 9, "state": 6}, {"deviceIndex": 9},
      {}, {}, {}]}])"));
  const SetSpec& set = s.adapters[0].sets[0];
  EXPECT_EQ(static_cast<int>(set.type), 7);
  EXPECT_EQ(static_cast<int>(set.state), 9);
  EXPECT_EQ(set.members.size(), 5U);
  EXPECT_EQ(static_cast<int>(set.members[0].state), 6);
  // Without the mark, the same numbers are refused.
  EXPECT_THAT(Error(Adapter(R"("sets": [{"type": 7}])")),
              HasSubstr("adapters[0].sets[0].type: expected one of striped"));
}

struct BadCase {
  const char* name;
  std::string json;
  std::string expected;  // the message must contain this
};

void PrintTo(const BadCase& c, std::ostream* os) {
  *os << c.name;
}

class ScenarioErrors : public ::testing::TestWithParam<BadCase> {};

TEST_P(ScenarioErrors, OneClearMessageNamingFileAndPath) {
  const std::string message = Error(GetParam().json);
  EXPECT_THAT(message, AllOf(StartsWith("test.json: "), HasSubstr(GetParam().expected)));
  if (std::getenv("KESTRUNE_SHOW_ERRORS") != nullptr) std::printf("%s\n", message.c_str());
  EXPECT_EQ(message.find('\n'), std::string::npos) << message;
}

const std::string kMirror =
    R"("disks": [{"channel": 0}, {"channel": 1}, {"channel": 2}],
       "sets": [{"members": [{"deviceIndex": 0}, {"deviceIndex": 1, "position": 1}]}])";

INSTANTIATE_TEST_SUITE_P(
    Malformed, ScenarioErrors,
    ::testing::Values(
        BadCase{"Syntax", "{\n  \"adapters\": [\n    {,\n", "syntax error at line 3, column 6"},
        BadCase{"Empty", "", "syntax error at line 1, column 1"},
        BadCase{"TopLevelArray", "[]", "top level: expected an object, found an array"},
        BadCase{"WrongType", Adapter(R"("channels": "four")"),
                "adapters[0].channels: expected a whole number"},
        BadCase{"Fraction", Adapter(R"("pciBus": 1.5)"),
                "expected a whole number, found number 1.5"},
        BadCase{"UnknownField", Adapter(R"("disks": [{"chanel": 1}])"),
                R"(adapters[0].disks[0]: unknown field "chanel")"},
        BadCase{"FieldNameWithLineBreak", Adapter(R"("na\nme": 1)"),
                R"(adapters[0]: unknown field "na\nme")"},
        BadCase{"DuplicateField", Adapter(R"("disks": [{}, {"model": "A", "model": "B"}])"),
                "adapters[0].disks[1].model: field given twice"},
        BadCase{"BadEnum", Adapter(R"("disks": [{"currentKind": "UDMA"}])"),
                R"(adapters[0].disks[0].currentKind: unknown value "UDMA" (expected one of pio, )"},
        BadCase{"U16Overflow", Adapter(R"("channels": 70000)"),
                "adapters[0].channels: 70000 is out of range (0 to 65535)"},
        BadCase{"U8Overflow", Adapter(R"("disks": [{"channel": 256}])"),
                "adapters[0].disks[0].channel: 256 is out of range (0 to 255)"},
        BadCase{"Negative", Adapter(R"("disks": [{"sectors": -1}])"),
                "adapters[0].disks[0].sectors: -1 is out of range"},
        BadCase{"HexOverflow", Adapter(R"("pciBus": "0x100000000")"), "is out of range"},
        BadCase{"NotHex", Adapter(R"("chipId": "7210")"), "hexadecimal string"},
        BadCase{"ModeRange", Adapter(R"("disks": [{"udmaMax": 7}])"),
                "7 is out of range (-1 to 6)"},
        BadCase{"WideCharacter", Adapter(R"("disks": [{"model": "\u20ac"}])"),
                "adapters[0].disks[0].model: character U+20AC does not fit"},
        BadCase{
            "ChannelBeyondAdapter",
            Adapter(R"("disks": [{"channel": 0}, {"channel": 1}, {"channel": 4}])"),
            "adapters[0].disks[2].channel: channel 4 is beyond the adapter's 4 channels (0 to 3)"},
        BadCase{"DeviceBeyondAdapter", Adapter(R"("disks": [{"device": 1}])"),
                "adapters[0].disks[0].device: device 1 is beyond the adapter's 1 devices (0 to 0)"},
        BadCase{"OldAdapterIsTwoByTwo",
                Adapter(R"("driverMajor": 1, "channels": 4, "disks": [{"channel": 2}])"),
                "adapters[0].disks[0].channel: channel 2 is beyond the 2 channels (0 to 1) of an "
                "adapter "
                "whose driver major version is below 2"},
        BadCase{
            "SlotCollision", Adapter(R"("disks": [{"channel": 1}, {"channel": 1}])"),
            "adapters[0].disks[1]: channel 1 device 0 is already taken by adapters[0].disks[0]"},
        BadCase{"TooManyAdapters",
                R"({"adapters": [{},{},{},{},{},{},{},{},{},{},{},{},{},{},{},{},{}]})",
                "adapters: 17 adapters given, at most 16 allowed"},
        BadCase{"TooManySets", Adapter(R"("sets": [{}, {}, {}])"), "3 sets given"},
        BadCase{"MemberMissingDisk",
                Adapter(R"("disks": [{}], "sets": [{"members": [{"deviceIndex": 3}]}])"),
                "adapters[0].sets[0].members[0].deviceIndex: no disk has device index 3"},
        BadCase{"DiskInTwoSets",
                Adapter(kMirror.substr(0, kMirror.size() - 1) +
                        R"(, {"members": [{"deviceIndex": 1}]}])"),
                "adapters[0].sets[1].members[0].deviceIndex: device index 1 is already a member"},
        BadCase{"TooManyMembers",
                Adapter(R"("disks": [{"channel": 0}], "sets": [{"type": "striped", "members":
                    [{}, {}, {}, {}, {}]}])"),
                "adapters[0].sets[0].members: 5 members given"},
        BadCase{"MirrorOfThree", Adapter(R"("sets": [{"members": [{}, {}, {}]}])"),
                "a mirrored set has 1 to 2"},
        BadCase{"EmptySet", Adapter(R"("sets": [{}])"), "0 members given"},
        BadCase{"PositionTwice", Adapter(R"("disks": [{"channel": 0}, {"channel": 1}],
                    "sets": [{"members": [{"deviceIndex": 0}, {"deviceIndex": 1}]}])"),
                "members[1].position: position 0 is used twice"},
        BadCase{"SpareMissing", Adapter(kMirror + R"(, "spares": [3])"),
                "adapters[0].spares[0]: no disk has device index 3"},
        BadCase{"SpareIsMember", Adapter(kMirror + R"(, "spares": [2, 1])"),
                "adapters[0].spares[1]: device index 1 is a member of set 0"},
        BadCase{"SpareIsCdRom", Adapter(R"("disks": [{"atapi": true}], "spares": [0])"),
                "is a packet device"},
        BadCase{"ChannelInfoBeyond", Adapter(R"("channels": 1, "channelInfo": [{}, {}])"),
                "adapters[0].channelInfo: 2 entries given"},
        BadCase{"BadDate", Adapter(R"("driverFile": {"modified": "14.03.2006"})"),
                "adapters[0].driverFile.modified"},
        BadCase{"FaultUnknownRequest", R"({"adapters": [{}], "faults": [{"request": "QuerySet"}]})",
                R"(faults[0].request: unknown request "QuerySet")"},
        BadCase{"FaultWithoutRequest", R"({"adapters": [{}], "faults": [{}]})",
                R"(faults[0]: missing required field "request")"},
        BadCase{"FaultUnknownAdapter", R"({"faults": [{"request": "Open"}]})",
                "faults[0].adapter: adapter 0 does not exist"},
        BadCase{"StepNegativeTime",
                R"({"adapters": [{}], "timeline": [{"at": -1, "action": "remove-disk"}]})",
                "timeline[0].at: -1 seconds is before the start"},
        BadCase{"StepUnknownAdapter",
                R"({"adapters": [{}], "timeline": [{"adapter": 1, "action": "remove-disk"}]})",
                "timeline[0].adapter: adapter 1 does not exist"},
        BadCase{"StepUnknownAction", R"({"adapters": [{}], "timeline": [{"action": "explode"}]})",
                R"(timeline[0].action: unknown action "explode")"},
        BadCase{"StepFieldOfAnotherAction",
                R"({"adapters": [{}], "timeline": [{"action": "remove-disk", "set": 0}]})",
                R"(timeline[0]: unknown field "set")"},
        BadCase{"StepMissingSet",
                R"({"adapters": [{}], "timeline": [{"action": "drop-member", "set": 0}]})",
                "timeline[0].set: set 0 does not exist"},
        BadCase{"StepSlotBeyond",
                R"({"adapters": [{}], "timeline": [{"action": "udma-change", "channel": 9}]})",
                "timeline[0].channel: channel 9 is beyond"},
        BadCase{"RawEventTooLong",
                R"({"adapters": [{}], "timeline": [{"action": "raw-event", "record": ")" +
                    std::string(178, 'a') + R"("}]})",
                "timeline[0].record: 89 bytes given, at most 88 allowed"},
        BadCase{"SystemRootWithoutSlash", R"({"systemRoot": "/sim"})", "must end in '/'"}),
    [](const ::testing::TestParamInfo<BadCase>& p) { return std::string(p.param.name); });

class ScenarioFile : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ =
        std::filesystem::temp_directory_path() /
        ("kestrune_scenario_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
         "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string Write(const std::string& name, const std::string& text) {
    const auto path = (dir_ / name).string();
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }
  std::filesystem::path dir_;
};

TEST_F(ScenarioFile, LoadsAndNamesTheFileInErrors) {
  const auto good = Write("good.json", std::string(EmbeddedDefaultScenario()));
  auto loaded = LoadScenarioFile(good);
  ASSERT_TRUE(std::holds_alternative<Scenario>(loaded));
  EXPECT_EQ(std::get<Scenario>(loaded).adapters.size(), 2U);

  const auto bad = Write("bad.json", R"({"adapters": [{"pciBus": true}]})");
  auto failed = LoadScenarioFile(bad);
  ASSERT_TRUE(std::holds_alternative<ScenarioError>(failed));
  EXPECT_THAT(std::get<ScenarioError>(failed).message,
              StartsWith(bad + ": adapters[0].pciBus: expected a whole number"));

  const auto missing = (dir_ / "missing.json").string();
  auto absent = LoadScenarioFile(missing);
  ASSERT_TRUE(std::holds_alternative<ScenarioError>(absent));
  EXPECT_THAT(std::get<ScenarioError>(absent).message,
              AllOf(StartsWith(missing + ": cannot open"), HasSubstr("No such file")));

  auto folder = LoadScenarioFile(dir_.string());
  ASSERT_TRUE(std::holds_alternative<ScenarioError>(folder));
  EXPECT_THAT(std::get<ScenarioError>(folder).message, HasSubstr("it is a folder"));
}

}  // namespace
}  // namespace kestrune::sim

namespace kestrune::sim {
namespace {

// The documentation closes with the default scenario; it must be the one
// compiled in.
TEST(ScenarioDocs, EndsWithTheEmbeddedDefault) {
  std::ifstream in(std::filesystem::path(KESTRUNE_SOURCE_DIR) / "docs" / "scenario.md");
  ASSERT_TRUE(in) << "docs/scenario.md not found";
  const std::string doc((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const auto open = doc.rfind("```json\n");
  ASSERT_NE(open, std::string::npos);
  const auto start = open + 8;
  const auto close = doc.find("```", start);
  ASSERT_NE(close, std::string::npos);
  EXPECT_EQ(doc.substr(start, close - start), std::string(EmbeddedDefaultScenario()));
}

}  // namespace
}  // namespace kestrune::sim
