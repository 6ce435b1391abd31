#include "store/FileEngine.h"

#include <sqlite3.h>

#include <QFileInfo>
#include <cctype>

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
  // No double-quoted strings: a double quote always names a column.
  sqlite3_db_config(db, SQLITE_DBCONFIG_DQS_DML, 0, nullptr);
  sqlite3_db_config(db, SQLITE_DBCONFIG_DQS_DDL, 0, nullptr);
  return db;
}

QString QuoteIdentifier(const QString& name) {
  QString quoted = name;
  quoted.replace('`', "``");
  return '`' + quoted + '`';
}

class FileBackend final : public SqlBackend {
 public:
  ~FileBackend() override { Disconnect(); }

  void Connect(const QString& path, const QString& password, int lockWaitMs) override {
    if (db_) FailUsage("already connected");
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

  void Disconnect() override {
    if (db_) {
      sqlite3_close_v2(db_);
      db_ = nullptr;
    }
    lock_.reset();
    path_.clear();
  }
  bool Connected() const override { return db_ != nullptr; }

  void Begin() override { Exec(Handle(), "BEGIN IMMEDIATE"); }
  bool InTransaction() const override { return db_ && !sqlite3_get_autocommit(db_); }
  void Commit() override {
    if (!InTransaction()) FailUsage("no transaction to commit");
    Exec(db_, "COMMIT");
    Persist();
  }
  void Rollback() override {
    if (InTransaction()) Exec(db_, "ROLLBACK");
  }

  SqlResult Run(const QString& statement, const SqlBindings& values, bool wantRows) override {
    Statement stmt(Handle(), statement);
    stmt.BindByName(values);
    if (wantRows) return stmt.ReadAll();
    if (sqlite3_column_count(stmt.get()) != 0) {
      throw EngineError(EngineError::Kind::Sql,
                        "statement returns rows: " + statement.toStdString());
    }
    if (stmt.RunToEnd()) PersistUnlessInTransaction();
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
    PersistUnlessInTransaction();
  }

 private:
  sqlite3* Handle() const {
    if (!db_) FailUsage("the database is not connected");
    return db_;
  }
  void PersistUnlessInTransaction() {
    if (!InTransaction()) Persist();
  }
  void Persist() {
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

  QString path_;
  std::unique_ptr<sealed::FileLock> lock_;
  sealed::FileKey key_{};
  sqlite3* db_ = nullptr;
};

}  // namespace

std::unique_ptr<SqlBackend> MakeFileBackend() { return std::make_unique<FileBackend>(); }

void CreateFileDatabase(const QString& path, const QString& password, const QStringList& statements,
                        sealed::KdfCost cost) {
  sealed::FileLock lock(path, 0);
  sqlite3* db = OpenMemory();
  struct Close {
    sqlite3* db;
    ~Close() { sqlite3_close_v2(db); }
  } closer{db};
  for (const QString& s : statements) Statement(db, s).RunToEnd();
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

}  // namespace vedalia
