#include <gtest/gtest.h>

#include <QDir>

#include "TestMedia.h"
#include "desktop/uDesktop.h"
#include "misc/uMisc.h"

namespace vedalia {
namespace {

using test::TestMedia;

class CanRenderMediaTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(TestMedia().Error.isEmpty()) << TestMedia().Error.toStdString();
  }
};

TEST_F(CanRenderMediaTest, VideosArePlayable) {
  EXPECT_TRUE(CanRenderMedia(TestMedia().ShortVideo));
  EXPECT_TRUE(CanRenderMedia(TestMedia().WithSound));
}

TEST_F(CanRenderMediaTest, BrokenFilesAreNot) {
  EXPECT_FALSE(CanRenderMedia(TestMedia().RandomBytes));
  EXPECT_FALSE(CanRenderMedia(TestMedia().Truncated));
  EXPECT_FALSE(CanRenderMedia(TestMedia().Empty));
}

// The viewer shows pictures: a file without a video stream has nothing to show.
TEST_F(CanRenderMediaTest, SoundWithoutPictureIsNot) {
  EXPECT_FALSE(CanRenderMedia(TestMedia().AudioOnly));
  EXPECT_FALSE(CanRenderMedia(TestMedia().Wave));
}

TEST_F(CanRenderMediaTest, MissingFilesAndFoldersAreNot) {
  EXPECT_FALSE(CanRenderMedia(TestMedia().Dir + QStringLiteral("missing.avi")));
  EXPECT_FALSE(CanRenderMedia(TestMedia().Dir));
  EXPECT_FALSE(CanRenderMedia(QString()));
}

// Names that are not plain ASCII reach the framework intact.
TEST_F(CanRenderMediaTest, CyrillicFileName) {
  const QString copy = TestMedia().Dir + QStringLiteral("Видео урок #1.avi");
  QFile::remove(copy);
  ASSERT_TRUE(QFile::copy(TestMedia().ShortVideo, copy));
  EXPECT_TRUE(CanRenderMedia(copy));
}

}  // namespace
}  // namespace vedalia
