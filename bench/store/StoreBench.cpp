// One whole command cycle of the shell on the accounts database: open (lock, read, unseal),
// one operation, commit where it writes (seal, write, flush, rename), close.
// Arguments: accounts, results. Counters: the database file's size in bytes.

#include <benchmark/benchmark.h>

#include <QFileInfo>
#include <QTemporaryDir>
#include <map>
#include <memory>

#include "store/uCrypto.h"
#include "store/uDBTransaction.h"
#include "store/uTables.h"

namespace vedalia {
namespace {

// One database per size, made once per run.
const QString& Database(int accounts, int results) {
  static QTemporaryDir dir;
  static std::map<std::pair<int, int>, QString> made;
  auto& path = made[{accounts, results}];
  if (!path.isEmpty()) return path;
  path = dir.filePath(QStringLiteral("db_%1_%2.adb").arg(accounts).arg(results));
  CreateDatabaseFile(path);
  TDM dm(path);
  dm.Database.StartTransaction();
  dm.Table.SetTableName(QStringLiteral("users"));
  dm.Table.Open();
  for (int i = 1; i <= accounts; ++i) {
    dm.Table.Insert();
    dm.Table.SetInt(QStringLiteral("U_id"), i);
    dm.Table.SetText(QStringLiteral("U_name"), QStringLiteral("Имя%1").arg(i));
    dm.Table.SetText(QStringLiteral("U_Father_Name"), QStringLiteral("Батькович"));
    dm.Table.SetText(QStringLiteral("U_SurName"), QStringLiteral("Фамилия%1").arg(i));
    dm.Table.SetText(QStringLiteral("U_Birth_date"), QStringLiteral("1.1.2001"));
    dm.Table.SetText(QStringLiteral("U_sex"), QStringLiteral("true"));
    dm.Table.SetText(QStringLiteral("U_login"), QStringLiteral("Имя%1").arg(i));
    dm.Table.SetText(QStringLiteral("U_password"),
                     EncodeStr(QStringLiteral("pw%1").arg(i), QLatin1String(kFieldCipherKey)));
    dm.Table.SetInt(QStringLiteral("U_class_numb"), 8);
    dm.Table.SetText(QStringLiteral("U_class_literal"), QStringLiteral("А"));
    dm.Table.SetText(QStringLiteral("U_last_enter_date"), QStringLiteral("09.12.2026"));
    dm.Table.SetBool(QStringLiteral("U_is_passwd_remem"), false);
    dm.Table.SetInt(QStringLiteral("U_last_test_id"), 0);
    dm.Table.SetInt(QStringLiteral("U_Privileges"), 0);
    dm.Table.Post();
  }
  dm.Table.Close();
  // Every account gets results/accounts tests, spread over chapters, sections and numbers.
  dm.Query.AddLine(
      QStringLiteral(
          "WITH RECURSIVE n(x) AS (SELECT 0 UNION ALL SELECT x + 1 FROM n WHERE x + 1 < %1) "
          "INSERT INTO results SELECT x %% %2 + 1, (x / %2) / 100 + 1, ((x / %2) / 10) %% 10 + 1, "
          "(x / %2) %% 10 + 1, x * 37 %% 101, x * 37 %% 101, x * 37 %% 101, 1, 'пройден' FROM n")
          .arg(results)
          .arg(accounts)
          .replace(QStringLiteral("%%"), QStringLiteral("%")));
  dm.Query.ExecSQL();
  dm.Database.Commit();
  return path;
}

void SetSize(benchmark::State& state, const QString& path) {
  state.counters["file_bytes"] = double(QFileInfo(path).size());
}

void BM_ValidateUser(benchmark::State& state) {
  const QString& path = Database(int(state.range(0)), int(state.range(1)));
  const int id = int(state.range(0)) / 2;
  const QString record = QStringLiteral("Фамилия%1;Имя%1;А;pw%1").arg(id);
  for (auto _ : state) {
    TDBTransaction tx(path);
    if (!tx.ValidateUser(record).startsWith(QString::number(id) + ';'))
      state.SkipWithError("no login");
  }
  SetSize(state, path);
}

void BM_GetUserResults(benchmark::State& state) {
  const QString& path = Database(int(state.range(0)), int(state.range(1)));
  const QString id = QString::number(state.range(0) / 2);
  for (auto _ : state) {
    TDBTransaction tx(path);
    benchmark::DoNotOptimize(tx.GetUserResults(id));
  }
  SetSize(state, path);
}

void BM_AddTestResult(benchmark::State& state) {
  const QString& path = Database(int(state.range(0)), int(state.range(1)));
  const QString record = QStringLiteral("1;1;1;%2;%1;again").arg(state.range(0) / 2);
  int score = 0;
  for (auto _ : state) {
    TDBTransaction tx(path);
    if (!tx.AddTestResult(record.arg(score++ % 100)).isEmpty()) state.SkipWithError("not stored");
  }
  SetSize(state, path);
}

// Opening and closing alone: the part of every cycle that grows with the file.
void BM_OpenClose(benchmark::State& state) {
  const QString& path = Database(int(state.range(0)), int(state.range(1)));
  for (auto _ : state) TDM dm(path);
  SetSize(state, path);
}

#define STORE_BENCH(fn)               \
  BENCHMARK(fn)                       \
      ->Args({1000, 50000})           \
      ->Args({10000, 1000000})        \
      ->Unit(benchmark::kMillisecond) \
      ->Repetitions(5)                \
      ->ReportAggregatesOnly(true)
STORE_BENCH(BM_OpenClose);
STORE_BENCH(BM_ValidateUser);
STORE_BENCH(BM_GetUserResults);
STORE_BENCH(BM_AddTestResult);

}  // namespace
}  // namespace vedalia

BENCHMARK_MAIN();
