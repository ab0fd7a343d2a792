// Prints the configuration model that discovery reads from the adapters:
// computer, adapters, channels, devices with their identity texts, sets and
// members. With --follow N it re-reads the sets every two seconds for N
// seconds and prints each change, so the scenario's timeline can be watched.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "controller/controller_io.h"
#include "host/unshown.h"
#include "machine/machine.h"
#include "platform/console_ui.h"
#include "platform/text.h"

namespace {

using namespace kestrune;
using platform::ToUtf8;

std::string U(const std::wstring& text) {
  return ToUtf8(text);
}

std::string Trimmed(const std::wstring& text) {
  const auto end = text.find_last_not_of(L' ');
  return U(end == std::wstring::npos ? std::wstring() : text.substr(0, end + 1));
}

// Where a device sits: channel and device apart (the model's own names give
// an extended adapter's device index as the channel number), its index beside.
std::string Location(const ctl::AdapterRecord& a, unsigned index, bool extendedNaming) {
  std::string name;
  if (extendedNaming && a.devicesPerChannel > 0) {
    name = "Channel " + std::to_string(index / a.devicesPerChannel) + " Device " +
           std::to_string(index % a.devicesPerChannel);
  } else {
    name = U(ctl::ChannelAndDeviceName(index, false).Joined());
  }
  return name + " (index " + std::to_string(index) + ")";
}

std::string DescribeSets(const ctl::AdapterRecord& a, bool extendedNaming) {
  std::string out;
  for (std::size_t s = 0; s < a.setCount && s < ctl::kMaxSets; ++s) {
    const ctl::SetRecord& set = a.sets[s];
    out += "    Set " + std::to_string(s) + ": " + U(set.type) + ", " + U(set.state) + ", " +
           U(set.capacity) + ", at " + U(set.locationText) + ", name \"" + Trimmed(set.name) +
           "\", rebuild rate " + std::to_string(set.rebuildRate) + ", spare use " +
           (set.spareEnabled ? "on" : "off") + "\n";
    for (std::size_t k = 0; k < set.memberCount && k < ctl::kMaxMembers; ++k) {
      const ctl::MemberRecord& m = set.members[k];
      out += "      Member " + std::to_string(m.position) + ": " +
             Location(a, m.deviceIndex, extendedNaming) + ", " + U(m.state) +
             (m.rebuildPercent != L"N/A" ? ", " + U(m.rebuildPercent) : "") + "\n";
    }
  }
  return out;
}

std::string Describe(const ctl::ConfigurationModel& model) {
  const ctl::ComputerInfo& c = model.computer;
  std::string out = "Computer " + U(c.computerName) + ": " + U(c.osName) + " " + U(c.osVersion) +
                    " (" + U(c.servicePack) + ")\n";
  if (model.AdapterCount() == 0) return out + "No adapter found.\n";
  for (std::size_t n = 0; n < model.AdapterCount(); ++n) {
    const ctl::AdapterRecord& a = *model.Adapter(n);
    out += "Adapter " + std::to_string(n) + ": " + U(a.chipModel) + " rev " + U(a.chipRevision) +
           ", " + U(a.chipType) + ", driver " + U(a.driverMajorText) + "." + U(a.driverMinorText) +
           " (file " + U(a.driverFileVersion) + ", " + U(a.driverFileDate) + ")";
    if (a.IsExtended()) out += ", name " + U(a.adapterName);
    out += ", PCI bus " + U(a.pciBus) + " device " + U(a.pciDevice) + " IRQ " + U(a.pciInterrupt);
    if (a.IsRaidChip())
      out += ", RAID layer " + U(a.rioMajorText) + "." + U(a.rioMinorText) + ", conflicts " +
             U(a.arrayConflicts);
    out += "\n";
    for (std::size_t ch = 0; ch < a.channelCount && ch < ctl::kMaxChannels; ++ch) {
      const ctl::ChannelRecord& channel = a.channels[ch];
      for (std::size_t d = 0; d < a.devicesPerChannel && d < ctl::kMaxDevicesPerChannel; ++d) {
        const ctl::DeviceRecord& dev = channel.devices[d];
        const bool present = a.IsExtended() ? dev.present != 0 : (channel.flags >> d) & 1U;
        if (!present) continue;
        const auto index = static_cast<unsigned>(ch * a.devicesPerChannel + d);
        out += "  " + Location(a, index, model.extendedNaming) + ": " + U(dev.deviceType) + " \"" +
               Trimmed(dev.modelNumber) + "\" serial \"" + Trimmed(dev.serialNumber) +
               "\" firmware \"" + Trimmed(dev.firmwareVersion) + "\", " + U(dev.capacity) + ", " +
               U(dev.currentMode) + " of " + U(dev.supportedModes) + ", " + U(dev.ataVersion) +
               ", " + U(dev.mediaType) + ", write cache " + U(dev.writeCache) + ", look-ahead " +
               U(dev.lookAhead) + ", SMART " + U(dev.smartSupport) + "/" + U(dev.smartEnabled) +
               "/" + U(dev.smartStatus) + ((dev.flags & ctl::kFlagInUse) ? ", in use" : "") +
               (dev.spare ? ", hot spare" : "") + "\n";
      }
    }
    out += DescribeSets(a, model.extendedNaming);
  }
  return out;
}

// Asks no disk anything: a recording copies what the kernel's files say.
class NoSmart final : public host::SmartProbe {
 public:
  std::optional<sim::SmartHealth> Health(const host::SmartTarget&) override {
    return sim::SmartHealth::Unknown;
  }
};

}  // namespace

int main(int argc, char** argv) {
  int followSeconds = 0;
  std::string record;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--follow" && i + 1 < argc) {
      followSeconds = std::atoi(argv[++i]);
    } else if (arg == "--record" && i + 1 < argc) {
      record = argv[++i];
    } else {
      const bool help = arg == "--help" || arg == "-h";
      std::fprintf(help ? stdout : stderr,
                   "usage: kestrune-inspect [--follow SECONDS] [--record DIR]\n"
                   "Prints the configuration read from the adapters: the simulated ones\n"
                   "(KESTRUNE_SCENARIO names a scenario file), or with KESTRUNE_BACKEND=linux\n"
                   "the machine's own disks and md arrays. --record DIR copies the kernel's\n"
                   "files that backend reads (attributes, never a disk's contents) into DIR,\n"
                   "to stand in for the machine with KESTRUNE_SYSFS_ROOT=DIR.\n");
      return help ? 0 : 2;
    }
  }
  std::string error;
  machine::MachineOptions options;
  if (!record.empty()) {
    options.backend = "linux";
    const char* root = std::getenv("KESTRUNE_SYSFS_ROOT");
    const std::string from = root != nullptr && *root != '\0' ? root : "/";
    std::error_code made;
    std::filesystem::create_directories(record, made);
    if (made) {
      std::fprintf(stderr, "kestrune-inspect: %s: %s\n", record.c_str(), made.message().c_str());
      return 1;
    }
    options.host.root = from;
    options.host.files =
        host::MakeRecordingFiles(host::MakeRootedFiles(from), from, record);
    options.host.thread = false;
    options.host.smart = std::make_shared<NoSmart>();
  }
  const machine::Machine machine = machine::MakeMachine(options, error);
  if (!machine) {
    std::fprintf(stderr, "kestrune-inspect: %s\n", error.c_str());
    return 1;
  }
  ctl::CControllerIo io(machine.ControllerServices(std::make_shared<platform::ConsoleUi>()));
  io.ReadComputerInfo();
  io.Discover();
  io.ReadDriverFiles();
  {
    ctl::CControllerIo::Lock lock(io);
    std::fputs(Describe(io.Model()).c_str(), stdout);
  }
  if (machine.Host() != nullptr) {
    for (const auto& line : host::UnshownLines(*machine.Host()->Snapshot()))
      std::printf("Not shown: %s\n", host::UnshownText(line).c_str());
  }
  if (!record.empty()) std::printf("Recorded into %s\n", record.c_str());
  std::fflush(stdout);

  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(followSeconds);
  std::string last;
  while (std::chrono::steady_clock::now() < end) {
    std::this_thread::sleep_for(std::chrono::seconds(2));
    ctl::CControllerIo::Lock lock(io);
    std::string now;
    for (std::size_t n = 0; n < io.Model().AdapterCount(); ++n) {
      ctl::AdapterRecord& a = *io.Model().Adapter(n);
      if (!a.IsRaidChip()) continue;
      io.QuerySpareDrives(a);
      io.QuerySets(a, false);
      now +=
          "Adapter " + std::to_string(n) + " sets:\n" + DescribeSets(a, io.Model().extendedNaming);
    }
    if (!last.empty() && now != last) {
      std::fputs(now.c_str(), stdout);
      std::fflush(stdout);
    }
    last = std::move(now);
  }
  return 0;
}
