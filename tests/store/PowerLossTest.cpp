// Power loss between a write and its flush. A VFS under the header shim remembers what each
// write since its file's last sync replaced; at a chosen write, sync or truncate the power
// fails: the unsynced changes are undone (all of them, or every other one, as a disk that
// reorders its cache would) and every later call fails. The file must then pass the check
// and hold exactly the commits that were acknowledged.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "CrashState.h"
#include "StoreTestUtil.h"
#include "store/AcsVfs.h"
#include "store/uChecker.h"

namespace vedalia {
namespace {

struct Undo {
  sqlite3_int64 at;
  std::string old;  // the bytes that were there, up to the old size
  sqlite3_int64 oldSize;
  sqlite3_int64 end;  // where this change ended (for a truncation: its new size)
};

struct Power {
  sqlite3_vfs* base = nullptr;
  long events = 0;
  long cutAt = LONG_MAX;
  bool off = false;
  bool keepEveryOther = false;
  std::map<std::string, std::vector<Undo>> unsynced;
} g;

struct File {
  sqlite3_file base;
  const char* name;  // valid until close (SQLite's promise); null for temporary files
  sqlite3_file* real;
};

sqlite3_file* Real(sqlite3_file* f) { return reinterpret_cast<File*>(f)->real; }

std::string OldBytes(int fd, sqlite3_int64 at, sqlite3_int64 n, sqlite3_int64 size) {
  std::string old(std::size_t(std::max<sqlite3_int64>(0, std::min(n, size - at))), '\0');
  if (!old.empty() && ::pread(fd, old.data(), old.size(), at) != ssize_t(old.size())) old.clear();
  return old;
}

// Undoes the unsynced changes of every file (or every other one), as the disk would lose them.
void LoseUnsynced() {
  for (auto& [name, undos] : g.unsynced) {
    const int fd = ::open(name.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) continue;  // deleted since: its deletion reached the disk
    sqlite3_int64 size = undos.front().oldSize;
    for (std::size_t i = undos.size(); i-- > 0;) {
      const Undo& u = undos[i];
      if (g.keepEveryOther && i % 2 == 1) {
        size = std::max(size, u.end);
        continue;
      }
      // What lay beyond the old end was never there: zeros, if a kept change reaches past it.
      std::string bytes = u.old;
      if (u.end - u.at > sqlite3_int64(bytes.size())) bytes.resize(std::size_t(u.end - u.at), '\0');
      if (!bytes.empty()) {
        EXPECT_EQ(::pwrite(fd, bytes.data(), bytes.size(), u.at), ssize_t(bytes.size()));
      }
    }
    EXPECT_EQ(::ftruncate(fd, size), 0);
    ::close(fd);
  }
  g.unsynced.clear();
}

// Counts an event; the one at cutAt (and every one after) fails with the power off.
bool PowerFails(sqlite3_file* f) {
  if (!reinterpret_cast<File*>(f)->name) return g.off;
  if (!g.off && g.events++ == g.cutAt) {
    g.off = true;
    LoseUnsynced();
  }
  return g.off;
}

void Remember(sqlite3_file* f, sqlite3_int64 at, sqlite3_int64 n, sqlite3_int64 end) {
  const char* name = reinterpret_cast<File*>(f)->name;
  if (!name) return;
  const int fd = ::open(name, O_RDONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  const sqlite3_int64 size = ::lseek(fd, 0, SEEK_END);
  g.unsynced[name].push_back({at, OldBytes(fd, at, n, size), size, end});
  ::close(fd);
}

int Close(sqlite3_file* f) { return Real(f)->pMethods ? Real(f)->pMethods->xClose(Real(f)) : 0; }
int Read(sqlite3_file* f, void* p, int n, sqlite3_int64 at) {
  return g.off ? SQLITE_IOERR_READ : Real(f)->pMethods->xRead(Real(f), p, n, at);
}
int Write(sqlite3_file* f, const void* p, int n, sqlite3_int64 at) {
  if (PowerFails(f)) return SQLITE_IOERR_WRITE;
  Remember(f, at, n, at + n);
  return Real(f)->pMethods->xWrite(Real(f), p, n, at);
}
int Truncate(sqlite3_file* f, sqlite3_int64 size) {
  if (PowerFails(f)) return SQLITE_IOERR_TRUNCATE;
  Remember(f, size, LLONG_MAX / 2, size);
  return Real(f)->pMethods->xTruncate(Real(f), size);
}
int Sync(sqlite3_file* f, int flags) {
  if (PowerFails(f)) return SQLITE_IOERR_FSYNC;
  const int rc = Real(f)->pMethods->xSync(Real(f), flags);
  if (rc == SQLITE_OK && reinterpret_cast<File*>(f)->name)
    g.unsynced.erase(reinterpret_cast<File*>(f)->name);
  return rc;
}
int FileSize(sqlite3_file* f, sqlite3_int64* s) {
  return g.off ? SQLITE_IOERR_FSTAT : Real(f)->pMethods->xFileSize(Real(f), s);
}
int Lock(sqlite3_file* f, int l) { return Real(f)->pMethods->xLock(Real(f), l); }
int Unlock(sqlite3_file* f, int l) { return Real(f)->pMethods->xUnlock(Real(f), l); }
int Reserved(sqlite3_file* f, int* o) { return Real(f)->pMethods->xCheckReservedLock(Real(f), o); }
int Control(sqlite3_file* f, int op, void* a) {
  return Real(f)->pMethods->xFileControl(Real(f), op, a);
}
int Sector(sqlite3_file* f) { return Real(f)->pMethods->xSectorSize(Real(f)); }
int Device(sqlite3_file* f) { return Real(f)->pMethods->xDeviceCharacteristics(Real(f)); }

const sqlite3_io_methods kMethods = {
    1,       Close,  Read,   Write,   Truncate, Sync,    FileSize, Lock,    Unlock, Reserved,
    Control, Sector, Device, nullptr, nullptr,  nullptr, nullptr,  nullptr, nullptr};

int Open(sqlite3_vfs*, const char* name, sqlite3_file* file, int flags, int* out) {
  auto* f = reinterpret_cast<File*>(file);
  f->base.pMethods = nullptr;
  f->name = name;
  f->real = reinterpret_cast<sqlite3_file*>(f + 1);
  if (g.off) return SQLITE_IOERR;
  const int rc = g.base->xOpen(g.base, name, f->real, flags, out);
  if (rc == SQLITE_OK) f->base.pMethods = &kMethods;
  return rc;
}
int Delete(sqlite3_vfs*, const char* name, int syncDir) {
  if (g.off) return SQLITE_IOERR_DELETE;
  g.unsynced.erase(name);
  return g.base->xDelete(g.base, name, syncDir);
}

sqlite3_vfs* PowerVfs() {
  static sqlite3_vfs vfs = [] {
    g.base = sqlite3_vfs_find(nullptr);
    sqlite3_vfs v = *g.base;
    v.zName = "vedalia-powerloss";
    v.szOsFile = int(sizeof(File)) + g.base->szOsFile;
    v.xOpen = Open;
    v.xDelete = Delete;
    v.pNext = nullptr;
    return v;
  }();
  sqlite3_vfs_register(&vfs, 0);
  return &vfs;
}

// Runs `commits` facade commits from the seeded state with the power failing at event
// `cutAt`; returns how many were acknowledged.
int CommitUntilPowerFails(const QString& path, int commits, long cutAt, bool keepEveryOther) {
  sqlite3_vfs* vfs = PowerVfs();
  g = Power{g.base, 0, cutAt, false, keepEveryOther, {}};
  RegisterAcsVfs(vfs);
  int acked = 0;
  for (int s = 1; s <= commits; ++s) {
    try {
      TDBTransaction tx(path);
      if (tx.AddTestResult(testing::CrashCommitRecord(s)) != QString()) break;
      acked = s;
    } catch (const std::exception&) {
      break;
    }
  }
  RegisterAcsVfs();
  return acked;
}

TEST(PowerLoss, EveryCutLeavesTheFileAtTheLastAcknowledgedCommit) {
  testing::TempDatabase db;
  {
    TDBTransaction tx(db.path);
    ASSERT_EQ(tx.AddUser(QStringLiteral("Аня;Б;Иванова;1.1.2001;Аня;pw;А;true;true;8;0")),
              QStringLiteral("1"));
    ASSERT_EQ(tx.AddTestResult(testing::CrashCommitRecord(0).replace("u", "start")), QString());
    // Other pupils' rows, so that the commits split and touch pages of a deeper tree.
    for (int i = 0; i < 150; ++i)
      ASSERT_EQ(tx.AddTestResult(QStringLiteral("%1;1;1;5;%2;filler").arg(i % 7).arg(2 + i)),
                QString());
  }
  const QByteArray seeded = db.Bytes();
  constexpr int kCommits = 6;
  ASSERT_EQ(CommitUntilPowerFails(db.path, kCommits, LONG_MAX, false), kCommits);
  const long events = g.events;
  ASSERT_GT(events, 4 * kCommits);
  for (const bool keepEveryOther : {false, true}) {
    for (long cut = 0; cut < events; ++cut) {
      SCOPED_TRACE("cut at event " + std::to_string(cut) + (keepEveryOther ? ", reordered" : ""));
      db.WriteBytes(seeded);
      QFile::remove(db.path + "-wal");
      const int acked = CommitUntilPowerFails(db.path, kCommits, cut, keepEveryOther);
      ASSERT_TRUE(g.off);
      ASSERT_TRUE(
          TChecker().CheckDatabase(db.path, {QStringLiteral("users"), QStringLiteral("results")}));
      TDBTransaction tx(db.path);
      QString why;
      ASSERT_EQ(testing::CommittedSteps(tx, &why), acked) << why.toStdString();
    }
  }
}

}  // namespace
}  // namespace vedalia
