// The replay tool end to end: a script against a course with a database.
#include <csignal>

#include <QProcess>

#include "ShellFixture.h"
#include "shell/uSettingsFile.h"

namespace vedalia::testing {
namespace {

class Replay : public ShellFixture {
 protected:
  QString run(const QByteArray& script, const QStringList& extra = {}) {
    QProcess tool;
    tool.start(VEDALIA_COURSE_TOOL,
               QStringList{"replay", "--base", base} + extra + QStringList{"-"});
    EXPECT_TRUE(tool.waitForStarted());
    tool.write(script);
    tool.closeWriteChannel();
    EXPECT_TRUE(tool.waitForFinished(60000));
    EXPECT_EQ(tool.exitCode(), 0) << tool.readAllStandardError().toStdString();
    return QString::fromUtf8(tool.readAllStandardOutput());
  }
};

TEST_F(Replay, RegistrationLoginAndUsersList) {
  const QString out =
      run("# a pupil registers, logs out and in again\n"
          "addUser\tИван;Петров;Б;pw;0\r\n"
          "clearUserData\n"
          "validateUser\tПетров;Иван;Б;wrong\n"
          "getUsersData\n"
          "debug\tпривет \"мир\"\n"
          "app_exit\tПетров;Иван;Б;pw\n"
          "getUsersData\n");
  EXPECT_EQ(out,
            "reply: registred=1\n"
            "reply: validated=false\n"
            "reply: UsersData=Иван,Петров,Б,1\n"
            "message: plain: привет мир\n"
            "close: main window\n");  // nothing runs after the window closed
  EXPECT_TRUE(QFileInfo(base + "folders/8Б/Петров Иван").isDir());
}

TEST_F(Replay, SettingsFileCarriesTheLoginBetweenRuns) {
  const QString ini = dir.path() + "/replay.ini";
  run("app_exit\ta;b;c;d\n", {"--settings", ini});
  EXPECT_EQ(run("askLogin\n", {"--settings", ini}), "reply: askedLogin=a;b;c;d\n");
  EXPECT_EQ(run("askLogin\n"), "reply: askedLogin = nil\n");
}

TEST_F(Replay, WithoutDatabaseTheNoteAndNetyBasi) {
  ASSERT_TRUE(QFile::remove(base + "database/lorevia_db.adb"));
  EXPECT_EQ(run("getUsersData\n"), "note: no database available\nreply: UsersData=nety_basi\n");
}

// A replay that is killed mid-script leaves nothing in the temporary folder.
TEST_F(Replay, AKilledReplayLeavesNoScratchBehind) {
  for (const int sig : {SIGKILL, SIGTERM}) {
    SCOPED_TRACE(sig);
    QTemporaryDir tmp;
    QProcess tool;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("TMPDIR", tmp.path());
    tool.setProcessEnvironment(env);
    tool.start(VEDALIA_COURSE_TOOL, {"replay", "--base", base, "-"});
    ASSERT_TRUE(tool.waitForStarted());
    tool.write("askLogin\n");
    QByteArray out;
    while (!out.contains('\n') && tool.waitForReadyRead(30000)) out += tool.readAllStandardOutput();
    EXPECT_EQ(out, "reply: askedLogin = nil\n");
    ASSERT_EQ(::kill(pid_t(tool.processId()), sig), 0);
    ASSERT_TRUE(tool.waitForFinished(30000));
    EXPECT_EQ(tool.exitStatus(), QProcess::CrashExit);
    const QStringList left =
        QDir(tmp.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    EXPECT_TRUE(left.isEmpty()) << left.join(' ').toStdString();
  }
}

}  // namespace
}  // namespace vedalia::testing
