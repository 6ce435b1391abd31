#pragma once
// An OpenGL drawing surface for one model: a fixed camera, the model turned and zoomed in front
// of it by a matrix of its own, drawn when asked.

#include <QOpenGLWidget>
#include <QString>
#include <array>
#include <cstdint>

#include "model3d/uMesh.h"
#include "model3d/uMeshBuffer.h"
#include "model3d/uTextureGL.h"

namespace vedalia {

class TMeshView : public QOpenGLWidget {
  Q_OBJECT

 public:
  using TMatrix = std::array<float, 16>;  // column-major, as OpenGL keeps it

  // Loads the model and, when `texturePath` is not empty, its texture, and returns a view of
  // w x h pixels owned by `parent`; null (with the reason in `error`) when loading fails.
  static TMeshView* Create(QWidget* parent, const QString& meshPath, const QString& texturePath,
                           int width, int height, float maxZoom, float minZoom,
                           QString* error = nullptr);
  ~TMeshView() override;

  // Asks for a frame; it is drawn in this view's own context and shown.
  void Draw();
  // The client size used for the aspect ratio.
  void Resize(int width, int height);
  // Turns the model by `angle` degrees about the axis (x, y, z) given in screen coordinates.
  void Rotate(float angle, float x, float y, float z);
  // Whether Zoom(factor) keeps the zoom within the inclusive limits.
  bool CanZoom(float factor) const;
  void Zoom(float factor);
  // Restores the drawing state in this view's context (after showing or activation).
  void ActivateContext();

  float CurrentZoom() const { return FZoom; }
  float MaxZoom() const { return FMaxZoom; }
  float MinZoom() const { return FMinZoom; }
  const TMatrix& ModelMatrix() const { return FModelMatrix; }
  bool Textured() const { return FTextured; }
  const TGLMultyMesh& Mesh() const { return FMesh; }
  int ViewWidth() const { return FWidth; }
  int ViewHeight() const { return FHeight; }

 protected:
  void initializeGL() override;
  void resizeGL(int w, int h) override;
  void paintGL() override;

 private:
  TMeshView();
  void SetDrawingState();
  // Frees the buffer and texture objects while their context is still there.
  void ReleaseGL();
  // M = A x M, with A a 3x3 linear map given row by row.
  void MultiplyLeft(const double a[3][3]);

  std::int32_t FWidth = 0;
  std::int32_t FHeight = 0;
  float FZoom = 1.0f;
  float FMaxZoom = 1.0f;
  float FMinZoom = 1.0f;
  TMatrix FModelMatrix{};
  TGLMultyMesh FMesh;
  TTextureGL FTexture;
  TMeshBuffer FBuffer;
  bool FTextured = false;
};

}  // namespace vedalia
