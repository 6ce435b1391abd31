#include "store/uChecker.h"

#include <QFile>
#include <QFileInfo>

#include "store/uTables.h"

namespace vedalia {

bool TChecker::CheckDatabase(const QStringList& tableNames) const {
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
    for (const QString& name : tableNames) {
      dm.Table.SetTableName(name);
      dm.Table.Open();
      dm.Table.Close();
    }
    return true;
  } catch (...) {
    return false;
  }
}

}  // namespace vedalia
