#include "shell/uSettingsFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QStandardPaths>

#include "platform/Cp1251.h"
#include "platform/FileReplace.h"

namespace vedalia {

namespace {

// A settings file is a few hundred bytes; anything far larger is not ours to load whole.
constexpr qint64 kMaxSettingsSize = 4 * 1024 * 1024;

QString sectionName(const QString& line) {
  const QString t = line.trimmed();
  if (t.size() < 2 || !t.startsWith(QLatin1Char('[')) || !t.endsWith(QLatin1Char(']')))
    return QString();
  return t.mid(1, t.size() - 2).trimmed();
}

QHash<QString, QStringList>& MemorySettings() {
  static QHash<QString, QStringList> files;
  return files;
}

bool isSectionLine(const QString& line) {
  const QString t = line.trimmed();
  return t.size() >= 2 && t.startsWith(QLatin1Char('[')) && t.endsWith(QLatin1Char(']'));
}

}  // namespace

void KeepSettingsInMemory(const QString& path) { MemorySettings().insert(path, {}); }

TIniFile::TIniFile(const QString& filePath) : path(filePath) {
  if (const auto kept = MemorySettings().constFind(path); kept != MemorySettings().constEnd()) {
    lines = kept.value();
    return;
  }
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return;
  const QByteArray bytes = file.read(kMaxSettingsSize);
  QString text = FromCp1251(bytes);
  text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  lines = text.split(QLatin1Char('\n'));
  if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
}

int TIniFile::findSection(const QString& section) const {
  for (int i = 0; i < lines.size(); ++i) {
    if (isSectionLine(lines[i]) &&
        sectionName(lines[i]).compare(section.trimmed(), Qt::CaseInsensitive) == 0)
      return i;
  }
  return -1;
}

int TIniFile::sectionEnd(int sectionLine) const {
  int i = sectionLine + 1;
  while (i < lines.size() && !isSectionLine(lines[i])) ++i;
  return i;
}

int TIniFile::findKey(int sectionLine, const QString& key) const {
  const int end = sectionEnd(sectionLine);
  for (int i = sectionLine + 1; i < end; ++i) {
    const qsizetype eq = lines[i].indexOf(QLatin1Char('='));
    if (eq < 0) continue;
    if (lines[i].left(eq).trimmed().compare(key.trimmed(), Qt::CaseInsensitive) == 0) return i;
  }
  return -1;
}

bool TIniFile::ValueExists(const QString& section, const QString& key) const {
  const int s = findSection(section);
  return s >= 0 && findKey(s, key) >= 0;
}

QString TIniFile::ReadString(const QString& section, const QString& key,
                             const QString& defaultValue) const {
  const int s = findSection(section);
  const int k = s < 0 ? -1 : findKey(s, key);
  if (k < 0) return defaultValue;
  const QString& line = lines[k];
  return line.mid(line.indexOf(QLatin1Char('=')) + 1).trimmed();
}

bool TIniFile::WriteString(const QString& section, const QString& key, const QString& value) {
  // Line breaks in a value would split it into lines of their own.
  QString clean = value;
  clean.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
  const QString line = key.trimmed() + QLatin1Char('=') + clean;
  int s = findSection(section);
  if (s < 0) {
    lines.append(QLatin1Char('[') + section.trimmed() + QLatin1Char(']'));
    lines.append(line);
    return UpdateFile();
  }
  const int k = findKey(s, key);
  if (k >= 0) {
    lines[k] = line;
  } else {
    // After the section's last non-blank line, so blank separators stay between sections.
    int at = sectionEnd(s);
    while (at > s + 1 && lines[at - 1].trimmed().isEmpty()) --at;
    lines.insert(at, line);
  }
  return UpdateFile();
}

bool TIniFile::WriteInteger(const QString& section, const QString& key, int value) {
  return WriteString(section, key, QString::number(value));
}

bool TIniFile::DeleteKey(const QString& section, const QString& key) {
  const int s = findSection(section);
  if (s < 0) return true;
  // A key written twice (by hand) would come back from under the first one: remove all.
  bool removed = false;
  for (int k = findKey(s, key); k >= 0; k = findKey(s, key)) {
    lines.removeAt(k);
    removed = true;
  }
  return removed ? UpdateFile() : true;
}

bool TIniFile::UpdateFile() {
  if (const auto kept = MemorySettings().find(path); kept != MemorySettings().end()) {
    kept.value() = lines;
    return true;
  }
  // A read-only settings file stays as it is, even though its folder would let us replace it.
  // The owner's write bit counts even for an administrator, who could write anyway.
  const QFileInfo info(path);
  if (info.exists() && (!info.isWritable() || !(info.permissions() & QFileDevice::WriteOwner)))
    return false;
  QByteArray bytes;
  for (const QString& line : lines) bytes += ToCp1251(line) + "\r\n";
  return ReplaceFileContents(path, bytes);
}

QString SettingsFilePath(const QString& executablePath) {
  const QString exe =
      executablePath.isEmpty() ? QCoreApplication::applicationFilePath() : executablePath;
  const QFileInfo info(exe);
  const QString name = info.completeBaseName().isEmpty() ? QStringLiteral("vedalia.ini")
                                                         : info.completeBaseName() + ".ini";
  const QString beside = info.absolutePath() + QLatin1Char('/') + name;
  const QFileInfo besideInfo(beside);
  const bool writable =
      besideInfo.exists() ? besideInfo.isWritable() : QFileInfo(info.absolutePath()).isWritable();
  if (writable) return beside;
  const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
  QDir().mkpath(config + QStringLiteral("/vedalia"));
  return config + QStringLiteral("/vedalia/") + name;
}

}  // namespace vedalia
