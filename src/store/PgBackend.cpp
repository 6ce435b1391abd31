#include "store/PgBackend.h"

#include <libpq-fe.h>

#include <QRegularExpression>
#include <mutex>
#include <optional>

#include "store/PgStore.h"
#include "store/StoreErrors.h"

namespace vedalia {
namespace {

std::optional<QString> Bound(const SqlValue& v) {
  switch (v.type) {
    case SqlValue::Type::Null:
      return std::nullopt;
    case SqlValue::Type::Integer:
      return QString::number(v.integer);
    case SqlValue::Type::Real:
      return QString::number(v.real, 'g', 17);
    case SqlValue::Type::Text:
      return v.text;
  }
  return std::nullopt;
}

SqlResult Converted(PgRows&& rows) {
  SqlResult out;
  for (const auto& c : rows.columns) {
    const bool integer = c.type == kPgInt2Oid || c.type == kPgInt4Oid || c.type == kPgInt8Oid;
    out.columns.push_back({c.name, c.type == kPgBoolOid ? QStringLiteral("BOOLEAN")
                                   : integer            ? QStringLiteral("INTEGER")
                                                        : QStringLiteral("TEXT")});
  }
  out.rows.reserve(rows.rows.size());
  for (auto& row : rows.rows) {
    std::vector<SqlValue> values(row.size());
    for (std::size_t i = 0; i < row.size(); ++i) {
      if (!row[i]) continue;
      const QString& declared = out.columns[i].declaredType;
      if (declared == QLatin1String("BOOLEAN")) {
        values[i] = SqlValue::Bool(*row[i] == QLatin1String("t"));
      } else if (declared == QLatin1String("INTEGER")) {
        values[i] = SqlValue::Int(row[i]->toLongLong());
      } else {
        values[i] = SqlValue::Str(*row[i]);
      }
    }
    out.rows.push_back(std::move(values));
  }
  return out;
}

// The values of a translated statement, in the order of its $n.
std::vector<std::optional<QString>> Ordered(const QStringList& names, const SqlBindings& values) {
  std::vector<std::optional<QString>> ordered;
  for (const QString& name : names) {
    const SqlValue* found = nullptr;
    for (const auto& [n, v] : values) {
      if (n == name) found = &v;
    }
    if (!found) throw EngineError(EngineError::Kind::Sql, "no value for :" + name.toStdString());
    ordered.push_back(Bound(*found));
  }
  for (const auto& [n, v] : values) {
    if (!names.contains(n))
      throw EngineError(EngineError::Kind::Sql, "no placeholder :" + n.toStdString());
  }
  return ordered;
}

// Sessions that finished commands left open, for the next command of this process to the
// same server: a new session (a server process, the password exchange) costs more than most
// commands. Only idle sessions are kept, each with what it learnt of the tables' keys.
class IdleSessions {
 public:
  struct Session {
    pg_conn* conn = nullptr;
    std::map<QString, QStringList> keyOrder;
  };

  static IdleSessions& Instance() {
    static IdleSessions sessions;
    return sessions;
  }
  ~IdleSessions() {
    for (auto& [key, session] : idle_) PQfinish(session.conn);
  }

  std::optional<Session> Take(const QString& key) {
    std::lock_guard lock(mutex_);
    auto it = idle_.find(key);
    if (it == idle_.end()) return std::nullopt;
    Session session = std::move(it->second);
    idle_.erase(it);
    return session;
  }
  // Keeps the session, or closes it when enough are kept already.
  void Put(const QString& key, Session session) {
    constexpr std::size_t kMaxIdle = 32;
    {
      std::lock_guard lock(mutex_);
      if (idle_.size() < kMaxIdle) {
        idle_.emplace(key, std::move(session));
        return;
      }
    }
    PQfinish(session.conn);
  }

 private:
  std::mutex mutex_;
  std::multimap<QString, Session> idle_;
};

}  // namespace

QString ServerIdentifier(const QString& name) {
  QString quoted = name;
  quoted.replace('"', QStringLiteral("\"\""));
  return '"' + quoted + '"';
}

void PgBackend::Connect(const QString& target, const QString& password, int) {
  if (Connected()) throw EngineError(EngineError::Kind::Usage, "already connected");
  inTransaction_ = false;
  sessionKey_ = target + QChar(0) + password + QChar(0) +
                QString::number(timeouts_.connectSeconds) + ',' +
                QString::number(timeouts_.statementMs);
  // A kept session must answer first: one the server closed meanwhile (a restart) may not
  // show it until it is used, and a command must not fail for that.
  while (std::optional<IdleSessions::Session> kept = IdleSessions::Instance().Take(sessionKey_)) {
    connection_.Adopt(kept->conn, timeouts_);
    try {
      if (connection_.Idle()) {
        connection_.Exec(QStringLiteral("SELECT 1"));
        keyOrder_ = std::move(kept->keyOrder);
        return;
      }
    } catch (const EngineError&) {
    }
    connection_.Disconnect();
  }
  keyOrder_.clear();
  connection_.Connect(target, password, timeouts_);
}

void PgBackend::Disconnect() {
  // An open transaction is dropped with its session; an idle session serves the next command.
  if (!inTransaction_ && connection_.Idle()) {
    IdleSessions::Instance().Put(sessionKey_, {connection_.Release(), std::move(keyOrder_)});
  }
  connection_.Disconnect();
  keyOrder_.clear();
  inTransaction_ = false;
}

PgRows PgBackend::Exec(const QString& sql, const std::vector<std::optional<QString>>& params) {
  try {
    return connection_.Exec(sql, params);
  } catch (const EngineError& e) {
    if (!connection_.Connected()) inTransaction_ = false;
    const QString& state = connection_.LastSqlState();
    // Serialisation failure, deadlock, or a key that a concurrent transaction took first.
    if (state == QLatin1String("40001") || state == QLatin1String("40P01") ||
        state == QLatin1String("23505")) {
      throw EngineError(EngineError::Kind::Conflict, e.what());
    }
    throw;
  }
}

void PgBackend::Begin() {
  if (InTransaction()) throw EngineError(EngineError::Kind::Usage, "a transaction is open");
  Exec(QStringLiteral("BEGIN"));
  inTransaction_ = true;
}

void PgBackend::Commit() {
  if (!InTransaction()) throw EngineError(EngineError::Kind::Usage, "no transaction to commit");
  inTransaction_ = false;
  // A commit the server refuses has rolled back; one whose answer is lost raises Io.
  Exec(QStringLiteral("COMMIT"));
}

void PgBackend::Rollback() {
  if (!InTransaction()) return;
  inTransaction_ = false;
  Exec(QStringLiteral("ROLLBACK"));
}

void PgBackend::LockTable(const QString& table) {
  if (!InTransaction()) throw EngineError(EngineError::Kind::Usage, "no transaction for a lock");
  // Conflicts with itself and with every write, not with plain reads.
  Exec("LOCK TABLE " + ServerIdentifier(table) + " IN SHARE ROW EXCLUSIVE MODE");
}

QString PgBackend::KeyOrder(const QString& table, const char* direction) {
  auto known = keyOrder_.find(table);
  if (known == keyOrder_.end()) {
    const PgRows key = Exec(QStringLiteral("SELECT a.attname FROM pg_index i JOIN pg_attribute a "
                                           "ON a.attrelid = i.indrelid AND a.attnum = "
                                           "ANY(i.indkey) WHERE i.indrelid = $1::regclass AND "
                                           "i.indisprimary ORDER BY array_position(i.indkey, "
                                           "a.attnum)"),
                            {ServerIdentifier(table)});
    QStringList columns;
    for (const auto& row : key.rows) columns << ServerIdentifier(row[0].value_or(QString()));
    known = keyOrder_.emplace(table, columns).first;
  }
  QStringList order;
  for (const QString& column : known->second) order << column + ' ' + direction;
  return order.join(QStringLiteral(", "));
}

SqlResult PgBackend::Select(const QString& statement, const SqlBindings& values, bool forUpdate) {
  QStringList names;
  QString text = ServerStatementText(statement, &names);
  // A plain read of one table gives its rows in the table's own order on the file (the
  // order of its key); the server keeps no order of its own, so it is asked for that one.
  static const QRegularExpression plainRead(
      QStringLiteral("^SELECT [^;]* FROM `(\\w+)`( WHERE [^`;]*)?;?$"));
  const QRegularExpressionMatch m = plainRead.match(statement);
  if (m.hasMatch() && !statement.contains(QLatin1String(" ORDER BY "))) {
    const QString order = KeyOrder(m.captured(1), "ASC");
    if (text.endsWith(';')) text.chop(1);
    if (!order.isEmpty()) text += " ORDER BY " + order;
  }
  if (forUpdate) text += QStringLiteral(" FOR UPDATE");
  SqlResult result = Converted(Exec(text, Ordered(names, values)));
  if (result.columns.empty())
    throw EngineError(EngineError::Kind::Sql, "returns no rows: " + statement.toStdString());
  return result;
}

SqlResult PgBackend::Run(const QString& statement, const SqlBindings& values, bool wantRows) {
  if (wantRows) return Select(statement, values, false);
  QStringList names;
  const QString text = ServerStatementText(statement, &names);
  PgRows rows = Exec(text, Ordered(names, values));
  if (!rows.columns.empty())
    throw EngineError(EngineError::Kind::Sql, "returns rows: " + statement.toStdString());
  return {};
}

SqlResult PgBackend::RunForUpdate(const QString& statement, const SqlBindings& values) {
  return Select(statement, values, true);
}

std::vector<SqlColumn> PgBackend::TableColumns(const QString& table) {
  return Converted(Exec("SELECT * FROM " + ServerIdentifier(table) + " LIMIT 0")).columns;
}

SqlResult PgBackend::LastRow(const QString& table) {
  QString order = KeyOrder(table, "DESC");
  // Without a primary key the server keeps no order of its own: the physical one is used.
  if (order.isEmpty()) order = QStringLiteral("ctid DESC");
  return Converted(
      Exec("SELECT * FROM " + ServerIdentifier(table) + " ORDER BY " + order + " LIMIT 1"));
}

void PgBackend::Insert(const QString& table, const SqlBindings& columnValues) {
  static const QRegularExpression plain(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*$"));
  QStringList names, marks;
  std::vector<std::optional<QString>> values;
  for (const auto& [name, value] : columnValues) {
    if (!plain.match(name).hasMatch())
      throw EngineError(EngineError::Kind::Sql, "no field " + name.toStdString());
    names << name;  // unquoted: the server's columns are the lower-case forms
    values.push_back(Bound(value));
    marks << '$' + QString::number(values.size());
  }
  Exec("INSERT INTO " + ServerIdentifier(table) +
           (names.isEmpty() ? QStringLiteral(" DEFAULT VALUES")
                            : " (" + names.join(", ") + ") VALUES (" + marks.join(", ") + ")"),
       values);
}

std::unique_ptr<SqlBackend> MakeServerBackend() { return std::make_unique<PgBackend>(); }

}  // namespace vedalia
