// A classroom of shells on one server: the course tool's replay run as many processes at
// once, the teacher's db commands against the server, and the server going away mid-use.

#include <gtest/gtest.h>

#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <map>

#include "PgTestServer.h"
#include "store/PgConnection.h"
#include "store/uDBInterface.h"
#include "store/uTables.h"

namespace vedalia {
namespace {

using testing::PgTestServer;

QProcess* StartTool(const QStringList& args, QObject* parent = nullptr) {
  auto* p = new QProcess(parent);
  p->start(QStringLiteral(VEDALIA_COURSE_TOOL), args);
  return p;
}

int ToolCode(const QStringList& args, QString* out = nullptr) {
  QProcess p;
  p.start(QStringLiteral(VEDALIA_COURSE_TOOL), args);
  p.waitForFinished(60000);
  if (out) *out = QString::fromUtf8(p.readAllStandardOutput());
  return p.exitCode();
}

// Every write of a result row, numbered as the row's lock let it through: the order of
// commit for that row.
void LogResultWrites(const QString& url) {
  PgConnection c;
  c.Connect(url, QString(), {10, 60000});
  c.Exec(
      "CREATE TABLE log (seq bigserial PRIMARY KEY, k text, last int, best int, avg int, n int)");
  c.Exec(
      "CREATE FUNCTION log_write() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN INSERT INTO "
      "log (k, last, best, avg, n) VALUES (NEW.u_id || '/' || NEW.r_test_num, NEW.r_last_res, "
      "NEW.r_best_res, NEW.r_avg_res, NEW.r_num_pop); RETURN NEW; END $$");
  c.Exec(
      "CREATE TRIGGER logged AFTER INSERT OR UPDATE ON results FOR EACH ROW EXECUTE "
      "FUNCTION log_write()");
}

TEST(Classroom, ThirtyShellsAtOnceLoseNoAttemptAndShareNoId) {
  constexpr int kShells = 30, kPupils = 10, kAttempts = 100;
  const QString url = PgTestServer::Shared().NewStore();
  LogResultWrites(url);
  {
    TDBInt db(url);  // two pupils every shell records for
    ASSERT_EQ(db.AddUser("Аня", "-", "Общая", "-", "a", "x", "А", "true", 8, 0), "1");
    ASSERT_EQ(db.AddUser("Боря", "-", "Общий", "-", "b", "x", "А", "true", 8, 0), "2");
  }
  QTemporaryDir base;
  std::map<QString, std::multiset<int>> sent;  // "pupil/test" -> scores
  QObject owner;
  std::vector<QProcess*> shells;
  for (int s = 0; s < kShells; ++s) {
    QByteArray script;
    for (int p = 0; p < kPupils; ++p)
      script += QStringLiteral("addUser\tP%1;S%2;Б;pw;0\n").arg(p).arg(s).toUtf8();
    for (int a = 0; a < kAttempts; ++a) {
      const int pupil = 1 + a % 2, test = 1 + a % 3, score = (s * 37 + a * 11) % 101;
      sent[QStringLiteral("%1/%2").arg(pupil).arg(test)].insert(score);
      script += QStringLiteral("addTestResult\t1;2;%1;%2;%3;x\n")
                    .arg(test)
                    .arg(score)
                    .arg(pupil)
                    .toUtf8();
    }
    ASSERT_TRUE(QDir(base.path()).mkpath(QString::number(s)));
    shells.push_back(StartTool(
        {"replay", "--base", base.filePath(QString::number(s)), "--store", url, "-"}, &owner));
    shells.back()->write(script);
    shells.back()->closeWriteChannel();
  }
  QSet<int> ids;
  for (QProcess* shell : shells) {
    ASSERT_TRUE(shell->waitForFinished(120000));
    const QStringList lines = QString::fromUtf8(shell->readAllStandardOutput()).split('\n');
    ASSERT_EQ(lines.count("reply: ResultAdded=true"), kAttempts) << lines.join('\n').toStdString();
    for (const QString& line : lines) {
      if (line.startsWith("reply: registred=")) ids.insert(line.mid(17).toInt());
    }
  }
  // Unique, dense ids: 3 .. 302, and as many accounts.
  EXPECT_EQ(ids.size(), kShells * kPupils);
  EXPECT_EQ(*std::min_element(ids.begin(), ids.end()), 3);
  EXPECT_EQ(*std::max_element(ids.begin(), ids.end()), 2 + kShells * kPupils);

  PgConnection c;
  c.Connect(url, QString(), {10, 60000});
  EXPECT_EQ(c.Exec("SELECT count(*) FROM users").rows[0][0], QString::number(2 + ids.size()));
  // Each row's writes, replayed in their order of commit, give every stored statistic.
  const PgRows log = c.Exec("SELECT k, last, best, avg, n FROM log ORDER BY seq");
  std::map<QString, std::vector<int>> order;
  for (const auto& w : log.rows) {
    std::vector<int>& scores = order[*w[0]];
    scores.push_back(w[1]->toInt());
    qint64 avg = 0;
    for (std::size_t i = 0; i < scores.size(); ++i)
      avg = RoundHalfToEven(avg * qint64(i) + scores[i], qint64(i) + 1);
    ASSERT_EQ(w[4]->toInt(), int(scores.size())) << w[0]->toStdString();
    EXPECT_EQ(w[2]->toInt(), *std::max_element(scores.begin(), scores.end()));
    EXPECT_EQ(w[3]->toLongLong(), avg) << w[0]->toStdString() << " write " << scores.size();
  }
  ASSERT_EQ(order.size(), sent.size());
  for (const auto& [key, scores] : order) {
    EXPECT_EQ(std::multiset<int>(scores.begin(), scores.end()), sent[key]) << key.toStdString();
    const PgRows row = c.Exec(
        "SELECT r_num_pop, r_last_res FROM results WHERE u_id || '/' || r_test_num = $1", {key});
    EXPECT_EQ(row.rows[0][0], QString::number(scores.size()));
    EXPECT_EQ(row.rows[0][1], QString::number(scores.back()));
  }
}

// One shell fed a line at a time; a debug line's message marks that the commands before it
// have ended.
class Shell {
 public:
  Shell(const QString& base, const QString& url)
      : p_(StartTool({"replay", "--base", base, "--store", url, "-"})) {}
  ~Shell() {
    p_->closeWriteChannel();
    p_->waitForFinished(30000);
  }
  QString Run(const QString& line) {
    p_->write((line + "\ndebug\tend\n").toUtf8());
    QString out;
    while (!out.endsWith("message: plain: end\n") && p_->waitForReadyRead(30000))
      out += QString::fromUtf8(p_->readAllStandardOutput());
    out.chop(QStringLiteral("message: plain: end\n").size());
    return out;
  }

 private:
  std::unique_ptr<QProcess> p_;
};

TEST(Classroom, AStoppedServerFailsCommandsWhichGoOnAfterItsRestart) {
  // A server of its own: the shared one stays up for the other tests.
  auto server = PgTestServer::Start();
  const QString url = server->NewStore();
  QTemporaryDir base;
  {
    TDBInt db(url);
    ASSERT_EQ(db.AddUser("Аня", "-", "Иванова", "-", "a", "x", "А", "true", 8, 0), "1");
  }
  Shell shell(base.path(), url);
  const QString result = QStringLiteral("addTestResult\t1;1;1;50;1;x");
  ASSERT_EQ(shell.Run(result), "reply: ResultAdded=true\n");
  server->Stop();
  for (const QString& line :
       {result, QStringLiteral("addUser\tБоря;Петров;Б;pw;0"), QStringLiteral("getUsersData")}) {
    const QString out = shell.Run(line);
    EXPECT_TRUE(out.isEmpty() || out.endsWith("=false\n")) << out.toStdString();
  }
  server->Restart();
  EXPECT_EQ(shell.Run(result), "reply: ResultAdded=true\n");
  EXPECT_EQ(shell.Run("addUser\tБоря;Петров;Б;pw;0"), "reply: registred=2\n");
  EXPECT_EQ(TDBInt(url).GetUserResults("1"), "1/1/1/50/50/50/2/x");
}

TEST(Classroom, TheTeachersCommandsWorkOnTheServerAndCopyBothWays) {
  const QString url = PgTestServer::Shared().NewDatabase();
  QTemporaryDir dir;
  const QString file = dir.filePath("a.adb"), back = dir.filePath("b.adb");
  QString out;
  ASSERT_EQ(ToolCode({"db", "create", url}), 0);
  EXPECT_EQ(ToolCode({"db", "create", url}), 1) << "tables there are never replaced";
  ASSERT_EQ(ToolCode({"db", "create", file}), 0);
  ASSERT_EQ(ToolCode({"db", "add-account", file, "--surname", "Петров", "--name", "Иван",
                      "--class-letter", "Б", "--password", "pw"}),
            0);
  ASSERT_EQ(TDBInt(file).AddTestResult(1, 2, 3, 70, "1", "нота"), "");
  const struct {
    QStringList args;
    int code;
  } steps[] = {
      {{"copy", file, url}, 0},
      {{"copy", file, url}, 1},  // the server's tables hold rows now
      {{"add-account", url, "--surname", "Ли", "--name", "Ян", "--class-letter", "Б", "--password",
        "x"},
       0},
      {{"copy", url, back}, 0},
      {{"copy", url, back}, 1},  // never over a file
      {{"copy", url, url}, 2},
      {{"users", "postgresql://vedalia:secret@/none?host=/nonexistent"}, 1},
  };
  for (const auto& step : steps) {
    QProcess p;
    p.start(QStringLiteral(VEDALIA_COURSE_TOOL), QStringList{"db"} + step.args);
    p.waitForFinished(60000);
    const QString err = QString::fromUtf8(p.readAllStandardError());
    EXPECT_EQ(p.exitCode(), step.code) << step.args.join(' ').toStdString() << err.toStdString();
    EXPECT_FALSE(err.contains("secret")) << "a password is never shown";
  }
  QString serverResults, fileResults, serverUsers, fileUsers;
  EXPECT_EQ(ToolCode({"db", "results", url, "--csv"}, &serverResults), 0);
  EXPECT_EQ(ToolCode({"db", "results", back, "--csv"}, &fileResults), 0);
  EXPECT_EQ(ToolCode({"db", "users", url}, &serverUsers), 0);
  EXPECT_EQ(ToolCode({"db", "users", back}, &fileUsers), 0);
  EXPECT_TRUE(serverResults.contains("1,Петров,Иван,8,Б,1,2,3,70,70,70,1,нота\r\n"));
  EXPECT_EQ(serverResults, fileResults);
  EXPECT_EQ(serverUsers, fileUsers);
  EXPECT_EQ(serverUsers.count('\n'), 3);
  EXPECT_TRUE(TDBInt(back).GetUserById("2").startsWith("2;Ян;"));
}

}  // namespace
}  // namespace vedalia
