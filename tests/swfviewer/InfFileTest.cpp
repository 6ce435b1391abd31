#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QWidget>

#include "common/FakeServices.h"
#include "viewers/SaveAndLoadInf.h"

using namespace vedalia;
using namespace vedalia::test;

namespace {

QByteArray ReadBytes(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return "<missing>";
  return f.readAll();
}

void WriteBytes(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(bytes);
}

}  // namespace

TEST(FlashDataFile, WritesExactlyTheBytesAndReadsThemBack) {
  QTemporaryDir dir;
  const QString path = dir.filePath("work.fld");
  ASSERT_TRUE(SaveInfFile(path, "abc"));
  EXPECT_EQ(ReadBytes(path), QByteArray("\x61\x62\x63"));
  EXPECT_EQ(LoadInfFile(path), QByteArray("abc"));

  // A shorter text replaces a longer one completely.
  ASSERT_TRUE(SaveInfFile(path, "z"));
  EXPECT_EQ(ReadBytes(path), QByteArray("z"));

  // An empty text leaves an empty file, and reading it gives nothing.
  ASSERT_TRUE(SaveInfFile(path, QByteArray()));
  EXPECT_TRUE(QFile::exists(path));
  EXPECT_EQ(QFileInfo(path).size(), 0);
  EXPECT_TRUE(LoadInfFile(path).isEmpty());

  // All byte values survive, zero bytes and line ends included.
  QByteArray all;
  for (int b = 0; b < 256; ++b) all.append(static_cast<char>(b));
  ASSERT_TRUE(SaveInfFile(path, all));
  EXPECT_EQ(LoadInfFile(path), all);
}

TEST(FlashDataFile, FailuresAreResultsNotErrors) {
  QTemporaryDir dir;
  EXPECT_FALSE(SaveInfFile(dir.filePath("no/such/folder/x.fld"), "abc"));
  EXPECT_FALSE(SaveInfFile(dir.path(), "abc"));  // a folder, not a file
  EXPECT_TRUE(LoadInfFile(dir.filePath("missing.fld")).isEmpty());
  EXPECT_TRUE(LoadInfFile(dir.path()).isEmpty());
}

TEST(FlashDataFile, ExtensionRule) {
  EXPECT_EQ(FlashDataTarget("/p/work"), "/p/work.fld");
  EXPECT_EQ(FlashDataTarget("/p/work.fld"), "/p/work.fld");
  // Capital letters are not the extension.
  EXPECT_EQ(FlashDataTarget("/p/work.FLD"), "/p/work.FLD.fld");
  EXPECT_EQ(FlashDataTarget("/p/work.fld.bak"), "/p/work.fld.bak.fld");
  EXPECT_EQ(FlashDataTarget("/p/work.txt"), "/p/work.txt.fld");
  // A dot in a folder name is no extension of the file either.
  EXPECT_EQ(FlashDataTarget("/p/v1.fld/work"), "/p/v1.fld/work.fld");
}

class FlashDataCommands : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dir.isValid()); }
  TReplySink Sink() {
    return [this](const QString& r) { replies << r; };
  }
  ScopedFakeServices services;
  QTemporaryDir dir;
  QWidget owner;
  QStringList replies;
};

TEST_F(FlashDataCommands, SaveThenLoadRoundTripsCyrillicText) {
  const QString text = QStringLiteral("Ответ: Москва, 1147 год; «ё»");
  services.dialogs.answers = {dir.filePath("work")};
  SaveInfCommand(&owner, dir.path(), text, Sink());
  EXPECT_EQ(replies, QStringList{"SaveFlashData=1"});
  // One byte per letter, in Windows-1251.
  const QByteArray stored = ReadBytes(dir.filePath("work.fld"));
  EXPECT_EQ(stored.size(), text.size());
  EXPECT_EQ(stored.left(5), QByteArray("\xCE\xF2\xE2\xE5\xF2"));

  replies.clear();
  services.dialogs.answers = {dir.filePath("work.fld")};
  LoadInfCommand(&owner, dir.path(), Sink());
  EXPECT_EQ(replies, QStringList{"LoadFlashData=" + text});

  // The dialogs belong to the window, open in the given folder, show only data files.
  ASSERT_EQ(services.dialogs.opened.size(), 2u);
  for (const RecordedDialog& d : services.dialogs.opened) {
    EXPECT_EQ(d.parent, &owner);
    EXPECT_EQ(d.initialDir, dir.path());
    EXPECT_EQ(d.filter, "Flash Data file (*.fld)");
    EXPECT_TRUE(d.initialName.isEmpty());
  }
  EXPECT_TRUE(services.dialogs.opened[0].save);
  EXPECT_FALSE(services.dialogs.opened[1].save);
  EXPECT_TRUE(services.messages.shown.empty());
}

TEST_F(FlashDataCommands, TextIsPassedUnescapedAndForeignLettersBecomeQuestionMarks) {
  services.dialogs.answers = {dir.filePath("a.fld"), dir.filePath("a.fld")};
  SaveInfCommand(&owner, dir.path(), QStringLiteral("x=1&y=2|中\n"), Sink());
  LoadInfCommand(&owner, dir.path(), Sink());
  EXPECT_EQ(replies, (QStringList{"SaveFlashData=1", "LoadFlashData=x=1&y=2|?\n"}));
}

TEST_F(FlashDataCommands, CapitalExtensionGetsTheRealOneAppended) {
  WriteBytes(dir.filePath("old.FLD"), "untouched");
  services.dialogs.answers = {dir.filePath("old.FLD")};
  SaveInfCommand(&owner, dir.path(), "data", Sink());
  EXPECT_EQ(ReadBytes(dir.filePath("old.FLD")), QByteArray("untouched"));
  EXPECT_EQ(ReadBytes(dir.filePath("old.FLD.fld")), QByteArray("data"));
}

TEST_F(FlashDataCommands, CancelAndFailurePaths) {
  // Save cancelled: still the reply, no file.
  SaveInfCommand(&owner, dir.path(), "data", Sink());
  EXPECT_EQ(replies, QStringList{"SaveFlashData=1"});
  EXPECT_TRUE(QDir(dir.path()).isEmpty());

  // Unwritable choice: nothing shown, still the reply.
  replies.clear();
  services.dialogs.answers = {dir.filePath("gone/x")};
  SaveInfCommand(&owner, dir.path(), "data", Sink());
  EXPECT_EQ(replies, QStringList{"SaveFlashData=1"});

  // Load cancelled: no reply at all.
  replies.clear();
  LoadInfCommand(&owner, dir.path(), Sink());
  EXPECT_TRUE(replies.isEmpty());

  // Unreadable choice: an empty text.
  services.dialogs.answers = {dir.filePath("missing.fld")};
  LoadInfCommand(&owner, dir.path(), Sink());
  EXPECT_EQ(replies, QStringList{"LoadFlashData="});
  EXPECT_TRUE(services.messages.shown.empty());
}

TEST_F(FlashDataCommands, SaveAndLoadRepliesOnlyForChosenHalves) {
  WriteBytes(dir.filePath("prev.fld"), "\xEF\xF0\xE5\xE6\xED\xE5\xE5");  // "прежнее"

  // Both halves chosen: both replies, in order; the second dialog reads what the first wrote.
  services.dialogs.answers = {dir.filePath("new"), dir.filePath("new.fld")};
  SaveAndLoadInfCommand(&owner, dir.path(), QStringLiteral("новое"), Sink());
  EXPECT_EQ(replies, (QStringList{"SaveFlashData=1", QStringLiteral("LoadFlashData=новое")}));

  // Save cancelled: no save reply, the load still runs.
  replies.clear();
  services.dialogs.answers = {QString(), dir.filePath("prev.fld")};
  SaveAndLoadInfCommand(&owner, dir.path(), "ignored", Sink());
  EXPECT_EQ(replies, QStringList{QStringLiteral("LoadFlashData=прежнее")});

  // Both cancelled: silence, but two dialogs were shown.
  replies.clear();
  services.dialogs.opened.clear();
  SaveAndLoadInfCommand(&owner, dir.path(), "ignored", Sink());
  EXPECT_TRUE(replies.isEmpty());
  ASSERT_EQ(services.dialogs.opened.size(), 2u);
  EXPECT_TRUE(services.dialogs.opened[0].save);
  EXPECT_FALSE(services.dialogs.opened[1].save);
}
