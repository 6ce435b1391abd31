// The player set with the real viewer windows: each kind of item opens in its own viewer.

#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include "common/FakeMessages.h"
#include "common/WaitFor.h"
#include "desktop/uServices.h"
#include "dispatch/uPlayerSet.h"
#include "flashhost/SwfWriter.h"
#include "misc/uMisc.h"
#include "model3d/ModelFiles.h"
#include "model3d/ThreeDimFrm.h"
#include "model3d/uGmsWriter.h"
#include "viewers/JpegFrm.h"
#include "viewers/SwfFrm.h"

using namespace vedalia;

namespace {

class RealViewersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    SetContentDir(dir.path() + '/');
    SetBaseDir(dir.path() + '/');
    for (const char* t : {"animation", "photo", "graphics_3D"})
      QDir(dir.path()).mkpath(QStringLiteral("data/") + t);
    Services s;
    s.messages = &messages;
    previous = SetAppServices(s);
  }
  void TearDown() override {
    for (auto* w : set->OpenWindows()) delete w;
    set.reset();
    SetAppServices(previous);
  }

  QTemporaryDir dir;
  test::FakeMessages messages;
  Services previous;
  std::unique_ptr<TPlayerSet> set = std::make_unique<TPlayerSet>(nullptr);
};

TEST_F(RealViewersTest, EachKindOpensInItsViewerAndComesBack) {
  SwfMovieSpec movie;
  movie.width = 320;
  movie.height = 200;
  ASSERT_TRUE(WriteSwfMovieFile(dir.path() + "/data/animation/a.swf", movie));
  QImage picture(200, 150, QImage::Format_RGB32);
  picture.fill(Qt::darkCyan);
  ASSERT_TRUE(picture.save(dir.path() + "/data/photo/p.jpg", "JPG"));
  ASSERT_TRUE(test::WriteBox(dir.path() + "/data/graphics_3D/cube.gms", true));
  picture.save(dir.path() + "/data/graphics_3D/cube.bmp", "BMP");

  ASSERT_EQ(set->OpenMedia("a.swf", "animation", "A", {}), 0);
  ASSERT_EQ(set->OpenMedia("p.jpg", "photo", "P", {}), 0);
  ASSERT_EQ(set->OpenMedia("cube.gms", "graphics_3D", "C", {}), 0);
  const QList<TPlayerForm*> windows = set->OpenWindows();
  ASSERT_EQ(windows.size(), 3);
  EXPECT_NE(dynamic_cast<TSwfForm*>(windows[0]), nullptr);
  EXPECT_NE(dynamic_cast<TJpegForm*>(windows[1]), nullptr);
  auto* model = dynamic_cast<TThreeDimForm*>(windows[2]);
  ASSERT_NE(model, nullptr);
  for (TPlayerForm* w : windows) {
    EXPECT_TRUE(w->isVisible());
    EXPECT_TRUE(w->windowFlags() & Qt::WindowStaysOnTopHint);
  }
  EXPECT_TRUE(messages.shown.empty()) << messages.Texts().join('\n').toStdString();

  // The 3D viewer only hides and is brought back by the same request; the others go.
  model->close();
  VEDALIA_WAIT_TRUE(model->isHidden());
  windows[0]->close();
  VEDALIA_WAIT_EQ(set->OpenWindows().size(), 2);
  ASSERT_EQ(set->OpenMedia("cube.gms", "graphics_3D", "C", {}), 0);
  EXPECT_TRUE(model->isVisible());
  EXPECT_EQ(set->OpenWindows().size(), 2);
}

}  // namespace
