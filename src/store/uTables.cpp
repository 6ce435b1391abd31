#include "store/uTables.h"

#include "misc/uMisc.h"
#include "store/FileEngine.h"
#include "store/PgBackend.h"

namespace vedalia {
namespace {

constexpr char kPassword[] = "kelp_morrow_key";

}  // namespace

QString DatabaseFilePath() {
  return BaseDir() + QLatin1String(kDatabaseFolder) + '/' + QLatin1String(kDatabaseFileName);
}

namespace {

std::optional<ServerLocation>& ProcessServer() {
  static std::optional<ServerLocation> server;
  return server;
}

}  // namespace

std::optional<ServerLocation> StoreServer() {
  if (ProcessServer()) return ProcessServer();
  return ConfiguredServer();
}

void SetStoreServer(std::optional<ServerLocation> server) { ProcessServer() = std::move(server); }

TDM::TDM() : TDM(StoreServer()) {}

TDM::TDM(const std::optional<ServerLocation>& server)
    : Database(server ? MakeServerBackend() : MakeFileBackend()), Table(Database), Query(Database) {
  if (server) {
    Database.Connect(server->url, server->password);
  } else {
    Database.Connect(DatabaseFilePath(), QLatin1String(kPassword));
  }
}

TDM::TDM(const QString& location, int lockWaitMs)
    : Database(IsServerUrl(location) ? MakeServerBackend() : MakeFileBackend()),
      Table(Database),
      Query(Database) {
  Database.Connect(location, IsServerUrl(location) ? QString() : QLatin1String(kPassword),
                   lockWaitMs);
}

TDM::TDM(const ServerLocation& server) : TDM(std::optional<ServerLocation>(server)) {}

TDM::~TDM() = default;

void UpgradeDatabaseFile(const QString& filePath, bool* converted) {
  UpgradeFileDatabase(filePath, QLatin1String(kPassword), converted);
}

void CreateDatabaseFile(const QString& filePath, sealed::KdfCost cost) {
  // U_id is the row id, so the table's own order is U_id order and its last row holds the
  // largest id, which the new-id rule relies on. Results are kept in the order of their
  // key, which also forbids a second row for the same test.
  static const QStringList schema = {
      QStringLiteral("PRAGMA auto_vacuum = FULL"),
      QStringLiteral("CREATE TABLE users ("
                     "U_id INTEGER PRIMARY KEY, U_name TEXT, U_Father_Name TEXT, "
                     "U_SurName TEXT, U_Birth_date TEXT, U_sex TEXT, U_login TEXT, "
                     "U_password TEXT, U_class_numb INTEGER, U_class_literal TEXT, "
                     "U_last_enter_date TEXT, U_is_passwd_remem BOOLEAN, "
                     "U_last_test_id INTEGER, U_Privileges INTEGER)"),
      QStringLiteral("CREATE INDEX users_by_name ON users (U_SurName, U_name)"),
      QStringLiteral("CREATE TABLE results ("
                     "U_id INTEGER NOT NULL, R_Glava INTEGER NOT NULL, R_Razv INTEGER NOT NULL, "
                     "R_Test_Num INTEGER NOT NULL, R_Last_Res INTEGER, R_Best_Res INTEGER, "
                     "R_Avg_Res INTEGER, R_Num_Pop INTEGER, R_Dop_Inf TEXT, "
                     "PRIMARY KEY (U_id, R_Glava, R_Razv, R_Test_Num)) WITHOUT ROWID"),
  };
  SqlDatabase::Create(filePath, QLatin1String(kPassword), schema, cost);
}

}  // namespace vedalia
