#include <gtest/gtest.h>

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QTemporaryDir>

#include "media/uDecryptor.h"
#include "misc/uMisc.h"

namespace vedalia {
namespace {

QByteArray SmallJpeg() {
  QImage image(8, 8, QImage::Format_RGB32);
  image.fill(Qt::darkGreen);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "JPG");
  return bytes;
}

QByteArray ReadAll(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void WriteFile(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
  file.write(bytes);
}

class ContentCopyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(temp.isValid());
    jpeg = SmallJpeg();
    ASSERT_TRUE(TDecryptor::IsJpegImage(jpeg));
    base = temp.path() + "/base/";
    content = temp.path() + "/content/data/photo";
    ASSERT_TRUE(QDir().mkpath(base + "folders"));
    ASSERT_TRUE(QDir().mkpath(content));
    // The item is a movie; its companion picture lies beside it, scrambled.
    WriteFile(content + "/birch.swf", "not used");
    WriteFile(content + "/birch.jpg",
              TDecryptor::Unscrambled(jpeg, QByteArray(1, TDecryptor::kDefaultKey)));
    WriteFile(content + "/birch.doc", "plain document");
    SetBaseDir(base);
  }
  void TearDown() override { SetBaseDir(QString()); }

  QTemporaryDir temp;
  QByteArray jpeg;
  QString base, content;
};

TEST_F(ContentCopyTest, PersonalCopyIsPlainAndCreatesTheFolder) {
  EXPECT_TRUE(
      SaveToPersonalFolder(content, "birch.swf", "Фотография_Берёза", "8А/Иванов Иван", "jpg"));
  EXPECT_EQ(ReadAll(base + "folders/8А/Иванов Иван/Фотография_Берёза.jpg"), jpeg);
  // The companion with another extension; the source folder given with a trailing slash.
  EXPECT_TRUE(SaveToPersonalFolder(content + "/", "birch.swf", "Берёза", "8А/Иванов Иван", "doc"));
  EXPECT_EQ(ReadAll(base + "folders/8А/Иванов Иван/Берёза.doc"), "plain document");
}

TEST_F(ContentCopyTest, PersonalCopyFailsWithoutSource) {
  EXPECT_FALSE(SaveToPersonalFolder(content, "oak.swf", "Дуб", "8А/Иванов Иван", "jpg"));
  EXPECT_FALSE(QFileInfo::exists(base + "folders/8А/Иванов Иван/Дуб.jpg"));
  EXPECT_FALSE(SaveToPersonalFolder(content, "", "Дуб", "8А/Иванов Иван", "jpg"));
}

TEST_F(ContentCopyTest, PersonalCopyStaysInsideThePersonalFolders) {
  EXPECT_FALSE(
      SaveToPersonalFolder(content, "birch.swf", "../../../escaped", "8А/Иванов Иван", "jpg"));
  EXPECT_FALSE(SaveToPersonalFolder(content, "birch.swf", "x", "../..", "jpg"));
  EXPECT_FALSE(SaveToPersonalFolder(content, "birch.swf", "x", "8А\\..\\..", "jpg"));
  EXPECT_FALSE(SaveToPersonalFolder(content, "birch.swf", "x", "8А", "/../jpg"));
  EXPECT_FALSE(QFileInfo::exists(temp.path() + "/escaped.jpg"));
  EXPECT_FALSE(QFileInfo::exists(base + "x.jpg"));
  EXPECT_FALSE(QFileInfo::exists(temp.path() + "/x.jpg"));

  // A personal folder that is a link out of the tree.
  ASSERT_TRUE(QDir().mkpath(temp.path() + "/outside"));
  ASSERT_TRUE(QFile::link(temp.path() + "/outside", base + "folders/8Б"));
  EXPECT_FALSE(SaveToPersonalFolder(content, "birch.swf", "x", "8Б", "jpg"));
  EXPECT_FALSE(QFileInfo::exists(temp.path() + "/outside/x.jpg"));

  SetBaseDir(QString());
  EXPECT_FALSE(SaveToPersonalFolder(content, "birch.swf", "x", "8А", "jpg"));
}

TEST_F(ContentCopyTest, SaveCopyAsWritesPlainBytesAndCreatesNoFolder) {
  const QString target = temp.path() + "/chosen/Берёза.jpg";
  EXPECT_FALSE(SaveCopyAs(content, "birch.swf", target, "jpg"));
  EXPECT_FALSE(QFileInfo::exists(temp.path() + "/chosen"));

  ASSERT_TRUE(QDir().mkpath(temp.path() + "/chosen"));
  EXPECT_TRUE(SaveCopyAs(content, "birch.swf", target, "jpg"));
  EXPECT_EQ(ReadAll(target), jpeg);
  EXPECT_FALSE(SaveCopyAs(content, "birch.swf", "", "jpg"));
  EXPECT_FALSE(SaveCopyAs(content, "missing.swf", temp.path() + "/chosen/m.jpg", "jpg"));
}

TEST(SavedFileDisplayName, TitleBeforeFirstUnderscoreBecomesTheTypeKey) {
  EXPECT_EQ(SavedFileDisplayName("Фотография_Берёза_весной.jpg"), "photo_Берёза_весной.jpg");
  EXPECT_EQ(SavedFileDisplayName("Фотография"), "photo");
  EXPECT_EQ(SavedFileDisplayName("Берёза.jpg"), "");
  EXPECT_EQ(SavedFileDisplayName("Берёза_весной.jpg"), "_весной.jpg");
  EXPECT_EQ(SavedFileDisplayName("_x"), "_x");
  EXPECT_EQ(SavedFileDisplayName(""), "");
}

}  // namespace
}  // namespace vedalia
