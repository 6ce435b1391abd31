// vedalia-pack-runtime OUTPUT ENTRY...: builds the player runtime package at build time.
// An ENTRY is NAME=FILE (one file under that name) or PREFIX/=FOLDER (every file of the
// folder, source maps left out, under PREFIX/ and its own name).
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <cstdio>

#include "flashhost/FlashPlayerControl.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s OUTPUT NAME=FILE|PREFIX/=FOLDER...\n", argv[0]);
    return 2;
  }
  QList<QPair<QString, QByteArray>> files;
  auto add = [&files](const QString& name, const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
      std::fprintf(stderr, "pack-runtime: cannot read %s\n", qUtf8Printable(path));
      return false;
    }
    files.append({name, file.readAll()});
    return true;
  };
  for (int i = 2; i < argc; ++i) {
    const QString entry = QString::fromLocal8Bit(argv[i]);
    const qsizetype eq = entry.indexOf(QLatin1Char('='));
    if (eq <= 0) return 2;
    const QString name = entry.left(eq);
    const QString path = entry.mid(eq + 1);
    if (!name.endsWith(QLatin1Char('/'))) {
      if (!add(name, path)) return 1;
      continue;
    }
    const QStringList found = QDir(path).entryList(QDir::Files, QDir::Name);
    if (found.isEmpty()) {
      std::fprintf(stderr, "pack-runtime: no files in %s\n", qUtf8Printable(path));
      return 1;
    }
    for (const QString& file : found)
      if (!file.endsWith(QLatin1String(".map")) &&
          !add(name + file, path + QLatin1Char('/') + file))
        return 1;
  }
  QSaveFile out(QString::fromLocal8Bit(argv[1]));
  if (!out.open(QIODevice::WriteOnly) ||
      out.write(vedalia::TFlashPlayerControl::PackPlayerCode(files)) < 0 || !out.commit()) {
    std::fprintf(stderr, "pack-runtime: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
