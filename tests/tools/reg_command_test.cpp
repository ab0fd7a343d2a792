#include "reg_command.h"

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "controller/adapter_keys.h"
#include "controller/controller_io.h"
#include "platform/recording_ui.h"
#include "platform/sqlite_registry.h"
#include "platform/temp_dir.h"
#include "platform/text.h"
#include "settings/app_settings.h"

namespace kestrune::tools {
namespace {

using platform::RegKey;
using platform::RegStatus;
using platform::RegType;
using Bytes = std::vector<std::uint8_t>;

struct Result {
  int code;
  std::string out;
  std::string err;
};

class RegCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    registry_ = Open();
    ASSERT_NE(registry_, nullptr);
  }

  // Another handle on the same file, as another process would have.
  std::shared_ptr<platform::Registry> Open() {
    std::string error;
    std::shared_ptr<platform::Registry> registry =
        platform::OpenSqliteRegistry(dir_.File("registry.db"), nullptr, error);
    EXPECT_NE(registry, nullptr) << error;
    return registry;
  }

  Result Run(const std::vector<std::string>& args, const std::string& input = "") {
    std::istringstream in(input);
    std::ostringstream out;
    std::ostringstream err;
    const int code = RunRegCommand(args, *registry_, in, out, err);
    return {code, out.str(), err.str()};
  }

  void Put(const std::wstring& path, const std::wstring& name, RegType type, const Bytes& data) {
    RegKey key = platform::kNullKey;
    ASSERT_EQ(registry_->CreateKey(path, L"", key), RegStatus::Ok);
    ASSERT_EQ(registry_->SetValue(key, name, type, data), RegStatus::Ok);
    registry_->CloseKey(key);
  }

  std::optional<platform::RegValue> Get(const std::wstring& path, const std::wstring& name) {
    RegKey key = platform::kNullKey;
    if (registry_->OpenKey(path, key) != RegStatus::Ok) return std::nullopt;
    std::vector<platform::RegValue> values;
    registry_->Values(key, values);
    registry_->CloseKey(key);
    for (auto& v : values)
      if (v.name == name) return v;
    return std::nullopt;
  }

  bool KeyExists(const std::wstring& path) {
    RegKey key = platform::kNullKey;
    if (registry_->OpenKey(path, key) != RegStatus::Ok) return false;
    registry_->CloseKey(key);
    return true;
  }

  testing::TempDir dir_;
  std::shared_ptr<platform::Registry> registry_;
};

const std::string kKey = "HKLM\\Software\\Brevalis\\Kestrune";

// ---- with the program's own settings ----

TEST_F(RegCommandTest, ValuesAddedWithTheToolAreLoadedAndSavedOnesQueried) {
  EXPECT_EQ(Run({"add", kKey, "/v", "SMTP Server", "/t", "REG_SZ", "/d", "mail.lab.invalid"}).code,
            0);
  EXPECT_EQ(Run({"add", kKey, "/v", "Popup Event Level", "/t", "REG_DWORD", "/d", "0x3"}).code, 0);
  EXPECT_EQ(Run({"add", kKey, "/v", "Log File Enabled", "/d", "false"}).code, 0);

  auto ui = std::make_shared<platform::RecordingUi>();
  auto store = Open();
  ctl::CControllerIo io(ctl::ControllerServices{nullptr, nullptr, store, nullptr, ui, nullptr});
  settings::AppSettings appSettings(store, ui);
  appSettings.Load(ctl::ComputerName(io), ctl::AdapterKeyOpener(io));
  EXPECT_EQ(appSettings.SmtpServer(), L"mail.lab.invalid");
  EXPECT_EQ(appSettings.PopupEventLevel(), 3u);
  EXPECT_FALSE(settings::AppSettings::SwitchOn(appSettings.LogFileEnabled()));

  appSettings.SetEventList(L"ops@lab.invalid;");
  appSettings.SetEmailEventLevel(2);
  appSettings.Save();
  const Result list = Run({"query", kKey, "/v", "Event List"});
  EXPECT_EQ(list.code, 0);
  EXPECT_EQ(list.out,
            "HKEY_LOCAL_MACHINE\\Software\\Brevalis\\Kestrune\n"
            "    Event List    REG_SZ    ops@lab.invalid;\n");
  const Result all = Run({"query", kKey});
  EXPECT_EQ(all.code, 0);
  EXPECT_NE(all.out.find("\n    Email Event Level    REG_DWORD    0x2\n"), std::string::npos);
  EXPECT_NE(all.out.find("\n    Log File Size    REG_DWORD    0x80000\n"), std::string::npos);
  EXPECT_NE(all.out.find("\n\nHKEY_LOCAL_MACHINE\\Software\\Brevalis\\Kestrune\\DevicesDefMode\n"),
            std::string::npos);
}

// ---- query ----

TEST_F(RegCommandTest, QueryListsValuesThenSubKeys) {
  Put(L"Software\\Test", L"Text", RegType::Sz, platform::EncodeRegSz(L"a \u00e9"));
  Put(L"Software\\Test", L"Number", RegType::Dword, {0x78, 0x56, 0x34, 0x12});
  Put(L"Software\\Test", L"Blob", RegType::Binary, {0x00, 0xAB, 0x7F});
  Put(L"Software\\Test\\Child", L"x", RegType::Sz, platform::EncodeRegSz(L""));
  Put(L"Software\\Test\\Other", L"x", RegType::Sz, platform::EncodeRegSz(L""));
  const Result r = Run({"query", "HKEY_LOCAL_MACHINE\\Software\\Test"});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out,
            "HKEY_LOCAL_MACHINE\\Software\\Test\n"
            "    Text    REG_SZ    a \xC3\xA9\n"
            "    Number    REG_DWORD    0x12345678\n"
            "    Blob    REG_BINARY    00AB7F\n"
            "\n"
            "HKEY_LOCAL_MACHINE\\Software\\Test\\Child\n"
            "HKEY_LOCAL_MACHINE\\Software\\Test\\Other\n");
  // Both roots, any case, a trailing separator.
  EXPECT_EQ(Run({"query", "hklm\\software\\test\\"}).out,
            Run({"query", "HKLM\\software\\test"}).out);
  EXPECT_EQ(Run({"query", "HKLM\\Software\\Test", "/v", "number"}).out,
            "HKEY_LOCAL_MACHINE\\Software\\Test\n    Number    REG_DWORD    0x12345678\n");
}

TEST_F(RegCommandTest, MissingKeysAndValuesFail) {
  Put(L"Software\\Test", L"Text", RegType::Sz, platform::EncodeRegSz(L"t"));
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"query", "HKLM\\Software\\Nothing"},
           {"query", "HKLM\\Software\\Test", "/v", "Nothing"},
           {"delete", "HKLM\\Software\\Nothing", "/f"},
           {"delete", "HKLM\\Software\\Test", "/v", "Nothing", "/f"},
           {"export", "HKLM\\Software\\Nothing", dir_.File("x.reg")}}) {
    SCOPED_TRACE(args[0] + " " + args[1]);
    const Result r = Run(args);
    EXPECT_EQ(r.code, kRegExitFailed);
    EXPECT_EQ(r.err, "ERROR: The system was unable to find the specified registry key or value.\n");
  }
  EXPECT_FALSE(KeyExists(L"Software\\Nothing"));
  EXPECT_FALSE(std::ifstream(dir_.File("x.reg")).good());
}

// ---- add ----

TEST_F(RegCommandTest, AddWritesTheTypesByteForByte) {
  EXPECT_EQ(Run({"add", "HKLM\\A\\B", "/v", "s", "/d", "Ab"}).code, 0);
  EXPECT_EQ(Run({"add", "HKLM\\A\\B", "/v", "n", "/t", "reg_dword", "/d", "0x12345678"}).code, 0);
  EXPECT_EQ(Run({"add", "HKLM\\A\\B", "/v", "d", "/t", "REG_DWORD", "/d", "4294967295"}).code, 0);
  EXPECT_EQ(Run({"add", "HKLM\\A\\B", "/v", "e", "/t", "REG_SZ"}).code, 0);
  EXPECT_EQ(Run({"add", "HKLM\\A\\C"}).code, 0);  // the key alone
  EXPECT_EQ(Get(L"A\\B", L"s")->data, (Bytes{0x41, 0x00, 0x62, 0x00, 0x00, 0x00}));
  EXPECT_EQ(Get(L"A\\B", L"n")->type, RegType::Dword);
  EXPECT_EQ(Get(L"A\\B", L"n")->data, (Bytes{0x78, 0x56, 0x34, 0x12}));
  EXPECT_EQ(Get(L"A\\B", L"d")->data, (Bytes{0xFF, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(Get(L"A\\B", L"e")->data, (Bytes{0x00, 0x00}));
  EXPECT_TRUE(KeyExists(L"A\\C"));
  EXPECT_EQ(Run({"add", "HKLM\\A\\C"}).out, "The operation completed successfully.\n");
}

TEST_F(RegCommandTest, AddAsksBeforeOverwriting) {
  Put(L"A", L"v", RegType::Sz, platform::EncodeRegSz(L"old"));
  const std::wstring oldText = L"old";
  const auto text = [&] { return platform::DecodeRegSz(Get(L"A", L"v")->data); };

  Result r = Run({"add", "HKLM\\A", "/v", "v", "/d", "new"});  // nobody answers
  EXPECT_EQ(r.code, kRegExitFailed);
  EXPECT_EQ(r.out.rfind("Value v exists, overwrite(Yes/No)? ", 0), 0u);
  EXPECT_EQ(text(), oldText);

  r = Run({"add", "HKLM\\A", "/v", "v", "/d", "new"}, "maybe\nno\n");
  EXPECT_EQ(r.code, kRegExitFailed);
  EXPECT_EQ(text(), oldText);

  r = Run({"add", "HKLM\\A", "/v", "v", "/d", "new"}, "Yes\n");
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(text(), L"new");

  r = Run({"add", "HKLM\\A", "/v", "V", "/d", "newer", "/f"});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out, "The operation completed successfully.\n");
  EXPECT_EQ(text(), L"newer");
}

TEST(ParseDwordTest, DecimalAndHexWithinThirtyTwoBits) {
  EXPECT_EQ(ParseDword("0"), 0u);
  EXPECT_EQ(ParseDword("4294967295"), 0xFFFFFFFFu);
  EXPECT_EQ(ParseDword("000000000000000000017"), 17u);
  EXPECT_EQ(ParseDword("0x0"), 0u);
  EXPECT_EQ(ParseDword("0X1f"), 31u);
  EXPECT_EQ(ParseDword("0xFFFFFFFF"), 0xFFFFFFFFu);
  EXPECT_EQ(ParseDword("0x00000000ffffffff"), 0xFFFFFFFFu);
  for (const char* bad : {"", "4294967296", "99999999999999999999999", "0x100000000", "0x", "-1",
                          "+1", " 1", "1 ", "12abc", "1.0", "0xg", "x10", "ff"}) {
    EXPECT_FALSE(ParseDword(bad)) << bad;
  }
}

// ---- delete ----

TEST_F(RegCommandTest, DeleteRemovesAValueOrAKeyTreeAfterConfirmation) {
  Put(L"A\\B", L"v", RegType::Sz, platform::EncodeRegSz(L"1"));
  Put(L"A\\B", L"w", RegType::Sz, platform::EncodeRegSz(L"2"));
  Put(L"A\\B\\C", L"x", RegType::Sz, platform::EncodeRegSz(L"3"));

  Result r = Run({"delete", "HKLM\\A\\B", "/v", "v"});
  EXPECT_EQ(r.code, kRegExitFailed);
  EXPECT_TRUE(Get(L"A\\B", L"v"));
  r = Run({"delete", "HKLM\\A\\B", "/v", "v"}, "y\n");
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out, "Delete the registry value v (Yes/No)? The operation completed successfully.\n");
  EXPECT_FALSE(Get(L"A\\B", L"v"));
  EXPECT_TRUE(Get(L"A\\B", L"w"));

  r = Run({"delete", "HKLM\\A\\B"}, "n\n");
  EXPECT_EQ(r.code, kRegExitFailed);
  EXPECT_TRUE(KeyExists(L"A\\B\\C"));
  r = Run({"delete", "HKLM\\A\\B", "/f"});
  EXPECT_EQ(r.code, 0);
  EXPECT_FALSE(KeyExists(L"A\\B"));
  EXPECT_FALSE(KeyExists(L"A\\B\\C"));
  EXPECT_TRUE(KeyExists(L"A"));

  r = Run({"delete", "HKLM", "/f"});  // the root stays
  EXPECT_EQ(r.code, kRegExitFailed);
  EXPECT_EQ(r.err, "ERROR: Access is denied.\n");
  EXPECT_TRUE(KeyExists(L"A"));
}

// ---- bad arguments ----

TEST_F(RegCommandTest, BadArgumentsFailWithoutTouchingTheStore) {
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"frob", "HKLM\\X"},
      {"query"},
      {"query", "HKCU\\Software"},
      {"query", "Software\\X"},
      {"query", "HKLMX\\Software"},
      {"query", "HKLM\\X", "extra"},
      {"query", "HKLM\\X", "/f"},
      {"add", "HKLM\\X", "/v"},
      {"add", "HKLM\\X", "/v", ""},
      {"add", "HKLM\\X", "/v", "a", "/v", "b"},
      {"add", "HKLM\\X", "/d", "data"},
      {"add", "HKLM\\X", "/v", "a", "/t", "REG_BINARY", "/d", "00"},
      {"add", "HKLM\\X", "/v", "a", "/t", "REG_DWORD"},
      {"add", "HKLM\\X", "/v", "a", "/t", "REG_DWORD", "/d", "12abc"},
      {"add", "HKLM\\X", "/v", "a", "/t", "REG_DWORD", "/d", "4294967296"},
      {"add", "HKLM\\X", "/v", "a", "/t", "REG_DWORD", "/d", "-5"},
      {"delete", "HKLM\\X", "/v", "a", "/y"},
      {"export", "HKLM\\X"},
      {"export", "HKLM\\X", "a.reg", "b.reg"},
  };
  for (const auto& args : cases) {
    std::string line;
    for (const auto& a : args) line += a + " ";
    SCOPED_TRACE(line);
    const Result r = Run(args);
    EXPECT_EQ(r.code, kRegExitUsage);
    EXPECT_EQ(r.err.rfind("ERROR: ", 0), 0u);
    EXPECT_EQ(r.out, "");
  }
  EXPECT_FALSE(KeyExists(L"X"));
}

TEST_F(RegCommandTest, HelpPrintsTheUsage) {
  const Result r = Run({"add", "/?"});
  EXPECT_EQ(r.code, 0);
  EXPECT_NE(r.out.find("kestrune-reg export KEY FILE"), std::string::npos);
}

// ---- export ----

TEST_F(RegCommandTest, ExportWritesTheRegeditForm) {
  Put(L"Software\\Test", L"Path", RegType::Sz, platform::EncodeRegSz(L"C:\\x \"q\""));
  Put(L"Software\\Test", L"", RegType::Sz, platform::EncodeRegSz(L"default"));
  Put(L"Software\\Test", L"Size", RegType::Dword, {0x00, 0x00, 0x08, 0x00});
  Put(L"Software\\Test", L"Blob", RegType::Binary, {0x00, 0xAB, 0x7F});
  Put(L"Software\\Test", L"Lines", RegType::Sz, {'a', 0, '\n', 0, 0, 0});
  Put(L"Software\\Test", L"Odd", RegType::Dword, {1, 2});
  Put(L"Software\\Test\\Sub", L"n\u00e9", RegType::Sz, platform::EncodeRegSz(L"\u00e9"));
  const std::string file = dir_.File("out.reg");
  const Result r = Run({"export", "HKLM\\Software\\Test", file});
  EXPECT_EQ(r.code, 0) << r.err;
  std::ifstream in(file, std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(text,
            "Windows Registry Editor Version 5.00\n"
            "\n"
            "[HKEY_LOCAL_MACHINE\\Software\\Test]\n"
            "\"Path\"=\"C:\\\\x \\\"q\\\"\"\n"
            "@=\"default\"\n"
            "\"Size\"=dword:00080000\n"
            "\"Blob\"=hex:00,ab,7f\n"
            "\"Lines\"=hex(1):61,00,0a,00,00,00\n"
            "\"Odd\"=hex(4):01,02\n"
            "\n"
            "[HKEY_LOCAL_MACHINE\\Software\\Test\\Sub]\n"
            "\"n\xC3\xA9\"=\"\xC3\xA9\"\n"
            "\n");
}

TEST_F(RegCommandTest, ExportWrapsLongHexLines) {
  Put(L"T", L"Big", RegType::Binary, Bytes(100, 0x5A));
  std::string text;
  std::string error;
  ASSERT_TRUE(ExportText(*registry_, L"T", "HKEY_LOCAL_MACHINE\\T", text, error));
  std::istringstream lines(text);
  std::string line;
  std::string hex;
  bool inValue = false;
  while (std::getline(lines, line)) {
    EXPECT_LE(line.size(), 80u);
    if (line.rfind("\"Big\"=hex:", 0) == 0) {
      inValue = true;
      line.erase(0, 10);
    } else if (inValue) {
      ASSERT_EQ(line.rfind("  ", 0), 0u);
      line.erase(0, 2);
    }
    if (!inValue) continue;
    const bool more = !line.empty() && line.back() == '\\';
    hex += more ? line.substr(0, line.size() - 1) : line;
    if (!more) inValue = false;
  }
  std::string expected;
  for (int i = 0; i < 100; ++i) expected += i ? ",5a" : "5a";
  EXPECT_EQ(hex, expected);
}

TEST_F(RegCommandTest, ExportAsksBeforeReplacingAFile) {
  Put(L"T", L"v", RegType::Sz, platform::EncodeRegSz(L"1"));
  const std::string file = dir_.File("old.reg");
  std::ofstream(file) << "keep";
  EXPECT_EQ(Run({"export", "HKLM\\T", file}).code, kRegExitFailed);
  std::ifstream kept(file);
  std::string content;
  std::getline(kept, content);
  EXPECT_EQ(content, "keep");
  EXPECT_EQ(Run({"export", "HKLM\\T", file, "/y"}).code, 0);
  std::ifstream replaced(file);
  std::getline(replaced, content);
  EXPECT_EQ(content, "Windows Registry Editor Version 5.00");

  const Result r = Run({"export", "HKLM\\T", dir_.File("no/such/folder/x.reg")});
  EXPECT_EQ(r.code, kRegExitFailed);
  EXPECT_NE(r.err.find("Cannot write"), std::string::npos);
}

}  // namespace
}  // namespace kestrune::tools
