// The sealed database file and the engine contract: what connecting refuses, what a commit
// leaves on disk, and the text forms of values.

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <unistd.h>
#include <csignal>
#include <functional>

#include <QDir>
#include <QFileInfo>

#include "StoreTestUtil.h"
#include "misc/uMisc.h"
#include "store/StoreErrors.h"
#include "store/uChecker.h"
#include "store/uDBTransaction.h"

namespace vedalia {
namespace {

using testing::TempDatabase;
using Kind = EngineError::Kind;

Kind ConnectError(const QString& path, int lockWaitMs = 0) {
  try {
    TDM dm(path, lockWaitMs);
  } catch (const EngineError& e) {
    return e.kind();
  }
  ADD_FAILURE() << "connecting " << path.toStdString() << " succeeded";
  return Kind::Usage;
}

int CountUsers(const QString& path) {
  TDM dm(path);
  dm.Query.AddLine(QStringLiteral("SELECT count(*) FROM users"));
  dm.Query.Open();
  return dm.Query.FieldInt(0);
}

void AddUserRow(TDM& dm, int id, const QString& name) {
  dm.Table.SetTableName(QStringLiteral("users"));
  dm.Table.Open();
  dm.Table.Insert();
  dm.Table.SetInt(QStringLiteral("U_id"), id);
  dm.Table.SetText(QStringLiteral("U_name"), name);
  dm.Table.Post();
  dm.Table.Close();
}

TEST(SealedDatabase, CommitReachesTheFileAndRollbackDoesNot) {
  TempDatabase db;
  {
    TDM dm(db.path);
    dm.Database.Rollback();  // no transaction: harmless
    dm.Database.StartTransaction();
    AddUserRow(dm, 1, QStringLiteral("Аня"));
    dm.Database.Commit();
    dm.Database.StartTransaction();
    AddUserRow(dm, 2, QStringLiteral("Боря"));
    dm.Database.Rollback();
    dm.Database.StartTransaction();
    AddUserRow(dm, 3, QStringLiteral("Вова"));
    // Disconnecting with the transaction open drops it.
  }
  EXPECT_EQ(CountUsers(db.path), 1);
  EXPECT_FALSE(QFileInfo::exists(db.path + ".tmp"));
}

TEST(SealedDatabase, WritesOutsideATransactionAreSavedAtOnce) {
  TempDatabase db;
  {
    TDM dm(db.path);
    AddUserRow(dm, 7, QStringLiteral("x"));
    dm.Query.AddLine(QStringLiteral("UPDATE `users` SET U_name = 'y' WHERE U_id = 7"));
    dm.Query.ExecSQL();
  }
  TDM dm(db.path);
  dm.Query.AddLine(QStringLiteral("SELECT U_name FROM users"));
  dm.Query.Open();
  EXPECT_EQ(dm.Query.FieldText(0), QStringLiteral("y"));
}

TEST(SealedDatabase, ConnectingRefusesMissingForeignAndDamagedFiles) {
  TempDatabase db;
  const QByteArray good = db.Bytes();
  ASSERT_TRUE(good.startsWith("ACS2"));

  EXPECT_EQ(ConnectError(db.dir.filePath("none.adb")), Kind::FileMissing);
  EXPECT_FALSE(QFileInfo::exists(db.dir.filePath("none.adb.lock"))) << "no litter";
  EXPECT_EQ(ConnectError(db.dir.filePath("nofolder/x.adb")), Kind::FileMissing);

  db.WriteBytes(QByteArray("SQLite format 3\0 and more", 25));
  EXPECT_EQ(ConnectError(db.path), Kind::BadSignature);
  db.WriteBytes("AC");
  EXPECT_EQ(ConnectError(db.path), Kind::BadSignature);

  // Cut anywhere: never opened half.
  for (qsizetype cut : {qsizetype(4), qsizetype(40), qsizetype(4096), qsizetype(4096 + 100),
                        good.size() / 2 / 4096 * 4096, good.size() - 4096, good.size() - 1}) {
    db.WriteBytes(good.left(cut));
    EXPECT_EQ(ConnectError(db.path), Kind::Damaged) << "cut at " << cut;
  }
  // One flipped bit in the header: version, cost, salt, checksum, padding.
  for (qsizetype at : {4, 9, 20, 40, 64, 4095}) {
    QByteArray bad = good;
    bad[at] = char(bad[at] ^ 0x01);
    db.WriteBytes(bad);
    EXPECT_EQ(ConnectError(db.path), Kind::Damaged) << "flipped at " << at;
  }
  db.WriteBytes(good);
  EXPECT_NO_THROW(TDM{db.path});
}

TEST(SealedDatabase, WrongPasswordIsRefused) {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("other.adb"));
  SqlDatabase::Create(path, QStringLiteral("not_the_key"),
                      {QStringLiteral("CREATE TABLE users (a)")}, sealed::kTestKdfCost);
  EXPECT_EQ(ConnectError(path), Kind::Damaged);
  SqlDatabase direct;
  EXPECT_NO_THROW(direct.Connect(path, QStringLiteral("not_the_key")));
}

TEST(SealedDatabase, CreateNeverReplacesAFile) {
  TempDatabase db;
  {
    TDM dm(db.path);
    AddUserRow(dm, 1, QStringLiteral("a"));
  }
  EXPECT_THROW(CreateDatabaseFile(db.path, sealed::kTestKdfCost), EngineError);
  EXPECT_EQ(CountUsers(db.path), 1);
}

TEST(SealedDatabase, OneConnectionAtATimeAlsoAcrossProcesses) {
  TempDatabase db;
  {
    TDM first(db.path);
    EXPECT_EQ(ConnectError(db.path), Kind::Locked);
    // Another process is refused too.
    const pid_t pid = fork();
    if (pid == 0) {
      int code = 3;
      try {
        SqlDatabase other;
        other.Connect(db.path, QStringLiteral("kelp_morrow_key"), 0);
        code = 0;
      } catch (const EngineError& e) {
        code = e.kind() == Kind::Locked ? 1 : 2;
      }
      _exit(code);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
  }
  EXPECT_NO_THROW(TDM{db.path});
}

// Another program that holds the database for a moment (the course tool, a backup) is waited
// for: a movie's command and the start-up check both go ahead once it lets go.
TEST(SealedDatabase, AHolderOfAMomentIsWaitedFor) {
  TempDatabase db;
  const QStringList tables{QStringLiteral("users"), QStringLiteral("results")};
  const std::pair<const char*, std::function<bool()>> cases[] = {
      {"a command", [&] { return TDBTransaction(db.path).GetUsersList() == "nil"; }},
      {"the start-up check", [&] { return TChecker().CheckDatabase(db.path, tables); }},
  };
  for (const auto& [what, run] : cases) {
    SCOPED_TRACE(what);
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t pid = fork();
    if (pid == 0) {
      close(ready[0]);
      try {
        TDM holder(db.path, 0);
        const char held = 1;
        if (write(ready[1], &held, 1) == 1) usleep(1500 * 1000);
      } catch (...) {
      }
      _exit(0);
    }
    close(ready[1]);
    char held = 0;
    const bool holding = read(ready[0], &held, 1) == 1;
    close(ready[0]);
    EXPECT_TRUE(holding) << "the other process did not get the database";
    try {
      EXPECT_TRUE(holding && run());
    } catch (const EngineError& e) {
      ADD_FAILURE() << e.what();
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
  }
}

TEST(SealedDatabase, FailedWriteKeepsTheOldStateAndDropsTheTransaction) {
  TempDatabase db;
  const pid_t pid = fork();
  if (pid == 0) {
    // A full disk: no file may grow.
    signal(SIGXFSZ, SIG_IGN);
    int code = 1;
    try {
      TDM dm(db.path);
      const rlimit none{0, 0};
      setrlimit(RLIMIT_FSIZE, &none);
      dm.Database.StartTransaction();
      AddUserRow(dm, 1, QStringLiteral("a"));
      try {
        dm.Database.Commit();
      } catch (const EngineError&) {
        code = 2;
      }
      dm.Database.Rollback();
      dm.Query.AddLine(QStringLiteral("SELECT count(*) FROM users"));
      dm.Query.Open();
      if (code == 2 && dm.Query.FieldInt(0) == 0) code = 0;
    } catch (const EngineError&) {
      code = 3;
    }
    _exit(code);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(CountUsers(db.path), 0);
}

TEST(SealedDatabase, OneStatementPerText) {
  TempDatabase db;
  TDM dm(db.path);
  dm.Query.AddLine(QStringLiteral("DELETE FROM users WHERE U_id = 1; DROP TABLE results"));
  EXPECT_THROW(dm.Query.ExecSQL(), EngineError);
  dm.Query.Clear();
  dm.Query.AddLine(QStringLiteral("UPDATE `users` SET U_password=:code WHERE U_id = :id;"));
  dm.Query.BindText(QStringLiteral("code"), QStringLiteral("A'B\"C"));
  EXPECT_THROW(dm.Query.ExecSQL(), EngineError) << "a placeholder without a value";
  dm.Query.BindInt(QStringLiteral("id"), 1);
  EXPECT_NO_THROW(dm.Query.ExecSQL());
  dm.Query.BindInt(QStringLiteral("other"), 1);
  EXPECT_THROW(dm.Query.ExecSQL(), EngineError) << "a value without a placeholder";
  dm.Query.Clear();
  dm.Query.AddLine(QStringLiteral("SELECT * FROM `nosuch`"));
  EXPECT_THROW(dm.Query.Open(), EngineError);
}

TEST(SealedDatabase, TextFormsOfValues) {
  TempDatabase db;
  TDM dm(db.path);
  dm.Query.AddLine(
      QStringLiteral("INSERT INTO users (U_id, U_login, U_is_passwd_remem, U_Privileges) VALUES "
                     "(5, 'abc', 1, NULL)"));
  dm.Query.ExecSQL();
  dm.Query.Clear();
  dm.Query.AddLine(QStringLiteral("SELECT * FROM `users`"));
  dm.Query.Open();
  ASSERT_EQ(dm.Query.RecordCount(), 1);
  EXPECT_EQ(dm.Query.FieldText(QStringLiteral("U_is_passwd_remem")), QStringLiteral("True"));
  EXPECT_EQ(dm.Query.FieldText(QStringLiteral("U_Privileges")), QStringLiteral("0"));
  EXPECT_EQ(dm.Query.FieldInt(QStringLiteral("U_class_numb")), 0);
  EXPECT_EQ(dm.Query.FieldText(QStringLiteral("U_name")), QString());
  EXPECT_EQ(dm.Query.FieldText(QStringLiteral("u_id")), QStringLiteral("5"));
  EXPECT_THROW(dm.Query.FieldText(QStringLiteral("nosuch")), EngineError);
  EXPECT_THROW(dm.Query.FieldInt(QStringLiteral("U_login")), EngineError)
      << "text that is no number";
}

TEST(AvailabilityCheck, Verdicts) {
  TempDatabase db;
  const QStringList tables{QStringLiteral("users"), QStringLiteral("results")};
  TChecker checker;
  EXPECT_TRUE(checker.CheckDatabase(db.path, tables));
  EXPECT_FALSE(checker.CheckDatabase(db.path, {QStringLiteral("users"), QStringLiteral("marks")}));
  EXPECT_FALSE(checker.CheckDatabase(db.dir.filePath(QStringLiteral("none.adb")), tables));
  {
    TDM holder(db.path);
    EXPECT_FALSE(checker.CheckDatabase(db.path, tables)) << "held by another connection";
  }
  // The signature is compared upper-cased.
  QByteArray bytes = db.Bytes();
  bytes.replace(0, 4, "acs2");
  db.WriteBytes(bytes);
  EXPECT_TRUE(checker.CheckDatabase(db.path, tables));
  bytes.replace(0, 4, "ACS3");
  db.WriteBytes(bytes);
  EXPECT_FALSE(checker.CheckDatabase(db.path, tables));
}

}  // namespace
}  // namespace vedalia

namespace vedalia {
namespace {

TEST(DefaultLocation, TheShellsObjectsUseTheDatabaseBelowBaseDir) {
  QTemporaryDir base;
  const QString previous = BaseDir();
  SetBaseDir(base.path());
  ASSERT_TRUE(QDir(base.path()).mkdir(QStringLiteral("database")));
  EXPECT_EQ(DatabaseFilePath(), base.path() + "/database/lorevia_db.adb");
  const QStringList tables{QStringLiteral("users"), QStringLiteral("results")};
  EXPECT_FALSE(TChecker().CheckDatabase(tables));
  EXPECT_THROW(TDBTransaction{}, EngineError);
  CreateDatabaseFile(DatabaseFilePath(), sealed::kTestKdfCost);
  EXPECT_TRUE(TChecker().CheckDatabase(tables));
  EXPECT_EQ(TDBTransaction().GetUsersList(), QStringLiteral("nil"));
  SetBaseDir(previous);
}

}  // namespace
}  // namespace vedalia

namespace vedalia {
namespace {

// A file of the whole-image format 1, as earlier versions wrote it.
void WriteFormat1(const QString& path, const QString& plainPath) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(plainPath.toUtf8().constData(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db,
                         "CREATE TABLE users (U_id INTEGER PRIMARY KEY, U_name TEXT);"
                         "CREATE TABLE results (U_id INTEGER, R_Glava INTEGER);"
                         "INSERT INTO users VALUES (1, 'Аня');",
                         nullptr, nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(db);
  QFile f(plainPath);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  const QByteArray image = f.readAll();
  const sealed::FileKey key =
      sealed::NewFileKey(QStringLiteral("kelp_morrow_key"), sealed::kTestKdfCost);
  sealed::WriteSealedFile(path, key, reinterpret_cast<const unsigned char*>(image.constData()),
                          std::size_t(image.size()), true);
}

TEST(FormatOne, ReadsAsIsAndConvertsOnTheFirstWrite) {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("old.adb"));
  WriteFormat1(path, dir.filePath(QStringLiteral("plain.db")));
  const QByteArray before = [&] {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
  }();
  ASSERT_EQ(before.mid(4, 2), QByteArray("\x01\x00", 2));
  EXPECT_EQ(CountUsers(path), 1);
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  EXPECT_EQ(f.readAll(), before) << "reading leaves the old file as it was";
  f.close();
  {
    TDM dm(path);
    AddUserRow(dm, 2, QStringLiteral("Боря"));
  }
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  EXPECT_EQ(f.read(6), QByteArray("ACS2\x02\x00", 6));
  f.close();
  EXPECT_EQ(CountUsers(path), 2);
  EXPECT_FALSE(QFileInfo::exists(path + ".new"));
  EXPECT_TRUE(TChecker().CheckDatabase(path, {QStringLiteral("users"), QStringLiteral("results")}));
}

TEST(FormatOne, FifoInPlaceOfTheDatabaseIsRefusedWithoutBlocking) {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("fifo.adb"));
  ASSERT_EQ(mkfifo(path.toLocal8Bit().constData(), 0600), 0);
  EXPECT_EQ(ConnectError(path), Kind::Io);
  EXPECT_FALSE(TChecker().CheckDatabase(path, {QStringLiteral("users")}));
}

}  // namespace
}  // namespace vedalia
