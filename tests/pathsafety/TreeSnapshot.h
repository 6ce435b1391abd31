#pragma once
// A record of every entry below a folder (kind, size, content digest, link target), and the
// differences between two records, so a test can tell exactly what an operation touched.
#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QStringList>
#include <string>

namespace vedalia::test {

struct TreeEntry {
  QString kind;  // "dir", "file", "link"
  QByteArray digest;
  friend bool operator==(const TreeEntry&, const TreeEntry&) = default;
};

using TreeSnapshot = QMap<QString, TreeEntry>;  // relative path -> entry

inline TreeSnapshot SnapshotTree(const QString& root) {
  TreeSnapshot snap;
  QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                  QDirIterator::Subdirectories);
  while (it.hasNext()) {
    const QString path = it.next();
    const QFileInfo info(path);
    TreeEntry e;
    if (info.isSymLink()) {
      e.kind = QStringLiteral("link");
      e.digest = info.symLinkTarget().toUtf8();
    } else if (info.isDir()) {
      e.kind = QStringLiteral("dir");
    } else {
      e.kind = QStringLiteral("file");
      QFile f(path);
      if (f.open(QIODevice::ReadOnly))
        e.digest = QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha1);
    }
    snap.insert(QDir(root).relativeFilePath(path), e);
  }
  return snap;
}

struct TreeChanges {
  QStringList created, changed, removed;
};

inline TreeChanges CompareTrees(const TreeSnapshot& before, const TreeSnapshot& after) {
  TreeChanges c;
  for (auto it = after.cbegin(); it != after.cend(); ++it) {
    const auto old = before.constFind(it.key());
    if (old == before.cend())
      c.created << it.key();
    else if (!(old.value() == it.value()))
      c.changed << it.key();
  }
  for (auto it = before.cbegin(); it != before.cend(); ++it)
    if (!after.contains(it.key())) c.removed << it.key();
  return c;
}

// Fails the test, naming each entry, when `c` holds any change.
inline void ExpectNoChanges(const TreeChanges& c, const std::string& context) {
  EXPECT_TRUE(c.created.isEmpty()) << context << " created " << c.created.join(", ").toStdString();
  EXPECT_TRUE(c.changed.isEmpty()) << context << " changed " << c.changed.join(", ").toStdString();
  EXPECT_TRUE(c.removed.isEmpty()) << context << " removed " << c.removed.join(", ").toStdString();
}

}  // namespace vedalia::test
