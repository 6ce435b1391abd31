#pragma once
// The store's engine on a PostgreSQL server (target: libpq's URL). Statements come in the
// store's form (`table` quoting, ":name" placeholders) and run with their values bound.
// Failures throw EngineError: Io when the server is unreachable or went away (the
// connection is then closed), Conflict when a concurrent transaction won a race (the caller
// may rerun the whole operation), Sql for anything else.

#include <QString>
#include <QStringList>
#include <map>
#include <memory>

#include "store/PgConnection.h"
#include "store/SqlBackend.h"

namespace vedalia {

class PgBackend : public SqlBackend {
 public:
  explicit PgBackend(PgTimeouts timeouts = {}) : timeouts_(timeouts) {}

  void Connect(const QString& target, const QString& password, int lockWaitMs) override;
  void Disconnect() override;
  bool Connected() const override { return connection_.Connected(); }

  void Begin() override;
  void Commit() override;
  void Rollback() override;
  bool InTransaction() const override { return inTransaction_ && Connected(); }

  SqlResult Run(const QString& statement, const SqlBindings& values, bool wantRows) override;
  std::vector<SqlColumn> TableColumns(const QString& table) override;
  SqlResult LastRow(const QString& table) override;
  void Insert(const QString& table, const SqlBindings& columnValues) override;

  void LockTable(const QString& table) override;
  SqlResult RunForUpdate(const QString& statement, const SqlBindings& values) override;

 private:
  SqlResult Select(const QString& statement, const SqlBindings& values, bool forUpdate);
  PgRows Exec(const QString& sql, const std::vector<std::optional<QString>>& params = {});
  // The primary key's columns, each followed by `direction`; empty without a key.
  QString KeyOrder(const QString& table, const char* direction);

  PgTimeouts timeouts_;
  PgConnection connection_;
  bool inTransaction_ = false;
  QString sessionKey_;  // which kept sessions this connection may take over
  std::map<QString, QStringList> keyOrder_;
};

std::unique_ptr<SqlBackend> MakeServerBackend();

// "users" as a quoted identifier of the server.
QString ServerIdentifier(const QString& name);

}  // namespace vedalia
