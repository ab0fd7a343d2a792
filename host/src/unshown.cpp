// The list of what the model does not show.
#include "host/unshown.h"

namespace kestrune::host {

std::vector<UnshownLine> UnshownLines(const HostSnapshot& snapshot) {
  std::vector<UnshownLine> lines;
  for (const UnshownArray& a : snapshot.arrays) {
    std::string state = a.arrayState.empty() ? std::string("state unknown") : a.arrayState;
    if (a.degraded > 0) state += ", degraded " + std::to_string(a.degraded);
    if (!a.syncAction.empty() && a.syncAction != "idle") {
      state += ", " + a.syncAction;
      if (a.percent) state += " " + std::to_string(*a.percent) + " %";
    }
    lines.push_back({"array", a.name + " (" + a.level + ")", a.reason, state, a.disks});
  }
  for (const UnshownDisk& d : snapshot.disks) lines.push_back({"disk", d.name, d.reason, "", {}});
  for (const std::string& p : snapshot.problems) {
    const auto colon = p.find(": ");
    lines.push_back({"file", p.substr(0, colon),
                     colon == std::string::npos ? std::string() : p.substr(colon + 2), "", {}});
  }
  for (const std::string& m : snapshot.mdstatMismatches) lines.push_back({"mdstat", "", m, "", {}});
  return lines;
}

std::string UnshownText(const UnshownLine& line) {
  std::string text = line.kind + " " + line.name;
  if (!line.state.empty()) text += " [" + line.state + "]";
  if (!line.disks.empty()) {
    text += " on";
    for (const std::string& d : line.disks) text += " " + d;
  }
  return text + ": " + line.reason;
}

}  // namespace kestrune::host
