#pragma once
// A fresh accounts database in a temporary folder, with the cheapest key derivation.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "store/uDBTransaction.h"
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

// A school's worth of data: pupil 1 (Иванова Аня, password "pw") with the result "1;1;1",
// then pupils 2.. with `results` results between them. Made once in the build folder's
// test cache, copied for each use.
inline QByteArray SchoolDatabase(int accounts, int results) {
  const QString dir = QStringLiteral(VEDALIA_TEST_CACHE_DIR);
  const QString path = dir + QStringLiteral("/school_%1_%2_v2.adb").arg(accounts).arg(results);
  if (!QFile::exists(path)) {
    QDir().mkpath(dir);
    TempDatabase db;
    {
      TDBTransaction tx(db.path);
      tx.AddUser(QStringLiteral("Аня;Б;Иванова;1.1.2001;Аня;pw;А;true;true;8;0"));
      tx.AddTestResult(QStringLiteral("1;1;1;0;1;start"));
    }
    {
      TDM dm(db.path);
      dm.Database.StartTransaction();
      for (
          const char* sql :
          {"WITH RECURSIVE n(x) AS (SELECT 0 UNION ALL SELECT x + 1 FROM n WHERE x + 1 < "
           ":Accounts) "
           "INSERT INTO users (U_id, U_name, U_SurName, U_password, U_class_literal, U_Privileges) "
           "SELECT x + 2, 'Имя' || x, 'Фамилия' || x, '2F3A', 'А', 0 FROM n",
           "WITH RECURSIVE n(x) AS (SELECT 0 UNION ALL SELECT x + 1 FROM n WHERE x + 1 < :Results) "
           "INSERT INTO results SELECT x / (:Results / :Accounts) + 2, x % 7 + 1, x / 7 % 9 + 1, "
           "x / 63 % 9 + 1, x % 101, x % 101, x % 101, 1, 'пройден' FROM n"}) {
        dm.Query.Clear();
        dm.Query.AddLine(QString::fromUtf8(sql));
        dm.Query.BindInt(QStringLiteral("Accounts"), accounts);
        if (QByteArray(sql).contains(":Results"))
          dm.Query.BindInt(QStringLiteral("Results"), results);
        dm.Query.ExecSQL();
      }
      dm.Database.Commit();
    }  // closed: the log is folded into the file before it is copied
    QFile::remove(path + ".part");
    QFile::copy(db.path, path + ".part");
    QFile::rename(path + ".part", path);
  }
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace vedalia::testing
