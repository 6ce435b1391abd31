// Pupils' data under faults: the disk full or read-only while a result is committed or a
// copy is written, the database file removed or replaced while the shell runs, a read-only
// settings file. Each time the command takes its failure path, no file is left half written,
// and the next command works again once the fault is gone.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "FaultFiles.h"
#include "FileSizeLimit.h"
#include "Mounts.h"
#include "common/FakeMainWindow.h"
#include "common/FakeMessages.h"
#include "desktop/uDesktop.h"
#include "desktop/uServices.h"
#include "misc/uMisc.h"
#include "shell/uCommandHandler.h"
#include "store/SealedFile.h"
#include "store/StoreErrors.h"
#include "store/uDBTransaction.h"
#include "store/uTables.h"

namespace vedalia::test {
namespace {

bool WriteAll(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

// Fills the file system of `dir` until a write fails.
void FillUp(const QString& dir) {
  QFile f(dir + "/filler");
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  const QByteArray block(4096, 'x');
  while (f.write(block) == block.size() && f.flush()) {
  }
  // Smaller pieces into what the blocks left over.
  while (f.write("x", 1) == 1 && f.flush()) {
  }
}

class Faults : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    base = dir.path() + "/course/";
    ASSERT_TRUE(QDir().mkpath(base + "database"));
    ASSERT_TRUE(QDir().mkpath(base + "folders"));
    ASSERT_TRUE(QDir().mkpath(dir.path() + "/desktop"));
    SetBaseDir(base);
    SetContentDir(base);
    previousLookup = SetSpecialFolderLookup(
        [this](int location) { return location == 0 ? dir.path() + "/desktop" : QString(); });
    Services services;
    services.messages = &messages;
    previousServices = SetAppServices(services);
    settingsPath = dir.path() + "/settings/vedalia.ini";
    ASSERT_TRUE(QDir().mkpath(dir.path() + "/settings"));
  }
  void TearDown() override {
    handler.reset();
    SetAppServices(previousServices);
    SetSpecialFolderLookup(previousLookup);
    SetBaseDir(QString());
    SetContentDir(QString());
  }

  void StartShell() {
    CreateDatabaseFile(DatabaseFilePath(), sealed::kTestKdfCost);
    TMainCommandHandler::Setup setup;
    setup.replies = &window;
    setup.mainWindow = &window;
    setup.openStore = [] { return OpenCourseStore(); };
    setup.databaseAvailable = true;
    setup.settingsPath = settingsPath;
    handler = std::make_unique<TMainCommandHandler>(std::move(setup));
  }
  QStringList Send(const QString& command, const QString& args = QString()) {
    const qsizetype before = window.replies.size();
    handler->ShPlayerFSCommand(command, args);
    return window.replies.mid(before);
  }
  QString Register(const QString& name, const QString& surname) {
    const QStringList r = Send("addUser", name + ";" + surname + ";А;pw;0");
    return r.size() == 1 ? r.front() : QString();
  }
  QString UsersList() {
    const QStringList r = Send("getUsersData");
    return r.size() == 1 ? r.front() : QString();
  }

  // A registration and a test result refused while the fault lasts: the file as it was, nothing
  // beside it but the file and its lock, no folder for the refused pupil.
  void ExpectCommitRefused() {
    const QString databaseDir = base + "database";
    const QByteArray before = ReadAll(DatabaseFilePath());
    const QStringList entries = Entries(databaseDir);
    // Refused either when the database is opened (no reply) or when it is written ("false").
    const QStringList reply = Send("addUser", "Олег;Смирнов;А;pw;0");
    EXPECT_TRUE(reply.isEmpty() || reply == QStringList{"registred=false"})
        << reply.join(',').toStdString();
    QString answer = "not opened";
    try {
      TDBTransaction t;
      answer = t.AddTestResult("1;2;3;75;1;extra");
    } catch (const EngineError&) {
    }
    EXPECT_TRUE(answer == "not opened" || answer == "false") << answer.toStdString();
    EXPECT_EQ(ReadAll(DatabaseFilePath()), before);
    EXPECT_EQ(Entries(databaseDir), entries);
    EXPECT_FALSE(QFileInfo::exists(base + "folders/8А/Смирнов Олег"));
  }
  void ExpectWorkingAgain() {
    EXPECT_EQ(Register("Нина", "Кузнецова"), "registred=2");
    const QString users = UsersList();
    EXPECT_TRUE(users.contains("Кузнецова"));
    EXPECT_FALSE(users.contains("Смирнов")) << users.toStdString();
    TDBTransaction t;
    EXPECT_EQ(t.AddTestResult("1;2;3;75;1;extra"), QString());
    EXPECT_NE(t.GetUserResults("1"), "nil");
  }

  QTemporaryDir dir;
  QString base, settingsPath;
  FakeMessages messages;
  FakeMainWindow window;
  std::unique_ptr<TMainCommandHandler> handler;
  Services previousServices;
  SpecialFolderLookup previousLookup;
};

TEST_F(Faults, CommitOnAFullDisk) {
  if (!Mount::Available()) GTEST_SKIP() << "this machine does not let the test mount a tmpfs";
  Mount disk = Mount::Tmpfs(base + "database", 256);
  ASSERT_TRUE(disk.Ok());
  StartShell();
  ASSERT_EQ(Register("Пётр", "Петров"), "registred=1");
  FillUp(base + "database");
  ExpectCommitRefused();
  ASSERT_TRUE(QFile::remove(base + "database/filler"));
  ExpectWorkingAgain();
}

TEST_F(Faults, CommitWhenWritesFailPastASize) {
  StartShell();
  ASSERT_EQ(Register("Пётр", "Петров"), "registred=1");
  {
    // A commit appends whole pages to the log: no file may grow past one page.
    FileSizeLimit limit(rlim_t(4096));
    ExpectCommitRefused();
  }
  ExpectWorkingAgain();
}

TEST_F(Faults, CommitOnAReadOnlyDisk) {
  if (!Mount::Available()) GTEST_SKIP() << "this machine does not let the test mount";
  StartShell();
  ASSERT_EQ(Register("Пётр", "Петров"), "registred=1");
  {
    Mount readOnly = Mount::ReadOnly(base + "database");
    ASSERT_TRUE(readOnly.Ok());
    ExpectCommitRefused();
    // Reading fails as well (the lock needs a writable folder): the list is not answered,
    // and the shell goes on.
    EXPECT_TRUE(Send("getUsersData").isEmpty() || UsersList().contains("Петров"));
  }
  ExpectWorkingAgain();
}

// A companion copy into the pupil's folder that does not fit, and one into a folder that
// cannot be written: refused, no partial copy, an older copy of the same name kept.
class CopyFaults : public Faults {
 protected:
  void SetUp() override {
    Faults::SetUp();
    source = dir.path() + "/content/data/photo/";
    ASSERT_TRUE(QDir().mkpath(source));
    ASSERT_TRUE(WriteAll(source + "birch.swf", "movie"));
    big = QByteArray(300 * 1024, 'd');
    ASSERT_TRUE(WriteAll(source + "birch.doc", big));
    pupil = base + "folders/8А/Петров Пётр/";
    ASSERT_TRUE(QDir().mkpath(pupil));
    ASSERT_TRUE(WriteAll(pupil + "kept.doc", "an older copy"));
  }
  void ExpectCopiesRefused() {
    EXPECT_FALSE(SaveToPersonalFolder(source, "birch.swf", "new", "8А/Петров Пётр", "doc"));
    EXPECT_FALSE(SaveToPersonalFolder(source, "birch.swf", "kept", "8А/Петров Пётр", "doc"));
    EXPECT_FALSE(SaveCopyAs(source, "birch.swf", pupil + "chosen.doc", "doc"));
    EXPECT_EQ(ReadAll(pupil + "kept.doc"), "an older copy");
    QStringList left = Entries(pupil);
    left.removeAll("filler");
    EXPECT_EQ(left, QStringList{"kept.doc"});
  }
  QString source, pupil;
  QByteArray big;
};

TEST_F(CopyFaults, OnAFullDisk) {
  if (!Mount::Available()) GTEST_SKIP() << "this machine does not let the test mount a tmpfs";
  {
    Mount disk = Mount::Tmpfs(pupil, 64);
    ASSERT_TRUE(disk.Ok());
    ASSERT_TRUE(WriteAll(pupil + "kept.doc", "an older copy"));
    ExpectCopiesRefused();
  }
  EXPECT_TRUE(SaveToPersonalFolder(source, "birch.swf", "new", "8А/Петров Пётр", "doc"));
  EXPECT_EQ(ReadAll(pupil + "new.doc"), big);
}

TEST_F(CopyFaults, WhenWritesFailPastASize) {
  {
    FileSizeLimit limit(64 * 1024);
    ExpectCopiesRefused();
  }
  EXPECT_TRUE(SaveCopyAs(source, "birch.swf", pupil + "chosen.doc", "doc"));
  EXPECT_EQ(ReadAll(pupil + "chosen.doc"), big);
}

TEST_F(CopyFaults, SmallCopyWhenWritesFailPastASize) {
  // Small enough to sit in a write buffer until the copy is committed.
  ASSERT_TRUE(WriteAll(source + "birch.txt", QByteArray(2000, 't')));
  ASSERT_TRUE(WriteAll(pupil + "kept.txt", "an older copy"));
  {
    FileSizeLimit limit(1000);
    EXPECT_FALSE(SaveToPersonalFolder(source, "birch.swf", "kept", "8А/Петров Пётр", "txt"));
    EXPECT_FALSE(SaveCopyAs(source, "birch.swf", pupil + "chosen.txt", "txt"));
  }
  EXPECT_EQ(ReadAll(pupil + "kept.txt"), "an older copy");
  EXPECT_FALSE(QFile::exists(pupil + "chosen.txt"));
  EXPECT_EQ(Entries(pupil), (QStringList{"kept.doc", "kept.txt"}));
}

TEST_F(CopyFaults, OnAReadOnlyDisk) {
  if (!Mount::Available()) GTEST_SKIP() << "this machine does not let the test mount";
  Mount readOnly = Mount::ReadOnly(pupil);
  ASSERT_TRUE(readOnly.Ok());
  ExpectCopiesRefused();
}

TEST_F(Faults, DatabaseRemovedWhileRunning) {
  StartShell();
  ASSERT_EQ(Register("Пётр", "Петров"), "registred=1");
  const QByteArray saved = ReadAll(DatabaseFilePath());
  ASSERT_TRUE(QFile::remove(DatabaseFilePath()));
  // Commands end without an answer; no empty database appears in the missing one's place.
  EXPECT_TRUE(Send("addUser", "Олег;Смирнов;А;pw;0").isEmpty());
  EXPECT_TRUE(Send("getUsersData").isEmpty());
  EXPECT_TRUE(Send("validateUser", "Петров;Пётр;А;pw").isEmpty());
  EXPECT_FALSE(QFile::exists(DatabaseFilePath()));
  EXPECT_FALSE(QFileInfo::exists(base + "folders/8А/Смирнов Олег"));
  // Put back, it serves again.
  ASSERT_TRUE(WriteAll(DatabaseFilePath(), saved));
  EXPECT_TRUE(UsersList().contains("Петров"));
}

TEST_F(Faults, DatabaseReplacedWhileRunning) {
  StartShell();
  ASSERT_EQ(Register("Пётр", "Петров"), "registred=1");
  const QByteArray older = ReadAll(DatabaseFilePath());
  ASSERT_EQ(Register("Анна", "Орлова"), "registred=2");

  // Something else entirely: refused, and left as it is.
  ASSERT_TRUE(WriteAll(DatabaseFilePath(), "not a database at all"));
  EXPECT_TRUE(Send("addUser", "Олег;Смирнов;А;pw;0").isEmpty());
  EXPECT_TRUE(Send("getUsersData").isEmpty());
  EXPECT_EQ(ReadAll(DatabaseFilePath()), "not a database at all");

  // An older copy put back (a restored backup): its accounts are what the shell sees now.
  ASSERT_TRUE(WriteAll(DatabaseFilePath(), older));
  const QString users = UsersList();
  EXPECT_TRUE(users.contains("Петров"));
  EXPECT_FALSE(users.contains("Орлова")) << users.toStdString();
  EXPECT_EQ(Register("Нина", "Кузнецова"), "registred=2");
}

class SettingsFaults : public Faults {
 protected:
  void SetUp() override {
    Faults::SetUp();
    StartShell();
    Send("app_exit", "Петров;Пётр;А;pw");
    ASSERT_EQ(window.closed, 1);
    saved = ReadAll(settingsPath);
    ASSERT_FALSE(saved.isEmpty());
  }
  // Leaving with other log-in values: the window closes, the file stays as it was, nothing
  // is left beside it, and the remembered log-in still reads back.
  void ExpectExitWithoutWriting() {
    Send("app_exit", "Орлова;Анна;Б;pw2");
    EXPECT_EQ(window.closed, 2);
    EXPECT_EQ(ReadAll(settingsPath), saved);
    EXPECT_EQ(Entries(dir.path() + "/settings"), QStringList{"vedalia.ini"});
    EXPECT_EQ(Send("askLogin"), QStringList{"askedLogin=Петров;Пётр;А;pw"});
  }
  QByteArray saved;
};

TEST_F(SettingsFaults, ReadOnlyFile) {
  ASSERT_TRUE(QFile::setPermissions(
      settingsPath, QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther));
  ExpectExitWithoutWriting();
  Send("app_exit", "0");
  EXPECT_EQ(ReadAll(settingsPath), saved);
}

TEST_F(SettingsFaults, ReadOnlyDisk) {
  if (!Mount::Available()) GTEST_SKIP() << "this machine does not let the test mount";
  Mount readOnly = Mount::ReadOnly(dir.path() + "/settings");
  ASSERT_TRUE(readOnly.Ok());
  ExpectExitWithoutWriting();
}

TEST_F(SettingsFaults, WritesFailPastASize) {
  {
    FileSizeLimit limit(16);
    ExpectExitWithoutWriting();
  }
  Send("app_exit", "Орлова;Анна;Б;pw2");
  EXPECT_EQ(Send("askLogin"), QStringList{"askedLogin=Орлова;Анна;Б;pw2"});
}

}  // namespace
}  // namespace vedalia::test
