// gms-from-model (also gms-from-obj): converts a model of any format Assimp reads (OBJ, PLY,
// OFF, STL, 3DS, glTF, ...) into the GMS text the 3D viewer reads, with its texture written
// beside it as the bitmap the viewer looks for.

#include <assimp/DefaultIOSystem.h>
#include <assimp/MemoryIOWrapper.h>
#include <assimp/material.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <assimp/Importer.hpp>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QTextStream>
#include <cmath>
#include <iostream>
#include <memory>

#include "CourseCommand.h"
#include "model3d/uGmsWriter.h"

namespace vedalia::course {
namespace {

// The viewer draws every triangle of a model on each frame; beyond these a model is no longer
// one a classroom machine turns smoothly, and a file that claims more is refused up front.
constexpr qint64 kMaxVertices = 2'000'000;
constexpr qint64 kMaxTriangles = 2'000'000;
constexpr qint64 kMaxFileBytes = qint64(512) << 20;

// Counts some formats declare in their first lines; refused before the importer reserves
// memory for them. True when nothing there exceeds the limits.
bool DeclaredCountsFit(const QString& path, std::string& error) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return true;  // the importer reports it
  const QString suffix = QFileInfo(path).suffix().toLower();
  const qint64 size = file.size();
  auto tooMany = [&](qint64 vertices, qint64 faces) {
    if (vertices <= kMaxVertices && faces <= kMaxTriangles && vertices >= 0 && faces >= 0)
      return false;
    error = "the file declares " + std::to_string(vertices) + " vertices and " +
            std::to_string(faces) + " faces; at most " + std::to_string(kMaxVertices) + " and " +
            std::to_string(kMaxTriangles) + " are converted";
    return true;
  };
  if (suffix == QLatin1String("stl")) {
    const QByteArray head = file.read(84);
    if (head.size() == 84 && !head.startsWith("solid")) {
      const auto* p = reinterpret_cast<const unsigned char*>(head.constData()) + 80;
      const qint64 n = qint64(p[0]) | qint64(p[1]) << 8 | qint64(p[2]) << 16 | qint64(p[3]) << 24;
      if (tooMany(3 * n, n)) return false;
      if (84 + 50 * n > size) return error = "the file is shorter than its triangles", false;
    }
    return true;
  }
  QTextStream in(&file);
  qint64 vertices = 0, faces = 0;
  if (suffix == QLatin1String("ply")) {
    for (int i = 0; i < 200 && !in.atEnd(); ++i) {
      const QStringList w = in.readLine().simplified().split(QLatin1Char(' '));
      if (w.value(0) == QLatin1String("end_header")) break;
      if (w.value(0) != QLatin1String("element") || w.size() < 3) continue;
      bool ok = false;
      const qint64 n = w[2].toLongLong(&ok);
      if (!ok) return error = "malformed element count in the header", false;
      if (w[1] == QLatin1String("vertex")) vertices = n;
      if (w[1] == QLatin1String("face")) faces = n;
    }
  } else if (suffix == QLatin1String("off")) {
    for (int i = 0; i < 200 && !in.atEnd(); ++i) {
      QString line = in.readLine();
      line = line.left(line.indexOf(QLatin1Char('#'))).simplified();
      if (line.isEmpty()) continue;
      if (line.endsWith(QLatin1String("OFF"))) continue;  // OFF, COFF, NOFF, ...
      if (line.contains(QLatin1String("OFF ")))
        line = line.mid(line.indexOf(QLatin1String("OFF ")) + 4);
      const QStringList w = line.split(QLatin1Char(' '));
      vertices = w.value(0).toLongLong();
      faces = w.value(1).toLongLong();
      break;
    }
  }
  // Every vertex or face takes at least a few bytes of the file.
  if (tooMany(vertices, faces)) return false;
  if ((vertices + faces) * 2 > size) return error = "the file is shorter than its counts", false;
  return true;
}

// Exporters write comments after a line's numbers ("f 1 2 3 # top"), which the OBJ importer
// reads as an index. It gets the model with those cut; its materials are read as they are.
class ObjCommentsCut : public Assimp::DefaultIOSystem {
 public:
  explicit ObjCommentsCut(const QString& path) : path_(QFile::encodeName(path).toStdString()) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return;
    const QByteArray all = file.readAll();
    bool cut = false;
    for (qsizetype start = 0; start < all.size();) {
      const qsizetype newline = all.indexOf('\n', start);
      const qsizetype end = newline < 0 ? all.size() : newline + 1;
      QByteArrayView line(all.constData() + start, end - start);
      const qsizetype hash = line.indexOf('#');
      if (hash > 0 && NumbersOnly(line)) {
        line = line.first(hash);
        cut = true;
      }
      text_.append(line);
      if (line.size() < end - start) text_.append('\n');
      start = end;
    }
    if (!cut) text_.clear();  // the file is read as it is
  }
  Assimp::IOStream* Open(const char* file, const char* mode) override {
    if (text_.isEmpty() || !ComparePaths(file, path_.c_str()))
      return DefaultIOSystem::Open(file, mode);
    return new Assimp::MemoryIOStream(reinterpret_cast<const uint8_t*>(text_.constData()),
                                      std::size_t(text_.size()));
  }

 private:
  static bool NumbersOnly(QByteArrayView line) {
    line = line.trimmed();
    qsizetype n = 0;
    while (n < line.size() && line[n] != ' ' && line[n] != '\t') ++n;
    for (const char* key : {"v", "vt", "vn", "vp", "f", "l", "p"})
      if (line.first(n) == QByteArrayView(key)) return true;
    return false;
  }

  std::string path_;
  QByteArray text_;
};

TVector3f FaceNormal(const TVector3f& a, const TVector3f& b, const TVector3f& c) {
  const TVector3f u{b[0] - a[0], b[1] - a[1], b[2] - a[2]};
  const TVector3f v{c[0] - a[0], c[1] - a[1], c[2] - a[2]};
  TVector3f n{u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]};
  const float length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
  if (length > 0 && std::isfinite(length))
    for (float& x : n) x /= length;
  return n;
}

// The first diffuse texture of the meshes drawn, embedded or in a file beside the model.
QImage TextureOf(const aiScene& scene, const QString& modelPath, std::string& name) {
  for (unsigned m = 0; m < scene.mNumMeshes; ++m) {
    const aiMesh& mesh = *scene.mMeshes[m];
    if (!mesh.HasTextureCoords(0) || mesh.mMaterialIndex >= scene.mNumMaterials) continue;
    aiString path;
    if (aiGetMaterialTexture(scene.mMaterials[mesh.mMaterialIndex], aiTextureType_DIFFUSE, 0,
                             &path) != AI_SUCCESS)
      continue;
    name = path.C_Str();
    if (const aiTexture* embedded = scene.GetEmbeddedTexture(path.C_Str())) {
      if (embedded->mHeight == 0)
        return QImage::fromData(reinterpret_cast<const uchar*>(embedded->pcData),
                                int(embedded->mWidth));
      QImage image(int(embedded->mWidth), int(embedded->mHeight), QImage::Format_ARGB32);
      for (unsigned y = 0; y < embedded->mHeight; ++y)
        for (unsigned x = 0; x < embedded->mWidth; ++x) {
          const aiTexel& t = embedded->pcData[y * embedded->mWidth + x];
          image.setPixel(int(x), int(y), qRgba(t.r, t.g, t.b, t.a));
        }
      return image;
    }
    const QString file = QString::fromUtf8(path.C_Str()).replace(QLatin1Char('\\'), '/');
    return QImage(QFileInfo(modelPath).dir().filePath(file));
  }
  return {};
}

// All meshes of the scene become the one object the viewer draws.
bool SceneToSet(const aiScene& scene, TGLMultyMesh& set, std::string& error) {
  auto mesh = std::make_unique<TGLMesh>();
  bool anyUv = false;
  qint64 vertices = 0, triangles = 0;
  for (unsigned m = 0; m < scene.mNumMeshes; ++m) {
    const aiMesh& a = *scene.mMeshes[m];
    if (!(a.mPrimitiveTypes & aiPrimitiveType_TRIANGLE)) continue;
    vertices += a.mNumVertices;
    triangles += a.mNumFaces;
    anyUv = anyUv || a.HasTextureCoords(0);
  }
  if (vertices > kMaxVertices || triangles > kMaxTriangles)
    return error = "the model has " + std::to_string(vertices) + " vertices and " +
                   std::to_string(triangles) + " triangles; at most " +
                   std::to_string(kMaxVertices) + " and " + std::to_string(kMaxTriangles) +
                   " are converted",
           false;
  for (unsigned m = 0; m < scene.mNumMeshes; ++m) {
    const aiMesh& a = *scene.mMeshes[m];
    if (!(a.mPrimitiveTypes & aiPrimitiveType_TRIANGLE)) continue;
    const std::int32_t base = std::int32_t(mesh->Vertices.size());
    const std::int32_t texBase = std::int32_t(set.TexVertices.size());
    for (unsigned v = 0; v < a.mNumVertices; ++v) {
      mesh->Vertices.push_back({a.mVertices[v].x, a.mVertices[v].y, a.mVertices[v].z});
      mesh->VertexNormals.push_back(
          a.HasNormals() ? TVector3f{a.mNormals[v].x, a.mNormals[v].y, a.mNormals[v].z}
                         : TVector3f{0, 0, 0});
      if (a.HasTextureCoords(0))
        set.TexVertices.push_back({a.mTextureCoords[0][v].x, a.mTextureCoords[0][v].y, 0});
    }
    // A mesh without coordinates in a textured model maps to one extra texture vertex.
    if (anyUv && !a.HasTextureCoords(0)) set.TexVertices.push_back({0, 0, 0});
    for (unsigned f = 0; f < a.mNumFaces; ++f) {
      const aiFace& face = a.mFaces[f];
      if (face.mNumIndices != 3) continue;
      const TTriangle local{std::int32_t(face.mIndices[0]), std::int32_t(face.mIndices[1]),
                            std::int32_t(face.mIndices[2])};
      mesh->Faces.push_back({base + local[0], base + local[1], base + local[2]});
      const auto& t = mesh->Faces.back();
      mesh->FaceNormals.push_back(
          FaceNormal(mesh->Vertices[t[0]], mesh->Vertices[t[1]], mesh->Vertices[t[2]]));
      if (anyUv)
        set.TexFaces.push_back(
            a.HasTextureCoords(0)
                ? TTriangle{texBase + local[0], texBase + local[1], texBase + local[2]}
                : TTriangle{texBase, texBase, texBase});
    }
  }
  if (mesh->Faces.empty()) return error = "the file holds no triangles", false;
  mesh->NumVerts = std::int32_t(mesh->Vertices.size());
  mesh->NumFaces = std::int32_t(mesh->Faces.size());
  mesh->Owner = &set;
  set.Meshes.push_back(std::move(mesh));
  set.Textured = anyUv;
  set.NumTexVerts = std::int32_t(set.TexVertices.size());
  set.NumTexFaces = std::int32_t(set.TexFaces.size());
  return true;
}

int Run(const std::vector<std::string>& args) {
  if (args.size() != 2) {
    std::cerr << "usage: vedalia-course gms-from-model IN OUT.gms\n";
    return 2;
  }
  const QString in = QString::fromStdString(args[0]);
  const QString out = QString::fromStdString(args[1]);
  auto fail = [&](const std::string& why) {
    std::cerr << "gms-from-model: " << args[0] << ": " << why << "\n";
    return 1;
  };
  if (!QFileInfo(in).isFile()) return fail("no such file");
  if (QFileInfo(in).size() > kMaxFileBytes) return fail("the file is too large to convert");
  std::string error;
  if (!DeclaredCountsFit(in, error)) return fail(error);
  const QByteArray native = QFile::encodeName(in);
  Assimp::Importer importer;
  if (QFileInfo(in).suffix().compare(QLatin1String("obj"), Qt::CaseInsensitive) == 0)
    importer.SetIOHandler(new ObjCommentsCut(in));  // the importer owns it
  const aiScene* scene = importer.ReadFile(
      native.constData(), aiProcess_Triangulate | aiProcess_JoinIdenticalVertices |
                              aiProcess_PreTransformVertices | aiProcess_GenSmoothNormals |
                              aiProcess_SortByPType | aiProcess_ValidateDataStructure);
  if (!scene) {
    // The importer's own words name no file kind an author knows; say what it means.
    const std::string why = importer.GetErrorString();
    if (why.find("No suitable reader") != std::string::npos)
      return fail(
          "not a model of a format the converter reads (OBJ, PLY, OFF, STL, 3DS, glTF, ...)");
    if (why.find("mNumMeshes is 0") != std::string::npos ||
        why.find("contains no faces") != std::string::npos)
      return fail("the file holds no triangles");
    return fail("not a readable model: " + why);
  }
  TGLMultyMesh set;
  if (!SceneToSet(*scene, set, error)) return fail(error);
  QString writeError;
  if (!WriteGmsFile(set, out, &writeError)) return fail(writeError.toStdString());
  std::cout << args[1] << ": " << set.Meshes.front()->NumVerts << " vertices, "
            << set.Meshes.front()->NumFaces << " triangles"
            << (set.Textured ? ", texture coordinates" : "") << "\n";
  if (!set.Textured) return 0;
  // The viewer looks for the model's name with ".bmp" in place of its last four characters.
  std::string textureName;
  const QImage texture = TextureOf(*scene, in, textureName);
  if (texture.isNull()) {
    std::cout << "  no texture image found" << (textureName.empty() ? "" : ": " + textureName)
              << "\n";
    return 0;
  }
  const QString bitmap = out.chopped(std::min<qsizetype>(4, out.size())) + QStringLiteral(".bmp");
  if (!texture.convertToFormat(QImage::Format_RGB888).save(bitmap, "BMP"))
    return fail("cannot write " + bitmap.toStdString());
  std::cout << bitmap.toStdString() << ": " << texture.width() << " x " << texture.height()
            << " px texture\n";
  return 0;
}

const CourseCommandRegistrar registrar({"gms-from-model",
                                        "gms-from-model IN OUT.gms   convert a model (OBJ, PLY, "
                                        "OFF, STL, 3DS, glTF and the other\n"
                                        "      formats Assimp reads) to GMS, its texture to the "
                                        "bitmap beside OUT",
                                        Run});
const CourseCommandRegistrar alias({"gms-from-obj",
                                    "gms-from-obj IN OUT.gms   another name for gms-from-model",
                                    Run});

}  // namespace
}  // namespace vedalia::course
