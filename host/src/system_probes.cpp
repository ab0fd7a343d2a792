// The libraries the backend asks disks through: libatasmart and libnvme for
// SMART health, libblkid for signatures. Each opens the device node, which
// only a privileged process can: without it, nothing is asked.
// atasmart.h uses size_t without including its header.
#include <cstddef>
using std::size_t;
// clang-format off
#include <atasmart.h>
// clang-format on
#include <blkid/blkid.h>
#include <fcntl.h>
#include <libnvme.h>
#include <unistd.h>

#include "host/changes.h"
#include "host/smart.h"

namespace kestrune::host {
namespace {

class SystemSmartProbe final : public SmartProbe {
 public:
  std::optional<sim::SmartHealth> Health(const SmartTarget& disk) override {
    if (::geteuid() != 0) return sim::SmartHealth::Unknown;
    if (disk.ata) return Ata(disk);
    if (disk.nvme) return Nvme(disk);
    return sim::SmartHealth::Unknown;
  }

 private:
  static std::optional<sim::SmartHealth> Ata(const SmartTarget& disk) {
    // libatasmart switches SMART on where it is off: a disk whose IDENTIFY
    // says it is off is left as its administrator set it.
    if (!disk.smartEnabled) return sim::SmartHealth::Unknown;
    SkDisk* d = nullptr;
    if (sk_disk_open(disk.devicePath.c_str(), &d) < 0 || d == nullptr)
      return sim::SmartHealth::Unknown;
    std::optional<sim::SmartHealth> result = sim::SmartHealth::Unknown;
    SkBool awake = FALSE;
    SkBool available = FALSE;
    SkBool good = FALSE;
    if (sk_disk_check_sleep_mode(d, &awake) < 0) {
      result = sim::SmartHealth::Unknown;
    } else if (!awake) {
      result = std::nullopt;  // asleep: not woken
    } else if (sk_disk_smart_is_available(d, &available) >= 0 && available &&
               sk_disk_smart_status(d, &good) >= 0) {
      result = good ? sim::SmartHealth::Ok : sim::SmartHealth::Exceeded;
    }
    sk_disk_free(d);
    return result;
  }

  static std::optional<sim::SmartHealth> Nvme(const SmartTarget& disk) {
    // The controller of a namespace: "nvme0n1" -> "nvme0".
    std::string controller = disk.name;
    const auto n = controller.find('n', 4);
    if (n != std::string::npos) controller.resize(n);
    const int fd = nvme_open(controller.c_str());
    if (fd < 0) return sim::SmartHealth::Unknown;
    nvme_smart_log log{};
    const int rc = nvme_get_log_smart(fd, NVME_NSID_ALL, true, &log);
    ::close(fd);
    if (rc != 0) return sim::SmartHealth::Unknown;
    return log.critical_warning == 0 ? sim::SmartHealth::Ok : sim::SmartHealth::Exceeded;
  }
};

class BlkidProbe final : public SignatureProbe {
 public:
  std::optional<std::string> Signature(const std::string& devicePath) override {
    blkid_probe probe = blkid_new_probe_from_filename(devicePath.c_str());
    if (probe == nullptr) return std::nullopt;
    blkid_probe_enable_partitions(probe, 1);
    blkid_probe_enable_superblocks(probe, 1);
    blkid_probe_set_superblocks_flags(probe, BLKID_SUBLKS_TYPE);
    const int rc = blkid_do_safeprobe(probe);
    std::optional<std::string> found;
    if (rc == 1) {
      found = std::string();  // nothing there
    } else if (rc == 0) {
      const char* value = nullptr;
      if (blkid_probe_lookup_value(probe, "TYPE", &value, nullptr) == 0 && value != nullptr)
        found = std::string(value);
      else if (blkid_probe_lookup_value(probe, "PTTYPE", &value, nullptr) == 0 && value != nullptr)
        found = std::string(value);
      else
        found = std::string("unknown");
    } else if (rc == -2) {
      found = std::string("ambivalent");  // more than one: certainly not free
    }
    blkid_free_probe(probe);
    return found;
  }
};

}  // namespace

std::shared_ptr<SmartProbe> MakeSystemSmartProbe() { return std::make_shared<SystemSmartProbe>(); }
std::shared_ptr<SignatureProbe> MakeBlkidProbe() { return std::make_shared<BlkidProbe>(); }

}  // namespace kestrune::host
