// The replay tool end to end: a script against a course with a database.
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

}  // namespace
}  // namespace vedalia::testing
