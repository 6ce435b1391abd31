#pragma once
// Triangle meshes read from GMS text files.

#include <QString>
#include <array>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

namespace vedalia {

using TVector3f = std::array<float, 3>;
using TTriangle = std::array<std::int32_t, 3>;

class TGLMultyMesh;

// One object of a file.
class TGLMesh {
 public:
  std::vector<TVector3f> Vertices;
  std::vector<TTriangle> Faces;  // 0-based indices into Vertices
  std::vector<TVector3f> FaceNormals;
  std::vector<TVector3f> VertexNormals;  // kept, not used for drawing
  std::int32_t NumVerts = 0;
  std::int32_t NumFaces = 0;
  float Scale = 1.0f;  // brings the largest coordinate to 1
  TGLMultyMesh* Owner = nullptr;
};

// Everything read from one file: its objects and the texture mapping they share.
class TGLMultyMesh {
 public:
  TGLMultyMesh();
  ~TGLMultyMesh();
  TGLMultyMesh(const TGLMultyMesh&) = delete;
  TGLMultyMesh& operator=(const TGLMultyMesh&) = delete;

  std::vector<std::unique_ptr<TGLMesh>> Meshes;
  std::vector<TVector3f> TexVertices;  // u, v, w (w unused)
  std::vector<TTriangle> TexFaces;     // per triangle, 0-based indices into TexVertices
  std::int32_t NumTexVerts = 0;
  std::int32_t NumTexFaces = 0;
  bool Textured = false;

  // Reads a model file. False (with a reason in `error`) when the file cannot be read, holds a
  // malformed number or is not a consistent model; the set is then left empty.
  bool LoadFromFile(const QString& fileName, QString* error = nullptr);
  // The same for text already in memory.
  bool LoadFromText(std::string_view text, QString* error = nullptr);

 private:
  void Clear();
};

}  // namespace vedalia
