// The cost of rewriting a 20 MiB AS2 movie for the renderer (target: under 20 ms median for a
// plain movie), beside two anchors of the same run: memcpy of the 20 MiB, and zlib's inflate
// of the compressed movie, which the rewrite of a CWS movie must do anyway.
//
//   bench_flashhost --benchmark_repetitions=5 --benchmark_report_aggregates_only=true

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <QByteArray>
#include <cstring>
#include <random>
#include <vector>

#include "flashhost/Avm1Rewriter.h"
#include "flashhost/SwfInfo.h"
#include "flashhost/SwfWriter.h"

namespace {

constexpr int kMovieBytes = 20 << 20;
constexpr int kFrames = 1000;

// A course movie as discs hold them: a thousand frames of actions, each with a branch over an
// fscommand, and media (incompressible, as JPEG and MP3 data are) making up the 20 MiB.
const QByteArray& Movie(vedalia::SwfCompression kind) {
  static QByteArray made[2];
  QByteArray& movie = made[kind == vedalia::SwfCompression::Zlib];
  if (!movie.isEmpty()) return movie;
  vedalia::SwfMovieSpec movieSpec;
  movieSpec.version = 8;
  movieSpec.compression = kind;
  movieSpec.frameCount = kFrames;
  vedalia::SwfActions a;
  a.Push("registred").Op(vedalia::SwfOp::GetVariable).If("done");
  a.Fscommand("getUsersData", "")
      .Push("list")
      .Push("UsersData")
      .Op(vedalia::SwfOp::GetVariable)
      .Op(vedalia::SwfOp::SetVariable)
      .Label("done")
      .Op(vedalia::SwfOp::Stop);
  std::mt19937 random(20);
  const int blobs = 20;
  QByteArray blob(kMovieBytes / blobs, Qt::Uninitialized);
  for (char& c : blob) c = char(random());
  for (int i = 0; i < kFrames; ++i) movieSpec.frameActions[i] = a;
  for (int i = 0; i < blobs; ++i)
    movieSpec.frameTags[i * (kFrames / blobs)] =
        vedalia::SwfTag(87, QByteArray("\x01\0\0\0\0\0", 6) + blob);  // DefineBinaryData
  movie = vedalia::WriteSwfMovie(movieSpec);
  return movie;
}

void BM_Rewrite(benchmark::State& state) {
  const auto kind = state.range(0) ? vedalia::SwfCompression::Zlib : vedalia::SwfCompression::None;
  const QByteArray& movie = Movie(kind);
  int commands = 0;
  for (auto _ : state) {
    auto r = vedalia::RewriteAvm1Movie(movie);
    if (!r) state.SkipWithError("not rewritten");
    commands = r ? r->commands : 0;
    benchmark::DoNotOptimize(r);
  }
  state.counters["commands"] = commands;
  state.counters["MiB"] = double(vedalia::InspectSwf(movie)->declaredLength) / (1 << 20);
  state.SetBytesProcessed(state.iterations() * movie.size());
}
BENCHMARK(BM_Rewrite)->ArgName("cws")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_MemcpyAnchor(benchmark::State& state) {
  const QByteArray& movie = Movie(vedalia::SwfCompression::None);
  std::vector<char> out(movie.size());
  for (auto _ : state) {
    std::memcpy(out.data(), movie.constData(), out.size());
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * movie.size());
}
BENCHMARK(BM_MemcpyAnchor)->Unit(benchmark::kMillisecond);

void BM_InflateAnchor(benchmark::State& state) {
  const QByteArray& movie = Movie(vedalia::SwfCompression::Zlib);
  std::vector<Bytef> out(vedalia::InspectSwf(movie)->declaredLength);
  for (auto _ : state) {
    uLongf size = uLongf(out.size());
    uLong used = uLong(movie.size() - 8);
    if (uncompress2(out.data(), &size, reinterpret_cast<const Bytef*>(movie.constData()) + 8,
                    &used) != Z_OK)
      state.SkipWithError("uncompress failed");
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(state.iterations() * movie.size());
}
BENCHMARK(BM_InflateAnchor)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
