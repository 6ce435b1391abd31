#pragma once
// A fresh accounts database in a temporary folder, with the cheapest key derivation.

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>

#include "store/uTables.h"

namespace vedalia::testing {

struct TempDatabase {
  QTemporaryDir dir;
  QString path;

  TempDatabase() : path(dir.filePath(QStringLiteral("lorevia_db.adb"))) {
    CreateDatabaseFile(path, sealed::kTestKdfCost);
  }

  QByteArray Bytes() const {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
  }
  void WriteBytes(const QByteArray& bytes) const {
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate)) f.write(bytes);
  }
};

}  // namespace vedalia::testing
