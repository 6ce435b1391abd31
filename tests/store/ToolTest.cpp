// The teacher's database commands of vedalia-course, run as a user would.

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

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

}  // namespace
}  // namespace vedalia
