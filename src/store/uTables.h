#pragma once
// The data module: the one place that knows where the accounts database lies and its
// password. Constructing a TDM connects (and locks) the database; destroying it closes it.

#include <QString>
#include <optional>

#include "store/PgStore.h"
#include "store/SealedFile.h"
#include "store/SqlEngine.h"

namespace vedalia {

inline constexpr char kDatabaseFolder[] = "database";
inline constexpr char kDatabaseFileName[] = "lorevia_db.adb";

// BaseDir() + "database/lorevia_db.adb".
QString DatabaseFilePath();

// The server that TDM() connects instead of the file: the one set for this process
// (SetStoreServer: the course tool's replay), else the machine-wide setting's (Store=),
// else none. Throws EngineError when the setting's password file may not be used.
std::optional<ServerLocation> StoreServer();
void SetStoreServer(std::optional<ServerLocation> server);

class TDM {
 public:
  // Connects the configured engine: StoreServer() when there is one, else the database
  // file at DatabaseFilePath(). Throws EngineError when the file is missing, locked,
  // damaged or sealed under another password, or the server cannot be reached.
  TDM();
  // The same for a database elsewhere (tools, tests): a file path, or a server's URL
  // (postgresql://...; its password from libpq's own means: the URL, PGPASSWORD, ~/.pgpass).
  explicit TDM(const QString& location, int lockWaitMs = kLockWaitMs);
  explicit TDM(const ServerLocation& server);
  ~TDM();
  TDM(const TDM&) = delete;
  TDM& operator=(const TDM&) = delete;

 private:
  explicit TDM(const std::optional<ServerLocation>& server);

 public:
  // Declared in this order: the table and the query are destroyed before the database.
  SqlDatabase Database;
  SqlTable Table;
  SqlQuery Query;
};

// Makes a new, empty accounts database (both tables) at `filePath`; the folder must exist.
// Never replaces an existing file. Throws EngineError.
void CreateDatabaseFile(const QString& filePath, sealed::KdfCost cost = sealed::kDefaultKdfCost);

// Converts an accounts database of the older whole-image format in place, atomically;
// `converted` tells whether it was one. Throws EngineError.
void UpgradeDatabaseFile(const QString& filePath, bool* converted);

}  // namespace vedalia
