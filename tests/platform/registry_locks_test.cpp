// The registry store against other code of the process opening and closing
// its files, and other processes using the store meanwhile: a close of any
// descriptor of a file drops every POSIX lock the process holds on it, so a
// store relying on those would let the other processes in while it writes.
//
// The other processes are this test program started anew (a forked child
// would inherit SQLite's view of the parent's locks and prove nothing).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry.h"
#include "platform/sqlite_registry.h"
#include "temp_dir.h"

extern char** environ;

namespace kestrune::platform {
namespace {

constexpr const wchar_t* kSettingsKey = L"Software\\Brevalis\\Kestrune";
constexpr const char* kHelperVariable = "KESTRUNE_REGISTRY_LOCKS_HELPER";
// Exit codes of the helper.
constexpr int kDone = 0;
constexpr int kBusy = 10;
constexpr int kFailed = 20;

std::unique_ptr<Registry> OpenStore(const std::string& path) {
  std::string error;
  return OpenSqliteRegistry(path, nullptr, error);
}

bool Write(Registry& registry, const std::wstring& name) {
  RegKey key = kNullKey;
  if (registry.CreateKey(kSettingsKey, L"", key) != RegStatus::Ok) return false;
  const bool ok = registry.SetValue(key, name, RegType::Sz, EncodeRegSz(name)) == RegStatus::Ok;
  registry.CloseKey(key);
  return ok;
}

std::optional<std::wstring> Read(Registry& registry, const std::wstring& name) {
  RegKey key = kNullKey;
  if (registry.OpenKey(kSettingsKey, key) != RegStatus::Ok) return std::nullopt;
  std::array<std::uint8_t, 440> buffer{};
  RegType type = RegType::None;
  std::size_t size = 0;
  const RegStatus status = registry.QueryValue(key, name, type, buffer, size);
  registry.CloseKey(key);
  if (status != RegStatus::Ok) return std::nullopt;
  return DecodeRegSz(std::span(buffer).first(size));
}

std::vector<std::wstring> Split(std::wstring_view text) {
  std::vector<std::wstring> parts;
  while (!text.empty()) {
    const auto end = text.find(L',');
    parts.emplace_back(text.substr(0, end));
    if (end == std::wstring_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return parts;
}

// A plain SQLite program (the command-line shell, say) trying for a moment to
// read or to write the file; kBusy when the store's locks keep it out.
int TryPlainSqlite(const std::string& path, const char* sql) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
    sqlite3_close_v2(db);
    return kFailed;
  }
  const int rc = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
  sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close_v2(db);
  if ((rc & 0xFF) == SQLITE_BUSY) return kBusy;
  return rc == SQLITE_OK ? kDone : kFailed;
}

// The helper process: "write|file|name" writes one value through a store of
// its own, "missing|file|a,b,c" exits with the number of values not found
// with their texts, "read|file" and "commit|file" try plain SQLite,
// "crash-in-wal|file" leaves a value in a write-ahead log.
int HelperMain(std::string_view job) {
  const auto first = job.find('|');
  const auto second = job.find('|', first + 1);
  if (first == std::string_view::npos) return kFailed;
  const std::string_view verb = job.substr(0, first);
  const std::string path(job.substr(
      first + 1, second == std::string_view::npos ? std::string_view::npos : second - first - 1));
  const std::wstring argument =
      second == std::string_view::npos
          ? std::wstring()
          : std::wstring(job.begin() + static_cast<std::ptrdiff_t>(second) + 1, job.end());
  if (verb == "read") return TryPlainSqlite(path, "BEGIN; SELECT count(*) FROM vals;");
  if (verb == "crash-in-wal") {
    // An earlier version's store: write-ahead mode, a value in the log not
    // yet copied into the file, and the program gone without closing.
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, "unix") != SQLITE_OK) {
      return kFailed;
    }
    const int rc = sqlite3_exec(db,
                                "PRAGMA journal_mode=WAL; PRAGMA wal_autocheckpoint=0;"
                                "INSERT INTO vals(key, name, fold, type, data) "
                                "SELECT key, 'logged', 'logged', type, "
                                "X'6C006F006700670065006400' || X'0000' FROM vals "
                                "WHERE fold = 'before';",
                                nullptr, nullptr, nullptr);
    ::_exit(rc == SQLITE_OK ? kDone : kFailed);
  }
  if (verb == "commit") {
    return TryPlainSqlite(path, "BEGIN IMMEDIATE; DELETE FROM vals WHERE 0; COMMIT;");
  }
  auto store = OpenStore(path);
  if (store == nullptr) return kFailed;
  if (verb == "write") return Write(*store, argument) ? kDone : kFailed;
  if (verb == "missing") {
    int missing = 0;
    for (const auto& name : Split(argument)) missing += Read(*store, name) == name ? 0 : 1;
    return missing;
  }
  return kFailed;
}

[[maybe_unused]] const bool kRanAsHelper = [] {
  if (const char* job = std::getenv(kHelperVariable)) ::_exit(HelperMain(job));
  return false;
}();

// Runs the helper for job in a process of its own and gives its exit status,
// -1 when it did not exit normally.
int InOtherProcess(const std::string& job) {
  std::vector<std::string> variables;
  for (char** entry = environ; *entry != nullptr; ++entry) variables.emplace_back(*entry);
  variables.push_back(std::string(kHelperVariable) + "=" + job);
  std::vector<char*> envp;
  for (auto& variable : variables) envp.push_back(variable.data());
  envp.push_back(nullptr);
  std::string name = "registry-locks-helper";
  std::array<char*, 2> argv{name.data(), nullptr};
  pid_t pid = 0;
  if (::posix_spawn(&pid, "/proc/self/exe", nullptr, nullptr, argv.data(), envp.data()) != 0) {
    return -1;
  }
  int status = 0;
  if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

std::string Narrow(const std::wstring& text) {
  return std::string(text.begin(), text.end());
}

// What a file dialog or a copy does to a file it looks at: open, read a
// little, close. Files that do not exist are skipped.
void PeekAt(const std::string& path) {
  for (const char* suffix : {"", "-journal", "-wal", "-shm"}) {
    const int fd = ::open((path + suffix).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) continue;
    std::array<char, 16> head{};
    [[maybe_unused]] const auto n = ::read(fd, head.data(), head.size());
    ::close(fd);
  }
}

// The settings program's life: it keeps its store open, writes what the user
// confirms, and meanwhile its file dialog peeks at the store's files and a
// command-line tool changes a value of its own. Every confirmed write must be
// found by a fresh reader, in another process while the program runs, and
// after the program has closed its store.
TEST(RegistryLocksTest, ConfirmedWritesSurviveForeignClosesAndOtherWriters) {
  testing::TempDir dir;
  const std::string path = dir.File("registry.db");
  auto program = OpenStore(path);
  ASSERT_NE(program, nullptr);

  std::vector<std::wstring> written;
  for (int round = 0; round < 4; ++round) {
    const std::wstring mine = L"program" + std::to_wstring(round);
    ASSERT_TRUE(Write(*program, mine));
    written.push_back(mine);
    PeekAt(path);
    const std::wstring tools = L"tool" + std::to_wstring(round);
    ASSERT_EQ(InOtherProcess("write|" + path + "|" + Narrow(tools)), kDone);
    written.push_back(tools);
    PeekAt(path);
  }
  ASSERT_TRUE(Write(*program, L"last"));
  written.push_back(L"last");

  std::wstring names;
  for (const auto& name : written) {
    EXPECT_EQ(Read(*program, name), name) << "the program's own view";
    names += (names.empty() ? L"" : L",") + name;
  }
  EXPECT_EQ(InOtherProcess("missing|" + path + "|" + Narrow(names)), 0)
      << "values another process does not find while the program runs";
  program.reset();
  EXPECT_EQ(InOtherProcess("missing|" + path + "|" + Narrow(names)), 0)
      << "values another process does not find after the program closed its store";
}

// Inside a transaction of the store, a close of the file elsewhere in the
// process must not let another process read half-written pages or write
// beside it.
TEST(RegistryLocksTest, LocksOfAnOpenTransactionSurviveForeignCloses) {
  struct Case {
    const char* begin;   // what the store's connection holds
    const char* helper;  // what another process then tries
  };
  constexpr std::array<Case, 3> kCases{{
      {"BEGIN; SELECT count(*) FROM vals;", "commit"},  // a reader keeps writers out
      {"BEGIN IMMEDIATE; DELETE FROM vals WHERE 0;", "commit"},
      {"BEGIN EXCLUSIVE;", "read"},
  }};
  testing::TempDir dir;
  const std::string path = dir.File("registry.db");
  ASSERT_NE(OpenStore(path), nullptr);  // sets the file up

  for (const Case& c : kCases) {
    SCOPED_TRACE(c.begin);
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, RegistryVfsName()),
              SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, c.begin, nullptr, nullptr, nullptr), SQLITE_OK);
    EXPECT_EQ(InOtherProcess(std::string(c.helper) + "|" + path), kBusy) << "before the close";
    PeekAt(path);
    EXPECT_EQ(InOtherProcess(std::string(c.helper) + "|" + path), kBusy) << "after the close";
    ASSERT_EQ(sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr), SQLITE_OK);
    EXPECT_EQ(InOtherProcess(std::string(c.helper) + "|" + path), kDone) << "once it ended";
    sqlite3_close_v2(db);
  }
}

std::string JournalMode(const std::string& path) {
  sqlite3* db = nullptr;
  std::string mode;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, "unix") == SQLITE_OK) {
    sqlite3_exec(
        db, "PRAGMA journal_mode",
        [](void* out, int, char** values, char**) {
          *static_cast<std::string*>(out) = values[0] != nullptr ? values[0] : "";
          return 0;
        },
        &mode, nullptr);
  }
  sqlite3_close_v2(db);
  return mode;
}

// A store left in write-ahead mode by an earlier version, with the last
// write still in the log, becomes a rollback-journal store keeping it.
TEST(RegistryLocksTest, AStoreInWriteAheadModeIsTakenOverWithItsLog) {
  testing::TempDir dir;
  const std::string path = dir.File("registry.db");
  {
    auto store = OpenStore(path);
    ASSERT_NE(store, nullptr);
    ASSERT_TRUE(Write(*store, L"before"));
  }
  ASSERT_EQ(InOtherProcess("crash-in-wal|" + path), kDone);
  ASSERT_GT(std::filesystem::file_size(path + "-wal"), 0u) << "the log the test relies on";

  auto store = OpenStore(path);
  ASSERT_NE(store, nullptr);
  EXPECT_EQ(Read(*store, L"before"), L"before");
  EXPECT_EQ(Read(*store, L"logged"), L"logged");
  EXPECT_TRUE(Write(*store, L"after"));
  EXPECT_FALSE(std::filesystem::exists(path + "-wal"));
  EXPECT_EQ(JournalMode(path), "delete");
  EXPECT_EQ(InOtherProcess("missing|" + path + "|before,logged,after"), 0);
}

}  // namespace
}  // namespace kestrune::platform
