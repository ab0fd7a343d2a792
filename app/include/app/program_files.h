// Where the tray program finds its files. Only executables live in bin/: the
// help, the language modules and the logo are in the data folder,
// share/kestrune beside bin/ (res::DataFolder), so the build tree and any
// installation prefix work alike.
#pragma once

#include <filesystem>

namespace kestrune::app {

inline constexpr char kHelpFileName[] = "kestrune.html";
inline constexpr char kLogoFileName[] = "logo.bmp";

struct ProgramFiles {
  std::filesystem::path dataFolder;
  std::filesystem::path help;
  // The splash: "logo.bmp" in the current folder when there is one (a
  // program started there shows its own), else the one in the data folder.
  std::filesystem::path logo;
};

// `executable` is the program's real path (as /proc/self/exe names it).
ProgramFiles LocateProgramFiles(const std::filesystem::path& executable,
                                const std::filesystem::path& currentFolder);

}  // namespace kestrune::app
