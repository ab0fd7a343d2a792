// The monitor, the report and the inspection tool end to end on a fixture
// tree, as an administrator runs them with KESTRUNE_BACKEND=linux.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "host/host_rig.h"
#include "platform/text.h"

namespace kestrune::test {
namespace {

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// The mirror md0 and a degraded raid5 md5 on a second controller.
void Machine(SysTree& tree) {
  HealthyMirror(tree);
  tree.File("/proc/sys/kernel/version", "#1 SMP PREEMPT_DYNAMIC Debian 6.1.76-1 (2024-02-01)\n");
  tree.Controller("0000:03:00.0", 0x010601, "ahci", 4, 11);
  std::vector<SysTree::Member> members;
  for (int i = 0; i < 3; ++i) {
    const std::string disk = std::string("sd") + static_cast<char>('k' + i);
    tree.AtaDisk(disk, "0000:03:00.0", static_cast<unsigned>(11 + i), Sata("R5 DISK", disk));
    members.push_back({disk, disk, i == 2 ? "faulty" : "in_sync", i == 2 ? "none" : std::to_string(i)});
  }
  tree.Array("md5",
             {{"level", "raid5"}, {"raid_disks", "3"}, {"array_state", "clean"},
              {"degraded", "1"}, {"sync_action", "idle"}, {"sync_completed", "none"},
              {"metadata_version", "1.2"}, {"layout", "2"}},
             members);
}

std::string Utf16File(const std::string& path) {
  const std::string bytes = Slurp(path);
  return platform::ToUtf8(platform::FromUtf16Le(std::span<const std::uint8_t>(
      reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size())));
}

int Shell(const std::string& command) { return std::system(command.c_str()); }

TEST(HostPrograms, MonitorReportAndInspectWatchTheMachine) {
  SysTree tree;
  Machine(tree);
  testing::TempDir work;
  const std::string env = "KESTRUNE_BACKEND=linux KESTRUNE_SYSFS_ROOT='" + tree.Root() +
                          "' KESTRUNE_REGISTRY='" + work.File("registry.db") +
                          "' XDG_STATE_HOME='" + work.File("state") + "' TZ=UTC ";

  ASSERT_EQ(Shell(env + KESTRUNE_MONITOR " --once --interval 100 >'" + work.File("monitor.txt") +
                "' 2>&1"),
            0)
      << Slurp(work.File("monitor.txt"));
  const std::string log = Utf16File(work.File("state/kestrune/errlgr.txt"));
  EXPECT_NE(log.find("Array degraded"), std::string::npos) << log;
  EXPECT_NE(log.find("md5 raid5 degraded, 1 missing (adapter 1)."), std::string::npos) << log;

  ASSERT_EQ(Shell(env + KESTRUNE_REPORT " --output '" + work.File("report.txt") + "'"), 0);
  const std::string report =
Utf16File(work.File("report.txt"));
  EXPECT_NE(report.find("Mirrored Set"), std::string::npos);
  EXPECT_NE(report.find("array md5 (raid5) [clean, degraded 1] on sdk sdl sdm: raid5 has no set type"),
            std::string::npos)
      << report;

  ASSERT_EQ(Shell(env + KESTRUNE_REPORT " --json --output '" + work.File("report.json") + "'"), 0);
  const std::string json = Slurp(work.File("report.json"));
  EXPECT_NE(json.find("\"notShown\""), std::string::npos);
  EXPECT_NE(json.find("\"reason\": \"raid5 has no set type\""), std::string::npos) << json;

  // A recording of the tree stands for it: inspecting either reads the same.
  const std::string recorded = work.File("recorded");
  ASSERT_EQ(Shell(env + KESTRUNE_INSPECT " --record '" + recorded + "' >'" + work.File("a.txt") + "'"), 0);
  const std::string again = "KESTRUNE_BACKEND=linux KESTRUNE_SYSFS_ROOT='" + recorded +
                            "' KESTRUNE_REGISTRY='" + work.File("registry.db") + "' ";
  ASSERT_EQ(Shell(again + KESTRUNE_INSPECT " >'" + work.File("b.txt") + "'"), 0);
  std::string a = Slurp(work.File("a.txt"));
  a = a.substr(0, a.find("Recorded into"));
  EXPECT_EQ(a, Slurp(work.File("b.txt")));
  EXPECT_NE(a.find("Mirrored Set, Online"), std::string::npos) << a;
}

}  // namespace
}  // namespace kestrune::test
