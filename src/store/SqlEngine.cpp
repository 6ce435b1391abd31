#include "store/SqlEngine.h"

#include <sqlite3.h>

#include <QFileInfo>

#include <cctype>
#include <limits>

#include "store/PgSession.h"
#include "store/StoreErrors.h"

namespace vedalia {
namespace {

[[noreturn]] void FailSql(sqlite3* db, const QString& statement) {
  std::string message = db ? sqlite3_errmsg(db) : "no database";
  if (!statement.isEmpty()) message += " in: " + statement.toStdString();
  throw EngineError(EngineError::Kind::Sql, message);
}

[[noreturn]] void FailUsage(const char* what) { throw EngineError(EngineError::Kind::Usage, what); }

// A prepared statement that is finalised whatever happens.
class Statement {
 public:
  // Exactly one statement: anything but blanks and ";" after it is refused, so that no
  // value can smuggle a second one in.
  Statement(sqlite3* db, const QString& text) : db_(db) {
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
  // Runs to the end; true when the statement changes the database.
  bool RunToEnd(const QString& text) {
    int rc;
    while ((rc = sqlite3_step(stmt_)) == SQLITE_ROW) {
    }
    if (rc != SQLITE_DONE) FailSql(db_, text);
    return !sqlite3_stmt_readonly(stmt_);
  }

 private:
  sqlite3* db_;
  sqlite3_stmt* stmt_ = nullptr;
};

void Exec(sqlite3* db, const char* sql) {
  char* error = nullptr;
  if (sqlite3_exec(db, sql, nullptr, nullptr, &error) != SQLITE_OK) {
    const std::string message = error ? error : "unknown error";
    sqlite3_free(error);
    throw EngineError(EngineError::Kind::Sql, message + " in: " + sql);
  }
}

sqlite3* OpenMemory() {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(":memory:", &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
      SQLITE_OK) {
    sqlite3_close(db);
    throw EngineError(EngineError::Kind::Io, "the SQL engine cannot start");
  }
  // Double-quoted text is a string where no column has that name (the password update).
  sqlite3_db_config(db, SQLITE_DBCONFIG_DQS_DML, 1, nullptr);
  return db;
}

QString QuoteIdentifier(const QString& name) {
  QString quoted = name;
  quoted.replace('`', "``");
  return '`' + quoted + '`';
}

bool ParseInt32(const QString& text, qint32& value) {
  bool ok = false;
  const int v = text.toInt(&ok, 10);
  if (!ok) return false;
  // toInt accepts surrounding blanks; a number field does not.
  if (text.isEmpty() || text.front().isSpace() || text.back().isSpace()) return false;
  value = v;
  return true;
}

}  // namespace

// ---- SqlDatabase ------------------------------------------------------------------------

SqlDatabase::SqlDatabase() = default;

SqlDatabase::~SqlDatabase() { Disconnect(); }

void SqlDatabase::ConnectServer(const ServerLocation& location) {
  if (Connected()) FailUsage("already connected");
  auto session = std::make_unique<PgSession>();
  session->Connect(location);
  server_ = std::move(session);
}

void SqlDatabase::Connect(const QString& path, const QString& password, int lockWaitMs) {
  if (Connected()) FailUsage("already connected");
  // No lock file beside a database that is not there.
  if (!QFileInfo::exists(path)) {
    throw EngineError(EngineError::Kind::FileMissing, path.toStdString() + ": no such file");
  }
  auto lock = std::make_unique<sealed::FileLock>(path, lockWaitMs);
  sealed::OpenedImage opened = sealed::ReadSealedFile(path, password);
  sqlite3* db = nullptr;
  try {
    db = OpenMemory();
  } catch (...) {
    sqlite3_free(opened.image);
    throw;
  }
  // SQLite owns the image from here on, freed with the connection.
  if (sqlite3_deserialize(
          db, "main", opened.image, sqlite3_int64(opened.size), sqlite3_int64(opened.size),
          SQLITE_DESERIALIZE_FREEONCLOSE | SQLITE_DESERIALIZE_RESIZEABLE) != SQLITE_OK) {
    sqlite3_close(db);
    throw EngineError(EngineError::Kind::Damaged, path.toStdString() + ": damaged file");
  }
  // The image passed its seal; this catches an image that was never a database.
  char* error = nullptr;
  if (sqlite3_exec(db, "SELECT count(*) FROM sqlite_schema", nullptr, nullptr, &error) !=
      SQLITE_OK) {
    sqlite3_free(error);
    sqlite3_close(db);
    throw EngineError(EngineError::Kind::Damaged, path.toStdString() + ": damaged file");
  }
  db_ = db;
  path_ = path;
  key_ = opened.key;
  lock_ = std::move(lock);
}

void SqlDatabase::Disconnect() {
  server_.reset();
  if (db_) {
    sqlite3_close_v2(db_);
    db_ = nullptr;
  }
  lock_.reset();
  path_.clear();
}

// A server session that lost its server counts as connected: its commands fail on their
// own failure paths (never a hang) rather than as a use out of order.
bool SqlDatabase::Connected() const { return db_ != nullptr || server_ != nullptr; }

sqlite3* SqlDatabase::Handle() const {
  if (!db_) FailUsage("the database is not connected");
  return db_;
}

void SqlDatabase::StartTransaction() {
  if (server_) return server_->Begin();
  Exec(Handle(), "BEGIN IMMEDIATE");
}

bool SqlDatabase::InTransaction() const {
  if (server_) return server_->InTransaction();
  return db_ && !sqlite3_get_autocommit(db_);
}

void SqlDatabase::LockTable(const QString& table) {
  if (!InTransaction()) FailUsage("no transaction for a lock");
  if (server_) server_->LockTable(table);
}

void SqlDatabase::Commit() {
  if (server_) return server_->Commit();
  if (!InTransaction()) FailUsage("no transaction to commit");
  Exec(db_, "COMMIT");
  Persist();
}

void SqlDatabase::Rollback() {
  if (server_) return server_->Rollback();
  if (InTransaction()) Exec(db_, "ROLLBACK");
}

void SqlDatabase::PersistUnlessInTransaction() {
  if (!server_ && !InTransaction()) Persist();
}

void SqlDatabase::Persist() {
  try {
    sqlite3_int64 size = 0;
    unsigned char* image = sqlite3_serialize(db_, "main", &size, SQLITE_SERIALIZE_NOCOPY);
    if (image) {
      sealed::WriteSealedFile(path_, key_, image, std::size_t(size));
      return;
    }
    image = sqlite3_serialize(db_, "main", &size, 0);
    if (!image) throw EngineError(EngineError::Kind::Io, "out of memory");
    struct Free {
      unsigned char* p;
      ~Free() { sqlite3_free(p); }
    } owner{image};
    sealed::WriteSealedFile(path_, key_, image, std::size_t(size));
  } catch (...) {
    // Memory now holds what the file does not: drop it rather than let it be read.
    Disconnect();
    throw;
  }
}

void SqlDatabase::Create(const QString& path, const QString& password,
                         const QStringList& statements, sealed::KdfCost cost) {
  sealed::FileLock lock(path, 0);
  sqlite3* db = OpenMemory();
  struct Close {
    sqlite3* db;
    ~Close() { sqlite3_close_v2(db); }
  } closer{db};
  for (const QString& s : statements) Statement(db, s).RunToEnd(s);
  sqlite3_int64 size = 0;
  unsigned char* image = sqlite3_serialize(db, "main", &size, 0);
  if (!image) throw EngineError(EngineError::Kind::Io, "out of memory");
  struct Free {
    unsigned char* p;
    ~Free() { sqlite3_free(p); }
  } owner{image};
  const sealed::FileKey key = sealed::NewFileKey(password, cost);
  sealed::WriteSealedFile(path, key, image, std::size_t(size), /*mustBeNew=*/true);
}

// ---- SqlRowSet --------------------------------------------------------------------------

void SqlRowSet::Reset() {
  columns_.clear();
  rows_.clear();
  current_ = 0;
}

void SqlRowSet::Load(sqlite3* db, const QString& statement) {
  Reset();
  Statement stmt(db, statement);
  const int count = sqlite3_column_count(stmt.get());
  if (count == 0)
    throw EngineError(EngineError::Kind::Sql,
                      "statement returns no rows: " + statement.toStdString());
  for (int i = 0; i < count; ++i) {
    const char* declared = sqlite3_column_decltype(stmt.get(), i);
    columns_.push_back({QString::fromUtf8(sqlite3_column_name(stmt.get(), i)),
                        QString::fromUtf8(declared ? declared : "").toUpper()});
  }
  int rc;
  while ((rc = sqlite3_step(stmt.get())) == SQLITE_ROW) {
    std::vector<SqlValue> row(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
      SqlValue& v = row[std::size_t(i)];
      switch (sqlite3_column_type(stmt.get(), i)) {
        case SQLITE_INTEGER:
          v.type = SqlValue::Type::Integer;
          v.integer = sqlite3_column_int64(stmt.get(), i);
          break;
        case SQLITE_FLOAT:
          v.type = SqlValue::Type::Real;
          v.real = sqlite3_column_double(stmt.get(), i);
          break;
        case SQLITE_NULL:
          break;
        default: {
          v.type = SqlValue::Type::Text;
          const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt.get(), i));
          v.text = QString::fromUtf8(text, sqlite3_column_bytes(stmt.get(), i));
        }
      }
    }
    rows_.push_back(std::move(row));
  }
  if (rc != SQLITE_DONE) FailSql(db, statement);
}

void SqlRowSet::Adopt(PgRowSet&& rows) {
  Reset();
  for (auto& [name, declared] : rows.columns) columns_.push_back({name, declared});
  rows_ = std::move(rows.rows);
}

int SqlRowSet::ColumnIndex(const QString& name) const {
  for (std::size_t i = 0; i < columns_.size(); ++i) {
    if (columns_[i].name.compare(name, Qt::CaseInsensitive) == 0) return int(i);
  }
  throw EngineError(EngineError::Kind::Sql, "no field " + name.toStdString());
}

const SqlValue& SqlRowSet::Value(int index) const {
  if (index < 0 || std::size_t(index) >= columns_.size()) {
    throw EngineError(EngineError::Kind::Sql, "no field number " + std::to_string(index));
  }
  if (current_ >= rows_.size()) throw EngineError(EngineError::Kind::Sql, "no current row");
  return rows_[current_][std::size_t(index)];
}

QString SqlRowSet::FieldText(const QString& name) const { return FieldText(ColumnIndex(name)); }

QString SqlRowSet::FieldText(int index) const {
  const SqlValue& v = Value(index);
  const QString& declared = columns_[std::size_t(index)].declaredType;
  const bool boolean = declared.contains("BOOL");
  switch (v.type) {
    case SqlValue::Type::Integer:
      if (boolean) return v.integer ? QStringLiteral("True") : QStringLiteral("False");
      return QString::number(v.integer);
    case SqlValue::Type::Real:
      return QString::number(v.real, 'g', 15);
    case SqlValue::Type::Text:
      return v.text;
    case SqlValue::Type::Null:
      if (boolean) return QStringLiteral("False");
      if (declared.contains("INT")) return QStringLiteral("0");
      return QString();
  }
  return QString();
}

qint32 SqlRowSet::FieldInt(const QString& name) const { return FieldInt(ColumnIndex(name)); }

qint32 SqlRowSet::FieldInt(int index) const {
  const SqlValue& v = Value(index);
  const auto fail = [&]() -> qint32 {
    throw EngineError(
        EngineError::Kind::Sql,
        "field " + columns_[std::size_t(index)].name.toStdString() + " is no integer");
  };
  switch (v.type) {
    case SqlValue::Type::Null:
      return 0;
    case SqlValue::Type::Integer:
      if (v.integer < std::numeric_limits<qint32>::min() ||
          v.integer > std::numeric_limits<qint32>::max()) {
        return fail();
      }
      return qint32(v.integer);
    case SqlValue::Type::Real:
      if (v.real != double(qint32(v.real))) return fail();
      return qint32(v.real);
    case SqlValue::Type::Text: {
      qint32 value = 0;
      if (!ParseInt32(v.text, value)) return fail();
      return value;
    }
  }
  return fail();
}

// ---- SqlQuery ---------------------------------------------------------------------------

void SqlQuery::Open() {
  active_ = false;
  if (PgSession* server = database_.Server()) {
    Adopt(server->Select(Text()));
  } else {
    Load(database_.Handle(), Text());
  }
  active_ = true;
}

void SqlQuery::OpenForUpdate() {
  PgSession* server = database_.Server();
  if (!server) return Open();
  active_ = false;
  Adopt(server->Select(Text(), {}, true));
  active_ = true;
}

void SqlQuery::ExecSQL() {
  const QString text = Text();
  if (PgSession* server = database_.Server()) {
    server->Execute(text);
    return;
  }
  Statement stmt(database_.Handle(), text);
  if (stmt.RunToEnd(text)) database_.PersistUnlessInTransaction();
}

void SqlQuery::Close() {
  active_ = false;
  Reset();
}

// ---- SqlTable ---------------------------------------------------------------------------

void SqlTable::SetTableName(const QString& name) {
  Close();
  name_ = name;
}

void SqlTable::Open() {
  if (PgSession* server = database_.Server()) {
    Adopt(server->Columns(name_));
    active_ = true;
    return;
  }
  Load(database_.Handle(), "SELECT * FROM " + QuoteIdentifier(name_) + " LIMIT 0");
  active_ = true;
}

void SqlTable::Close() {
  active_ = false;
  inserting_ = false;
  pending_.clear();
  Reset();
}

void SqlTable::Last() {
  if (!active_) FailUsage("the table is not open");
  if (PgSession* server = database_.Server()) {
    Adopt(server->LastRow(name_));
    return SqlRowSet::Last();
  }
  const QString table = QuoteIdentifier(name_);
  try {
    Load(database_.Handle(), "SELECT * FROM " + table + " ORDER BY rowid DESC LIMIT 1");
  } catch (const EngineError&) {
    // A table without rowid: its own order is its key's; read it through.
    Load(database_.Handle(), "SELECT * FROM " + table);
  }
  SqlRowSet::Last();
}

void SqlTable::Insert() {
  if (!active_) FailUsage("the table is not open");
  inserting_ = true;
  pending_.clear();
}

void SqlTable::SetInt(const QString& field, qint32 value) {
  SqlValue v;
  v.type = SqlValue::Type::Integer;
  v.integer = value;
  pending_.emplace_back(field, std::move(v));
}

void SqlTable::SetText(const QString& field, const QString& value) {
  SqlValue v;
  v.type = SqlValue::Type::Text;
  v.text = value;
  pending_.emplace_back(field, std::move(v));
}

void SqlTable::SetBool(const QString& field, bool value) {
  SqlValue v;
  v.type = SqlValue::Type::Integer;
  v.integer = value ? 1 : 0;
  pending_.emplace_back(field, std::move(v));
}

void SqlTable::Post() {
  if (!inserting_) FailUsage("no row to post");
  if (PgSession* server = database_.Server()) {
    server->Insert(name_, pending_);
    inserting_ = false;
    pending_.clear();
    return;
  }
  QStringList names;
  QStringList marks;
  for (const auto& [name, value] : pending_) {
    names << QuoteIdentifier(name);
    marks << QStringLiteral("?");
  }
  const QString text = pending_.empty()
                           ? "INSERT INTO " + QuoteIdentifier(name_) + " DEFAULT VALUES"
                           : "INSERT INTO " + QuoteIdentifier(name_) + " (" + names.join(", ") +
                                 ") VALUES (" + marks.join(", ") + ")";
  sqlite3* db = database_.Handle();
  Statement stmt(db, text);
  for (std::size_t i = 0; i < pending_.size(); ++i) {
    const SqlValue& v = pending_[i].second;
    const int slot = int(i) + 1;
    if (v.type == SqlValue::Type::Integer) {
      sqlite3_bind_int64(stmt.get(), slot, v.integer);
    } else {
      const QByteArray utf8 = v.text.toUtf8();
      sqlite3_bind_text(stmt.get(), slot, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
    }
  }
  stmt.RunToEnd(text);
  inserting_ = false;
  pending_.clear();
  database_.PersistUnlessInTransaction();
}

}  // namespace vedalia
