#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "viewers/uJpegGeometry.h"

namespace vedalia {
namespace {

// A 1024 x 768 screen with a 30-pixel horizontal taskbar and a 46-pixel window frame.
TJpegGeometry ExampleScreen(int w, int h) {
  TJpegGeometry g;
  g.WorkWidth = 1024;
  g.WorkHeight = 738;
  g.NonClientHeight = 46;
  g.FullSize = {w, h};
  return g;
}

TEST(JpegGeometry, StepSizesRoundUpLikeTheDecoder) {
  EXPECT_EQ(ScaledSize({1001, 750}, 1), (TJpegSize{126, 94}));
  EXPECT_EQ(ScaledSize({1001, 750}, 2), (TJpegSize{251, 188}));
  EXPECT_EQ(ScaledSize({1001, 750}, 3), (TJpegSize{501, 375}));
  EXPECT_EQ(ScaledSize({1001, 750}, 4), (TJpegSize{1001, 750}));
  EXPECT_EQ(ScaledSize({1001, 750}, 0), ScaledSize({1001, 750}, 1));
  EXPECT_EQ(ScaledSize({1, 1}, 1), (TJpegSize{1, 1}));
}

TEST(JpegGeometry, RoundingTakesHalvesToEvenAndClampsInfinities) {
  EXPECT_EQ(RoundHalfEven(2.5), 2);
  EXPECT_EQ(RoundHalfEven(3.5), 4);
  EXPECT_EQ(RoundHalfEven(-2.5), -2);
  EXPECT_EQ(RoundHalfEven(-3.5), -4);
  EXPECT_EQ(RoundHalfEven(2.4999), 2);
  EXPECT_EQ(RoundHalfEven(std::numeric_limits<double>::infinity()),
            std::numeric_limits<int>::max());
  EXPECT_EQ(RoundHalfEven(-std::numeric_limits<double>::infinity()),
            std::numeric_limits<int>::min());
  EXPECT_EQ(RoundHalfEven(std::nan("")), 0);
}

TEST(JpegGeometry, StartStepIsTheLargestThatFitsWithFrameAndSpare) {
  TJpegGeometry g = ExampleScreen(1600, 1200);
  EXPECT_EQ(g.ChooseScale(), 3);  // 738 > 600 + 46 + 2, 1024 > 800 + 2
  const TJpegSize client = g.FitInitial({870, 594});
  EXPECT_EQ(client, (TJpegSize{800, 600}));
  EXPECT_EQ(g.ScaleIndex, 3);
  EXPECT_EQ(g.MinScaleIndex, 3);
  EXPECT_EQ(g.MaxScaleIndex, 4);
  EXPECT_EQ(g.ViewWidth, 800);
  EXPECT_EQ(g.ViewHeight, 600);
  EXPECT_EQ(g.DestRect, (TJpegRect{0, 0, 800, 600}));

  EXPECT_EQ(ExampleScreen(800, 600).ChooseScale(), 4);
  // Both comparisons are strict: exactly the spare left is not enough.
  EXPECT_EQ(ExampleScreen(800, 690).ChooseScale(), 3);   // 738 = 690 + 46 + 2
  EXPECT_EQ(ExampleScreen(1022, 600).ChooseScale(), 3);  // 1024 = 1022 + 2
  EXPECT_EQ(ExampleScreen(1021, 689).ChooseScale(), 4);
  EXPECT_EQ(ExampleScreen(8000, 600).ChooseScale(), 1);
  EXPECT_EQ(ExampleScreen(9000, 600).ChooseScale(), 0);
}

TEST(JpegGeometry, TooLargeEvenAtOneEighthFitsTheWindowToTheScreen) {
  // Wide only: the width decides.
  TJpegGeometry wide = ExampleScreen(16000, 3200);                 // 2000 x 400 at 1/8
  EXPECT_EQ(wide.FitInitial({870, 594}), (TJpegSize{1022, 204}));  // 400 * 1022 / 2000 = 204.4
  EXPECT_EQ(wide.ScaleIndex, 0);
  EXPECT_EQ(wide.MinScaleIndex, 0);
  EXPECT_EQ(wide.DestRect, (TJpegRect{0, 0, 1022, 204}));
  // Tall only: the height less the frame decides.
  EXPECT_EQ(ExampleScreen(4000, 8000).FitTooLarge({1, 1}), (TJpegSize{346, 692}));
  // Both, relatively taller than the screen: by height.
  EXPECT_EQ(ExampleScreen(16000, 12800).FitTooLarge({1, 1}), (TJpegSize{865, 692}));
  // Both, relatively wider: by width.
  EXPECT_EQ(ExampleScreen(16800, 8800).FitTooLarge({1, 1}), (TJpegSize{1022, 535}));
  // Halves round to even: 1023 * 1022 / 2044 = 511.5, 1021 * 1022 / 2044 = 510.5.
  EXPECT_EQ(ExampleScreen(2044 * 8, 1023 * 8).FitTooLarge({1, 1}), (TJpegSize{1022, 512}));
  EXPECT_EQ(ExampleScreen(2044 * 8, 1021 * 8).FitTooLarge({1, 1}), (TJpegSize{1022, 510}));
  // Fits the screen but not with the frame: the window keeps its size.
  TJpegGeometry frameOnly = ExampleScreen(8000, 5600);  // 1000 x 700 at 1/8
  EXPECT_EQ(frameOnly.ChooseScale(), 0);
  EXPECT_EQ(frameOnly.FitInitial({870, 594}), (TJpegSize{870, 594}));
}

TEST(JpegGeometry, TooLargeAtTheStartPansWithoutAGapFromTheFirstDrag) {
  for (const TJpegSize full : {TJpegSize{16000, 12800}, TJpegSize{4000, 8000}, {16800, 8800}}) {
    TJpegGeometry g = ExampleScreen(full.Width, full.Height);
    const TJpegSize client = g.FitInitial({1, 1});
    ASSERT_EQ(g.ScaleIndex, 0);
    EXPECT_EQ((TJpegSize{g.ViewWidth, g.ViewHeight}), client);
    ASSERT_TRUE(g.StepUp(client) && g.StepUp(client));
    // Drags far in every direction, each starting from where the last one left the picture.
    for (const auto& [dx, dy] :
         {std::pair{5000, 0}, {-5000, 0}, {0, 5000}, {0, -5000}, {-300, 200}, {20, -20}}) {
      g.MouseDown(100, 100);
      g.Pan(100 + dx, 100 + dy);
      const TJpegRect& r = g.DestRect;
      EXPECT_TRUE(r.Left <= 0 && r.Top <= 0 && r.Right >= client.Width && r.Bottom >= client.Height)
          << full.Width << " " << dx << "," << dy << ": " << r.Left << " " << r.Top << " "
          << r.Right << " " << r.Bottom;
      g.MouseUp(100 + dx, 100 + dy);
    }
  }
}

TEST(JpegGeometry, ZoomKeepsTheCentreAndStopsAtTheLimits) {
  TJpegGeometry g = ExampleScreen(1600, 1200);
  const TJpegSize client = g.FitInitial({870, 594});
  EXPECT_FALSE(g.StepDown(client));
  EXPECT_EQ(g.ScaleIndex, 3);

  ASSERT_TRUE(g.StepUp(client));
  EXPECT_EQ(g.ScaleIndex, 4);
  EXPECT_EQ(g.DestRect, (TJpegRect{-400, -300, 1200, 900}));
  EXPECT_EQ(g.OffsetX, -400);
  EXPECT_EQ(g.OffsetY, -300);
  EXPECT_FALSE(g.StepUp(client));
  EXPECT_EQ(g.DestRect, (TJpegRect{-400, -300, 1200, 900}));

  // Back at the start step the picture fills the client area again.
  ASSERT_TRUE(g.StepDown(client));
  EXPECT_EQ(g.DestRect, (TJpegRect{0, 0, 800, 600}));
  EXPECT_EQ(g.OffsetX, 0);
}

TEST(JpegGeometry, ZoomOutFromAPannedPictureClosesGapsAndCentresSmallOnes) {
  TJpegGeometry g = ExampleScreen(6400, 4800);  // starts at 1/8: 800 x 600
  TJpegSize client = g.FitInitial({870, 594});
  ASSERT_EQ(g.ScaleIndex, 1);
  ASSERT_TRUE(g.StepUp(client));  // 1600 x 1200
  ASSERT_TRUE(g.StepUp(client));  // 3200 x 2400 at (-1200, -900)
  EXPECT_EQ(g.DestRect, (TJpegRect{-1200, -900, 2000, 1500}));
  // Dragged to the top-left corner: (0, 0).
  g.DestRect = {0, 0, 3200, 2400};
  ASSERT_TRUE(g.StepDown(client));  // (0 - 400) / 2 + 400 = 200 would leave a gap
  EXPECT_EQ(g.DestRect, (TJpegRect{0, 0, 1600, 1200}));
  // Dragged to the bottom-right corner.
  g.DestRect = {-800, -600, 800, 600};
  ASSERT_TRUE(g.StepUp(client));  // (-800 - 400) * 2 + 400 = -2000: right edge at 1200
  EXPECT_EQ(g.DestRect, (TJpegRect{-2000, -1500, 1200, 900}));

  // In a larger (maximised) client a picture narrower than it is centred.
  client = {1024, 692};
  g.ScaleIndex = 2;
  g.Reposition('0', client);  // the gaps at the right and bottom close
  EXPECT_EQ(g.DestRect, (TJpegRect{-576, -508, 1024, 692}));
  g.ViewWidth = 1024;
  g.ViewHeight = 692;
  ASSERT_TRUE(g.StepDown(client));  // 800 x 600 < 1024 wide
  EXPECT_EQ(g.DestRect, (TJpegRect{112, 46, 912, 646}));
}

class JpegPan : public ::testing::Test {
 protected:
  // 1600 x 1200 at step 4 in an 800 x 600 view, shown at (-400, -300).
  void SetUp() override {
    g = ExampleScreen(1600, 1200);
    client = g.FitInitial({870, 594});
    ASSERT_TRUE(g.StepUp(client));
  }
  TJpegGeometry g;
  TJpegSize client;
};

TEST_F(JpegPan, LargePictureFollowsThePointerAndNeverShowsAGap) {
  g.MouseDown(100, 100);
  ASSERT_TRUE(g.Dragging);
  EXPECT_TRUE(g.Pan(150, 80));
  EXPECT_EQ(g.DestRect, (TJpegRect{-350, -320, 1250, 880}));
  // To the right past the left edge: stops at 0 and the origin moves with the pointer...
  g.Pan(600, 80);
  EXPECT_EQ(g.DestRect.Left, 0);
  EXPECT_EQ(g.DestRect.Right, 1600);
  EXPECT_EQ(g.OffsetX, 0);
  EXPECT_EQ(g.DownX, 600);
  g.Pan(900, 80);
  EXPECT_EQ(g.DestRect.Left, 0);
  // ...so moving back left takes effect at once.
  g.Pan(880, 80);
  EXPECT_EQ(g.DestRect.Left, -20);
  // Upwards past the bottom edge: stops with the bottom at the view's bottom.
  g.Pan(880, -1000);
  EXPECT_EQ(g.DestRect.Top, -600);
  EXPECT_EQ(g.DestRect.Bottom, 600);
  EXPECT_EQ(g.OffsetY, -600);
  EXPECT_EQ(g.DownY, -1000);
  g.Pan(880, -990);
  EXPECT_EQ(g.DestRect.Top, -590);

  g.MouseUp(870, -990);
  EXPECT_FALSE(g.Dragging);
  EXPECT_EQ(g.OffsetX, -30);  // the origin was last moved at x = 900
  EXPECT_EQ(g.OffsetY, -590);
  EXPECT_FALSE(g.Pan(0, 0));  // no drag in progress
}

TEST_F(JpegPan, SmallPictureStaysInsideTheView) {
  // Maximised view larger than the picture (800 x 600 in 1024 x 692, min step 2 here).
  g.MinScaleIndex = 2;
  g.ScaleIndex = 3;
  g.ViewWidth = 1024;
  g.ViewHeight = 692;
  g.Reposition('0', {1024, 692});
  ASSERT_EQ(g.DestRect, (TJpegRect{112, 46, 912, 646}));
  g.MouseDown(500, 300);
  g.Pan(300, 300);
  EXPECT_EQ(g.DestRect.Left, 0);  // would be -88
  EXPECT_EQ(g.OffsetX, 0);
  EXPECT_EQ(g.DownX, 300);
  g.Pan(310, 300);
  EXPECT_EQ(g.DestRect.Left, 10);
  g.Pan(900, 400);
  EXPECT_EQ(g.DestRect.Left, 224);
  EXPECT_EQ(g.DestRect.Right, 1024);
  EXPECT_EQ(g.DestRect.Top, 92);
  EXPECT_EQ(g.DestRect.Bottom, 692);
}

TEST_F(JpegPan, NoDragAtTheStartStepAndNoMoveAlongAnExactFit) {
  ASSERT_TRUE(g.StepDown(client));
  g.MouseDown(10, 10);
  EXPECT_FALSE(g.Dragging);
  EXPECT_FALSE(g.Pan(300, 300));
  EXPECT_EQ(g.DestRect, (TJpegRect{0, 0, 800, 600}));

  // Picture exactly as wide as the view: only the vertical axis moves.
  g.ScaleIndex = 4;
  g.ViewWidth = 1600;
  g.DestRect = {0, -300, 1600, 900};
  g.OffsetX = 0;
  g.OffsetY = -300;
  g.MouseDown(0, 0);
  g.Pan(-200, 50);
  EXPECT_EQ(g.DestRect, (TJpegRect{0, -250, 1600, 950}));
}

}  // namespace
}  // namespace vedalia
