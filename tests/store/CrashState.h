#pragma once
// The state the crash loop's child builds, one facade commit at a time, and how to read
// back how many commits a database holds. Commit s (from 1) either adds test s of chapter 2
// (s odd) or adds attempt number s of chapter 1's test 1 (s even), so after s commits there
// are ceil(s/2) chapter-2 rows and test 1 has 1 + floor(s/2) attempts.

#include <unistd.h>

#include <QString>
#include <QStringList>
#include <string>

#include "store/uDBTransaction.h"

namespace vedalia::testing {

inline QString CrashCommitRecord(int s) {
  return s % 2 ? QStringLiteral("2;1;%1;%1;1;i").arg(s) : QStringLiteral("1;1;1;%1;1;u").arg(s);
}

// The number of commits the database holds, or -1 (with `why`) when it holds no state the
// sequence above can reach: a lost, doubled or half-written change.
inline int CommittedSteps(TDBTransaction& tx, QString* why) {
  const QString list = tx.GetUserResults(QStringLiteral("1"));
  int inserted = 0;
  int attempts = -1;
  int lastScore = -1;
  int bestScore = -1;
  int average = -1;
  for (const QString& entry : list.split(';')) {
    const QStringList v = entry.split('/');
    if (v.size() != 8) {
      *why = "bad entry " + entry;
      return -1;
    }
    if (v[0] == "2") {
      if (v[2].toInt() != 2 * inserted + 1 || v[6] != "1") {
        *why = "chapter 2 out of sequence at " + entry;
        return -1;
      }
      ++inserted;
    } else {
      attempts = v[6].toInt();
      lastScore = v[3].toInt();
      bestScore = v[4].toInt();
      average = v[5].toInt();
    }
  }
  if (attempts < 1) {
    *why = "test 1 missing: " + list;
    return -1;
  }
  const int updates = attempts - 1;
  const int s = inserted + updates;
  // Scores 0, 2, 4, ... 2k: the best is the last and the average is k, for whole attempts only.
  if (inserted != (s + 1) / 2 || updates != s / 2 || lastScore != 2 * updates ||
      bestScore != lastScore || average != updates) {
    *why = QStringLiteral("inconsistent: %1 rows, %2 attempts, last %3, best %4, average %5")
               .arg(inserted)
               .arg(attempts)
               .arg(lastScore)
               .arg(bestScore)
               .arg(average);
    return -1;
  }
  return s;
}

// The child: commits the sequence from where the database stands, one facade per commit
// as the shell does, and reports each finished commit as a line on `out`. Runs until it is
// killed; returns only on a failure.
inline int RunCrashChild(const QString& path, int out) {
  const auto say = [out](const std::string& line) {
    const std::string text = line + "\n";
    return ::write(out, text.data(), text.size()) == ssize_t(text.size());
  };
  int s = 0;
  try {
    TDBTransaction tx(path);
    QString why;
    s = CommittedSteps(tx, &why);
    if (s < 0) return say("bad " + why.toStdString()), 3;
  } catch (const std::exception& e) {
    return say(std::string("bad ") + e.what()), 3;
  }
  if (!say("ready " + std::to_string(s))) return 5;
  for (;;) {
    ++s;
    try {
      TDBTransaction tx(path);
      if (tx.AddTestResult(CrashCommitRecord(s)) != QString()) return say("bad commit refused"), 4;
    } catch (const std::exception& e) {
      return say(std::string("bad ") + e.what()), 4;
    }
    if (!say("done " + std::to_string(s))) return 5;
  }
}

}  // namespace vedalia::testing
