// The remembered log-in and window size in the settings file: "askLogin" and "app_exit".
#include <QFileInfo>
#include <QStandardPaths>

#include "ShellFixture.h"
#include "shell/uSettingsFile.h"
#include "store/uCrypto.h"

namespace vedalia::testing {
namespace {

class SettingsCommands : public ShellFixture {
 protected:
  void writeSettings(const QByteArray& text) {
    QFile file(settingsPath);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text);
  }
  QByteArray readSettings() {
    QFile file(settingsPath);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }
};

TEST_F(SettingsCommands, ExitRemembersTheLoginAndAskLoginGivesItBack) {
  EXPECT_EQ(send("askLogin"), QStringList{"askedLogin = nil"});
  EXPECT_TRUE(send("app_exit", "Петров;Иван;Б;pa\"ss").isEmpty());
  EXPECT_EQ(window.closed, 1);

  const TIniFile ini(settingsPath);
  EXPECT_EQ(ini.ReadString("UserSettings", "LastSurname"), EncodeStr("Петров", "QUILL_SEAL"));
  EXPECT_EQ(ini.ReadString("UserSettings", "LastPassword"), EncodeStr("pass", "QUILL_SEAL"));
  EXPECT_EQ(ini.ReadString("GeneralSettings", "FWid"), "1030");
  EXPECT_EQ(ini.ReadString("GeneralSettings", "FHei"), "770");
  EXPECT_EQ(send("askLogin"), QStringList{"askedLogin=Петров;Иван;Б;pass"});

  // "0" forgets the login but still records the size.
  EXPECT_TRUE(send("app_exit", "0").isEmpty());
  EXPECT_EQ(window.closed, 2);
  EXPECT_EQ(send("askLogin"), QStringList{"askedLogin = nil"});
  EXPECT_TRUE(TIniFile(settingsPath).ValueExists("GeneralSettings", "FWid"));
}

TEST_F(SettingsCommands, AskLoginNeedsAllFourKeys) {
  writeSettings("[UserSettings]\r\nLastSurname=\r\nLastName=\r\nLastClass=\r\n");
  EXPECT_EQ(send("askLogin"), QStringList{"askedLogin = nil"});
  writeSettings("[usersettings]\r\nlastsurname=\r\nLastName=\r\nLastClass=\r\nLASTPASSWORD=\r\n");
  EXPECT_EQ(send("askLogin"), QStringList{"askedLogin=;;;"});
}

TEST_F(SettingsCommands, GarbledSettingsFileIsReadAsFarAsItMakesSense) {
  writeSettings(QByteArray("\x00\xff\x98garbage\n[UserSettings\nLastSurname\n=x\n", 36) +
                "[GeneralSettings]\nFWid=oops\n");
  EXPECT_EQ(send("askLogin"), QStringList{"askedLogin = nil"});
  EXPECT_TRUE(send("app_exit", "a;b;c;d").isEmpty());
  EXPECT_EQ(window.closed, 1);
  EXPECT_EQ(send("askLogin"), QStringList{"askedLogin=a;b;c;d"});
  EXPECT_EQ(TIniFile(settingsPath).ReadString("GeneralSettings", "FWid"), "1030");
  EXPECT_TRUE(readSettings().contains("garbage"));  // lines not understood are kept
}

TEST_F(SettingsCommands, ExitClosesTheWindowEvenWhenSettingsCannotBeWritten) {
  writeSettings("[UserSettings]\r\nLastSurname=AA\r\n");
  ASSERT_TRUE(QFile::setPermissions(settingsPath, QFile::ReadOwner));
  EXPECT_TRUE(send("app_exit", "Петров;Иван;Б;pw").isEmpty());
  EXPECT_EQ(window.closed, 1);
  EXPECT_EQ(readSettings(), "[UserSettings]\r\nLastSurname=AA\r\n");

  // A settings file in a folder that does not exist: nothing written, still closed.
  settingsPath = dir.path() + "/missing/vedalia.ini";
  handler = makeHandler(true);
  EXPECT_TRUE(send("app_exit", "0").isEmpty());
  EXPECT_EQ(window.closed, 2);
}

TEST_F(SettingsCommands, ExitWithTooFewFieldsWritesNoLoginButCloses) {
  EXPECT_TRUE(send("app_exit", "Петров;Иван").isEmpty());
  EXPECT_EQ(window.closed, 1);
  EXPECT_FALSE(TIniFile(settingsPath).ValueExists("UserSettings", "LastSurname"));
}

TEST(IniFile, KeepsOtherSectionsAndLinesWhenChangingOne) {
  QTemporaryDir dir;
  const QString path = dir.path() + "/s.ini";
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write("; comment\r\n[A]\r\nx = 1 \r\n\r\n[B]\r\ny=2\r\n");
  file.close();

  TIniFile ini(path);
  EXPECT_EQ(ini.ReadString("a", "X"), "1");
  EXPECT_EQ(ini.ReadString("A", "missing", "dflt"), "dflt");
  ASSERT_TRUE(ini.WriteString("A", "z", "3"));
  ASSERT_TRUE(ini.WriteString("B", "y", "two\nlines"));
  ASSERT_TRUE(ini.WriteString("C", "w", "Ж"));
  ASSERT_TRUE(ini.DeleteKey("A", "x"));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.readAll(),
            "; comment\r\n[A]\r\nz=3\r\n\r\n[B]\r\ny=two lines\r\n[C]\r\nw=\xC6\r\n");
}

TEST(IniFile, SettingsFileSitsBesideAWritableExecutableElseInTheConfigFolder) {
  QTemporaryDir dir;
  ASSERT_TRUE(QDir().mkpath(dir.path() + "/bin"));
  EXPECT_EQ(SettingsFilePath(dir.path() + "/bin/vedalia"), dir.path() + "/bin/vedalia.ini");
  EXPECT_EQ(SettingsFilePath(dir.path() + "/bin/shell.exe"), dir.path() + "/bin/shell.ini");

  ASSERT_TRUE(QFile::setPermissions(dir.path() + "/bin", QFile::ReadOwner | QFile::ExeOwner));
  if (QFileInfo(dir.path() + "/bin").isWritable()) GTEST_SKIP() << "running with rights over all";
  QStandardPaths::setTestModeEnabled(true);
  const QString elsewhere = SettingsFilePath(dir.path() + "/bin/vedalia");
  EXPECT_TRUE(elsewhere.endsWith("/vedalia/vedalia.ini"));
  EXPECT_FALSE(elsewhere.startsWith(dir.path()));
  QFile::setPermissions(dir.path() + "/bin",
                        QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

}  // namespace
}  // namespace vedalia::testing
