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
#include <dlfcn.h>
#include <fcntl.h>
#include <libnvme.h>
#include <linux/hdreg.h>
#include <sys/ioctl.h>
#include <unistd.h>


#include "host/changes.h"
#include "host/smart.h"

namespace kestrune::host {
namespace {

// CHECK POWER MODE through libata: true when the disk spins (idle or
// active), false in standby; nullopt when it cannot be asked.
std::optional<bool> SpinsNow(const std::string& devicePath) {
  const int fd = ::open(devicePath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  constexpr unsigned char kCheckPowerMode = 0xE5;
  unsigned char args[4] = {kCheckPowerMode, 0, 0, 0};
  const int rc = ::ioctl(fd, HDIO_DRIVE_CMD, args);
  ::close(fd);
  if (rc != 0) return std::nullopt;
  // The count register: 0x00/0x01 standby, 0x40/0x41 spun down with its
  // cache on, 0x80-0x83 idle, 0xFF active or idle.
  return (args[2] & 0x80U) != 0;
}

// libnvme's two calls, looked up once, on the first NVMe drive asked.
class Nvme {
 public:
  static Nvme& Library() {
    static Nvme library;
    return library;
  }
  bool Loaded() const { return open_ != nullptr && getLogPage_ != nullptr; }
  int Open(const char* name) const { return open_(name); }
  // The SMART / health log of every namespace (what nvme_get_log_smart asks).
  int SmartLog(int fd, nvme_smart_log& log) const {
    nvme_get_log_args args{};
    args.lpo = 0;
    args.result = nullptr;
    args.log = &log;
    args.args_size = sizeof args;
    args.fd = fd;
    args.timeout = NVME_DEFAULT_IOCTL_TIMEOUT;
    args.lid = NVME_LOG_LID_SMART;
    args.len = sizeof log;
    args.nsid = NVME_NSID_ALL;
    args.csi = NVME_CSI_NVM;
    args.lsi = NVME_LOG_LSI_NONE;
    args.lsp = NVME_LOG_LSP_NONE;
    args.uuidx = NVME_UUID_NONE;
    args.rae = true;
    args.ot = false;
    return getLogPage_(fd, NVME_LOG_PAGE_PDU_SIZE, &args);
  }

 private:
  Nvme() {
    handle_ = ::dlopen("libnvme.so.1", RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) return;
    open_ = reinterpret_cast<int (*)(const char*)>(::dlsym(handle_, "nvme_open"));
    getLogPage_ = reinterpret_cast<int (*)(int, __u32, nvme_get_log_args*)>(
        ::dlsym(handle_, "nvme_get_log_page"));
  }
  // Kept to the end of the process.
  void* handle_ = nullptr;
  int (*open_)(const char*) = nullptr;
  int (*getLogPage_)(int, __u32, nvme_get_log_args*) = nullptr;
};

class SystemSmartProbe final : public SmartProbe {
 public:
  std::optional<sim::SmartHealth> Health(const SmartTarget& disk) override {
    if (::geteuid() != 0) return sim::SmartHealth::Unknown;
    if (disk.ata) return Ata(disk);
    if (disk.nvme) return NvmeHealth(disk);
    return sim::SmartHealth::Unknown;
  }

 private:
  static std::optional<sim::SmartHealth> Ata(const SmartTarget& disk) {
    // libatasmart switches SMART on where it is off: a disk whose IDENTIFY
    // says it is off is left as its administrator set it.
    if (!disk.smartEnabled) return sim::SmartHealth::Unknown;
    // Opening the disk with the library already sends it IDENTIFY, which
    // may spin up a disk in standby: its power mode is asked first.
    const auto spins = SpinsNow(disk.devicePath);
    if (!spins) return sim::SmartHealth::Unknown;
    if (!*spins) return std::nullopt;  // asleep: not woken
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
      result = std::nullopt;  // fell asleep meanwhile: not woken
    } else if (sk_disk_smart_is_available(d, &available) >= 0 && available &&
               sk_disk_smart_status(d, &good) >= 0) {
      result = good ? sim::SmartHealth::Ok : sim::SmartHealth::Exceeded;
    }
    sk_disk_free(d);
    return result;
  }

  static std::optional<sim::SmartHealth> NvmeHealth(const SmartTarget& disk) {
    // The controller of a namespace ("nvme0n1" lies on "nvme0" unless the
    // scan found another).
    std::string controller = disk.nvmeController;
    if (controller.empty()) {
      controller = disk.name;
      const auto n = controller.find('n', 4);
      if (n != std::string::npos) controller.resize(n);
    }
    const Nvme& nvme = Nvme::Library();
    if (!nvme.Loaded()) return sim::SmartHealth::Unknown;
    const int fd = nvme.Open(controller.c_str());
    if (fd < 0) return sim::SmartHealth::Unknown;
    nvme_smart_log log{};
    const int rc = nvme.SmartLog(fd, log);
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
