#pragma once
// The embedded SQL engine: SQLite running on an in-memory copy of a sealed database file
// (SealedFile.h). Connecting locks the file for this connection alone and reads it;
// committing writes the whole image back atomically. A connection's changes reach the file
// only through Commit (or, outside a transaction, right after each writing statement).
//
// Every failure throws EngineError. Text goes in and out as QString (UTF-8 inside SQLite).

#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

#include "store/SealedFile.h"

struct sqlite3;

namespace vedalia {

class PgSession;
struct PgRowSet;
struct ServerLocation;

class SqlDatabase {
 public:
  SqlDatabase();
  ~SqlDatabase();  // disconnects; an open transaction is dropped
  SqlDatabase(const SqlDatabase&) = delete;
  SqlDatabase& operator=(const SqlDatabase&) = delete;

  // Locks the file (waiting up to lockWaitMs for another holder) and reads it.
  // Throws EngineError: FileMissing, BadSignature, Damaged, Locked, Io.
  void Connect(const QString& path, const QString& password, int lockWaitMs = 500);
  // Connects a PostgreSQL server instead (PgStore.h); the same statements run there.
  // Throws EngineError Io when it cannot be reached.
  void ConnectServer(const ServerLocation& location);
  void Disconnect();
  bool Connected() const;
  const QString& Path() const { return path_; }

  void StartTransaction();
  // Ends the transaction and writes the file, flushed, before it returns. If the write
  // fails the connection is closed, so that nothing unsaved can be read back.
  void Commit();
  // Drops the transaction's changes; harmless when none is open.
  void Rollback();
  bool InTransaction() const;
  // Inside a transaction: no other connection writes `table` until it ends. The file is
  // held exclusively anyway; a server needs it for a read-then-write that must stay whole.
  void LockTable(const QString& table);

  // Makes a new database file with the given statements (tables, indexes). Never replaces
  // an existing file.
  static void Create(const QString& path, const QString& password, const QStringList& statements,
                     sealed::KdfCost cost = sealed::kDefaultKdfCost);

  sqlite3* Handle() const;                             // for SqlQuery and SqlTable
  PgSession* Server() const { return server_.get(); }  // null for the file
  // Writes the file if no transaction is open (after a statement that changed something).
  void PersistUnlessInTransaction();

 private:
  void Persist();

  QString path_;
  std::unique_ptr<sealed::FileLock> lock_;
  sealed::FileKey key_{};
  sqlite3* db_ = nullptr;
  std::unique_ptr<PgSession> server_;
};

// One value of a result row.
struct SqlValue {
  enum class Type { Null, Integer, Real, Text } type = Type::Null;
  qint64 integer = 0;
  double real = 0;
  QString text;
};

// Result rows of one statement, read in full when it is opened (so the exact row count
// is known at once), with a current row.
class SqlRowSet {
 public:
  int RecordCount() const { return int(rows_.size()); }
  bool IsEmpty() const { return rows_.empty(); }
  void First() { current_ = 0; }
  void Next() {
    if (current_ < rows_.size()) ++current_;
  }
  void Last() { current_ = rows_.empty() ? 0 : rows_.size() - 1; }
  bool Eof() const { return current_ >= rows_.size(); }
  int FieldCount() const { return int(columns_.size()); }

  // Text forms: integers in decimal, a boolean column as "True"/"False", null integers
  // (and booleans) as "0" ("False"), null text as empty.
  QString FieldText(const QString& name) const;
  QString FieldText(int index) const;
  // A value that is no 32-bit integer throws EngineError Sql; null reads as 0.
  qint32 FieldInt(const QString& name) const;
  qint32 FieldInt(int index) const;

 protected:
  void Load(sqlite3* db, const QString& statement);  // throws EngineError Sql
  void Adopt(PgRowSet&& rows);
  void Reset();
  int ColumnIndex(const QString& name) const;
  const SqlValue& Value(int index) const;

  struct Column {
    QString name;
    QString declaredType;  // upper case
  };
  std::vector<Column> columns_;
  std::vector<std::vector<SqlValue>> rows_;
  std::size_t current_ = 0;
};

// A statement text set line by line, opened as SELECT or executed.
class SqlQuery : public SqlRowSet {
 public:
  explicit SqlQuery(SqlDatabase& database) : database_(database) {}

  void Clear() { sql_.clear(); }
  void AddLine(const QString& line) { sql_.append(line); }
  QString Text() const { return sql_.join('\n'); }

  void Open();  // runs a statement that returns rows; a previous result is dropped
  // Open, with the rows locked against other connections' writes until the transaction
  // ends (on a server; the file is exclusive anyway).
  void OpenForUpdate();
  void ExecSQL();  // runs a statement that returns none
  void Close();
  bool Active() const { return active_; }

 private:
  SqlDatabase& database_;
  QStringList sql_;
  bool active_ = false;
};

// One table by name: its rows in the table's own order, and new rows.
class SqlTable : public SqlRowSet {
 public:
  explicit SqlTable(SqlDatabase& database) : database_(database) {}

  void SetTableName(const QString& name);
  const QString& TableName() const { return name_; }
  // Checks the table exists and learns its columns; rows are read by Last().
  void Open();
  void Close();
  bool Active() const { return active_; }
  // Reads the table's last row (in rowid order); IsEmpty() tells an empty table.
  void Last();

  // A new row: set fields by name, then Post() stores it.
  void Insert();
  void SetInt(const QString& field, qint32 value);
  void SetText(const QString& field, const QString& value);
  void SetBool(const QString& field, bool value);
  void Post();

 private:
  SqlDatabase& database_;
  QString name_;
  bool active_ = false;
  bool inserting_ = false;
  std::vector<std::pair<QString, SqlValue>> pending_;
};

}  // namespace vedalia
