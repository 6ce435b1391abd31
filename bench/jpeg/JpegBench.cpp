// Opening a 24-megapixel picture (decode at the start step and fit) against libjpeg-turbo's
// own djpeg at the same scale, and one zoom step.
//
//   bench_jpeg [--benchmark_filter=...]
// djpeg (package libjpeg-turbo-progs) must be on PATH for the reference rows.

#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include <jpeglib.h>

#include "viewers/uJpegViewer.h"

namespace {

using namespace vedalia;

// A 6000 x 4000 photo-like picture (smooth gradients with fine detail), quality 90.
const QByteArray& Picture24() {
  static const QByteArray bytes = [] {
    const int w = 6000, h = 4000;
    jpeg_compress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &out, &size);
    c.image_width = w;
    c.image_height = h;
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 90, TRUE);
    jpeg_start_compress(&c, TRUE);
    std::vector<JSAMPLE> row(w * 3);
    while (c.next_scanline < c.image_height) {
      const int y = static_cast<int>(c.next_scanline);
      for (int x = 0; x < w; ++x) {
        row[x * 3] = static_cast<JSAMPLE>(x * 255 / w);
        row[x * 3 + 1] = static_cast<JSAMPLE>(y * 255 / h);
        row[x * 3 + 2] = static_cast<JSAMPLE>(((x * 7) ^ (y * 13)) & 0xFF);
      }
      JSAMPROW r = row.data();
      jpeg_write_scanlines(&c, &r, 1);
    }
    jpeg_finish_compress(&c);
    QByteArray b(reinterpret_cast<const char*>(out), static_cast<qsizetype>(size));
    jpeg_destroy_compress(&c);
    std::free(out);
    return b;
  }();
  return bytes;
}

QString PictureFile() {
  static const QString path = [] {
    const QString p = QDir::tempPath() + "/bench_jpeg_24mp.jpg";
    QFile f(p);
    if (f.open(QIODevice::WriteOnly)) f.write(Picture24());
    return p;
  }();
  return path;
}

double ChildCpuMs() {
  rusage u{};
  getrusage(RUSAGE_CHILDREN, &u);
  return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 +
         (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

class FakeWindow : public IJpegWindow {
 public:
  TJpegSize ClientSize() const override { return client; }
  void SetClientSize(TJpegSize size) override { client = size; }
  void RemoveMaximizeButton() override {}
  bool IsMaximizedNow() const override { return false; }
  void RepaintNow() override {}
  void Invalidate() override {}
  TJpegSize client{870, 594};
};

// Usable screens: 1920 x 1040 opens the picture at 1/8, 2560 x 1400 at 1/4.
TJpegScreenMetrics Screen(int64_t which) {
  return which == 8 ? TJpegScreenMetrics{1920, 1040, 52} : TJpegScreenMetrics{2560, 1400, 52};
}

void BM_OpenAndFit(benchmark::State& state) {
  const QByteArray& bytes = Picture24();
  const TJpegScreenMetrics screen = Screen(state.range(0));
  int step = 0;
  for (auto _ : state) {
    FakeWindow win;
    auto v = TJpegViewer::Create(bytes, &win, screen);
    if (!v) {
      state.SkipWithError("picture did not open");
      return;
    }
    step = v->ScaleIndex();
    benchmark::DoNotOptimize(v->Image().constBits());
  }
  state.counters["denominator"] = ScaleDenominator(step);
}
BENCHMARK(BM_OpenAndFit)->Arg(8)->Arg(4)->Unit(benchmark::kMillisecond);

// The reference: djpeg decoding the same file at the same scale (one process per run,
// output discarded).
void BM_DjpegScale(benchmark::State& state) {
  const QString djpeg = QStandardPaths::findExecutable("djpeg");
  if (djpeg.isEmpty()) {
    state.SkipWithError("djpeg not found");
    return;
  }
  const QString file = PictureFile();
  const QStringList args = {
      "-scale", QStringLiteral("1/%1").arg(state.range(0)), "-bmp", "-outfile", "/dev/null", file};
  // The machine may be busy: the children's CPU time is the figure to compare with the
  // CPU column of BM_OpenAndFit.
  const double before = ChildCpuMs();
  for (auto _ : state) {
    QProcess p;
    p.start(djpeg, args);
    if (!p.waitForFinished(60000) || p.exitCode() != 0) {
      state.SkipWithError("djpeg failed");
      return;
    }
  }
  state.counters["djpeg_cpu_ms"] =
      (ChildCpuMs() - before) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_DjpegScale)->Arg(8)->Arg(4)->Unit(benchmark::kMillisecond)->UseRealTime();

// One step up from the start step (the next scale decoded and placed).
void BM_ZoomInStep(benchmark::State& state) {
  const QByteArray& bytes = Picture24();
  const TJpegScreenMetrics screen = Screen(state.range(0));
  for (auto _ : state) {
    state.PauseTiming();
    FakeWindow win;
    auto v = TJpegViewer::Create(bytes, &win, screen);
    state.ResumeTiming();
    if (!v || !v->ZoomIn()) {
      state.SkipWithError("zoom failed");
      return;
    }
    benchmark::DoNotOptimize(v->Image().constBits());
    state.PauseTiming();
    v.reset();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_ZoomInStep)->Arg(8)->Arg(4)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
