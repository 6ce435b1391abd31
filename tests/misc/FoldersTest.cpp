#include <gtest/gtest.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "misc/uMisc.h"

namespace vedalia {
namespace {

void WriteFile(const QString& path, const QByteArray& bytes = "x") {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
  file.write(bytes);
}

class FolderTreeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(temp.isValid());
    base = temp.path() + "/base/";
    ASSERT_TRUE(QDir().mkpath(base + "folders"));
    ASSERT_TRUE(QDir().mkpath(temp.path() + "/outside"));
    WriteFile(temp.path() + "/outside/keep.txt");
    SetBaseDir(base);
  }
  void TearDown() override { SetBaseDir(QString()); }

  QString Folders() const { return base + "folders/"; }

  QTemporaryDir temp;
  QString base;
};

TEST_F(FolderTreeTest, ForceFolderPathCreatesEachLevelOnce) {
  EXPECT_TRUE(ForceFolderPath(Folders(), "8А/Иванов Иван"));
  EXPECT_TRUE(QFileInfo(Folders() + "8А/Иванов Иван").isDir());
  WriteFile(Folders() + "8А/Иванов Иван/work.doc");
  // Again: nothing changes, the contents stay.
  EXPECT_TRUE(ForceFolderPath(Folders(), "8А/Иванов Иван"));
  EXPECT_TRUE(QFileInfo::exists(Folders() + "8А/Иванов Иван/work.doc"));
  // The movie's own separator works the same way.
  EXPECT_TRUE(ForceFolderPath(Folders(), "Избранное\\Уроки\\"));
  EXPECT_TRUE(QFileInfo(Folders() + "Избранное/Уроки").isDir());
}

TEST_F(FolderTreeTest, ForceFolderPathNeverCreatesTheRoot) {
  EXPECT_FALSE(ForceFolderPath(base + "missing/", "a/b"));
  EXPECT_FALSE(QFileInfo::exists(base + "missing"));
}

TEST_F(FolderTreeTest, ForceFolderPathStaysInsideItsRoot) {
  EXPECT_FALSE(ForceFolderPath(Folders(), "8А/../../escaped"));
  EXPECT_FALSE(QFileInfo::exists(base + "escaped"));
  EXPECT_FALSE(QFileInfo::exists(Folders() + "8А"));  // refused before anything was made
  EXPECT_FALSE(ForceFolderPath(Folders(), "..\\evil"));
  EXPECT_FALSE(QFileInfo::exists(base + "evil"));
  // A leading separator does not make the path absolute.
  EXPECT_TRUE(ForceFolderPath(Folders(), "/abs"));
  EXPECT_TRUE(QFileInfo(Folders() + "abs").isDir());
  // A level that links out of the root is not followed.
  ASSERT_TRUE(QFile::link(temp.path() + "/outside", Folders() + "link"));
  EXPECT_FALSE(ForceFolderPath(Folders(), "link/inner"));
  EXPECT_FALSE(QFileInfo::exists(temp.path() + "/outside/inner"));
}

TEST_F(FolderTreeTest, DeleteFolderTreeRemovesNestedReadOnlyAndHiddenEntries) {
  const QString person = Folders() + "8А/Иванов Иван";
  ASSERT_TRUE(QDir().mkpath(person + "/Избранное/deep"));
  WriteFile(person + "/.hidden");
  WriteFile(person + "/Избранное/deep/ro.doc");
  QFile::setPermissions(person + "/Избранное/deep/ro.doc", QFileDevice::ReadOwner);
  QFile::setPermissions(person + "/Избранное/deep", QFileDevice::ReadOwner | QFileDevice::ExeOwner);
  QFile::setPermissions(person, QFileDevice::ReadOwner | QFileDevice::ExeOwner);

  EXPECT_TRUE(DeleteFolderTree(person));
  EXPECT_FALSE(QFileInfo::exists(person));
  EXPECT_TRUE(QFileInfo(Folders() + "8А").isDir());
}

TEST_F(FolderTreeTest, DeleteFolderTreeOnMissingFolderOrFileDoesNothing) {
  EXPECT_TRUE(DeleteFolderTree(Folders() + "8Б/Никого Нет"));
  WriteFile(Folders() + "plain.txt");
  EXPECT_TRUE(DeleteFolderTree(Folders() + "plain.txt"));
  EXPECT_TRUE(QFileInfo::exists(Folders() + "plain.txt"));
}

TEST_F(FolderTreeTest, DeleteFolderTreeRefusesEverythingOutsideThePersonalFolders) {
  ASSERT_TRUE(QDir().mkpath(base + "database"));
  WriteFile(base + "database/lorevia_db.adb");
  ASSERT_TRUE(QDir().mkpath(Folders() + "8А"));

  EXPECT_FALSE(DeleteFolderTree(base + "database"));
  EXPECT_FALSE(DeleteFolderTree(Folders() + "8А/../../database"));
  EXPECT_FALSE(DeleteFolderTree(Folders()));
  EXPECT_FALSE(DeleteFolderTree(Folders() + "."));
  EXPECT_FALSE(DeleteFolderTree(base));
  EXPECT_FALSE(DeleteFolderTree(temp.path() + "/outside"));
  EXPECT_FALSE(DeleteFolderTree(base + "folders_other"));
  EXPECT_FALSE(DeleteFolderTree(""));
  EXPECT_TRUE(QFileInfo::exists(base + "database/lorevia_db.adb"));
  EXPECT_TRUE(QFileInfo::exists(temp.path() + "/outside/keep.txt"));
  EXPECT_TRUE(QFileInfo(Folders() + "8А").isDir());

  SetBaseDir(QString());
  EXPECT_FALSE(DeleteFolderTree(Folders() + "8А"));
  EXPECT_TRUE(QFileInfo(Folders() + "8А").isDir());
}

TEST_F(FolderTreeTest, DeleteFolderTreeNeverFollowsLinksOut) {
  // A link inside a pupil's folder: the link goes, its target stays.
  const QString person = Folders() + "8А/Петров Пётр";
  ASSERT_TRUE(QDir().mkpath(person));
  ASSERT_TRUE(QFile::link(temp.path() + "/outside", person + "/link"));
  EXPECT_TRUE(DeleteFolderTree(person));
  EXPECT_FALSE(QFileInfo::exists(person));
  EXPECT_TRUE(QFileInfo::exists(temp.path() + "/outside/keep.txt"));

  // A class folder that is a link out of the tree: what lies behind it is refused.
  ASSERT_TRUE(QDir().mkpath(temp.path() + "/outside/victim"));
  WriteFile(temp.path() + "/outside/victim/data");
  ASSERT_TRUE(QFile::link(temp.path() + "/outside", Folders() + "8В"));
  EXPECT_FALSE(DeleteFolderTree(Folders() + "8В/victim"));
  EXPECT_TRUE(QFileInfo::exists(temp.path() + "/outside/victim/data"));

  // The path itself a link: only the link is removed.
  EXPECT_TRUE(DeleteFolderTree(Folders() + "8В"));
  EXPECT_FALSE(QFileInfo(Folders() + "8В").isSymLink());
  EXPECT_TRUE(QFileInfo::exists(temp.path() + "/outside/victim/data"));
}

TEST_F(FolderTreeTest, DeleteFolderTreeReportsAFolderItCannotRemove) {
  if (geteuid() == 0) GTEST_SKIP() << "permissions do not bind the superuser";
  const QString person = Folders() + "8А/Сидоров Семён";
  ASSERT_TRUE(QDir().mkpath(person));
  WriteFile(person + "/work.doc");
  // The class folder is read-only, so the person's folder cannot be unlinked from it.
  QFile::setPermissions(Folders() + "8А", QFileDevice::ReadOwner | QFileDevice::ExeOwner);
  EXPECT_FALSE(DeleteFolderTree(person));
  QFile::setPermissions(Folders() + "8А",
                        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

}  // namespace
}  // namespace vedalia
