// The registry on its own: kestrune-reg links this without the backend.
#include "machine/machine.h"
#include "platform/linux_system_info.h"
#include "platform/sqlite_registry.h"

namespace kestrune::machine {

std::shared_ptr<platform::Registry> OpenRegistry(const MachineOptions& options,
                                                 const std::wstring& mediaPath,
                                                 std::string& error) {
  const std::string path =
      options.registryPath.empty() ? platform::DefaultRegistryPath() : options.registryPath;
  auto system =
      options.systemInfo ? options.systemInfo(mediaPath) : platform::MakeLinuxSystemInfo(mediaPath);
  return platform::OpenSqliteRegistry(path, std::move(system), error);
}

}  // namespace kestrune::machine
