// The warnings log: what the store's failures leave in it (never a password or its code), how
// it rotates, and that the earlier message handler still gets every message.

#include <gtest/gtest.h>

#include <QFile>
#include <QRegularExpression>
#include <QStringList>
#include <QTemporaryDir>

#include "platform/Log.h"
#include "store/uCrypto.h"
#include "store/uDBTransaction.h"
#include "store/uTables.h"

namespace vedalia {
namespace {

QStringList seen;  // what reached the handler installed before the log
void Capture(QtMsgType, const QMessageLogContext&, const QString& message) { seen << message; }

QString Read(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

TEST(WarningLog, StoreFailuresAreLoggedWithoutSecretsAndOldLinesRotateOut) {
  QTemporaryDir dir;
  const QString db = dir.filePath(QStringLiteral("lorevia_db.adb"));
  CreateDatabaseFile(db, sealed::kTestKdfCost);
  {
    TDM dm(db);
    // One account, then every change of the tables is refused.
    for (const char* sql :
         {"INSERT INTO users (U_id, U_name) VALUES (1, 'Аня')",
          "CREATE TRIGGER a BEFORE INSERT ON users BEGIN SELECT RAISE(ABORT, 'refused'); END",
          "CREATE TRIGGER b BEFORE UPDATE ON users BEGIN SELECT RAISE(ABORT, 'refused'); END",
          "CREATE TRIGGER c BEFORE DELETE ON results BEGIN SELECT RAISE(ABORT, 'refused'); END"}) {
      dm.Query.Clear();
      dm.Query.AddLine(QString::fromUtf8(sql));
      dm.Query.ExecSQL();
    }
  }
  const QtMessageHandler before = qInstallMessageHandler(Capture);
  const QString log = dir.filePath(QStringLiteral("state/vedalia/warnings.log"));
  ASSERT_TRUE(InstallWarningLog(log, 2000, 2));
  const QString secret = QStringLiteral("тайна42");
  const QString code = EncodeStr(secret, QLatin1String(kFieldCipherKey));
  {
    TDBTransaction tx(db);
    EXPECT_EQ(tx.AddUser("Боря;Б;Петров;1.1.2001;Боря;" + secret + ";Б;true;true;8;0"), "false");
    EXPECT_EQ(tx.SetPassword("1;" + secret), "false");
    EXPECT_EQ(tx.AddTestResult(QStringLiteral("1;1;1;5;1;a")), QString()) << "inserts pass";
    EXPECT_EQ(tx.DeleteUser(QStringLiteral("1")), "false");
  }
  const QString failures = Read(log + QStringLiteral(".1")) + Read(log);
  for (const char* what : {"adding an account failed", "setting a password failed",
                           "deleting an account failed", "vedalia.store", "refused"})
    EXPECT_TRUE(failures.contains(QLatin1String(what))) << what << "\n" << failures.toStdString();
  EXPECT_FALSE(failures.contains(secret) || failures.contains(code)) << failures.toStdString();
  EXPECT_EQ(seen.filter(QStringLiteral("failed")).size(), 3);

  // Numbered lines: the files, oldest first, hold the newest lines in order, none over the limit.
  qCDebug(lcStore) << "debug lines stay out";
  for (int i = 0; i < 200; ++i) qCWarning(lcMedia, "line %03d", i);
  RemoveWarningLog();
  qCWarning(lcMedia) << "after removal";
  EXPECT_FALSE(QFile::exists(log + QStringLiteral(".3")));
  QString all;
  for (const QString& name : {log + QStringLiteral(".2"), log + QStringLiteral(".1"), log}) {
    const QString text = Read(name);
    EXPECT_LE(text.toUtf8().size(), 2000 + 500) << name.toStdString();
    all += text;
  }
  EXPECT_FALSE(all.contains(QLatin1String("adding an account")) || all.contains("line 000"));
  EXPECT_FALSE(all.contains(QLatin1String("stay out")) || all.contains("after removal"));
  // Line 199 is the last one written; what is kept before it runs back without a gap.
  QList<int> kept;
  for (auto it = QRegularExpression(QStringLiteral("vedalia.media: line (\\d+)")).globalMatch(all);
       it.hasNext();)
    kept << it.next().captured(1).toInt();
  ASSERT_GE(kept.size(), 5) << all.toStdString();
  for (qsizetype i = 0; i < kept.size(); ++i) EXPECT_EQ(kept[i], 200 - kept.size() + i);
  EXPECT_TRUE(seen.contains(QStringLiteral("debug lines stay out")) &&
              seen.contains(QStringLiteral("line 199")) && seen.contains("after removal"));
  qInstallMessageHandler(before);
}

TEST(WarningLog, PathFollowsAnAbsoluteXdgStateHomeOnly) {
  const QByteArray saved = qgetenv("XDG_STATE_HOME");
  const QString home = qEnvironmentVariable("HOME") + QStringLiteral("/.local/state");
  for (const auto& [value, base] : {std::pair{"/var/tmp/st", QStringLiteral("/var/tmp/st")},
                                    {"relative/st", home},
                                    {"", home}}) {
    qputenv("XDG_STATE_HOME", value);
    EXPECT_EQ(WarningLogPath(), base + QStringLiteral("/vedalia/warnings.log")) << value;
  }
  if (saved.isNull())
    qunsetenv("XDG_STATE_HOME");
  else
    qputenv("XDG_STATE_HOME", saved);
}

}  // namespace
}  // namespace vedalia
