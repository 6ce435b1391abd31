// A child commits in a loop and is killed with SIGKILL at random moments; after every kill
// the database must open and hold exactly the last reported commit or the one after it.
// Runs on a small school's file and a large one; VEDALIA_CRASH_KILLS sets the kills per
// file (scripts/crash-loop runs the full count).

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <random>
#include <string>
#include <thread>

#include "CrashState.h"
#include "StoreTestUtil.h"
#include "store/uChecker.h"

namespace vedalia {
namespace {

struct Child {
  pid_t pid = -1;
  int out = -1;  // read end of the child's stdout
  std::string buffer;

  // A forked copy of this process (no exec: start-up under the sanitizers costs more
  // than the loop) runs the child's loop with its output on a pipe.
  static Child Start(const QString& dbPath) {
    int fds[2];
    if (pipe(fds) != 0) return {};
    const pid_t pid = fork();
    if (pid == 0) {
      close(fds[0]);
      _exit(testing::RunCrashChild(dbPath, fds[1]));
    }
    close(fds[1]);
    return Child{pid, fds[0], {}};
  }

  // Reads the next line; empty at end of output.
  std::string Line() {
    for (;;) {
      const auto nl = buffer.find('\n');
      if (nl != std::string::npos) {
        std::string line = buffer.substr(0, nl);
        buffer.erase(0, nl + 1);
        return line;
      }
      char chunk[256];
      const ssize_t n = read(out, chunk, sizeof chunk);
      if (n <= 0) return {};
      buffer.append(chunk, std::size_t(n));
    }
  }
};

struct School {
  int accounts;
  int results;
  int kills;  // in the suite; VEDALIA_CRASH_KILLS overrides
};

class CrashLoop : public ::testing::TestWithParam<School> {};

TEST_P(CrashLoop, EveryKillLeavesTheLastCommitOrTheNext) {
  const School school = GetParam();
  testing::TempDatabase db;
  db.WriteBytes(testing::SchoolDatabase(school.accounts, school.results));
  const char* killsSet = std::getenv("VEDALIA_CRASH_KILLS");
  const int kKills = killsSet ? std::atoi(killsSet) : school.kills;
  std::mt19937 random(20261209);
  int reported = 0;               // last commit the child reported finished
  int midCommitKills = 0;         // kills after which the file was one ahead of the report
  long long cycleMicros = 20000;  // running estimate of one commit cycle
  for (int kill = 0; kill < kKills; ++kill) {
    Child child = Child::Start(db.path);
    ASSERT_GT(child.pid, 0);
    const std::string ready = child.Line();
    ASSERT_EQ(ready.rfind("ready ", 0), 0u) << "kill " << kill << ": " << ready;
    ASSERT_EQ(std::stoi(ready.substr(6)), reported) << "kill " << kill;
    // Let 0 to 2 commits finish, then kill at a random point of the next cycle(s). The
    // cycle time is measured as we go, so the kill points spread over whole cycles however
    // fast the machine (or the sanitizer build) is.
    const int finished = int(random() % 3);
    for (int i = 0; i < finished; ++i) {
      const auto start = std::chrono::steady_clock::now();
      const std::string line = child.Line();
      ASSERT_EQ(line.rfind("done ", 0), 0u) << "kill " << kill << ": " << line;
      reported = std::stoi(line.substr(5));
      const auto took = std::chrono::duration_cast<std::chrono::microseconds>(
          std::chrono::steady_clock::now() - start);
      cycleMicros = (3 * cycleMicros + took.count()) / 4;
    }
    std::this_thread::sleep_for(std::chrono::microseconds(random() % (2 * cycleMicros + 1)));
    ::kill(child.pid, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(child.pid, &status, 0), child.pid);
    for (std::string line = child.Line(); !line.empty(); line = child.Line()) {
      ASSERT_EQ(line.rfind("done ", 0), 0u) << line;
      reported = std::stoi(line.substr(5));
    }
    close(child.out);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the child ended by itself";

    QString why;
    const int held = [&] {
      TDBTransaction tx(db.path);
      return testing::CommittedSteps(tx, &why);
    }();
    ASSERT_GE(held, 0) << "kill " << kill << ": " << why.toStdString();
    ASSERT_TRUE(held == reported || held == reported + 1)
        << "kill " << kill << ": file holds " << held << ", last reported " << reported;
    if (held == reported + 1) ++midCommitKills;
    reported = held;
    // Every page still proves itself (quick_check over the whole file) now and then.
    if (kill % 25 == 24 || kill + 1 == kKills) {
      ASSERT_TRUE(
          TChecker().CheckDatabase(db.path, {QStringLiteral("users"), QStringLiteral("results")}))
          << "kill " << kill;
    }
  }
  RecordProperty("commits", reported);
  RecordProperty("killsBetweenCommitAndReport", midCommitKills);
}

INSTANTIATE_TEST_SUITE_P(Schools, CrashLoop,
                         ::testing::Values(School{1000, 50000, 200}, School{10000, 1000000, 200}),
                         [](const auto& info) {
                           return "Accounts" + std::to_string(info.param.accounts);
                         });

}  // namespace
}  // namespace vedalia
