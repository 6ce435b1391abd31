#include "model3d/uMeshBuffer.h"

#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <algorithm>
#include <limits>

namespace vedalia {

TFlatTriangles FlattenFirstObject(const TGLMultyMesh& set) {
  TFlatTriangles flat;
  if (set.Meshes.empty()) return flat;
  const TGLMesh& m = *set.Meshes.front();
  flat.Stride = set.Textured ? 8 : 6;
  const std::size_t nv = m.Vertices.size();
  const std::size_t ntv = set.TexVertices.size();
  const std::size_t nf = std::min(
      {m.Faces.size(), m.FaceNormals.size(), set.Textured ? set.TexFaces.size() : m.Faces.size()});
  flat.Data.reserve(nf * 3 * flat.Stride);
  for (std::size_t i = 0; i < nf; ++i) {
    const TTriangle& f = m.Faces[i];
    bool inside = true;
    for (int j = 0; j < 3; ++j) {
      inside &= static_cast<std::size_t>(f[j]) < nv;
      if (set.Textured) inside &= static_cast<std::size_t>(set.TexFaces[i][j]) < ntv;
    }
    if (!inside) continue;
    for (int j = 0; j < 3; ++j) {
      const TVector3f& p = m.Vertices[f[j]];
      const TVector3f& n = m.FaceNormals[i];
      flat.Data.insert(flat.Data.end(), {p[0], p[1], p[2], n[0], n[1], n[2]});
      if (set.Textured) {
        const TVector3f& t = set.TexVertices[set.TexFaces[i][j]];
        // Texture rows run top-down in the bitmap, v bottom-up in the model.
        flat.Data.insert(flat.Data.end(), {t[0], 1.0f - t[1]});
      }
    }
    flat.Corners += 3;
  }
  return flat;
}

void TMeshBuffer::Draw(const TGLMultyMesh& set) {
  QOpenGLContext* context = QOpenGLContext::currentContext();
  if (!context || set.Meshes.empty()) return;
  QOpenGLFunctions* gl = context->functions();
  if (!FBuffer) {
    TFlatTriangles flat = FlattenFirstObject(set);
    const auto bytes = std::int64_t(flat.Data.size()) * std::int64_t(sizeof(float));
    if (flat.Corners == 0 || flat.Corners > std::numeric_limits<GLsizei>::max() ||
        bytes > std::numeric_limits<GLsizeiptr>::max())
      return;
    gl->glGenBuffers(1, &FBuffer);
    gl->glBindBuffer(GL_ARRAY_BUFFER, FBuffer);
    gl->glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(bytes), flat.Data.data(), GL_STATIC_DRAW);
    FCorners = GLsizei(flat.Corners);
    FStride = flat.Stride;
  } else {
    gl->glBindBuffer(GL_ARRAY_BUFFER, FBuffer);
  }
  const float s = set.Meshes.front()->Scale;
  glScalef(s, s, s);
  const GLsizei stride = GLsizei(FStride * sizeof(float));
  glEnableClientState(GL_VERTEX_ARRAY);
  glEnableClientState(GL_NORMAL_ARRAY);
  glVertexPointer(3, GL_FLOAT, stride, nullptr);
  glNormalPointer(GL_FLOAT, stride, reinterpret_cast<const void*>(3 * sizeof(float)));
  if (FStride == 8) {
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glTexCoordPointer(2, GL_FLOAT, stride, reinterpret_cast<const void*>(6 * sizeof(float)));
  }
  glDrawArrays(GL_TRIANGLES, 0, FCorners);
  glDisableClientState(GL_TEXTURE_COORD_ARRAY);
  glDisableClientState(GL_NORMAL_ARRAY);
  glDisableClientState(GL_VERTEX_ARRAY);
  gl->glBindBuffer(GL_ARRAY_BUFFER, 0);
}

void TMeshBuffer::Release() {
  if (QOpenGLContext* context = QOpenGLContext::currentContext(); context && FBuffer)
    context->functions()->glDeleteBuffers(1, &FBuffer);
  Forget();
}

void TMeshBuffer::Forget() {
  FBuffer = 0;
  FCorners = 0;
}

}  // namespace vedalia
