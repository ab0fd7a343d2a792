#include "controller/adapter_keys.h"

#include <algorithm>

#include "platform/text.h"

namespace kestrune::ctl {

bool GiveAdapterKeys(CControllerIo& io, platform::Registry& registry,
                     platform::RegKey devicesDefMode, const std::wstring& keyClass,
                     bool everyAdapter, std::vector<platform::RegKey>& opened) {
  bool raid = false;
  CControllerIo::Lock lock(io);
  auto& model = io.Model();
  const std::size_t count = std::min<std::size_t>(model.entryCount, model.adapters.size());
  for (std::size_t i = 1; i < count; ++i) {
    AdapterRecord* adapter = model.adapters[i].get();
    if (adapter == nullptr) continue;
    if (adapter->IsRaidChip()) raid = true;
    if (!everyAdapter && adapter->devicesDefModeKey != platform::kNullKey) continue;  // given
    adapter->devicesDefModeKey = devicesDefMode;
    platform::RegKey problem = platform::kNullKey;
    if (registry.CreateKey(io.ProblemDeviceKeyPath(*adapter), keyClass, problem) !=
        platform::RegStatus::Ok)
      problem = platform::kNullKey;
    adapter->problemDeviceKey = problem;
    if (problem != platform::kNullKey) opened.push_back(problem);
  }
  return raid;
}

std::wstring ComputerName(CControllerIo& io) {
  CControllerIo::Lock lock(io);
  return io.Model().computer.computerName;
}

}  // namespace kestrune::ctl
