// How long opening a video keeps the interface waiting: the playability probe that runs before
// every video window, and building the viewer's pipeline up to its first picture.
// Run under a display (xvfb-run) like the widget tests.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QWidget>

#include "TestMedia.h"
#include "desktop/uDesktop.h"
#include "misc/uMisc.h"
#include "viewers/uVideoViewer.h"

namespace {

using vedalia::test::TestMedia;

void BM_CanRenderMedia_Playable(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(vedalia::CanRenderMedia(TestMedia().ShortVideo));
}
BENCHMARK(BM_CanRenderMedia_Playable)->Unit(benchmark::kMillisecond);

void BM_CanRenderMedia_RandomBytes(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(vedalia::CanRenderMedia(TestMedia().RandomBytes));
}
BENCHMARK(BM_CanRenderMedia_RandomBytes)->Unit(benchmark::kMillisecond);

void BM_VideoViewer_Build(benchmark::State& state) {
  QWidget owner;
  for (auto _ : state) {
    vedalia::TVideoViewer viewer(&owner, TestMedia().ShortVideo);
    if (viewer.VideoWidth == 0) state.SkipWithError("the video did not build");
  }
}
BENCHMARK(BM_VideoViewer_Build)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (!TestMedia().Error.isEmpty()) {
    fprintf(stderr, "%s\n", qPrintable(TestMedia().Error));
    return 1;
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
