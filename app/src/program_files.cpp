#include "app/program_files.h"

#include <system_error>

#include "resources/language_module.h"

namespace kestrune::app {

ProgramFiles LocateProgramFiles(const std::filesystem::path& executable,
                                const std::filesystem::path& currentFolder) {
  ProgramFiles files;
  files.dataFolder = res::DataFolder(executable);
  files.help = files.dataFolder / kHelpFileName;
  const std::filesystem::path local = currentFolder / kLogoFileName;
  std::error_code error;
  files.logo =
      std::filesystem::is_regular_file(local, error) ? local : files.dataFolder / kLogoFileName;
  return files;
}

}  // namespace kestrune::app
