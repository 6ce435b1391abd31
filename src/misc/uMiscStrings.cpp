// The process-wide roots and the string helpers of the command protocol.

#include <QDir>

#include "misc/uMisc.h"
#include "platform/SafePath.h"

namespace vedalia {

namespace {

QString& BaseDirStorage() {
  static QString dir;
  return dir;
}

QString& ContentDirStorage() {
  static QString dir;
  return dir;
}

QString WithTrailingSlash(const QString& dir) {
  if (dir.isEmpty() || dir.endsWith(QLatin1Char('/'))) return dir;
  return dir + QLatin1Char('/');
}

}  // namespace

const QString& BaseDir() { return BaseDirStorage(); }
const QString& ContentDir() { return ContentDirStorage(); }
void SetBaseDir(const QString& dir) {
  BaseDirStorage() = WithTrailingSlash(dir);
  // Whatever is written below the base folder stays there, links planted in it or not.
  SetConfinementRoot(dir.isEmpty() ? QString() : QDir(dir).absolutePath());
}
void SetContentDir(const QString& dir) { ContentDirStorage() = WithTrailingSlash(dir); }

QString PersonalFoldersRoot() {
  if (BaseDir().isEmpty()) return QString();
  return BaseDir() + QStringLiteral("folders/");
}

QString PersonalFolderPath(const QString& userFolderName) {
  const QString folder = QString(userFolderName).replace(QLatin1Char('\\'), QLatin1Char('/'));
  for (const QString& level : folder.split(QLatin1Char('/'), Qt::SkipEmptyParts))
    if (!IsPlainName(level)) return PersonalFoldersRoot();
  return PersonalFoldersRoot() + folder;
}

QString ProductTitlePrefix() { return QStringLiteral("Ведалия "); }

int SplitString(QStringList& list, const QString& text, QChar separator) {
  qsizetype start = 0;
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (text[i] == separator) {
      list.append(text.mid(start, i - start));
      start = i + 1;
    }
  }
  if (start < text.size()) list.append(text.mid(start));
  return static_cast<int>(list.size());
}

QString RemoveChars(const QString& text, const QString& chars) {
  QString result;
  result.reserve(text.size());
  for (QChar c : text) {
    if (!chars.contains(c)) result.append(c);
  }
  return result;
}

bool IsPlainName(const QString& name) {
  if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String("..")) return false;
  for (QChar c : name) {
    if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c.isNull()) return false;
  }
  return true;
}

}  // namespace vedalia
