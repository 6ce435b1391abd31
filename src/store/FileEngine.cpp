#include "store/FileEngine.h"

#include <fcntl.h>
#include <sodium.h>
#include <sqlite3.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFileInfo>
#include <QUrl>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstring>

#include "store/AcsVfs.h"

#include "store/RegularFile.h"
#include "store/StoreErrors.h"

namespace vedalia {
namespace {

[[noreturn]] void FailSql(sqlite3* db, const QString& statement) {
  std::string message = db ? sqlite3_errmsg(db) : "no database";
  if (!statement.isEmpty()) message += " in: " + statement.toStdString();
  // A page that fails its authentication is damage, not a bad statement.
  const int code = db ? sqlite3_errcode(db) & 0xFF : 0;
  const bool damaged = code == SQLITE_CORRUPT || code == SQLITE_NOTADB;
  throw EngineError(damaged ? EngineError::Kind::Damaged : EngineError::Kind::Sql, message);
}

[[noreturn]] void FailUsage(const char* what) { throw EngineError(EngineError::Kind::Usage, what); }

// A prepared statement that is finalised whatever happens.
class Statement {
 public:
  // Exactly one statement: anything but blanks and ";" after it is refused, so that no
  // value can smuggle a second one in.
  Statement(sqlite3* db, const QString& text) : db_(db), text_(text) {
    const QByteArray utf8 = text.toUtf8();
    const char* tail = nullptr;
    if (sqlite3_prepare_v2(db, utf8.constData(), int(utf8.size()), &stmt_, &tail) != SQLITE_OK) {
      FailSql(db, text);
    }
    if (!stmt_) throw EngineError(EngineError::Kind::Sql, "empty statement");
    for (; tail && *tail; ++tail) {
      if (*tail != ';' && !std::isspace(static_cast<unsigned char>(*tail))) {
        sqlite3_finalize(stmt_);  // no destructor runs for a constructor that throws
        throw EngineError(EngineError::Kind::Sql,
                          "more than one statement in: " + text.toStdString());
      }
    }
  }
  ~Statement() { sqlite3_finalize(stmt_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  sqlite3_stmt* get() const { return stmt_; }

  void BindAt(int slot, const SqlValue& v) {
    int rc = SQLITE_OK;
    switch (v.type) {
      case SqlValue::Type::Null:
        rc = sqlite3_bind_null(stmt_, slot);
        break;
      case SqlValue::Type::Integer:
        rc = sqlite3_bind_int64(stmt_, slot, v.integer);
        break;
      case SqlValue::Type::Real:
        rc = sqlite3_bind_double(stmt_, slot, v.real);
        break;
      case SqlValue::Type::Text: {
        const QByteArray utf8 = v.text.toUtf8();
        rc = sqlite3_bind_text(stmt_, slot, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
      }
    }
    if (rc != SQLITE_OK) FailSql(db_, text_);
  }
  // Every placeholder gets its value by name, and every value a placeholder.
  void BindByName(const SqlBindings& values) {
    const int count = sqlite3_bind_parameter_count(stmt_);
    std::vector<bool> bound(std::size_t(count) + 1, false);
    for (const auto& [name, value] : values) {
      const int slot = sqlite3_bind_parameter_index(stmt_, (':' + name).toUtf8().constData());
      if (slot == 0) {
        throw EngineError(EngineError::Kind::Sql,
                          "no placeholder :" + name.toStdString() + " in: " + text_.toStdString());
      }
      BindAt(slot, value);
      bound[std::size_t(slot)] = true;
    }
    for (int i = 1; i <= count; ++i) {
      if (!bound[std::size_t(i)]) {
        const char* name = sqlite3_bind_parameter_name(stmt_, i);
        throw EngineError(
            EngineError::Kind::Sql,
            std::string("no value for ") + (name ? name : "?") + " in: " + text_.toStdString());
      }
    }
  }
  // Runs to the end; true when the statement changes the database.
  bool RunToEnd() {
    int rc;
    while ((rc = sqlite3_step(stmt_)) == SQLITE_ROW) {
    }
    if (rc != SQLITE_DONE) FailSql(db_, text_);
    return !sqlite3_stmt_readonly(stmt_);
  }
  SqlResult ReadAll() {
    SqlResult result;
    const int count = sqlite3_column_count(stmt_);
    if (count == 0) {
      throw EngineError(EngineError::Kind::Sql,
                        "statement returns no rows: " + text_.toStdString());
    }
    for (int i = 0; i < count; ++i) {
      const char* declared = sqlite3_column_decltype(stmt_, i);
      result.columns.push_back({QString::fromUtf8(sqlite3_column_name(stmt_, i)),
                                QString::fromUtf8(declared ? declared : "").toUpper()});
    }
    int rc;
    while ((rc = sqlite3_step(stmt_)) == SQLITE_ROW) {
      std::vector<SqlValue> row(static_cast<std::size_t>(count));
      for (int i = 0; i < count; ++i) {
        SqlValue& v = row[std::size_t(i)];
        switch (sqlite3_column_type(stmt_, i)) {
          case SQLITE_INTEGER:
            v = SqlValue::Int(sqlite3_column_int64(stmt_, i));
            break;
          case SQLITE_FLOAT:
            v.type = SqlValue::Type::Real;
            v.real = sqlite3_column_double(stmt_, i);
            break;
          case SQLITE_NULL:
            break;
          default: {
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, i));
            v = SqlValue::Str(QString::fromUtf8(text, sqlite3_column_bytes(stmt_, i)));
          }
        }
      }
      result.rows.push_back(std::move(row));
    }
    if (rc != SQLITE_DONE) FailSql(db_, text_);
    return result;
  }

 private:
  sqlite3* db_;
  QString text_;
  sqlite3_stmt* stmt_ = nullptr;
};

void Exec(sqlite3* db, const std::string& sql, EngineError::Kind kind = EngineError::Kind::Sql) {
  char* error = nullptr;
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
    const std::string message = error ? error : sqlite3_errmsg(db);
    sqlite3_free(error);
    // Never the statement: it may hold the key.
    throw EngineError(kind, message);
  }
}

QString QuoteIdentifier(const QString& name) {
  QString quoted = name;
  quoted.replace('`', "``");
  return '`' + quoted + '`';
}

// ---- the file's own header (format 2) ----------------------------------------------------
//   offset  size  field
//   0       4     signature "ACS2"
//   4       2     format version (little-endian), 2
//   6       1     key derivation: 1 = Argon2id v1.3
//   7       1     flags: 1 = the pages' unused tails are zero (AcsVfs checks them)
//   8       4     derivation passes (little-endian)
//   12      4     derivation memory in KiB (little-endian)
//   16      16    derivation salt
//   32      32    keyed BLAKE2b of the whole header (this field zero, signature upper-cased)
//   64      ...   zero up to kAcsHeaderBytes; then the encrypted database's pages

constexpr std::uint16_t kFormatVersion = 2;
constexpr int kUpgradeLockWaitMs = 10 * 500;
constexpr std::size_t kMacOffset = 32;

void PutLe32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = std::uint8_t(v >> (8 * i));
}
std::uint32_t GetLe32(const std::uint8_t* p) {
  return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
         std::uint32_t(p[3]) << 24;
}

using Header = std::array<std::uint8_t, std::size_t(kAcsHeaderBytes)>;

void HeaderMac(const Header& header, const sealed::FileKey& key, std::uint8_t* mac) {
  static const unsigned char kContext[] = "vedalia ACS2 header";
  std::uint8_t macKey[32];
  crypto_generichash(macKey, sizeof macKey, kContext, sizeof kContext, key.key, sizeof key.key);
  Header copy = header;
  for (int i = 0; i < 4; ++i)
    copy[std::size_t(i)] = std::uint8_t(std::toupper(copy[std::size_t(i)]));
  std::memset(copy.data() + kMacOffset, 0, 32);
  crypto_generichash(mac, 32, copy.data(), copy.size(), macKey, sizeof macKey);
  sodium_memzero(macKey, sizeof macKey);
}

Header BuildHeader(const sealed::FileKey& key) {
  Header h{};
  std::memcpy(h.data(), "ACS2", 4);
  h[4] = std::uint8_t(kFormatVersion & 0xFF);
  h[5] = std::uint8_t(kFormatVersion >> 8);
  h[6] = 1;
  h[kAcsFlagsOffset] = kAcsZeroTails;
  PutLe32(h.data() + 8, key.cost.passes);
  PutLe32(h.data() + 12, key.cost.memoryKiB);
  std::memcpy(h.data() + 16, key.salt, 16);
  HeaderMac(h, key, h.data() + kMacOffset);
  return h;
}

[[noreturn]] void FailFile(EngineError::Kind kind, const QString& path, const std::string& what) {
  throw EngineError(kind, path.toStdString() + ": " + what);
}

[[noreturn]] void FailErrno(const QString& path, const char* what) {
  FailFile(EngineError::Kind::Io, path, std::string(what) + ": " + std::strerror(errno));
}

void SyncFolderOf(const QString& path) {
  const QByteArray dir = QFileInfo(path).absolutePath().toLocal8Bit();
  const int fd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  const bool ok = fd >= 0 && ::fsync(fd) == 0;
  if (fd >= 0) ::close(fd);
  if (!ok) FailErrno(path, "flushing the folder failed");
}

// A new file holding only the header, flushed.
void WriteHeaderFile(const QString& path, const sealed::FileKey& key) {
  const QByteArray name = path.toLocal8Bit();
  const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) FailErrno(path, "cannot create");
  const Header h = BuildHeader(key);
  const bool ok = ::write(fd, h.data(), h.size()) == ssize_t(h.size()) && ::fsync(fd) == 0;
  ::close(fd);
  if (!ok) FailErrno(path, "cannot write the header");
}

void SyncFile(const QString& path) {
  const int fd = ::open(path.toLocal8Bit().constData(), O_RDONLY | O_CLOEXEC);
  const bool ok = fd >= 0 && ::fsync(fd) == 0;
  if (fd >= 0) ::close(fd);
  if (!ok) FailErrno(path, "flushing failed");
}

// Removes what a failed earlier attempt may have left of a file being made.
void RemoveWithCompanions(const QString& path) {
  for (const char* suffix : {"", "-journal", "-wal", "-shm"}) {
    ::unlink((path + QLatin1String(suffix)).toLocal8Bit().constData());
  }
}

struct FileFormat {
  int version = 0;
  sealed::FileKey key;  // format 2: derived
  std::int64_t fileBytes = 0;
};

// Reads the header without blocking on a FIFO or device, and derives the key (cached).
FileFormat ReadFormat(const QString& path, const QString& password) {
  struct stat st {};
  const int fd = OpenRegularFile(path.toLocal8Bit().constData(), st);
  if (fd == kNotRegularFile) FailFile(EngineError::Kind::Io, path, "not a regular file");
  if (fd < 0) {
    if (errno == ENOENT || errno == ENOTDIR)
      FailFile(EngineError::Kind::FileMissing, path, "no such file");
    FailErrno(path, "cannot open");
  }
  Header h{};
  const ssize_t got = ::pread(fd, h.data(), h.size(), 0);
  ::close(fd);
  if (got < 0) FailErrno(path, "reading failed");
  if (got < 4) FailFile(EngineError::Kind::BadSignature, path, "not a course database");
  for (int i = 0; i < 4; ++i) {
    if (std::toupper(h[std::size_t(i)]) != "ACS2"[i])
      FailFile(EngineError::Kind::BadSignature, path, "not a course database");
  }
  if (got < 6) FailFile(EngineError::Kind::Damaged, path, "file is truncated");
  FileFormat format;
  format.fileBytes = st.st_size;
  format.version = h[4] | h[5] << 8;
  if (format.version == 1) return format;
  if (format.version != kFormatVersion)
    FailFile(EngineError::Kind::Damaged, path, "unknown file format version");
  if (got < kAcsHeaderBytes) FailFile(EngineError::Kind::Damaged, path, "file is truncated");
  format.key.cost = {GetLe32(h.data() + 8), GetLe32(h.data() + 12)};
  std::memcpy(format.key.salt, h.data() + 16, 16);
  if (h[6] != 1 || !sealed::PlausibleCost(format.key.cost))
    FailFile(EngineError::Kind::Damaged, path, "damaged header");
  sealed::DeriveFileKey(password, format.key);
  std::uint8_t mac[32];
  HeaderMac(h, format.key, mac);
  if (sodium_memcmp(mac, h.data() + kMacOffset, 32) != 0)
    FailFile(EngineError::Kind::Damaged, path, "damaged header or wrong password");
  return format;
}

std::string RawKeyLiteral(const sealed::FileKey& key) {
  char hex[65];
  sodium_bin2hex(hex, sizeof hex, key.key, sizeof key.key);
  std::string literal = "x''" + std::string(hex) + "''";
  sodium_memzero(hex, sizeof hex);
  return literal;
}

void InitEngine() {
  static const bool done = [] {
    RegisterAcsVfs();
    sqlite3* db = nullptr;
    sqlite3_open_v2(":memory:", &db, SQLITE_OPEN_READWRITE, nullptr);
    // Pages of 4096 bytes, also for databases attached while converting.
    if (db) sqlite3_exec(db, "PRAGMA cipher_default_page_size = 4096", nullptr, nullptr, nullptr);
    // And the page layout of the 3.x library (HMAC-SHA1, 12 unused bytes at each page's end,
    // which the file shim keeps zero): 3.x does not know the setting, a newer one keeps to it.
    if (db) {
      sqlite3_exec(db, "PRAGMA cipher_default_compatibility = 3", nullptr, nullptr, nullptr);
    }
    sqlite3_close(db);
    return true;
  }();
  (void)done;
}

// An encrypted database behind the header; checks that the key opens it.
sqlite3* OpenEncrypted(const QString& path, const sealed::FileKey& key) {
  InitEngine();
  sqlite3* db = nullptr;
  const QByteArray name = path.toUtf8();
  if (sqlite3_open_v2(name.constData(), &db, SQLITE_OPEN_READWRITE, kAcsVfsName) != SQLITE_OK) {
    const std::string message = db ? sqlite3_errmsg(db) : "out of memory";
    sqlite3_close(db);
    FailFile(EngineError::Kind::Io, path, "cannot open: " + message);
  }
  try {
    std::string pragma = "PRAGMA key = '" + RawKeyLiteral(key) + "'";
    try {
      Exec(db, pragma);
    } catch (...) {
      sodium_memzero(pragma.data(), pragma.size());
      throw;
    }
    sodium_memzero(pragma.data(), pragma.size());
    Exec(db, "PRAGMA cipher_compatibility = 3");  // the layout, as in InitEngine
    Exec(db, "PRAGMA cipher_page_size = 4096");
    // Held alone anyway (FileLock): the log's index then lives in memory, with no -shm file.
    Exec(db, "PRAGMA locking_mode = EXCLUSIVE");
    Exec(db, "SELECT count(*) FROM sqlite_master", EngineError::Kind::Damaged);
    Exec(db, "PRAGMA journal_mode = WAL");
    Exec(db, "PRAGMA synchronous = FULL");
  } catch (const EngineError& e) {
    sqlite3_close(db);
    throw EngineError(e.kind() == EngineError::Kind::Sql ? EngineError::Kind::Damaged : e.kind(),
                      path.toStdString() + ": damaged file (" + e.what() + ")");
  }
  return db;
}

// A format-1 image, read-only, from memory (no plain copy on disk).
struct LegacyImage {
  std::string folder;
  sqlite3* db = nullptr;
};

void RemoveLegacy(const std::string& folder) {
  if (folder.empty()) return;
  for (const char* name : {"/image.db", "/image.db-journal"}) ::unlink((folder + name).c_str());
  ::rmdir(folder.c_str());
}

LegacyImage OpenLegacy(const QString& path, const QString& password, sealed::KdfCost& cost) {
  InitEngine();
  sealed::OpenedImage opened = sealed::ReadSealedFile(path, password);
  cost = opened.key.cost;
  LegacyImage legacy;
  // In a private folder on memory-backed storage: the plain image never reaches the disk.
  char folder[] = "/dev/shm/vedalia-format1-XXXXXX";
  bool ok = ::mkdtemp(folder) != nullptr;
  legacy.folder = ok ? std::string(folder) : std::string();
  const std::string name = legacy.folder + "/image.db";
  const int fd = ok ? ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600) : -1;
  ok = fd >= 0;
  for (std::size_t done = 0; ok && done < opened.size;) {
    const ssize_t n = ::write(fd, opened.image + done, opened.size - done);
    ok = n > 0;
    if (ok) done += std::size_t(n);
  }
  if (fd >= 0) ::close(fd);
  sodium_memzero(opened.image, opened.size);
  sqlite3_free(opened.image);
  if (!ok) {
    RemoveLegacy(legacy.folder);
    FailErrno(path, "cannot hold the database in memory");
  }
  if (sqlite3_open_v2(name.c_str(), &legacy.db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_URI, nullptr) !=
          SQLITE_OK ||
      sqlite3_exec(legacy.db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr) !=
          SQLITE_OK) {
    sqlite3_close(legacy.db);
    RemoveLegacy(legacy.folder);
    FailFile(EngineError::Kind::Damaged, path, "damaged file");
  }
  return legacy;
}

QString UriPath(const QString& path) {
  return QString::fromLatin1(QUrl::toPercentEncoding(QFileInfo(path).absoluteFilePath(), "/"));
}

class FileBackend final : public SqlBackend {
 public:
  ~FileBackend() override { Disconnect(); }

  void Connect(const QString& path, const QString& password, int lockWaitMs) override {
    if (db_) FailUsage("already connected");
    // No lock file beside a database that is not there.
    if (!QFileInfo::exists(path)) FailFile(EngineError::Kind::FileMissing, path, "no such file");
    auto lock = std::make_unique<sealed::FileLock>(path, lockWaitMs);
    const FileFormat format = ReadFormat(path, password);
    if (format.version == 1) {
      const LegacyImage legacy = OpenLegacy(path, password, legacyCost_);
      db_ = legacy.db;
      legacyFolder_ = legacy.folder;
      password_ = password;
    } else {
      const bool logLeft = QFileInfo::exists(path + QStringLiteral("-wal"));
      db_ = OpenEncrypted(path, format.key);
      // Without a log left by a crash, the file holds every page: a cut one is refused now.
      if (!logLeft) CheckWhole(path, format.fileBytes);
    }
    path_ = path;
    lock_ = std::move(lock);
  }

  void Disconnect() override {
    if (db_) {
      sqlite3_close(db_);
      db_ = nullptr;
    }
    RemoveLegacy(legacyFolder_);
    legacyFolder_.clear();
    password_.clear();
    lock_.reset();
    path_.clear();
  }
  bool Connected() const override { return db_ != nullptr; }

  void Begin() override {
    UpgradeBeforeWriting();
    Exec(Handle(), "BEGIN IMMEDIATE");
  }
  bool InTransaction() const override { return db_ && !sqlite3_get_autocommit(db_); }
  void Commit() override {
    if (!InTransaction()) FailUsage("no transaction to commit");
    Exec(db_, "COMMIT");
  }
  void Rollback() override {
    if (InTransaction()) Exec(db_, "ROLLBACK");
  }

  SqlResult Run(const QString& statement, const SqlBindings& values, bool wantRows) override {
    if (!wantRows) UpgradeBeforeWriting();
    Statement stmt(Handle(), statement);
    stmt.BindByName(values);
    if (wantRows) return stmt.ReadAll();
    if (sqlite3_column_count(stmt.get()) != 0) {
      throw EngineError(EngineError::Kind::Sql,
                        "statement returns rows: " + statement.toStdString());
    }
    stmt.RunToEnd();
    return {};
  }

  std::vector<SqlColumn> TableColumns(const QString& table) override {
    const QString text = "SELECT * FROM " + QuoteIdentifier(table) + " LIMIT 0";
    return Statement(Handle(), text).ReadAll().columns;
  }

  SqlResult LastRow(const QString& table) override {
    const QString quoted = QuoteIdentifier(table);
    try {
      return Statement(Handle(), "SELECT * FROM " + quoted + " ORDER BY rowid DESC LIMIT 1")
          .ReadAll();
    } catch (const EngineError&) {
      // A table without rowid: its own order is its key's; read it through.
      SqlResult all = Statement(Handle(), "SELECT * FROM " + quoted).ReadAll();
      if (all.rows.size() > 1) all.rows.erase(all.rows.begin(), all.rows.end() - 1);
      return all;
    }
  }

  void Insert(const QString& table, const SqlBindings& columnValues) override {
    UpgradeBeforeWriting();
    QStringList names;
    QStringList marks;
    for (const auto& [name, value] : columnValues) {
      names << QuoteIdentifier(name);
      marks << QStringLiteral("?");
    }
    const QString text = columnValues.empty()
                             ? "INSERT INTO " + QuoteIdentifier(table) + " DEFAULT VALUES"
                             : "INSERT INTO " + QuoteIdentifier(table) + " (" + names.join(", ") +
                                   ") VALUES (" + marks.join(", ") + ")";
    Statement stmt(Handle(), text);
    for (std::size_t i = 0; i < columnValues.size(); ++i) {
      stmt.BindAt(int(i) + 1, columnValues[i].second);
    }
    stmt.RunToEnd();
  }

  void CheckWhole(const QString& path, std::int64_t fileBytes) {
    qint64 pages = -1;
    try {
      pages =
          Statement(db_, QStringLiteral("PRAGMA page_count")).ReadAll().rows.at(0).at(0).integer;
    } catch (...) {
    }
    if (fileBytes % kAcsHeaderBytes != 0 || pages < 1 ||
        (fileBytes - kAcsHeaderBytes) / kAcsHeaderBytes != pages) {
      Disconnect();
      FailFile(EngineError::Kind::Damaged, path, "file is truncated");
    }
  }

  void Verify() override {
    // Reads every page, so each one's authentication is checked.
    SqlResult r = Statement(Handle(), QStringLiteral("PRAGMA quick_check")).ReadAll();
    if (r.rows.size() != 1 || r.rows[0][0].text != QLatin1String("ok"))
      FailFile(EngineError::Kind::Damaged, path_, "damaged file");
  }

  // Converts a format-1 file now: the new file is made beside it, flushed, and only then
  // put in its place, so a crash leaves the old file or the new one.
  void UpgradeBeforeWriting() {
    if (legacyFolder_.empty()) return;
    Handle();
    const QString fresh = path_ + QStringLiteral(".new");
    RemoveWithCompanions(fresh);
    const sealed::FileKey key = sealed::NewFileKey(password_, legacyCost_);
    WriteHeaderFile(fresh, key);
    try {
      const std::string attach = "ATTACH DATABASE 'file:" + UriPath(fresh).toStdString() +
                                 "?vfs=" + kAcsVfsName + "' AS fresh KEY '" + RawKeyLiteral(key) +
                                 "'";
      Exec(db_, attach, EngineError::Kind::Io);
      try {
        Exec(db_, "SELECT sqlcipher_export('fresh')", EngineError::Kind::Io);
      } catch (...) {
        sqlite3_exec(db_, "DETACH DATABASE fresh", nullptr, nullptr, nullptr);
        throw;
      }
      Exec(db_, "DETACH DATABASE fresh", EngineError::Kind::Io);
      // Open it once as it will be used (log mode set), then flush it whole.
      sqlite3_close(OpenEncrypted(fresh, key));
      SyncFile(fresh);
      if (::rename(fresh.toLocal8Bit().constData(), path_.toLocal8Bit().constData()) != 0)
        FailErrno(path_, "cannot replace the database");
    } catch (...) {
      RemoveWithCompanions(fresh);
      throw;
    }
    SyncFolderOf(path_);
    sqlite3_close(db_);
    db_ = nullptr;
    RemoveLegacy(legacyFolder_);
    legacyFolder_.clear();
    password_.clear();
    db_ = OpenEncrypted(path_, key);
  }

 private:
  sqlite3* Handle() const {
    if (!db_) FailUsage("the database is not connected");
    return db_;
  }

  QString path_;
  std::unique_ptr<sealed::FileLock> lock_;
  sqlite3* db_ = nullptr;
  // A format-1 file: its image in memory until the first write converts it.
  std::string legacyFolder_;
  QString password_;
  sealed::KdfCost legacyCost_{};
};

}  // namespace

std::unique_ptr<SqlBackend> MakeFileBackend() { return std::make_unique<FileBackend>(); }

void CreateFileDatabase(const QString& path, const QString& password, const QStringList& statements,
                        sealed::KdfCost cost) {
  sealed::FileLock lock(path, 0);
  if (QFileInfo::exists(path) || QFileInfo(path).isSymLink())
    FailFile(EngineError::Kind::Io, path, "file exists already");
  const QString fresh = path + QStringLiteral(".new");
  RemoveWithCompanions(fresh);
  const sealed::FileKey key = sealed::NewFileKey(password, cost);
  WriteHeaderFile(fresh, key);
  try {
    sqlite3* db = OpenEncrypted(fresh, key);
    struct Close {
      sqlite3* db;
      ~Close() { sqlite3_close(db); }
    } closer{db};
    for (const QString& s : statements) Statement(db, s).RunToEnd();
  } catch (...) {
    RemoveWithCompanions(fresh);
    throw;
  }
  SyncFile(fresh);
  // link() refuses to replace a file that appeared meanwhile.
  const bool linked = ::link(fresh.toLocal8Bit().constData(), path.toLocal8Bit().constData()) == 0;
  const int error = errno;
  RemoveWithCompanions(fresh);
  errno = error;
  if (!linked) FailErrno(path, "cannot create");
  SyncFolderOf(path);
}

void UpgradeFileDatabase(const QString& path, const QString& password, bool* converted) {
  const FileFormat format = [&] {
    sealed::FileLock lock(path, kUpgradeLockWaitMs);
    return ReadFormat(path, password);
  }();
  *converted = format.version == 1;
  if (!*converted) return;
  auto backend = std::make_unique<FileBackend>();
  backend->Connect(path, password, kUpgradeLockWaitMs);
  backend->UpgradeBeforeWriting();
}

}  // namespace vedalia
