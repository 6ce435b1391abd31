// vedalia-course gms-from-model, run as an author would, on model files of several formats
// written here; what it writes is read back by the viewer's own mesh and texture readers.
#include <gtest/gtest.h>

#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <array>
#include <cmath>

#include "model3d/ModelFiles.h"
#include "model3d/uBmpCheck.h"
#include "model3d/uMesh.h"

namespace vedalia {
namespace {

struct ToolRun {
  int code = -1;
  std::string err;
};

ToolRun Convert(const QString& in, const QString& out, const char* command = "gms-from-model") {
  QProcess p;
  p.start(QStringLiteral(VEDALIA_COURSE_TOOL), {command, in, out});
  EXPECT_TRUE(p.waitForFinished(60000));
  return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
          p.readAllStandardError().toStdString()};
}

bool Write(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// A square base and an apex at height 2; every face wound counter-clockwise seen from outside.
const std::array<TVector3f, 5> kCorner = {
    {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0.5f, 0.5f, 2}}};
const char* const kPyramidObj =
    "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nv 0.5 0.5 2\n"
    "f 1 4 3 2\nf 1 2 5\nf 2 3 5\nf 3 4 5\nf 4 1 5\n";
const char* const kPyramidFaces = "4 0 3 2 1\n3 0 1 4\n3 1 2 4\n3 2 3 4\n3 3 0 4\n";
const int kTriangles[6][3] = {{0, 3, 2}, {0, 2, 1}, {0, 1, 4}, {1, 2, 4}, {2, 3, 4}, {3, 0, 4}};

QByteArray BinaryStl() {
  QByteArray bytes(80, ' ');
  QDataStream s(&bytes, QIODevice::Append);
  s.setByteOrder(QDataStream::LittleEndian);
  s.setFloatingPointPrecision(QDataStream::SinglePrecision);
  s << quint32(6);
  for (const auto& t : kTriangles) {
    s << 0.f << 0.f << 0.f;
    for (int c : t) s << kCorner[c][0] << kCorner[c][1] << kCorner[c][2];
    s << quint16(0);
  }
  return bytes;
}

QByteArray AsciiStl() {
  QByteArray text = "solid pyramid\n";
  for (const auto& t : kTriangles) {
    text += "facet normal 0 0 0\nouter loop\n";
    for (int c : t)
      text += QStringLiteral("vertex %1 %2 %3\n")
                  .arg(kCorner[c][0])
                  .arg(kCorner[c][1])
                  .arg(kCorner[c][2])
                  .toLatin1();
    text += "endloop\nendfacet\n";
  }
  return text + "endsolid pyramid\n";
}

// Each format holds the same pyramid: the base quad becomes two triangles, each face's normal
// points outwards, and the corners are the file's.
TEST(ModelTool, EveryFormatBecomesTheSamePyramid) {
  const struct {
    const char* file;
    QByteArray bytes;
  } cases[] = {
      {"p.obj", kPyramidObj},
      {"p.ply", QByteArray("ply\nformat ascii 1.0\nelement vertex 5\nproperty float x\n"
                           "property float y\nproperty float z\nelement face 5\n"
                           "property list uchar int vertex_indices\nend_header\n"
                           "0 0 0\n1 0 0\n1 1 0\n0 1 0\n0.5 0.5 2\n") +
                    kPyramidFaces},
      {"p.off", QByteArray("OFF\n5 5 0\n0 0 0\n1 0 0\n1 1 0\n0 1 0\n0.5 0.5 2\n") + kPyramidFaces},
      {"p.stl", AsciiStl()},
      {"binary.stl", BinaryStl()},
  };
  QTemporaryDir dir;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    const QString in = dir.filePath(c.file), out = in + ".gms";
    ASSERT_TRUE(Write(in, c.bytes));
    const ToolRun r = Convert(in, out, c.file[0] == 'b' ? "gms-from-obj" : "gms-from-model");
    ASSERT_EQ(r.code, 0) << r.err;
    TGLMultyMesh set;
    QString error;
    ASSERT_TRUE(set.LoadFromFile(out, &error)) << error.toStdString();
    ASSERT_EQ(set.Meshes.size(), 1u);
    const TGLMesh& m = *set.Meshes[0];
    EXPECT_FALSE(set.Textured);
    EXPECT_FLOAT_EQ(m.Scale, 0.5f);
    ASSERT_EQ(m.NumFaces, 6);
    std::vector<std::array<int, 3>> found;
    for (int f = 0; f < m.NumFaces; ++f) {
      std::array<int, 3> corners{};
      for (int k = 0; k < 3; ++k) {
        const auto at = std::find(kCorner.begin(), kCorner.end(), m.Vertices[m.Faces[f][k]]);
        ASSERT_NE(at, kCorner.end()) << "face " << f << " has a corner not in the file";
        corners[k] = int(at - kCorner.begin());
      }
      std::rotate(corners.begin(), std::min_element(corners.begin(), corners.end()), corners.end());
      found.push_back(corners);
      // Outwards: away from a point inside the pyramid.
      const TVector3f& n = m.FaceNormals[f];
      const TVector3f& a = m.Vertices[m.Faces[f][0]];
      EXPECT_NEAR(n[0] * n[0] + n[1] * n[1] + n[2] * n[2], 1.0f, 1e-5f);
      EXPECT_GT(n[0] * (a[0] - 0.5f) + n[1] * (a[1] - 0.5f) + n[2] * (a[2] - 0.5f), 0) << f;
    }
    std::vector<std::array<int, 3>> expected;
    for (const auto& t : kTriangles) {
      std::array<int, 3> e{t[0], t[1], t[2]};
      std::rotate(e.begin(), std::min_element(e.begin(), e.end()), e.end());
      expected.push_back(e);
    }
    std::sort(found.begin(), found.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(found, expected);
  }
}

// Normals named by the file are kept, missing ones come from the faces; texture coordinates
// stay with their corners; the texture named by the material is written beside the model as
// the bitmap the viewer looks for.
TEST(ModelTool, ATexturedModelKeepsItsCoordinatesAndGetsItsBitmap) {
  QTemporaryDir dir;
  ASSERT_TRUE(test::WriteQuarterBitmap(dir.filePath("quarters.bmp")));
  ASSERT_TRUE(QImage(dir.filePath("quarters.bmp")).save(dir.filePath("skin.png")));
  ASSERT_TRUE(Write(dir.filePath("p.mtl"), "newmtl skin\nKd 1 1 1\nmap_Kd skin.png\n"));
  ASSERT_TRUE(Write(dir.filePath("p.obj"),
                    "# a square with a point above it\r\nmtllib p.mtl\no pyramid\n"
                    "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nv 0.5 0.5 2\n"
                    "vt 0 0\nvt 1 0 0\nvt 1 1\nvt 0 1\nvn 0 0 -1\nusemtl skin\n"
                    "g base\nf 1/1/1 2/2/1 3/3/1 4/4/1\n"
                    "g side\nf -5/1 -4/2 -1/3   # relative numbers\n"));
  const QString out = dir.filePath("model.gms");
  const ToolRun r = Convert(dir.filePath("p.obj"), out);
  ASSERT_EQ(r.code, 0) << r.err;
  TGLMultyMesh set;
  QString error;
  ASSERT_TRUE(set.LoadFromFile(out, &error)) << error.toStdString();
  const TGLMesh& m = *set.Meshes[0];
  ASSERT_EQ(m.NumFaces, 3);
  ASSERT_TRUE(set.Textured);
  ASSERT_EQ(set.NumTexFaces, 3);
  int sides = 0;
  for (int f = 0; f < 3; ++f) {
    const bool side = m.Vertices[m.Faces[f][2]] == kCorner[4];
    sides += side;
    // The file's corner order faces up for the base; its "vn" does not turn the face.
    EXPECT_NEAR(m.FaceNormals[f][2], side ? 0.2425356f : 1.0f, 1e-6f) << f;
    EXPECT_NEAR(m.FaceNormals[f][1], side ? -0.9701425f : 0.0f, 1e-6f) << f;
    for (int k = 0; k < 3; ++k) {
      const TVector3f& p = m.Vertices[m.Faces[f][k]];
      const TVector3f& normal = m.VertexNormals[m.Faces[f][k]];
      const TVector3f expectedNormal = side ? m.FaceNormals[f] : TVector3f{0, 0, -1};
      for (int i = 0; i < 3; ++i) EXPECT_NEAR(normal[i], expectedNormal[i], 1e-6f) << f << k;
      const TVector3f& uv = set.TexVertices.at(set.TexFaces[f][k]);
      const TVector3f expectedUv = p == kCorner[4] ? TVector3f{1, 1, 0} : TVector3f{p[0], p[1], 0};
      EXPECT_EQ(uv, expectedUv) << f << "/" << k;
    }
  }
  EXPECT_EQ(sides, 1);

  // A glTF model carries its picture inside; it is written out beside the model the same way.
  QByteArray buffer;
  QDataStream b(&buffer, QIODevice::WriteOnly);
  b.setByteOrder(QDataStream::LittleEndian);
  b.setFloatingPointPrecision(QDataStream::SinglePrecision);
  b << 0.f << 0.f << 0.f << 1.f << 0.f << 0.f << 0.f << 1.f << 0.f;  // corners
  b << 0.f << 0.f << 1.f << 0.f << 0.f << 1.f;                       // their coordinates
  b << quint16(0) << quint16(1) << quint16(2);
  QFile png(dir.filePath("skin.png"));
  ASSERT_TRUE(png.open(QIODevice::ReadOnly));
  const QByteArray views[] = {"0,\"byteLength\":36", "36,\"byteLength\":24", "60,\"byteLength\":6"};
  QByteArray gltf =
      R"({"asset":{"version":"2.0"},"scenes":[{"nodes":[0]}],"nodes":[{"mesh":0}],
"meshes":[{"primitives":[{"attributes":{"POSITION":0,"TEXCOORD_0":1},"indices":2,"material":0}]}],
"materials":[{"pbrMetallicRoughness":{"baseColorTexture":{"index":0}}}],
"textures":[{"source":0}],"images":[{"uri":"data:image/png;base64,)" +
      png.readAll().toBase64() + R"("}],"buffers":[{"byteLength":66,"uri":
"data:application/octet-stream;base64,)" +
      buffer.toBase64() + R"("}],"bufferViews":[)";
  for (const QByteArray& view : views) gltf += R"({"buffer":0,"byteOffset":)" + view + "},";
  gltf.chop(1);
  gltf += R"(],"accessors":[{"bufferView":0,"componentType":5126,"count":3,"type":"VEC3",
"min":[0,0,0],"max":[1,1,0]},{"bufferView":1,"componentType":5126,"count":3,"type":"VEC2"},
{"bufferView":2,"componentType":5123,"count":3,"type":"SCALAR"}]})";
  ASSERT_TRUE(Write(dir.filePath("inside.gltf"), gltf));
  const ToolRun embedded = Convert(dir.filePath("inside.gltf"), dir.filePath("inside.gms"));
  ASSERT_EQ(embedded.code, 0) << embedded.err;

  for (const char* name : {"model.bmp", "inside.bmp"}) {
    SCOPED_TRACE(name);
    QFile bitmap(dir.filePath(name));
    ASSERT_TRUE(bitmap.open(QIODevice::ReadOnly));
    QString reason;
    EXPECT_TRUE(CheckBitmap(bitmap.readAll(), &reason)) << reason.toStdString();
    EXPECT_EQ(QImage(bitmap.fileName()).convertToFormat(QImage::Format_RGB32),
              QImage(dir.filePath("quarters.bmp")).convertToFormat(QImage::Format_RGB32));
  }
}

// A face without texture coordinates in a textured model maps to the texture's corner;
// coordinates that no face uses leave the model untextured.
TEST(ModelTool, FacesWithoutTextureCoordinatesMapToOneCorner) {
  const struct {
    const char* faces;
    bool textured;
  } cases[] = {{"f 1/1 2/1 3/1\nf 1 3 2\n", true}, {"f 1 2 3\n", false}};
  QTemporaryDir dir;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.faces);
    const QString in = dir.filePath("m.obj"), out = dir.filePath("m.gms");
    ASSERT_TRUE(Write(in, QByteArray("v 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0.5 0.5\n") + c.faces));
    ASSERT_EQ(Convert(in, out).code, 0);
    TGLMultyMesh set;
    ASSERT_TRUE(set.LoadFromFile(out));
    ASSERT_EQ(set.Textured, c.textured);
    EXPECT_EQ(set.TexFaces.size(), c.textured ? 2u : 0u);
    for (std::size_t f = 0; f < set.TexFaces.size(); ++f) {
      const bool first = set.Meshes[0]->FaceNormals[f][2] > 0;  // the one wound like "f 1 2 3"
      for (int k = 0; k < 3; ++k)
        EXPECT_EQ(set.TexVertices.at(set.TexFaces[f][k]),
                  first ? TVector3f({0.5f, 0.5f, 0}) : TVector3f({0, 0, 0}));
    }
  }
}

// What is no model, a broken one or one that claims absurd counts is refused with its reason,
// and nothing is written.
TEST(ModelTool, BrokenAbsurdAndForeignFilesAreRefusedAndNothingIsWritten) {
  QByteArray hugeStl(84, '\0');
  hugeStl[80] = hugeStl[81] = hugeStl[82] = hugeStl[83] = char(0xFF);
  QByteArray shortStl(84, '\0');
  shortStl[81] = 0x10;  // 4096 triangles, none there
  QImage picture(8, 8, QImage::Format_RGB32);
  picture.fill(Qt::red);
  const struct {
    const char* file;
    QByteArray bytes;
    const char* reason;  // empty: the importer's own
  } cases[] = {
      {"notes.txt", "hello, this is no model\n", "not a model"},
      {"notes.obj", "hello, this is no model\n", "holds no triangles"},
      {"points.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\n", "holds no triangles"},
      {"picture.png", {}, "not a model"},
      {"number.obj", "v 0 0 0\nv 1 0 x\nv 0 1 0\nf 1 2 3\n", ""},
      {"range.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 4\n", ""},
      {"zero.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 0 1 2\n", ""},
      {"line.obj", "v 0 0 0\nv 1 0 0\nf 1 2\n", ""},
      {"few.obj", "v 0 0 0\nv 1 0\n", ""},
      {"huge.ply",
       "ply\nformat ascii 1.0\nelement vertex 4000000000\nproperty float x\n"
       "element face 1\nproperty list uchar int vertex_indices\nend_header\n",
       "declares 4000000000 vertices"},
      {"huge.off", "OFF\n3 3000000000 0\n0 0 0\n", "declares 3 vertices and 3000000000 faces"},
      {"huge.stl", hugeStl, "declares 12884901885 vertices"},
      {"short.stl", shortStl, "shorter than its triangles"},
      {"missing.obj", {}, "no such file"},
  };
  QTemporaryDir dir;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    const QString in = dir.filePath(c.file), out = dir.filePath("out.gms");
    if (QByteArray(c.file) == "picture.png") {
      ASSERT_TRUE(picture.save(in));
    } else if (!c.bytes.isEmpty()) {
      ASSERT_TRUE(Write(in, c.bytes));
    }
    const ToolRun r = Convert(in, out);
    EXPECT_EQ(r.code, 1) << r.err;
    EXPECT_EQ(r.err.rfind("gms-from-model: " + in.toStdString() + ": ", 0), 0u) << r.err;
    EXPECT_NE(r.err.find(c.reason), std::string::npos) << r.err;
    EXPECT_GT(r.err.size(), in.size() + 20) << "a reason is given";
    EXPECT_EQ(QDir(dir.path()).entryList({"out.*"}, QDir::Files), QStringList());
  }
}

}  // namespace
}  // namespace vedalia
