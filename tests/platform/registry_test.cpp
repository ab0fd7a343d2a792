#include "platform/registry.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "platform/sqlite_registry.h"
#include "support/scoped_env.h"
#include "temp_dir.h"

namespace kestrune::platform {
namespace {

using Bytes = std::vector<std::uint8_t>;

// ---- REG_SZ and REG_DWORD encodings ----

TEST(RegistryCodecTest, EncodesLikeWindows) {
  EXPECT_EQ(EncodeRegSz(L"Ab"), (Bytes{0x41, 0x00, 0x62, 0x00, 0x00, 0x00}));
  EXPECT_EQ(EncodeRegSz(L""), (Bytes{0x00, 0x00}));
  EXPECT_EQ(EncodeRegSz(L"\U0001F600"), (Bytes{0x3D, 0xD8, 0x00, 0xDE, 0x00, 0x00}));
  EXPECT_EQ(EncodeRegDword(0x12345678), (Bytes{0x78, 0x56, 0x34, 0x12}));
}

TEST(RegistryCodecTest, DecodesUpToTheFirstNul) {
  EXPECT_EQ(DecodeRegSz(Bytes{0x41, 0x00, 0x00, 0x00, 0x42, 0x00}), L"A");
  EXPECT_EQ(DecodeRegSz(Bytes{0x41, 0x00, 0x42, 0x00}), L"AB");      // no terminator
  EXPECT_EQ(DecodeRegSz(Bytes{0x41, 0x00, 0x42}), L"A");             // odd trailing byte
  EXPECT_EQ(DecodeRegSz(Bytes{0x00, 0x41, 0x00, 0x00}), L"\u4100");  // NUL is a whole unit
  EXPECT_EQ(DecodeRegSz(Bytes{}), L"");
}

// ---- the SQLite store ----

class FakeSystemInfo : public SystemInfo {
 public:
  std::wstring ComputerName() override { return Get(computerName); }
  std::wstring OsName() override { return Get(osName); }
  std::wstring OsVersion() override { return Get(osVersion); }
  std::wstring OsRelease() override { return Get(osRelease); }
  std::wstring MediaPath() override { return Get(mediaPath); }

  void SetComputerName(std::wstring name) {
    std::lock_guard lock(mutex);
    computerName = std::move(name);
  }

  std::mutex mutex;
  std::wstring computerName = L"WORKBENCH";
  std::wstring osName = L"Debian GNU/Linux 12 (bookworm)";
  std::wstring osVersion = L"12";
  std::wstring osRelease = L"Linux 6.1.0-18-amd64";
  std::wstring mediaPath;

 private:
  std::wstring Get(const std::wstring& field) {
    std::lock_guard lock(mutex);
    return field;
  }
};

class RegistryTest : public ::testing::Test {
 protected:
  std::unique_ptr<Registry> Open() {
    std::string error;
    auto registry = OpenSqliteRegistry(path_, system_, error);
    EXPECT_NE(registry, nullptr) << error;
    EXPECT_TRUE(registry == nullptr || error.empty());
    return registry;
  }

  RegKey Create(Registry& registry, const std::wstring& path, const std::wstring& keyClass = L"") {
    RegKey key = kNullKey;
    EXPECT_EQ(registry.CreateKey(path, keyClass, key), RegStatus::Ok) << path;
    return key;
  }

  static std::optional<std::wstring> ReadSz(Registry& registry, RegKey key,
                                            const std::wstring& name) {
    std::array<std::uint8_t, 440> buffer{};
    RegType type = RegType::None;
    std::size_t size = 0;
    if (registry.QueryValue(key, name, type, buffer, size) != RegStatus::Ok) return std::nullopt;
    EXPECT_EQ(type, RegType::Sz);
    return DecodeRegSz(std::span(buffer).first(size));
  }

  static RegStatus WriteSz(Registry& registry, RegKey key, const std::wstring& name,
                           const std::wstring& text) {
    return registry.SetValue(key, name, RegType::Sz, EncodeRegSz(text));
  }

  testing::TempDir dir_;
  std::string path_ = dir_.File("registry.db");
  std::shared_ptr<FakeSystemInfo> system_ = std::make_shared<FakeSystemInfo>();
};

TEST_F(RegistryTest, CreateKeyStoresClassOnlyWhenCreating) {
  auto reg = Open();
  RegKey key = kNullKey;
  bool created = false;
  ASSERT_EQ(reg->CreateKey(L"Software\\Brevalis\\Kestrune", L"GenericClass", key, &created),
            RegStatus::Ok);
  EXPECT_NE(key, kNullKey);
  EXPECT_TRUE(created);

  RegKey again = kNullKey;
  ASSERT_EQ(reg->CreateKey(L"SOFTWARE\\brevalis\\KESTRUNE", L"OtherClass", again, &created),
            RegStatus::Ok);
  EXPECT_FALSE(created);
  EXPECT_NE(again, key);  // every open gives its own handle
  std::wstring keyClass;
  ASSERT_EQ(reg->KeyClass(again, keyClass), RegStatus::Ok);
  EXPECT_EQ(keyClass, L"GenericClass");

  // Names keep the case they were created with, whatever case opens them.
  RegKey parent = kNullKey;
  ASSERT_EQ(reg->OpenKey(L"software\\BREVALIS\\", parent), RegStatus::Ok);
  std::vector<std::wstring> names;
  ASSERT_EQ(reg->SubKeys(parent, names), RegStatus::Ok);
  EXPECT_EQ(names, std::vector<std::wstring>{L"Kestrune"});
}

TEST_F(RegistryTest, OpenKeyFailsCleanlyOnMissingOrMalformedPaths) {
  auto reg = Open();
  RegKey key = 77;
  EXPECT_EQ(reg->OpenKey(L"Software\\Nobody", key), RegStatus::NotFound);
  EXPECT_EQ(key, kNullKey);
  EXPECT_EQ(reg->OpenKey(L"\\Software", key), RegStatus::InvalidParameter);
  EXPECT_EQ(reg->OpenKey(L"Software\\\\Brevalis", key), RegStatus::InvalidParameter);
  EXPECT_EQ(reg->CreateKey(L"Software\\" + std::wstring(256, L'k'), L"", key),
            RegStatus::InvalidParameter);
  EXPECT_EQ(reg->CreateKey(L"Software\\" + std::wstring(255, L'k'), L"", key), RegStatus::Ok);
}

TEST_F(RegistryTest, ValuesAreTypedCaseInsensitiveAndKeptInCreationOrder) {
  auto reg = Open();
  const RegKey key = Create(*reg, L"Software\\Brevalis\\Kestrune");
  const Bytes binary{0x00, 0xFF, 0x10};
  const Bytes multi = EncodeRegSz(L"a");  // any type number is kept as given
  ASSERT_EQ(WriteSz(*reg, key, L"SMTP Server", L"mail.example.invalid"), RegStatus::Ok);
  ASSERT_EQ(reg->SetValue(key, L"Log File Size", RegType::Dword, EncodeRegDword(0x80000)),
            RegStatus::Ok);
  ASSERT_EQ(reg->SetValue(key, L"Blob", RegType::Binary, binary), RegStatus::Ok);
  ASSERT_EQ(reg->SetValue(key, L"Multi", static_cast<RegType>(7), multi), RegStatus::Ok);
  ASSERT_EQ(reg->SetValue(key, L"", RegType::Binary, Bytes{}), RegStatus::Ok);
  // Overwriting under another case keeps the place and the first spelling.
  ASSERT_EQ(WriteSz(*reg, key, L"smtp server", L"relay.example.invalid"), RegStatus::Ok);

  EXPECT_EQ(ReadSz(*reg, key, L"SMTP SERVER"), L"relay.example.invalid");
  std::vector<RegValue> values;
  ASSERT_EQ(reg->Values(key, values), RegStatus::Ok);
  ASSERT_EQ(values.size(), 5U);
  EXPECT_EQ(values[0].name, L"SMTP Server");
  EXPECT_EQ(values[0].type, RegType::Sz);
  EXPECT_EQ(values[1].name, L"Log File Size");
  EXPECT_EQ(values[1].type, RegType::Dword);
  EXPECT_EQ(values[1].data, (Bytes{0x00, 0x00, 0x08, 0x00}));
  EXPECT_EQ(values[2].data, binary);
  EXPECT_EQ(static_cast<std::uint32_t>(values[3].type), 7U);
  EXPECT_EQ(values[3].data, multi);
  EXPECT_EQ(values[4].name, L"");
  EXPECT_TRUE(values[4].data.empty());

  RegType type = RegType::None;
  std::size_t size = 99;
  std::array<std::uint8_t, 4> dword{};
  ASSERT_EQ(reg->QueryValue(key, L"log file size", type, dword, size), RegStatus::Ok);
  EXPECT_EQ(type, RegType::Dword);
  EXPECT_EQ(size, 4U);
  ASSERT_EQ(reg->QueryValue(key, L"", type, std::span<std::uint8_t>(), size), RegStatus::Ok);
  EXPECT_EQ(size, 0U);

  EXPECT_EQ(reg->DeleteValue(key, L"BLOB"), RegStatus::Ok);
  EXPECT_EQ(reg->DeleteValue(key, L"Blob"), RegStatus::NotFound);
  EXPECT_EQ(reg->QueryValue(key, L"Blob", type, dword, size), RegStatus::NotFound);
}

// Several values written as one change: those that can be written are, in
// order; the first refusal is answered.
TEST_F(RegistryTest, SetValuesWritesWhatItCanAndAnswersTheFirstRefusal) {
  auto reg = Open();
  const RegKey key = Create(*reg, L"Software\\Brevalis\\Kestrune");
  ASSERT_EQ(WriteSz(*reg, key, L"Event List", L"old"), RegStatus::Ok);
  const std::vector<RegValue> values = {
      {L"SMTP Server", RegType::Sz, EncodeRegSz(L"mail.example.invalid")},
      {std::wstring(16384, L'n'), RegType::Sz, EncodeRegSz(L"x")},  // name too long
      {L"EVENT LIST", RegType::Sz, EncodeRegSz(L"ops@example.invalid;")},
      {L"Popup Event Level", RegType::Dword, EncodeRegDword(2)},
  };
  EXPECT_EQ(reg->SetValues(key, values), RegStatus::InvalidParameter);
  std::vector<RegValue> stored;
  ASSERT_EQ(reg->Values(key, stored), RegStatus::Ok);
  ASSERT_EQ(stored.size(), 3u);
  EXPECT_EQ(stored[0].name, L"Event List");  // kept its place and its name
  EXPECT_EQ(DecodeRegSz(stored[0].data), L"ops@example.invalid;");
  EXPECT_EQ(stored[1].name, L"SMTP Server");
  EXPECT_EQ(stored[2].data, EncodeRegDword(2));
  EXPECT_EQ(reg->SetValues(key, {}), RegStatus::Ok);
  EXPECT_EQ(reg->SetValues(key + 100, values), RegStatus::InvalidHandle);

  RegKey system = kNullKey;
  ASSERT_EQ(reg->OpenKey(L"Software\\Microsoft\\Windows\\CurrentVersion", system), RegStatus::Ok);
  const std::vector<RegValue> mediaPath = {{L"MediaPath", RegType::Sz, EncodeRegSz(L"/x")}};
  EXPECT_EQ(reg->SetValues(system, mediaPath), RegStatus::AccessDenied);
}

TEST_F(RegistryTest, TextOf219CharactersFitsTheSettingsBufferAnd220DoNot) {
  auto reg = Open();
  const RegKey key = Create(*reg, L"Software\\Brevalis\\Kestrune");
  ASSERT_EQ(WriteSz(*reg, key, L"Fits", std::wstring(219, L'x')), RegStatus::Ok);
  ASSERT_EQ(WriteSz(*reg, key, L"Long", std::wstring(220, L'y')), RegStatus::Ok);

  std::array<std::uint8_t, 440> buffer{};
  RegType type = RegType::None;
  std::size_t size = 0;
  ASSERT_EQ(reg->QueryValue(key, L"Fits", type, buffer, size), RegStatus::Ok);
  EXPECT_EQ(size, 440U);
  EXPECT_EQ(DecodeRegSz(buffer), std::wstring(219, L'x'));

  buffer.fill(0xAA);
  type = RegType::None;
  ASSERT_EQ(reg->QueryValue(key, L"Long", type, buffer, size), RegStatus::MoreData);
  EXPECT_EQ(size, 442U);
  EXPECT_EQ(type, RegType::Sz);
  for (std::uint8_t b : buffer) ASSERT_EQ(b, 0xAA);  // untouched
}

TEST_F(RegistryTest, EverythingSurvivesReopening) {
  {
    auto reg = Open();
    const RegKey key = Create(*reg, L"Software\\Brevalis\\Kestrune", L"GenericClass");
    Create(*reg, L"Software\\Brevalis\\Kestrune\\DevicesDefMode");
    ASSERT_EQ(WriteSz(*reg, key, L"Log File Name", L"errlgr.txt"), RegStatus::Ok);
    ASSERT_EQ(reg->SetValue(key, L"Popup Event Level", RegType::Dword, EncodeRegDword(2)),
              RegStatus::Ok);
  }
  auto reg = Open();
  RegKey key = kNullKey;
  ASSERT_EQ(reg->OpenKey(L"Software\\Brevalis\\Kestrune", key), RegStatus::Ok);
  EXPECT_EQ(ReadSz(*reg, key, L"Log File Name"), L"errlgr.txt");
  std::wstring keyClass;
  ASSERT_EQ(reg->KeyClass(key, keyClass), RegStatus::Ok);
  EXPECT_EQ(keyClass, L"GenericClass");
  std::vector<RegValue> values;
  ASSERT_EQ(reg->Values(key, values), RegStatus::Ok);
  ASSERT_EQ(values.size(), 2U);
  EXPECT_EQ(values[1].data, EncodeRegDword(2));
  std::vector<std::wstring> names;
  ASSERT_EQ(reg->SubKeys(key, names), RegStatus::Ok);
  EXPECT_EQ(names, std::vector<std::wstring>{L"DevicesDefMode"});
}

TEST_F(RegistryTest, DeleteKeyTreeRemovesTheBranchAndInvalidatesItsHandles) {
  auto reg = Open();
  const RegKey top = Create(*reg, L"Software\\Brevalis");
  const RegKey deep = Create(*reg, L"Software\\Brevalis\\Kestrune\\DevicesDefMode");
  ASSERT_EQ(WriteSz(*reg, deep, L"Path0Target0", L"MaxMode = UDMA5"), RegStatus::Ok);
  ASSERT_EQ(WriteSz(*reg, top, L"Kept", L"yes"), RegStatus::Ok);

  EXPECT_EQ(reg->DeleteKeyTree(L"software\\brevalis\\kestrune"), RegStatus::Ok);
  RegKey key = kNullKey;
  EXPECT_EQ(reg->OpenKey(L"Software\\Brevalis\\Kestrune", key), RegStatus::NotFound);
  EXPECT_EQ(ReadSz(*reg, top, L"Kept"), L"yes");
  std::vector<std::wstring> names;
  ASSERT_EQ(reg->SubKeys(top, names), RegStatus::Ok);
  EXPECT_TRUE(names.empty());

  // A key made again under the same path is a new key: old handles stay dead.
  Create(*reg, L"Software\\Brevalis\\Kestrune\\DevicesDefMode");
  RegType type = RegType::None;
  std::size_t size = 0;
  std::array<std::uint8_t, 16> buffer{};
  EXPECT_EQ(reg->QueryValue(deep, L"Path0Target0", type, buffer, size), RegStatus::InvalidHandle);
  EXPECT_EQ(WriteSz(*reg, deep, L"x", L"y"), RegStatus::InvalidHandle);
  std::wstring keyClass;
  EXPECT_EQ(reg->KeyClass(deep, keyClass), RegStatus::InvalidHandle);

  EXPECT_EQ(reg->DeleteKeyTree(L"Software\\Nothing"), RegStatus::NotFound);
  EXPECT_EQ(reg->DeleteKeyTree(L""), RegStatus::AccessDenied);
}

TEST_F(RegistryTest, UnknownAndClosedHandlesAreRefused) {
  auto reg = Open();
  const RegKey key = Create(*reg, L"Software\\Brevalis");
  reg->CloseKey(key);
  reg->CloseKey(key);  // twice is harmless
  reg->CloseKey(kNullKey);
  std::vector<RegValue> values;
  EXPECT_EQ(reg->Values(key, values), RegStatus::InvalidHandle);
  EXPECT_EQ(reg->Values(kNullKey, values), RegStatus::InvalidHandle);
  EXPECT_EQ(reg->DeleteValue(12345, L"x"), RegStatus::InvalidHandle);
}

TEST_F(RegistryTest, CreatesTheDatabaseFolder) {
  path_ = dir_.File("deeper/still/registry.db");
  auto reg = Open();
  ASSERT_NE(reg, nullptr);
  EXPECT_TRUE(std::filesystem::exists(path_));
}

TEST_F(RegistryTest, ForeignOrDamagedFilesGiveAnErrorNamingTheFile) {
  std::string error;
  { std::ofstream(path_, std::ios::binary) << std::string(4096, 'J'); }
  EXPECT_EQ(OpenSqliteRegistry(path_, system_, error), nullptr);
  EXPECT_NE(error.find(path_), std::string::npos) << error;

  // A real registry whose first page (the schema) has been overwritten.
  std::filesystem::remove(path_);
  {
    auto reg = Open();
    Create(*reg, L"Software\\Brevalis\\Kestrune");
  }
  {
    std::fstream file(path_, std::ios::binary | std::ios::in | std::ios::out);
    file.seekp(100);
    const std::string junk(3000, '\xEE');
    file.write(junk.data(), static_cast<std::streamsize>(junk.size()));
  }
  error.clear();
  EXPECT_EQ(OpenSqliteRegistry(path_, system_, error), nullptr);
  EXPECT_NE(error.find(path_), std::string::npos) << error;

  error.clear();
  EXPECT_EQ(OpenSqliteRegistry(dir_.path().string(), system_, error), nullptr);
  EXPECT_FALSE(error.empty());
}

// A registry whose tables lack the columns this program uses is refused when
// opened, with the table named, rather than failing every read later.
TEST_F(RegistryTest, TablesWithOtherColumnsAreRefusedNamingTheTable) {
  for (const char* sql :
       {"CREATE TABLE keys(id INTEGER PRIMARY KEY, parent INTEGER, name TEXT, fold TEXT, "
        "class TEXT); INSERT INTO keys VALUES (1, NULL, '', '', ''); "
        "CREATE TABLE vals(id INTEGER PRIMARY KEY, key INTEGER, label TEXT, data BLOB);",
        "CREATE TABLE keys(id INTEGER PRIMARY KEY, name TEXT);"}) {
    std::filesystem::remove(path_);
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path_.c_str(), &db), SQLITE_OK);
    const std::string setup = std::string(sql) + " PRAGMA application_id=1263751751;";
    ASSERT_EQ(sqlite3_exec(db, setup.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
    std::string error;
    EXPECT_EQ(OpenSqliteRegistry(path_, system_, error), nullptr);
    EXPECT_NE(error.find(path_), std::string::npos) << error;
    EXPECT_NE(error.find("columns"), std::string::npos) << error;
  }
}

TEST_F(RegistryTest, SystemKeysAnswerFromTheMachineAndRefuseWrites) {
  system_->mediaPath = L"/usr/share/kestrune/Media";
  auto reg = Open();
  RegKey nt = kNullKey;
  ASSERT_EQ(reg->OpenKey(L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", nt), RegStatus::Ok);
  EXPECT_EQ(ReadSz(*reg, nt, L"ProductName"), L"Debian GNU/Linux 12 (bookworm)");
  EXPECT_EQ(ReadSz(*reg, nt, L"currentversion"), L"12");
  EXPECT_EQ(ReadSz(*reg, nt, L"CSDVersion"), L"Linux 6.1.0-18-amd64");
  EXPECT_EQ(WriteSz(*reg, nt, L"PRODUCTNAME", L"Windows"), RegStatus::AccessDenied);
  EXPECT_EQ(reg->DeleteValue(nt, L"CSDVersion"), RegStatus::AccessDenied);
  EXPECT_EQ(ReadSz(*reg, nt, L"ProductName"), L"Debian GNU/Linux 12 (bookworm)");

  // Other values beside them are ordinary store content.
  ASSERT_EQ(WriteSz(*reg, nt, L"RegisteredOwner", L"Lab"), RegStatus::Ok);
  std::vector<RegValue> values;
  ASSERT_EQ(reg->Values(nt, values), RegStatus::Ok);
  ASSERT_EQ(values.size(), 4U);
  EXPECT_EQ(values[0].name, L"ProductName");
  EXPECT_EQ(values[3].name, L"RegisteredOwner");

  // The machine is asked at every read.
  RegKey name = kNullKey;
  bool created = true;
  ASSERT_EQ(reg->CreateKey(L"System\\CurrentControlSet\\Control\\ComputerName\\ComputerName", L"",
                           name, &created),
            RegStatus::Ok);
  EXPECT_FALSE(created);
  EXPECT_EQ(ReadSz(*reg, name, L"ComputerName"), L"WORKBENCH");
  system_->SetComputerName(L"BENCH2");
  EXPECT_EQ(ReadSz(*reg, name, L"ComputerName"), L"BENCH2");

  RegKey windows = kNullKey;
  ASSERT_EQ(reg->OpenKey(L"Software\\Microsoft\\Windows\\CurrentVersion", windows), RegStatus::Ok);
  EXPECT_EQ(ReadSz(*reg, windows, L"MediaPath"), L"/usr/share/kestrune/Media");

  EXPECT_EQ(reg->DeleteKeyTree(L"Software\\Microsoft"), RegStatus::AccessDenied);
  EXPECT_EQ(reg->DeleteKeyTree(L"Software\\Microsoft\\Windows NT\\CurrentVersion"),
            RegStatus::AccessDenied);
  EXPECT_EQ(ReadSz(*reg, nt, L"ProductName"), L"Debian GNU/Linux 12 (bookworm)");
}

TEST_F(RegistryTest, EmptySystemTextReadsAsMissing) {
  system_->mediaPath.clear();
  auto reg = Open();
  RegKey windows = kNullKey;
  ASSERT_EQ(reg->OpenKey(L"Software\\Microsoft\\Windows\\CurrentVersion", windows), RegStatus::Ok);
  EXPECT_EQ(ReadSz(*reg, windows, L"MediaPath"), std::nullopt);
}

TEST_F(RegistryTest, TwoObjectsOnOneFileSeeEachOthersWrites) {
  auto first = Open();
  auto second = Open();
  const RegKey a = Create(*first, L"Software\\Brevalis\\Kestrune");
  ASSERT_EQ(WriteSz(*first, a, L"Event List", L"ops@example.invalid;"), RegStatus::Ok);

  RegKey b = kNullKey;
  ASSERT_EQ(second->OpenKey(L"Software\\Brevalis\\Kestrune", b), RegStatus::Ok);
  EXPECT_EQ(ReadSz(*second, b, L"Event List"), L"ops@example.invalid;");
  ASSERT_EQ(WriteSz(*second, b, L"Event List", L"night@example.invalid;"), RegStatus::Ok);
  EXPECT_EQ(ReadSz(*first, a, L"Event List"), L"night@example.invalid;");

  ASSERT_EQ(second->DeleteKeyTree(L"Software\\Brevalis"), RegStatus::Ok);
  EXPECT_EQ(WriteSz(*first, a, L"Event List", L"x"), RegStatus::InvalidHandle);
}

TEST_F(RegistryTest, ConcurrentWritersLoseNothing) {
  auto shared = Open();
  auto other = Open();
  constexpr int kThreads = 4;
  constexpr int kWrites = 25;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      Registry& reg = (t % 2 == 0) ? *shared : *other;
      RegKey key = kNullKey;
      ASSERT_EQ(reg.CreateKey(L"Software\\Load", L"", key), RegStatus::Ok);
      for (int i = 0; i < kWrites; ++i) {
        const std::wstring name = L"t" + std::to_wstring(t) + L"v" + std::to_wstring(i);
        ASSERT_EQ(WriteSz(reg, key, name, name), RegStatus::Ok);
      }
      reg.CloseKey(key);
    });
  }
  for (auto& thread : threads) thread.join();
  const RegKey key = Create(*shared, L"Software\\Load");
  std::vector<RegValue> values;
  ASSERT_EQ(shared->Values(key, values), RegStatus::Ok);
  EXPECT_EQ(values.size(), static_cast<std::size_t>(kThreads * kWrites));
}

// Several programs opening a registry file that does not exist yet at the same
// moment: every one of them must get a usable store. Each round starts its
// processes together behind a pipe that the parent closes.
TEST_F(RegistryTest, ProcessesRacingToCreateTheFileAllSucceed) {
  constexpr int kRounds = 25;
  constexpr int kProcesses = 4;
  int failures = 0;
  for (int round = 0; round < kRounds; ++round) {
    const std::string file = dir_.File("race" + std::to_string(round) + ".db");
    int gate[2];
    ASSERT_EQ(::pipe(gate), 0);
    std::vector<pid_t> children;
    for (int p = 0; p < kProcesses; ++p) {
      const pid_t pid = ::fork();
      ASSERT_GE(pid, 0);
      if (pid == 0) {
        ::close(gate[1]);
        char byte = 0;
        [[maybe_unused]] const auto n = ::read(gate[0], &byte, 1);  // EOF: go
        std::string error;
        auto reg = OpenSqliteRegistry(file, system_, error);
        RegKey key = kNullKey;
        const bool ok = reg != nullptr &&
                        reg->CreateKey(L"Software\\Brevalis\\Kestrune", L"", key) == RegStatus::Ok &&
                        WriteSz(*reg, key, L"p" + std::to_wstring(p), L"x") == RegStatus::Ok;
        if (!ok) std::fprintf(stderr, "round %d process %d: %s\n", round, p, error.c_str());
        reg.reset();
        ::_exit(ok ? 0 : 1);
      }
      children.push_back(pid);
    }
    ::close(gate[0]);
    ::close(gate[1]);
    for (const pid_t pid : children) {
      int status = 0;
      ASSERT_EQ(::waitpid(pid, &status, 0), pid);
      if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) ++failures;
    }
    path_ = file;
    auto reg = Open();
    ASSERT_NE(reg, nullptr);
    std::vector<RegValue> values;
    ASSERT_EQ(reg->Values(Create(*reg, L"Software\\Brevalis\\Kestrune"), values), RegStatus::Ok);
    EXPECT_EQ(values.size(), static_cast<std::size_t>(kProcesses - failures)) << file;
  }
  EXPECT_EQ(failures, 0) << "of " << kRounds * kProcesses << " opens";
}

using test::ScopedEnv;

TEST(DefaultRegistryPathTest, FollowsTheEnvironment) {
  {
    ScopedEnv registry("KESTRUNE_REGISTRY", "/tmp/chosen.db");
    ScopedEnv config("XDG_CONFIG_HOME", "/cfg");
    EXPECT_EQ(DefaultRegistryPath(), "/tmp/chosen.db");
  }
  ScopedEnv registry("KESTRUNE_REGISTRY", nullptr);
  {
    ScopedEnv config("XDG_CONFIG_HOME", "/cfg");
    EXPECT_EQ(DefaultRegistryPath(), "/cfg/kestrune/registry.db");
  }
  ScopedEnv home("HOME", "/home/admin");
  {
    ScopedEnv config("XDG_CONFIG_HOME", "relative");  // not absolute: ignored
    EXPECT_EQ(DefaultRegistryPath(), "/home/admin/.config/kestrune/registry.db");
  }
  ScopedEnv config("XDG_CONFIG_HOME", nullptr);
  EXPECT_EQ(DefaultRegistryPath(), "/home/admin/.config/kestrune/registry.db");
}

}  // namespace
}  // namespace kestrune::platform
