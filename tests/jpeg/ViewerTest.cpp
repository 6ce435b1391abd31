#include <gtest/gtest.h>

#include <QPainter>
#include <functional>

#include "TestJpeg.h"
#include "viewers/uJpegViewer.h"

namespace vedalia {
namespace {

using test::MakeJpeg;

class FakeWindow : public IJpegWindow {
 public:
  TJpegSize ClientSize() const override { return client; }
  void SetClientSize(TJpegSize size) override { client = size; }
  void RemoveMaximizeButton() override { maximizeButton = false; }
  bool IsMaximizedNow() const override { return maximized; }
  void RepaintNow() override {
    if (onRepaintNow) onRepaintNow();
  }
  void Invalidate() override { ++invalidated; }

  TJpegSize client{870, 594};
  bool maximizeButton = true;
  bool maximized = false;
  int invalidated = 0;
  std::function<void()> onRepaintNow;
};

// The example screen: 1024 x 738 usable, a 46-pixel frame.
const TJpegScreenMetrics kScreen{1024, 738, 46};

QImage Frame(const TJpegViewer& v, TJpegSize client) {
  QImage img(client.Width, client.Height, QImage::Format_RGB32);
  img.fill(Qt::magenta);
  QPainter p(&img);
  v.Paint(p);
  return img;
}

class JpegViewerTest : public ::testing::Test {
 protected:
  static const QByteArray& Picture() {
    static const QByteArray jpeg = MakeJpeg(1600, 1200);
    return jpeg;
  }
  FakeWindow win;
};

TEST_F(JpegViewerTest, OpensAtTheStartStepAndFitsTheWindow) {
  auto v = TJpegViewer::Create(Picture(), &win, kScreen);
  ASSERT_TRUE(v);
  EXPECT_EQ(v->ScaleIndex(), 3);
  EXPECT_EQ(v->MinScaleIndex(), 3);
  EXPECT_EQ(win.client, (TJpegSize{800, 600}));
  EXPECT_EQ(v->Image().size(), QSize(800, 600));
  EXPECT_TRUE(win.maximizeButton);

  // The picture covers the client area; its top-left corner is dark, the right edge red.
  const QImage f = Frame(*v, win.client);
  EXPECT_LT(qRed(f.pixel(3, 3)) + qGreen(f.pixel(3, 3)), 40);
  EXPECT_GT(qRed(f.pixel(796, 3)), 230);

  auto small = TJpegViewer::Create(MakeJpeg(300, 200), &win, kScreen);
  ASSERT_TRUE(small);
  EXPECT_EQ(small->ScaleIndex(), 4);
  EXPECT_FALSE(win.maximizeButton);
  EXPECT_FALSE(small->ZoomIn());
  EXPECT_FALSE(small->ZoomOut());
}

TEST_F(JpegViewerTest, UndecodableBytesCreateNoViewer) {
  QString error;
  EXPECT_FALSE(TJpegViewer::Create(QByteArray("plain text"), &win, kScreen, &error));
  EXPECT_FALSE(error.isEmpty());
  EXPECT_FALSE(TJpegViewer::Create(QByteArray(), &win, kScreen));
  EXPECT_FALSE(
      TJpegViewer::Create(test::WithClaimedSize(MakeJpeg(8, 8), 65000, 65000), &win, kScreen));
  EXPECT_EQ(win.client, (TJpegSize{870, 594}));  // the window was left alone
}

TEST_F(JpegViewerTest, ZoomShowsTheLoadingBackgroundThenTheNewStep) {
  auto v = TJpegViewer::Create(Picture(), &win, kScreen);
  ASSERT_TRUE(v);
  QImage during;
  win.onRepaintNow = [&] { during = Frame(*v, win.client); };
  ASSERT_TRUE(v->ZoomIn());
  ASSERT_FALSE(during.isNull());
  EXPECT_EQ(during.pixel(3, 3), qRgb(255, 255, 255));  // background, not the old picture
  EXPECT_EQ(v->Image().size(), QSize(1600, 1200));
  // Centre zoom: the view shows the picture's middle, red about half.
  const QImage after = Frame(*v, win.client);
  EXPECT_NEAR(qRed(after.pixel(400, 300)), 127, 12);
  EXPECT_NEAR(qRed(after.pixel(0, 300)), 255 * 400 / 1600, 12);
  EXPECT_FALSE(v->ZoomIn());
  ASSERT_TRUE(v->ZoomOut());
  EXPECT_EQ(v->Image().size(), QSize(800, 600));
  EXPECT_FALSE(v->ZoomOut());
}

TEST_F(JpegViewerTest, MaximisingAddsAStepAndRestoringTakesItBack) {
  auto v = TJpegViewer::Create(Picture(), &win, kScreen);
  ASSERT_TRUE(v);
  win.maximized = true;
  win.client = {1024, 692};
  EXPECT_TRUE(v->Resize());
  EXPECT_EQ(v->ScaleIndex(), 4);
  EXPECT_TRUE(v->Geometry().AutoZoomed);
  EXPECT_EQ(v->Geometry().ViewWidth, 1024);
  // Another size event while still maximised changes nothing.
  EXPECT_FALSE(v->Resize());
  EXPECT_EQ(v->ScaleIndex(), 4);

  win.maximized = false;
  win.client = {800, 600};
  EXPECT_TRUE(v->Resize());
  EXPECT_EQ(v->ScaleIndex(), 3);
  EXPECT_FALSE(v->Geometry().AutoZoomed);
  EXPECT_EQ(v->Geometry().DestRect, (TJpegRect{0, 0, 800, 600}));
}

TEST_F(JpegViewerTest, MaximisingAfterAManualZoomKeepsTheStep) {
  auto v = TJpegViewer::Create(Picture(), &win, kScreen);
  ASSERT_TRUE(v);
  ASSERT_TRUE(v->ZoomIn());
  win.maximized = true;
  win.client = {1024, 692};
  EXPECT_FALSE(v->Resize());
  EXPECT_EQ(v->ScaleIndex(), 4);
  // The larger view shows more of the picture without a gap.
  const TJpegRect r = v->Geometry().DestRect;
  EXPECT_LE(r.Left, 0);
  EXPECT_GE(r.Right, 1024);
  win.maximized = false;
  win.client = {800, 600};
  EXPECT_FALSE(v->Resize());
  EXPECT_EQ(v->ScaleIndex(), 4);
}

TEST_F(JpegViewerTest, DraggingMovesThePaintedPicture) {
  auto v = TJpegViewer::Create(Picture(), &win, kScreen);
  ASSERT_TRUE(v);
  ASSERT_TRUE(v->ZoomIn());
  const int before = win.invalidated;
  v->MouseDown(400, 300);
  v->Pan(1000, 300);  // far right: the left edge stops at the window's left edge
  v->MouseUp(1000, 300);
  EXPECT_GT(win.invalidated, before);
  EXPECT_EQ(v->Geometry().DestRect.Left, 0);
  const QImage f = Frame(*v, win.client);
  EXPECT_LT(qRed(f.pixel(2, 300)), 12);
}

}  // namespace
}  // namespace vedalia
