// One whole command cycle of the shell on the accounts database, as the shell runs it for
// every movie command: open (lock, header, key from the process cache), one operation,
// commit where it writes, close. Sizes: 1k accounts / 50k results and 10k / 1M, and with
// VEDALIA_BENCH_HUGE=1 also 100k / 10M (about 400 MB; made once, then reused).
//
// Anchors of the same run, doing the same statements on the same data:
//   plain:     SQLite without encryption, WAL, synchronous FULL, exclusive locking;
//   cipherkdf: SQLCipher keyed with the password itself, so that every open pays the
//              library's own default key derivation;
//   journal/*: our page-encrypted file behind the header shim with the raw key, in each
//              journal mode, to choose the mode by measurement.
//
// Counters: file_bytes; sqlite_peak_kib (the engine's heap high-water mark during one
// cycle), rss_rise_kib (how far the process's peak resident size rose above its size
// before the cycle) and rss_peak_kib (that peak), the largest of a few cycles run after the
// timed ones.
//
// Generated files live in VEDALIA_BENCH_CACHE (default: the build folder's bench-cache).

#include <benchmark/benchmark.h>
#include <sodium.h>
#include <sqlite3.h>

#include <QDir>
#include <QFileInfo>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "BenchAccounts.h"
#include "store/AcsVfs.h"
#include "store/uCrypto.h"
#include "store/uDBTransaction.h"
#include "store/uTables.h"

namespace vedalia {
namespace {

struct Size {
  int accounts;
  int results;
  std::string Label() const { return std::to_string(accounts) + "_" + std::to_string(results); }
};

// Bump when the generated content changes, so that stale cached files are not reused.
constexpr char kCacheVersion[] = "v2";

QString CacheDir() {
  const char* env = std::getenv("VEDALIA_BENCH_CACHE");
  const QString dir = QString::fromLocal8Bit(env && *env ? env : VEDALIA_BENCH_CACHE_DIR);
  QDir().mkpath(dir);
  return dir;
}

QString CachedPath(const std::string& kind, const Size& size) {
  return CacheDir() + '/' +
         QString::fromStdString(kind + "_" + size.Label() + "_" + kCacheVersion + ".db");
}

[[noreturn]] void Die(const std::string& what) {
  std::fprintf(stderr, "bench_store: %s\n", what.c_str());
  std::exit(1);
}

// ---- the data ----------------------------------------------------------------------------

using bench::Name;
using bench::Password;
using bench::Surname;

// Our file, through the store itself. Every account gets results/accounts tests, in key
// order so that a 10M-row file is made in minutes.
void MakeStoreFile(const QString& path, const Size& size) {
  const QString partial = path + QStringLiteral(".part");
  for (const char* suffix : {"", "-wal", ".lock"}) QFile::remove(partial + suffix);
  CreateDatabaseFile(partial);
  {
    TDM dm(partial);
    dm.Database.StartTransaction();
    bench::AddAccounts(dm, size.accounts);
    const int perAccount = size.results / size.accounts;
    dm.Query.AddLine(QStringLiteral(
        "WITH RECURSIVE n(x) AS (SELECT 0 UNION ALL SELECT x + 1 FROM n WHERE x + 1 < :Total) "
        "INSERT INTO results SELECT x / :Per + 1, (x % :Per) / 100 + 1, (x % :Per) / 10 % 10 + 1, "
        "x % 10 + 1, x * 37 % 101, x * 37 % 101, x * 37 % 101, 1, 'пройден' FROM n"));
    dm.Query.BindInt(QStringLiteral("Total"), qint64(perAccount) * size.accounts);
    dm.Query.BindInt(QStringLiteral("Per"), perAccount);
    dm.Query.ExecSQL();
    dm.Database.Commit();
  }
  if (std::rename(partial.toLocal8Bit().constData(), path.toLocal8Bit().constData()) != 0)
    Die("cannot rename " + partial.toStdString());
}

// A fixed raw key for the journal-mode copies (they are bench files, not course files).
std::string RawKeyClause() { return "'x''" + std::string(64, '5') + "'''"; }

// ---- the variants ------------------------------------------------------------------------

// A connection opened the way the store opens its file, but configurable, running the
// store's statements directly.
struct RawConfig {
  std::string kind;     // cache name of its file
  std::string vfs;      // empty: the default
  std::string keySql;   // empty: no encryption
  std::string journal;  // journal mode
};

class RawConnection {
 public:
  RawConnection(const QString& path, const RawConfig& config) {
    const QByteArray name = path.toUtf8();
    if (sqlite3_open_v2(name.constData(), &db_,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_URI,
                        config.vfs.empty() ? nullptr : config.vfs.c_str()) != SQLITE_OK)
      Fail("open");
    if (!config.keySql.empty()) {
      Exec(config.keySql);
      Exec("PRAGMA cipher_page_size = 4096");
    }
    Exec("PRAGMA locking_mode = EXCLUSIVE");
    Exec("SELECT count(*) FROM sqlite_master");
    Exec("PRAGMA journal_mode = " + config.journal);
    Exec("PRAGMA synchronous = FULL");
  }
  ~RawConnection() { sqlite3_close(db_); }

  void Exec(const std::string& sql) {
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) Fail(sql);
  }
  // Runs a statement with its values bound in order; returns the rows read, each column
  // taken as text as the store does.
  int Run(const char* sql, const std::vector<std::string>& values) {
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db_, sql, -1, &stmt, nullptr) != SQLITE_OK) Fail(sql);
    for (std::size_t i = 0; i < values.size(); ++i)
      sqlite3_bind_text(stmt, int(i) + 1, values[i].c_str(), -1, SQLITE_TRANSIENT);
    int rows = 0;
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
      ++rows;
      for (int c = 0; c < sqlite3_column_count(stmt); ++c)
        benchmark::DoNotOptimize(sqlite3_column_text(stmt, c));
    }
    sqlite3_finalize(stmt);
    if (rc != SQLITE_DONE) Fail(sql);
    return rows;
  }

 private:
  [[noreturn]] void Fail(const std::string& what) {
    Die(what + ": " + (db_ ? sqlite3_errmsg(db_) : "no memory"));
  }
  sqlite3* db_ = nullptr;
};

void RenameInto(const QString& partial, const QString& to) {
  if (std::rename(partial.toLocal8Bit().constData(), to.toLocal8Bit().constData()) != 0)
    Die("cannot rename " + partial.toStdString());
}

QString FreshPartial(const QString& to) {
  const QString partial = to + QStringLiteral(".part");
  for (const char* suffix : {"", "-wal", "-journal"}) QFile::remove(partial + suffix);
  return partial;
}

// A copy of our file behind the shim under the fixed raw key: attached to the store's own
// connection, so it goes through the same shim.
void ExportToShim(const QString& from, const QString& to) {
  const QString partial = FreshPartial(to);
  {
    // The store's connection opens without creating: the file (with a blank header) first.
    QFile file(partial);
    if (!file.open(QIODevice::WriteOnly) || file.write(QByteArray(int(kAcsHeaderBytes), 0)) < 0)
      Die("cannot create " + partial.toStdString());
  }
  TDM dm(from);
  const auto exec = [&](const QString& text) {
    dm.Query.Clear();
    dm.Query.AddLine(text);
    dm.Query.ExecSQL();
  };
  exec(QStringLiteral("ATTACH DATABASE '%1' AS copy KEY %2")
           .arg(partial, QString::fromStdString(RawKeyClause())));
  exec(QStringLiteral("PRAGMA copy.auto_vacuum = FULL"));
  dm.Query.Clear();
  dm.Query.AddLine(QStringLiteral("SELECT sqlcipher_export('copy')"));
  dm.Query.Open();
  exec(QStringLiteral("DETACH DATABASE copy"));
  RenameInto(partial, to);
}

// A copy without the shim, keyed by `keyClause` ('' for none).
void ExportFromShim(const QString& from, const RawConfig& shim, const QString& to,
                    const std::string& keyClause) {
  const QString partial = FreshPartial(to);
  {
    RawConnection c(from, shim);
    c.Exec("ATTACH DATABASE 'file:" + QFileInfo(partial).absoluteFilePath().toStdString() +
           "?vfs=" + sqlite3_vfs_find(nullptr)->zName + "' AS copy KEY " + keyClause);
    c.Exec("PRAGMA copy.auto_vacuum = FULL");
    c.Exec("SELECT sqlcipher_export('copy')");
    c.Exec("DETACH DATABASE copy");
  }
  RenameInto(partial, to);
}

std::string Utf8(const QString& s) { return s.toStdString(); }

enum class Op { OpenClose, ValidateUser, GetUserResults, AddTestResult };
constexpr const char* kOpNames[] = {"OpenClose", "ValidateUser", "GetUserResults", "AddTestResult"};

// One cycle of `op` on a raw connection, with the statements of the store's queries.
void RawCycle(const QString& path, const RawConfig& config, Op op, int id, int score) {
  RawConnection c(path, config);
  const std::string uid = std::to_string(id);
  switch (op) {
    case Op::OpenClose:
      break;
    case Op::ValidateUser:
      if (c.Run("SELECT * FROM `users` WHERE U_SurName = ? AND U_name = ? AND U_password = ?",
                {Utf8(Surname(id)), Utf8(Name(id)),
                 Utf8(EncodeStr(Password(id), QLatin1String(kFieldCipherKey)))}) != 1)
        Die("no login");
      break;
    case Op::GetUserResults:
      if (c.Run("SELECT * FROM `results` WHERE U_id = ?", {uid}) == 0) Die("no results");
      break;
    case Op::AddTestResult: {
      const char* where = " WHERE U_id = ? AND R_Glava = 1 AND R_Razv = 1 AND R_Test_Num = 1";
      if (c.Run((std::string("SELECT * FROM `results`") + where).c_str(), {uid}) != 1)
        Die("no test row");
      c.Exec("BEGIN IMMEDIATE");
      c.Run((std::string("UPDATE `results` SET R_Num_Pop = R_Num_Pop + 1, R_Best_Res = ?, "
                         "R_Last_Res = ?, R_Dop_Inf = 'again', R_Avg_Res = ?") +
             where)
                .c_str(),
            {std::to_string(score), std::to_string(score), std::to_string(score), uid});
      c.Exec("COMMIT");
    }
  }
}

// One cycle of `op` through the shell's own facade.
void StoreCycle(const QString& path, Op op, int id, int score) {
  switch (op) {
    case Op::OpenClose: {
      TDM dm(path);
      break;
    }
    case Op::ValidateUser: {
      TDBTransaction tx(path);
      const QString record = Surname(id) + ';' + Name(id) + QStringLiteral(";А;") + Password(id);
      if (!tx.ValidateUser(record).startsWith(QString::number(id) + ';')) Die("no login");
      break;
    }
    case Op::GetUserResults: {
      TDBTransaction tx(path);
      if (tx.GetUserResults(QString::number(id)).count('/') < 7) Die("no results");
      break;
    }
    case Op::AddTestResult: {
      TDBTransaction tx(path);
      if (!tx.AddTestResult(QStringLiteral("1;1;1;%1;%2;again").arg(score).arg(id)).isEmpty())
        Die("not stored");
    }
  }
}

// ---- memory ------------------------------------------------------------------------------

long StatusKiB(const char* key) {
  std::ifstream status("/proc/self/status");
  std::string line;
  const std::string prefix = std::string(key) + ":";
  while (std::getline(status, line)) {
    if (line.rfind(prefix, 0) == 0) return std::atol(line.c_str() + prefix.size());
  }
  return -1;
}

// Resets the peak resident size to the current one (Linux 4.0 and later).
bool ResetPeakRss() {
  std::ofstream clear("/proc/self/clear_refs");
  clear << "5";
  return bool(clear.flush());
}

void ReportMemory(benchmark::State& state, const std::function<void()>& cycle) {
  long rssRise = -1;
  long rssPeak = -1;
  sqlite3_int64 heapPeak = 0;
  for (int i = 0; i < 3; ++i) {
    sqlite3_int64 current = 0;
    sqlite3_int64 high = 0;
    sqlite3_status64(SQLITE_STATUS_MEMORY_USED, &current, &high, 1);
    const long before = StatusKiB("VmRSS");
    const bool reset = ResetPeakRss();
    cycle();
    const long peak = StatusKiB("VmHWM");
    if (reset) rssRise = std::max(rssRise, peak - before);
    rssPeak = std::max(rssPeak, peak);
    sqlite3_status64(SQLITE_STATUS_MEMORY_USED, &current, &high, 0);
    heapPeak = std::max(heapPeak, high);
  }
  state.counters["sqlite_peak_kib"] = double(heapPeak) / 1024;
  state.counters["rss_rise_kib"] = double(rssRise);
  state.counters["rss_peak_kib"] = double(rssPeak);
}

// ---- registration ------------------------------------------------------------------------

std::map<std::string, QString>& Files() {
  static std::map<std::string, QString> files;
  return files;
}

// The file of `kind` at `size`, made (and cached) on first use.
const QString& FileFor(const std::string& kind, const Size& size) {
  const std::string key = kind + "/" + size.Label();
  QString& path = Files()[key];
  if (!path.isEmpty()) return path;
  path = CachedPath(kind, size);
  if (QFileInfo::exists(path)) return path;
  std::fprintf(stderr, "bench_store: making %s\n", path.toLocal8Bit().constData());
  const RawConfig shim{"shimWAL", kAcsVfsName, "PRAGMA key = " + RawKeyClause(), "WAL"};
  if (kind == "store") {
    MakeStoreFile(path, size);
  } else if (kind == "plain") {
    ExportFromShim(FileFor(shim.kind, size), shim, path, "''");
  } else if (kind == "cipherkdf") {
    ExportFromShim(FileFor(shim.kind, size), shim, path, "'kelp_morrow_key'");
  } else {
    ExportToShim(FileFor("store", size), path);
  }
  return path;
}

void Register(const std::string& variant, const Size& size, Op op,
              std::function<void(const QString&, Op, int, int)> cycle, const std::string& kind) {
  const std::string name = variant + "/" + kOpNames[int(op)] + "/" + size.Label();
  benchmark::RegisterBenchmark(name.c_str(),
                               [=](benchmark::State& state) {
                                 const QString& path = FileFor(kind, size);
                                 const int id = size.accounts / 2;
                                 int score = 0;
                                 for (auto _ : state) cycle(path, op, id, score++ % 100);
                                 ReportMemory(state, [&] { cycle(path, op, id, score++ % 100); });
                                 state.counters["file_bytes"] = double(QFileInfo(path).size());
                               })
      ->Unit(benchmark::kMillisecond)
      ->Repetitions(5)
      ->ReportAggregatesOnly(true);
}

void RegisterAll() {
  std::vector<Size> sizes = {{1000, 50000}, {10000, 1000000}};
  const char* huge = std::getenv("VEDALIA_BENCH_HUGE");
  const bool withHuge = huge && std::string(huge) == "1";
  if (withHuge) sizes.push_back({100000, 10000000});
  RegisterAcsVfs();
  const std::vector<RawConfig> anchors = {
      {"plain", "", "", "WAL"},
      {"cipherkdf", "", "PRAGMA key = 'kelp_morrow_key'", "WAL"},
  };
  std::vector<RawConfig> journals;
  for (const char* mode : {"WAL", "DELETE", "TRUNCATE", "PERSIST"}) {
    journals.push_back({"shim", kAcsVfsName, "PRAGMA key = " + RawKeyClause(), mode});
  }
  for (const Size& size : sizes) {
    const bool anchored = size.accounts <= 10000;
    for (Op op : {Op::OpenClose, Op::ValidateUser, Op::GetUserResults, Op::AddTestResult}) {
      Register(
          "store", size, op, [](const QString& p, Op o, int id, int s) { StoreCycle(p, o, id, s); },
          "store");
      if (!anchored) continue;
      for (const RawConfig& config : anchors) {
        Register(
            config.kind, size, op,
            [config](const QString& p, Op o, int id, int s) { RawCycle(p, config, o, id, s); },
            config.kind);
      }
    }
    if (!anchored) continue;
    for (const RawConfig& config : journals) {
      for (Op op : {Op::OpenClose, Op::AddTestResult}) {
        // Each mode has its own copy: a mode left in a file changes how the next opens.
        const std::string kind = "shim" + config.journal;
        Register(
            "journal" + config.journal, size, op,
            [config](const QString& p, Op o, int id, int s) { RawCycle(p, config, o, id, s); },
            kind);
      }
    }
  }
}

}  // namespace
}  // namespace vedalia

int main(int argc, char** argv) {
  if (sodium_init() < 0) return 1;
  vedalia::RegisterAll();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
