#include "store/PgSession.h"

#include <QRegularExpression>

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

PgRowSet Converted(PgRows&& rows) {
  PgRowSet out;
  for (const auto& c : rows.columns) {
    const bool integer = c.type == kPgInt2Oid || c.type == kPgInt4Oid || c.type == kPgInt8Oid;
    out.columns.emplace_back(c.name, c.type == kPgBoolOid ? QStringLiteral("BOOLEAN")
                                     : integer            ? QStringLiteral("INTEGER")
                                                          : QStringLiteral("TEXT"));
  }
  out.rows.reserve(rows.rows.size());
  for (auto& row : rows.rows) {
    std::vector<SqlValue> values(row.size());
    for (std::size_t i = 0; i < row.size(); ++i) {
      if (!row[i]) continue;
      const QString& declared = out.columns[i].second;
      SqlValue& v = values[i];
      if (declared == QLatin1String("BOOLEAN")) {
        v.type = SqlValue::Type::Integer;
        v.integer = *row[i] == QLatin1String("t") ? 1 : 0;
      } else if (declared == QLatin1String("INTEGER")) {
        v.type = SqlValue::Type::Integer;
        v.integer = row[i]->toLongLong();
      } else {
        v.type = SqlValue::Type::Text;
        v.text = std::move(*row[i]);
      }
    }
    out.rows.push_back(std::move(values));
  }
  return out;
}

}  // namespace

QString ServerIdentifier(const QString& name) {
  QString quoted = name;
  quoted.replace('"', QStringLiteral("\"\""));
  return '"' + quoted + '"';
}

void PgSession::Connect(const ServerLocation& location, PgTimeouts timeouts) {
  inTransaction_ = false;
  connection_.Connect(location.url, location.password, timeouts);
}

void PgSession::Disconnect() {
  connection_.Disconnect();
  inTransaction_ = false;
}

PgRows PgSession::Run(const QString& sql, const std::vector<SqlValue>& params) {
  std::vector<std::optional<QString>> bound;
  bound.reserve(params.size());
  for (const SqlValue& v : params) bound.push_back(Bound(v));
  try {
    return connection_.Exec(sql, bound);
  } catch (const EngineError& e) {
    if (!connection_.Connected()) inTransaction_ = false;
    const QString& state = connection_.LastSqlState();
    // Serialisation failure, deadlock, or a key a concurrent transaction took first.
    if (state == QLatin1String("40001") || state == QLatin1String("40P01") ||
        state == QLatin1String("23505")) {
      throw EngineError(EngineError::Kind::Conflict, e.what());
    }
    throw;
  }
}

void PgSession::Begin() {
  if (InTransaction()) throw EngineError(EngineError::Kind::Usage, "a transaction is open");
  Run(QStringLiteral("BEGIN"), {});
  inTransaction_ = true;
}

void PgSession::Commit() {
  if (!InTransaction()) throw EngineError(EngineError::Kind::Usage, "no transaction to commit");
  inTransaction_ = false;
  // A commit that the server refuses has rolled back; one whose answer is lost raises Io.
  Run(QStringLiteral("COMMIT"), {});
}

void PgSession::Rollback() {
  if (!InTransaction()) return;
  inTransaction_ = false;
  Run(QStringLiteral("ROLLBACK"), {});
}

void PgSession::LockTable(const QString& table) {
  if (!InTransaction()) throw EngineError(EngineError::Kind::Usage, "no transaction for a lock");
  // Conflicts with itself and with every write, not with plain reads.
  Run("LOCK TABLE " + ServerIdentifier(table) + " IN SHARE ROW EXCLUSIVE MODE", {});
}

QString PgSession::KeyOrder(const QString& table, const char* direction) {
  auto known = keyOrder_.find(table);
  if (known == keyOrder_.end()) {
    const PgRows key = Run(QStringLiteral("SELECT a.attname FROM pg_index i JOIN pg_attribute a "
                                          "ON a.attrelid = i.indrelid AND a.attnum = ANY(i.indkey) "
                                          "WHERE i.indrelid = $1::regclass AND i.indisprimary "
                                          "ORDER BY array_position(i.indkey, a.attnum)"),
                           {SqlValue{SqlValue::Type::Text, 0, 0, ServerIdentifier(table)}});
    QStringList columns;
    for (const auto& row : key.rows) columns << ServerIdentifier(row[0].value_or(QString()));
    known = keyOrder_.emplace(table, columns).first;
  }
  QStringList order;
  for (const QString& column : known->second) order << column + ' ' + direction;
  return order.join(QStringLiteral(", "));
}

PgRowSet PgSession::Select(const QString& statement, const std::vector<SqlValue>& params,
                           bool forUpdate) {
  // A plain read of one table gives its rows in the table's own order on the file (the
  // order of its key); the server keeps no order of its own, so it is asked for that one.
  static const QRegularExpression plainRead(
      QStringLiteral("^SELECT [^;]* FROM `(\\w+)`( WHERE [^`;]*)?$"));
  const QRegularExpressionMatch m = plainRead.match(statement);
  QString text = ServerStatementText(statement);
  if (m.hasMatch() && !statement.contains(QLatin1String(" ORDER BY "))) {
    const QString order = KeyOrder(m.captured(1), "ASC");
    if (!order.isEmpty()) text += " ORDER BY " + order;
  }
  if (forUpdate) text += QStringLiteral(" FOR UPDATE");
  return Converted(Run(text, params));
}

qint64 PgSession::Execute(const QString& statement, const std::vector<SqlValue>& params) {
  return Run(ServerStatementText(statement), params).affected;
}

PgRowSet PgSession::Columns(const QString& table) {
  return Converted(Run("SELECT * FROM " + ServerIdentifier(table) + " LIMIT 0", {}));
}

PgRowSet PgSession::LastRow(const QString& table) {
  const PgRows key = Run(QStringLiteral("SELECT a.attname FROM pg_index i JOIN pg_attribute a "
                                        "ON a.attrelid = i.indrelid AND a.attnum = ANY(i.indkey) "
                                        "WHERE i.indrelid = $1::regclass AND i.indisprimary"),
                         {SqlValue{SqlValue::Type::Text, 0, 0, ServerIdentifier(table)}});
  QStringList order;
  for (const auto& row : key.rows) order << ServerIdentifier(row[0].value_or(QString())) + " DESC";
  // Without a primary key the server keeps no order of its own: the physical one is used.
  if (order.isEmpty()) order << QStringLiteral("ctid DESC");
  return Converted(
      Run("SELECT * FROM " + ServerIdentifier(table) + " ORDER BY " + order.join(", ") + " LIMIT 1",
          {}));
}

void PgSession::Insert(const QString& table,
                       const std::vector<std::pair<QString, SqlValue>>& fields) {
  QStringList names, marks;
  std::vector<SqlValue> values;
  for (const auto& [name, value] : fields) {
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*$"));
    if (!plain.match(name).hasMatch())
      throw EngineError(EngineError::Kind::Sql, "no field " + name.toStdString());
    names << name;  // unquoted: the server's columns are the lower-case forms
    marks << '$' + QString::number(values.size() + 1);
    values.push_back(value);
  }
  Run("INSERT INTO " + ServerIdentifier(table) +
          (fields.empty() ? QStringLiteral(" DEFAULT VALUES")
                          : " (" + names.join(", ") + ") VALUES (" + marks.join(", ") + ")"),
      values);
}

}  // namespace vedalia
