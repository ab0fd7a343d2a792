// The SQLite file system layer of the registry store: SQLite's own unix layer
// for everything but the locks of a database file, which are taken on a
// descriptor of this layer's own as open-file-description locks (Linux
// F_OFD_SETLK).
//
// SQLite's unix layer uses POSIX record locks. Those belong to the process,
// and the kernel drops all of them at the first close of any descriptor of
// the file, whoever in the process closes it: a file dialog guessing the
// file's type, a copy, a backup. Another process then takes the locks the
// store believes it holds, and reads half-written pages, rolls a transaction
// back under the writer's feet or, in write-ahead mode, deletes the log the
// store goes on writing into. A lock of an open file description stays until
// that description itself lets it go.
//
// The bytes locked are SQLite's own (the pending byte, the reserved byte and
// the shared range above them) and the two kinds of lock conflict with each
// other, so a plain SQLite program (the command-line shell) using the file at
// the same time is kept out as usual. Each connection has its own description,
// so two connections of one process exclude each other like two processes.
// The layer has no shared-memory methods: the store runs with a rollback
// journal, whose locks are all of the database file.
#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "platform/sqlite_registry.h"

namespace kestrune::platform {

namespace {

// Where SQLite puts its locks in a database file (its os.h).
constexpr off_t kPendingByte = 0x40000000;
constexpr off_t kReservedByte = kPendingByte + 1;
constexpr off_t kSharedFirst = kPendingByte + 2;
constexpr off_t kSharedSize = 510;

// SQLite allocates szOsFile bytes per open file; the unix layer's own file
// record follows this one in them.
struct LockedFile {
  sqlite3_file base;
  sqlite3_file* real;
  int lockFd;  // -1 for files that take no locks: journals, temporary files
  int level;   // SQLITE_LOCK_*
};

static_assert(sizeof(LockedFile) % alignof(std::int64_t) == 0,
              "the unix layer's record must start suitably aligned");

LockedFile* Of(sqlite3_file* file) {
  return reinterpret_cast<LockedFile*>(file);
}

sqlite3_file* Real(sqlite3_file* file) {
  return Of(file)->real;
}

sqlite3_vfs* UnixOf(sqlite3_vfs* vfs) {
  return static_cast<sqlite3_vfs*>(vfs->pAppData);
}

// One lock request on the connection's own description; 0 on success, else
// -1 with errno set.
int SetLock(int fd, short type, off_t start, off_t length) {
  struct flock lock {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = start;
  lock.l_len = length;
  lock.l_pid = 0;  // required for description locks
  int rc = 0;
  do {
    rc = ::fcntl(fd, F_OFD_SETLK, &lock);
  } while (rc != 0 && errno == EINTR);
  return rc;
}

// A refused lock is another connection's (busy); anything else is an error.
int Refused(int ioError) {
  return errno == EAGAIN || errno == EACCES ? SQLITE_BUSY : ioError;
}

// ---- the file methods ----

int Close(sqlite3_file* file) {
  LockedFile* self = Of(file);
  int rc = SQLITE_OK;
  if (self->real->pMethods != nullptr) rc = self->real->pMethods->xClose(self->real);
  // Closing the description releases whatever it still holds.
  if (self->lockFd >= 0) ::close(self->lockFd);
  self->lockFd = -1;
  self->level = SQLITE_LOCK_NONE;
  return rc;
}

int Read(sqlite3_file* file, void* buffer, int amount, sqlite3_int64 offset) {
  return Real(file)->pMethods->xRead(Real(file), buffer, amount, offset);
}

int Write(sqlite3_file* file, const void* buffer, int amount, sqlite3_int64 offset) {
  return Real(file)->pMethods->xWrite(Real(file), buffer, amount, offset);
}

int Truncate(sqlite3_file* file, sqlite3_int64 size) {
  return Real(file)->pMethods->xTruncate(Real(file), size);
}

int Sync(sqlite3_file* file, int flags) {
  return Real(file)->pMethods->xSync(Real(file), flags);
}

int FileSize(sqlite3_file* file, sqlite3_int64* size) {
  return Real(file)->pMethods->xFileSize(Real(file), size);
}

int Lock(sqlite3_file* file, int level) {
  LockedFile* self = Of(file);
  if (self->level >= level) return SQLITE_OK;
  const int fd = self->lockFd;
  if (fd < 0) {
    self->level = level;
    return SQLITE_OK;
  }
  if (level == SQLITE_LOCK_SHARED) {
    // A read lock on the pending byte first: a writer waiting for the last
    // readers to leave holds it, and new readers must wait behind him.
    if (SetLock(fd, F_RDLCK, kPendingByte, 1) != 0) return Refused(SQLITE_IOERR_LOCK);
    const int rc = SetLock(fd, F_RDLCK, kSharedFirst, kSharedSize) == 0
                       ? SQLITE_OK
                       : Refused(SQLITE_IOERR_LOCK);
    const int unlocked = SetLock(fd, F_UNLCK, kPendingByte, 1);
    if (rc != SQLITE_OK) return rc;
    if (unlocked != 0) {
      SetLock(fd, F_UNLCK, 0, 0);
      return SQLITE_IOERR_UNLOCK;
    }
    self->level = SQLITE_LOCK_SHARED;
    return SQLITE_OK;
  }
  if (level == SQLITE_LOCK_RESERVED) {
    if (SetLock(fd, F_WRLCK, kReservedByte, 1) != 0) return Refused(SQLITE_IOERR_LOCK);
    self->level = SQLITE_LOCK_RESERVED;
    return SQLITE_OK;
  }
  // Exclusive: the pending byte keeps new readers out while the present ones
  // finish; it is kept when they have not yet, and the next try goes on here.
  if (self->level < SQLITE_LOCK_PENDING) {
    if (SetLock(fd, F_WRLCK, kPendingByte, 1) != 0) return Refused(SQLITE_IOERR_LOCK);
    self->level = SQLITE_LOCK_PENDING;
  }
  if (SetLock(fd, F_WRLCK, kSharedFirst, kSharedSize) != 0) return Refused(SQLITE_IOERR_LOCK);
  self->level = SQLITE_LOCK_EXCLUSIVE;
  return SQLITE_OK;
}

int Unlock(sqlite3_file* file, int level) {
  LockedFile* self = Of(file);
  if (self->level <= level) return SQLITE_OK;
  const int fd = self->lockFd;
  if (fd < 0) {
    self->level = level;
    return SQLITE_OK;
  }
  if (level == SQLITE_LOCK_SHARED) {
    if (SetLock(fd, F_RDLCK, kSharedFirst, kSharedSize) != 0) return SQLITE_IOERR_RDLOCK;
    if (SetLock(fd, F_UNLCK, kPendingByte, 2) != 0) return SQLITE_IOERR_UNLOCK;
    self->level = SQLITE_LOCK_SHARED;
    return SQLITE_OK;
  }
  const int rc = SetLock(fd, F_UNLCK, 0, 0) == 0 ? SQLITE_OK : SQLITE_IOERR_UNLOCK;
  self->level = SQLITE_LOCK_NONE;
  return rc;
}

int CheckReservedLock(sqlite3_file* file, int* reserved) {
  LockedFile* self = Of(file);
  *reserved = 0;
  if (self->level >= SQLITE_LOCK_RESERVED) {
    *reserved = 1;
    return SQLITE_OK;
  }
  if (self->lockFd < 0) return SQLITE_OK;
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  lock.l_start = kReservedByte;
  lock.l_len = 1;
  lock.l_pid = 0;
  if (::fcntl(self->lockFd, F_OFD_GETLK, &lock) != 0) return SQLITE_IOERR_CHECKRESERVEDLOCK;
  *reserved = lock.l_type != F_UNLCK ? 1 : 0;
  return SQLITE_OK;
}

int FileControl(sqlite3_file* file, int op, void* argument) {
  if (op == SQLITE_FCNTL_LOCKSTATE) {
    *static_cast<int*>(argument) = Of(file)->level;
    return SQLITE_OK;
  }
  return Real(file)->pMethods->xFileControl(Real(file), op, argument);
}

int SectorSize(sqlite3_file* file) {
  return Real(file)->pMethods->xSectorSize(Real(file));
}

int DeviceCharacteristics(sqlite3_file* file) {
  return Real(file)->pMethods->xDeviceCharacteristics(Real(file));
}

// Version 1: no shared memory (so no write-ahead log) and no memory mapping.
const sqlite3_io_methods kFileMethods = {
    .iVersion = 1,
    .xClose = Close,
    .xRead = Read,
    .xWrite = Write,
    .xTruncate = Truncate,
    .xSync = Sync,
    .xFileSize = FileSize,
    .xLock = Lock,
    .xUnlock = Unlock,
    .xCheckReservedLock = CheckReservedLock,
    .xFileControl = FileControl,
    .xSectorSize = SectorSize,
    .xDeviceCharacteristics = DeviceCharacteristics,
    .xShmMap = nullptr,
    .xShmLock = nullptr,
    .xShmBarrier = nullptr,
    .xShmUnmap = nullptr,
    .xFetch = nullptr,
    .xUnfetch = nullptr,
};

// ---- the layer ----

int Open(sqlite3_vfs* vfs, sqlite3_filename name, sqlite3_file* file, int flags, int* outFlags) {
  LockedFile* self = Of(file);
  self->base.pMethods = nullptr;
  self->real = reinterpret_cast<sqlite3_file*>(self + 1);
  self->real->pMethods = nullptr;
  self->lockFd = -1;
  self->level = SQLITE_LOCK_NONE;

  sqlite3_vfs* unix = UnixOf(vfs);
  int opened = 0;
  const int rc = unix->xOpen(unix, name, self->real, flags, &opened);
  if (outFlags != nullptr) *outFlags = opened;
  if (rc != SQLITE_OK) {
    if (self->real->pMethods != nullptr) self->real->pMethods->xClose(self->real);
    return rc;
  }
  if ((flags & SQLITE_OPEN_MAIN_DB) != 0 && name != nullptr) {
    // The same file as the unix layer just opened (and created, if asked),
    // with the access it got: a file without write permission is read only.
    const int access = (opened & SQLITE_OPEN_READWRITE) != 0 ? O_RDWR : O_RDONLY;
    const int follow = (flags & SQLITE_OPEN_NOFOLLOW) != 0 ? O_NOFOLLOW : 0;
    self->lockFd = ::open(name, access | follow | O_CLOEXEC);
    if (self->lockFd < 0) {
      self->real->pMethods->xClose(self->real);
      return SQLITE_CANTOPEN;
    }
  }
  self->base.pMethods = &kFileMethods;
  return SQLITE_OK;
}

int Delete(sqlite3_vfs* vfs, const char* name, int syncDir) {
  return UnixOf(vfs)->xDelete(UnixOf(vfs), name, syncDir);
}

int Access(sqlite3_vfs* vfs, const char* name, int flags, int* result) {
  return UnixOf(vfs)->xAccess(UnixOf(vfs), name, flags, result);
}

int FullPathname(sqlite3_vfs* vfs, const char* name, int size, char* out) {
  return UnixOf(vfs)->xFullPathname(UnixOf(vfs), name, size, out);
}

void* DlOpen(sqlite3_vfs* vfs, const char* name) {
  return UnixOf(vfs)->xDlOpen(UnixOf(vfs), name);
}

void DlError(sqlite3_vfs* vfs, int size, char* message) {
  UnixOf(vfs)->xDlError(UnixOf(vfs), size, message);
}

void (*DlSym(sqlite3_vfs* vfs, void* library, const char* symbol))(void) {
  return UnixOf(vfs)->xDlSym(UnixOf(vfs), library, symbol);
}

void DlClose(sqlite3_vfs* vfs, void* library) {
  UnixOf(vfs)->xDlClose(UnixOf(vfs), library);
}

int Randomness(sqlite3_vfs* vfs, int size, char* out) {
  return UnixOf(vfs)->xRandomness(UnixOf(vfs), size, out);
}

int Sleep(sqlite3_vfs* vfs, int microseconds) {
  return UnixOf(vfs)->xSleep(UnixOf(vfs), microseconds);
}

int CurrentTime(sqlite3_vfs* vfs, double* now) {
  return UnixOf(vfs)->xCurrentTime(UnixOf(vfs), now);
}

int GetLastError(sqlite3_vfs* vfs, int size, char* message) {
  return UnixOf(vfs)->xGetLastError(UnixOf(vfs), size, message);
}

int CurrentTimeInt64(sqlite3_vfs* vfs, sqlite3_int64* now) {
  return UnixOf(vfs)->xCurrentTimeInt64(UnixOf(vfs), now);
}

const char* Register() {
  sqlite3_vfs* unix = sqlite3_vfs_find("unix");
  if (unix == nullptr || unix->iVersion < 2) return nullptr;
  static sqlite3_vfs vfs{};
  vfs.iVersion = 2;
  vfs.szOsFile = static_cast<int>(sizeof(LockedFile)) + unix->szOsFile;
  vfs.mxPathname = unix->mxPathname;
  vfs.zName = "kestrune-locks";
  vfs.pAppData = unix;
  vfs.xOpen = Open;
  vfs.xDelete = Delete;
  vfs.xAccess = Access;
  vfs.xFullPathname = FullPathname;
  vfs.xDlOpen = DlOpen;
  vfs.xDlError = DlError;
  vfs.xDlSym = DlSym;
  vfs.xDlClose = DlClose;
  vfs.xRandomness = Randomness;
  vfs.xSleep = Sleep;
  vfs.xCurrentTime = CurrentTime;
  vfs.xGetLastError = GetLastError;
  vfs.xCurrentTimeInt64 = CurrentTimeInt64;
  if (sqlite3_vfs_register(&vfs, 0) != SQLITE_OK) return nullptr;
  return vfs.zName;
}

}  // namespace

const char* RegistryVfsName() {
  static const char* const name = Register();
  return name;
}

}  // namespace kestrune::platform
