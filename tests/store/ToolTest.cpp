// The teacher's database commands of vedalia-course, run as a user would.

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <optional>

#include "StoreTestUtil.h"
#include "store/SealedFile.h"
#include "store/uChecker.h"
#include "store/uDBTransaction.h"

namespace vedalia {
namespace {

struct ToolRun {
  int code = -1;
  QString out;
  QString err;
  QByteArray raw;
};

ToolRun Tool(const QStringList& args) {
  QProcess p;
  p.start(QStringLiteral(VEDALIA_COURSE_TOOL), QStringList{QStringLiteral("db")} + args);
  p.waitForFinished(60000);
  const QByteArray raw = p.readAllStandardOutput();
  return {p.exitCode(), QString::fromUtf8(raw), QString::fromUtf8(p.readAllStandardError()), raw};
}

TEST(DbTool, CreatedDatabaseWithAccountsPassesTheCheckAndLogsIn) {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("database/lorevia_db.adb"));
  ASSERT_EQ(Tool({"create", path}).code, 0);
  EXPECT_EQ(Tool({"create", path}).code, 1) << "an existing database is never replaced";
  ToolRun r = Tool({"add-account", path, "--surname", "Иванова", "--name", "Мария",
                    "--class-letter", "А", "--password", "учитель", "--privileged"});
  ASSERT_EQ(r.code, 0) << r.err.toStdString();
  r = Tool({"add-account", path, "--surname", "Петров", "--name", "Петя", "--class-letter", "Б",
            "--password", "x1"});
  ASSERT_EQ(r.code, 0) << r.err.toStdString();
  EXPECT_EQ(Tool({"add-account", path, "--surname", "Петров", "--name", "Петя", "--class-letter",
                  "Б", "--password", "x2"})
                .code,
            1);
  EXPECT_EQ(Tool({"add-account", path, "--surname", "a;b", "--name", "c", "--class-letter", "Б",
                  "--password", "x"})
                .code,
            1);

  EXPECT_TRUE(TChecker().CheckDatabase(path, {QStringLiteral("users"), QStringLiteral("results")}));
  {
    TDBTransaction tx(path);
    EXPECT_TRUE(tx.ValidateUser(QStringLiteral("Иванова;Мария;Я;учитель")).endsWith(";1"));
    EXPECT_TRUE(
        tx.ValidateUser(QStringLiteral("Петров;Петя;Б;x1")).startsWith("2;Петя;Батькович;"));
    ASSERT_EQ(tx.AddTestResult(QStringLiteral("1;2;3;7;2;да, \"хорошо\"")), QString());
  }
  r = Tool({"users", path});
  EXPECT_EQ(r.code, 0);
  EXPECT_TRUE(r.out.contains("\n2\tПетров\tПетя\tБатькович\t8\tБ\tПетя\t")) << r.out.toStdString();
  r = Tool({"results", path, "--csv"});
  EXPECT_EQ(r.code, 0);
  EXPECT_TRUE(r.raw.startsWith("\xEF\xBB\xBFid,surname,"));
  EXPECT_TRUE(r.out.contains("2,Петров,Петя,8,Б,1,2,3,7,7,7,1,\"да, \"\"хорошо\"\"\"\r\n"))
      << r.out.toStdString();
}

// Tabs, line breaks and backslashes inside stored names and notes keep every row of the
// tab-separated listings one line of the same columns, and read back as stored.
TEST(DbTool, TabsAndLineBreaksInFieldsKeepTheTableWhole) {
  const QString values[] = {"Пет\tров", "Пет\nров", "Пет\rров", "Пет\\tров", "\\\t\r\n\\n"};
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("x.adb"));
  ASSERT_EQ(Tool({"create", path}).code, 0);
  {
    TDBTransaction tx(path);
    for (const QString& v : values) {
      const QString id = tx.AddUser("Петя;Б;" + v + ";1.1.2001;Петя;pw;А;true;-;8;0");
      ASSERT_GT(id.toInt(), 0) << id.toStdString();
      ASSERT_EQ(tx.AddTestResult("1;2;3;7;" + id + ";" + v), QString());
    }
  }
  const auto unescape = [](const QString& field) {
    QString out;
    for (qsizetype i = 0; i < field.size(); ++i) {
      if (field[i] != '\\' || i + 1 == field.size()) {
        out += field[i];
        continue;
      }
      const QChar c = field[++i];
      out += c == 't' ? QChar('\t') : c == 'n' ? QChar('\n') : c == 'r' ? QChar('\r') : c;
    }
    return out;
  };
  const struct {
    const char* command;
    int columns;
    std::vector<int> holding;  // the columns that hold the stored value
  } listings[] = {{"users", 11, {1}}, {"results", 13, {1, 12}}};
  for (const auto& listing : listings) {
    SCOPED_TRACE(listing.command);
    const ToolRun r = Tool({listing.command, path});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    QStringList rows = r.out.split('\n');
    ASSERT_EQ(rows.takeLast(), QString());
    ASSERT_EQ(rows.size(), std::size(values) + 1) << r.out.toStdString();
    for (qsizetype row = 1; row < rows.size(); ++row) {
      const QStringList fields = rows[row].split('\t');
      ASSERT_EQ(fields.size(), listing.columns) << rows[row].toStdString();
      for (int column : listing.holding)
        EXPECT_EQ(unescape(fields[column]), values[row - 1]) << row << ", column " << column;
    }
  }
}

TEST(DbTool, ClearErrorsForMissingForeignAndDamagedFiles) {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("x.adb"));
  ToolRun r = Tool({"users", path});
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(r.err.contains("no such database file")) << r.err.toStdString();

  ASSERT_EQ(Tool({"create", path}).code, 0);
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::ReadWrite));
  QByteArray bytes = f.readAll();
  bytes[bytes.size() - 20] = char(bytes[bytes.size() - 20] ^ 0x40);
  f.seek(0);
  f.write(bytes);
  f.close();
  r = Tool({"results", path});
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(r.err.contains("damaged")) << r.err.toStdString();

  bytes.replace(0, 4, "PK\x03\x04");
  ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
  f.write(bytes);
  f.close();
  r = Tool({"users", path});
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(r.err.contains("wrong signature")) << r.err.toStdString();

  EXPECT_EQ(Tool({"users"}).code, 2);
  EXPECT_EQ(Tool({"add-account", path, "--name", "x"}).code, 2);
}

QByteArray Read(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QStringList Replies(const QString& path) {
  TDBTransaction tx(path);
  return {tx.GetUsersList(), tx.GetUserResults(QStringLiteral("2")),
          tx.ValidateUser(QStringLiteral("Петров;Петя;Б;x1"))};
}

// A file as format 1 wrote it (the whole SQLite image sealed), holding what `current` holds.
// The plain copy is attached through the store's file shim, behind a blank header.
QByteArray Format1Of(const QString& current, const QString& scratch) {
  QFile blank(scratch);
  if (!blank.open(QIODevice::WriteOnly) || blank.write(QByteArray(4096, 0)) != 4096) return {};
  blank.close();
  {
    TDM dm(current);
    for (const QString& sql :
         {"ATTACH DATABASE '" + scratch + "' AS p KEY ''",
          QStringLiteral("SELECT sqlcipher_export('p')"), QStringLiteral("DETACH DATABASE p")}) {
      dm.Query.Clear();
      dm.Query.AddLine(sql);
      sql.startsWith("SELECT") ? dm.Query.Open() : dm.Query.ExecSQL();
    }
  }
  const QByteArray image = Read(scratch).mid(4096);
  const QString sealedPath = scratch + QStringLiteral(".adb");
  sealed::WriteSealedFile(
      sealedPath, sealed::NewFileKey(QStringLiteral("kelp_morrow_key"), sealed::kTestKdfCost),
      reinterpret_cast<const unsigned char*>(image.constData()), std::size_t(image.size()), true);
  return Read(sealedPath);
}

TEST(DbTool, UpgradeConvertsAnOldFileKeepingItsDataAndRefusesWhatItCannotRead) {
  testing::TempDatabase db;
  {
    TDBTransaction tx(db.path);
    tx.AddUser(QStringLiteral("Аня;Б;Иванова;1.1.2001;Аня;pw;А;true;true;8;0"));
    tx.AddUser(QStringLiteral("Петя;Б;Петров;1.1.2001;Петя;x1;Б;true;false;8;0"));
    ASSERT_EQ(tx.AddTestResult(QStringLiteral("1;2;3;7;2;да")), QString());
    ASSERT_EQ(tx.AddTestResult(QStringLiteral("2;1;1;9;2;нет")), QString());
  }
  const QStringList truth = Replies(db.path);
  ASSERT_TRUE(truth[1].count('/') >= 7 && truth[2].startsWith("2;"))
      << truth.join('|').toStdString();
  const QByteArray old = Format1Of(db.path, db.dir.filePath(QStringLiteral("plain.db")));
  ASSERT_EQ(old.mid(0, 6), QByteArray("ACS2\x01\x00", 6));

  const QString path = db.dir.filePath(QStringLiteral("old.adb"));
  testing::TempDatabase written;  // a file to write `path` from
  const auto put = [&](const QByteArray& bytes) {
    written.WriteBytes(bytes);
    QFile::remove(path);
    QFile::copy(written.path, path);
  };
  put(old);
  ToolRun r = Tool({"upgrade", path});
  ASSERT_EQ(r.code, 0) << r.err.toStdString();
  EXPECT_TRUE(r.out.contains("converted")) << r.out.toStdString();
  const QByteArray upgraded = Read(path);
  EXPECT_EQ(upgraded.mid(0, 6), QByteArray("ACS2\x02\x00", 6));
  EXPECT_EQ(upgraded.size() % 4096, 0);
  EXPECT_FALSE(QFileInfo::exists(path + ".new"));
  EXPECT_TRUE(TChecker().CheckDatabase(path, {QStringLiteral("users"), QStringLiteral("results")}));
  EXPECT_EQ(Replies(path), truth);
  r = Tool({"upgrade", path});
  EXPECT_EQ(r.code, 0);
  EXPECT_TRUE(r.out.contains("already current")) << r.out.toStdString();
  EXPECT_EQ(Read(path), upgraded) << "a current file is left as it is";

  QByteArray flipped = old;
  flipped[old.size() / 2] = char(flipped[old.size() / 2] ^ 4);
  QByteArray foreign = old;
  foreign.replace(0, 4, "SQLi");
  QByteArray version = old;
  version[4] = 3;
  const struct {
    const char* name;
    QByteArray bytes;  // empty: no file
    bool hold;         // another holder has the file open
    const char* error;
  } refused[] = {
      {"missing", {}, false, "no such database file"},
      {"foreign", foreign, false, "wrong signature"},
      {"flipped", flipped, false, "damaged"},
      {"truncated", old.left(old.size() - 1), false, "damaged"},
      {"header only", old.left(int(sealed::kHeaderSize)), false, "damaged"},
      {"unknown version", version, false, "damaged"},
      {"held", old, true, "in use by another program"},
  };
  for (const auto& c : refused) {
    SCOPED_TRACE(c.name);
    QFile::remove(path);
    if (!c.bytes.isEmpty()) put(c.bytes);
    std::optional<TDM> holder;
    if (c.hold) holder.emplace(path);
    r = Tool({"upgrade", path});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains(c.error)) << r.err.toStdString();
    EXPECT_EQ(Read(path), c.bytes) << "a refused file stays as it was";
    EXPECT_FALSE(QFileInfo::exists(path + ".new"));
  }
}

}  // namespace
}  // namespace vedalia
