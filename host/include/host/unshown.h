// What the machine has that the model does not show, and why: arrays no set
// stands for, disks no adapter holds, files that could not be understood.
// For the report, its JSON form and the inspection tool.
#pragma once

#include <string>
#include <vector>

#include "host/snapshot.h"

namespace kestrune::host {

struct UnshownLine {
  std::string kind;    // "array", "disk", "file", "mdstat"
  std::string name;    // "md5", "sdd", the file's path
  std::string reason;  // why it is not shown
  std::string state;   // an array's state ("clean, degraded 1"), else ""
  std::vector<std::string> disks;
};

std::vector<UnshownLine> UnshownLines(const HostSnapshot& snapshot);

// One text line each: "md5 (raid5, clean, degraded 1) on sda sdb sdc: raid5 has no set type".
std::string UnshownText(const UnshownLine& line);

}  // namespace kestrune::host
