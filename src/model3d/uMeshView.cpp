#include "model3d/uMeshView.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <QOpenGLContext>
#include <QSurfaceFormat>
#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>

namespace vedalia {
namespace {

// Light beige that the texture is modulated with.
constexpr float kTexturedColour[3] = {235.0f / 256.0f, 222.0f / 256.0f, 173.0f / 256.0f};

QSurfaceFormat ViewFormat() {
  QSurfaceFormat format = QSurfaceFormat::defaultFormat();
  format.setRenderableType(QSurfaceFormat::OpenGL);
  format.setProfile(QSurfaceFormat::CompatibilityProfile);
  format.setVersion(2, 1);
  format.setSwapBehavior(QSurfaceFormat::DoubleBuffer);
  format.setRedBufferSize(8);
  format.setGreenBufferSize(8);
  format.setBlueBufferSize(8);
  // Drawing relies on depth testing, so the buffer is asked for by name.
  format.setDepthBufferSize(24);
  return format;
}

}  // namespace

TMeshView::TMeshView() {
  setFormat(ViewFormat());
  FModelMatrix = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
}

TMeshView::~TMeshView() {
  // The base class destroys the context after this object is gone: free the objects now.
  if (!context()) return;
  disconnect(context(), nullptr, this, nullptr);
  ReleaseGL();
}

void TMeshView::ReleaseGL() {
  makeCurrent();
  FTexture.Release();
  FBuffer.Release();
  doneCurrent();
}

TMeshView* TMeshView::Create(QWidget* parent, const QString& meshPath, const QString& texturePath,
                             int width, int height, float maxZoom, float minZoom, QString* error) {
  std::unique_ptr<TMeshView> view(new TMeshView());
  if (!view->FMesh.LoadFromFile(meshPath, error)) return nullptr;
  if (!texturePath.isEmpty()) {
    if (!view->FTexture.LoadFromFile(texturePath, error)) return nullptr;
    view->FTextured = true;
  }
  view->FMaxZoom = maxZoom;
  view->FMinZoom = minZoom;
  view->FZoom = 1.0f;
  view->FWidth = width;
  view->FHeight = height;
  view->resize(width, height);
  // Model +z points up on the screen, +y away from the viewer.
  view->Rotate(-90.0f, 1.0f, 0.0f, 0.0f);
  view->setParent(parent);
  return view.release();
}

void TMeshView::Draw() { update(); }

void TMeshView::Resize(int width, int height) {
  FWidth = width;
  FHeight = height;
  // The viewport follows the widget's own size; it is set before every frame.
}

void TMeshView::MultiplyLeft(const double a[3][3]) {
  TMatrix m = FModelMatrix;
  for (int col = 0; col < 4; ++col) {
    for (int row = 0; row < 3; ++row) {
      double sum = 0;
      for (int k = 0; k < 3; ++k) sum += a[row][k] * FModelMatrix[col * 4 + k];
      m[col * 4 + row] = static_cast<float>(sum);
    }
  }
  FModelMatrix = m;
}

void TMeshView::Rotate(float angle, float x, float y, float z) {
  const double len = std::sqrt(double(x) * x + double(y) * y + double(z) * z);
  if (!(len > 1e-4) || !std::isfinite(len) || !std::isfinite(angle)) return;
  const double ax = x / len, ay = y / len, az = z / len;
  const double rad = angle * std::numbers::pi / 180.0;
  const double c = std::cos(rad), s = std::sin(rad), t = 1.0 - c;
  const double r[3][3] = {{ax * ax * t + c, ax * ay * t - az * s, ax * az * t + ay * s},
                          {ay * ax * t + az * s, ay * ay * t + c, ay * az * t - ax * s},
                          {az * ax * t - ay * s, az * ay * t + ax * s, az * az * t + c}};
  MultiplyLeft(r);
}

bool TMeshView::CanZoom(float factor) const {
  // Limits are usually powers of the step (1.3 * 1.3); in floats, two steps of 1 / 1.3 land an
  // ulp below 1 / 1.69, so the inclusive bounds allow for rounding, far less than any step.
  constexpr double kSlack = 1e-4;
  const double z = double(FZoom) * factor;
  return FMinZoom * (1.0 - kSlack) <= z && z <= FMaxZoom * (1.0 + kSlack);
}

void TMeshView::Zoom(float factor) {
  if (!CanZoom(factor)) return;
  FZoom *= factor;
  const double s[3][3] = {{factor, 0, 0}, {0, factor, 0}, {0, 0, factor}};
  MultiplyLeft(s);
}

void TMeshView::ActivateContext() {
  // The widget keeps one context for its life; activation only restores the state in it.
  if (!context()) return;
  makeCurrent();
  SetDrawingState();
  doneCurrent();
}

void TMeshView::SetDrawingState() {
  glClearColor(1.0f, 1.0f, 1.0f, 1.0f);
  glEnable(GL_DEPTH_TEST);
  glEnable(GL_LIGHTING);
  glEnable(GL_LIGHT0);
  glEnable(GL_COLOR_MATERIAL);
  glEnable(GL_NORMALIZE);
  if (FTextured)
    glColor3fv(kTexturedColour);
  else
    glColor3f(1.0f, 1.0f, 1.0f);
  glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, 1);
}

void TMeshView::initializeGL() {
  // A new context (the first, or after the widget moved to another window) holds none of the
  // objects made in an earlier one; that one freed them as it went.
  FTexture.Forget();
  FBuffer.Forget();
  connect(context(), &QOpenGLContext::aboutToBeDestroyed, this, &TMeshView::ReleaseGL,
          Qt::DirectConnection);
  SetDrawingState();
}

void TMeshView::resizeGL(int w, int h) { Resize(w, h); }

void TMeshView::paintGL() {
  if (FTextured) FTexture.Apply();
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  // A minimised window has no height; keep the aspect ratio finite.
  gluPerspective(40.0, double(FWidth) / std::max(FHeight, 1), 0.1, 10.0);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glTranslatef(0.0f, 0.0f, -3.0f);
  glMultMatrixf(FModelMatrix.data());
  glPushMatrix();
  FBuffer.Draw(FMesh);
  glPopMatrix();
}

}  // namespace vedalia
