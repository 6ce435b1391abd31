// Content loading speed: unscrambling beside memcpy of the same buffer, and inspecting the
// header of a large compressed movie (time, and peak resident memory it adds).
//
//   bench_content --benchmark_counters_tabular=true

#include <benchmark/benchmark.h>

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <zlib.h>

#include "flashhost/SwfInfo.h"
#include "flashhost/SwfWriter.h"
#include "media/uDecryptor.h"

namespace {

constexpr qsizetype kContentSize = qsizetype(64) << 20;
constexpr int kMovieSize = 50 << 20;

QByteArray Noise(qsizetype size) {
  QByteArray bytes(size, Qt::Uninitialized);
  std::uint64_t x = 0x9E3779B97F4A7C15ull;
  for (qsizetype i = 0; i + 8 <= size; i += 8) {
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
    std::memcpy(bytes.data() + i, &x, 8);
  }
  return bytes;
}

void BM_Memcpy(benchmark::State& state) {
  const QByteArray source = Noise(kContentSize);
  QByteArray target(kContentSize, '\0');
  for (auto _ : state) {
    std::memcpy(target.data(), source.constData(), size_t(kContentSize));
    benchmark::DoNotOptimize(target.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * kContentSize);
}
BENCHMARK(BM_Memcpy)->Unit(benchmark::kMillisecond);

// In place, as the loader does; arg = key length (1 is the course's key).
void BM_Unscramble(benchmark::State& state) {
  QByteArray content = Noise(kContentSize);
  const QByteArray key = Noise(64).left(state.range(0));
  for (auto _ : state) {
    vedalia::TDecryptor::Unscramble(content.data(), content.size(), key);
    benchmark::DoNotOptimize(content.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * kContentSize);
}
BENCHMARK(BM_Unscramble)->Arg(1)->Arg(3)->Arg(7)->Unit(benchmark::kMillisecond);

// A 50 MiB CWS movie whose body is mostly incompressible, written once.
struct BigMovie {
  QTemporaryDir dir;
  QString path;
  BigMovie() {
    vedalia::SwfMovieSpec movieSpec;
    movieSpec.compression = vedalia::SwfCompression::Zlib;
    movieSpec.frameCount = 100;
    movieSpec.extraTags = vedalia::SwfTag(77, Noise(kMovieSize));
    path = dir.filePath("big.swf");
    vedalia::WriteSwfMovieFile(path, movieSpec);
  }
};

BigMovie& Movie() {
  static BigMovie movie;
  return movie;
}

long StatusKiB(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(field, 0) == 0) return std::stol(line.substr(std::strlen(field)));
  }
  return -1;
}

// Peak resident memory added by one inspection of the file (registered first, so that its
// first call also pays for what the allocator had to take from the system): the kernel's high-water
// mark is reset to the current size first (clear_refs 5), then read after the call.
void BM_InspectCwsFilePeakMemory(benchmark::State& state) {
  const QString path = Movie().path;
  double first = -1;
  double worst = 0;
  for (auto _ : state) {
    state.PauseTiming();
    { std::ofstream("/proc/self/clear_refs") << "5"; }
    const long before = StatusKiB("VmRSS:");
    state.ResumeTiming();
    auto info = vedalia::InspectSwfFile(path);
    benchmark::DoNotOptimize(info);
    state.PauseTiming();
    const long peak = StatusKiB("VmHWM:");
    if (before < 0 || peak < 0) state.SkipWithError("no /proc/self/status");
    if (first < 0) first = double(peak - before);
    worst = std::max(worst, double(peak - before));
    state.ResumeTiming();
  }
  state.counters["first_call_KiB"] = first;
  state.counters["worst_KiB"] = worst;
}
BENCHMARK(BM_InspectCwsFilePeakMemory)->Iterations(20)->Unit(benchmark::kMicrosecond);

void BM_InspectCwsFile(benchmark::State& state) {
  const QString path = Movie().path;
  state.counters["file_MiB"] = double(QFile(path).size()) / (1 << 20);
  for (auto _ : state) {
    auto info = vedalia::InspectSwfFile(path);
    if (!info || info->frameCount != 100) state.SkipWithError("inspection failed");
    benchmark::DoNotOptimize(info);
  }
}
BENCHMARK(BM_InspectCwsFile)->Unit(benchmark::kMicrosecond);

void BM_InspectCwsInMemory(benchmark::State& state) {
  QFile file(Movie().path);
  file.open(QIODevice::ReadOnly);
  const QByteArray bytes = file.readAll();
  for (auto _ : state) {
    auto info = vedalia::InspectSwf(bytes);
    if (!info) state.SkipWithError("inspection failed");
    benchmark::DoNotOptimize(info);
  }
}
BENCHMARK(BM_InspectCwsInMemory)->Unit(benchmark::kMicrosecond);

// The body check of the same movie, from the file (as the start-up check does) and in memory
// (as the content loader does), beside zlib inflating the same bytes into one buffer.
void BM_CheckCwsBody(benchmark::State& state) {
  const QString path = Movie().path;
  QFile file(path);
  file.open(QIODevice::ReadOnly);
  const QByteArray bytes = file.readAll();
  for (auto _ : state) {
    auto info = state.range(0) ? vedalia::InspectSwfFile(path, nullptr, vedalia::SwfCheck::Body)
                               : vedalia::InspectSwf(bytes, nullptr, vedalia::SwfCheck::Body);
    if (!info) state.SkipWithError("body check failed");
    benchmark::DoNotOptimize(info);
  }
  state.SetBytesProcessed(state.iterations() * bytes.size());
}
BENCHMARK(BM_CheckCwsBody)->ArgName("file")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_ZlibUncompressAnchor(benchmark::State& state) {
  QFile file(Movie().path);
  file.open(QIODevice::ReadOnly);
  const QByteArray bytes = file.readAll();
  const auto declared = vedalia::InspectSwf(bytes)->declaredLength;
  std::vector<Bytef> out(declared);
  for (auto _ : state) {
    uLongf size = uLongf(out.size());
    uLong used = uLong(bytes.size() - 8);
    if (uncompress2(out.data(), &size, reinterpret_cast<const Bytef*>(bytes.constData()) + 8,
                    &used) != Z_OK)
      state.SkipWithError("uncompress failed");
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(state.iterations() * bytes.size());
}
BENCHMARK(BM_ZlibUncompressAnchor)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
