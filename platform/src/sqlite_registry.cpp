#include "platform/sqlite_registry.h"

#include <fcntl.h>
#include <fmt/format.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <new>
#include <optional>
#include <string_view>
#include <thread>
#include <unordered_map>

#include "platform/text.h"
#include "platform/user_folders.h"

namespace kestrune::platform {

namespace {

// Marks a database as ours, so that another program's SQLite file is refused
// rather than written into.
constexpr int kApplicationId = 0x4B535247;  // "KSRG"
constexpr int kSchemaVersion = 1;
constexpr int kBusyTimeoutMs = 5000;
constexpr std::int64_t kRootKeyId = 1;
// The Windows limits on names; values are held to a size a settings store
// never needs, so that a runaway caller cannot bloat the file.
constexpr std::size_t kMaxKeyNameLength = 255;
constexpr std::size_t kMaxValueNameLength = 16383;
constexpr std::size_t kMaxValueSize = std::size_t{1} << 20;

constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS keys(
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  parent INTEGER,
  name TEXT NOT NULL,
  fold TEXT NOT NULL,
  class TEXT NOT NULL DEFAULT '',
  UNIQUE(parent, fold));
CREATE TABLE IF NOT EXISTS vals(
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  key INTEGER NOT NULL,
  name TEXT NOT NULL,
  fold TEXT NOT NULL,
  type INTEGER NOT NULL,
  data BLOB NOT NULL,
  UNIQUE(key, fold));
INSERT OR IGNORE INTO keys(id, parent, name, fold, class) VALUES (1, NULL, '', '', '');
)sql";

// An SQLite failure inside the store; turned into a RegStatus at the
// interface, never thrown out of it.
struct DbError {
  int code;
};

// ---- computer-information keys answered from the system ----

enum class Overlay { None, NtCurrentVersion, ComputerName, WindowsCurrentVersion };

struct OverlayKeyDef {
  Overlay overlay;
  const wchar_t* path;
};

constexpr std::array<OverlayKeyDef, 3> kOverlayKeys{{
    {Overlay::NtCurrentVersion, L"Software\\Microsoft\\Windows NT\\CurrentVersion"},
    {Overlay::ComputerName, L"System\\CurrentControlSet\\Control\\ComputerName\\ComputerName"},
    {Overlay::WindowsCurrentVersion, L"Software\\Microsoft\\Windows\\CurrentVersion"},
}};

struct OverlayValueDef {
  Overlay overlay;
  const wchar_t* name;
  std::wstring (SystemInfo::*read)();
};

constexpr std::array<OverlayValueDef, 5> kOverlayValues{{
    {Overlay::NtCurrentVersion, L"ProductName", &SystemInfo::OsName},
    {Overlay::NtCurrentVersion, L"CurrentVersion", &SystemInfo::OsVersion},
    {Overlay::NtCurrentVersion, L"CSDVersion", &SystemInfo::OsRelease},
    {Overlay::ComputerName, L"ComputerName", &SystemInfo::ComputerName},
    {Overlay::WindowsCurrentVersion, L"MediaPath", &SystemInfo::MediaPath},
}};

// Splits a key path into its names. An empty path is the root; a single
// trailing separator is tolerated; a leading one, an empty name or an
// over-long name is refused.
bool SplitPath(std::wstring_view path, std::vector<std::wstring>& parts) {
  parts.clear();
  if (path.empty()) return true;
  if (path.front() == L'\\') return false;
  if (path.back() == L'\\') path.remove_suffix(1);
  std::size_t start = 0;
  while (true) {
    const std::size_t end = path.find(L'\\', start);
    const std::wstring_view part =
        path.substr(start, end == std::wstring_view::npos ? std::wstring_view::npos : end - start);
    if (part.empty() || part.size() > kMaxKeyNameLength) return false;
    parts.emplace_back(part);
    if (end == std::wstring_view::npos) return true;
    start = end + 1;
  }
}

std::string Fold(std::wstring_view name) {
  return ToUtf8(ToLowerAscii(name));
}

bool SamePath(const std::vector<std::wstring>& a, const std::vector<std::wstring>& b,
              std::size_t count) {
  if (a.size() < count || b.size() < count) return false;
  for (std::size_t i = 0; i < count; ++i) {
    if (!EqualsNoCase(a[i], b[i])) return false;
  }
  return true;
}

std::vector<std::wstring> OverlayParts(const OverlayKeyDef& def) {
  std::vector<std::wstring> parts;
  SplitPath(def.path, parts);
  return parts;
}

Overlay OverlayOf(const std::vector<std::wstring>& parts) {
  for (const auto& def : kOverlayKeys) {
    const auto defParts = OverlayParts(def);
    if (parts.size() == defParts.size() && SamePath(parts, defParts, parts.size())) {
      return def.overlay;
    }
  }
  return Overlay::None;
}

// True when the path is one of the system keys or lies on the way to one.
bool IsOverlayOrAncestor(const std::vector<std::wstring>& parts) {
  for (const auto& def : kOverlayKeys) {
    const auto defParts = OverlayParts(def);
    if (parts.size() <= defParts.size() && SamePath(parts, defParts, parts.size())) return true;
  }
  return false;
}

const OverlayValueDef* FindOverlayValue(Overlay overlay, std::wstring_view name) {
  if (overlay == Overlay::None) return nullptr;
  for (const auto& def : kOverlayValues) {
    if (def.overlay == overlay && EqualsNoCase(def.name, name)) return &def;
  }
  return nullptr;
}

RegStatus StatusOf(int code) {
  switch (code & 0xFF) {
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
      return RegStatus::AccessDenied;
    default:
      return RegStatus::Failed;
  }
}

// ---- statements ----

class Query {
 public:
  explicit Query(sqlite3_stmt* stmt) : stmt_(stmt) {}
  ~Query() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
  }
  Query(const Query&) = delete;
  Query& operator=(const Query&) = delete;

  Query& Bind(int index, std::int64_t value) {
    Check(sqlite3_bind_int64(stmt_, index, value));
    return *this;
  }
  Query& Bind(int index, const std::string& text) {
    Check(
        sqlite3_bind_text64(stmt_, index, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8));
    return *this;
  }
  Query& BindBlob(int index, std::span<const std::uint8_t> data) {
    // A null pointer would bind NULL rather than an empty value.
    Check(data.empty()
              ? sqlite3_bind_zeroblob(stmt_, index, 0)
              : sqlite3_bind_blob64(stmt_, index, data.data(), data.size(), SQLITE_TRANSIENT));
    return *this;
  }

  // True while a row is available.
  bool Step() {
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    throw DbError{rc};
  }
  void Run() {
    while (Step()) {
    }
  }

  std::int64_t Int(int column) { return sqlite3_column_int64(stmt_, column); }
  std::string Text(int column) {
    const unsigned char* text = sqlite3_column_text(stmt_, column);
    const int bytes = sqlite3_column_bytes(stmt_, column);
    if (text == nullptr || bytes <= 0) return {};
    return std::string(reinterpret_cast<const char*>(text), static_cast<std::size_t>(bytes));
  }
  std::vector<std::uint8_t> Blob(int column) {
    const void* blob = sqlite3_column_blob(stmt_, column);
    const int bytes = sqlite3_column_bytes(stmt_, column);
    if (blob == nullptr || bytes <= 0) return {};
    const auto* begin = static_cast<const std::uint8_t*>(blob);
    return std::vector<std::uint8_t>(begin, begin + bytes);
  }

 private:
  void Check(int rc) {
    if (rc != SQLITE_OK) throw DbError{rc};
  }

  sqlite3_stmt* stmt_;
};

// ---- the store ----

class SqliteRegistry final : public Registry {
 public:
  SqliteRegistry(sqlite3* db, std::shared_ptr<SystemInfo> system)
      : db_(db), system_(std::move(system)) {}

  ~SqliteRegistry() override {
    for (auto& [sql, stmt] : statements_) sqlite3_finalize(stmt);
    sqlite3_close_v2(db_);
  }

  SqliteRegistry(const SqliteRegistry&) = delete;
  SqliteRegistry& operator=(const SqliteRegistry&) = delete;

  // Makes sure the system keys exist as keys, so that they can be opened and
  // are listed among their parents' sub-keys. A read-only file is no error.
  void MaterializeOverlayKeys() {
    if (!system_) return;
    std::lock_guard lock(mutex_);
    try {
      Transaction tx(*this, true);
      for (const auto& def : kOverlayKeys) {
        bool created = false;
        CreatePath(OverlayParts(def), L"", created);
      }
      tx.Commit();
    } catch (const DbError&) {
    }
  }

  RegStatus CreateKey(const std::wstring& path, const std::wstring& keyClass, RegKey& key,
                      bool* created) override {
    key = kNullKey;
    std::vector<std::wstring> parts;
    if (!SplitPath(path, parts)) return RegStatus::InvalidParameter;
    return Guarded([&] {
      Transaction tx(*this, true);
      bool made = false;
      const std::int64_t id = CreatePath(parts, keyClass, made);
      tx.Commit();
      if (created != nullptr) *created = made;
      key = NewHandle(id, system_ ? OverlayOf(parts) : Overlay::None);
      return RegStatus::Ok;
    });
  }

  RegStatus OpenKey(const std::wstring& path, RegKey& key) override {
    key = kNullKey;
    std::vector<std::wstring> parts;
    if (!SplitPath(path, parts)) return RegStatus::InvalidParameter;
    return Guarded([&] {
      std::optional<std::int64_t> id;
      {
        Transaction tx(*this, false);
        id = ResolvePath(parts);
        tx.Commit();
      }
      if (!id && system_ && IsOverlayOrAncestor(parts)) {
        // The system keys always exist, even when someone removed them from
        // the file behind our back.
        Transaction tx(*this, true);
        bool made = false;
        id = CreatePath(parts, L"", made);
        tx.Commit();
      }
      if (!id) return RegStatus::NotFound;
      key = NewHandle(*id, system_ ? OverlayOf(parts) : Overlay::None);
      return RegStatus::Ok;
    });
  }

  void CloseKey(RegKey key) override {
    std::lock_guard lock(mutex_);
    handles_.erase(key);
  }

  RegStatus QueryValue(RegKey key, const std::wstring& name, RegType& type,
                       std::span<std::uint8_t> buffer, std::size_t& size) override {
    return Guarded([&] {
      const Handle* handle = FindHandle(key);
      if (handle == nullptr) return RegStatus::InvalidHandle;
      std::vector<std::uint8_t> data;
      if (const auto* def = FindOverlayValue(handle->overlay, name)) {
        if (!KeyExists(handle->id)) return RegStatus::InvalidHandle;
        const std::wstring text = ((*system_).*(def->read))();
        if (text.empty()) return RegStatus::NotFound;
        type = RegType::Sz;
        data = EncodeRegSz(text);
      } else {
        Transaction tx(*this, false);
        if (!KeyExists(handle->id)) return RegStatus::InvalidHandle;
        Query q = Prepare("SELECT type, data FROM vals WHERE key = ?1 AND fold = ?2");
        q.Bind(1, handle->id).Bind(2, Fold(name));
        if (!q.Step()) return RegStatus::NotFound;
        type = static_cast<RegType>(static_cast<std::uint32_t>(q.Int(0)));
        data = q.Blob(1);
      }
      size = data.size();
      if (data.size() > buffer.size()) return RegStatus::MoreData;
      std::copy(data.begin(), data.end(), buffer.begin());
      return RegStatus::Ok;
    });
  }

  RegStatus SetValue(RegKey key, const std::wstring& name, RegType type,
                     std::span<const std::uint8_t> data) override {
    if (name.size() > kMaxValueNameLength || data.size() > kMaxValueSize) {
      return RegStatus::InvalidParameter;
    }
    return Guarded([&] {
      const Handle* handle = FindHandle(key);
      if (handle == nullptr) return RegStatus::InvalidHandle;
      if (FindOverlayValue(handle->overlay, name) != nullptr) return RegStatus::AccessDenied;
      Transaction tx(*this, true);
      if (!KeyExists(handle->id)) return RegStatus::InvalidHandle;
      Upsert(handle->id, name, type, data);
      tx.Commit();
      return RegStatus::Ok;
    });
  }

  // One transaction, so one commit to wait for, and all or none of the
  // values on disk after a crash.
  RegStatus SetValues(RegKey key, std::span<const RegValue> values) override {
    return Guarded([&] {
      const Handle* handle = FindHandle(key);
      if (handle == nullptr) return RegStatus::InvalidHandle;
      Transaction tx(*this, true);
      if (!KeyExists(handle->id)) return RegStatus::InvalidHandle;
      RegStatus result = RegStatus::Ok;
      for (const RegValue& value : values) {
        RegStatus refused = RegStatus::Ok;
        if (value.name.size() > kMaxValueNameLength || value.data.size() > kMaxValueSize) {
          refused = RegStatus::InvalidParameter;
        } else if (FindOverlayValue(handle->overlay, value.name) != nullptr) {
          refused = RegStatus::AccessDenied;
        }
        if (refused != RegStatus::Ok) {
          if (result == RegStatus::Ok) result = refused;
          continue;
        }
        Upsert(handle->id, value.name, value.type, value.data);
      }
      tx.Commit();
      return result;
    });
  }

  RegStatus DeleteValue(RegKey key, const std::wstring& name) override {
    return Guarded([&] {
      const Handle* handle = FindHandle(key);
      if (handle == nullptr) return RegStatus::InvalidHandle;
      if (FindOverlayValue(handle->overlay, name) != nullptr) return RegStatus::AccessDenied;
      Transaction tx(*this, true);
      if (!KeyExists(handle->id)) return RegStatus::InvalidHandle;
      Prepare("DELETE FROM vals WHERE key = ?1 AND fold = ?2")
          .Bind(1, handle->id)
          .Bind(2, Fold(name))
          .Run();
      const bool deleted = sqlite3_changes(db_) > 0;
      tx.Commit();
      return deleted ? RegStatus::Ok : RegStatus::NotFound;
    });
  }

  RegStatus DeleteKeyTree(const std::wstring& path) override {
    std::vector<std::wstring> parts;
    if (!SplitPath(path, parts)) return RegStatus::InvalidParameter;
    // Neither the root nor a key holding the system's own keys can go.
    if (parts.empty() || (system_ && IsOverlayOrAncestor(parts))) return RegStatus::AccessDenied;
    return Guarded([&] {
      Transaction tx(*this, true);
      const auto id = ResolvePath(parts);
      if (!id) return RegStatus::NotFound;
      Prepare(
          "WITH RECURSIVE tree(id) AS (SELECT ?1 UNION ALL "
          "SELECT keys.id FROM keys JOIN tree ON keys.parent = tree.id) "
          "DELETE FROM vals WHERE key IN tree")
          .Bind(1, *id)
          .Run();
      Prepare(
          "WITH RECURSIVE tree(id) AS (SELECT ?1 UNION ALL "
          "SELECT keys.id FROM keys JOIN tree ON keys.parent = tree.id) "
          "DELETE FROM keys WHERE id IN tree")
          .Bind(1, *id)
          .Run();
      tx.Commit();
      return RegStatus::Ok;
    });
  }

  RegStatus KeyClass(RegKey key, std::wstring& keyClass) override {
    return Guarded([&] {
      const Handle* handle = FindHandle(key);
      if (handle == nullptr) return RegStatus::InvalidHandle;
      Query q = Prepare("SELECT class FROM keys WHERE id = ?1");
      q.Bind(1, handle->id);
      if (!q.Step()) return RegStatus::InvalidHandle;
      keyClass = FromUtf8(q.Text(0));
      return RegStatus::Ok;
    });
  }

  RegStatus SubKeys(RegKey key, std::vector<std::wstring>& names) override {
    return Guarded([&] {
      const Handle* handle = FindHandle(key);
      if (handle == nullptr) return RegStatus::InvalidHandle;
      Transaction tx(*this, false);
      if (!KeyExists(handle->id)) return RegStatus::InvalidHandle;
      std::vector<std::wstring> result;
      Query q = Prepare("SELECT name FROM keys WHERE parent = ?1 ORDER BY id");
      q.Bind(1, handle->id);
      while (q.Step()) result.push_back(FromUtf8(q.Text(0)));
      names = std::move(result);
      return RegStatus::Ok;
    });
  }

  RegStatus Values(RegKey key, std::vector<RegValue>& values) override {
    return Guarded([&] {
      const Handle* handle = FindHandle(key);
      if (handle == nullptr) return RegStatus::InvalidHandle;
      Transaction tx(*this, false);
      if (!KeyExists(handle->id)) return RegStatus::InvalidHandle;
      std::vector<RegValue> result;
      for (const auto& def : kOverlayValues) {
        if (def.overlay != handle->overlay) continue;
        const std::wstring text = ((*system_).*(def.read))();
        if (!text.empty()) result.push_back({def.name, RegType::Sz, EncodeRegSz(text)});
      }
      Query q = Prepare("SELECT name, type, data FROM vals WHERE key = ?1 ORDER BY id");
      q.Bind(1, handle->id);
      while (q.Step()) {
        std::wstring name = FromUtf8(q.Text(0));
        // A stored value cannot hide the system's answer.
        if (FindOverlayValue(handle->overlay, name) != nullptr) continue;
        result.push_back({std::move(name),
                          static_cast<RegType>(static_cast<std::uint32_t>(q.Int(1))), q.Blob(2)});
      }
      values = std::move(result);
      return RegStatus::Ok;
    });
  }

 private:
  struct Handle {
    std::int64_t id;
    Overlay overlay;
  };

  class Transaction {
   public:
    Transaction(SqliteRegistry& owner, bool write) : owner_(owner) {
      owner_.Exec(write ? "BEGIN IMMEDIATE" : "BEGIN");
    }
    ~Transaction() {
      if (!done_) sqlite3_exec(owner_.db_, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    void Commit() {
      owner_.Exec("COMMIT");
      done_ = true;
    }

   private:
    SqliteRegistry& owner_;
    bool done_ = false;
  };

  // Runs one interface call under the lock, turning store failures into a status.
  template <typename Body>
  RegStatus Guarded(Body&& body) {
    std::lock_guard lock(mutex_);
    try {
      return body();
    } catch (const DbError& e) {
      return StatusOf(e.code);
    } catch (const std::bad_alloc&) {
      return RegStatus::Failed;
    }
  }

  void Exec(const char* sql) {
    const int rc = sqlite3_exec(db_, sql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) throw DbError{rc};
  }

  Query Prepare(const char* sql) {
    auto it = statements_.find(sql);
    if (it == statements_.end()) {
      sqlite3_stmt* stmt = nullptr;
      const int rc = sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt, nullptr);
      if (rc != SQLITE_OK) {
        sqlite3_finalize(stmt);
        throw DbError{rc};
      }
      it = statements_.emplace(sql, stmt).first;
    }
    return Query(it->second);
  }

  RegKey NewHandle(std::int64_t id, Overlay overlay) {
    const RegKey key = nextHandle_++;
    handles_.emplace(key, Handle{id, overlay});
    return key;
  }

  const Handle* FindHandle(RegKey key) const {
    const auto it = handles_.find(key);
    return it == handles_.end() ? nullptr : &it->second;
  }

  // An existing value keeps its place in the order and its name's case.
  void Upsert(std::int64_t key, const std::wstring& name, RegType type,
              std::span<const std::uint8_t> data) {
    Prepare(
        "INSERT INTO vals(key, name, fold, type, data) VALUES (?1, ?2, ?3, ?4, ?5) "
        "ON CONFLICT(key, fold) DO UPDATE SET type = excluded.type, data = excluded.data")
        .Bind(1, key)
        .Bind(2, ToUtf8(name))
        .Bind(3, Fold(name))
        .Bind(4, static_cast<std::int64_t>(static_cast<std::uint32_t>(type)))
        .BindBlob(5, data)
        .Run();
  }

  bool KeyExists(std::int64_t id) {
    Query q = Prepare("SELECT 1 FROM keys WHERE id = ?1");
    q.Bind(1, id);
    return q.Step();
  }

  std::optional<std::int64_t> FindChild(std::int64_t parent, const std::wstring& name) {
    Query q = Prepare("SELECT id FROM keys WHERE parent = ?1 AND fold = ?2");
    q.Bind(1, parent).Bind(2, Fold(name));
    if (!q.Step()) return std::nullopt;
    return q.Int(0);
  }

  std::optional<std::int64_t> ResolvePath(const std::vector<std::wstring>& parts) {
    std::int64_t id = kRootKeyId;
    for (const auto& part : parts) {
      const auto child = FindChild(id, part);
      if (!child) return std::nullopt;
      id = *child;
    }
    return id;
  }

  // Walks the path, creating what is missing with the given class. created
  // tells whether the last key was made by this call.
  std::int64_t CreatePath(const std::vector<std::wstring>& parts, const std::wstring& keyClass,
                          bool& created) {
    std::int64_t id = kRootKeyId;
    created = false;
    for (const auto& part : parts) {
      if (const auto child = FindChild(id, part)) {
        id = *child;
        created = false;
        continue;
      }
      Prepare("INSERT INTO keys(parent, name, fold, class) VALUES (?1, ?2, ?3, ?4)")
          .Bind(1, id)
          .Bind(2, ToUtf8(part))
          .Bind(3, Fold(part))
          .Bind(4, ToUtf8(keyClass))
          .Run();
      id = sqlite3_last_insert_rowid(db_);
      created = true;
    }
    return id;
  }

  std::mutex mutex_;
  sqlite3* db_;
  std::shared_ptr<SystemInfo> system_;
  std::unordered_map<const char*, sqlite3_stmt*> statements_;
  std::map<RegKey, Handle> handles_;
  RegKey nextHandle_ = 1;
};

// ---- opening ----

// A failed statement while the file is checked and set up.
struct OpenFailure {
  int code;
  std::string message;
};

bool IsBusy(int code) {
  return (code & 0xFF) == SQLITE_BUSY || (code & 0xFF) == SQLITE_LOCKED;
}

std::string DbMessage(sqlite3* db, int rc) {
  const char* message = db != nullptr ? sqlite3_errmsg(db) : nullptr;
  return message != nullptr && *message != '\0' ? message : sqlite3_errstr(rc);
}

// Runs a statement and gives the first column of every row.
std::vector<std::string> QueryColumn(sqlite3* db, const char* sql) {
  sqlite3_stmt* stmt = nullptr;
  int rc = sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr);
  std::vector<std::string> rows;
  while (rc == SQLITE_OK || rc == SQLITE_ROW) {
    rc = sqlite3_step(stmt);
    if (rc == SQLITE_ROW) {
      const unsigned char* text = sqlite3_column_text(stmt, 0);
      rows.emplace_back(text == nullptr ? "" : reinterpret_cast<const char*>(text));
    }
  }
  sqlite3_finalize(stmt);
  if (rc != SQLITE_DONE) throw OpenFailure{rc, DbMessage(db, rc)};
  return rows;
}

// The first column of the first row, or an empty text when there is none.
std::string QueryOne(sqlite3* db, const char* sql) {
  const auto rows = QueryColumn(db, sql);
  return rows.empty() ? std::string() : rows.front();
}

void ExecOrThrow(sqlite3* db, const std::string& sql) {
  char* message = nullptr;
  const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message);
  if (rc == SQLITE_OK) return;
  std::string reason = message != nullptr ? message : DbMessage(db, rc);
  sqlite3_free(message);
  throw OpenFailure{rc, std::move(reason)};
}

// A table written by something else (an older draft, a hand edit) would make
// every read and write fail later with no word of the cause; it is refused
// when the file is opened instead, with its columns named. A table that does
// not exist yet passes when `missingIsFine`.
struct TableShape {
  const char* table;
  const char* query;
  std::string_view columns;
};
constexpr std::array<TableShape, 2> kTables{{
    {"keys", "SELECT name FROM pragma_table_info('keys') ORDER BY cid",
     "id, parent, name, fold, class"},
    {"vals", "SELECT name FROM pragma_table_info('vals') ORDER BY cid",
     "id, key, name, fold, type, data"},
}};

std::string CheckColumns(sqlite3* db, bool missingIsFine) {
  for (const TableShape& shape : kTables) {
    std::string columns;
    for (const auto& name : QueryColumn(db, shape.query)) {
      if (!columns.empty()) columns += ", ";
      columns += name;
    }
    if (columns == shape.columns || (columns.empty() && missingIsFine)) continue;
    return fmt::format("the table \"{}\" has the columns ({}) where this program needs ({})",
                       shape.table, columns, shape.columns);
  }
  return {};
}

// One attempt at checking (and, for a new file, setting up) the database;
// throws OpenFailure when a statement fails. The checks and the set-up share
// one transaction that takes the write lock first, so that another process
// setting up the same new file is wholly before or wholly after this one,
// never half-way. A file that cannot be written is only checked.
std::string TryPrepareDatabase(sqlite3* db) {
  const bool readOnly = sqlite3_db_readonly(db, "main") == 1;
  ExecOrThrow(db, readOnly ? "BEGIN" : "BEGIN IMMEDIATE");
  struct Rollback {
    sqlite3* db;
    bool done = false;
    ~Rollback() {
      if (!done) sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    }
  } rollback{db};

  const std::string appId = QueryOne(db, "PRAGMA application_id");
  const std::string version = QueryOne(db, "PRAGMA user_version");
  const std::string objects = QueryOne(db, "SELECT count(*) FROM sqlite_master");
  const std::string ours = QueryOne(
      db, "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name IN ('keys', 'vals')");

  const bool empty = objects == "0";
  if (!empty && appId != std::to_string(kApplicationId)) {
    return "the file is an SQLite database of another program";
  }
  if (!empty && std::atoi(version.c_str()) > kSchemaVersion) {
    return "the database was written by a newer version of the program";
  }
  if (const std::string check = QueryOne(db, "PRAGMA quick_check(1)"); check != "ok") {
    return "the database is damaged (" + check + ")";
  }

  if (std::string reason = CheckColumns(db, true); !reason.empty()) return reason;
  const bool complete = ours == "2" && QueryOne(db, "SELECT count(*) FROM keys WHERE id = 1") == "1";
  if (!complete) {
    try {
      ExecOrThrow(db, fmt::format("{} PRAGMA application_id={}; PRAGMA user_version={};", kSchema,
                                  kApplicationId, kSchemaVersion));
    } catch (OpenFailure& failure) {
      if (!IsBusy(failure.code)) failure.message = "cannot set up the database: " + failure.message;
      throw;
    }
  }
  if (std::string reason = CheckColumns(db, false); !reason.empty()) return reason;
  ExecOrThrow(db, "COMMIT");
  rollback.done = true;
  return {};
}

// Checks that the file is a sound registry database (or an empty one) and
// sets it up. Returns an empty text on success, else the reason. A database
// busy with another process is waited for, within a bound.
std::string PrepareDatabase(sqlite3* db) {
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(2 * kBusyTimeoutMs);
  std::string reason;
  for (;;) {
    try {
      reason = TryPrepareDatabase(db);
      break;
    } catch (const OpenFailure& failure) {
      // The busy handler waits inside most statements; what it does not
      // cover (a lock taken on the way to a write, recovery of another
      // process's log) is retried here.
      if (!IsBusy(failure.code) || std::chrono::steady_clock::now() >= deadline)
        return failure.message;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }
  if (!reason.empty()) return reason;

  // A rollback journal: all its locks are locks of the database file, which
  // the store's file layer holds so that no close elsewhere in the process
  // drops them (write-ahead logging would add shared memory locked the POSIX
  // way). FULL synchronisation makes every commit survive a power loss.
  sqlite3_exec(db, "PRAGMA journal_mode=DELETE", nullptr, nullptr, nullptr);
  sqlite3_exec(db, "PRAGMA synchronous=FULL", nullptr, nullptr, nullptr);
  return {};
}

// Whether the file is an SQLite database in write-ahead mode (its header's
// read and write versions are 2).
bool InWriteAheadMode(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  std::array<unsigned char, 20> header{};
  const ssize_t got = ::pread(fd, header.data(), header.size(), 0);
  ::close(fd);
  constexpr std::string_view kMagic("SQLite format 3\0", 16);
  return got == static_cast<ssize_t>(header.size()) &&
         std::equal(kMagic.begin(), kMagic.end(), header.begin()) &&
         (header[18] == 2 || header[19] == 2);
}

// Earlier versions kept the store in write-ahead mode; the file is turned to
// a rollback journal, taking in what a log left behind holds. Without shared
// memory SQLite reads a log only while it holds the whole file exclusively,
// so a program still using the file that way is waited for, within a bound.
std::string LeaveWriteAheadMode(const std::string& path, const char* vfs) {
  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, vfs);
  std::string reason;
  if (rc == SQLITE_OK) {
    sqlite3_extended_result_codes(db, 1);
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(2 * kBusyTimeoutMs);
    for (;;) {
      try {
        ExecOrThrow(db, "PRAGMA locking_mode=EXCLUSIVE");
        if (QueryOne(db, "PRAGMA journal_mode=DELETE") != "delete") {
          reason = "cannot leave write-ahead mode";
        }
        break;
      } catch (const OpenFailure& failure) {
        if (!IsBusy(failure.code) || std::chrono::steady_clock::now() >= deadline) {
          reason = "cannot leave write-ahead mode: " + failure.message;
          break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
      }
    }
  } else {
    reason = "cannot open: " + DbMessage(db, rc);
  }
  sqlite3_close_v2(db);
  return reason;
}

}  // namespace

std::unique_ptr<Registry> OpenSqliteRegistry(const std::string& databasePath,
                                             std::shared_ptr<SystemInfo> system,
                                             std::string& error) {
  error.clear();
  if (databasePath.empty()) {
    error = "registry database: no file name given";
    return nullptr;
  }
  if (databasePath != ":memory:") {
    const std::filesystem::path folder = std::filesystem::path(databasePath).parent_path();
    std::error_code ec;
    if (!folder.empty()) std::filesystem::create_directories(folder, ec);
    if (ec) {
      error = fmt::format("registry database {}: cannot create the folder {}: {}", databasePath,
                          folder.string(), ec.message());
      return nullptr;
    }
  }

  const char* vfs = RegistryVfsName();
  if (vfs == nullptr) {
    error =
        fmt::format("registry database {}: SQLite offers no file layer to build on", databasePath);
    return nullptr;
  }
  if (databasePath != ":memory:" && InWriteAheadMode(databasePath)) {
    if (std::string reason = LeaveWriteAheadMode(databasePath, vfs); !reason.empty()) {
      error = fmt::format("registry database {}: {}", databasePath, reason);
      return nullptr;
    }
  }

  sqlite3* db = nullptr;
  const int rc =
      sqlite3_open_v2(databasePath.c_str(), &db,
                      SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX, vfs);
  if (rc != SQLITE_OK) {
    error = fmt::format("registry database {}: cannot open: {}", databasePath, DbMessage(db, rc));
    sqlite3_close_v2(db);
    return nullptr;
  }
  sqlite3_extended_result_codes(db, 1);
  sqlite3_busy_timeout(db, kBusyTimeoutMs);

  if (std::string reason = PrepareDatabase(db); !reason.empty()) {
    error = fmt::format("registry database {}: {}", databasePath, reason);
    sqlite3_close_v2(db);
    return nullptr;
  }
  auto registry = std::make_unique<SqliteRegistry>(db, std::move(system));
  registry->MaterializeOverlayKeys();
  return registry;
}

std::string DefaultRegistryPath() {
  if (const char* path = std::getenv("KESTRUNE_REGISTRY"); path != nullptr && *path != '\0') {
    return path;
  }
  return ConfigFolder() + "kestrune/registry.db";
}

}  // namespace kestrune::platform
