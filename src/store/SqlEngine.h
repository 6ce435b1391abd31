#pragma once
// The store's engine components: a database connection, a query and a table, running on an
// SQL backend (SqlBackend.h): by default the embedded engine on the encrypted database file.
// Connecting takes the database for this connection alone; every commit is durable before
// it returns.
//
// Every failure throws EngineError. Text goes in and out as QString.

#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

#include "store/SealedFile.h"
#include "store/SqlBackend.h"

namespace vedalia {

// The whole wait for another holder of the database: 10 tries of 500 ms.
inline constexpr int kLockWaitMs = 10 * 500;

class SqlDatabase {
 public:
  SqlDatabase();  // the embedded file engine
  explicit SqlDatabase(std::unique_ptr<SqlBackend> backend);
  ~SqlDatabase();  // disconnects; an open transaction is dropped
  SqlDatabase(const SqlDatabase&) = delete;
  SqlDatabase& operator=(const SqlDatabase&) = delete;

  // Throws EngineError: FileMissing, BadSignature, Damaged, Locked, Io.
  void Connect(const QString& path, const QString& password, int lockWaitMs = kLockWaitMs);
  void Disconnect();
  bool Connected() const;
  const QString& Path() const { return path_; }

  void StartTransaction();
  // Ends the transaction, durable before it returns.
  void Commit();
  // Drops the transaction's changes; harmless when none is open.
  void Rollback();
  bool InTransaction() const;
  // Reads the whole database once to prove it undamaged; throws EngineError Damaged.
  void Verify();
  // Inside a transaction: no other connection writes `table` until it ends (a server's
  // tables are shared; the file is held by one connection anyway).
  void LockTable(const QString& table);

  // Makes a new database file with the given statements (tables, indexes). Never replaces
  // an existing file.
  static void Create(const QString& path, const QString& password, const QStringList& statements,
                     sealed::KdfCost cost = sealed::kDefaultKdfCost);

  SqlBackend& Backend() const;  // for SqlQuery and SqlTable; throws when not connected

 private:
  QString path_;
  std::unique_ptr<SqlBackend> backend_;
};

// Result rows of one statement, read in full when it is opened (so the exact row count
// is known at once), with a current row.
class SqlRowSet {
 public:
  int RecordCount() const { return int(result_.rows.size()); }
  bool IsEmpty() const { return result_.rows.empty(); }
  void First() { current_ = 0; }
  void Next() {
    if (current_ < result_.rows.size()) ++current_;
  }
  void Last() { current_ = result_.rows.empty() ? 0 : result_.rows.size() - 1; }
  bool Eof() const { return current_ >= result_.rows.size(); }
  int FieldCount() const { return int(result_.columns.size()); }

  // Text forms: integers in decimal, a boolean column as "True"/"False", null integers
  // (and booleans) as "0" ("False"), null text as empty.
  QString FieldText(const QString& name) const;
  QString FieldText(int index) const;
  // A value that is no 32-bit integer throws EngineError Sql; null reads as 0.
  qint32 FieldInt(const QString& name) const;
  qint32 FieldInt(int index) const;

 protected:
  void Load(SqlResult result);
  void Reset();
  int ColumnIndex(const QString& name) const;
  const SqlValue& Value(int index) const;

  SqlResult result_;
  std::size_t current_ = 0;
};

// A statement text set line by line, with values bound to its ":name" placeholders, opened
// as SELECT or executed.
class SqlQuery : public SqlRowSet {
 public:
  explicit SqlQuery(SqlDatabase& database) : database_(database) {}

  // Clears the text and the bound values.
  void Clear() {
    sql_.clear();
    values_.clear();
  }
  void AddLine(const QString& line) { sql_.append(line); }
  QString Text() const { return sql_.join('\n'); }

  // The value of ":name" (name without the colon); binding a name again replaces it.
  void Bind(const QString& name, const SqlValue& value);
  void BindInt(const QString& name, qint64 value) { Bind(name, SqlValue::Int(value)); }
  void BindText(const QString& name, const QString& value) { Bind(name, SqlValue::Str(value)); }

  void Open();  // runs a statement that returns rows; a previous result is dropped
  // Open, with the rows locked against other connections' writes until the transaction
  // ends (on a server; the file is held by one connection anyway).
  void OpenForUpdate();
  void ExecSQL();  // runs a statement that returns none
  void Close();
  bool Active() const { return active_; }

 private:
  SqlDatabase& database_;
  QStringList sql_;
  SqlBindings values_;
  bool active_ = false;
};

// One table by name: its last row, and new rows.
class SqlTable : public SqlRowSet {
 public:
  explicit SqlTable(SqlDatabase& database) : database_(database) {}

  void SetTableName(const QString& name);
  const QString& TableName() const { return name_; }
  // Checks the table exists and learns its columns; rows are read by Last().
  void Open();
  void Close();
  bool Active() const { return active_; }
  // Reads the table's last row in its own order; IsEmpty() tells an empty table.
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
  SqlBindings pending_;
};

}  // namespace vedalia
