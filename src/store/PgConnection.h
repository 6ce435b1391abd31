#pragma once
// One connection to a PostgreSQL server through libpq. Every wait is bounded: connecting
// gives up after a few seconds, the server cancels a statement that runs (or waits for a
// lock) too long, and the client itself stops waiting for an answer a little later, so a
// server that vanishes mid-command makes the command fail instead of hanging the shell.
//
// Every failure throws EngineError (Io: the server cannot be reached or went away; Sql: the
// statement failed). Text travels as UTF-8; values are always bound, never spliced.

#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

struct pg_conn;
struct pg_result;

namespace vedalia {

struct PgTimeouts {
  int connectSeconds = 3;
  int statementMs = 5000;
};

// The rows of one statement, read in full.
struct PgRows {
  struct Column {
    QString name;       // as the server names it (lower case for unquoted names)
    unsigned type = 0;  // the server's type oid
  };
  std::vector<Column> columns;
  std::vector<std::vector<std::optional<QString>>> rows;  // nullopt: null
  qint64 affected = 0;                                    // rows changed by a write
};

inline constexpr unsigned kPgBoolOid = 16;
inline constexpr unsigned kPgInt8Oid = 20;
inline constexpr unsigned kPgInt2Oid = 21;
inline constexpr unsigned kPgInt4Oid = 23;

class PgConnection {
 public:
  PgConnection() = default;
  ~PgConnection();
  PgConnection(const PgConnection&) = delete;
  PgConnection& operator=(const PgConnection&) = delete;

  // `url` is libpq's connection string or URI; `password` (may be empty) is passed apart
  // from it, so it never shows in a URL that might be printed.
  void Connect(const QString& url, const QString& password, PgTimeouts timeouts = {});
  void Disconnect();
  bool Connected() const { return conn_ != nullptr; }

  // Hands the open session over (nullptr when none) or takes one made with `timeouts`.
  pg_conn* Release();
  void Adopt(pg_conn* conn, PgTimeouts timeouts);
  // True when the session is open, between transactions, and the server has not closed it.
  bool Idle() const;

  // Runs one statement with $1.. bound to `params` (nullopt binds null).
  PgRows Exec(const QString& sql, const std::vector<std::optional<QString>>& params = {});
  // The SQLSTATE of the last failed statement ("40001" serialisation, "23505" unique...).
  const QString& LastSqlState() const { return lastState_; }

 private:
  pg_result* Wait(const QString& sql);
  [[noreturn]] void FailGone(const std::string& what);

  pg_conn* conn_ = nullptr;
  PgTimeouts timeouts_;
  QString lastState_;
};

// A URL shown to people: any password written into it is replaced by "***".
QString RedactedUrl(const QString& url);

// True when `text` names a server rather than a file ("postgresql://", "postgres://").
bool IsServerUrl(const QString& text);

}  // namespace vedalia
