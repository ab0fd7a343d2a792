// Language modules: string tables in files in the program's data folder
// (DataFolder below), named "Res" + the language id in lower-case hexadecimal + ".lang" (Res409.lang,
// Resc0a.lang). A module is UTF-8 text, one "key<TAB>text" line per entry,
// with the escapes \n \t \r and \\ in the text; empty lines and lines starting
// with '#' are comments. Lines that do not parse are skipped.
//
// Two kinds of key:
//   296                  a string-table entry, by its number;
//   1000.windowTitle     a text of a dialog form: template number, then the
//   1000.okButton.text   object name (left out for the form's root), then the
//   1020.levelBox.item2  property, or "item<N>" for the N-th (0-based) entry
//                        of a combo or list box.
//
// While a module is set, LoadString answers from it first and from the
// built-in table for the numbers the module lacks; forms keep their built-in
// (English) texts for the entries the module lacks.
#pragma once

#include <cstddef>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace kestrune::res {

// One text of a dialog form.
struct DialogText {
  std::string object;    // empty: the form's root
  std::string property;  // a property name, or "item<N>"
  std::wstring text;
};

struct LanguageModule {
  std::filesystem::path path;
  std::unordered_map<unsigned, std::wstring> strings;
  // By template number, in file order; a later line for the same object and
  // property replaces the earlier one.
  std::unordered_map<unsigned, std::vector<DialogText>> dialogs;
  std::size_t skippedLines = 0;  // lines that did not parse
};

// Parses a module's text. Never fails: bad lines are counted and skipped.
LanguageModule ParseLanguageModule(std::string_view text);
// Reads and parses a module file; nothing when it cannot be read.
std::optional<LanguageModule> ReadLanguageModule(const std::filesystem::path& path);

// Makes a module the source of strings (nullptr: the built-in table only).
// Thread-safe. Modules once set stay alive until the process ends, so the
// references LoadString has handed out stay valid.
void SetModule(std::shared_ptr<const LanguageModule> module);
std::shared_ptr<const LanguageModule> CurrentModule();
// Reads a module and sets it; false (and the current module kept) when the
// file cannot be read.
bool LoadLanguageModule(const std::filesystem::path& path);

// The text for id from the current module, or nullptr.
const std::wstring* ModuleString(unsigned id);
// The current module's texts for a dialog template, or nullptr when no module
// is set or it has none for that template.
const std::vector<DialogText>* ModuleDialogTexts(unsigned templateId);

// The user's interface language as a Windows language id from the locale
// (LC_ALL, then LC_MESSAGES, then LANG: "de_DE.UTF-8" -> 0x407); 0 when
// unset, "C"/"POSIX" or unknown.
unsigned short LanguageIdFromLocale(std::string_view locale);
unsigned short UserLanguageId();

// The program's data folder (language modules, help, logo): "share/kestrune"
// beside the executable's folder, so that "<prefix>/bin/kestrune" finds
// "<prefix>/share/kestrune" and the build tree's "app/kestrune" finds
// "share/kestrune" at the top of the build folder. Only executables live in
// "bin".
std::filesystem::path DataFolder(const std::filesystem::path& executable);

// The stem modules are named from: when the executable's file name is the
// program's ("kestrune", any letter case), its data folder followed by "Res";
// otherwise the whole executable path followed by "Res", which names no
// module (a renamed program runs with its built-in texts).
std::filesystem::path LanguageModuleStem(const std::filesystem::path& executable);
// stem + lower-case hexadecimal id without leading zeros + ".lang".
std::filesystem::path LanguageModulePath(const std::filesystem::path& stem, unsigned languageId);

// Chooses and sets the module: Res<id>.lang, else Res409.lang, else none.
// Answers the path set, or nothing (built-in table).
std::optional<std::filesystem::path> ChooseLanguageModule(const std::filesystem::path& executable,
                                                          unsigned languageId);

// The built-in table written as a module text (for Res409.lang): the string
// table, then the English texts of every dialog form.
std::string BuiltinModuleText();
// The dialog part alone, as module lines; written at build time from the
// forms in resources/dialogs (empty when the user interface is not built).
std::string_view BuiltinDialogModuleText();
// Encodes one text the way a module line holds it (escapes, UTF-8).
std::string EscapeModuleText(std::wstring_view text);

}  // namespace kestrune::res
