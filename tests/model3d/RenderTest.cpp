// Frames of small models compared with pictures this project's renderer made earlier.
// Set VEDALIA_UPDATE_BASELINES=1 to write the baselines again after an intended change.

#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "ModelFiles.h"
#include "model3d/uMeshView.h"

namespace vedalia {
namespace {

constexpr int kChannelTolerance = 40;
constexpr double kDifferingShare = 0.01;

int ChannelDistance(QRgb a, QRgb b) {
  return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                   std::abs(qBlue(a) - qBlue(b))});
}

// Compares within a tolerance; on a mismatch the frame is saved beside the test for a look.
void ExpectMatchesBaseline(const QImage& frame, const QString& name) {
  const QString baselinePath =
      QStringLiteral(VEDALIA_SOURCE_DIR "/tests/model3d/baseline/%1.png").arg(name);
  if (qEnvironmentVariableIsSet("VEDALIA_UPDATE_BASELINES")) {
    ASSERT_TRUE(frame.save(baselinePath));
    return;
  }
  const QImage baseline = QImage(baselinePath).convertToFormat(QImage::Format_RGB32);
  ASSERT_FALSE(baseline.isNull()) << "no baseline " << baselinePath.toStdString();
  const QImage actual = frame.convertToFormat(QImage::Format_RGB32);
  int differing = 0;
  if (actual.size() == baseline.size()) {
    for (int y = 0; y < actual.height(); ++y)
      for (int x = 0; x < actual.width(); ++x)
        if (ChannelDistance(actual.pixel(x, y), baseline.pixel(x, y)) > kChannelTolerance)
          ++differing;
  }
  const bool same = actual.size() == baseline.size() &&
                    differing <= kDifferingShare * actual.width() * actual.height();
  if (!same) {
    const QString saved = QDir::current().filePath(name + "_actual.png");
    actual.save(saved);
    ADD_FAILURE() << name.toStdString() << ": " << differing << " pixels differ; frame saved as "
                  << saved.toStdString();
  }
}

class RenderTest : public ::testing::Test {
 protected:
  QImage Frame(bool textured) {
    const QString model = dir.filePath("box.gms");
    const QString texture = dir.filePath("box.bmp");
    EXPECT_TRUE(test::WriteBox(model, textured));
    EXPECT_TRUE(test::WriteQuarterBitmap(texture));
    QString error;
    std::unique_ptr<TMeshView> view(TMeshView::Create(
        nullptr, model, textured ? texture : QString(), 160, 120, 1.69f, 1 / 1.69f, &error));
    if (!view) {
      ADD_FAILURE() << error.toStdString();
      return {};
    }
    view->Rotate(35, 0, 1, 0);
    view->Rotate(25, 1, 0, 0);
    view->setFixedSize(160, 120);
    view->show();
    if (!QTest::qWaitForWindowExposed(view.get())) return {};
    view->ActivateContext();
    return view->grabFramebuffer();
  }
  QTemporaryDir dir;
};

TEST_F(RenderTest, UntexturedBoxIsLitWhiteOnWhite) {
  const QImage frame = Frame(false);
  ASSERT_EQ(frame.size(), QSize(160, 120));
  // Background white, the box in the middle, lit in greys.
  EXPECT_EQ(frame.pixel(2, 2) & 0xFFFFFF, 0xFFFFFFu);
  const QRgb centre = frame.pixel(80, 60);
  EXPECT_NE(centre & 0xFFFFFF, 0xFFFFFFu);
  EXPECT_EQ(qRed(centre), qBlue(centre));
  ExpectMatchesBaseline(frame, QStringLiteral("box_untextured"));
}

TEST_F(RenderTest, TexturedBoxShowsBeigeModulatedColours) {
  const QImage frame = Frame(true);
  ASSERT_EQ(frame.size(), QSize(160, 120));
  EXPECT_EQ(frame.pixel(2, 2) & 0xFFFFFF, 0xFFFFFFu);
  bool reddish = false, bluish = false;
  for (int y = 0; y < frame.height(); ++y) {
    for (int x = 0; x < frame.width(); ++x) {
      const QRgb p = frame.pixel(x, y);
      reddish |= qRed(p) > 120 && qGreen(p) < 60 && qBlue(p) < 60;
      bluish |= qBlue(p) > 80 && qRed(p) < 50 && qGreen(p) < 50;
    }
  }
  EXPECT_TRUE(reddish);
  EXPECT_TRUE(bluish);
  ExpectMatchesBaseline(frame, QStringLiteral("box_textured"));
}

}  // namespace
}  // namespace vedalia
