#pragma once
// The store's operations on a server connection: transactions, statements with bound
// values, and the table operations (columns, last row, insert) that the file engine offers.
// Failures throw EngineError: Io when the server is unreachable or went away (the session
// is then closed), Conflict when a concurrent transaction won (the caller may retry the
// whole operation), Sql for anything else.

#include <QString>
#include <QStringList>
#include <map>
#include <utility>
#include <vector>

#include "store/PgConnection.h"
#include "store/PgStore.h"
#include "store/SqlEngine.h"

namespace vedalia {

struct PgRowSet {
  std::vector<std::pair<QString, QString>> columns;  // name, declared type (upper case)
  std::vector<std::vector<SqlValue>> rows;
};

class PgSession {
 public:
  void Connect(const ServerLocation& location, PgTimeouts timeouts = {});
  void Disconnect();
  bool Connected() const { return connection_.Connected(); }

  void Begin();
  void Commit();
  void Rollback();  // harmless without a transaction or a connection
  bool InTransaction() const { return inTransaction_ && Connected(); }
  // Inside a transaction: no other session writes `table` until it ends (readers go on).
  void LockTable(const QString& table);

  // `statement` in the store's form: `table` quoting, "?" for each bound value.
  // `forUpdate`: the rows stay locked against other sessions' writes until the transaction
  // ends.
  PgRowSet Select(const QString& statement, const std::vector<SqlValue>& params = {},
                  bool forUpdate = false);
  qint64 Execute(const QString& statement, const std::vector<SqlValue>& params = {});

  PgRowSet Columns(const QString& table);  // no rows; throws Sql when there is no such table
  PgRowSet LastRow(const QString& table);  // in the order of its primary key
  void Insert(const QString& table, const std::vector<std::pair<QString, SqlValue>>& fields);

  PgConnection& Connection() { return connection_; }

 private:
  PgRows Run(const QString& sql, const std::vector<SqlValue>& params);
  // The primary key's columns, each followed by `direction`; empty without a key.
  QString KeyOrder(const QString& table, const char* direction);

  PgConnection connection_;
  bool inTransaction_ = false;
  std::map<QString, QStringList> keyOrder_;
};

// "users" as a quoted identifier of the server.
QString ServerIdentifier(const QString& name);

}  // namespace vedalia
