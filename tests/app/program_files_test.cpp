// Where the tray program finds its help and splash logo.
#include "app/program_files.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace kestrune::app {
namespace {

namespace fs = std::filesystem;

TEST(ProgramFiles, DataFolderBesideBinAndLogoFromTheCurrentFolderFirst) {
  const fs::path root = fs::temp_directory_path() / ("kestrune-files-" + std::to_string(::getpid()));
  fs::remove_all(root);
  fs::create_directories(root / "cwd");
  const fs::path exe = root / "prefix" / "bin" / "kestrune";

  ProgramFiles files = LocateProgramFiles(exe, root / "cwd");
  EXPECT_EQ(files.dataFolder, root / "prefix" / "share" / "kestrune");
  EXPECT_EQ(files.help, root / "prefix" / "share" / "kestrune" / "kestrune.html");
  EXPECT_EQ(files.logo, root / "prefix" / "share" / "kestrune" / "logo.bmp");

  std::ofstream(root / "cwd" / "logo.bmp") << "BM";
  files = LocateProgramFiles(exe, root / "cwd");
  EXPECT_EQ(files.logo, root / "cwd" / "logo.bmp");
  // A folder of that name is no logo.
  fs::remove(root / "cwd" / "logo.bmp");
  fs::create_directory(root / "cwd" / "logo.bmp");
  EXPECT_EQ(LocateProgramFiles(exe, root / "cwd").logo, files.dataFolder / "logo.bmp");
  fs::remove_all(root);
}

}  // namespace
}  // namespace kestrune::app
