// The adapters' registry keys, given by the controller that owns the adapter
// records: the settings store opens its keys and hands this step the
// DevicesDefMode handle (settings::AppSettings::Load / OpenAdapterKeys take
// it as their AdapterKeyOpener), so the store itself never sees the model.
#pragma once

#include <string>
#include <vector>

#include "controller/controller_io.h"
#include "platform/registry.h"

namespace kestrune::ctl {

// Under the model lock, in adapter order: each adapter (every one, or only
// those without a DevicesDefMode handle yet) gets `devicesDefMode` and its own
// problem-device key, created in `registry` with `keyClass` (a key that cannot
// be created is the null key); the keys created are appended to `opened`.
// Answers whether any adapter has the chip type "RAID" (any case).
bool GiveAdapterKeys(CControllerIo& io, platform::Registry& registry,
                     platform::RegKey devicesDefMode, const std::wstring& keyClass,
                     bool everyAdapter, std::vector<platform::RegKey>& opened);

// GiveAdapterKeys bound to one controller, in the shape the settings store
// takes. The controller must outlive the call.
inline auto AdapterKeyOpener(CControllerIo& io) {
  return [&io](platform::Registry& registry, platform::RegKey devicesDefMode,
               const std::wstring& keyClass, bool everyAdapter,
               std::vector<platform::RegKey>& opened) {
    return GiveAdapterKeys(io, registry, devicesDefMode, keyClass, everyAdapter, opened);
  };
}

// The computer's name as ReadComputerInfo found it, read under the lock.
std::wstring ComputerName(CControllerIo& io);

}  // namespace kestrune::ctl
