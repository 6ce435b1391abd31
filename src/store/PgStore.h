#pragma once
// The classroom engine: the accounts tables on a PostgreSQL server that every shell of a
// room shares. The machine-wide setting file names it (Store=postgresql://HOST:PORT/DB);
// its password lies in a file of its own beside that file, readable by the shell's group
// only, so that it is never in the course folder, in a URL or in a log line.

#include <QString>
#include <QStringList>
#include <optional>

#include "store/PgConnection.h"

namespace vedalia {

struct ServerLocation {
  QString url;       // libpq's URI; shown to people only through RedactedUrl
  QString password;  // empty: libpq's own means (peer, trust, ~/.pgpass)
};

inline constexpr char kStoreSettingKey[] = "Store";
inline constexpr char kStorePasswordFileName[] = "store-password";

// The server the machine-wide setting file names, or nullopt for the embedded file. A
// password file that others may read is refused (the server is then unavailable), so a
// mistake in its permissions is noticed instead of exposing the password.
std::optional<ServerLocation> ConfiguredServer();

// Reads the password file: its first line. Throws EngineError (Io) when it cannot be read or
// when users outside its group may read it.
QString ReadStorePasswordFile(const QString& path);

// The statements that make the two tables on a server: the columns of the file, unquoted
// (so lower case there) and matched case-insensitively by the readers.
const QStringList& ServerSchema();

// Creates both tables in one transaction; throws EngineError when they exist already or the
// server refuses.
void CreateServerSchema(PgConnection& connection);

// The statement text for the server: `name` becomes "name", each ":name" placeholder $n;
// `names` receives the placeholder names in the order of n.
QString ServerStatementText(const QString& statement, QStringList* names);

}  // namespace vedalia
