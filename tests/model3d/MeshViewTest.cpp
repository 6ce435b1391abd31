#include <gtest/gtest.h>

#include <GL/gl.h>

#include <QFile>
#include <QImage>
#include <QOpenGLContext>
#include <QTemporaryDir>
#include <QTest>
#include <array>
#include <cmath>
#include <memory>

#include "ModelFiles.h"
#include "model3d/uMeshView.h"

namespace vedalia {
namespace {

using Vec = std::array<float, 3>;

// Where the view's matrix takes a model direction (eye coordinates).
Vec Apply(const TMeshView::TMatrix& m, Vec v) {
  Vec r{};
  for (int row = 0; row < 3; ++row) r[row] = m[row] * v[0] + m[4 + row] * v[1] + m[8 + row] * v[2];
  return r;
}

void ExpectNear(Vec actual, Vec expected, float tolerance = 1e-5f) {
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(actual[i], expected[i], tolerance) << "component " << i;
}

class MeshViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    model = dir.filePath("box.gms");
    texture = dir.filePath("box.bmp");
    ASSERT_TRUE(test::WriteBox(model, true));
    ASSERT_TRUE(test::WriteQuarterBitmap(texture));
  }
  std::unique_ptr<TMeshView> Make(const QString& tex = QString()) {
    QString error;
    std::unique_ptr<TMeshView> view(
        TMeshView::Create(nullptr, model, tex, 96, 72, 1.3f * 1.3f, 1.0f / (1.3f * 1.3f), &error));
    EXPECT_TRUE(view) << error.toStdString();
    return view;
  }
  QTemporaryDir dir;
  QString model, texture;
};

TEST_F(MeshViewTest, StartsTurnedSoThatModelZPointsUp) {
  auto view = Make();
  ASSERT_TRUE(view);
  const TMeshView::TMatrix& m = view->ModelMatrix();
  const TMeshView::TMatrix expected = {1, 0, 0, 0, 0, 0, -1, 0, 0, 1, 0, 0, 0, 0, 0, 1};
  for (int i = 0; i < 16; ++i) EXPECT_NEAR(m[i], expected[i], 1e-6f) << i;
  EXPECT_EQ(view->CurrentZoom(), 1.0f);
  EXPECT_FALSE(view->Textured());
  EXPECT_EQ(view->ViewWidth(), 96);
  EXPECT_EQ(view->ViewHeight(), 72);
  EXPECT_TRUE(Make(texture)->Textured());
}

TEST_F(MeshViewTest, RotationsTurnAboutFixedScreenAxesInOrder) {
  auto view = Make();
  ASSERT_TRUE(view);
  view->Rotate(90, 0, 1, 0);  // about the screen's vertical axis first
  view->Rotate(90, 1, 0, 0);  // then about its horizontal axis
  // Model up (z) went nowhere, then turned towards the viewer; model x went to the back,
  // then up. Turning about the model's own axes would give other directions.
  ExpectNear(Apply(view->ModelMatrix(), {0, 0, 1}), {0, 0, 1});
  ExpectNear(Apply(view->ModelMatrix(), {1, 0, 0}), {0, 1, 0});

  // An axis of no length turns nothing; axes need not be unit length.
  const auto before = view->ModelMatrix();
  view->Rotate(30, 0, 0, 0);
  EXPECT_EQ(view->ModelMatrix(), before);
  view->Rotate(90, 0, 0, 5);
  ExpectNear(Apply(view->ModelMatrix(), {1, 0, 0}), {-1, 0, 0});
}

TEST_F(MeshViewTest, RotationAgreesWithOpenGL) {
  auto view = Make();
  ASSERT_TRUE(view);
  view->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
  const float turns[][4] = {{37, 1, 2, 3}, {-120, 0, 1, 0}, {4, -1, 0.5f, 0}, {250, 0, 0, -1}};
  for (const auto& t : turns) {
    TMeshView::TMatrix previous = view->ModelMatrix();
    view->Rotate(t[0], t[1], t[2], t[3]);
    view->makeCurrent();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glRotatef(t[0], t[1], t[2], t[3]);
    glMultMatrixf(previous.data());
    TMeshView::TMatrix gl{};
    glGetFloatv(GL_MODELVIEW_MATRIX, gl.data());
    view->doneCurrent();
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(view->ModelMatrix()[i], gl[i], 1e-5f) << i;
  }
}

TEST_F(MeshViewTest, ZoomStopsAtItsInclusiveLimits) {
  auto view = Make();
  ASSERT_TRUE(view);
  const float in = 1.3f, out = 1.0f / 1.3f;
  EXPECT_TRUE(view->CanZoom(in));
  view->Zoom(in);
  view->Zoom(in);
  EXPECT_NEAR(view->CurrentZoom(), 1.69f, 1e-5f);
  EXPECT_FALSE(view->CanZoom(in));
  const auto atMax = view->ModelMatrix();
  view->Zoom(in);
  EXPECT_EQ(view->ModelMatrix(), atMax);
  EXPECT_NEAR(view->CurrentZoom(), 1.69f, 1e-5f);
  // The zoom scales the model's directions uniformly.
  ExpectNear(Apply(atMax, {0, 0, 1}), {0, 1.69f, 0});

  for (int i = 0; i < 4; ++i) {
    EXPECT_TRUE(view->CanZoom(out)) << "step " << i;
    view->Zoom(out);
  }
  EXPECT_NEAR(view->CurrentZoom(), 1.0f / 1.69f, 1e-5f);
  const auto atMin = view->ModelMatrix();
  EXPECT_FALSE(view->CanZoom(out));
  view->Zoom(out);
  EXPECT_EQ(view->ModelMatrix(), atMin);
  EXPECT_TRUE(view->CanZoom(in));
}

TEST_F(MeshViewTest, LoadFailuresGiveNoView) {
  QString error;
  auto create = [&](const QString& mesh, const QString& tex) {
    error.clear();
    return std::unique_ptr<TMeshView>(
        TMeshView::Create(nullptr, mesh, tex, 10, 10, 1.69f, 1 / 1.69f, &error));
  };
  EXPECT_FALSE(create(dir.filePath("missing.gms"), QString()));
  EXPECT_FALSE(error.isEmpty());
  QFile bad(dir.filePath("bad.gms"));
  ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
  bad.write("New object\nnumverts numfaces\n3 x\n");
  bad.close();
  EXPECT_FALSE(create(bad.fileName(), QString()));
  // The model is fine, its texture is not a bitmap.
  EXPECT_FALSE(create(model, model));
  EXPECT_FALSE(create(model, dir.filePath("missing.bmp")));
  EXPECT_TRUE(create(model, texture));
}

TEST_F(MeshViewTest, ActivationKeepsOneContextPerView) {
  auto first = Make(texture);
  auto second = Make();
  ASSERT_TRUE(first && second);
  first->show();
  second->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(first.get()));
  ASSERT_TRUE(QTest::qWaitForWindowExposed(second.get()));
  QOpenGLContext* context = first->context();
  ASSERT_TRUE(context);
  EXPECT_NE(context, second->context());
  for (int i = 0; i < 50; ++i) first->ActivateContext();
  EXPECT_EQ(first->context(), context);
  // Frames of the textured view leave the other view's drawing untextured, in greys.
  second->Rotate(60, 0, 1, 0);
  second->Rotate(30, 1, 0, 0);
  first->grabFramebuffer();
  const QImage plain = second->grabFramebuffer();
  int shaded = 0;
  for (int y = 0; y < plain.height(); ++y) {
    for (int x = 0; x < plain.width(); ++x) {
      const QRgb p = plain.pixel(x, y);
      ASSERT_LE(std::abs(qRed(p) - qBlue(p)), 2) << x << "," << y;
      ASSERT_LE(std::abs(qRed(p) - qGreen(p)), 2) << x << "," << y;
      shaded += qRed(p) < 230;
    }
  }
  EXPECT_GT(shaded, 100);
}

TEST_F(MeshViewTest, BitmapsWiderThanTheContextTakesAreStillShown) {
  // Wider than any software or hardware texture limit: uploaded resampled, not lost.
  QImage wide(65537, 2, QImage::Format_RGB32);
  wide.fill(qRgb(255, 0, 0));
  const QString path = dir.filePath("wide.bmp");
  ASSERT_TRUE(wide.save(path, "BMP"));
  auto view = Make(path);
  ASSERT_TRUE(view);
  view->Rotate(30, 0, 1, 0);
  view->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
  const QImage frame = view->grabFramebuffer();
  const QRgb centre = frame.pixel(frame.width() / 2, frame.height() / 2);
  // Red modulated by beige, not beige alone.
  EXPECT_GT(qRed(centre), 100);
  EXPECT_LT(qGreen(centre), 30);
  EXPECT_LT(qBlue(centre), 30);
}

}  // namespace
}  // namespace vedalia
