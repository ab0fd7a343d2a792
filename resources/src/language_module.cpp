#include "resources/language_module.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <mutex>
#include <sstream>
#include <vector>

#include "resources/strings.h"
#include "unicode/codec.h"

namespace kestrune::res {
namespace {

// The text after the tab, unescaped and decoded; nothing when an escape is
// malformed.
std::optional<std::wstring> ParseText(std::string_view text) {
  std::string raw;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      raw.push_back(text[i]);
      continue;
    }
    if (++i == text.size()) return std::nullopt;  // a lone backslash at the end
    switch (text[i]) {
      case 'n':
        raw.push_back('\n');
        break;
      case 't':
        raw.push_back('\t');
        break;
      case 'r':
        raw.push_back('\r');
        break;
      case '\\':
        raw.push_back('\\');
        break;
      default:
        return std::nullopt;
    }
  }
  return unicode::FromUtf8(raw);
}

// A decimal number of at most 32 bits.
std::optional<unsigned> ParseNumber(std::string_view digits) {
  if (digits.empty() || digits.size() > 10) return std::nullopt;
  unsigned long long value = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  if (value > 0xFFFFFFFFull) return std::nullopt;
  return static_cast<unsigned>(value);
}

// An object or property name: a letter or '_', then letters, digits, '_'.
bool IsName(std::string_view name) {
  const auto letter = [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
  };
  if (name.empty() || !letter(name.front())) return false;
  return std::all_of(name.begin(), name.end(),
                     [&](char c) { return letter(c) || (c >= '0' && c <= '9'); });
}

struct DialogKey {
  unsigned templateId;
  std::string object;
  std::string property;
};

// "1000.windowTitle" or "1000.okButton.text".
std::optional<DialogKey> ParseDialogKey(std::string_view key) {
  const std::size_t first = key.find('.');
  if (first == std::string_view::npos) return std::nullopt;
  const auto id = ParseNumber(key.substr(0, first));
  if (!id) return std::nullopt;
  const std::string_view rest = key.substr(first + 1);
  const std::size_t second = rest.find('.');
  DialogKey parsed{*id, {}, {}};
  if (second == std::string_view::npos) {
    parsed.property = rest;
  } else {
    parsed.object = rest.substr(0, second);
    parsed.property = rest.substr(second + 1);
    if (!IsName(parsed.object)) return std::nullopt;
  }
  if (!IsName(parsed.property)) return std::nullopt;
  return parsed;
}

// Adds one "key<TAB>text" line to the module; false when it does not parse.
bool ParseLine(std::string_view line, LanguageModule& module) {
  const std::size_t tab = line.find('\t');
  if (tab == 0 || tab == std::string_view::npos) return false;
  const std::string_view key = line.substr(0, tab);
  const auto text = ParseText(line.substr(tab + 1));
  if (!text) return false;
  if (const auto id = ParseNumber(key)) {
    module.strings[*id] = *text;
    return true;
  }
  auto dialog = ParseDialogKey(key);
  if (!dialog) return false;
  module.dialogs[dialog->templateId].push_back(
      {std::move(dialog->object), std::move(dialog->property), *text});
  return true;
}

// A later line for the same object and property replaces the earlier one,
// which keeps its place.
void MergeRepeatedDialogTexts(std::vector<DialogText>& texts) {
  std::unordered_map<std::string, std::size_t> first;
  std::vector<DialogText> merged;
  merged.reserve(texts.size());
  for (DialogText& entry : texts) {
    const auto [it, added] = first.emplace(entry.object + '.' + entry.property, merged.size());
    if (added) {
      merged.push_back(std::move(entry));
    } else {
      merged[it->second].text = std::move(entry.text);
    }
  }
  texts = std::move(merged);
}

// Every module ever set stays here, so that the references LoadString
// returned from one stay valid when another is set.
std::mutex& KeptMutex() {
  static std::mutex mutex;
  return mutex;
}
std::vector<std::shared_ptr<const LanguageModule>>& Kept() {
  static std::vector<std::shared_ptr<const LanguageModule>> kept;
  return kept;
}
std::atomic<const LanguageModule*> g_current{nullptr};

struct LocaleEntry {
  std::string_view name;  // "ll_CC" or "ll" for the language's default
  unsigned short id;
};

constexpr std::array<LocaleEntry, 48> kLocales{{
    {"en_US", 0x0409}, {"en_GB", 0x0809}, {"en_AU", 0x0C09}, {"en_CA", 0x1009}, {"en_NZ", 0x1409},
    {"en_IE", 0x1809}, {"en", 0x0409},    {"de_DE", 0x0407}, {"de_CH", 0x0807}, {"de_AT", 0x0C07},
    {"de_LU", 0x1007}, {"de", 0x0407},    {"fr_FR", 0x040C}, {"fr_BE", 0x080C}, {"fr_CA", 0x0C0C},
    {"fr_CH", 0x100C}, {"fr", 0x040C},    {"es_ES", 0x0C0A}, {"es_MX", 0x080A}, {"es", 0x0C0A},
    {"it_IT", 0x0410}, {"it_CH", 0x0810}, {"it", 0x0410},    {"nl_NL", 0x0413}, {"nl_BE", 0x0813},
    {"nl", 0x0413},    {"pt_BR", 0x0416}, {"pt_PT", 0x0816}, {"pt", 0x0816},    {"ja_JP", 0x0411},
    {"ja", 0x0411},    {"ko_KR", 0x0412}, {"ko", 0x0412},    {"zh_CN", 0x0804}, {"zh_TW", 0x0404},
    {"zh", 0x0804},    {"ru_RU", 0x0419}, {"ru", 0x0419},    {"sv_SE", 0x041D}, {"sv", 0x041D},
    {"pl_PL", 0x0415}, {"pl", 0x0415},    {"cs_CZ", 0x0405}, {"cs", 0x0405},    {"da_DK", 0x0406},
    {"da", 0x0406},    {"fi_FI", 0x040B}, {"fi", 0x040B},
}};

unsigned short LookUpLocale(std::string_view name) {
  for (const LocaleEntry& entry : kLocales) {
    if (entry.name == name) return entry.id;
  }
  return 0;
}

}  // namespace

LanguageModule ParseLanguageModule(std::string_view text) {
  LanguageModule module;
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line.front() == '#') continue;
    if (!ParseLine(line, module)) ++module.skippedLines;
  }
  for (auto& [id, texts] : module.dialogs) MergeRepeatedDialogTexts(texts);
  return module;
}

std::optional<LanguageModule> ReadLanguageModule(const std::filesystem::path& path) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) return std::nullopt;
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream content;
  content << in.rdbuf();
  if (in.bad()) return std::nullopt;
  LanguageModule module = ParseLanguageModule(content.str());
  module.path = path;
  return module;
}

void SetModule(std::shared_ptr<const LanguageModule> module) {
  std::lock_guard lock(KeptMutex());
  const LanguageModule* raw = module.get();
  if (module) Kept().push_back(std::move(module));
  g_current.store(raw, std::memory_order_release);
}

std::shared_ptr<const LanguageModule> CurrentModule() {
  std::lock_guard lock(KeptMutex());
  const LanguageModule* raw = g_current.load(std::memory_order_acquire);
  for (const auto& kept : Kept()) {
    if (kept.get() == raw) return kept;
  }
  return nullptr;
}

bool LoadLanguageModule(const std::filesystem::path& path) {
  auto module = ReadLanguageModule(path);
  if (!module) return false;
  SetModule(std::make_shared<const LanguageModule>(std::move(*module)));
  return true;
}

const std::wstring* ModuleString(unsigned id) {
  const LanguageModule* module = g_current.load(std::memory_order_acquire);
  if (module == nullptr) return nullptr;
  auto it = module->strings.find(id);
  return it == module->strings.end() ? nullptr : &it->second;
}

const std::vector<DialogText>* ModuleDialogTexts(unsigned templateId) {
  const LanguageModule* module = g_current.load(std::memory_order_acquire);
  if (module == nullptr) return nullptr;
  auto it = module->dialogs.find(templateId);
  return it == module->dialogs.end() ? nullptr : &it->second;
}

unsigned short LanguageIdFromLocale(std::string_view locale) {
  // "de_DE.UTF-8@euro" -> "de_DE"
  const std::size_t cut = locale.find_first_of(".@");
  if (cut != std::string_view::npos) locale = locale.substr(0, cut);
  if (locale.empty() || locale == "C" || locale == "POSIX") return 0;
  if (unsigned short id = LookUpLocale(locale)) return id;
  // An unlisted country of a listed language takes the language's default.
  const std::size_t underscore = locale.find('_');
  if (underscore != std::string_view::npos) return LookUpLocale(locale.substr(0, underscore));
  return 0;
}

unsigned short UserLanguageId() {
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return LanguageIdFromLocale(value);
  }
  return 0;
}

std::filesystem::path DataFolder(const std::filesystem::path& executable) {
  return (executable.parent_path() / ".." / "share" / "kestrune").lexically_normal();
}

std::filesystem::path LanguageModuleStem(const std::filesystem::path& executable) {
  std::string name = executable.filename().string();
  std::transform(name.begin(), name.end(), name.begin(), [](char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  });
  if (name == "kestrune") return DataFolder(executable) / "Res";
  return std::filesystem::path(executable.native() + "Res");
}

std::filesystem::path LanguageModulePath(const std::filesystem::path& stem, unsigned languageId) {
  return std::filesystem::path(stem.native() + fmt::format("{:x}.lang", languageId));
}

std::optional<std::filesystem::path> ChooseLanguageModule(const std::filesystem::path& executable,
                                                          unsigned languageId) {
  const std::filesystem::path stem = LanguageModuleStem(executable);
  for (unsigned id : {languageId, 0x409u}) {
    const std::filesystem::path path = LanguageModulePath(stem, id);
    if (LoadLanguageModule(path)) return path;
  }
  SetModule(nullptr);
  return std::nullopt;
}

std::string EscapeModuleText(std::wstring_view text) {
  std::string out;
  out.reserve(text.size());
  for (wchar_t c : text) {
    switch (c) {
      case L'\n':
        out += "\\n";
        break;
      case L'\t':
        out += "\\t";
        break;
      case L'\r':
        out += "\\r";
        break;
      case L'\\':
        out += "\\\\";
        break;
      default:
        unicode::AppendUtf8(out, static_cast<char32_t>(c));
    }
  }
  return out;
}

std::string BuiltinModuleText() {
  std::string out = "# Kestrune language module 409 (English), written from the built-in table.\n";
  for (unsigned id : BuiltinStringIds()) {
    out += fmt::format("{}\t{}\n", id, EscapeModuleText(BuiltinString(id)));
  }
  const std::string_view dialogs = BuiltinDialogModuleText();
  if (!dialogs.empty()) {
    out += "# Dialogs: template.object.property, written from the forms.\n";
    out += dialogs;
  }
  return out;
}

}  // namespace kestrune::res
