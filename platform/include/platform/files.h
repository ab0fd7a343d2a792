// Files: modification time and version resources.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kestrune::platform {

class Files {
 public:
  virtual ~Files() = default;

  // The C library's ctime text of the file's last modification, without its
  // line end ("Wed Jun 30 21:49:08 1993"); nullopt when the file cannot be stat'ed.
  virtual std::optional<std::string> ModificationTimeText(const std::wstring& path) = 0;

  // The file's VS_VERSIONINFO block, found wherever it lies in the file;
  // nullopt when the file cannot be read or carries none.
  virtual std::optional<std::vector<std::uint8_t>> VersionResource(const std::wstring& path) = 0;
};

// The strings of one StringTable of a version block, keyed by translation
// ("040904b0") and string name ("FileVersion", "ProductName", ...).
struct VersionStringTable {
  std::wstring translation;
  std::vector<std::pair<std::wstring, std::wstring>> strings;
};

struct VersionInfoSpec {
  std::vector<VersionStringTable> tables;
  // \VarFileInfo\Translation pairs (language, code page).
  std::vector<std::pair<std::uint16_t, std::uint16_t>> translations;
};

// Builds a VS_VERSIONINFO block in the binary layout of a version resource.
std::vector<std::uint8_t> BuildVersionResource(const VersionInfoSpec& spec);

// Looks up a string value such as L"\\StringFileInfo\\040904b0\\FileVersion"
// in a version block. Never reads outside the block, whatever its contents.
std::optional<std::wstring> QueryVersionString(std::span<const std::uint8_t> block,
                                               const std::wstring& subBlock);

// The \VarFileInfo\Translation pairs of a version block.
std::vector<std::pair<std::uint16_t, std::uint16_t>> QueryVersionTranslations(
    std::span<const std::uint8_t> block);

}  // namespace kestrune::platform
