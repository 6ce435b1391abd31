#include "model3d/uGmsWriter.h"

#include <charconv>

#include "platform/FileReplace.h"

namespace vedalia {
namespace {

template <typename T>
void AppendNumber(std::string& out, T value) {
  char buf[32];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value);
  out.append(buf, ec == std::errc() ? end : buf);
}

template <typename Triple>
void AppendTriples(std::string& out, const std::vector<Triple>& rows, int offset) {
  for (const auto& r : rows) {
    for (int i = 0; i < 3; ++i) {
      if (i) out += ' ';
      AppendNumber(out, r[i] + offset);
    }
    out += '\n';
  }
}

}  // namespace

std::string GmsText(const TGLMultyMesh& set) {
  std::string out;
  for (std::size_t i = 0; i < set.Meshes.size(); ++i) {
    const TGLMesh& m = *set.Meshes[i];
    out += "New object\nObject ";
    AppendNumber(out, i + 1);
    out += "\nnumverts numfaces\n";
    AppendNumber(out, m.Vertices.size());
    out += ' ';
    AppendNumber(out, m.Faces.size());
    out += "\nMesh vertices:\n";
    AppendTriples(out, m.Vertices, 0);
    out += "end vertices\nMesh faces:\n";
    AppendTriples(out, m.Faces, 1);
    out += "end faces\nMesh face normals:\n";
    AppendTriples(out, m.FaceNormals, 0);
    out += "end face normals\nMesh vertex normals:\n";
    AppendTriples(out, m.VertexNormals, 0);
    out += "end vertex normals\nend mesh\n";
  }
  if (set.Textured) {
    out += "New Texture:\nnumtverts numtfaces\n";
    AppendNumber(out, set.TexVertices.size());
    out += ' ';
    AppendNumber(out, set.TexFaces.size());
    out += "\nTexture vertices:\n";
    AppendTriples(out, set.TexVertices, 0);
    out += "end texture vertices\nTexture faces:\n";
    AppendTriples(out, set.TexFaces, 1);
    out += "end texture faces\n";
  }
  return out;
}

bool WriteGmsFile(const TGLMultyMesh& set, const QString& fileName, QString* error) {
  const std::string text = GmsText(set);
  QString why;
  if (ReplaceFileContents(fileName, QByteArrayView(text.data(), qsizetype(text.size())), &why))
    return true;
  if (error) *error = QStringLiteral("cannot write %1: %2").arg(fileName, why);
  return false;
}

}  // namespace vedalia
