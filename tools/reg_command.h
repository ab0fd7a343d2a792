// The commands of kestrune-reg, a command-line editor of the program's
// registry store in the manner of the Windows "reg" command: query, add,
// delete and export. Kept apart from main() so that tests can run them
// against a store of their own.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry.h"

namespace kestrune::tools {

inline constexpr int kRegExitOk = 0;
inline constexpr int kRegExitFailed = 1;  // missing key or value, store error, cancelled
inline constexpr int kRegExitUsage = 2;   // bad arguments

enum class RegCommandKind { Query, Add, Delete, Export };

struct RegCommand {
  RegCommandKind kind = RegCommandKind::Query;
  std::wstring path;        // below HKEY_LOCAL_MACHINE, no trailing separator
  std::string displayPath;  // "HKEY_LOCAL_MACHINE\..." as printed
  std::optional<std::wstring> valueName;
  platform::RegType type = platform::RegType::Sz;
  std::vector<std::uint8_t> data;  // add: the encoded value
  bool force = false;              // /f for add and delete, /y for export
  std::string file;                // export
};

// Parses the arguments (without the program name). Returns the exit code
// when there is nothing to execute: after printing the usage (0) or an
// error (kRegExitUsage); nullopt when `command` is ready.
std::optional<int> ParseRegCommand(const std::vector<std::string>& args, RegCommand& command,
                                   std::ostream& out, std::ostream& err);

// Executes a parsed command. Questions are asked on `out` and answered from
// `in`; an answer that never comes counts as No.
int ExecuteRegCommand(const RegCommand& command, platform::Registry& registry, std::istream& in,
                      std::ostream& out, std::ostream& err);

// Both steps; returns the process exit code.
int RunRegCommand(const std::vector<std::string>& args, platform::Registry& registry,
                  std::istream& in, std::ostream& out, std::ostream& err);

// REG_DWORD data: decimal, or hexadecimal after "0x"; nothing else, and
// nothing above 0xFFFFFFFF.
std::optional<std::uint32_t> ParseDword(std::string_view text);

// The export file of the key and all its sub-keys, in the regedit text form.
// Returns false (and says why in `error`) when the key cannot be read.
bool ExportText(platform::Registry& registry, const std::wstring& path,
                const std::string& displayPath, std::string& text, std::string& error);

}  // namespace kestrune::tools
