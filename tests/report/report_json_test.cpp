// The JSON report describes the same machine as the text report: every
// labelled value, heading number and IDENTIFY dump line of the text is
// rebuilt from the JSON, in order, and must come out the same.
#include "report/report_json.h"

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "platform/text.h"
#include "report_rig.h"

namespace kestrune::test {
namespace {

using Json = nlohmann::json;
using Facts = std::vector<std::string>;

const rpt::ReportTime kTime{kNow, "2026-01-15T10:00:00+00:00"};

// "label=value" for every text line that carries a value: "\t\tSet name\t\tX"
// gives "Set name=X", an IDENTIFY line "identify=0000   045a ...", and the
// adapter and set headings their numbers.
Facts TextFacts(const std::wstring& report) {
  Facts facts;
  for (const std::wstring& wide : Lines(report)) {
    std::string line = platform::ToUtf8(wide);
    line.erase(0, line.find_first_not_of('\t'));
    int number = 0;
    if (std::sscanf(line.c_str(), "Adapter %d Information -", &number) == 1) {
      facts.push_back("Adapter=" + std::to_string(number));
    } else if (std::sscanf(line.c_str(), "Set number %d information -", &number) == 1) {
      facts.push_back("Set=" + std::to_string(number));
    } else if (line.size() > 7 && line.compare(4, 3, "   ") == 0) {
      facts.push_back("identify=" + line);
    } else if (const auto tab = line.find('\t'); tab != std::string::npos) {
      facts.push_back(line.substr(0, tab) + "=" + line.substr(line.find_first_not_of('\t', tab)));
    }
  }
  return facts;
}

void Identify(Facts& facts, const Json& words) {
  ASSERT_EQ(words.size(), 256u);
  for (std::size_t k = 0; k < 256; k += 8) {
    std::string line = fmt::format("{:04d}  ", k);
    for (std::size_t i = 0; i < 8; ++i) line += fmt::format(" {:04x}", words[k + i].get<int>());
    facts.push_back("identify=" + line);
  }
}

std::string YesNo(const Json& flag) {
  return flag.get<bool>() ? "Yes" : "No";
}

// A number or switch back as the text report writes it; null is UNKNOWN.
std::string Back(const Json& value, bool hex = false) {
  if (value.is_null()) return "UNKNOWN";
  if (value.is_boolean()) return YesNo(value);
  return hex ? fmt::format("{:x}", value.get<std::uint64_t>()) : value.dump();
}

// The SMART switches and status, null only where the text beside them is
// UNKNOWN or N/A.
void Smart(Facts& facts, const Json& smart) {
  const Json& text = smart["text"];
  for (const auto& [label, key] : {std::pair{"SMART Support", "support"},
                                   {"SMART Enabled", "enabled"},
                                   {"SMART Status", "status"}}) {
    const Json& value = smart[key];
    const std::string shown = text[key];
    if (value.is_null()) {
      EXPECT_TRUE(shown == "UNKNOWN" || shown == "N/A") << shown;
      facts.push_back(std::string(label) + "=" + shown);
    } else {
      facts.push_back(std::string(label) + "=" +
                      (value.is_boolean() ? YesNo(value) : value.get<std::string>()));
    }
  }
}

Facts JsonFacts(const Json& report) {
  Facts facts;
  auto fact = [&](const char* label, const Json& value) {
    facts.push_back(std::string(label) + "=" +
                    (value.is_string() ? value.get<std::string>() : value.dump()));
  };
  fact("Kestrune Configuration Information.", report["timeText"]);
  fact("Name", report["computer"]["name"]);
  for (const Json& adapter : report["adapters"]) {
    fact("Adapter", adapter["number"]);
    fact("Chip Model", adapter["chipModel"]);
    fact("Chip Revision", adapter["chipRevision"]);
    fact("Chip Type", adapter["chipType"]);
    fact("Driver Status", Back(adapter["driverStatus"], true));
    fact("Major Version", Back(adapter["driver"]["major"]));
    fact("Minor Version", Back(adapter["driver"]["minor"]));
    fact("File Version", adapter["driver"]["fileVersion"]);
    fact("File Date", adapter["driver"]["fileDate"]);
    fact("PCI IRQ", Back(adapter["pci"]["irq"]));
    fact("PCI Bus Number", Back(adapter["pci"]["bus"]));
    fact("PCI Device Number", Back(adapter["pci"]["device"]));
    for (const Json& channel : adapter["channels"]) {
      fact("IDE Base Address", channel["ideBase"]);
      fact("Alt Base Address", channel["altBase"]);
      fact("DMA Base Address", channel["dmaBase"]);
      for (const Json& device : channel["devices"]) {
        fact("Device Type", device["type"]);
        if (!device["hotSpare"].is_null()) fact("Hot Spare", YesNo(device["hotSpare"]));
        for (const auto& [label, key] : {std::pair{"Model Number", "model"},
                                         {"Firmware Version", "firmware"},
                                         {"Serial Number", "serial"},
                                         {"Current Mode", "currentMode"},
                                         {"Supported Modes", "supportedModes"},
                                         {"Bytes\\Interrupt", "sectorsPerInterrupt"},
                                         {"Media Type", "mediaType"},
                                         {"ATA Version", "ataVersion"}}) {
          fact(label, device[key]);
        }
        Smart(facts, device["smart"]);
        fact("Look-ahead", device["lookAhead"]);
        fact("Write Cache", device["writeCache"]);
        fact("Capacity", device["capacity"]);
        Identify(facts, device["identifyWords"]);
      }
    }
    const Json& raid = adapter["raid"];
    if (raid.is_null()) continue;
    fact("Major revision", Back(raid["major"]));
    fact("Minor revision", Back(raid["minor"]));
    fact("Array conflicts", Back(raid["arrayConflicts"]));
    fact("Number of sets", raid["setCount"]);
    for (const Json& set : raid["sets"]) {
      fact("Set", set["index"]);
      fact("Set name", set["name"]);
      fact("Set type", set["type"]);
      fact("Set state", set["state"]);
      fact("Set location", set["location"]);
      fact("Meta version", set["metaVersion"]);
      fact("Capacity", set["capacity"]);
      Smart(facts, set["smart"]);
      if (set["stripeSize"].is_null()) {
        fact("Hot Spare", YesNo(set["hotSpare"]));
      } else {
        fact("Stripe size", fmt::format("{} Bytes", set["stripeSize"].get<int>()));
      }
      fact("Members count", set["memberCount"]);
      for (const Json& member : set["members"]) {
        fact("Member index", member["index"]);
        fact("Device index", member["deviceIndex"]);
        fact("Member state", member["state"]);
        const std::string state = member["state"];
        if (state == "Rebuild" || state == "Sync") {
          fact("Rebuild percent", member["rebuildPercent"].is_null()
                                      ? "N/A"
                                      : fmt::format("{} %", member["rebuildPercent"].get<int>()));
        }
      }
      Identify(facts, set["identifyWords"]);
    }
  }
  return facts;
}

TEST(ReportJson, DescribesTheSameMachineAsTheTextReport) {
  struct Case {
    const char* what;
    sim::Scenario scenario;
    int advanceSeconds;
  };
  sim::Scenario noAdapter;
  const Case cases[] = {
      // A rebuilding member, a spare, an extended and a standard adapter, a CD-ROM.
      {"default machine during its rebuild", sim::DefaultScenario(), 17},
      {"no adapter", noAdapter, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ReportMachine m(c.scenario);
    m.clock->Advance(std::chrono::seconds(c.advanceSeconds));
    const std::wstring text = m.Report();
    ctl::CControllerIo::Lock lock(*m.io);
    const Json json = Json::parse(rpt::BuildReportJson(m.io->Model(), kTime));
    EXPECT_EQ(json["format"], "kestrune-report/2");
    EXPECT_EQ(json["program"]["name"], "Kestrune");
    EXPECT_EQ(json["program"]["version"], "1.0.0.7");
    EXPECT_EQ(JsonFacts(json), TextFacts(text));
  }
}

TEST(ReportJson, RebuildingMemberCarriesItsPercentAsANumber) {
  ReportMachine m(sim::DefaultScenario());
  m.clock->Advance(std::chrono::seconds(17));
  m.Report();
  ctl::CControllerIo::Lock lock(*m.io);
  const Json json = Json::parse(rpt::BuildReportJson(m.io->Model(), kTime));
  const Json& members = json["adapters"][0]["raid"]["sets"][0]["members"];
  ASSERT_EQ(members.size(), 2u);
  EXPECT_TRUE(members[0]["rebuildPercent"].is_null());
  EXPECT_EQ(members[1]["state"], "Rebuild");
  EXPECT_TRUE(members[1]["rebuildPercent"].is_number_integer());
  EXPECT_EQ(json["adapters"][1]["raid"], nullptr);
  // Texts that are no valid UTF-16 still give valid JSON.
  m.io->Model().computer.computerName = std::wstring(L"bad\xD800name");
  EXPECT_TRUE(Json::accept(rpt::BuildReportJson(m.io->Model(), kTime)));
}

// One, two and three digits: a member at 100 % (a driver may answer that
// before the member turns current) keeps its percent.
TEST(ReportJson, RebuildPercentAtEachWidthUpToAHundred) {
  sim::Scenario scenario = sim::DefaultScenario();
  scenario.timeline.clear();
  scenario.adapters[0].sets[0].members[1].state = sim::MemberState::Rebuild;
  ReportMachine m(scenario);
  m.Report();
  ctl::CControllerIo::Lock lock(*m.io);
  // The rebuilding member.
  ctl::SetRecord& set = m.io->Model().Adapter(0)->sets[0];
  ctl::MemberRecord& member =
      *std::find_if(set.members.begin(), set.members.end(),
                    [](const ctl::MemberRecord& r) { return r.state == L"Rebuild"; });
  for (const int percent : {0, 7, 99, 100}) {
    member.rebuildPercent = std::to_wstring(percent) + L" %";
    const Json json = Json::parse(rpt::BuildReportJson(m.io->Model(), kTime));
    const Json& members = json["adapters"][0]["raid"]["sets"][0]["members"];
    const auto rebuilding = std::find_if(members.begin(), members.end(), [](const Json& j) {
      return j["state"] == "Rebuild";
    });
    ASSERT_NE(rebuilding, members.end());
    EXPECT_EQ((*rebuilding)["rebuildPercent"], percent);
  }
}

TEST(ReportJson, NumbersSwitchesAndNullsAreTyped) {
  ReportMachine m(sim::DefaultScenario());
  m.Report();
  ctl::CControllerIo::Lock lock(*m.io);
  Json json = Json::parse(rpt::BuildReportJson(m.io->Model(), kTime));
  EXPECT_EQ(json["time"], "2026-01-15T10:00:00+00:00");
  EXPECT_EQ(json["timeText"], "15-January-2026 10:00.00");
  const Json& adapter = json["adapters"][0];
  for (const Json* number : {&adapter["driverStatus"], &adapter["driver"]["major"],
                             &adapter["pci"]["irq"], &adapter["pci"]["bus"],
                             &adapter["pci"]["device"], &adapter["raid"]["major"]})
    EXPECT_TRUE(number->is_number_unsigned()) << number->dump();
  EXPECT_TRUE(adapter["raid"]["arrayConflicts"].is_boolean());
  EXPECT_TRUE(adapter["channels"][0]["devices"][0]["smart"]["support"].is_boolean());
  // A drive without SMART: null, with the text that says why beside it.
  bool sawNotApplicable = false;
  for (const Json& a : json["adapters"])
    for (const Json& channel : a["channels"])
      for (const Json& device : channel["devices"])
        if (device["smart"]["text"]["status"] == "N/A") {
          EXPECT_TRUE(device["smart"]["status"].is_null());
          sawNotApplicable = true;
        }
  EXPECT_TRUE(sawNotApplicable);
  // What the driver did not say is null; a number that is none is not made one.
  m.io->Model().Adapter(0)->pciInterrupt = ctl::kUnknown;
  m.io->Model().Adapter(0)->driverStatus = L"1f";
  m.io->Model().Adapter(0)->pciBus = L"1x";
  json = Json::parse(rpt::BuildReportJson(m.io->Model(), kTime));
  EXPECT_TRUE(json["adapters"][0]["pci"]["irq"].is_null());
  EXPECT_EQ(json["adapters"][0]["driverStatus"], 0x1f);
  EXPECT_TRUE(json["adapters"][0]["pci"]["bus"].is_null());
}

TEST(ReportJson, TimeCarriesTheLocalOffset) {
  // 09:00 UTC, an hour east of it (a zone rule that needs no time zone files).
  const auto at = std::chrono::system_clock::from_time_t(1768467600);
  struct Case {
    const char* tz;
    const char* iso;
  } cases[] = {{"UTC0", "2026-01-15T09:00:00+00:00"},
               {"CET-1", "2026-01-15T10:00:00+01:00"},
               {"NST+3:30", "2026-01-15T05:30:00-03:30"}};
  for (const Case& c : cases) {
    ::setenv("TZ", c.tz, 1);
    ::tzset();
    EXPECT_EQ(rpt::ReportTimeAt(at).iso8601, c.iso) << c.tz;
  }
  ::setenv("TZ", "CET-1", 1);
  ::tzset();
  EXPECT_EQ(rpt::ReportTimeAt(at).text, L"15-January-2026 10:00.00");
  ::setenv("TZ", "UTC", 1);
  ::tzset();
}

}  // namespace
}  // namespace kestrune::test
