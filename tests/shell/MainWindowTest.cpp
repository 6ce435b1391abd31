// The main window under a display: first activation, the close box, and "app_exit".
#include <QApplication>
#include <QTest>
#include <QTimer>

#include "ShellFixture.h"
#include "flashhost/FlashPlayerControl.h"
#include "flashhost/SwfWriter.h"
#include "shell/MainFrm.h"
#include "shell/SplashFrm.h"
#include "viewers/SwfFrm.h"

namespace vedalia::testing {
namespace {

class MainWindow : public ShellFixture {
 protected:
  void SetUp() override {
    ShellFixture::SetUp();
    SwfMovieSpec movieSpec;
    movieSpec.frameCount = 2;
    ASSERT_TRUE(WriteSwfMovieFile(base + "start.swf", movieSpec));
  }
};

TEST_F(MainWindow, FirstActivationMaximisesAndStartsTheMovieOnce) {
  TMainForm form(settingsPath);
  TFlashPlayerControl* player = form.ShPlayer();
  EXPECT_EQ(player->Movie(), QString());
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  ASSERT_TRUE(QTest::qWaitFor([&] { return form.MovieStarted(); }));
  ASSERT_TRUE(QTest::qWaitFor([&] { return form.isMaximized(); }));
  EXPECT_EQ(form.windowTitle(), "Ведалия");
  EXPECT_EQ(player->Movie(), base + "start.swf");
  EXPECT_EQ(player->TotalFrames(), 2);
  EXPECT_FALSE(player->Menu());
  EXPECT_EQ(player->BackgroundColor(), 16380145);
  EXPECT_EQ(player->geometry(), form.rect());  // the movie fills the window

  // A later activation leaves the running movie alone.
  player->GotoFrame(5);
  form.hide();
  form.show();
  form.activateWindow();
  QApplication::processEvents();
  EXPECT_EQ(player->CurrentFrame(), 5);
}

TEST_F(MainWindow, CloseBoxAsksTheMovieAndAppExitEndsTheProgram) {
  TMainForm form(settingsPath);
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  ASSERT_TRUE(QTest::qWaitFor([&] { return form.MovieStarted(); }));

  EXPECT_FALSE(form.close());
  EXPECT_TRUE(form.isVisible());
  EXPECT_EQ(form.ShPlayer()->DeliveredFlashVars(), QStringList{"exit=true"});

  // The movie's answer arrives while the program runs; the loop then ends.
  QTimer::singleShot(0, &form, [&] { form.ShPlayer()->RaiseFSCommand("app_exit", "0"); });
  QTimer watchdog;
  watchdog.setSingleShot(true);
  bool timedOut = false;
  QObject::connect(&watchdog, &QTimer::timeout, [&] {
    timedOut = true;
    QApplication::exit(3);
  });
  watchdog.start(20000);
  EXPECT_EQ(QApplication::exec(), 0);
  EXPECT_FALSE(timedOut);
  EXPECT_FALSE(form.isVisible());
  EXPECT_TRUE(QFile::exists(settingsPath));  // the size was recorded
}

TEST_F(MainWindow, RepliesReachTheMovieThroughItsPlayer) {
  TMainForm form(settingsPath);
  form.SetDatabaseAvailable(true);
  form.ShPlayer()->RaiseFSCommand("addUser", "Иван;Петров;Б;pw;0");
  form.ShPlayer()->RaiseFSCommand("getUsersData", "");
  EXPECT_EQ(form.ShPlayer()->DeliveredFlashVars(),
            (QStringList{"registred=1", "UsersData=Иван,Петров,Б,1"}));
  EXPECT_EQ(form.ShPlayer()->GetVariable("UsersData"), "Иван,Петров,Б,1");

  // A viewer reaches the same handler through the main-window link.
  IMainWindowLink& link = form;
  link.ShPlayerFSCommand(nullptr, "validateUser", "1");
  EXPECT_EQ(form.Handler().CurrentUserId(), 1);
  EXPECT_EQ(link.MainPlayer(), form.ShPlayer());

  // The viewers this window opens are handed that link.
  ASSERT_TRUE(QDir().mkpath(base + "data/animation"));
  ASSERT_TRUE(WriteSwfMovieFile(base + "data/animation/a.swf", SwfMovieSpec{}));
  ASSERT_EQ(form.OpenMedia("a.swf", "animation", "A", ""), kMediaOpened);
  auto* viewer = form.findChild<TSwfForm*>();
  ASSERT_NE(viewer, nullptr);
  viewer->ShPlayer()->RaiseFSCommand("gotoRulers", "ruler_2");
  EXPECT_EQ(form.ShPlayer()->DeliveredFlashVars().last(), "ChangeActiveRuler=ruler_2");
}

TEST(Splash, StaysUntilItsTimerFiresAndShowsItsPicture) {
  TSplashForm splash(50);
  EXPECT_FALSE(splash.TimerFired());
  EXPECT_EQ(splash.size(), QSize(256, 186));
  EXPECT_EQ(splash.Splash().size(), QSize(248, 181));
  splash.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&splash));
  ASSERT_TRUE(QTest::qWaitFor([&] { return splash.TimerFired(); }));
  // The artwork is a picture, not a flat fill.
  const QImage shot = splash.grab().toImage();
  EXPECT_NE(shot.pixelColor(5, 5), shot.pixelColor(128, 120));
}

}  // namespace
}  // namespace vedalia::testing
