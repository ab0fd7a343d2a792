#include "reg_command.h"

#include <fmt/format.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <istream>
#include <ostream>
#include <span>

#include "platform/text.h"

namespace kestrune::tools {

namespace {

using platform::RegKey;
using platform::RegStatus;
using platform::RegType;

constexpr const char* kUsage =
    "Usage: kestrune-reg COMMAND KEY [options]\n"
    "\n"
    "  kestrune-reg query KEY [/v NAME]\n"
    "  kestrune-reg add KEY [/v NAME [/t REG_SZ|REG_DWORD] [/d DATA]] [/f]\n"
    "  kestrune-reg delete KEY [/v NAME] [/f]\n"
    "  kestrune-reg export KEY FILE [/y]\n"
    "\n"
    "KEY is HKLM\\path or HKEY_LOCAL_MACHINE\\path, e.g. HKLM\\Software\\Brevalis\\Kestrune.\n"
    "  /v NAME   the value to query, add or delete\n"
    "  /t TYPE   REG_SZ (the default) or REG_DWORD\n"
    "  /d DATA   the data; REG_DWORD takes decimal or 0x hexadecimal\n"
    "  /f        add or delete without asking\n"
    "  /y        export over an existing file without asking\n"
    "The registry database is $KESTRUNE_REGISTRY, else $XDG_CONFIG_HOME/kestrune/registry.db,\n"
    "else ~/.config/kestrune/registry.db.\n"
    "Exit codes: 0 success, 1 failure or cancelled, 2 bad arguments.\n";

constexpr const char* kNotFound =
    "ERROR: The system was unable to find the specified registry key or value.";

std::string StatusMessage(RegStatus status) {
  switch (status) {
    case RegStatus::Ok:
      return "The operation completed successfully.";
    case RegStatus::NotFound:
      return kNotFound;
    case RegStatus::AccessDenied:
      return "ERROR: Access is denied.";
    case RegStatus::InvalidParameter:
      return "ERROR: Invalid key or value name, or data too large.";
    case RegStatus::InvalidHandle:
      return "ERROR: The key was deleted while in use.";
    case RegStatus::MoreData:
    case RegStatus::Failed:
      break;
  }
  return fmt::format("ERROR: The registry store failed (error {}).",
                     static_cast<std::uint32_t>(status));
}

int Fail(std::ostream& err, const std::string& message, int code) {
  err << message << '\n';
  return code;
}

int Usage(std::ostream& err, const std::string& message) {
  err << "ERROR: " << message << "\nType \"kestrune-reg /?\" for usage.\n";
  return kRegExitUsage;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return platform::EqualsNoCase(platform::FromUtf8(a), platform::FromUtf8(b));
}

bool IsHelp(std::string_view arg) {
  return arg == "/?" || arg == "-?" || arg == "-h" || arg == "--help";
}

// Splits "HKLM\path" or "HKEY_LOCAL_MACHINE\path" (either root in any case).
bool ParseKey(const std::string& text, std::wstring& path, std::string& display) {
  const std::size_t separator = text.find('\\');
  const std::string root = text.substr(0, separator);
  if (!EqualsNoCase(root, "HKLM") && !EqualsNoCase(root, "HKEY_LOCAL_MACHINE")) return false;
  std::string rest = separator == std::string::npos ? std::string() : text.substr(separator + 1);
  if (!rest.empty() && rest.back() == '\\') rest.pop_back();
  path = platform::FromUtf8(rest);
  display = "HKEY_LOCAL_MACHINE" + (rest.empty() ? std::string() : "\\" + rest);
  return true;
}

struct Options {
  std::vector<std::string> positional;
  std::optional<std::string> v, t, d;
  bool f = false;
  bool y = false;
};

// Options are recognised by their exact names ("/v" or "-v", any case), so a
// file name such as /tmp/out.reg stays a positional argument.
bool ParseOptions(const std::vector<std::string>& args, std::size_t first, std::string_view allowed,
                  Options& options, std::string& error) {
  for (std::size_t i = first; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool looksLikeOption = arg.size() == 2 && (arg[0] == '/' || arg[0] == '-');
    char name = looksLikeOption ? arg[1] : '\0';
    if (name >= 'A' && name <= 'Z') name = static_cast<char>(name - 'A' + 'a');
    if (!looksLikeOption || allowed.find(name) == std::string_view::npos) {
      options.positional.push_back(arg);
      continue;
    }
    if (name == 'f' || name == 'y') {
      bool& flag = name == 'f' ? options.f : options.y;
      if (flag) {
        error = "option " + arg + " given twice.";
        return false;
      }
      flag = true;
      continue;
    }
    std::optional<std::string>& slot = name == 'v'   ? options.v
                                       : name == 't' ? options.t
                                                     : options.d;
    if (slot) {
      error = "option " + arg + " given twice.";
      return false;
    }
    if (i + 1 >= args.size()) {
      error = "option " + arg + " needs a value.";
      return false;
    }
    slot = args[++i];
  }
  return true;
}

std::string Hex(std::span<const std::uint8_t> data) {
  std::string text;
  for (const std::uint8_t b : data) text += fmt::format("{:02X}", b);
  return text;
}

std::string TypeName(RegType type) {
  switch (static_cast<std::uint32_t>(type)) {
    case 0:
      return "REG_NONE";
    case 1:
      return "REG_SZ";
    case 2:
      return "REG_EXPAND_SZ";
    case 3:
      return "REG_BINARY";
    case 4:
      return "REG_DWORD";
    case 7:
      return "REG_MULTI_SZ";
    case 11:
      return "REG_QWORD";
    default:
      return fmt::format("REG_0x{:x}", static_cast<std::uint32_t>(type));
  }
}

std::uint32_t DwordOf(std::span<const std::uint8_t> data) {
  return static_cast<std::uint32_t>(data[0]) | (static_cast<std::uint32_t>(data[1]) << 8) |
         (static_cast<std::uint32_t>(data[2]) << 16) | (static_cast<std::uint32_t>(data[3]) << 24);
}

// A REG_SZ whose bytes are whole code units with one NUL, at the end.
bool IsCleanText(std::span<const std::uint8_t> data) {
  if (data.size() < 2 || data.size() % 2 != 0) return false;
  for (std::size_t i = 0; i + 1 < data.size(); i += 2) {
    const bool nul = data[i] == 0 && data[i + 1] == 0;
    if (nul != (i + 2 == data.size())) return false;
  }
  return true;
}

std::string QueryLine(const platform::RegValue& value) {
  std::string data;
  if (value.type == RegType::Sz) {
    data = platform::ToUtf8(platform::DecodeRegSz(value.data));
  } else if (value.type == RegType::Dword && value.data.size() == 4) {
    data = fmt::format("0x{:x}", DwordOf(value.data));
  } else {
    data = Hex(value.data);
  }
  return "    " + platform::ToUtf8(value.name) + "    " + TypeName(value.type) + "    " + data;
}

// Asks until the answer is yes or no; no answer at all is No.
bool Confirm(const std::string& question, std::istream& in, std::ostream& out) {
  while (true) {
    out << question << std::flush;
    std::string answer;
    if (!std::getline(in, answer)) {
      out << '\n';
      return false;
    }
    while (!answer.empty() && (answer.back() == '\r' || answer.back() == ' ')) answer.pop_back();
    while (!answer.empty() && answer.front() == ' ') answer.erase(0, 1);
    if (EqualsNoCase(answer, "y") || EqualsNoCase(answer, "yes")) return true;
    if (EqualsNoCase(answer, "n") || EqualsNoCase(answer, "no")) return false;
  }
}

// Opens the key, printing the error when it cannot be opened.
std::optional<RegKey> OpenExisting(platform::Registry& registry, const RegCommand& command,
                                   std::ostream& err) {
  RegKey key = platform::kNullKey;
  const RegStatus status = registry.OpenKey(command.path, key);
  if (status != RegStatus::Ok) {
    err << StatusMessage(status) << '\n';
    return std::nullopt;
  }
  return key;
}

// Whether the value exists; nullopt (error printed) when that cannot be told.
std::optional<bool> ValueExists(platform::Registry& registry, RegKey key, const std::wstring& name,
                                std::ostream& err) {
  RegType type = RegType::None;
  std::size_t size = 0;
  const RegStatus status = registry.QueryValue(key, name, type, {}, size);
  if (status == RegStatus::Ok || status == RegStatus::MoreData) return true;
  if (status == RegStatus::NotFound) return false;
  err << StatusMessage(status) << '\n';
  return std::nullopt;
}

int Query(const RegCommand& command, platform::Registry& registry, std::ostream& out,
          std::ostream& err) {
  const auto key = OpenExisting(registry, command, err);
  if (!key) return kRegExitFailed;
  std::vector<platform::RegValue> values;
  std::vector<std::wstring> subKeys;
  RegStatus status = registry.Values(*key, values);
  if (status == RegStatus::Ok && !command.valueName) status = registry.SubKeys(*key, subKeys);
  registry.CloseKey(*key);
  if (status != RegStatus::Ok) return Fail(err, StatusMessage(status), kRegExitFailed);

  if (command.valueName) {
    for (const auto& value : values) {
      if (platform::EqualsNoCase(value.name, *command.valueName)) {
        out << command.displayPath << '\n' << QueryLine(value) << '\n';
        return kRegExitOk;
      }
    }
    return Fail(err, kNotFound, kRegExitFailed);
  }
  out << command.displayPath << '\n';
  for (const auto& value : values) out << QueryLine(value) << '\n';
  if (!subKeys.empty()) {
    out << '\n';
    for (const auto& name : subKeys)
      out << command.displayPath << '\\' << platform::ToUtf8(name) << '\n';
  }
  return kRegExitOk;
}

int Add(const RegCommand& command, platform::Registry& registry, std::istream& in,
        std::ostream& out, std::ostream& err) {
  RegKey key = platform::kNullKey;
  RegStatus status = registry.CreateKey(command.path, L"", key);
  if (status != RegStatus::Ok) return Fail(err, StatusMessage(status), kRegExitFailed);
  int result = kRegExitOk;
  if (command.valueName) {
    const auto exists = ValueExists(registry, key, *command.valueName, err);
    if (!exists) {
      result = kRegExitFailed;
    } else if (*exists && !command.force &&
               !Confirm(
                   "Value " + platform::ToUtf8(*command.valueName) + " exists, overwrite(Yes/No)? ",
                   in, out)) {
      out << "The operation was cancelled.\n";
      result = kRegExitFailed;
    } else {
      status = registry.SetValue(key, *command.valueName, command.type, command.data);
      if (status != RegStatus::Ok) result = Fail(err, StatusMessage(status), kRegExitFailed);
    }
  }
  registry.CloseKey(key);
  if (result == kRegExitOk) out << StatusMessage(RegStatus::Ok) << '\n';
  return result;
}

int Delete(const RegCommand& command, platform::Registry& registry, std::istream& in,
           std::ostream& out, std::ostream& err) {
  const auto key = OpenExisting(registry, command, err);
  if (!key) return kRegExitFailed;
  RegStatus status = RegStatus::Ok;
  if (command.valueName) {
    const auto exists = ValueExists(registry, *key, *command.valueName, err);
    if (!exists || !*exists) {
      registry.CloseKey(*key);
      if (exists) err << kNotFound << '\n';
      return kRegExitFailed;
    }
    if (!command.force && !Confirm("Delete the registry value " +
                                       platform::ToUtf8(*command.valueName) + " (Yes/No)? ",
                                   in, out)) {
      registry.CloseKey(*key);
      out << "The operation was cancelled.\n";
      return kRegExitFailed;
    }
    status = registry.DeleteValue(*key, *command.valueName);
    registry.CloseKey(*key);
  } else {
    registry.CloseKey(*key);
    if (!command.force &&
        !Confirm("Permanently delete the registry key " + command.displayPath + " (Yes/No)? ", in,
                 out)) {
      out << "The operation was cancelled.\n";
      return kRegExitFailed;
    }
    status = registry.DeleteKeyTree(command.path);
  }
  if (status != RegStatus::Ok) return Fail(err, StatusMessage(status), kRegExitFailed);
  out << StatusMessage(RegStatus::Ok) << '\n';
  return kRegExitOk;
}

std::string Quoted(const std::wstring& text) {
  std::string quoted = "\"";
  for (const char c : platform::ToUtf8(text)) {
    if (c == '\\' || c == '"') quoted += '\\';
    quoted += c;
  }
  return quoted + "\"";
}

// "name"=hex(...):xx,xx,... wrapped with a continuation backslash the way
// regedit keeps its lines near 80 columns.
std::string HexLine(const std::string& head, std::span<const std::uint8_t> data) {
  std::string line = head;
  std::size_t column = line.size();
  for (std::size_t i = 0; i < data.size(); ++i) {
    if (i > 0) {
      line += ',';
      ++column;
      if (column + 3 > 79) {
        line += "\\\n  ";
        column = 2;
      }
    }
    line += fmt::format("{:02x}", data[i]);
    column += 2;
  }
  return line;
}

std::string ExportLine(const platform::RegValue& value) {
  const std::string name = value.name.empty() ? "@" : Quoted(value.name);
  if (value.type == RegType::Sz && IsCleanText(value.data)) {
    const std::wstring text = platform::FromUtf16Le(
        std::span<const std::uint8_t>(value.data).first(value.data.size() - 2));
    // A line break inside the text would break the file's lines; such text
    // goes out as bytes.
    if (text.find_first_of(L"\r\n") == std::wstring::npos &&
        text.find(platform::kReplacementChar) == std::wstring::npos)
      return name + "=" + Quoted(text);
  }
  if (value.type == RegType::Dword && value.data.size() == 4)
    return name + fmt::format("=dword:{:08x}", DwordOf(value.data));
  if (value.type == RegType::Binary) return HexLine(name + "=hex:", value.data);
  return HexLine(name + fmt::format("=hex({:x}):", static_cast<std::uint32_t>(value.type)),
                 value.data);
}

RegStatus ExportKey(platform::Registry& registry, const std::wstring& path,
                    const std::string& displayPath, std::string& text) {
  RegKey key = platform::kNullKey;
  RegStatus status = registry.OpenKey(path, key);
  if (status != RegStatus::Ok) return status;
  std::vector<platform::RegValue> values;
  std::vector<std::wstring> subKeys;
  status = registry.Values(key, values);
  if (status == RegStatus::Ok) status = registry.SubKeys(key, subKeys);
  registry.CloseKey(key);
  if (status != RegStatus::Ok) return status;
  text += "\n[" + displayPath + "]\n";
  for (const auto& value : values) text += ExportLine(value) + "\n";
  for (const auto& name : subKeys) {
    const std::wstring childPath = path.empty() ? name : path + L"\\" + name;
    status = ExportKey(registry, childPath, displayPath + "\\" + platform::ToUtf8(name), text);
    // A sub-key deleted meanwhile by another process is simply not there.
    if (status != RegStatus::Ok && status != RegStatus::NotFound) return status;
  }
  return RegStatus::Ok;
}

int Export(const RegCommand& command, platform::Registry& registry, std::istream& in,
           std::ostream& out, std::ostream& err) {
  std::string text;
  std::string error;
  if (!ExportText(registry, command.path, command.displayPath, text, error))
    return Fail(err, error, kRegExitFailed);
  std::error_code ec;
  if (std::filesystem::exists(command.file, ec) && !command.force &&
      !Confirm("File " + command.file + " already exists. Overwrite (Yes/No)? ", in, out)) {
    out << "The operation was cancelled.\n";
    return kRegExitFailed;
  }
  std::ofstream file(command.file, std::ios::binary | std::ios::trunc);
  file.write(text.data(), static_cast<std::streamsize>(text.size()));
  file.close();
  if (!file) return Fail(err, "ERROR: Cannot write the file " + command.file + ".", kRegExitFailed);
  out << StatusMessage(RegStatus::Ok) << '\n';
  return kRegExitOk;
}

}  // namespace

std::optional<std::uint32_t> ParseDword(std::string_view text) {
  unsigned base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.remove_prefix(2);
  }
  if (text.empty()) return std::nullopt;
  std::uint64_t value = 0;
  for (const char c : text) {
    unsigned digit = 0;
    if (c >= '0' && c <= '9') {
      digit = static_cast<unsigned>(c - '0');
    } else if (base == 16 && c >= 'a' && c <= 'f') {
      digit = static_cast<unsigned>(c - 'a' + 10);
    } else if (base == 16 && c >= 'A' && c <= 'F') {
      digit = static_cast<unsigned>(c - 'A' + 10);
    } else {
      return std::nullopt;
    }
    value = value * base + digit;
    if (value > 0xFFFFFFFFu) return std::nullopt;
  }
  return static_cast<std::uint32_t>(value);
}

bool ExportText(platform::Registry& registry, const std::wstring& path,
                const std::string& displayPath, std::string& text, std::string& error) {
  std::string body = "Windows Registry Editor Version 5.00\n";
  const RegStatus status = ExportKey(registry, path, displayPath, body);
  if (status != RegStatus::Ok) {
    error = StatusMessage(status);
    return false;
  }
  text = std::move(body) + "\n";
  return true;
}

std::optional<int> ParseRegCommand(const std::vector<std::string>& args, RegCommand& command,
                                   std::ostream& out, std::ostream& err) {
  if (args.empty()) return Usage(err, "no command given.");
  for (const auto& arg : args) {
    if (IsHelp(arg)) {
      out << kUsage;
      return kRegExitOk;
    }
  }
  const std::string& verb = args[0];
  std::string_view allowed;
  std::size_t positionals = 1;
  if (EqualsNoCase(verb, "query")) {
    command.kind = RegCommandKind::Query;
    allowed = "v";
  } else if (EqualsNoCase(verb, "add")) {
    command.kind = RegCommandKind::Add;
    allowed = "vtdf";
  } else if (EqualsNoCase(verb, "delete")) {
    command.kind = RegCommandKind::Delete;
    allowed = "vf";
  } else if (EqualsNoCase(verb, "export")) {
    command.kind = RegCommandKind::Export;
    allowed = "y";
    positionals = 2;
  } else {
    return Usage(err, "unknown command \"" + verb + "\"; use query, add, delete or export.");
  }

  Options options;
  std::string error;
  if (!ParseOptions(args, 1, allowed, options, error)) return Usage(err, error);
  if (options.positional.empty()) return Usage(err, "no key given.");
  if (options.positional.size() < positionals) return Usage(err, "no file given.");
  if (options.positional.size() > positionals)
    return Usage(err, "unexpected argument \"" + options.positional[positionals] + "\".");
  if (!ParseKey(options.positional[0], command.path, command.displayPath))
    return Usage(err, "invalid key \"" + options.positional[0] +
                          "\"; keys start with HKLM\\ or HKEY_LOCAL_MACHINE\\.");
  if (positionals == 2) {
    command.file = options.positional[1];
    if (command.file.empty()) return Usage(err, "empty file name.");
  }
  if (options.v) {
    if (options.v->empty()) return Usage(err, "/v needs a value name.");
    command.valueName = platform::FromUtf8(*options.v);
  }
  command.force = options.f || options.y;

  if (command.kind == RegCommandKind::Add) {
    if (!options.v && (options.t || options.d)) return Usage(err, "/t and /d need /v NAME.");
    const std::string type = options.t.value_or("REG_SZ");
    if (EqualsNoCase(type, "REG_SZ")) {
      command.type = RegType::Sz;
      command.data = platform::EncodeRegSz(platform::FromUtf8(options.d.value_or("")));
    } else if (EqualsNoCase(type, "REG_DWORD")) {
      command.type = RegType::Dword;
      if (!options.d) return Usage(err, "REG_DWORD needs /d DATA.");
      const auto number = ParseDword(*options.d);
      if (!number)
        return Usage(err, "invalid REG_DWORD data \"" + *options.d +
                              "\"; give 0 to 4294967295, or 0x0 to 0xffffffff.");
      command.data = platform::EncodeRegDword(*number);
    } else {
      return Usage(err, "unsupported type \"" + type + "\"; use REG_SZ or REG_DWORD.");
    }
  }
  return std::nullopt;
}

int ExecuteRegCommand(const RegCommand& command, platform::Registry& registry, std::istream& in,
                      std::ostream& out, std::ostream& err) {
  switch (command.kind) {
    case RegCommandKind::Query:
      return Query(command, registry, out, err);
    case RegCommandKind::Add:
      return Add(command, registry, in, out, err);
    case RegCommandKind::Delete:
      return Delete(command, registry, in, out, err);
    case RegCommandKind::Export:
      return Export(command, registry, in, out, err);
  }
  return kRegExitFailed;
}

int RunRegCommand(const std::vector<std::string>& args, platform::Registry& registry,
                  std::istream& in, std::ostream& out, std::ostream& err) {
  RegCommand command;
  if (const auto done = ParseRegCommand(args, command, out, err)) return *done;
  return ExecuteRegCommand(command, registry, in, out, err);
}

}  // namespace kestrune::tools
