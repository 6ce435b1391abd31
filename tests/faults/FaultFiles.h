#pragma once
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QStringList>

namespace vedalia::test {

// What a file holds now (empty when it cannot be read).
inline QByteArray ReadAll(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Every entry of a folder, hidden ones too: a half-written temporary file shows here.
inline QStringList Entries(const QString& dir) {
  return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                             QDir::Name);
}

}  // namespace vedalia::test
