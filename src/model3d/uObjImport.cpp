#include "model3d/uObjImport.h"

#include <QFile>
#include <charconv>
#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

namespace vedalia {
namespace {

struct TObjError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct TCorner {
  std::int32_t v = -1, vt = -1, vn = -1;
};

std::string_view NextWord(std::string_view& line) {
  std::size_t start = line.find_first_not_of(" \t");
  if (start == std::string_view::npos) {
    line = {};
    return {};
  }
  std::size_t end = line.find_first_of(" \t", start);
  if (end == std::string_view::npos) end = line.size();
  std::string_view word = line.substr(start, end - start);
  line.remove_prefix(end);
  return word;
}

float ParseFloat(std::string_view word) {
  if (!word.empty() && word.front() == '+') word.remove_prefix(1);
  float value = 0;
  auto [ptr, ec] = std::from_chars(word.data(), word.data() + word.size(), value);
  if (ec != std::errc() || ptr != word.data() + word.size() || !std::isfinite(value))
    throw TObjError("malformed number \"" + std::string(word) + "\"");
  return value;
}

// OBJ indices are 1-based, or negative counting back from the latest element.
std::int32_t ResolveIndex(std::string_view word, std::size_t count) {
  std::int64_t n = 0;
  auto [ptr, ec] = std::from_chars(word.data(), word.data() + word.size(), n);
  if (ec != std::errc() || ptr != word.data() + word.size())
    throw TObjError("malformed index \"" + std::string(word) + "\"");
  const std::int64_t index = n > 0 ? n - 1 : std::int64_t(count) + n;
  if (n == 0 || index < 0 || index >= std::int64_t(count))
    throw TObjError("index " + std::string(word) + " out of range");
  return static_cast<std::int32_t>(index);
}

TVector3f Sub(const TVector3f& a, const TVector3f& b) {
  return {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
}

TVector3f Cross(const TVector3f& a, const TVector3f& b) {
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

bool Normalise(TVector3f& v) {
  const float len = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
  if (!(len > 0) || !std::isfinite(len)) return false;
  for (float& c : v) c /= len;
  return true;
}

}  // namespace

bool ImportObj(std::string_view text, TGLMultyMesh& set, QString* error) {
  set.Meshes.clear();
  set.TexVertices.clear();
  set.TexFaces.clear();
  set.NumTexVerts = set.NumTexFaces = 0;
  set.Textured = false;

  auto mesh = std::make_unique<TGLMesh>();
  std::vector<TVector3f> normals;
  std::vector<std::array<TCorner, 3>> triangles;
  std::size_t lineNo = 0;
  try {
    std::vector<TCorner> polygon;
    while (!text.empty()) {
      ++lineNo;
      const std::size_t lf = text.find('\n');
      std::string_view line = text.substr(0, lf);
      text.remove_prefix(lf == std::string_view::npos ? text.size() : lf + 1);
      if (const std::size_t hash = line.find('#'); hash != std::string_view::npos)
        line = line.substr(0, hash);
      while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
        line.remove_suffix(1);
      const std::string_view key = NextWord(line);
      if (key == "v" || key == "vn" || key == "vt") {
        TVector3f value{0, 0, 0};
        const int wanted = key == "vt" ? 1 : 3;
        for (int i = 0; i < 3; ++i) {
          const std::string_view word = NextWord(line);
          if (word.empty()) {
            if (i < wanted) throw TObjError("too few numbers");
            break;
          }
          value[i] = ParseFloat(word);
        }
        if (key == "v")
          mesh->Vertices.push_back(value);
        else if (key == "vn")
          normals.push_back(value);
        else
          set.TexVertices.push_back(value);
      } else if (key == "f") {
        polygon.clear();
        for (std::string_view word = NextWord(line); !word.empty(); word = NextWord(line)) {
          TCorner corner;
          const std::size_t s1 = word.find('/');
          corner.v = ResolveIndex(word.substr(0, s1), mesh->Vertices.size());
          if (s1 != std::string_view::npos) {
            std::string_view rest = word.substr(s1 + 1);
            const std::size_t s2 = rest.find('/');
            if (!rest.substr(0, s2).empty())
              corner.vt = ResolveIndex(rest.substr(0, s2), set.TexVertices.size());
            if (s2 != std::string_view::npos)
              corner.vn = ResolveIndex(rest.substr(s2 + 1), normals.size());
          }
          polygon.push_back(corner);
        }
        if (polygon.size() < 3) throw TObjError("a face needs three corners");
        for (std::size_t i = 1; i + 1 < polygon.size(); ++i)
          triangles.push_back({polygon[0], polygon[i], polygon[i + 1]});
      }
      // Groups, objects, materials and smoothing make no difference to the mesh.
    }
    if (triangles.empty()) throw TObjError("the file holds no faces");
  } catch (const TObjError& e) {
    if (error) *error = QStringLiteral("line %1: %2").arg(lineNo).arg(QString::fromUtf8(e.what()));
    return false;
  }

  const std::size_t nv = mesh->Vertices.size();
  mesh->VertexNormals.assign(nv, TVector3f{0, 0, 0});
  std::vector<bool> named(nv, false);
  bool anyTexture = false;
  for (const auto& t : triangles) {
    TVector3f n = Cross(Sub(mesh->Vertices[t[1].v], mesh->Vertices[t[0].v]),
                        Sub(mesh->Vertices[t[2].v], mesh->Vertices[t[0].v]));
    const TVector3f weighted = n;  // area-weighted for the vertex normals
    if (!Normalise(n)) {
      // A degenerate triangle: take the file's normal of a corner, else any direction.
      n = {0, 0, 1};
      for (const TCorner& c : t)
        if (c.vn >= 0) n = normals[c.vn];
      if (!Normalise(n)) n = {0, 0, 1};
    }
    mesh->Faces.push_back({t[0].v, t[1].v, t[2].v});
    mesh->FaceNormals.push_back(n);
    for (const TCorner& c : t) {
      anyTexture |= c.vt >= 0;
      if (c.vn >= 0 && !named[c.v]) {
        named[c.v] = true;
        mesh->VertexNormals[c.v] = normals[c.vn];
      } else if (!named[c.v]) {
        for (int k = 0; k < 3; ++k) mesh->VertexNormals[c.v][k] += weighted[k];
      }
    }
  }
  for (auto& n : mesh->VertexNormals)
    if (!Normalise(n)) n = {0, 0, 1};

  if (anyTexture) {
    // Corners without coordinates get an extra (0, 0) texture vertex.
    std::int32_t none = -1;
    for (const auto& t : triangles) {
      TTriangle tf{};
      for (int k = 0; k < 3; ++k) {
        if (t[k].vt < 0 && none < 0) {
          none = static_cast<std::int32_t>(set.TexVertices.size());
          set.TexVertices.push_back({0, 0, 0});
        }
        tf[k] = t[k].vt >= 0 ? t[k].vt : none;
      }
      set.TexFaces.push_back(tf);
    }
    set.NumTexVerts = static_cast<std::int32_t>(set.TexVertices.size());
    set.NumTexFaces = static_cast<std::int32_t>(set.TexFaces.size());
    set.Textured = true;
  } else {
    set.TexVertices.clear();
  }
  mesh->NumVerts = static_cast<std::int32_t>(nv);
  mesh->NumFaces = static_cast<std::int32_t>(mesh->Faces.size());
  float m = 0;
  for (const auto& v : mesh->Vertices) m = std::max({m, v[0], v[1], v[2]});
  mesh->Scale = m > 0 ? 1.0f / m : 1.0f;
  mesh->Owner = &set;
  set.Meshes.push_back(std::move(mesh));
  return true;
}

bool ImportObjFile(const QString& fileName, TGLMultyMesh& set, QString* error) {
  QFile file(fileName);
  if (!file.open(QIODevice::ReadOnly)) {
    if (error) *error = QStringLiteral("cannot open %1: %2").arg(fileName, file.errorString());
    return false;
  }
  const QByteArray bytes = file.readAll();
  return ImportObj(std::string_view(bytes.constData(), bytes.size()), set, error);
}

}  // namespace vedalia
