#include "store/PgStore.h"

#include <QFile>
#include <QFileInfo>

#include "misc/uMisc.h"
#include "store/StoreErrors.h"

namespace vedalia {

std::optional<ServerLocation> ConfiguredServer() {
  const QString url = ReadMachineSetting(QLatin1String(kStoreSettingKey));
  if (url.isEmpty()) return std::nullopt;
  // Anything else would reach libpq as its own keywords; the server is then unavailable.
  if (!IsServerUrl(url)) {
    throw EngineError(EngineError::Kind::Io,
                      "Store= names no server (postgresql://HOST:PORT/DB); the store is not used");
  }
  ServerLocation location{url, QString()};
  const QString passwordFile =
      QFileInfo(MachineSettingsPath()).absolutePath() + '/' + QLatin1String(kStorePasswordFileName);
  if (QFileInfo::exists(passwordFile)) location.password = ReadStorePasswordFile(passwordFile);
  return location;
}

QString ReadStorePasswordFile(const QString& path) {
  QFile file(path);
  if (file.permissions() & QFileDevice::ReadOther) {
    throw EngineError(EngineError::Kind::Io,
                      path.toStdString() + ": others may read the password file; it is not used");
  }
  if (!file.open(QIODevice::ReadOnly))
    throw EngineError(EngineError::Kind::Io, path.toStdString() + ": cannot be read");
  QByteArray line = file.readLine();
  while (line.endsWith('\n') || line.endsWith('\r')) line.chop(1);
  return QString::fromUtf8(line);
}

const QStringList& ServerSchema() {
  // Integers are 32-bit, as the file's are; the table order that the new-id rule reads is
  // the order of U_id, which the primary key gives. One row per pupil and test.
  static const QStringList schema = {
      QStringLiteral("CREATE TABLE \"users\" ("
                     "U_id integer PRIMARY KEY, U_name text, U_Father_Name text, "
                     "U_SurName text, U_Birth_date text, U_sex text, U_login text, "
                     "U_password text, U_class_numb integer, U_class_literal text, "
                     "U_last_enter_date text, U_is_passwd_remem boolean, "
                     "U_last_test_id integer, U_Privileges integer)"),
      QStringLiteral("CREATE INDEX users_by_name ON \"users\" (U_SurName, U_name)"),
      QStringLiteral("CREATE TABLE \"results\" ("
                     "U_id integer NOT NULL, R_Glava integer NOT NULL, R_Razv integer NOT NULL, "
                     "R_Test_Num integer NOT NULL, R_Last_Res integer, R_Best_Res integer, "
                     "R_Avg_Res integer, R_Num_Pop integer, R_Dop_Inf text, "
                     "PRIMARY KEY (U_id, R_Glava, R_Razv, R_Test_Num))"),
  };
  return schema;
}

void CreateServerSchema(PgConnection& connection) {
  connection.Exec(QStringLiteral("BEGIN"));
  try {
    for (const QString& statement : ServerSchema()) connection.Exec(statement);
    connection.Exec(QStringLiteral("COMMIT"));
  } catch (...) {
    if (connection.Connected()) {
      try {
        connection.Exec(QStringLiteral("ROLLBACK"));
      } catch (...) {
      }
    }
    throw;
  }
}

QString ServerStatementText(const QString& statement, QStringList* names) {
  // Table names stand in backquotes; on the server they are "name". A ":name" outside
  // quotes is a bound value: it becomes $n, the same n for the same name.
  QString out;
  out.reserve(statement.size() + 8);
  QChar quote;
  for (qsizetype i = 0; i < statement.size(); ++i) {
    const QChar c = statement[i];
    if (!quote.isNull()) {
      if (c == quote) quote = QChar();
      out += quote.isNull() && c == '`' ? QChar('"') : c;
      continue;
    }
    if (c == '\'' || c == '"' || c == '`') {
      quote = c;
      out += c == '`' ? QChar('"') : c;
      continue;
    }
    const bool starts = c == ':' && i + 1 < statement.size() &&
                        (statement[i + 1].isLetter() || statement[i + 1] == '_') &&
                        (i == 0 || statement[i - 1] != ':');
    if (!starts) {
      out += c;
      continue;
    }
    qsizetype end = i + 1;
    while (end < statement.size() && (statement[end].isLetterOrNumber() || statement[end] == '_'))
      ++end;
    const QString name = statement.mid(i + 1, end - i - 1);
    qsizetype index = names ? names->indexOf(name) : -1;
    if (names && index < 0) {
      names->append(name);
      index = names->size() - 1;
    }
    out += '$' + QString::number(index + 1);
    i = end - 1;
  }
  return out;
}

}  // namespace vedalia
