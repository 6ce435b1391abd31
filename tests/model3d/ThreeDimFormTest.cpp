#include <gtest/gtest.h>
#include "common/WaitFor.h"

#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QPointer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <array>
#include <cmath>
#include <memory>

#include "ModelFiles.h"
#include "common/FakeMessages.h"
#include "model3d/ThreeDimFrm.h"
#include "model3d/uMeshView.h"

namespace vedalia {
namespace {

using Vec = std::array<float, 3>;

// Where the model's front (its -y axis, towards the viewer at the start) points on the screen.
Vec Front(const TThreeDimForm& form) {
  const auto& m = form.View()->ModelMatrix();
  return {-m[4], -m[5], -m[6]};
}

bool Pressed(QFrame* panel) { return panel->frameShape() != QFrame::NoFrame; }

class ThreeDimFormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder = dir.path() + "/";
    ASSERT_TRUE(test::WriteBox(folder + "box.gms", true));
    ASSERT_TRUE(test::WriteQuarterBitmap(folder + "box.bmp"));
    ASSERT_TRUE(test::WriteBox(folder + "plain.gms", false));
  }
  TViewerRequest Request(const QString& file) const {
    return {.MovieName = file,
            .FolderPath = folder,
            .ObjectName = "object",
            .TypeTitle = "Трёхмерная модель"};
  }
  std::unique_ptr<TThreeDimForm> Open(const QString& file) {
    auto form = std::make_unique<TThreeDimForm>(nullptr, Request(file));
    form->show();
    return form;
  }
  QTemporaryDir dir;
  QString folder;
  test::ScopedFakeMessages messages;
};

TEST_F(ThreeDimFormTest, ShowsTheModelWithOrWithoutItsBitmap) {
  auto textured = Open("box.gms");
  ASSERT_TRUE(QTest::qWaitForWindowExposed(textured.get()));
  ASSERT_TRUE(textured->View());
  EXPECT_TRUE(textured->View()->Textured());
  EXPECT_EQ(textured->windowTitle(), QString("Трёхмерная модель"));
  EXPECT_TRUE(textured->HasKeys("object", "Трёхмерная модель"));
  EXPECT_EQ(textured->size(), QSize(862, 606));
  EXPECT_EQ(textured->ModelPanel->size(), QSize(862, 561));
  EXPECT_EQ(textured->RedrawTimer->interval(), 40);
  EXPECT_TRUE(textured->RedrawTimer->isActive());

  auto plain = Open("plain.gms");
  ASSERT_TRUE(QTest::qWaitForWindowExposed(plain.get()));
  ASSERT_TRUE(plain->View());
  EXPECT_FALSE(plain->View()->Textured());
  EXPECT_TRUE(messages.shown.empty());

  // The bitmap is found whatever its letter case.
  ASSERT_TRUE(test::WriteBox(folder + "upper.gms", true));
  ASSERT_TRUE(test::WriteQuarterBitmap(folder + "UPPER.BMP"));
  auto upper = Open("upper.gms");
  ASSERT_TRUE(upper->View());
  EXPECT_TRUE(upper->View()->Textured());
}

TEST_F(ThreeDimFormTest, RotationButtonsStartSwitchAndStopTheTurn) {
  auto form = Open("plain.gms");
  ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
  // RightImg: the front turns to the right, tick by tick.
  QTest::mouseClick(form->RotImages[2], Qt::LeftButton);
  EXPECT_EQ(form->RotationMode(), 3);
  EXPECT_TRUE(Pressed(form->RotPanels[2]));
  VEDALIA_WAIT_TRUE(Front(*form)[0] > 0.2f);

  // Another button takes over and releases the first; clicking it again stops.
  QTest::mouseClick(form->RotImages[5], Qt::LeftButton);
  EXPECT_EQ(form->RotationMode(), 6);
  EXPECT_FALSE(Pressed(form->RotPanels[2]));
  EXPECT_TRUE(Pressed(form->RotPanels[5]));
  QTest::mouseClick(form->RotImages[5], Qt::LeftButton);
  EXPECT_EQ(form->RotationMode(), 0);
  EXPECT_FALSE(Pressed(form->RotPanels[5]));
  const auto stopped = form->View()->ModelMatrix();
  QSignalSpy ticks(form->RedrawTimer, &QTimer::timeout);
  VEDALIA_WAIT_TRUE(ticks.count() >= 3);
  EXPECT_EQ(form->View()->ModelMatrix(), stopped);
  // A click with the right button is no click.
  QTest::mouseClick(form->RotImages[0], Qt::RightButton);
  EXPECT_EQ(form->RotationMode(), 0);
}

TEST_F(ThreeDimFormTest, ZoomButtonsLockAtTheLimits) {
  auto form = Open("box.gms");
  ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
  EXPECT_FALSE(form->ZoomInImgLocked->isVisible());
  EXPECT_FALSE(form->ZoomOutImgLocked->isVisible());
  QTest::mousePress(form->ZoomImages[0], Qt::LeftButton);
  EXPECT_FALSE(form->ZoomInImgLocked->isVisible());
  QTest::mousePress(form->ZoomImages[0], Qt::RightButton);  // any button zooms
  EXPECT_NEAR(form->View()->CurrentZoom(), 1.69f, 1e-5f);
  EXPECT_TRUE(form->ZoomInImgLocked->isVisible());
  EXPECT_FALSE(Pressed(form->ZoomPanels[0]));  // the pressed look is over

  // The faded picture lies on top and swallows the press.
  const auto atMax = form->View()->ModelMatrix();
  QTest::mousePress(form->ZoomInImgLocked, Qt::LeftButton);
  EXPECT_EQ(form->View()->ModelMatrix(), atMax);

  QTest::mousePress(form->ZoomImages[1], Qt::LeftButton);
  EXPECT_FALSE(form->ZoomInImgLocked->isVisible());
  for (int i = 0; i < 3; ++i) QTest::mousePress(form->ZoomImages[1], Qt::LeftButton);
  EXPECT_NEAR(form->View()->CurrentZoom(), 1 / 1.69f, 1e-5f);
  EXPECT_TRUE(form->ZoomOutImgLocked->isVisible());
}

TEST_F(ThreeDimFormTest, ArrowKeysTurnTheFront) {
  auto form = Open("plain.gms");
  ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
  const float step = std::sin(4.0f * 3.14159265f / 180.0f);
  QTest::keyClick(form.get(), Qt::Key_Left);
  EXPECT_NEAR(Front(*form)[0], -step, 1e-4f);
  QTest::keyClick(form.get(), Qt::Key_Right);
  EXPECT_NEAR(Front(*form)[0], 0.0f, 1e-4f);
  QTest::keyClick(form.get(), Qt::Key_Up);
  EXPECT_NEAR(Front(*form)[1], step, 1e-4f);
  QTest::keyClick(form.get(), Qt::Key_Down);
  QTest::keyClick(form.get(), Qt::Key_Down);
  EXPECT_NEAR(Front(*form)[1], -step, 1e-4f);
}

TEST_F(ThreeDimFormTest, DraggingTiltsAndRolls) {
  auto form = Open("plain.gms");
  ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
  QWidget* surface = form->View();
  const QPoint centre(431, 280);  // the panel is 862 x 561

  // Near the centre a radial move only tilts: 20 pixels outwards turn the front 10 degrees.
  QTest::mousePress(surface, Qt::LeftButton, {}, centre + QPoint(10, 0));
  EXPECT_TRUE(form->Dragging());
  QTest::mouseMove(surface, centre + QPoint(30, 0));
  EXPECT_NEAR(Front(*form)[0], std::sin(10.0f * 3.14159265f / 180.0f), 1e-3f);
  // A one-pixel move does not tilt.
  const auto before = form->View()->ModelMatrix();
  QTest::mouseMove(surface, centre + QPoint(31, 0));
  EXPECT_EQ(form->View()->ModelMatrix(), before);
  QTest::mouseRelease(surface, Qt::LeftButton, {}, centre + QPoint(31, 0));
  EXPECT_FALSE(form->Dragging());
  QTest::mouseMove(surface, centre + QPoint(90, 0));
  EXPECT_EQ(form->View()->ModelMatrix(), before);

  // Far out, a quarter circle clockwise rolls the model's top to the right.
  QTest::mousePress(surface, Qt::LeftButton, {}, centre + QPoint(150, 0));
  QTest::mouseMove(surface, centre + QPoint(0, 150));
  const auto& m = form->View()->ModelMatrix();
  const Vec top{m[8], m[9], m[10]};  // model z, which starts pointing up
  EXPECT_GT(top[0], 0.9f);
  EXPECT_NEAR(top[1], 0.0f, 0.05f);
  QTest::mouseRelease(surface, Qt::LeftButton, {}, centre + QPoint(0, 150));

  // Only the left button drags.
  QTest::mousePress(surface, Qt::RightButton, {}, centre + QPoint(10, 0));
  EXPECT_FALSE(form->Dragging());
}

TEST_F(ThreeDimFormTest, ClosingHidesAndTheWindowComesBackAsItWas) {
  auto form = Open("box.gms");
  ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
  QPointer<TThreeDimForm> alive(form.get());
  QTest::mousePress(form->ZoomImages[0], Qt::LeftButton);
  QTest::mouseClick(form->RotImages[0], Qt::LeftButton);
  VEDALIA_WAIT_TRUE(form->View()->ModelMatrix()[0] < 0.99f * 1.3f);

  QTest::keyClick(form.get(), Qt::Key_Escape);
  EXPECT_FALSE(form->isVisible());
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  ASSERT_TRUE(alive);
  EXPECT_EQ(form->RotationMode(), 0);
  EXPECT_FALSE(Pressed(form->RotPanels[0]));
  const auto atClose = form->View()->ModelMatrix();

  form->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
  EXPECT_EQ(form->View()->ModelMatrix(), atClose);
  EXPECT_NEAR(form->View()->CurrentZoom(), 1.3f, 1e-5f);
  EXPECT_EQ(form->RotationMode(), 0);
  // The close box hides as well.
  form->close();
  EXPECT_FALSE(form->isVisible());
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(alive);
}

TEST_F(ThreeDimFormTest, ALoadFailureIsReportedAndTheWindowGoes) {
  QFile bad(folder + "bad.gms");
  ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
  bad.write("New object\nnumverts numfaces\n1 1\n\n0 0 zero\n");
  bad.close();
  // A bitmap that is none fails the load as well.
  ASSERT_TRUE(test::WriteBox(folder + "odd.gms", false));
  QFile odd(folder + "odd.bmp");
  ASSERT_TRUE(odd.open(QIODevice::WriteOnly));
  odd.write("not a bitmap");
  odd.close();

  for (const char* file : {"bad.gms", "odd.gms", "missing.gms"}) {
    messages.shown.clear();
    QPointer<TThreeDimForm> form = new TThreeDimForm(nullptr, Request(file));
    EXPECT_EQ(messages.Texts(), QStringList{"Невозможно загрузить 3D модель."}) << file;
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].kind, MessageKind::Warning);
    EXPECT_FALSE(form->View());
    form->show();  // what the player set does next: no empty window appears
    EXPECT_FALSE(form->isVisible());
    VEDALIA_WAIT_TRUE(form.isNull());
  }
}

}  // namespace
}  // namespace vedalia
