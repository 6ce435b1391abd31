#pragma once
// The database availability check run once at start-up.

#include <QString>
#include <QStringList>

namespace vedalia {

class TChecker {
 public:
  // True when the database file exists, begins with "ACS2" (either letter case), opens with
  // its password and every named table opens. Never throws; any failure gives false.
  bool CheckDatabase(const QStringList& tableNames) const;  // at DatabaseFilePath()
  bool CheckDatabase(const QString& filePath, const QStringList& tableNames) const;
};

}  // namespace vedalia
