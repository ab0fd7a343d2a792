// The program's own machine over a fixture tree: the Linux backend polled by
// hand, the controller over it, and the texts of the events it queued.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "controller/controller_io.h"
#include "events/event_record.h"
#include "events/event_text.h"
#include "host/sys_tree.h"
#include "machine/machine.h"
#include "platform/manual_clock.h"
#include "platform/recording_journal.h"
#include "platform/recording_sound.h"
#include "platform/recording_ui.h"
#include "support/fixed_system.h"

namespace kestrune::test {

// Answers SMART health by disk name (Unknown when not told).
class FakeSmart final : public host::SmartProbe {
 public:
  std::map<std::string, sim::SmartHealth> health;
  std::vector<std::string> asked;
  std::vector<host::SmartTarget> targets;
  std::optional<sim::SmartHealth> Health(const host::SmartTarget& disk) override {
    asked.push_back(disk.name);
    targets.push_back(disk);
    const auto it = health.find(disk.name);
    return it == health.end() ? sim::SmartHealth::Unknown : it->second;
  }
};

// Records each program run instead of running it; `during` plays what the
// program does to the machine meanwhile.
class FakeRunner final : public host::CommandRunner {
 public:
  std::vector<std::vector<std::string>> runs;
  int exit = 0;
  std::string output;
  std::function<void()> during;
  int Run(const std::vector<std::string>& argv, std::string& out) override {
    runs.push_back(argv);
    if (during) during();
    out = output;
    return exit;
  }
};

class FakeSignatures final : public host::SignatureProbe {
 public:
  std::map<std::string, std::string> found;  // by device path; "" nothing
  bool unreadable = false;
  std::optional<std::string> Signature(const std::string& path) override {
    if (unreadable) return std::nullopt;
    const auto it = found.find(path);
    return it == found.end() ? std::optional<std::string>(std::string()) : it->second;
  }
};

struct HostRig {
  // `thread`: the backend's own refresh thread runs, polling only when woken.
  explicit HostRig(SysTree& tree, bool changes = false, bool thread = false) {
    machine::MachineOptions options;
    options.backend = "linux";
    options.host.root = tree.Root();
    options.host.thread = thread;
    options.host.interval = std::chrono::hours(1);
    options.host.smart = smart;
    options.host.runner = runner;
    options.host.signatures = signatures;
    options.host.changeLog = [this](const host::ChangeRecord& r) { changes_.push_back(r); };
    options.clock = clock;
    options.registryPath = ":memory:";
    options.systemInfo = [](const std::wstring& media) {
      return std::make_shared<FixedSystem>(media);
    };
    options.sound = std::make_shared<platform::RecordingSound>();
    options.journal = journal;
    std::string error;
    machine = machine::MakeMachine(options, error);
    if (!machine) throw std::runtime_error(error);
    machine.Host()->SetChangesAllowed(changes);
    io = std::make_unique<ctl::CControllerIo>(machine.ControllerServices(ui));
    io->ReadComputerInfo();
    io->Discover();
  }

  host::HostBackend& Host() { return *machine.Host(); }
  const host::HostSnapshot& Snapshot() {
    snapshot_ = Host().Snapshot();
    return *snapshot_;
  }
  ctl::AdapterRecord& Adapter(std::size_t n) { return *io->Model().Adapter(n); }

  // Polls, then fetches every adapter's events as the logger does and
  // composes their texts.
  std::vector<std::wstring> PollTexts() {
    clock->Advance(std::chrono::seconds(1));
    Host().Poll();
    std::vector<std::wstring> texts;
    for (std::size_t n = 0; n < io->Model().AdapterCount(); ++n) {
      ctl::EventBatch batch;
      if (!io->FetchEvents(Adapter(n), batch)) continue;
      for (const evt::EventRecord& r : evt::ReadEventRecords(batch)) {
        evt::EventContext context;
        context.extendedNaming = true;
        texts.push_back(evt::ComposeEvent(r, static_cast<std::uint32_t>(n), context).text);
      }
    }
    return texts;
  }

  std::shared_ptr<platform::ManualClock> clock = std::make_shared<platform::ManualClock>();
  std::shared_ptr<FakeSmart> smart = std::make_shared<FakeSmart>();
  std::shared_ptr<FakeRunner> runner = std::make_shared<FakeRunner>();
  std::shared_ptr<FakeSignatures> signatures = std::make_shared<FakeSignatures>();
  std::shared_ptr<platform::RecordingJournal> journal =
      std::make_shared<platform::RecordingJournal>();
  std::shared_ptr<platform::RecordingUi> ui = std::make_shared<platform::RecordingUi>();
  machine::Machine machine;
  std::unique_ptr<ctl::CControllerIo> io;
  std::vector<host::ChangeRecord> changes_;

 private:
  std::shared_ptr<const host::HostSnapshot> snapshot_;
};

// Waits (on the condition, for at most ten seconds) until `done`.
inline bool WaitUntil(const std::function<bool()>& done) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// True when some text holds `part`.
inline bool AnyHolds(const std::vector<std::wstring>& texts, const std::wstring& part) {
  for (const auto& t : texts)
    if (t.find(part) != std::wstring::npos) return true;
  return false;
}

// A machine with one AHCI controller of `ports` ports at 0000:00:17.0.
inline void Ahci(SysTree& tree, unsigned ports = 6) {
  tree.Controller("0000:00:17.0", 0x010601, "ahci", ports, 1);
}

// A healthy mirror md0 of sda1 and sdb1 on the AHCI controller.
inline void HealthyMirror(SysTree& tree) {
  Ahci(tree);
  tree.AtaDisk("sda", "0000:00:17.0", 1, Sata("WDC WD10EFRX-68FYTN0", "WD-A1"));
  tree.AtaDisk("sdb", "0000:00:17.0", 2, Sata("WDC WD10EFRX-68FYTN0", "WD-B2"));
  tree.Partition("sda", "sda1");
  tree.Partition("sdb", "sdb1");
  tree.Array("md0",
             {{"level", "raid1"}, {"raid_disks", "2"}, {"array_state", "clean"},
              {"degraded", "0"}, {"sync_action", "idle"}, {"sync_completed", "none"},
              {"sync_speed_min", "1000 (system)"}, {"metadata_version", "1.2"},
              {"layout", "0"}, {"chunk_size", "0"}},
             {{"sda1", "sda", "in_sync", "0"}, {"sdb1", "sdb", "in_sync", "1"}});
  tree.Mdstat("Personalities : [raid1]\nmd0 : active raid1 sdb1[1] sda1[0]\n"
              "      976630464 blocks super 1.2 [2/2] [UU]\n\nunused devices: <none>\n");
}

}  // namespace kestrune::test
