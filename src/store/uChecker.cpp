#include "store/uChecker.h"

#include <QFile>
#include <QFileInfo>

#include "store/uTables.h"

namespace vedalia {

namespace {

// Each table opens through the data module's table component, or the check fails.
void OpenEach(TDM& dm, const QStringList& tableNames) {
  for (const QString& name : tableNames) {
    dm.Table.SetTableName(name);
    dm.Table.Open();
    dm.Table.Close();
  }
}

}  // namespace

bool TChecker::CheckDatabase(const QStringList& tableNames) const {
  try {
    // A configured server is asked for the tables; the file is not looked at then.
    if (const std::optional<ServerLocation> server = StoreServer()) {
      TDM dm(*server);
      OpenEach(dm, tableNames);
      return true;
    }
  } catch (...) {
    return false;
  }
  return CheckDatabase(DatabaseFilePath(), tableNames);
}

bool TChecker::CheckDatabase(const QString& filePath, const QStringList& tableNames) const {
  try {
    if (!QFileInfo(filePath).isFile()) return false;
    {
      QFile file(filePath);
      if (!file.open(QIODevice::ReadOnly)) return false;
      if (file.read(4).toUpper() != "ACS2") return false;
    }
    TDM dm(filePath);
    OpenEach(dm, tableNames);
    return true;
  } catch (...) {
    return false;
  }
}

}  // namespace vedalia
