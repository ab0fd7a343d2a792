#include "resources/language_module.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "resources/menus.h"
#include "resources/strings.h"
#include "support/source_dir.h"

namespace kestrune::res {
namespace {

namespace fs = std::filesystem;

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void WriteAll(const fs::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

// A fresh folder standing for an installation prefix (the executable in
// bin/, the modules in share/kestrune/), removed afterwards; the module is
// reset so that no test leaks its language into another.
class LanguageModules : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("kestrune-lang-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    data_ = dir_ / "share" / "kestrune";
    fs::create_directories(data_);
    fs::create_directories(dir_ / "bin");
  }
  void TearDown() override {
    SetModule(nullptr);
    fs::remove_all(dir_);
  }
  void CopyGerman() {
    fs::copy_file(fs::path(KESTRUNE_SOURCE_DIR) / "tests/resources/data/Res407.lang",
                  data_ / "Res407.lang");
  }
  void WriteEnglish(const std::string& extra = {}) {
    WriteAll(data_ / "Res409.lang", BuiltinModuleText() + extra);
  }
  fs::path Program(const char* name = "kestrune") const { return dir_ / "bin" / name; }
  fs::path dir_;
  fs::path data_;
};

TEST(ParseLanguageModule, EscapesCommentsAndLineEnds) {
  const LanguageModule module = ParseLanguageModule(
      "\xEF\xBB\xBF# comment\n"
      "\n"
      "8\t%s\\tStarted\\n\r\n"
      "9\tback\\\\slash \\r end\n"
      "10\t\n"
      "11\tsecond\ttab kept\n"
      "4294967295\tlargest\n"
      "12\tlast line without end");
  EXPECT_EQ(module.skippedLines, 0u);
  ASSERT_EQ(module.strings.size(), 6u);
  EXPECT_EQ(module.strings.at(8), L"%s\tStarted\n");
  EXPECT_EQ(module.strings.at(9), L"back\\slash \r end");
  EXPECT_EQ(module.strings.at(10), L"");
  EXPECT_EQ(module.strings.at(11), L"second\ttab kept");
  EXPECT_EQ(module.strings.at(4294967295u), L"largest");
  EXPECT_EQ(module.strings.at(12), L"last line without end");
}

TEST(ParseLanguageModule, MalformedLinesAreSkipped) {
  const LanguageModule module = ParseLanguageModule(
      "no tab here\n"
      "\tno id\n"
      "-5\tnegative\n"
      "12a\tletters\n"
      "4294967296\ttoo large\n"
      "99999999999999999999\tfar too large\n"
      "13\tunknown escape \\q\n"
      "14\ttrailing backslash \\\n"
      " 15\tleading space\n"
      "16\tgood\n");
  EXPECT_EQ(module.skippedLines, 9u);
  ASSERT_EQ(module.strings.size(), 1u);
  EXPECT_EQ(module.strings.at(16), L"good");
}

TEST(ParseLanguageModule, BadUtf8BecomesReplacementCharacters) {
  const LanguageModule module = ParseLanguageModule(
      "1\tok \xC3\xA4 \xF0\x9F\x98\x80\n"
      "2\ttruncated \xC3\n"
      "3\toverlong \xC0\xAF surrogate \xED\xA0\x80 end\n"
      "4\t\xFF\xFE\n");
  EXPECT_EQ(module.skippedLines, 0u);
  EXPECT_EQ(module.strings.at(1), L"ok \u00e4 \U0001F600");
  EXPECT_EQ(module.strings.at(2), L"truncated \xFFFD");
  EXPECT_EQ(module.strings.at(3).find(L"overlong \xFFFD"), 0u);
  EXPECT_NE(module.strings.at(3).find(L" end"), std::wstring::npos);
  // The program's one decoder: each maximal ill-formed part is one U+FFFD.
  EXPECT_EQ(module.strings.at(3), L"overlong \xFFFD\xFFFD surrogate \xFFFD\xFFFD\xFFFD end");
  EXPECT_EQ(module.strings.at(4), L"\xFFFD\xFFFD");
}

TEST(ParseLanguageModule, LaterLinesForAnIdWin) {
  EXPECT_EQ(ParseLanguageModule("5\tfirst\n5\tsecond\n").strings.at(5), L"second");
}

// Dialog entries: "template.property" for the form's root,
// "template.object.property" for a control; anything else is skipped.
TEST(ParseLanguageModule, DialogKeys) {
  struct Case {
    const char* line;
    bool parses;
    unsigned templateId;
    const char* object;
    const char* property;
  };
  const Case cases[] = {
      {"1000.windowTitle\tAbout", true, 1000, "", "windowTitle"},
      {"1001.okButton.text\tOK", true, 1001, "okButton", "text"},
      {"1020.levelBox.item2\tErrors only", true, 1020, "levelBox", "item2"},
      {"4294967295._hidden_1.toolTip\tx", true, 4294967295u, "_hidden_1", "toolTip"},
      {"1000.\tno property", false, 0, "", ""},
      {"1000..text\tno object", false, 0, "", ""},
      {".text\tno template", false, 0, "", ""},
      {"x1000.okButton.text\tletters", false, 0, "", ""},
      {"4294967296.okButton.text\ttoo large", false, 0, "", ""},
      {"1000.9lives.text\tdigit first", false, 0, "", ""},
      {"1000.ok-button.text\tdash", false, 0, "", ""},
      {"1000.a.b.c\tthree names", false, 0, "", ""},
      {"1000.okButton.text\tbad escape \\q", false, 0, "", ""},
  };
  for (const Case& c : cases) {
    const LanguageModule module = ParseLanguageModule(c.line);
    EXPECT_TRUE(module.strings.empty()) << c.line;
    if (!c.parses) {
      EXPECT_EQ(module.skippedLines, 1u) << c.line;
      EXPECT_TRUE(module.dialogs.empty()) << c.line;
      continue;
    }
    EXPECT_EQ(module.skippedLines, 0u) << c.line;
    ASSERT_EQ(module.dialogs.count(c.templateId), 1u) << c.line;
    const std::vector<DialogText>& texts = module.dialogs.at(c.templateId);
    ASSERT_EQ(texts.size(), 1u) << c.line;
    EXPECT_EQ(texts[0].object, c.object) << c.line;
    EXPECT_EQ(texts[0].property, c.property) << c.line;
  }
}

TEST(ParseLanguageModule, DialogTextsKeepFileOrderAndLaterLinesWin) {
  const LanguageModule module = ParseLanguageModule(
      "1001.windowTitle\tfirst\n"
      "1001.okButton.text\tO\\nK\n"
      "296\tstring\n"
      "1001.windowTitle\tsecond\n"
      "1002.windowTitle\tother\n");
  EXPECT_EQ(module.strings.at(296), L"string");
  const std::vector<DialogText>& texts = module.dialogs.at(1001);
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_EQ(texts[0].property, "windowTitle");
  EXPECT_EQ(texts[0].text, L"second");
  EXPECT_EQ(texts[1].text, L"O\nK");
  EXPECT_EQ(module.dialogs.at(1002).size(), 1u);
}

TEST_F(LanguageModules, DialogTextsComeFromTheCurrentModule) {
  EXPECT_EQ(ModuleDialogTexts(1001), nullptr);
  SetModule(std::make_shared<const LanguageModule>(
      ParseLanguageModule("1001.noticeLabel.text\tNeues Ereignis.\n")));
  const std::vector<DialogText>* texts = ModuleDialogTexts(1001);
  ASSERT_NE(texts, nullptr);
  EXPECT_EQ(texts->at(0).text, L"Neues Ereignis.");
  EXPECT_EQ(ModuleDialogTexts(1000), nullptr);
}

TEST(ParseLanguageModule, EscapingRoundTrips) {
  const std::wstring text = L"a\tb\nc\r\\d \u00fc\U0001F600";
  const LanguageModule module = ParseLanguageModule("7\t" + EscapeModuleText(text) + "\n");
  EXPECT_EQ(module.strings.at(7), text);
}

TEST(LanguageId, FromLocaleNames) {
  EXPECT_EQ(LanguageIdFromLocale("en_US.UTF-8"), 0x409);
  EXPECT_EQ(LanguageIdFromLocale("de_DE.UTF-8@euro"), 0x407);
  EXPECT_EQ(LanguageIdFromLocale("de_DE"), 0x407);
  EXPECT_EQ(LanguageIdFromLocale("es_ES"), 0xC0A);
  EXPECT_EQ(LanguageIdFromLocale("de_BE.UTF-8"), 0x407);  // unlisted country
  EXPECT_EQ(LanguageIdFromLocale("fr"), 0x40C);
  EXPECT_EQ(LanguageIdFromLocale("C"), 0);
  EXPECT_EQ(LanguageIdFromLocale("C.UTF-8"), 0);
  EXPECT_EQ(LanguageIdFromLocale("POSIX"), 0);
  EXPECT_EQ(LanguageIdFromLocale(""), 0);
  EXPECT_EQ(LanguageIdFromLocale("xx_YY"), 0);
  EXPECT_EQ(LanguageIdFromLocale("_"), 0);
}

TEST(LanguageId, EnvironmentOrder) {
  const char* saved[3] = {std::getenv("LC_ALL"), std::getenv("LC_MESSAGES"), std::getenv("LANG")};
  const std::string keep[3] = {saved[0] ? saved[0] : "", saved[1] ? saved[1] : "",
                               saved[2] ? saved[2] : ""};
  unsetenv("LC_ALL");
  setenv("LC_MESSAGES", "de_DE.UTF-8", 1);
  setenv("LANG", "en_US.UTF-8", 1);
  EXPECT_EQ(UserLanguageId(), 0x407);
  setenv("LC_ALL", "fr_FR.UTF-8", 1);
  EXPECT_EQ(UserLanguageId(), 0x40C);
  unsetenv("LC_ALL");
  unsetenv("LC_MESSAGES");
  unsetenv("LANG");
  EXPECT_EQ(UserLanguageId(), 0);
  const char* names[3] = {"LC_ALL", "LC_MESSAGES", "LANG"};
  for (int i = 0; i < 3; ++i) {
    if (saved[i] != nullptr) setenv(names[i], keep[i].c_str(), 1);
  }
}

TEST_F(LanguageModules, NamingRule) {
  EXPECT_EQ(LanguageModuleStem("/opt/kestrune/bin/kestrune"),
            fs::path("/opt/kestrune/share/kestrune/Res"));
  EXPECT_EQ(LanguageModuleStem("/opt/bin/KESTRUNE"), fs::path("/opt/share/kestrune/Res"));
  // The build tree: build/app/kestrune finds build/share/kestrune.
  EXPECT_EQ(DataFolder("/work/build/app/kestrune"), fs::path("/work/build/share/kestrune"));
  EXPECT_EQ(DataFolder("/usr/bin/kestrune"), fs::path("/usr/share/kestrune"));
  EXPECT_EQ(LanguageModuleStem("/opt/bin/kestrune-old"), fs::path("/opt/bin/kestrune-oldRes"));
  EXPECT_EQ(LanguageModulePath("/opt/bin/Res", 0x0409), fs::path("/opt/bin/Res409.lang"));
  EXPECT_EQ(LanguageModulePath("/opt/bin/Res", 0x0C0A), fs::path("/opt/bin/Resc0a.lang"));
  EXPECT_EQ(LanguageModulePath("/opt/bin/Res", 0), fs::path("/opt/bin/Res0.lang"));
}

TEST_F(LanguageModules, ChosenLanguageIsLoadedAndLacksFallBackToBuiltIn) {
  CopyGerman();
  WriteEnglish();
  const auto chosen = ChooseLanguageModule(Program(), 0x0407);
  ASSERT_TRUE(chosen.has_value());
  EXPECT_EQ(*chosen, data_ / "Res407.lang");
  EXPECT_EQ(LoadString(296), L"Die Anwendung l\u00e4uft bereits.");
  EXPECT_EQ(FormatString(57, 5), L"\nR\u00fcckgabewert 5.");
  EXPECT_EQ(LoadString(297), BuiltinString(297));  // not in the module
  EXPECT_EQ(BuiltinString(296), L"Application is already running.");
}

TEST_F(LanguageModules, MissingLanguageFallsBackTo409) {
  WriteEnglish("296\tEnglish module text\n");
  const auto chosen = ChooseLanguageModule(Program(), 0x0407);
  ASSERT_TRUE(chosen.has_value());
  EXPECT_EQ(*chosen, data_ / "Res409.lang");
  EXPECT_EQ(LoadString(296), L"English module text");
  EXPECT_EQ(ChooseLanguageModule(Program(), 0)->filename(), "Res409.lang");
}

TEST_F(LanguageModules, NoModuleOrRenamedProgramUsesTheBuiltInTable) {
  ASSERT_TRUE(
      LoadLanguageModule(fs::path(KESTRUNE_SOURCE_DIR) / "tests/resources/data/Res407.lang"));
  EXPECT_NE(LoadString(296), BuiltinString(296));
  // An empty folder: no module, and the one set before is dropped.
  EXPECT_FALSE(ChooseLanguageModule(Program(), 0x0407).has_value());
  EXPECT_EQ(CurrentModule(), nullptr);
  EXPECT_EQ(LoadString(296), L"Application is already running.");

  CopyGerman();
  WriteEnglish();
  EXPECT_FALSE(ChooseLanguageModule(Program("kestrune-copy"), 0x0407).has_value());
  EXPECT_EQ(LoadString(296), L"Application is already running.");
}

TEST_F(LanguageModules, UnreadableModuleKeepsTheCurrentOne) {
  CopyGerman();
  ASSERT_TRUE(LoadLanguageModule(data_ / "Res407.lang"));
  EXPECT_FALSE(LoadLanguageModule(data_ / "Res40c.lang"));
  EXPECT_FALSE(LoadLanguageModule(data_));  // a folder, not a file
  ASSERT_NE(CurrentModule(), nullptr);
  EXPECT_EQ(CurrentModule()->path, data_ / "Res407.lang");
}

TEST_F(LanguageModules, TextsHandedOutStayValidAcrossSwitches) {
  CopyGerman();
  ASSERT_TRUE(LoadLanguageModule(data_ / "Res407.lang"));
  const std::wstring& german = LoadString(296);
  SetModule(nullptr);
  WriteEnglish("296\tother\n");
  ASSERT_TRUE(LoadLanguageModule(data_ / "Res409.lang"));
  EXPECT_EQ(german, L"Die Anwendung l\u00e4uft bereits.");
  EXPECT_EQ(LoadString(296), L"other");
}

TEST_F(LanguageModules, ReadersAndSwitchersRunTogether) {
  CopyGerman();
  WriteEnglish();
  std::thread switcher([this] {
    for (int i = 0; i < 50; ++i) {
      LoadLanguageModule(data_ / (i % 2 ? "Res407.lang" : "Res409.lang"));
    }
  });
  for (int i = 0; i < 2000; ++i) {
    const std::wstring& text = LoadString(296);
    ASSERT_TRUE(text == L"Application is already running." ||
                text == L"Die Anwendung l\u00e4uft bereits.");
  }
  switcher.join();
}

TEST(BuiltinModule, ShippedModuleMatchesTheBuiltInTable) {
  // The build tree's data folder, where the programs built beside this one
  // find it.
  const fs::path shipped = DataFolder(fs::read_symlink("/proc/self/exe")) / "Res409.lang";
  ASSERT_TRUE(fs::exists(shipped)) << shipped;
  EXPECT_EQ(ReadAll(shipped), BuiltinModuleText());
  const LanguageModule module = ParseLanguageModule(ReadAll(shipped));
  EXPECT_EQ(module.skippedLines, 0u);
  const std::vector<unsigned> ids = BuiltinStringIds();
  ASSERT_EQ(module.strings.size(), ids.size());
  for (unsigned id : ids) EXPECT_EQ(module.strings.at(id), BuiltinString(id)) << id;
  // The forms' texts follow the string table, each a dialog entry.
  const LanguageModule dialogs = ParseLanguageModule(BuiltinDialogModuleText());
  EXPECT_EQ(dialogs.skippedLines, 0u);
  EXPECT_TRUE(dialogs.strings.empty());
  EXPECT_EQ(module.dialogs.size(), dialogs.dialogs.size());
}

TEST(Menus, TrayMenuAndToolbarAsData) {
  const auto& tray = LoadMenu(1502);
  ASSERT_EQ(tray.size(), 1u);
  ASSERT_TRUE(tray[0].IsPopup());
  const auto& items = tray[0].items;
  ASSERT_EQ(items.size(), 7u);
  EXPECT_EQ(items[0].id, 32781u);
  EXPECT_EQ(items[1].text, L"Raid &Wizard...");
  EXPECT_TRUE(items[2].IsSeparator());
  EXPECT_EQ(items[6].text, L"&Exit");
  EXPECT_TRUE(LoadMenu(1501).empty());
  EXPECT_EQ(LoadMenu(1500).size(), 4u);
  EXPECT_EQ(LoadToolbar(1503).size(), 10u);
  EXPECT_TRUE(LoadToolbar(1500).empty());
}

}  // namespace
}  // namespace kestrune::res
