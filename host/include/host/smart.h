// SMART health of the machine's disks, asked only where the process may ask
// the disk and never waking one that sleeps. The library calls sit behind
// this interface so tests answer in their place.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "simulator/driver_codec.h"

namespace kestrune::host {

struct SmartTarget {
  std::string name;        // "sda"
  std::string devicePath;  // "/dev/sda"
  bool ata = false;
  bool nvme = false;
  std::string nvmeController;  // an NVMe drive's controller ("nvme0")
  // IDENTIFY says SMART is supported and switched on (ATA only; the library
  // would switch it on itself otherwise).
  bool smartEnabled = false;
};

class SmartProbe {
 public:
  virtual ~SmartProbe() = default;
  // The disk's health; Unknown when it may not be asked or does not answer;
  // nullopt when it sleeps and was left asleep (what was known stays).
  virtual std::optional<sim::SmartHealth> Health(const SmartTarget& disk) = 0;
};

// libatasmart for ATA disks, libnvme for NVMe drives; Unknown for the others
// and whenever the device node cannot be opened (no privilege). An ATA disk's
// power mode is asked (CHECK POWER MODE) before anything else, the library's
// own IDENTIFY included. libnvme is loaded only when the first NVMe drive is
// asked: it brings a cryptography library the monitor would otherwise carry
// for nothing.
std::shared_ptr<SmartProbe> MakeSystemSmartProbe();

}  // namespace kestrune::host
