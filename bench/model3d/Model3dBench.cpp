// Reading GMS files and drawing frames of large models.
// Run under Xvfb with Mesa's software renderer for the frame figures:
//   LIBGL_ALWAYS_SOFTWARE=1 xvfb-run -a bench_model3d

#include <benchmark/benchmark.h>

#include <GL/gl.h>
#include <GL/glu.h>

#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFramebufferObject>
#include <QTemporaryDir>
#include <cmath>
#include <iostream>
#include <map>
#include <memory>
#include <numbers>

#include "model3d/uGmsWriter.h"
#include "model3d/uMesh.h"
#include "model3d/uTextureGL.h"

namespace vedalia {
namespace {

// A textured sphere of rows x columns quads, two triangles each.
std::unique_ptr<TGLMultyMesh> MakeSphere(int rows, int columns) {
  auto set = std::make_unique<TGLMultyMesh>();
  auto m = std::make_unique<TGLMesh>();
  for (int r = 0; r <= rows; ++r) {
    for (int c = 0; c <= columns; ++c) {
      const double theta = std::numbers::pi * r / rows;
      const double phi = 2 * std::numbers::pi * c / columns;
      const TVector3f p{float(std::sin(theta) * std::cos(phi)),
                        float(std::sin(theta) * std::sin(phi)), float(std::cos(theta))};
      m->Vertices.push_back(p);
      m->VertexNormals.push_back(p);
      set->TexVertices.push_back({float(c) / columns, float(r) / rows, 0});
    }
  }
  auto at = [columns](int r, int c) { return r * (columns + 1) + c; };
  auto addFace = [&](int a, int b, int d) {
    m->Faces.push_back({a, b, d});
    set->TexFaces.push_back({a, b, d});
    const TVector3f& pa = m->Vertices[a];
    const TVector3f& pb = m->Vertices[b];
    const TVector3f& pd = m->Vertices[d];
    const TVector3f u{pb[0] - pa[0], pb[1] - pa[1], pb[2] - pa[2]};
    const TVector3f v{pd[0] - pa[0], pd[1] - pa[1], pd[2] - pa[2]};
    TVector3f n{u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]};
    const float len = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    if (len > 0)
      for (float& x : n) x /= len;
    m->FaceNormals.push_back(n);
  };
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < columns; ++c) {
      addFace(at(r, c), at(r + 1, c), at(r + 1, c + 1));
      addFace(at(r, c), at(r + 1, c + 1), at(r, c + 1));
    }
  }
  m->NumVerts = int(m->Vertices.size());
  m->NumFaces = int(m->Faces.size());
  m->Owner = set.get();
  set->Meshes.push_back(std::move(m));
  set->NumTexVerts = int(set->TexVertices.size());
  set->NumTexFaces = int(set->TexFaces.size());
  set->Textured = true;
  return set;
}

// rows x columns for a number of triangles.
std::pair<int, int> Grid(int triangles) {
  const int rows = int(std::sqrt(triangles / 4.0));
  return {rows, triangles / 2 / rows};
}

QTemporaryDir& Dir() {
  static QTemporaryDir dir;
  return dir;
}

// The model file of about `triangles` triangles, written once.
QString ModelFile(int triangles) {
  static std::map<int, QString> files;
  auto it = files.find(triangles);
  if (it != files.end()) return it->second;
  const auto [rows, columns] = Grid(triangles);
  auto set = MakeSphere(rows, columns);
  const QString path = Dir().filePath(QStringLiteral("sphere%1.gms").arg(triangles));
  WriteGmsFile(*set, path);
  return files[triangles] = path;
}

void BM_ReadGmsFile(benchmark::State& state) {
  const QString path = ModelFile(int(state.range(0)));
  const qint64 size = QFile(path).size();
  for (auto _ : state) {
    TGLMultyMesh set;
    if (!set.LoadFromFile(path)) state.SkipWithError("load failed");
    benchmark::DoNotOptimize(set.Meshes.data());
  }
  state.SetBytesProcessed(state.iterations() * size);
  state.counters["file_MB"] = double(size) / 1e6;
}
BENCHMARK(BM_ReadGmsFile)
    ->Arg(1'000'000)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0)
    ->UseRealTime();

// The parser alone, on text already in memory.
void BM_ReadGmsText(benchmark::State& state) {
  QFile file(ModelFile(int(state.range(0))));
  if (!file.open(QIODevice::ReadOnly)) return state.SkipWithError("no model file");
  const QByteArray text = file.readAll();
  for (auto _ : state) {
    TGLMultyMesh set;
    if (!set.LoadFromText(std::string_view(text.constData(), text.size())))
      state.SkipWithError("load failed");
    benchmark::DoNotOptimize(set.Meshes.data());
  }
  state.SetBytesProcessed(state.iterations() * text.size());
}
BENCHMARK(BM_ReadGmsText)
    ->Arg(1'000'000)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0)
    ->UseRealTime();

// An offscreen context drawing the way the mesh view does, into a frame of the window's size.
class TFrameRig {
 public:
  static constexpr int kWidth = 862;
  static constexpr int kHeight = 561;
  TFrameRig() {
    QSurfaceFormat format;
    format.setProfile(QSurfaceFormat::CompatibilityProfile);
    format.setDepthBufferSize(24);
    context.setFormat(format);
    surface.setFormat(format);
    surface.create();
    if (!context.create() || !context.makeCurrent(&surface)) return;
    fbo = std::make_unique<QOpenGLFramebufferObject>(
        kWidth, kHeight, QOpenGLFramebufferObject::CombinedDepthStencil);
    fbo->bind();
    glViewport(0, 0, kWidth, kHeight);
    glClearColor(1, 1, 1, 1);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    glEnable(GL_COLOR_MATERIAL);
    glEnable(GL_NORMALIZE);
    glColor3f(235 / 256.0f, 222 / 256.0f, 173 / 256.0f);
    glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, 1);
    // A 256 x 256 texture, as a course model would carry.
    std::vector<std::uint8_t> pixels(256 * 256 * 3);
    for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = std::uint8_t((i * 37) >> 3);
    texture.Width = texture.Height = 256;
    texture.Pixels = std::move(pixels);
    ok = true;
  }
  void Begin() {
    texture.Apply();
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(40.0, double(kWidth) / kHeight, 0.1, 10.0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glTranslatef(0, 0, -3);
    glRotatef(-90, 1, 0, 0);
  }
  void End() { glFinish(); }
  QImage Picture() { return fbo->toImage(); }
  bool ok = false;

 private:
  QOffscreenSurface surface;
  QOpenGLContext context;
  std::unique_ptr<QOpenGLFramebufferObject> fbo;
  TTextureGL texture;
};

// Lives inside main, while the application does.
TFrameRig* gRig = nullptr;
TFrameRig& Rig() { return *gRig; }

std::map<int, std::unique_ptr<TGLMultyMesh>>& Models() {
  static std::map<int, std::unique_ptr<TGLMultyMesh>> models;
  return models;
}

const TGLMultyMesh& Model(int triangles) {
  auto& slot = Models()[triangles];
  if (!slot) {
    slot = std::make_unique<TGLMultyMesh>();
    slot->LoadFromFile(ModelFile(triangles));
  }
  return *slot;
}

// The same triangles as flat arrays: each corner with its face's normal and flipped v.
struct TArrays {
  std::vector<float> positions, normals, texcoords;
  explicit TArrays(const TGLMultyMesh& set) {
    const TGLMesh& m = *set.Meshes.front();
    for (std::size_t i = 0; i < m.Faces.size(); ++i) {
      for (int j = 0; j < 3; ++j) {
        const TVector3f& p = m.Vertices[m.Faces[i][j]];
        positions.insert(positions.end(), p.begin(), p.end());
        normals.insert(normals.end(), m.FaceNormals[i].begin(), m.FaceNormals[i].end());
        const TVector3f& t = set.TexVertices[set.TexFaces[i][j]];
        texcoords.push_back(t[0]);
        texcoords.push_back(1.0f - t[1]);
      }
    }
  }
  void Draw(float scale) const {
    glScalef(scale, scale, scale);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_NORMAL_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, positions.data());
    glNormalPointer(GL_FLOAT, 0, normals.data());
    glTexCoordPointer(2, GL_FLOAT, 0, texcoords.data());
    glDrawArrays(GL_TRIANGLES, 0, GLsizei(positions.size() / 3));
    glDisableClientState(GL_VERTEX_ARRAY);
    glDisableClientState(GL_NORMAL_ARRAY);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
  }
};

void BM_FrameImmediate(benchmark::State& state) {
  TFrameRig& rig = Rig();
  if (!rig.ok) return state.SkipWithError("no OpenGL context");
  const TGLMultyMesh& model = Model(int(state.range(0)));
  for (auto _ : state) {
    rig.Begin();
    glPushMatrix();
    model.Draw();
    glPopMatrix();
    rig.End();
  }
  state.counters["fps"] =
      benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["timer_fps"] = 25;
}

void BM_FrameVertexArrays(benchmark::State& state) {
  TFrameRig& rig = Rig();
  if (!rig.ok) return state.SkipWithError("no OpenGL context");
  const TGLMultyMesh& model = Model(int(state.range(0)));
  const TArrays arrays(model);
  for (auto _ : state) {
    rig.Begin();
    glPushMatrix();
    arrays.Draw(model.Meshes.front()->Scale);
    glPopMatrix();
    rig.End();
  }
  state.counters["fps"] =
      benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["timer_fps"] = 25;
}

BENCHMARK(BM_FrameImmediate)
    ->Arg(10'000)
    ->Arg(100'000)
    ->Arg(1'000'000)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(3.0)
    ->UseRealTime();
BENCHMARK(BM_FrameVertexArrays)
    ->Arg(10'000)
    ->Arg(100'000)
    ->Arg(1'000'000)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(3.0)
    ->UseRealTime();

// Both ways must draw the same picture for the comparison to mean anything.
void ReportPictureDifference() {
  TFrameRig& rig = Rig();
  if (!rig.ok) return;
  const TGLMultyMesh& model = Model(100'000);
  rig.Begin();
  model.Draw();
  rig.End();
  const QImage immediate = rig.Picture();
  rig.Begin();
  TArrays(model).Draw(model.Meshes.front()->Scale);
  rig.End();
  const QImage arrays = rig.Picture();
  int differing = 0;
  for (int y = 0; y < immediate.height(); ++y)
    for (int x = 0; x < immediate.width(); ++x)
      differing += immediate.pixel(x, y) != arrays.pixel(x, y);
  std::cerr << "immediate mode and vertex arrays differ in " << differing << " of "
            << immediate.width() * immediate.height() << " pixels\n";
}

}  // namespace
}  // namespace vedalia

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  {
    vedalia::TFrameRig rig;
    vedalia::gRig = &rig;
    vedalia::ReportPictureDifference();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    vedalia::Models().clear();
    vedalia::gRig = nullptr;
  }
  return 0;
}
