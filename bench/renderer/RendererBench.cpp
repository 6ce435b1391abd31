// The movie renderer's costs, measured on the renderer tests' echo movie:
//   BM_ColdStart/0: a fresh process (Chromium included) from creating the control to the
//     movie's first FSCommand, the movie set at once;
//   BM_ColdStart/2000: the same, the movie set 2000 ms after the control was created, as
//     the program does it (the control is built while the splash shows for 2000 ms);
//     counters: first_event_ms (from the control's creation), after_movie_ms (from setting
//     the movie), rss_mib and pss_mib (our process and every web engine process, at the
//     first event; the resident sum counts shared libraries once per process);
//   BM_RoundTrip/0: a reply to a running movie until the movie's acknowledgement arrives
//     (FlashVars -> SetVariable callback -> FSCommand echo), median in median_ms;
//   BM_RoundTrip/1: the same to an ActionScript 2 movie that registers nothing (its
//     variable set through the injected callback, a watch on it sends the echo).
// Each cold start runs in a child process of its own. Run under a display like the tests:
//   xvfb-run -a -s "-screen 0 1280x1024x24" bench_renderer --benchmark_repetitions=5
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "flashhost/FlashPlayerControl.h"
#include "flashhost/SwfWriter.h"
#include "flashhost/ruffle/RuffleRenderer.h"

namespace {

using vedalia::TFlashPlayerControl;

QString selfPath;

bool installRuntime() {
  QFile runtime(TFlashPlayerControl::PlayerCodeResource());
  if (!runtime.open(QIODevice::ReadOnly) || !TFlashPlayerControl::InstallPlayerCode(runtime))
    return false;
  TFlashPlayerControl::SetRendererFactory(vedalia::CreateMovieRenderer);
  return true;
}

// Memory of a process and all its descendants, in KiB: resident (shared pages counted in
// every process) and proportional (shared pages split between the processes).
struct Memory {
  qint64 rss = 0, pss = 0;
};

qint64 fieldKib(const QByteArray& text, const QByteArray& key) {
  for (const QByteArray& line : text.split('\n'))
    if (line.startsWith(key)) return line.mid(key.size()).trimmed().split(' ').first().toLongLong();
  return 0;
}

Memory treeMemory(qint64 root) {
  QHash<qint64, qint64> parentOf;
  for (const QString& entry : QDir("/proc").entryList(QDir::Dirs)) {
    bool ok = false;
    const qint64 pid = entry.toLongLong(&ok);
    if (!ok) continue;
    QFile stat("/proc/" + entry + "/stat");
    if (!stat.open(QIODevice::ReadOnly)) continue;
    const QByteArray text = stat.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    if (fields.size() > 1) parentOf.insert(pid, fields[1].toLongLong());
  }
  Memory total;
  for (auto it = parentOf.begin(); it != parentOf.end(); ++it) {
    qint64 p = it.key();
    while (p > 1 && p != root) p = parentOf.value(p, 0);
    if (p != root) continue;
    QFile rollup(QStringLiteral("/proc/%1/smaps_rollup").arg(it.key()));
    if (!rollup.open(QIODevice::ReadOnly)) continue;
    const QByteArray text = rollup.readAll();
    total.rss += fieldKib(text, "Rss:");
    total.pss += fieldKib(text, "Pss:");
  }
  return total;
}

// The child: prints "first_event_ms after_movie_ms rss_kib pss_kib".
int coldChild(int delayMs) {
  if (!installRuntime()) return 1;
  QWidget window;
  window.resize(1014, 731);
  QElapsedTimer clock;
  clock.start();
  auto* player = new TFlashPlayerControl(&window);
  player->resize(1014, 731);
  window.show();
  qint64 movieSetAt = 0, firstEventAt = -1;
  QEventLoop loop;
  QObject::connect(player, &TFlashPlayerControl::OnFSCommand, [&] {
    if (firstEventAt < 0) firstEventAt = clock.elapsed();
    loop.quit();
  });
  QTimer::singleShot(delayMs, [&] {
    movieSetAt = clock.elapsed();
    player->SetMovie(QStringLiteral(VEDALIA_ECHO_MOVIE));
  });
  QTimer::singleShot(120000, &loop, &QEventLoop::quit);
  loop.exec();
  if (firstEventAt < 0) return 1;
  const Memory memory = treeMemory(QCoreApplication::applicationPid());
  std::printf("%lld %lld %lld %lld\n", firstEventAt, firstEventAt - movieSetAt, memory.rss,
              memory.pss);
  return 0;
}

void BM_ColdStart(benchmark::State& state) {
  for (auto _ : state) {
    QProcess child;
    child.start(selfPath, {"--cold-child", QString::number(state.range(0))});
    if (!child.waitForFinished(180000) || child.exitCode() != 0) {
      state.SkipWithError("the child saw no movie event");
      return;
    }
    const QList<QByteArray> out =
        child.readAllStandardOutput().trimmed().split('\n').last().split(' ');
    if (out.size() != 4) {
      state.SkipWithError("the child's answer is unreadable");
      return;
    }
    state.SetIterationTime(out[0].toDouble() / 1000.0);
    state.counters["first_event_ms"] = out[0].toDouble();
    state.counters["after_movie_ms"] = out[1].toDouble();
    state.counters["rss_mib"] = out[2].toDouble() / 1024.0;
    state.counters["pss_mib"] = out[3].toDouble() / 1024.0;
  }
}
BENCHMARK(BM_ColdStart)
    ->Arg(0)
    ->Arg(2000)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// Says fscommand("ready") in its first frame and fscommand("echo", "rt=" + value)
// whenever the host sets rt.
QByteArray as2EchoMovie() {
  using vedalia::SwfActions;
  using vedalia::SwfOp;
  vedalia::SwfMovieSpec movieSpec;
  movieSpec.version = 8;
  movieSpec.width = 400;
  movieSpec.height = 300;
  SwfActions echo;
  echo.Push("FSCommand:echo").Push("rt=").Get("n").Op(SwfOp::StringAdd).GetUrl2();
  echo.Get("n").Op(SwfOp::Return);
  SwfActions f0;
  f0.DefineFunction(QString(), {"p", "o", "n"}, echo)
      .Push("rt")
      .Push(std::int32_t(2))
      .Get("_level0")
      .Push("watch")
      .Op(SwfOp::CallMethod)
      .Op(SwfOp::Pop);
  f0.Fscommand("ready", "").Op(SwfOp::Stop);
  movieSpec.frameActions[0] = f0;
  return vedalia::WriteSwfMovie(movieSpec);
}

void BM_RoundTrip(benchmark::State& state) {
  QWidget window;
  window.resize(400, 300);
  auto* player = new TFlashPlayerControl(&window);
  player->resize(400, 300);
  window.show();
  QString lastCommand, lastArgs;
  QEventLoop loop;
  QObject::connect(player, &TFlashPlayerControl::OnFSCommand,
                   [&](TFlashPlayerControl*, const QString& c, const QString& a) {
                     lastCommand = c;
                     lastArgs = a;
                     loop.quit();
                   });
  QBuffer as2(&window);
  if (state.range(0)) {
    as2.setData(as2EchoMovie());
    as2.open(QIODevice::ReadOnly);
    player->PlayFromStream(0, as2);
  } else {
    player->SetMovie(QStringLiteral(VEDALIA_ECHO_MOVIE));
  }
  QTimer::singleShot(120000, &loop, &QEventLoop::quit);
  loop.exec();
  if (lastCommand != QLatin1String("ready")) {
    state.SkipWithError("the movie did not start");
    return;
  }
  std::vector<double> times;
  int n = 0;
  for (auto _ : state) {
    const QString reply = QStringLiteral("rt=%1").arg(++n);
    QElapsedTimer clock;
    clock.start();
    player->SetFlashVars(reply);
    QTimer timeout;
    timeout.setSingleShot(true);
    QObject::connect(&timeout, &QTimer::timeout, &loop, &QEventLoop::quit);
    timeout.start(10000);
    while (lastArgs != reply && timeout.isActive()) loop.exec();
    if (lastArgs != reply) {
      state.SkipWithError("the movie did not acknowledge");
      return;
    }
    times.push_back(double(clock.nsecsElapsed()) / 1e6);
    state.SetIterationTime(times.back() / 1000.0);
  }
  std::sort(times.begin(), times.end());
  state.counters["median_ms"] = times[times.size() / 2];
}
BENCHMARK(BM_RoundTrip)
    ->Arg(0)
    ->Arg(1)
    ->Iterations(100)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  vedalia::PrepareMovieRenderer();
  QApplication app(argc, argv);
  if (argc == 3 && QByteArray(argv[1]) == "--cold-child") return coldChild(std::atoi(argv[2]));
  selfPath = QCoreApplication::applicationFilePath();
  if (!installRuntime()) return 1;
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
