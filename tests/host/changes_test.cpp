// Changes to the machine's arrays and disks: the program's checks, the exact
// mdadm arguments (run through a recording runner) or attribute writes, the
// refusals with the driver's failure status, and the log of each.
#include <gtest/gtest.h>

#include <fstream>

#include "host/host_rig.h"
#include "support/scoped_env.h"

namespace kestrune::test {
namespace {

using Args = std::vector<std::string>;

// The mirror md0 (sda1, sdb1) and a free disk sdc on port 2.
void MirrorAndFreeDisk(SysTree& tree) {
  HealthyMirror(tree);
  tree.AtaDisk("sdc", "0000:00:17.0", 3, Sata("WDC WD10EFRX-68FYTN0", "WD-C3"));
}

std::string Read(SysTree& tree, const std::string& path) {
  std::ifstream in(tree.Root() + path);
  std::string text;
  std::getline(in, text);
  return text;
}

TEST(HostChanges, EveryChangeRunsExactlyItsMdadmCommand) {
  struct Case {
    const char* name;
    std::function<void(SysTree&)> setup;
    std::function<bool(ctl::CControllerIo&, ctl::AdapterRecord&)> command;
    Args expected;
  };
  const Case cases[] = {
      {"hot spare from a free disk", [](SysTree&) {},
       [](ctl::CControllerIo& io, ctl::AdapterRecord& a) { return io.CreateSpare(a, 2); },
       {"mdadm", "--manage", "/dev/md0", "--add", "/dev/sdc"}},
      {"disk dragged onto a degraded set",
       [](SysTree& t) {
         t.MemberState("md0", "sdb1", "faulty", "none");
         t.Md("md0", "degraded", "1");
       },
       [](ctl::CControllerIo& io, ctl::AdapterRecord& a) { return io.AddMember(a, 0, 2); },
       {"mdadm", "--manage", "/dev/md0", "--add", "/dev/sdc"}},
      {"removal of a failed member",
       [](SysTree& t) {
         t.MemberState("md0", "sdb1", "faulty", "none");
         t.Md("md0", "degraded", "1");
       },
       [](ctl::CControllerIo& io, ctl::AdapterRecord& a) { return io.RemoveMember(a, 0, 1); },
       {"mdadm", "--manage", "/dev/md0", "--remove", "/dev/sdb1"}},
      {"removal of a member being rebuilt",
       [](SysTree& t) {
         t.MemberState("md0", "sdb1", "spare", "1");
         t.Md("md0", "degraded", "1");
         t.Md("md0", "sync_action", "recover");
       },
       [](ctl::CControllerIo& io, ctl::AdapterRecord& a) { return io.RemoveMember(a, 0, 1); },
       {"mdadm", "--manage", "/dev/md0", "--fail", "/dev/sdb1", "--remove", "/dev/sdb1"}},
      {"deletion of a hot spare",
       [](SysTree& t) { t.AddMember("md0", {"sdc", "sdc", "spare", "none"}); },
       [](ctl::CControllerIo& io, ctl::AdapterRecord& a) { return io.DeleteSpare(a, 2); },
       {"mdadm", "--manage", "/dev/md0", "--remove", "/dev/sdc"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SysTree tree;
    MirrorAndFreeDisk(tree);
    c.setup(tree);
    HostRig rig(tree, true);
    ctl::CControllerIo::Lock lock(*rig.io);
    EXPECT_TRUE(c.command(*rig.io, rig.Adapter(0)));
    ASSERT_EQ(rig.runner->runs.size(), 1u);
    EXPECT_EQ(rig.runner->runs[0], c.expected);
    ASSERT_EQ(rig.changes_.size(), 1u);
    EXPECT_TRUE(rig.changes_[0].done);
  }
}

TEST(HostChanges, TheProgramsOwnChecksComeFirst) {
  struct Case {
    const char* name;
    std::function<void(SysTree&, HostRig&)> setup;
    std::function<bool(ctl::CControllerIo&, ctl::AdapterRecord&)> command;
    std::uint32_t status;
    const char* reason;  // "" for none logged
  };
  const auto spare = [](ctl::CControllerIo& io, ctl::AdapterRecord& a) {
    return io.CreateSpare(a, 2);
  };
  const Case cases[] = {
      {"a filesystem on the disk",
       [](SysTree&, HostRig& r) { r.signatures->found["/dev/sdc"] = "ext4"; }, spare, 14,
       "holds a ext4 signature"},
      {"an old RAID signature",
       [](SysTree&, HostRig& r) { r.signatures->found["/dev/sdc"] = "linux_raid_member"; },
       spare, 14, "linux_raid_member"},
      {"a partition table", [](SysTree& t, HostRig&) { t.Partition("sdc", "sdc1"); }, spare, 14,
       "partition table"},
      {"a disk that cannot be probed",
       [](SysTree&, HostRig& r) { r.signatures->found.erase("/dev/sdc"); r.signatures->unreadable = true; },
       spare, 14, "cannot be checked"},
      {"a member as spare", [](SysTree&, HostRig&) {},
       [](ctl::CControllerIo& io, ctl::AdapterRecord& a) { return io.CreateSpare(a, 0); }, 14,
       "in use"},
      {"a disk onto a complete set", [](SysTree&, HostRig&) {},
       [](ctl::CControllerIo& io, ctl::AdapterRecord& a) { return io.AddMember(a, 0, 2); }, 12,
       ""},
      {"a working member of a mirror", [](SysTree&, HostRig&) {},
       [](ctl::CControllerIo& io, ctl::AdapterRecord& a) { return io.RemoveMember(a, 0, 1); },
       255, "lose its redundancy"},
      {"deleting a set", [](SysTree&, HostRig&) {},
       [](ctl::CControllerIo& io, ctl::AdapterRecord& a) { return io.DeleteSet(a, 0); }, 255,
       "not deleted from here"},
      {"a spare off", [](SysTree&, HostRig&) {},
       [](ctl::CControllerIo& io, ctl::AdapterRecord& a) { return io.EnableSpare(a, 0, false); },
       255, "always takes a spare"},
      {"mdadm failing",
       [](SysTree&, HostRig& r) {
         r.runner->exit = 1;
         r.runner->output = "mdadm: Cannot open /dev/sdc: Device or resource busy\n";
       },
       spare, 255, "mdadm answered 1: mdadm: Cannot open /dev/sdc"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SysTree tree;
    MirrorAndFreeDisk(tree);
    HostRig rig(tree, true);
    c.setup(tree, rig);
    rig.Host().Poll();
    {
      ctl::CControllerIo::Lock lock(*rig.io);
      EXPECT_FALSE(c.command(*rig.io, rig.Adapter(0)));
    }
    // The driver's failure status in its error box.
    const auto box = rig.ui->LastMessage();
    ASSERT_TRUE(box.has_value());
    EXPECT_NE(box->text.find(L"Return code " + std::to_wstring(c.status) + L"."),
              std::wstring::npos)
        << std::string(box->text.begin(), box->text.end());
    if (std::string(c.name) != "mdadm failing") {
      EXPECT_TRUE(rig.runner->runs.empty());
    }
    ASSERT_EQ(rig.changes_.size(), 1u);
    EXPECT_FALSE(rig.changes_[0].done);
    EXPECT_NE(rig.changes_[0].reason.find(c.reason), std::string::npos) << rig.changes_[0].reason;
  }
}

TEST(HostChanges, WhatAChangeMadeIsSeenByTheNextRequestWithoutAPoll) {
  SysTree tree;
  MirrorAndFreeDisk(tree);
  HostRig rig(tree, true);
  // mdadm adds sdc to md0 as its spare.
  rig.runner->during = [&] { tree.AddMember("md0", {"sdc", "sdc", "spare", "none"}); };
  {
    ctl::CControllerIo::Lock lock(*rig.io);
    ASSERT_TRUE(rig.io->CreateSpare(rig.Adapter(0), 2));
    ASSERT_TRUE(rig.io->QuerySpareDrives(rig.Adapter(0)));
    EXPECT_NE(rig.Adapter(0).channels[1].devices[0].spare, 0);
  }
  // The log has the change and the spare, each once.
  const auto texts = rig.PollTexts();
  ASSERT_EQ(texts.size(), 2u) << texts[0];
  EXPECT_TRUE(AnyHolds(texts, L"Disk change made"));
  EXPECT_TRUE(AnyHolds(texts, L"Hot spare created"));
  EXPECT_TRUE(rig.PollTexts().empty());

  // A refused or failed change reads nothing back.
  rig.runner->during = nullptr;
  rig.runner->exit = 1;
  const auto before = rig.Host().Snapshot();
  {
    ctl::CControllerIo::Lock lock(*rig.io);
    EXPECT_FALSE(rig.io->DeleteSpare(rig.Adapter(0), 2));
  }
  EXPECT_EQ(rig.Host().Snapshot(), before);
}

// The backend's own thread goes on polling while a change waits for mdadm,
// and Wake() brings its next poll forward.
TEST(HostChanges, PollsGoOnWhileAChangeWaits) {
  SysTree tree;
  MirrorAndFreeDisk(tree);
  HostRig rig(tree, true, true);
  bool polledMeanwhile = false;
  rig.runner->during = [&] {
    const auto before = rig.Host().Snapshot();
    tree.MemberState("md0", "sdb1", "faulty", "none");
    tree.Md("md0", "degraded", "1");
    rig.Host().Wake();
    polledMeanwhile = WaitUntil([&] { return rig.Host().Snapshot() != before; });
  };
  {
    ctl::CControllerIo::Lock lock(*rig.io);
    EXPECT_TRUE(rig.io->CreateSpare(rig.Adapter(0), 2));
  }
  EXPECT_TRUE(polledMeanwhile);
  EXPECT_EQ(rig.Host().Snapshot()->adapters[0].sets[0].spec.members[1].state,
            sim::MemberState::Dropped);
  // The member's drop is queued once, beside the change's own entry.
  EXPECT_TRUE(WaitUntil([&] { return rig.Host().PendingEvents(0) == 2; }));
}

// A recorded tree names another machine's disks: even as root with the
// setting on, nothing of this machine is changed on its word.
TEST(HostChanges, ARecordedTreeNeverChangesThisMachine) {
  SysTree tree;
  MirrorAndFreeDisk(tree);
  testing::TempDir work;
  machine::MachineOptions options;
  options.backend = "linux";
  options.host.root = tree.Root();
  options.host.thread = false;
  options.registryPath = work.File("registry.db");
  options.journal = std::shared_ptr<platform::Journal>();
  options.sound = std::make_shared<platform::RecordingSound>();
  options.systemInfo = [](const std::wstring& media) {
    return std::make_shared<FixedSystem>(media);
  };
  std::string error;
  {
    machine::Machine first = machine::MakeMachine(options, error);
    ASSERT_TRUE(first) << error;
    platform::RegKey key = platform::kNullKey;
    ASSERT_EQ(first.Registry()->CreateKey(L"Software\\Brevalis\\Kestrune", L"", key),
              platform::RegStatus::Ok);
    const std::uint8_t on[4] = {1, 0, 0, 0};
    ASSERT_EQ(first.Registry()->SetValue(key, machine::kAllowDiskChanges, platform::RegType::Dword,
                                         on),
              platform::RegStatus::Ok);
    first.Registry()->CloseKey(key);
  }
  machine::Machine again = machine::MakeMachine(options, error);
  ASSERT_TRUE(again) << error;
  EXPECT_FALSE(again.Host()->ChangesAllowed());
  ctl::CControllerIo io(again.ControllerServices(std::make_shared<platform::RecordingUi>()));
  io.ReadComputerInfo();
  io.Discover();
  ctl::CControllerIo::Lock lock(io);
  EXPECT_FALSE(io.CreateSpare(*io.Model().Adapter(0), 2));
}

TEST(HostChanges, ReadOnlyUnlessAllowedAndEveryChangeIsLogged) {
  SysTree tree;
  MirrorAndFreeDisk(tree);
  HostRig rig(tree, false);
  {
    ctl::CControllerIo::Lock lock(*rig.io);
    EXPECT_FALSE(rig.io->CreateSpare(rig.Adapter(0), 2));
  }
  EXPECT_TRUE(rig.runner->runs.empty());
  ASSERT_EQ(rig.changes_.size(), 1u);
  EXPECT_NE(rig.changes_[0].reason.find("changes to the machine's disks are off"),
            std::string::npos);
  // An entry of the log, and one in the journal with the reason.
  const auto texts = rig.PollTexts();
  EXPECT_TRUE(AnyHolds(texts, L"Warning       - Disk change refused\n\t\thot spare of sdc for md0"));
  bool journaled = false;
  for (const auto& e : rig.journal->Entries())
    journaled = journaled || e.message.find("Disk change refused: hot spare of sdc for md0 "
                                            "(changes to the machine's disks are off") == 0;
  EXPECT_TRUE(journaled);
}

TEST(HostChanges, RebuildRateAndWriteCacheWriteTheirAttributes) {
  SysTree tree;
  MirrorAndFreeDisk(tree);
  HostRig rig(tree, true);
  ctl::CControllerIo::Lock lock(*rig.io);
  EXPECT_TRUE(rig.io->SetRebuildRate(rig.Adapter(0), 0, 25));
  EXPECT_EQ(Read(tree, "/sys/devices/virtual/block/md0/md/sync_speed_min"), "50000");
  EXPECT_TRUE(rig.io->SetRebuildRate(rig.Adapter(0), 0, 0));
  EXPECT_EQ(Read(tree, "/sys/devices/virtual/block/md0/md/sync_speed_min"), "system");
  EXPECT_EQ(host::RateOfSpeed(1000), 1);  // the kernel's default floor
  EXPECT_EQ(host::RateOfSpeed(200000), 100);
  EXPECT_EQ(host::RateOfSpeed(5000000), 100);

  const ctl::DeviceRecord& sdc = rig.Adapter(0).channels[1].devices[0];
  EXPECT_TRUE(rig.io->SetDeviceFeatures(rig.Adapter(0), false, sdc, 1, 0));
  EXPECT_EQ(Read(tree, "/sys/devices/pci0000:00/0000:00:17.0/ata3/host2/target2:0:0/2:0:0:0/"
                       "scsi_disk/2:0:0:0/cache_type"),
            "write through");
  EXPECT_TRUE(rig.runner->runs.empty());
}

// The runner that starts mdadm: no shell, the program from the system's own
// folders whatever PATH says, its status and output.
TEST(HostChanges, TheProcessRunnerRunsSystemProgramsWithoutAShell) {
  ScopedEnv path("PATH", "/nonexistent");
  const auto runner = host::MakeProcessRunner();
  std::string output;
  EXPECT_EQ(runner->Run({"true"}, output), 0);
  EXPECT_EQ(runner->Run({"sh", "-c", "echo to md0; echo refused >&2; exit 3"}, output), 3);
  EXPECT_EQ(output, "to md0\nrefused\n");
  output.clear();
  // An argument is one argument, never a command line.
  EXPECT_EQ(runner->Run({"echo", "a;b", "$(false)"}, output), 0);
  EXPECT_EQ(output, "a;b $(false)\n");
  EXPECT_EQ(runner->Run({"kestrune-no-such-program"}, output), -1);
  EXPECT_EQ(runner->Run({}, output), -1);
}

TEST(HostChanges, BusResetAndDisablingADiskAreRefused) {
  SysTree tree;
  MirrorAndFreeDisk(tree);
  HostRig rig(tree, true);
  {
    ctl::CControllerIo::Lock lock(*rig.io);
    EXPECT_FALSE(rig.io->ResetChannel(rig.Adapter(0), 0));
  }
  EXPECT_FALSE(rig.io->SetDiskDeviceEnabled(0, 1, 0, false));
  EXPECT_TRUE(rig.runner->runs.empty());
}

}  // namespace
}  // namespace kestrune::test
