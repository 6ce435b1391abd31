#pragma once
// Small models and textures written by the tests themselves.

#include <QImage>
#include <QString>
#include <cmath>

#include "model3d/uGmsWriter.h"
#include "model3d/uMesh.h"

namespace vedalia::test {

// A box 2 x 1.2 x 1.6 round the origin, each side mapped to the whole texture.
inline void MakeBox(TGLMultyMesh& set, bool textured) {
  auto m = std::make_unique<TGLMesh>();
  const float hx = 1.0f, hy = 0.6f, hz = 0.8f;
  for (int i = 0; i < 8; ++i) {
    const TVector3f v{(i & 1) ? hx : -hx, (i & 2) ? hy : -hy, (i & 4) ? hz : -hz};
    m->Vertices.push_back(v);
    const float len = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    m->VertexNormals.push_back({v[0] / len, v[1] / len, v[2] / len});
  }
  struct Side {
    int a, b, c, d;
    TVector3f normal;
  };
  const Side sides[6] = {{0, 2, 6, 4, {-1, 0, 0}}, {1, 5, 7, 3, {1, 0, 0}},
                         {0, 4, 5, 1, {0, -1, 0}}, {2, 3, 7, 6, {0, 1, 0}},
                         {0, 1, 3, 2, {0, 0, -1}}, {4, 6, 7, 5, {0, 0, 1}}};
  for (const Side& s : sides) {
    // Counter-clockwise seen from outside, as the two-sided lighting expects of a front face.
    m->Faces.push_back({s.a, s.d, s.c});
    m->Faces.push_back({s.a, s.c, s.b});
    m->FaceNormals.push_back(s.normal);
    m->FaceNormals.push_back(s.normal);
    if (textured) {
      set.TexFaces.push_back({0, 1, 2});
      set.TexFaces.push_back({0, 2, 3});
    }
  }
  m->NumVerts = 8;
  m->NumFaces = 12;
  set.Meshes.push_back(std::move(m));
  if (textured) {
    set.TexVertices = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
    set.NumTexVerts = 4;
    set.NumTexFaces = 12;
    set.Textured = true;
  }
}

inline bool WriteBox(const QString& path, bool textured) {
  TGLMultyMesh set;
  MakeBox(set, textured);
  return WriteGmsFile(set, path);
}

// 4 x 4 pixels: red, green (top), blue, yellow (bottom) quarters.
inline bool WriteQuarterBitmap(const QString& path) {
  QImage image(4, 4, QImage::Format_RGB32);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x)
      image.setPixel(x, y,
                     y < 2 ? (x < 2 ? qRgb(230, 30, 30) : qRgb(30, 200, 30))
                           : (x < 2 ? qRgb(30, 30, 230) : qRgb(240, 220, 20)));
  return image.save(path, "BMP");
}

}  // namespace vedalia::test
