// The main movie's account commands against a real database in a temporary course.
#include <QDirIterator>
#include <QFileInfo>

#include "ShellFixture.h"
#include "store/uDBTransaction.h"

namespace vedalia::testing {
namespace {

class AccountCommands : public ShellFixture {
 protected:
  // A privileged (teacher) account made directly through the facade; its id.
  QString addTeacher(const QString& name, const QString& surname, const QString& password) {
    TDBTransaction facade;
    return facade.AddUser(name + ";Отчество;" + surname + ";1.1.1980;" + name + ";" + password +
                          ";А;true;true;8;1");
  }
  QString personal(const QString& relative) const { return base + "folders/" + relative; }
};

TEST_F(AccountCommands, RegistrationCreatesAccountFolderAndLogsIn) {
  EXPECT_EQ(send("addUser", "Иван;Петров;Б;secret;0"), QStringList{"registred=1"});
  EXPECT_TRUE(QFileInfo(personal("8Б/Петров Иван")).isDir());
  EXPECT_FALSE(QFile::exists(launcher("Петров Иван")));
  EXPECT_EQ(handler->CurrentUserId(), 1);
  EXPECT_EQ(handler->UserFolderName(), "8Б/Петров Иван");

  // The same pupil again is refused; a second pupil with the launcher flag gets both.
  EXPECT_EQ(send("addUser", "Иван;Петров;Б;other;0"), QStringList{"registred=false"});
  EXPECT_EQ(send("addUser", "Анна;Сидорова;Б;pw;1"), QStringList{"registred=2"});
  EXPECT_TRUE(QFileInfo(personal("8Б/Сидорова Анна")).isDir());
  EXPECT_TRUE(QFile::exists(launcher("Сидорова Анна")));
}

TEST_F(AccountCommands, RegistrationWhileAccountOneIsLoggedInKeepsThatLogin) {
  ASSERT_EQ(send("addUser", "Иван;Петров;Б;pw;0"), QStringList{"registred=1"});
  send("clearUserData");
  ASSERT_EQ(send("addUser", "Анна;Сидорова;В;pw;0"), QStringList{"registred=2"});
  EXPECT_EQ(handler->CurrentUserId(), 2);  // nobody logged in: the new account is
  ASSERT_EQ(send("addUser", "Олег;Орлов;Г;pw;0"), QStringList{"registred=3"});
  EXPECT_EQ(handler->CurrentUserId(), 3);  // anyone but account 1 is replaced
  EXPECT_EQ(handler->UserFolderName(), "8Г/Орлов Олег");

  ASSERT_EQ(send("validateUser", "1").size(), 1);
  ASSERT_EQ(handler->CurrentUserId(), 1);
  EXPECT_EQ(send("addUser", "Юрий;Юрьев;В;pw;0"), QStringList{"registred=4"});
  EXPECT_EQ(handler->CurrentUserId(), 1);
  EXPECT_EQ(handler->UserFolderName(), "8Б/Петров Иван");
}

TEST_F(AccountCommands, QuotesAndForeignCharactersAreDecodedBeforeUse) {
  EXPECT_EQ(send("addUser", "\"Иван\";Пет\"ров;Б;p\"w✓;0"), QStringList{"registred=1"});
  EXPECT_TRUE(QFileInfo(personal("8Б/Петров Иван")).isDir());
  // The password was stored narrowed: "pw?" logs in, the original form is narrowed the same way.
  EXPECT_EQ(send("validateUser", "Петров;Иван;Б;pw?").value(0).left(12), "validated=1;");
  EXPECT_EQ(send("validateUser", "Петров;Иван;Б;pw✗").value(0).left(12), "validated=1;");
  EXPECT_EQ(send("validateUser", "Петров;Иван;Б;pw"), QStringList{"validated=false"});
}

TEST_F(AccountCommands, NamesThatLeaveThePersonalFoldersAreRefused) {
  // Records missing a field (an empty shortcut flag included) are refused the same way.
  for (const QString& record :
       {QString("Иван;Сидоров;Б;pw;"), QString("Иван;Сидоров;Б;pw"), QString("x;y/../../z;Б;pw;1"),
        QString("Иван;../../x;Б;pw;0"), QString("Иван;Петров;/..;pw;0"),
        QString("Иван;a\\b;Б;pw;0"), QString("Иван;Петров;Б/x;pw;0"),
        // "Петров", 117 more letters and "x", a space and "Иван": 256 bytes, one more than a name.
        QString("Иван;Петров") + QString(117, QChar(u'я')) + "x;Б;pw;0"}) {
    EXPECT_EQ(send("addUser", record), QStringList{"registred=false"}) << record.toStdString();
  }
  EXPECT_EQ(send("getUsersData"), QStringList{"UsersData=nil"});  // no account was made
  EXPECT_TRUE(QDir(base + "folders").isEmpty());
  EXPECT_TRUE(QDir(dir.path() + "/desktop").isEmpty());
  EXPECT_EQ(handler->CurrentUserId(), 0);
}

TEST_F(AccountCommands, PersonalFolderIsTheOneTheAccountLeadsBackTo) {
  // The account keeps the first character of the class letter, and so does the folder; a name
  // of exactly one file name's 255 bytes is still taken.
  const QString longSurname = QStringLiteral("Петров") + QString(117, QChar(u'я'));
  ASSERT_EQ((longSurname + " Иван").toUtf8().size(), 255);
  struct Case {
    QString record, login, folder;
  };
  const Case cases[] = {
      {"Иван;Петров;АБВ;pw;0", "Петров;Иван;А;pw", "8А/Петров Иван"},
      {"Анна;Сидорова;Бx;pw;0", "Сидорова;Анна;Б;pw", "8Б/Сидорова Анна"},
      {"Иван;" + longSurname + ";В;pw;0", longSurname + ";Иван;В;pw",
       "8В/" + longSurname + " Иван"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.folder.toStdString());
    const QStringList made = send("addUser", c.record);
    ASSERT_EQ(made.size(), 1);
    ASSERT_TRUE(made[0].startsWith("registred=")) << made[0].toStdString();
    const QString id = made[0].mid(10);
    EXPECT_TRUE(QFileInfo(personal(c.folder)).isDir());
    send("clearUserData");
    ASSERT_TRUE(send("validateUser", c.login).value(0).startsWith("validated=" + id + ";"));
    EXPECT_EQ(handler->UserFolderName(), c.folder);
    EXPECT_EQ(send("deleteUser", id), QStringList{"UserDeleted=true"});
    // Nothing of the pupil is left below folders/: only the class folders themselves.
    QDirIterator left(base + "folders", QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System,
                      QDirIterator::Subdirectories);
    while (left.hasNext()) {
      const QFileInfo entry(left.next());
      EXPECT_TRUE(entry.isDir() && entry.dir() == QDir(base + "folders") &&
                  QDir(entry.filePath()).isEmpty())
          << entry.filePath().toStdString();
    }
  }
}

TEST_F(AccountCommands, StoredNamesThatLeaveThePersonalFoldersAreRefused) {
  // An account that came with the database, not through registration.
  {
    TDBTransaction facade;
    ASSERT_EQ(facade.AddUser("x;Отчество;../../etc;1.1.1990;x;pw;Б;true;true;8;0"), "1");
  }
  ASSERT_TRUE(QDir().mkpath(base + "etc"));
  EXPECT_EQ(send("validateUser", "../../etc;x;Б;pw"), QStringList{"validated=false"});
  EXPECT_EQ(handler->CurrentUserId(), 0);
  EXPECT_EQ(send("deleteUser", "1"), QStringList{"UserDeleted=false"});
  EXPECT_TRUE(QFileInfo(base + "etc").isDir());
  EXPECT_EQ(send("getUsersData"), QStringList{"UsersData=x,../../etc,Б,1"});
}

TEST_F(AccountCommands, ValidationSetsTheLoginStateByPrivilege) {
  ASSERT_EQ(send("addUser", "Иван;Петров;Б;pw;0"), QStringList{"registred=1"});
  ASSERT_EQ(addTeacher("Мария", "Учителева", "teach"), "2");
  send("clearUserData");
  ASSERT_EQ(handler->CurrentUserId(), 0);

  const QStringList pupil = send("validateUser", "Петров;Иван;Б;pw");
  ASSERT_EQ(pupil.size(), 1);
  EXPECT_TRUE(pupil[0].startsWith("validated=1;Иван;Батькович;Петров;1.1.2001;true;Иван;"));
  EXPECT_EQ(pupil[0].split(';').size(), 14);
  EXPECT_EQ(handler->UserFolderName(), "8Б/Петров Иван");

  // A privileged account has no class folder; it may sign in with any class letter.
  ASSERT_EQ(send("validateUser", "Учителева;Мария;Я;teach").value(0).left(12), "validated=2;");
  EXPECT_EQ(handler->CurrentUserId(), 2);
  EXPECT_EQ(handler->UserFolderName(), "Учителева Мария");

  // Failures leave the login as it was.
  EXPECT_EQ(send("validateUser", "Петров;Иван;Б;wrong"), QStringList{"validated=false"});
  EXPECT_EQ(send("validateUser", "77"), QStringList{"validated=false"});
  EXPECT_EQ(handler->CurrentUserId(), 2);
}

TEST_F(AccountCommands, UsersListAndLogout) {
  EXPECT_EQ(send("getUsersData"), QStringList{"UsersData=nil"});
  send("addUser", "Иван;Петров;Б;pw;0");
  send("addUser", "Анна;Сидорова;В;pw;0");
  EXPECT_EQ(send("getUsersData"), QStringList{"UsersData=Иван,Петров,Б,1;Анна,Сидорова,В,2"});
  EXPECT_TRUE(send("clearUserData").isEmpty());
  EXPECT_EQ(handler->CurrentUserId(), 0);
  EXPECT_TRUE(handler->UserFolderName().isEmpty());
}

TEST_F(AccountCommands, DeletionRemovesFolderAndLauncherButNotTheLogin) {
  ASSERT_EQ(send("addUser", "Иван;Петров;Б;pw;1"), QStringList{"registred=1"});
  QFile saved(personal("8Б/Петров Иван/report.html"));
  ASSERT_TRUE(saved.open(QIODevice::WriteOnly));
  saved.close();
  send("addUser", "Анна;Сидорова;Б;pw;0");
  ASSERT_EQ(send("validateUser", "1").size(), 1);

  EXPECT_EQ(send("deleteUser", "1"), QStringList{"UserDeleted=true"});
  EXPECT_FALSE(QFileInfo::exists(personal("8Б/Петров Иван")));
  EXPECT_TRUE(QFileInfo(personal("8Б/Сидорова Анна")).isDir());
  EXPECT_FALSE(QFile::exists(launcher("Петров Иван")));
  EXPECT_EQ(handler->CurrentUserId(), 1);
  EXPECT_EQ(handler->UserFolderName(), "8Б/Петров Иван");
  EXPECT_EQ(send("getUsersData"), QStringList{"UsersData=Анна,Сидорова,Б,2"});

  // A privileged account's folder, which has no class level, goes as well.
  const QString teacher = addTeacher("Мария", "Учителева", "teach");
  ASSERT_TRUE(QDir().mkpath(personal("Учителева Мария/work")));
  EXPECT_EQ(send("deleteUser", teacher), QStringList{"UserDeleted=true"});
  EXPECT_FALSE(QFileInfo::exists(personal("Учителева Мария")));
  EXPECT_TRUE(QFileInfo(personal("8Б/Сидорова Анна")).isDir());

  // An id that is no number makes the facade raise: no reply at all.
  EXPECT_TRUE(send("deleteUser", "x").isEmpty());
}

TEST_F(AccountCommands, PasswordChange) {
  send("addUser", "Иван;Петров;Б;old;0");
  EXPECT_TRUE(send("setPassword", "1;new").isEmpty());
  EXPECT_EQ(send("validateUser", "Петров;Иван;Б;old"), QStringList{"validated=false"});
  EXPECT_EQ(send("validateUser", "Петров;Иван;Б;new").value(0).left(12), "validated=1;");
}

TEST_F(AccountCommands, WithoutDatabaseEveryDatabaseCommandAnswersNetyBasi) {
  send("addUser", "Иван;Петров;Б;pw;0");
  handler = makeHandler(false);
  storesOpened = 0;
  EXPECT_EQ(send("addUser", "Анна;Сидорова;Б;pw;0"), QStringList{"registred=nety_basi"});
  EXPECT_EQ(send("validateUser", "Петров;Иван;Б;pw"), QStringList{"validated=nety_basi"});
  EXPECT_EQ(send("getUsersData"), QStringList{"UsersData=nety_basi"});
  EXPECT_EQ(send("deleteUser", "1"), QStringList{"UserDeleted=nety_basi"});
  EXPECT_TRUE(send("setPassword", "1;new").isEmpty());
  EXPECT_TRUE(send("clearUserData").isEmpty());
  EXPECT_EQ(storesOpened, 0);
  EXPECT_EQ(handler->CurrentUserId(), 0);

  // Nothing reached the database: the old password still works.
  handler = makeHandler(true);
  EXPECT_EQ(send("validateUser", "Петров;Иван;Б;pw").value(0).left(12), "validated=1;");
  EXPECT_FALSE(QFileInfo::exists(personal("8Б/Сидорова Анна")));
}

TEST_F(AccountCommands, ClearUserDataWithoutDatabaseKeepsTheLogin) {
  send("addUser", "Иван;Петров;Б;pw;0");
  handler->SetDatabaseAvailable(false);
  EXPECT_TRUE(send("clearUserData").isEmpty());
  EXPECT_EQ(handler->CurrentUserId(), 1);
}

TEST_F(AccountCommands, EveryEventOpensTheDatabaseOnceUsedOrNot) {
  storesOpened = 0;
  EXPECT_TRUE(send("noSuchCommand", "1;2").isEmpty());
  EXPECT_TRUE(send("AskLogin").isEmpty());  // words match case-sensitively
  send("askLogin");
  EXPECT_EQ(storesOpened, 3);
}

TEST_F(AccountCommands, VanishedDatabaseEndsEventsSilently) {
  send("addUser", "Иван;Петров;Б;pw;0");
  ASSERT_TRUE(QFile::remove(DatabaseFilePath()));
  EXPECT_TRUE(send("validateUser", "1").isEmpty());
  EXPECT_TRUE(send("clearUserData").isEmpty());
  // A command that does not need the database still runs.
  EXPECT_EQ(send("askLogin"), QStringList{"askedLogin = nil"});
  EXPECT_EQ(handler->CurrentUserId(), 1);
  EXPECT_EQ(handler->UserFolderName(), "8Б/Петров Иван");
}

TEST_F(AccountCommands, MissingFieldsEndTheCommandWithoutReply) {
  EXPECT_TRUE(send("addUser", "Иван;Петров;Б").isEmpty());
  EXPECT_TRUE(send("addUser", "").isEmpty());
  EXPECT_EQ(send("getUsersData"), QStringList{"UsersData=nil"});
  EXPECT_TRUE(send("setPassword", "1").isEmpty());
  EXPECT_EQ(send("validateUser", "a;b"), QStringList{"validated=false"});
}

TEST_F(AccountCommands, DebugShowsTheDecodedText) {
  EXPECT_TRUE(send("debug", "say \"hi\" ☃").isEmpty());
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].kind, MessageKind::Plain);
  EXPECT_EQ(messages.shown[0].text, "say hi ?");
}

}  // namespace
}  // namespace vedalia::testing
