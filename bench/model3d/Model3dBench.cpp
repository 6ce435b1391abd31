// Reading GMS files and drawing frames of large models in the mesh view, against a minimal
// vertex-buffer program drawing the same triangles in the same window.
// Run under Xvfb with Mesa's software renderer for the frame figures:
//   LIBGL_ALWAYS_SOFTWARE=1 xvfb-run -a -s "-screen 0 1920x1080x24" bench_model3d

#include <benchmark/benchmark.h>

#include <GL/gl.h>
#include <GL/glu.h>

#include <QApplication>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QOpenGLFunctions>
#include <QOpenGLWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <map>
#include <memory>
#include <numbers>
#include <tuple>

#include "model3d/uGmsWriter.h"
#include "model3d/uMesh.h"
#include "model3d/uMeshView.h"

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

// The model file of about `triangles` triangles, with or without its texture block.
QString ModelFile(int triangles, bool textured = true) {
  static std::map<std::pair<int, bool>, QString> files;
  auto it = files.find({triangles, textured});
  if (it != files.end()) return it->second;
  const auto [rows, columns] = Grid(triangles);
  auto set = MakeSphere(rows, columns);
  set->Textured = textured;
  const QString path =
      Dir().filePath(QStringLiteral("sphere%1%2.gms").arg(triangles).arg(textured ? "t" : ""));
  WriteGmsFile(*set, path);
  return files[{triangles, textured}] = path;
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

// An offscreen-free window: the mesh view and, as the anchor, a minimal vertex-buffer program
// drawing the same triangles with the same lighting and texture, in the same window.
class TMinimalVbo : public QOpenGLWidget, protected QOpenGLFunctions {
 public:
  TMinimalVbo(const TGLMultyMesh& set, const QImage& texture, QWidget* parent)
      : QOpenGLWidget(parent), FTexture(texture) {
    QSurfaceFormat format = QSurfaceFormat::defaultFormat();
    format.setProfile(QSurfaceFormat::CompatibilityProfile);
    format.setVersion(2, 1);
    format.setDepthBufferSize(24);
    setFormat(format);
    const TGLMesh& m = *set.Meshes.front();
    FScale = m.Scale;
    FTextured = !texture.isNull();
    for (std::size_t i = 0; i < m.Faces.size(); ++i) {
      for (int j = 0; j < 3; ++j) {
        const TVector3f& p = m.Vertices[m.Faces[i][j]];
        FData.insert(FData.end(), p.begin(), p.end());
        FData.insert(FData.end(), m.FaceNormals[i].begin(), m.FaceNormals[i].end());
        if (FTextured) {
          const TVector3f& t = set.TexVertices[set.TexFaces[i][j]];
          FData.push_back(t[0]);
          FData.push_back(1.0f - t[1]);
        }
      }
    }
  }
  ~TMinimalVbo() override {
    makeCurrent();
    glDeleteBuffers(1, &FBuffer);
    glDeleteTextures(1, &FTextureId);
    doneCurrent();
  }

 protected:
  void initializeGL() override {
    initializeOpenGLFunctions();
    glClearColor(1, 1, 1, 1);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    glEnable(GL_COLOR_MATERIAL);
    glEnable(GL_NORMALIZE);
    glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, 1);
    glGenBuffers(1, &FBuffer);
    glBindBuffer(GL_ARRAY_BUFFER, FBuffer);
    glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(FData.size() * sizeof(float)), FData.data(),
                 GL_STATIC_DRAW);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    FCorners = GLsizei(FData.size() / (FTextured ? 8 : 6));
    if (FTextured) {
      glGenTextures(1, &FTextureId);
      glBindTexture(GL_TEXTURE_2D, FTextureId);
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
      glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
      glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, FTexture.width(), FTexture.height(), 0, GL_RGB,
                   GL_UNSIGNED_BYTE, FTexture.constBits());
      glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
      glEnable(GL_TEXTURE_2D);
      glColor3f(235 / 256.0f, 222 / 256.0f, 173 / 256.0f);
    } else {
      glColor3f(1, 1, 1);
    }
  }
  void paintGL() override {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(40.0, double(width()) / height(), 0.1, 10.0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glTranslatef(0, 0, -3);
    glRotatef(-90, 1, 0, 0);
    glScalef(FScale, FScale, FScale);
    if (FTextured) glBindTexture(GL_TEXTURE_2D, FTextureId);
    const GLsizei stride = GLsizei((FTextured ? 8 : 6) * sizeof(float));
    glBindBuffer(GL_ARRAY_BUFFER, FBuffer);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_NORMAL_ARRAY);
    glVertexPointer(3, GL_FLOAT, stride, nullptr);
    glNormalPointer(GL_FLOAT, stride, reinterpret_cast<const void*>(3 * sizeof(float)));
    if (FTextured) {
      glEnableClientState(GL_TEXTURE_COORD_ARRAY);
      glTexCoordPointer(2, GL_FLOAT, stride, reinterpret_cast<const void*>(6 * sizeof(float)));
    }
    glDrawArrays(GL_TRIANGLES, 0, FCorners);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glDisableClientState(GL_NORMAL_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
  }

 private:
  QImage FTexture;  // RGB888
  std::vector<float> FData;
  float FScale = 1;
  bool FTextured = false;
  GLuint FBuffer = 0, FTextureId = 0;
  GLsizei FCorners = 0;
};

// One window with the mesh view and the anchor side by side, each of the viewer's size, so
// that every frame of either pays for the same window.
struct TScene {
  static constexpr int kWidth = 862;
  static constexpr int kHeight = 561;
  int triangles = 0;
  bool textured = false;
  std::unique_ptr<QWidget> window;
  TMeshView* view = nullptr;
  TMinimalVbo* anchor = nullptr;
};

QImage BenchTexture() {
  // 256 x 256, as a course model would carry.
  QImage image(256, 256, QImage::Format_RGB888);
  for (int y = 0; y < 256; ++y)
    for (int x = 0; x < 256; ++x) image.setPixel(x, y, qRgb((x * 37) & 255, (y * 11) & 255, x ^ y));
  return image;
}

// One scene at a time: a million triangles held twice is already a few hundred megabytes.
std::unique_ptr<TScene>& SceneSlot() {
  static std::unique_ptr<TScene> slot;
  return slot;
}

TScene& Scene(int triangles, bool textured) {
  auto& slot = SceneSlot();
  if (!slot) slot = std::make_unique<TScene>();
  TScene& scene = *slot;
  if (scene.window && scene.triangles == triangles && scene.textured == textured) return scene;
  scene = TScene{};
  scene.triangles = triangles;
  scene.textured = textured;
  const QString model = ModelFile(triangles, textured);
  const QImage texture = BenchTexture();
  const QString texturePath = Dir().filePath(QStringLiteral("texture.bmp"));
  if (textured && !QFileInfo::exists(texturePath)) texture.save(texturePath, "BMP");
  scene.window = std::make_unique<QWidget>();
  scene.window->resize(2 * TScene::kWidth, TScene::kHeight);
  QString error;
  scene.view = TMeshView::Create(scene.window.get(), model, textured ? texturePath : QString(),
                                 TScene::kWidth, TScene::kHeight, 1.69f, 1 / 1.69f, &error);
  if (!scene.view) {
    std::cerr << "cannot load the model: " << error.toStdString() << "\n";
    scene.window.reset();
    return scene;
  }
  TGLMultyMesh set;
  set.LoadFromFile(model);
  scene.anchor = new TMinimalVbo(set, textured ? texture : QImage(), scene.window.get());
  scene.anchor->setGeometry(TScene::kWidth, 0, TScene::kWidth, TScene::kHeight);
  scene.window->show();
  (void)QTest::qWaitForWindowExposed(scene.window.get());
  return scene;
}

std::map<std::pair<int, bool>, std::pair<double, double>>& Rates() {
  static std::map<std::pair<int, bool>, std::pair<double, double>> rates;
  return rates;
}

// Asks for one frame the way the window's timer does, and waits until it is on the screen.
void Frame(QOpenGLWidget* widget) {
  QEventLoop loop;
  QObject::connect(widget, &QOpenGLWidget::frameSwapped, &loop, &QEventLoop::quit);
  QTimer::singleShot(10'000, &loop, &QEventLoop::quit);
  widget->update();
  loop.exec();
}

// Frames of the view and of the anchor in turn, so that both meet the same load of the
// machine; the ratio of their rates is the figure to read.
void BM_Frames(benchmark::State& state) {
  const int triangles = int(state.range(0));
  const bool textured = state.range(1) != 0;
  TScene& scene = Scene(triangles, textured);
  if (!scene.window) return state.SkipWithError("no scene");
  using Clock = std::chrono::steady_clock;
  Clock::duration inView{}, inAnchor{};
  for (auto _ : state) {
    const auto t0 = Clock::now();
    Frame(scene.view);
    const auto t1 = Clock::now();
    Frame(scene.anchor);
    inView += t1 - t0;
    inAnchor += Clock::now() - t1;
  }
  const double n = double(state.iterations());
  const double viewFps = n / std::chrono::duration<double>(inView).count();
  const double anchorFps = n / std::chrono::duration<double>(inAnchor).count();
  state.counters["view_fps"] = viewFps;
  state.counters["vbo_fps"] = anchorFps;
  state.counters["ratio"] = viewFps / anchorFps;
  Rates()[{triangles, textured}] = {viewFps, anchorFps};
}
BENCHMARK(BM_Frames)
    ->ArgsProduct({{10'000, 100'000, 1'000'000}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->MinTime(3.0)
    ->UseRealTime();

void PrintRatios() {
  std::cout << "\ntriangles textured  view_fps  vbo_fps  ratio\n";
  for (const auto& [key, fps] : Rates())
    std::printf("%9d %8s %9.2f %8.2f %6.3f\n", key.first, key.second ? "yes" : "no", fps.first,
                fps.second, fps.first / fps.second);
  std::fflush(stdout);
}

// The two must draw the same picture for the comparison to mean anything.
void ReportPictureDifference() {
  TScene& scene = Scene(100'000, true);
  if (!scene.window) return;
  const QImage view = scene.view->grabFramebuffer();
  const QImage anchor = scene.anchor->grabFramebuffer();
  int differing = 0;
  for (int y = 0; y < std::min(view.height(), anchor.height()); ++y)
    for (int x = 0; x < std::min(view.width(), anchor.width()); ++x)
      differing += view.pixel(x, y) != anchor.pixel(x, y);
  std::cerr << "the mesh view and the minimal program differ in " << differing << " of "
            << view.width() * view.height() << " pixels\n";
}

}  // namespace
}  // namespace vedalia

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  vedalia::ReportPictureDifference();
  benchmark::RunSpecifiedBenchmarks();
  vedalia::PrintRatios();
  benchmark::Shutdown();
  vedalia::SceneSlot().reset();
  return 0;
}
