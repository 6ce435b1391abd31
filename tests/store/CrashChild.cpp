// Child of the crash loop: commits the sequence of CrashState.h from where the database
// stands, one facade per commit as the shell does, and reports each finished commit on
// stdout. It runs until it is killed.

#include <unistd.h>

#include <cstdio>
#include <string>

#include "CrashState.h"

namespace {
void Say(const std::string& line) {
  const std::string text = line + "\n";
  if (::write(1, text.data(), text.size()) < 0) _exit(5);
}
}  // namespace

int main(int argc, char** argv) {
  using namespace vedalia;
  if (argc != 2) return 2;
  const QString path = QString::fromLocal8Bit(argv[1]);
  int s = 0;
  try {
    TDBTransaction tx(path);
    QString why;
    s = testing::CommittedSteps(tx, &why);
    if (s < 0) {
      Say("bad " + why.toStdString());
      return 3;
    }
  } catch (const std::exception& e) {
    Say(std::string("bad ") + e.what());
    return 3;
  }
  Say("ready " + std::to_string(s));
  for (;;) {
    ++s;
    try {
      TDBTransaction tx(path);
      if (tx.AddTestResult(testing::CrashCommitRecord(s)) != QString()) {
        Say("bad commit refused");
        return 4;
      }
    } catch (const std::exception& e) {
      Say(std::string("bad ") + e.what());
      return 4;
    }
    Say("done " + std::to_string(s));
  }
}
