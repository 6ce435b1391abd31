#include <gtest/gtest.h>

#include <QMediaPlayer>
#include <QTest>
#include <QVideoWidget>
#include <QWidget>
#include <memory>

#include "TestMedia.h"
#include "viewers/uVideoViewer.h"

namespace vedalia {
namespace {

using test::TestMedia;

class VideoViewerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(TestMedia().Error.isEmpty()) << TestMedia().Error.toStdString();
    Owner = std::make_unique<QWidget>();
    Owner->resize(400, 300);
  }
  void TearDown() override { test::PinLoadedGraphicsDrivers(); }
  std::unique_ptr<QWidget> Owner;
};

TEST_F(VideoViewerTest, EmbedsTheVideoAtTheTopLeftWithItsOwnSize) {
  TVideoViewer viewer(Owner.get(), TestMedia().ShortVideo);
  ASSERT_TRUE(viewer.IsBuilt());
  EXPECT_EQ(viewer.VideoWidth, 320);
  EXPECT_EQ(viewer.VideoHeight, 240);
  QVideoWidget* video = viewer.VideoWindow();
  ASSERT_NE(video, nullptr);
  EXPECT_EQ(video->parentWidget(), Owner.get());
  EXPECT_EQ(video->geometry(), QRect(0, 0, 320, 240));
  // Built but not started: the first picture waits for Play.
  EXPECT_NE(viewer.MediaControl()->playbackState(), QMediaPlayer::PlayingState);
  EXPECT_EQ(viewer.MediaControl()->position(), 0);

  viewer.SetVideoWidth(640);
  viewer.SetVideoHeight(480);
  EXPECT_EQ(video->geometry(), QRect(0, 0, 640, 480));
}

TEST_F(VideoViewerTest, UnplayableFileLeavesNothingBehind) {
  for (const QString& path : {TestMedia().RandomBytes, TestMedia().Truncated, TestMedia().AudioOnly,
                              TestMedia().Dir + QStringLiteral("no.avi")}) {
    SCOPED_TRACE(path.toStdString());
    TVideoViewer viewer(Owner.get(), path);
    EXPECT_FALSE(viewer.IsBuilt());
    EXPECT_EQ(viewer.VideoWidth, 0);
    EXPECT_EQ(viewer.VideoHeight, 0);
    EXPECT_EQ(viewer.VideoWindow(), nullptr);
    EXPECT_TRUE(Owner->findChildren<QWidget*>().isEmpty());
    // Every operation is a no-op.
    viewer.Play();
    viewer.Pause();
    viewer.Stop();
    viewer.SetVideoWidth(100);
    viewer.SetVideoHeight(100);
    EXPECT_EQ(viewer.VideoWidth, 0);
  }
}

TEST_F(VideoViewerTest, ReleasingRemovesTheVideoFromTheOwner) {
  {
    TVideoViewer viewer(Owner.get(), TestMedia().ShortVideo);
    ASSERT_TRUE(viewer.IsBuilt());
    EXPECT_FALSE(Owner->findChildren<QVideoWidget*>().isEmpty());
  }
  EXPECT_TRUE(Owner->findChildren<QVideoWidget*>().isEmpty());
}

// The owner window may go first (it deletes its children); the viewer must not touch the
// video output afterwards.
TEST_F(VideoViewerTest, OwnerDestroyedFirst) {
  auto viewer = std::make_unique<TVideoViewer>(Owner.get(), TestMedia().ShortVideo);
  ASSERT_TRUE(viewer->IsBuilt());
  Owner.reset();
  EXPECT_EQ(viewer->VideoWindow(), nullptr);
  viewer->SetVideoWidth(10);
  viewer->Stop();
  viewer.reset();
}

TEST_F(VideoViewerTest, PlaysToTheEndInAShownWindow) {
  TVideoViewer viewer(Owner.get(), TestMedia().ShortVideo);
  ASSERT_TRUE(viewer.IsBuilt());
  Owner->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(Owner.get()));
  viewer.Play();
  test::PinLoadedGraphicsDrivers();
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return viewer.MediaControl()->mediaStatus() == QMediaPlayer::EndOfMedia; }, 10000));
  EXPECT_EQ(viewer.MediaControl()->position(), 2000);
}

}  // namespace
}  // namespace vedalia
