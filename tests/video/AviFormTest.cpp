#include <gtest/gtest.h>

#include <QAction>
#include <QMediaPlayer>
#include <QMenuBar>
#include <QPointer>
#include <QTest>
#include <QVideoWidget>

#include "TestMedia.h"
#include "viewers/AviFrm.h"

namespace vedalia {
namespace {

using test::TestMedia;

constexpr int kWaitMs = 10000;

TEST(ProportionalWindowHeightTest, HeightFollowsTheDraggedWidth) {
  // A 320x240 video in a window with an 8-pixel wide and 46-pixel high frame.
  EXPECT_EQ(ProportionalWindowHeight(320, 240, 8, 46, 328), 286);
  EXPECT_EQ(ProportionalWindowHeight(320, 240, 8, 46, 648), 46 + 480);
  EXPECT_EQ(ProportionalWindowHeight(320, 240, 8, 46, 168), 46 + 120);
}

TEST(ProportionalWindowHeightTest, RoundsHalvesToEven) {
  // 2/4 of the client width: 0.5, 1.5, 2.5, 3.5.
  EXPECT_EQ(ProportionalWindowHeight(4, 2, 0, 0, 1), 0);
  EXPECT_EQ(ProportionalWindowHeight(4, 2, 0, 0, 3), 2);
  EXPECT_EQ(ProportionalWindowHeight(4, 2, 0, 0, 5), 2);
  EXPECT_EQ(ProportionalWindowHeight(4, 2, 0, 0, 7), 4);
  // Not halves: nearest.
  EXPECT_EQ(ProportionalWindowHeight(3, 1, 0, 10, 2), 11);  // 0.67
  EXPECT_EQ(ProportionalWindowHeight(3, 1, 0, 10, 4), 11);  // 1.33
}

TEST(ProportionalWindowHeightTest, ExtremeSizes) {
  // A window narrower than its frame has no client width.
  EXPECT_EQ(ProportionalWindowHeight(320, 240, 8, 46, 4), 46);
  // Products beyond 32 bits stay exact.
  EXPECT_EQ(ProportionalWindowHeight(50000, 100000, 0, 0, 100001), 200002);
  EXPECT_EQ(ProportionalWindowHeight(200000, 100000, 0, 0, 100001), 50000);  // 50000.5
}

class AviFormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(TestMedia().Error.isEmpty()) << TestMedia().Error.toStdString();
  }
  void TearDown() override {
    test::PinLoadedGraphicsDrivers();
    delete Form.data();
  }

  TAviForm* Open(const QString& path) {
    const int slash = path.lastIndexOf(QLatin1Char('/'));
    Form = new TAviForm(nullptr, {.MovieName = path.mid(slash + 1),
                                  .FolderPath = path.left(slash + 1),
                                  .ObjectName = QStringLiteral("урок"),
                                  .TypeTitle = QStringLiteral("Видеофрагмент")});
    return Form.data();
  }
  bool ShowAndActivate() {
    Form->show();
    Form->activateWindow();
    return QTest::qWaitForWindowActive(Form.data());
  }
  // Shortcuts act only in the active window; another program's window may have taken it.
  void Press(Qt::Key key) {
    Form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(Form.data()));
    QTest::keyClick(Form.data(), key, Qt::ControlModifier);
  }
  QMediaPlayer* Media() const { return Form->Player()->MediaControl(); }
  bool WaitForState(QMediaPlayer::PlaybackState state) {
    return QTest::qWaitFor([&] { return Media()->playbackState() == state; }, kWaitMs);
  }
  bool WaitForPosition(qint64 atLeast) {
    return QTest::qWaitFor([&] { return Media()->position() >= atLeast; }, kWaitMs);
  }

  QPointer<TAviForm> Form;
};

TEST_F(AviFormTest, ClientAreaIsTheVideoAndPlaysBeforeShown) {
  TAviForm* form = Open(TestMedia().ShortVideo);
  ASSERT_TRUE(form->Player()->IsBuilt());
  EXPECT_EQ(form->Client()->size(), QSize(320, 240));
  EXPECT_EQ(form->frameGeometry().height(), 240 + form->ExtraHeight());
  EXPECT_EQ(form->frameGeometry().width(), 320 + form->ExtraWidth());
  EXPECT_GT(form->ExtraHeight(), 0);  // at least the menu bar
  EXPECT_EQ(Media()->playbackState(), QMediaPlayer::PlayingState);
  EXPECT_TRUE(form->HasKeys(QStringLiteral("урок"), QStringLiteral("Видеофрагмент")));
  EXPECT_EQ(form->windowTitle(), QStringLiteral("Видеофрагмент"));

  ASSERT_TRUE(ShowAndActivate());
  EXPECT_EQ(form->Client()->size(), QSize(320, 240));
  EXPECT_EQ(form->Player()->VideoWindow()->geometry(), QRect(0, 0, 320, 240));
  EXPECT_EQ(form->Player()->VideoWindow()->parentWidget(), form->Client());
}

TEST_F(AviFormTest, ResizingKeepsTheProportions) {
  TAviForm* form = Open(TestMedia().ShortVideo);
  ASSERT_TRUE(ShowAndActivate());
  const int frameWidth = form->frameGeometry().width() - form->width();
  const int frameHeight = form->frameGeometry().height() - form->height();

  // The outer width dragged to the video's double width plus the frame.
  const int outerWidth = 640 + form->ExtraWidth();
  form->resize(outerWidth - frameWidth, 100);
  ASSERT_TRUE(QTest::qWaitFor([&] { return form->Client()->size() == QSize(640, 480); }, kWaitMs))
      << form->Client()->width() << "x" << form->Client()->height();
  EXPECT_EQ(form->height() + frameHeight, 480 + form->ExtraHeight());
  EXPECT_EQ(form->Player()->VideoWindow()->size(), QSize(640, 480));

  // An odd width: the height is rounded (161 * 3/4 = 120.75).
  form->resize(161 + form->ExtraWidth() - frameWidth, 700);
  ASSERT_TRUE(QTest::qWaitFor([&] { return form->Client()->size() == QSize(161, 121); }, kWaitMs))
      << form->Client()->width() << "x" << form->Client()->height();
  EXPECT_EQ(form->Player()->VideoWindow()->size(), QSize(161, 121));
}

TEST_F(AviFormTest, PlayPauseStopFromTheKeyboard) {
  Open(TestMedia().LongVideo);
  ASSERT_TRUE(ShowAndActivate());
  ASSERT_TRUE(WaitForState(QMediaPlayer::PlayingState));
  ASSERT_TRUE(WaitForPosition(600));

  Press(Qt::Key_P);
  ASSERT_TRUE(WaitForState(QMediaPlayer::PausedState));
  const qint64 paused = Media()->position();
  EXPECT_GE(paused, 600);

  // Play after Pause continues from where it stopped.
  Press(Qt::Key_G);
  ASSERT_TRUE(WaitForState(QMediaPlayer::PlayingState));
  EXPECT_GE(Media()->position(), paused);
  ASSERT_TRUE(WaitForPosition(paused + 400));

  // Stop goes back to the start; Play then begins there.
  Press(Qt::Key_Q);
  ASSERT_TRUE(WaitForState(QMediaPlayer::StoppedState));
  EXPECT_TRUE(QTest::qWaitFor([&] { return Media()->position() == 0; }, kWaitMs));
  Press(Qt::Key_G);
  ASSERT_TRUE(WaitForState(QMediaPlayer::PlayingState));
  EXPECT_LT(Media()->position(), paused);
  EXPECT_TRUE(WaitForPosition(200));
}

TEST_F(AviFormTest, ExitClosesAndReleasesThePipeline) {
  Open(TestMedia().ShortVideo);
  ASSERT_TRUE(ShowAndActivate());
  Press(Qt::Key_X);
  // Released at once, the window itself on the next pass of the event loop.
  EXPECT_TRUE(Form.isNull() || Form->Player() == nullptr);
  EXPECT_TRUE(QTest::qWaitFor([&] { return Form.isNull(); }, kWaitMs));
}

TEST_F(AviFormTest, UnplayableFileShrinksToFrameAndMenu) {
  TAviForm* form = Open(TestMedia().RandomBytes);
  ASSERT_NE(form->Player(), nullptr);
  EXPECT_FALSE(form->Player()->IsBuilt());
  EXPECT_EQ(form->frameGeometry().height(), form->ExtraHeight());
  EXPECT_GE(form->width(), form->menuBar()->sizeHint().width());
  ASSERT_TRUE(ShowAndActivate());
  EXPECT_EQ(form->height(), form->menuBar()->height());

  // Commands do nothing, and resizing is free.
  form->mnuPlay->trigger();
  form->mnuPause->trigger();
  form->mnuStop->trigger();
  form->resize(500, 300);
  ASSERT_TRUE(QTest::qWaitFor([&] { return form->size() == QSize(500, 300); }, kWaitMs));
  form->mnuExit->trigger();
  EXPECT_TRUE(QTest::qWaitFor([&] { return Form.isNull(); }, kWaitMs));
}

}  // namespace
}  // namespace vedalia
