#include "store/PgConnection.h"

#include <libpq-fe.h>
#include <poll.h>

#include <memory>
#include <utility>

#include <QDeadlineTimer>
#include <QRegularExpression>

#include "store/StoreErrors.h"

namespace vedalia {
namespace {

// How long past the server's own statement timeout the client keeps waiting for an
// answer: the server normally answers its cancellation well within this.
constexpr int kClientGraceMs = 3000;

struct ResultDeleter {
  void operator()(PGresult* r) const { PQclear(r); }
};
using Result = std::unique_ptr<PGresult, ResultDeleter>;

std::string ErrorText(PGconn* conn) {
  std::string text = conn ? PQerrorMessage(conn) : "no connection";
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text;
}

// Waits until the connection's socket is ready, at most until `deadline`.
bool WaitSocket(PGconn* conn, bool forWrite, const QDeadlineTimer& deadline) {
  pollfd p{PQsocket(conn), short(forWrite ? POLLOUT : POLLIN), 0};
  if (p.fd < 0) return false;
  for (;;) {
    const qint64 left = deadline.remainingTime();
    if (left == 0) return false;
    const int rc = poll(&p, 1, left < 0 ? -1 : int(left));
    if (rc > 0) return true;
    if (rc == 0) return false;
    if (errno != EINTR) return false;
  }
}

}  // namespace

PgConnection::~PgConnection() { Disconnect(); }

void PgConnection::Connect(const QString& url, const QString& password, PgTimeouts timeouts) {
  if (conn_) throw EngineError(EngineError::Kind::Usage, "already connected");
  timeouts_ = timeouts;
  const QByteArray dbname = url.toUtf8();
  const QByteArray pass = password.toUtf8();
  const QByteArray connectTimeout = QByteArray::number(timeouts.connectSeconds);
  // The server ends a statement (and a lock wait) that takes longer; an idle transaction
  // left by a client that died holds no lock for long.
  const QByteArray options =
      "-c statement_timeout=" + QByteArray::number(timeouts.statementMs) +
      " -c idle_in_transaction_session_timeout=" + QByteArray::number(timeouts.statementMs * 2);
  // A vanished peer on TCP is noticed in seconds, not after the system's two hours.
  const QByteArray userTimeout = QByteArray::number(timeouts.statementMs + kClientGraceMs);
  std::vector<const char*> keys = {"dbname",
                                   "connect_timeout",
                                   "options",
                                   "client_encoding",
                                   "application_name",
                                   "keepalives_idle",
                                   "keepalives_interval",
                                   "keepalives_count",
                                   "tcp_user_timeout"};
  std::vector<const char*> values = {dbname.constData(),
                                     connectTimeout.constData(),
                                     options.constData(),
                                     "UTF8",
                                     "vedalia",
                                     "5",
                                     "2",
                                     "2",
                                     userTimeout.constData()};
  if (!password.isEmpty()) {
    keys.push_back("password");
    values.push_back(pass.constData());
  }
  keys.push_back(nullptr);
  values.push_back(nullptr);
  // Asynchronous, so that the whole attempt (name lookup aside) has one deadline.
  PGconn* conn = PQconnectStartParams(keys.data(), values.data(), 1);
  if (!conn) throw EngineError(EngineError::Kind::Io, "out of memory for a connection");
  const QDeadlineTimer deadline(qint64(timeouts.connectSeconds) * 1000 + 500);
  PostgresPollingStatusType state = PGRES_POLLING_WRITING;
  while (PQstatus(conn) != CONNECTION_BAD && state != PGRES_POLLING_OK &&
         state != PGRES_POLLING_FAILED) {
    if (!WaitSocket(conn, state == PGRES_POLLING_WRITING, deadline)) {
      PQfinish(conn);
      throw EngineError(EngineError::Kind::Io, "the database server does not answer");
    }
    state = PQconnectPoll(conn);
  }
  if (PQstatus(conn) != CONNECTION_OK) {
    const std::string message = "cannot connect to the database server: " + ErrorText(conn);
    PQfinish(conn);
    throw EngineError(EngineError::Kind::Io, message);
  }
  conn_ = conn;
}

void PgConnection::Disconnect() {
  if (conn_) PQfinish(conn_);
  conn_ = nullptr;
}

pg_conn* PgConnection::Release() { return std::exchange(conn_, nullptr); }

void PgConnection::Adopt(pg_conn* conn, PgTimeouts timeouts) {
  Disconnect();
  conn_ = conn;
  timeouts_ = timeouts;
}

bool PgConnection::Idle() const {
  // Reading what arrived meanwhile notices a server that ended the session (a restart).
  return conn_ && PQconsumeInput(conn_) && PQstatus(conn_) == CONNECTION_OK && !PQisBusy(conn_) &&
         PQtransactionStatus(conn_) == PQTRANS_IDLE;
}

void PgConnection::FailGone(const std::string& what) {
  const std::string message = what + ": " + ErrorText(conn_);
  Disconnect();  // whatever state the session is in, it is not used again
  throw EngineError(EngineError::Kind::Io, message);
}

PGresult* PgConnection::Wait(const QString& sql) {
  const QDeadlineTimer deadline(timeouts_.statementMs + kClientGraceMs);
  PGresult* last = nullptr;
  for (;;) {
    while (PQisBusy(conn_)) {
      if (!WaitSocket(conn_, false, deadline)) {
        PQclear(last);
        FailGone("no answer from the database server to: " + sql.toStdString());
      }
      if (!PQconsumeInput(conn_)) {
        PQclear(last);
        FailGone("lost the database server");
      }
    }
    PGresult* next = PQgetResult(conn_);
    if (!next) break;
    PQclear(last);
    last = next;
  }
  if (!last) FailGone("lost the database server");
  return last;
}

PgRows PgConnection::Exec(const QString& sql, const std::vector<std::optional<QString>>& params) {
  if (!conn_) throw EngineError(EngineError::Kind::Usage, "not connected");
  lastState_.clear();
  std::vector<QByteArray> utf8;
  utf8.reserve(params.size());
  std::vector<const char*> values;
  for (const auto& p : params) {
    utf8.push_back(p ? p->toUtf8() : QByteArray());
    values.push_back(p ? utf8.back().constData() : nullptr);
  }
  const QByteArray text = sql.toUtf8();
  if (!PQsendQueryParams(conn_, text.constData(), int(values.size()), nullptr, values.data(),
                         nullptr, nullptr, 0)) {
    FailGone("cannot send to the database server");
  }
  Result result(Wait(sql));
  const ExecStatusType status = PQresultStatus(result.get());
  if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK) {
    const char* state = PQresultErrorField(result.get(), PG_DIAG_SQLSTATE);
    lastState_ = QString::fromLatin1(state ? state : "");
    // Only the primary message: the full text's DETAIL may quote a failing row, password
    // code included, and error texts reach the warnings log.
    const char* primary = PQresultErrorField(result.get(), PG_DIAG_MESSAGE_PRIMARY);
    std::string message = primary ? primary : "the server refused the statement";
    if (state) message += std::string(" (") + state + ")";
    if (PQstatus(conn_) != CONNECTION_OK) FailGone(message);
    throw EngineError(EngineError::Kind::Sql, message + " in: " + sql.toStdString());
  }
  PgRows rows;
  const int nColumns = PQnfields(result.get());
  for (int c = 0; c < nColumns; ++c) {
    rows.columns.push_back(
        {QString::fromUtf8(PQfname(result.get(), c)), unsigned(PQftype(result.get(), c))});
  }
  const int nRows = PQntuples(result.get());
  rows.rows.reserve(std::size_t(nRows));
  for (int r = 0; r < nRows; ++r) {
    auto& row = rows.rows.emplace_back();
    row.reserve(std::size_t(nColumns));
    for (int c = 0; c < nColumns; ++c) {
      if (PQgetisnull(result.get(), r, c)) {
        row.emplace_back(std::nullopt);
      } else {
        row.emplace_back(
            QString::fromUtf8(PQgetvalue(result.get(), r, c), PQgetlength(result.get(), r, c)));
      }
    }
  }
  const char* affected = PQcmdTuples(result.get());
  rows.affected = affected && *affected ? QByteArray(affected).toLongLong() : 0;
  return rows;
}

QString RedactedUrl(const QString& url) {
  QString shown = url;
  // user:password@ in a URI, and password=... as a parameter or keyword.
  static const QRegularExpression userInfo(QStringLiteral("(://[^/@:]*):[^/@]*@"));
  static const QRegularExpression keyword(QStringLiteral("(password\\s*=\\s*)[^&\\s]*"),
                                          QRegularExpression::CaseInsensitiveOption);
  shown.replace(userInfo, QStringLiteral("\\1:***@"));
  shown.replace(keyword, QStringLiteral("\\1***"));
  return shown;
}

bool IsServerUrl(const QString& text) {
  return text.startsWith(QLatin1String("postgresql://")) ||
         text.startsWith(QLatin1String("postgres://"));
}

}  // namespace vedalia
