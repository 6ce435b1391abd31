#include "store/AcsVfs.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <mutex>

#include "store/RegularFile.h"

namespace vedalia {
namespace {

struct ShiftedFile {
  sqlite3_file base;
  sqlite3_file* real;
  sqlite3_int64 shift;
  bool zeroTails;
};

// The codec's page ends in its reserve: IV (16 bytes), HMAC-SHA1 (20), then 12 bytes that
// only pad the reserve to the cipher's block, so nothing authenticates them. Kept zero, a
// change there is refused like any other: the page's HMAC is spoilt before the codec sees it.
constexpr int kPageBytes = 4096;
constexpr int kTailBytes = 12;
constexpr int kMacAt = kPageBytes - 48 + 16;

bool IsWholePage(sqlite3_file* f, int n, sqlite3_int64 at) {
  return reinterpret_cast<ShiftedFile*>(f)->zeroTails && n == kPageBytes && at % kPageBytes == 0;
}
bool IsZero(const void* page, int from, int n) {
  static const unsigned char kZero[kPageBytes] = {};
  return std::memcmp(static_cast<const unsigned char*>(page) + from, kZero, std::size_t(n)) == 0;
}
bool TailIsZero(const void* page) { return IsZero(page, kPageBytes - kTailBytes, kTailBytes); }
// The codec takes a page of zeros for one read past the end and hands it on as empty; within
// the file it is damage (a written page's IV is random, never zero).
bool IvIsZero(const void* page) { return IsZero(page, kPageBytes - 48, 16); }

sqlite3_vfs* g_base = nullptr;
sqlite3_vfs g_vfs;

sqlite3_file* Real(sqlite3_file* f) { return reinterpret_cast<ShiftedFile*>(f)->real; }
sqlite3_int64 Shift(sqlite3_file* f) { return reinterpret_cast<ShiftedFile*>(f)->shift; }

int Close(sqlite3_file* f) {
  sqlite3_file* real = Real(f);
  return real->pMethods ? real->pMethods->xClose(real) : SQLITE_OK;
}
int Read(sqlite3_file* f, void* p, int n, sqlite3_int64 at) {
  const int rc = Real(f)->pMethods->xRead(Real(f), p, n, at + Shift(f));
  if (rc == SQLITE_OK && IsWholePage(f, n, at) && (!TailIsZero(p) || IvIsZero(p)))
    static_cast<unsigned char*>(p)[kMacAt] ^= 1;
  return rc;
}
int Write(sqlite3_file* f, const void* p, int n, sqlite3_int64 at) {
  if (IsWholePage(f, n, at) && !TailIsZero(p)) {
    unsigned char page[kPageBytes];
    std::memcpy(page, p, kPageBytes - kTailBytes);
    std::memset(page + kPageBytes - kTailBytes, 0, kTailBytes);
    return Real(f)->pMethods->xWrite(Real(f), page, n, at + Shift(f));
  }
  return Real(f)->pMethods->xWrite(Real(f), p, n, at + Shift(f));
}
int Truncate(sqlite3_file* f, sqlite3_int64 size) {
  return Real(f)->pMethods->xTruncate(Real(f), size + Shift(f));
}
int Sync(sqlite3_file* f, int flags) { return Real(f)->pMethods->xSync(Real(f), flags); }
int FileSize(sqlite3_file* f, sqlite3_int64* size) {
  const int rc = Real(f)->pMethods->xFileSize(Real(f), size);
  if (rc == SQLITE_OK) *size = *size > Shift(f) ? *size - Shift(f) : 0;
  return rc;
}
int Lock(sqlite3_file* f, int level) { return Real(f)->pMethods->xLock(Real(f), level); }
int Unlock(sqlite3_file* f, int level) { return Real(f)->pMethods->xUnlock(Real(f), level); }
int CheckReserved(sqlite3_file* f, int* out) {
  return Real(f)->pMethods->xCheckReservedLock(Real(f), out);
}
int FileControl(sqlite3_file* f, int op, void* arg) {
  if (op == SQLITE_FCNTL_SIZE_HINT) {
    sqlite3_int64 hint = *static_cast<sqlite3_int64*>(arg) + Shift(f);
    return Real(f)->pMethods->xFileControl(Real(f), op, &hint);
  }
  return Real(f)->pMethods->xFileControl(Real(f), op, arg);
}
int SectorSize(sqlite3_file* f) { return Real(f)->pMethods->xSectorSize(Real(f)); }
int Characteristics(sqlite3_file* f) { return Real(f)->pMethods->xDeviceCharacteristics(Real(f)); }
int ShmMap(sqlite3_file* f, int region, int size, int extend, void volatile** p) {
  return Real(f)->pMethods->xShmMap(Real(f), region, size, extend, p);
}
int ShmLock(sqlite3_file* f, int offset, int n, int flags) {
  return Real(f)->pMethods->xShmLock(Real(f), offset, n, flags);
}
void ShmBarrier(sqlite3_file* f) { Real(f)->pMethods->xShmBarrier(Real(f)); }
int ShmUnmap(sqlite3_file* f, int deleteFlag) {
  return Real(f)->pMethods->xShmUnmap(Real(f), deleteFlag);
}
// No memory mapping: every page goes through Read, shifted.
int Fetch(sqlite3_file*, sqlite3_int64, int, void** p) {
  *p = nullptr;
  return SQLITE_OK;
}
int Unfetch(sqlite3_file*, sqlite3_int64, void*) { return SQLITE_OK; }

const sqlite3_io_methods kMethods = {
    3,        Close,         Read,        Write,      Truncate,        Sync,   FileSize, Lock,
    Unlock,   CheckReserved, FileControl, SectorSize, Characteristics, ShmMap, ShmLock,  ShmBarrier,
    ShmUnmap, Fetch,         Unfetch};

// A FIFO or device would block the open (and the shell) for good: only a regular file, or
// none yet, may be opened.
bool IsRegularOrAbsent(const char* name) {
  struct stat st {};
  const int fd = OpenRegularFile(name, st);
  if (fd == -1) return errno == ENOENT;
  if (fd == kNotRegularFile) return false;
  ::close(fd);
  return true;
}

int Open(sqlite3_vfs*, const char* name, sqlite3_file* file, int flags, int* outFlags) {
  auto* shifted = reinterpret_cast<ShiftedFile*>(file);
  shifted->base.pMethods = nullptr;
  shifted->real = reinterpret_cast<sqlite3_file*>(shifted + 1);
  shifted->real->pMethods = nullptr;
  shifted->shift = (flags & SQLITE_OPEN_MAIN_DB) ? kAcsHeaderBytes : 0;
  if (name && !IsRegularOrAbsent(name)) return SQLITE_CANTOPEN;
  shifted->zeroTails = false;
  const int rc = g_base->xOpen(g_base, name, shifted->real, flags, outFlags);
  if (rc != SQLITE_OK) return rc;
  shifted->base.pMethods = &kMethods;
  // The flag is authenticated with the header when the store connects.
  unsigned char head[kAcsFlagsOffset + 1] = {};
  if (shifted->shift &&
      shifted->real->pMethods->xRead(shifted->real, head, sizeof head, 0) == SQLITE_OK)
    shifted->zeroTails = (head[kAcsFlagsOffset] & kAcsZeroTails) != 0;
  return rc;
}

int Delete(sqlite3_vfs*, const char* name, int syncDir) {
  return g_base->xDelete(g_base, name, syncDir);
}
int Access(sqlite3_vfs*, const char* name, int flags, int* out) {
  return g_base->xAccess(g_base, name, flags, out);
}
int FullPathname(sqlite3_vfs*, const char* name, int n, char* out) {
  return g_base->xFullPathname(g_base, name, n, out);
}
void* DlOpen(sqlite3_vfs*, const char* name) { return g_base->xDlOpen(g_base, name); }
void DlError(sqlite3_vfs*, int n, char* out) { g_base->xDlError(g_base, n, out); }
void (*DlSym(sqlite3_vfs*, void* h, const char* sym))(void) {
  return g_base->xDlSym(g_base, h, sym);
}
void DlClose(sqlite3_vfs*, void* h) { g_base->xDlClose(g_base, h); }
int Randomness(sqlite3_vfs*, int n, char* out) { return g_base->xRandomness(g_base, n, out); }
int Sleep(sqlite3_vfs*, int us) { return g_base->xSleep(g_base, us); }
int CurrentTime(sqlite3_vfs*, double* t) { return g_base->xCurrentTime(g_base, t); }
int LastError(sqlite3_vfs*, int n, char* out) {
  return g_base->xGetLastError ? g_base->xGetLastError(g_base, n, out) : 0;
}
int CurrentTimeInt64(sqlite3_vfs*, sqlite3_int64* t) {
  if (g_base->iVersion >= 2 && g_base->xCurrentTimeInt64)
    return g_base->xCurrentTimeInt64(g_base, t);
  double d = 0;
  const int rc = g_base->xCurrentTime(g_base, &d);
  *t = sqlite3_int64(d * 86400000.0);
  return rc;
}

}  // namespace

const char* RegisterAcsVfs(sqlite3_vfs* baseVfs) {
  static std::mutex mutex;
  std::lock_guard lock(mutex);
  sqlite3_vfs* base = baseVfs ? baseVfs : sqlite3_vfs_find(nullptr);
  if (g_base == base) return kAcsVfsName;
  if (g_base) sqlite3_vfs_unregister(&g_vfs);
  g_base = base;
  std::memset(&g_vfs, 0, sizeof g_vfs);
  g_vfs.iVersion = 2;
  g_vfs.szOsFile = int(sizeof(ShiftedFile)) + base->szOsFile;
  g_vfs.mxPathname = base->mxPathname;
  g_vfs.zName = kAcsVfsName;
  g_vfs.xOpen = Open;
  g_vfs.xDelete = Delete;
  g_vfs.xAccess = Access;
  g_vfs.xFullPathname = FullPathname;
  g_vfs.xDlOpen = DlOpen;
  g_vfs.xDlError = DlError;
  g_vfs.xDlSym = DlSym;
  g_vfs.xDlClose = DlClose;
  g_vfs.xRandomness = Randomness;
  g_vfs.xSleep = Sleep;
  g_vfs.xCurrentTime = CurrentTime;
  g_vfs.xGetLastError = LastError;
  g_vfs.xCurrentTimeInt64 = CurrentTimeInt64;
  sqlite3_vfs_register(&g_vfs, 0);
  return kAcsVfsName;
}

}  // namespace vedalia
