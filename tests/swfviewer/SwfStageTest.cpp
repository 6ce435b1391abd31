// Item windows on ActionScript 2 movies played by the real renderer: the window takes the
// stage size the movie's first frame sets, and keeps its frame when the movie gives none.
#include <QDeadlineTimer>

#include "SwfFixture.h"

using namespace vedalia;
using namespace vedalia::test;

namespace {

// The web engine's first start is slow, under the sanitizer most of all.
constexpr int kMovieStartMs = 60000;

QByteArray StageMovie(int version, SwfCompression compression, bool setsStage) {
  SwfMovieSpec movieSpec;
  movieSpec.version = version;
  movieSpec.compression = compression;
  movieSpec.frameCount = 2;
  SwfActions frame1;
  if (setsStage) frame1.Set("Stage_width", 640).Set("Stage_height", 480);
  frame1.Set("started", "1").Op(SwfOp::Stop);
  movieSpec.frameActions[0] = frame1;
  return WriteSwfMovie(movieSpec);
}

}  // namespace

// Needs the renderer to read an ActionScript 2 movie's _level0 variables; enable with it.
TEST_F(SwfFormTest, DISABLED_ActionScript2StageVariablesSizeTheWindowOnceTheFirstFrameHasRun) {
  const struct {
    int version;
    SwfCompression compression;
    bool setsStage;
    QSize expected;
  } cases[] = {
      {8, SwfCompression::None, true, {640, 480}},  {10, SwfCompression::Zlib, true, {640, 480}},
      {6, SwfCompression::None, true, {640, 480}},  {7, SwfCompression::Zlib, true, {640, 480}},
      {8, SwfCompression::None, false, {800, 600}},
  };
  FormArgs a;
  a.typeFolder = "reference";
  a.fixedSize = false;  // "reference" and "video" windows follow the movie's stage
  for (const auto& c : cases) {
    SCOPED_TRACE(c.version);
    TSwfForm* form = Open(a, StageMovie(c.version, c.compression, c.setsStage));
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form));
    TFlashPlayerControl* player = form->ShPlayer();
    ASSERT_TRUE(QTest::qWaitFor([&] { return player->IsMovieReady(); }, kMovieStartMs));
    EXPECT_EQ(player->GetVariable("started"), "1");
    EXPECT_TRUE(QTest::qWaitFor([&] { return player->size() == c.expected; }, 5000));
    EXPECT_EQ(player->size(), c.expected);
    EXPECT_EQ(form->minimumSize(), form->maximumSize());
    delete form;
  }
}
