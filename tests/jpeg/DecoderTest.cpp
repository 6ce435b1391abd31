#include <gtest/gtest.h>

#include <cstdlib>

#include "TestJpeg.h"
#include "viewers/uJpegDecoder.h"

namespace vedalia {
namespace {

using test::JpegKind;
using test::MakeJpeg;

// Channel values of the test pattern at (x, y) of a w x h picture, within JPEG loss.
void ExpectPattern(const QImage& img, int x, int y, int w, int h) {
  const QRgb p = img.pixel(x, y);
  EXPECT_NEAR(qRed(p), x * 255 / w, 12) << x << "," << y;
  EXPECT_NEAR(qGreen(p), y * 255 / h, 12) << x << "," << y;
  EXPECT_NEAR(qBlue(p), 0, 12) << x << "," << y;
}

TEST(JpegDecoder, EveryStepHasTheScaledSizeAndTheSameContent) {
  const QByteArray jpeg = MakeJpeg(1001, 750);
  TJpegSize full;
  ASSERT_TRUE(ReadJpegSize(jpeg, full));
  EXPECT_EQ(full, (TJpegSize{1001, 750}));
  for (int step = 1; step <= 4; ++step) {
    const TJpegDecodeResult r = DecodeJpeg(jpeg, ScaleDenominator(step));
    ASSERT_TRUE(r.ok()) << r.Error.toStdString();
    const TJpegSize expected = ScaledSize(full, step);
    EXPECT_EQ(r.Image.width(), expected.Width) << step;
    EXPECT_EQ(r.Image.height(), expected.Height) << step;
    // The same relative spot shows the same colour at every step.
    ExpectPattern(r.Image, r.Image.width() / 2, r.Image.height() / 4, r.Image.width(),
                  r.Image.height());
  }
  const TJpegDecodeResult smooth = DecodeJpeg(MakeJpeg(300, 200, JpegKind::Rgb, true), 1, true);
  ASSERT_TRUE(smooth.ok());
  ExpectPattern(smooth.Image, 150, 150, 300, 200);
}

TEST(JpegDecoder, GreyAndCmykPicturesComeOutAsRgb) {
  const TJpegDecodeResult grey = DecodeJpeg(MakeJpeg(200, 100, JpegKind::Gray), 2);
  ASSERT_TRUE(grey.ok());
  EXPECT_EQ(grey.Image.size(), QSize(100, 50));
  const QRgb g = grey.Image.pixel(50, 25);
  EXPECT_EQ(qRed(g), qGreen(g));
  EXPECT_EQ(qGreen(g), qBlue(g));
  EXPECT_NEAR(qRed(g), (127 + 127) / 2, 12);

  // Inks stored plainly and Adobe's inverted inks give the same colours.
  for (JpegKind kind : {JpegKind::Cmyk, JpegKind::AdobeCmyk}) {
    const TJpegDecodeResult r = DecodeJpeg(MakeJpeg(200, 100, kind), 1);
    ASSERT_TRUE(r.ok()) << r.Error.toStdString();
    ExpectPattern(r.Image, 150, 20, 200, 100);
    ExpectPattern(r.Image, 20, 80, 200, 100);
  }
}

TEST(JpegDecoder, BrokenInputIsAnErrorNotACrash) {
  TJpegSize size;
  QString error;
  EXPECT_FALSE(ReadJpegSize(QByteArray(), size, &error));
  EXPECT_FALSE(error.isEmpty());
  EXPECT_FALSE(ReadJpegSize(QByteArray("GIF89a not a jpeg at all"), size));
  const QByteArray jpeg = MakeJpeg(64, 64);
  EXPECT_FALSE(ReadJpegSize(jpeg.left(40), size));  // cut inside the header
  EXPECT_FALSE(DecodeJpeg(jpeg.left(40), 1).ok());
  EXPECT_FALSE(DecodeJpeg(QByteArray(1000, '\xFF'), 8).ok());
  EXPECT_FALSE(DecodeJpeg(test::Scrambled(jpeg), 1).ok());
}

TEST(JpegDecoder, TruncatedScanShowsWhatArrived) {
  const QByteArray jpeg = MakeJpeg(400, 400);
  const TJpegDecodeResult r = DecodeJpeg(jpeg.left(jpeg.size() * 6 / 10), 1);
  ASSERT_TRUE(r.ok()) << r.Error.toStdString();
  EXPECT_EQ(r.Image.size(), QSize(400, 400));
  ExpectPattern(r.Image, 200, 20, 400, 400);
}

TEST(JpegDecoder, AbsurdSizesAreRefusedBeforeAnyAllocation) {
  const QByteArray small = MakeJpeg(16, 16);
  TJpegSize size;
  QString error;
  // 60000 x 60000 x 4 bytes is far beyond the limit.
  EXPECT_FALSE(ReadJpegSize(test::WithClaimedSize(small, 60000, 60000), size, &error));
  EXPECT_FALSE(error.isEmpty());
  EXPECT_FALSE(DecodeJpeg(test::WithClaimedSize(small, 60000, 60000), 8).ok());
  // Just above and just within the limit.
  EXPECT_FALSE(ReadJpegSize(test::WithClaimedSize(small, 16385, 8193), size));
  ASSERT_TRUE(ReadJpegSize(test::WithClaimedSize(small, 16384, 8192), size));
  EXPECT_EQ(size, (TJpegSize{16384, 8192}));
}

}  // namespace
}  // namespace vedalia
