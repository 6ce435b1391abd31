#pragma once
// What an SQL engine behind the store does. SqlDatabase, SqlQuery and SqlTable
// (SqlEngine.h) run on one of these; the embedded file engine is the default.
//
// Every failure throws EngineError (StoreErrors.h). Statements carry values only as
// ":name" placeholders (a letter or "_", then letters, digits, "_"), bound by name; a
// placeholder without a value, or a value whose name the statement lacks, is an error.
// Table names stand in backquotes, as the store's statement templates have them.

#include <QString>
#include <memory>
#include <utility>
#include <vector>

namespace vedalia {

// One value, bound into a statement or read from a row.
struct SqlValue {
  enum class Type { Null, Integer, Real, Text } type = Type::Null;
  qint64 integer = 0;
  double real = 0;
  QString text;

  static SqlValue Int(qint64 v) { return {Type::Integer, v, 0, {}}; }
  static SqlValue Str(const QString& v) { return {Type::Text, 0, 0, v}; }
  static SqlValue Bool(bool v) { return Int(v ? 1 : 0); }  // booleans travel as 0 / 1
};

// Values by name: placeholder names without the ":", or column names for an insert.
using SqlBindings = std::vector<std::pair<QString, SqlValue>>;

struct SqlColumn {
  QString name;
  // Upper case. Containing "BOOL" reads as "True"/"False"; containing "INT" makes a null
  // read as "0".
  QString declaredType;
};

struct SqlResult {
  std::vector<SqlColumn> columns;
  std::vector<std::vector<SqlValue>> rows;
};

class SqlBackend {
 public:
  virtual ~SqlBackend() = default;

  // Opens the store for this connection alone, waiting up to lockWaitMs in all for another
  // holder (then EngineError Locked). Missing store: FileMissing; not ours: BadSignature;
  // damaged or wrong password: Damaged.
  virtual void Connect(const QString& target, const QString& password, int lockWaitMs) = 0;
  virtual void Disconnect() = 0;  // never throws; drops an open transaction
  virtual bool Connected() const = 0;

  virtual void Begin() = 0;
  virtual void Commit() = 0;    // durable before it returns
  virtual void Rollback() = 0;  // harmless when no transaction is open
  virtual bool InTransaction() const = 0;

  // One statement (a trailing ";" allowed, never a second statement). With wantRows it must
  // return columns (a SELECT); without, it must not. A change outside a transaction is
  // durable when Run returns.
  virtual SqlResult Run(const QString& statement, const SqlBindings& values, bool wantRows) = 0;
  // The columns of a table; throws Sql when it does not exist.
  virtual std::vector<SqlColumn> TableColumns(const QString& table) = 0;
  // The table's last row in its own order (for users: the largest U_id); no row when empty.
  virtual SqlResult LastRow(const QString& table) = 0;
  // One new row; columns not named get their defaults.
  virtual void Insert(const QString& table, const SqlBindings& columnValues) = 0;
  // Reads the whole store once to prove it undamaged (the start-up check); throws Damaged.
  virtual void Verify() {}

  // For engines that other connections share (a server): inside a transaction, keep other
  // connections from writing `table` until it ends, and read rows locked against their
  // writes. An engine held by one connection alone needs neither.
  virtual void LockTable(const QString& /*table*/) {}
  virtual SqlResult RunForUpdate(const QString& statement, const SqlBindings& values) {
    return Run(statement, values, /*wantRows=*/true);
  }
};

// The embedded engine on the encrypted database file (target: its path).
std::unique_ptr<SqlBackend> MakeFileBackend();

}  // namespace vedalia
