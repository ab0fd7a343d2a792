// A machine's kernel files written into a private folder, from the formats
// the kernel documents: storage controllers on PCI, libata ports and IDENTIFY
// words, NVMe drives, md arrays with their members. Tests change the tree
// between the backend's polls to play what happens on a machine.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/temp_dir.h"
#include "simulator/identify.h"

namespace kestrune::test {

class SysTree {
 public:
  SysTree() { File("/proc/sys/kernel/osrelease", "6.1.0-18-amd64\n"); }

  std::string Root() const { return dir_.path().string(); }

  void File(const std::string& path, const std::string& text) {
    const std::filesystem::path full = Full(path);
    std::filesystem::create_directories(full.parent_path());
    std::ofstream(full, std::ios::binary | std::ios::trunc) << text;
  }
  void Link(const std::string& path, const std::string& target) {
    const std::filesystem::path full = Full(path);
    std::filesystem::create_directories(full.parent_path());
    std::error_code ignored;
    std::filesystem::remove(full, ignored);
    std::filesystem::create_symlink(target, full);
  }
  void Remove(const std::string& path) {
    std::error_code ignored;
    std::filesystem::remove_all(Full(path), ignored);
  }

  // A storage controller (PCI class 0x0106xx by default) with `ataPorts` libata ports.
  void Controller(const std::string& address, std::uint32_t classCode = 0x010601,
                  const std::string& driver = "ahci", unsigned ataPorts = 0,
                  unsigned firstPrintId = 1) {
    const std::string dev = PciPath(address);
    char text[16];
    std::snprintf(text, sizeof text, "0x%06x\n", classCode);
    File(dev + "/class", text);
    File(dev + "/vendor", "0x8086\n");
    File(dev + "/device", "0xa282\n");
    File(dev + "/revision", "0x00\n");
    File(dev + "/irq", "16\n");
    Link(dev + "/driver", "../../../bus/pci/drivers/" + driver);
    Link("/sys/bus/pci/devices/" + address, "../../../devices/pci0000:00/" + address);
    for (unsigned p = 0; p < ataPorts; ++p) {
      const unsigned id = firstPrintId + p;
      std::filesystem::create_directories(Full(dev + "/ata" + std::to_string(id)));
      File("/sys/class/ata_port/ata" + std::to_string(id) + "/port_no", std::to_string(p + 1) + "\n");
    }
  }

  // An ATA disk on libata port `printId` of the controller, its IDENTIFY
  // words made from `disk`.
  void AtaDisk(const std::string& name, const std::string& address, unsigned printId,
               const sim::DiskSpec& disk, const std::string& cache = "write back") {
    const std::string host = std::to_string(printId - 1);
    const std::string scsi = host + ":0:0:0";
    const std::string dev = PciPath(address) + "/ata" + std::to_string(printId) + "/host" + host +
                            "/target" + host + ":0:0/" + scsi;
    const std::string block = dev + "/block/" + name;
    Disk(name, block, disk.sectors);
    Link(block + "/device", "../../../" + scsi);
    File(dev + "/vendor", "ATA     \n");
    File(dev + "/model", disk.model.substr(0, 16) + "\n");
    File(dev + "/rev", disk.firmware.substr(0, 4) + "\n");
    File(dev + "/scsi_disk/" + scsi + "/cache_type", cache + "\n");
    const std::string ata = "/sys/class/ata_device/dev" + std::to_string(printId) + ".0";
    File(ata + "/id", IdentifyText(sim::BuildIdentify(disk)));
    File(ata + "/xfer_mode", "XFER_UDMA_6\n");
    File(ata + "/class", "ata\n");
  }

  // An NVMe drive: namespace 1 of controller nvme<instance> at `address`.
  void NvmeDisk(unsigned instance, const std::string& address, const std::string& model,
                std::uint64_t sectors) {
    const std::string ctrl = PciPath(address) + "/nvme/nvme" + std::to_string(instance);
    const std::string name = "nvme" + std::to_string(instance) + "n1";
    Disk(name, ctrl + "/" + name, sectors);
    Link(ctrl + "/" + name + "/device", "..");
    File(ctrl + "/model", model + "\n");
    File(ctrl + "/serial", "NV" + std::to_string(instance) + "SERIAL\n");
    File(ctrl + "/firmware_rev", "1B2QEXM7\n");
  }

  // An NVMe namespace the kernel reaches over several paths: its disk
  // nvme<subsystem>n1 lies in the subsystem (a virtual device), whose
  // controller nvme<instance> is at `address`; the path's own disk
  // nvme<subsystem>c<instance>n1 below the controller is hidden.
  void NvmeSubsystemDisk(unsigned subsystem, unsigned instance, const std::string& address,
                         const std::string& model, std::uint64_t sectors) {
    const std::string sub = "/sys/devices/virtual/nvme-subsystem/nvme-subsys" +
                            std::to_string(subsystem);
    const std::string ctrl = "nvme" + std::to_string(instance);
    const std::string name = "nvme" + std::to_string(subsystem) + "n1";
    File(sub + "/model", model + "\n");
    File(sub + "/serial", "NVS" + std::to_string(subsystem) + "\n");
    File(sub + "/firmware_rev", "2B2QEXM7\n");
    Link(sub + "/" + ctrl, "../../../pci0000:00/" + address + "/nvme/" + ctrl);
    Disk(name, sub + "/" + name, sectors);
    Link(sub + "/" + name + "/device", "..");
    const std::string path = PciPath(address) + "/nvme/" + ctrl;
    const std::string hidden = "nvme" + std::to_string(subsystem) + "c" +
                               std::to_string(instance) + "n1";
    File(path + "/model", model + "\n");
    Disk(hidden, path + "/" + hidden, sectors);
  }

  // The disk leaves: its block folder and its link go.
  void Unplug(const std::string& name) {
    const std::filesystem::path link = Full("/sys/block/" + name);
    std::error_code ignored;
    const auto target = std::filesystem::read_symlink(link, ignored);
    if (!ignored) std::filesystem::remove_all(link.parent_path() / target, ignored);
    std::filesystem::remove(link, ignored);
  }

  void Partition(const std::string& disk, const std::string& part) {
    File("/sys/block/" + disk + "/" + part + "/partition", "1\n");
  }
  void Holder(const std::string& device, const std::string& holder) {
    File(HolderPath(device) + "/" + holder, "");
  }

  struct Member {
    std::string device;  // "sda1" or "sdb"
    std::string disk;    // "sda"
    std::string state = "in_sync";
    std::string slot = "0";
  };

  // An md array with its attributes (level, raid_disks, ...) and members.
  void Array(const std::string& name, const std::map<std::string, std::string>& attributes,
             const std::vector<Member>& members, std::uint64_t sectors = 1953525168) {
    const std::string base = "/sys/devices/virtual/block/" + name;
    Link("/sys/block/" + name, "../devices/virtual/block/" + name);
    File(base + "/size", std::to_string(sectors) + "\n");
    for (const auto& [attribute, value] : attributes) File(base + "/md/" + attribute, value + "\n");
    for (const Member& m : members) AddMember(name, m);
  }
  void AddMember(const std::string& array, const Member& m) {
    const std::string dev = "/sys/devices/virtual/block/" + array + "/md/dev-" + m.device;
    File(dev + "/state", m.state + "\n");
    File(dev + "/slot", m.slot + "\n");
    const std::string tail = m.device == m.disk ? m.disk : m.disk + "/" + m.device;
    Link(dev + "/block", "../../../../../devices/pci0000:00/block/" + tail);
    File(HolderPath(m.device) + "/" + array, "");
  }
  void Md(const std::string& array, const std::string& attribute, const std::string& value) {
    File("/sys/devices/virtual/block/" + array + "/md/" + attribute, value + "\n");
  }
  void MemberState(const std::string& array, const std::string& device, const std::string& state,
                   const std::string& slot) {
    Md(array, "dev-" + device + "/state", state);
    Md(array, "dev-" + device + "/slot", slot);
  }
  void Mdstat(const std::string& text) { File("/proc/mdstat", text); }

  // libata's format: 256 words as four hex digits, eight to a line.
  static std::string IdentifyText(const sim::IdentifyData& id) {
    std::string text;
    char word[8];
    for (std::size_t i = 0; i < 256; ++i) {
      std::snprintf(word, sizeof word, "%04x%c", id[2 * i] | (id[2 * i + 1] << 8),
                    (i + 1) % 8 != 0 ? ' ' : '\n');
      text += word;
    }
    return text;
  }

 private:
  std::filesystem::path Full(const std::string& path) const {
    return dir_.path() / path.substr(1);
  }
  static std::string PciPath(const std::string& address) {
    return "/sys/devices/pci0000:00/" + address;
  }
  void Disk(const std::string& name, const std::string& block, std::uint64_t sectors) {
    File(block + "/size", std::to_string(sectors) + "\n");
    File(block + "/diskseq", std::to_string(++diskSequence_) + "\n");
    File(block + "/removable", "0\n");
    File(block + "/queue/rotational", "1\n");
    // /sys/block/<name> -> ../devices/...
    Link("/sys/block/" + name, ".." + block.substr(4));
  }
  std::string HolderPath(const std::string& device) const {
    // A partition's holders lie in its own folder below the disk.
    for (const auto& entry : std::filesystem::directory_iterator(Full("/sys/block"))) {
      const std::string disk = entry.path().filename().string();
      if (device != disk && device.rfind(disk, 0) == 0 &&
          std::filesystem::exists(entry.path() / device))
        return "/sys/block/" + disk + "/" + device + "/holders";
    }
    return "/sys/block/" + device + "/holders";
  }

  testing::TempDir dir_;
  unsigned diskSequence_ = 0;
};

// A SATA disk for the trees.
inline sim::DiskSpec Sata(const std::string& model, const std::string& serial,
                          std::uint64_t sectors = 1953525168) {
  sim::DiskSpec d;
  d.model = model;
  d.serial = serial;
  d.firmware = "CC43";
  d.sectors = sectors;
  d.ataMajor = 10;
  return d;
}

}  // namespace kestrune::test
