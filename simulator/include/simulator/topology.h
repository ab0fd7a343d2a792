// What the operating system sees of the simulated adapters: the device manager
// builds its device nodes from this view.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kestrune::sim {

struct OsTarget {
  std::uint8_t channel = 0;
  std::uint8_t device = 0;
  bool disk = true;  // false for packet devices (CD-ROM and the like)
  bool setDisk = false;  // the disk a RAID set presents
  std::uint32_t problem = 0;
  std::wstring model;
};

struct AdapterView {
  std::size_t port = 0;
  bool present = true;
  std::wstring name;     // adapter name as the driver reports it ("" on adapters that are not extended)
  std::wstring service;  // driver service, e.g. L"bv7420r"
  std::uint32_t pciBus = 0;
  std::uint32_t pciDevice = 0;
  std::uint32_t pciFunction = 0;
  // Targets the adapter exposes to the system: one per set, and one per present
  // device that is not a set member (spares included).
  std::vector<OsTarget> targets;
};

class Topology {
 public:
  virtual ~Topology() = default;
  virtual std::vector<AdapterView> Adapters() = 0;
};

}  // namespace kestrune::sim
