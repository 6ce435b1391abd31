#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>
#include <chrono>
#include <string>

#include "common/FakeMessages.h"
#include "model3d/uGmsWriter.h"
#include "model3d/uMesh.h"
#include "model3d/uMeshBuffer.h"

namespace vedalia {
namespace {

// A tetrahedron-like object: four vertices, two triangles, largest coordinate 2.
const std::string kObject =
    "New object\n"
    "Object tri\n"
    "numverts numfaces\n"
    "4 2\n"
    "Mesh vertices:\n"
    "0 0 0\n"
    "1 0 0\n"
    "0 2 0\n"
    "0 0 1\n"
    "end vertices\n"
    "Mesh faces:\n"
    "1 2 3\n"
    "1 3 4\n"
    "end faces\n"
    "Mesh face normals:\n"
    "0 0 1\n"
    "1 0 0\n"
    "end face normals\n"
    "Mesh vertex normals:\n"
    "0 0 1\n"
    "0 0 1\n"
    "0 0 1\n"
    "1 0 0\n"
    "end vertex normals\n";

const std::string kTexture =
    "New Texture:\n"
    "numtverts numtfaces\n"
    "3 2\n"
    "Texture vertices:\n"
    "0.25 0.1 0\n"
    "1 0 0\n"
    "0 1 0\n"
    "end texture vertices\n"
    "Texture faces:\n"
    "1 2 3\n"
    "3 2 1\n";

struct Loaded {
  TGLMultyMesh set;
  bool ok = false;
  QString error;
};

std::unique_ptr<Loaded> Load(const std::string& text) {
  auto l = std::make_unique<Loaded>();
  l->ok = l->set.LoadFromText(text, &l->error);
  return l;
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  const auto at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

TEST(GmsReader, ReadsAnObjectWithOneBasedFacesAndItsScale) {
  auto l = Load(kObject);
  ASSERT_TRUE(l->ok) << l->error.toStdString();
  ASSERT_EQ(l->set.Meshes.size(), 1u);
  const TGLMesh& m = *l->set.Meshes[0];
  EXPECT_EQ(m.NumVerts, 4);
  EXPECT_EQ(m.NumFaces, 2);
  EXPECT_EQ(m.Vertices[2], (TVector3f{0, 2, 0}));
  EXPECT_EQ(m.Faces[0], (TTriangle{0, 1, 2}));
  EXPECT_EQ(m.Faces[1], (TTriangle{0, 2, 3}));
  EXPECT_EQ(m.FaceNormals[1], (TVector3f{1, 0, 0}));
  EXPECT_EQ(m.VertexNormals[3], (TVector3f{1, 0, 0}));
  EXPECT_FLOAT_EQ(m.Scale, 0.5f);
  EXPECT_EQ(m.Owner, &l->set);
  EXPECT_FALSE(l->set.Textured);
}

TEST(GmsReader, SectionLinesMustMatchExactly) {
  // Look-alikes of the section line are ignored like any other text.
  const std::string noise =
      "New object \nnew object\n New object\nNew Object\nNew Texture: \nrandom text 1 2 3\n";
  auto l = Load(noise + kObject + "trailing words\n");
  ASSERT_TRUE(l->ok) << l->error.toStdString();
  EXPECT_EQ(l->set.Meshes.size(), 1u);

  // Lines between the block start and the counts line are skipped, however many.
  auto padded = Load(Replace(kObject, "Object tri\n", "a\nb\n4 2\nnumverts  numfaces\nc\n"));
  ASSERT_TRUE(padded->ok) << padded->error.toStdString();
  EXPECT_EQ(padded->set.Meshes[0]->NumVerts, 4);
}

TEST(GmsReader, CrLfLinesReadLikeLfLines) {
  std::string crlf;
  for (char c : kObject + kTexture) {
    if (c == '\n') crlf += '\r';
    crlf += c;
  }
  auto l = Load(crlf);
  ASSERT_TRUE(l->ok) << l->error.toStdString();
  ASSERT_EQ(l->set.Meshes.size(), 1u);
  EXPECT_EQ(l->set.Meshes[0]->Faces[1], (TTriangle{0, 2, 3}));
  EXPECT_TRUE(l->set.Textured);
}

TEST(GmsReader, TokenRules) {
  // Text after the numbers of a data line is skipped; signs and exponents are accepted.
  auto words = Load(Replace(kObject, "0 2 0\n", "1.5 -2 +0.25 word 7 8\n"));
  ASSERT_TRUE(words->ok) << words->error.toStdString();
  EXPECT_EQ(words->set.Meshes[0]->Vertices[2], (TVector3f{1.5f, -2.0f, 0.25f}));

  auto exponent = Load(Replace(kObject, "1 0 0\n0 2 0", "1e0 0 0\n0 2.5E+0 -3e-1"));
  ASSERT_TRUE(exponent->ok) << exponent->error.toStdString();
  EXPECT_EQ(exponent->set.Meshes[0]->Vertices[2], (TVector3f{0, 2.5f, -0.3f}));

  // A number may stand on a following line, tabs separate like blanks.
  auto split = Load(Replace(kObject, "4 2\n", "\t4\n\n   2\n"));
  ASSERT_TRUE(split->ok) << split->error.toStdString();
  EXPECT_EQ(split->set.Meshes[0]->NumFaces, 2);
  // ... after which the rest of that later line is the one skipped.
  EXPECT_EQ(split->set.Meshes[0]->Vertices[0], (TVector3f{0, 0, 0}));
}

TEST(GmsReader, MalformedNumbersFailTheLoad) {
  for (const char* bad : {"1.5x", "abc", "nan", "inf", "-inf", "0x10", "1e999", "--1", "+", "."}) {
    auto l = Load(Replace(kObject, "0 2 0\n", std::string("0 ") + bad + " 0\n"));
    EXPECT_FALSE(l->ok) << bad;
    EXPECT_TRUE(l->set.Meshes.empty()) << bad;
  }
  for (const char* bad : {"2.0", "99999999999", "1e3", "x"}) {
    auto l = Load(Replace(kObject, "1 3 4\n", std::string("1 3 ") + bad + "\n"));
    EXPECT_FALSE(l->ok) << bad;
  }
  // Integers take at most 32 characters, reals at most 64.
  EXPECT_FALSE(Load(Replace(kObject, "4 2\n", std::string(33, '0') + "4 2\n"))->ok);
  EXPECT_TRUE(Load(Replace(kObject, "4 2\n", std::string(31, '0') + "4 2\n"))->ok);
  EXPECT_FALSE(Load(Replace(kObject, "0 2 0\n", "0 2." + std::string(63, '0') + " 0\n"))->ok);
  EXPECT_TRUE(Load(Replace(kObject, "0 2 0\n", "0 2." + std::string(62, '0') + " 0\n"))->ok);
  // Values too small for a float become zero rather than an error.
  auto tiny = Load(Replace(kObject, "0 2 0\n", "1e-60 2 0\n"));
  ASSERT_TRUE(tiny->ok) << tiny->error.toStdString();
  EXPECT_EQ(tiny->set.Meshes[0]->Vertices[2][0], 0.0f);
}

TEST(GmsReader, BlocksCutShortAndEmptyFirstObjectsAreRefused) {
  const std::string afterFaces = kObject.substr(0, kObject.find("end faces"));
  const std::string cutNormal =
      kObject.substr(0, kObject.rfind("1 0 0\nend vertex normals")) + "0.5";
  const std::string emptyObject = "New object\nnumverts numfaces\n0 0\n";
  for (const std::string& text :
       {afterFaces, cutNormal, kObject.substr(0, 20), std::string("New object\nno counts here\n"),
        emptyObject + kObject, kObject + kTexture.substr(0, kTexture.size() - 4)}) {
    auto l = Load(text);
    EXPECT_FALSE(l->ok) << text;
    EXPECT_FALSE(l->error.isEmpty());
    EXPECT_TRUE(l->set.Meshes.empty());
  }
  // A later object without triangles is kept: only the first is drawn.
  auto later = Load(kObject + emptyObject);
  ASSERT_TRUE(later->ok) << later->error.toStdString();
  EXPECT_EQ(later->set.Meshes.size(), 2u);
}

TEST(GmsReader, ScaleUsesTheLargestSignedCoordinate) {
  auto l = Load(Replace(kObject, "0 0 0\n1 0 0\n0 2 0\n0 0 1\n", "-10 0 0\n5 0 0\n0 2 0\n0 0 1\n"));
  ASSERT_TRUE(l->ok);
  EXPECT_FLOAT_EQ(l->set.Meshes[0]->Scale, 0.2f);

  // Nothing positive: the largest magnitude brings the model into view instead.
  auto negative =
      Load(Replace(kObject, "0 0 0\n1 0 0\n0 2 0\n0 0 1\n", "-1 0 0\n-4 0 0\n0 -2 0\n0 0 -1\n"));
  ASSERT_TRUE(negative->ok);
  EXPECT_FLOAT_EQ(negative->set.Meshes[0]->Scale, 0.25f);

  auto zero =
      Load(Replace(kObject, "0 0 0\n1 0 0\n0 2 0\n0 0 1\n", "0 0 0\n0 0 0\n0 0 0\n0 0 0\n"));
  ASSERT_TRUE(zero->ok);
  EXPECT_FLOAT_EQ(zero->set.Meshes[0]->Scale, 1.0f);
}

TEST(GmsReader, SeveralObjectsAreKeptInFileOrder) {
  std::string second = Replace(kObject, "4 2\n", "4 1\n");
  second = Replace(Replace(second, "1 3 4\n", ""), "1 0 0\nend face", "end face");
  auto l = Load(kObject + "between blocks\n" + second + kObject);
  ASSERT_TRUE(l->ok) << l->error.toStdString();
  ASSERT_EQ(l->set.Meshes.size(), 3u);
  EXPECT_EQ(l->set.Meshes[0]->NumFaces, 2);
  EXPECT_EQ(l->set.Meshes[1]->NumFaces, 1);
  EXPECT_EQ(l->set.Meshes[2]->NumFaces, 2);
  for (const auto& m : l->set.Meshes) EXPECT_EQ(m->Owner, &l->set);
}

TEST(GmsReader, TextureBlocks) {
  test::ScopedFakeMessages messages;
  auto l = Load(kTexture + kObject);
  ASSERT_TRUE(l->ok) << l->error.toStdString();
  EXPECT_TRUE(l->set.Textured);
  EXPECT_EQ(l->set.NumTexVerts, 3);
  EXPECT_EQ(l->set.TexVertices[0], (TVector3f{0.25f, 0.1f, 0}));
  EXPECT_EQ(l->set.TexFaces[1], (TTriangle{2, 1, 0}));
  EXPECT_TRUE(messages.shown.empty());

  // A wrong third line: the message, no texture, and its lines are read as top-level lines.
  const std::string broken = Replace(kTexture, "Texture vertices:\n", "Texture vertices\n");
  auto bad = Load(broken + kObject);
  ASSERT_TRUE(bad->ok) << bad->error.toStdString();
  EXPECT_FALSE(bad->set.Textured);
  ASSERT_EQ(messages.Texts(), QStringList{"Texture not present!"});
  EXPECT_EQ(messages.shown[0].kind, MessageKind::Plain);

  // A later complete block makes the model textured; a later block replaces an earlier one.
  auto later = Load(broken + kObject + Replace(kTexture, "3 2 1\n", "1 1 1\n"));
  ASSERT_TRUE(later->ok);
  EXPECT_TRUE(later->set.Textured);
  EXPECT_EQ(later->set.TexFaces[1], (TTriangle{0, 0, 0}));
  auto undone = Load(kTexture + kObject + broken);
  ASSERT_TRUE(undone->ok);
  EXPECT_FALSE(undone->set.Textured);
}

TEST(GmsReader, InconsistentFilesAreRefused) {
  test::ScopedFakeMessages messages;
  // Vertex numbers outside 1..NV.
  EXPECT_FALSE(Load(Replace(kObject, "1 3 4\n", "1 3 5\n"))->ok);
  EXPECT_FALSE(Load(Replace(kObject, "1 3 4\n", "0 3 4\n"))->ok);
  EXPECT_FALSE(Load(Replace(kObject, "1 3 4\n", "-2147483648 3 4\n"))->ok);
  // Texture-vertex numbers outside 1..NTV.
  EXPECT_FALSE(Load(kObject + Replace(kTexture, "3 2 1\n", "4 2 1\n"))->ok);
  // More triangles than texture faces.
  EXPECT_FALSE(Load(kObject + Replace(Replace(kTexture, "3 2\n", "3 1\n"), "3 2 1\n", ""))->ok);
  // No object at all, or negative counts.
  EXPECT_FALSE(Load(kTexture)->ok);
  EXPECT_FALSE(Load("")->ok);
  EXPECT_FALSE(Load(Replace(kObject, "4 2\n", "-4 2\n"))->ok);
  EXPECT_FALSE(Load(kObject + Replace(kTexture, "3 2\n", "-3 2\n"))->ok);
  EXPECT_TRUE(messages.shown.empty());
}

TEST(GmsReader, CountsBeyondTheFileAreRefusedBeforeAllocating) {
  const auto start = std::chrono::steady_clock::now();
  auto l = Load(Replace(kObject, "4 2\n", "2000000000 2000000000\n"));
  EXPECT_FALSE(l->ok);
  EXPECT_NE(l->error.indexOf("exceed"), -1) << l->error.toStdString();
  EXPECT_FALSE(Load(kObject + Replace(kTexture, "3 2\n", "300000000 2\n"))->ok);
  // Eight records cannot fit in the eight bytes left.
  auto cut = Load("New object\nnumverts numfaces\n3 1\nv\n0 0 0\n");
  EXPECT_FALSE(cut->ok);
  EXPECT_NE(cut->error.indexOf("exceed"), -1) << cut->error.toStdString();
  // Refused at once, not after filling gigabytes.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

TEST(GmsReader, FileErrors) {
  TGLMultyMesh set;
  QString error;
  EXPECT_FALSE(set.LoadFromFile("/nonexistent/model.gms", &error));
  EXPECT_FALSE(error.isEmpty());

  QTemporaryDir dir;
  const QString path = dir.filePath("model.gms");
  auto source = Load(kObject + kTexture);
  ASSERT_TRUE(source->ok);
  ASSERT_TRUE(WriteGmsFile(source->set, path));
  ASSERT_TRUE(set.LoadFromFile(path, &error)) << error.toStdString();
  EXPECT_EQ(set.Meshes[0]->Faces, source->set.Meshes[0]->Faces);
  EXPECT_EQ(set.Meshes[0]->Vertices, source->set.Meshes[0]->Vertices);
  EXPECT_EQ(set.TexVertices, source->set.TexVertices);
  EXPECT_TRUE(set.Textured);

  // A set that fails to load is left empty, also after an earlier good load.
  ASSERT_TRUE(QDir().mkpath(dir.filePath("folder.gms")));
  EXPECT_FALSE(set.LoadFromFile(dir.filePath("folder.gms")));
  EXPECT_TRUE(set.Meshes.empty());
  EXPECT_FALSE(set.Textured);
}

// The buffer's corners: the face's normal at each, (u, 1 - v) when textured, and a triangle
// with a corner outside its array left out rather than drawn from stray memory.
TEST(MeshBuffer, FlattensTheFirstObjectCornerByCorner) {
  struct Case {
    bool textured;
    int badFace, badTexFace;  // -1: none
    std::int64_t corners;
  };
  for (const Case& c : {Case{false, -1, -1, 6}, Case{true, -1, -1, 6}, Case{false, 0, -1, 3},
                        Case{true, -1, 1, 3}}) {
    TGLMultyMesh set;
    auto m = std::make_unique<TGLMesh>();
    m->Vertices = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    m->Faces = {{0, 1, 2}, {1, 3, 2}};
    m->FaceNormals = {{0, 0, 1}, {0.5f, 0.5f, 0}};
    set.Meshes.push_back(std::move(m));
    set.Meshes.push_back(std::make_unique<TGLMesh>());  // later objects are not drawn
    set.Textured = c.textured;
    set.TexVertices = {{0.25f, 0.125f, 0}, {1, 0, 0}, {0, 1, 0}};
    set.TexFaces = {{0, 1, 2}, {2, 1, 0}};
    if (c.badFace >= 0) set.Meshes[0]->Faces[c.badFace][1] = 4;
    if (c.badTexFace >= 0) set.TexFaces[c.badTexFace][2] = -1;
    const TFlatTriangles flat = FlattenFirstObject(set);
    const int stride = c.textured ? 8 : 6;
    ASSERT_EQ(flat.Stride, stride);
    ASSERT_EQ(flat.Corners, c.corners);
    ASSERT_EQ(flat.Data.size(), std::size_t(c.corners * stride));
    const int face = c.badFace == 0 ? 1 : 0;  // the first triangle kept
    for (int j = 0; j < 3; ++j) {
      const float* corner = flat.Data.data() + j * stride;
      const TVector3f& p = set.Meshes[0]->Vertices[set.Meshes[0]->Faces[face][j]];
      EXPECT_EQ((TVector3f{corner[0], corner[1], corner[2]}), p) << j;
      EXPECT_EQ((TVector3f{corner[3], corner[4], corner[5]}), set.Meshes[0]->FaceNormals[face]);
      if (c.textured) {
        const TVector3f& t = set.TexVertices[set.TexFaces[face][j]];
        EXPECT_EQ(corner[6], t[0]);
        EXPECT_EQ(corner[7], 1.0f - t[1]);
      }
    }
  }
}

}  // namespace
}  // namespace vedalia
