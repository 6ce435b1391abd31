#include <gtest/gtest.h>

#include "model3d/uGmsWriter.h"
#include "model3d/uObjImport.h"

namespace vedalia {
namespace {

const char* const kPyramid =
    "# a square with a point above it\r\n"
    "o pyramid\n"
    "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nv 0.5 0.5 2\n"
    "vt 0 0\nvt 1 0 0\nvt 1 1\nvt 0 1\n"
    "vn 0 0 -1\n"
    "g base\n"
    "f 1/1/1 2/2/1 3/3/1 4/4/1\n"
    "g side\n"
    "f -5/1 -4/2 -1/3   # relative numbers\n";

TEST(ObjImport, PolygonsBecomeFansWithComputedNormals) {
  TGLMultyMesh set;
  QString error;
  ASSERT_TRUE(ImportObj(kPyramid, set, &error)) << error.toStdString();
  ASSERT_EQ(set.Meshes.size(), 1u);
  const TGLMesh& m = *set.Meshes[0];
  EXPECT_EQ(m.NumVerts, 5);
  ASSERT_EQ(m.NumFaces, 3);
  EXPECT_EQ(m.Faces[0], (TTriangle{0, 1, 2}));
  EXPECT_EQ(m.Faces[1], (TTriangle{0, 2, 3}));
  EXPECT_EQ(m.Faces[2], (TTriangle{0, 1, 4}));
  // Face normals follow the corners' order, whatever the file's "vn" says.
  EXPECT_EQ(m.FaceNormals[0], (TVector3f{0, 0, 1}));
  EXPECT_NEAR(m.FaceNormals[2][1], -0.9701425f, 1e-6f);
  // Named vertex normals are kept; the apex gets its face's.
  EXPECT_EQ(m.VertexNormals[2], (TVector3f{0, 0, -1}));
  EXPECT_NEAR(m.VertexNormals[4][2], m.FaceNormals[2][2], 1e-6f);
  ASSERT_TRUE(set.Textured);
  EXPECT_EQ(set.TexFaces[2], (TTriangle{0, 1, 2}));
  EXPECT_EQ(set.TexVertices[2], (TVector3f{1, 1, 0}));

  // What the tool writes reads back the same.
  TGLMultyMesh back;
  ASSERT_TRUE(back.LoadFromText(GmsText(set), &error)) << error.toStdString();
  EXPECT_EQ(back.Meshes[0]->Faces, m.Faces);
  EXPECT_EQ(back.Meshes[0]->FaceNormals, m.FaceNormals);
  EXPECT_EQ(back.Meshes[0]->VertexNormals, m.VertexNormals);
  EXPECT_EQ(back.TexFaces, set.TexFaces);
  EXPECT_FLOAT_EQ(back.Meshes[0]->Scale, 0.5f);
}

TEST(ObjImport, FacesWithoutTextureCoordinatesShareAnExtraOne) {
  TGLMultyMesh set;
  ASSERT_TRUE(ImportObj("v 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0.5 0.5\nf 1/1 2/1 3/1\nf 1 3 2\n", set));
  ASSERT_TRUE(set.Textured);
  EXPECT_EQ(set.NumTexVerts, 2);
  EXPECT_EQ(set.TexFaces[1], (TTriangle{1, 1, 1}));
  EXPECT_EQ(set.TexVertices[1], (TVector3f{0, 0, 0}));

  TGLMultyMesh plain;
  ASSERT_TRUE(ImportObj("v 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0.5 0.5\nf 1 2 3\n", plain));
  EXPECT_FALSE(plain.Textured);
  EXPECT_TRUE(plain.TexVertices.empty());
}

TEST(ObjImport, BrokenFilesAreRefusedWithTheirLine) {
  const char* const broken[] = {
      "v 0 0 0\nv 1 0 x\nv 0 1 0\nf 1 2 3\n",    // malformed number
      "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 4\n",    // vertex out of range
      "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 0 1 2\n",    // there is no vertex 0
      "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1/2 2 3\n",  // no texture vertex 2
      "v 0 0 0\nv 1 0 0\nf 1 2\n",               // not a polygon
      "v 0 0 0\nv 1 0\n",                        // too few coordinates
      "v 0 0 0\nv 1 0 0\nv 0 1 0\n",             // nothing to draw
  };
  for (const char* text : broken) {
    TGLMultyMesh set;
    QString error;
    EXPECT_FALSE(ImportObj(text, set, &error)) << text;
    EXPECT_TRUE(error.startsWith("line ")) << error.toStdString();
  }
  QString error;
  TGLMultyMesh set;
  ASSERT_FALSE(ImportObj("v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 4\n", set, &error));
  EXPECT_TRUE(error.startsWith("line 4")) << error.toStdString();
}

}  // namespace
}  // namespace vedalia
