// The shell's command cycle on a classroom server beside the embedded file in the same run
// (the anchor): connect, one operation, commit where it writes, disconnect. The server is a
// private one from Debian's package on a Unix socket, with durable commits as the file has.
// Arguments: engine (0 file, 1 server), accounts, results; for the room: engine, clients.
// Counters of the room: commands per second, p50 and p99 latency of one cycle, failures.

#include <benchmark/benchmark.h>

#include <QTemporaryDir>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <thread>
#include <vector>

#include "BenchAccounts.h"
#include "PgTestServer.h"
#include "store/PgConnection.h"
#include "store/uCrypto.h"
#include "store/uDBTransaction.h"
#include "store/uTables.h"

namespace vedalia {
namespace {

using bench::AddAccounts;
using testing::PgTestServer;

PgTestServer& Server() {
  static std::unique_ptr<PgTestServer> server = PgTestServer::Start(true, /*durable=*/true);
  return *server;
}

// Every account gets results/accounts tests, spread over chapters, sections and numbers;
// `numbers` is a row source n(x) of 0 .. results-1 in the engine's own SQL.
QString ResultsInsert(const QString& numbers, int accounts) {
  return QStringLiteral(
             "%1 INSERT INTO results SELECT x % %2 + 1, (x / %2) / 100 + 1, "
             "((x / %2) / 10) % 10 + 1, (x / %2) % 10 + 1, x * 37 % 101, x * 37 % 101, "
             "x * 37 % 101, 1, 'пройден' FROM n")
      .arg(numbers, QString::number(accounts));
}

// One database per engine and size, made once per run: a file, or a database on the server.
const QString& Database(bool server, int accounts, int results) {
  static QTemporaryDir dir;
  static std::map<std::tuple<bool, int, int>, QString> made;
  QString& location = made[{server, accounts, results}];
  if (!location.isEmpty()) return location;
  if (server) {
    location = Server().NewStore();
    {
      TDM dm(location);
      dm.Database.StartTransaction();
      AddAccounts(dm, accounts);
      dm.Database.Commit();
    }
    // A long bulk statement: past the store's statement timeout.
    PgConnection c;
    c.Connect(location, QString(), {10, 600000});
    c.Exec(ResultsInsert(
        QStringLiteral("WITH n(x) AS (SELECT generate_series(0, %1))").arg(results - 1), accounts));
    c.Exec(QStringLiteral("VACUUM ANALYZE"));
  } else {
    location = dir.filePath(QStringLiteral("db_%1_%2.adb").arg(accounts).arg(results));
    CreateDatabaseFile(location);
    TDM dm(location);
    dm.Database.StartTransaction();
    AddAccounts(dm, accounts);
    dm.Query.AddLine(ResultsInsert(QStringLiteral("WITH RECURSIVE n(x) AS (SELECT 0 UNION ALL "
                                                  "SELECT x + 1 FROM n WHERE x + 1 < %1)")
                                       .arg(results),
                                   accounts));
    dm.Query.ExecSQL();
    dm.Database.Commit();
  }
  return location;
}

const QString& DatabaseOf(const benchmark::State& state) {
  return Database(state.range(0) != 0, int(state.range(1)), int(state.range(2)));
}

// One command of the shell by its number: logging in, reading results, recording one.
bool Command(const QString& location, int op, int account, int score) {
  TDBTransaction tx(location);
  switch (op % 3) {
    case 0:
      return tx
          .ValidateUser(bench::Surname(account) + ';' + bench::Name(account) +
                        QStringLiteral(";А;") + bench::Password(account))
          .startsWith(QString::number(account) + ';');
    case 1:
      return tx.GetUserResults(QString::number(account)).contains('/');
    default:
      return tx.AddTestResult(QStringLiteral("1;1;1;%1;%2;again").arg(score).arg(account))
          .isEmpty();
  }
}

void Cycle(benchmark::State& state, int op) {
  const QString& location = DatabaseOf(state);
  const int account = int(state.range(1)) / 2;
  int score = 0;
  for (auto _ : state) {
    if (!Command(location, op, account, score++ % 101)) state.SkipWithError("wrong answer");
  }
}

void BM_ValidateUser(benchmark::State& state) { Cycle(state, 0); }
void BM_GetUserResults(benchmark::State& state) { Cycle(state, 1); }
void BM_AddTestResult(benchmark::State& state) { Cycle(state, 2); }

// A room: `clients` threads, each its own shell doing the three commands in turn for its
// own pupils, as fast as it can, for a fixed number of commands.
void BM_Room(benchmark::State& state) {
  constexpr int kAccounts = 1000, kResults = 50000, kCommandsPerClient = 60;
  const bool server = state.range(0) != 0;
  const int clients = int(state.range(1));
  const QString& location = Database(server, kAccounts, kResults);
  std::vector<double> latencies;
  std::atomic<int> failed{0};
  double seconds = 0;
  for (auto _ : state) {
    std::vector<std::vector<double>> each(clients);
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::thread> threads;
    for (int c = 0; c < clients; ++c) {
      threads.emplace_back([&, c] {
        for (int i = 0; i < kCommandsPerClient; ++i) {
          const auto t0 = std::chrono::steady_clock::now();
          bool ok = false;
          try {
            ok = Command(location, i, 1 + (c * 31 + i) % kAccounts, i % 101);
          } catch (const std::exception&) {
          }
          if (!ok) ++failed;
          each[c].push_back(
              std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0)
                  .count());
        }
      });
    }
    for (auto& t : threads) t.join();
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    for (const auto& l : each) latencies.insert(latencies.end(), l.begin(), l.end());
  }
  std::sort(latencies.begin(), latencies.end());
  const auto at = [&](double q) {
    return latencies[std::size_t(q * double(latencies.size() - 1))];
  };
  state.counters["cmds_per_s"] = double(latencies.size()) / seconds;
  state.counters["p50_ms"] = at(0.5);
  state.counters["p99_ms"] = at(0.99);
  state.counters["failed"] = failed.load();
}

#define CYCLE_BENCH(fn)                             \
  BENCHMARK(fn)                                     \
      ->ArgNames({"server", "accounts", "results"}) \
      ->Args({0, 1000, 50000})                      \
      ->Args({1, 1000, 50000})                      \
      ->Args({0, 10000, 1000000})                   \
      ->Args({1, 10000, 1000000})                   \
      ->Unit(benchmark::kMillisecond)               \
      ->Repetitions(3)                              \
      ->ReportAggregatesOnly(true)
CYCLE_BENCH(BM_ValidateUser);
CYCLE_BENCH(BM_GetUserResults);
CYCLE_BENCH(BM_AddTestResult);
BENCHMARK(BM_Room)
    ->ArgNames({"server", "clients"})
    ->Args({0, 1})
    ->Args({1, 1})
    ->Args({1, 30})
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace vedalia

BENCHMARK_MAIN();
