#pragma once
// The data module: the one place that knows where the accounts database lies and its
// password. Constructing a TDM connects (and locks) the database; destroying it closes it.

#include <QString>

#include "store/SealedFile.h"
#include "store/SqlEngine.h"

namespace vedalia {

inline constexpr char kDatabaseFolder[] = "database";
inline constexpr char kDatabaseFileName[] = "lorevia_db.adb";

// BaseDir() + "database/lorevia_db.adb".
QString DatabaseFilePath();

class TDM {
 public:
  // Connects the database at DatabaseFilePath(). Throws EngineError when the file is
  // missing, locked, damaged or sealed under another password.
  TDM();
  // The same for a database elsewhere (tools, tests).
  explicit TDM(const QString& filePath, int lockWaitMs = kLockWaitMs);
  ~TDM();
  TDM(const TDM&) = delete;
  TDM& operator=(const TDM&) = delete;

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
