#pragma once
// The first object of a mesh set as one vertex buffer, built once and drawn each frame with the
// same flat shading as triangle-by-triangle drawing: each corner carries its face's normal.

#include <QtGui/qopengl.h>

#include <cstdint>
#include <vector>

#include "model3d/uMesh.h"

namespace vedalia {

// Interleaved corners: position, face normal and, when textured, (u, 1 - v).
struct TFlatTriangles {
  std::vector<float> Data;
  int Stride = 6;  // floats per corner: 6, or 8 with texture coordinates
  std::int64_t Corners = 0;
};

// A triangle whose vertex or texture vertex lies outside its array is left out.
TFlatTriangles FlattenFirstObject(const TGLMultyMesh& set);

class TMeshBuffer {
 public:
  // Draws the first object, scaled by its Scale, in the current context; the buffer is built
  // on the first call in a context and reused after.
  void Draw(const TGLMultyMesh& set);
  // Frees the buffer; needs the context it was built in to be current.
  void Release();
  // Forgets the buffer without freeing it, once its context is gone.
  void Forget();

 private:
  GLuint FBuffer = 0;
  GLsizei FCorners = 0;
  int FStride = 6;
};

}  // namespace vedalia
