// Personal folder trees: creating them level by level and removing them whole, both kept
// inside their root whatever names arrive from pupils' records.

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "shell/uMisc.h"

namespace vedalia {

namespace {

QString WithoutTrailingSlash(QString path) {
  while (path.size() > 1 && path.endsWith(QLatin1Char('/'))) path.chop(1);
  return path;
}

// True when `path` is `root` itself or lies below it (both absolute, cleaned).
bool IsAtOrBelow(const QString& path, const QString& root) {
  if (path == root) return true;
  const QString prefix = root.endsWith(QLatin1Char('/')) ? root : root + QLatin1Char('/');
  return path.startsWith(prefix);
}

bool IsStrictlyBelow(const QString& path, const QString& root) {
  return path != root && IsAtOrBelow(path, root);
}

// Lets the owner list, enter and change the folder; deleting on this system needs the
// folder's write permission, not the file's.
void MakeFolderWritable(const QString& dir) {
  const QFileDevice::Permissions perms = QFileInfo(dir).permissions();
  const QFileDevice::Permissions wanted =
      perms | QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;
  if (wanted != perms) QFile::setPermissions(dir, wanted);
}

// Removes `dir` and its contents; symbolic links are unlinked, never followed.
bool RemoveTree(const QString& dir) {
  MakeFolderWritable(dir);
  const QFileInfoList entries = QDir(dir).entryInfoList(
      QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::NoSort);
  for (const QFileInfo& entry : entries) {
    const QString entryPath = dir + QLatin1Char('/') + entry.fileName();
    if (entry.isDir() && !entry.isSymLink()) {
      if (!RemoveTree(entryPath)) return false;
    } else {
      // A file that stays behind makes the folder's own removal fail below.
      QFile::remove(entryPath);
    }
  }
  return QDir().rmdir(dir);
}

}  // namespace

bool ForceFolderPath(const QString& root, const QString& subPath) {
  QString levelsText = subPath;
  levelsText.replace(QLatin1Char('\\'), QLatin1Char('/'));
  QStringList pieces;
  SplitString(pieces, levelsText, QLatin1Char('/'));
  QStringList levels;
  for (const QString& piece : pieces) {
    if (piece.isEmpty()) continue;
    if (!IsPlainName(piece)) return false;
    levels.append(piece);
  }

  const QFileInfo rootInfo(root);
  if (!rootInfo.isDir()) return false;
  const QString canonicalRoot = rootInfo.canonicalFilePath();
  QString current = WithoutTrailingSlash(root);
  for (const QString& level : levels) {
    current += QLatin1Char('/') + level;
    QDir().mkdir(current);  // an existing level is fine
    const QFileInfo info(current);
    // A level that is a link leading out of the root ends the walk.
    if (!info.isDir() || !IsStrictlyBelow(info.canonicalFilePath(), canonicalRoot)) return false;
  }
  return true;
}

bool DeleteFolderTree(const QString& path) {
  const QString root = PersonalFoldersRoot();
  if (root.isEmpty() || path.isEmpty()) return false;
  const QString cleanRoot = QDir::cleanPath(QFileInfo(root).absoluteFilePath());
  const QString cleanPath = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
  if (!IsStrictlyBelow(cleanPath, cleanRoot)) return false;

  const QFileInfo info(cleanPath);
  if (info.isSymLink()) {
    // Only the link is ours to remove; what it points to stays.
    if (!info.isDir()) return true;
    return QFile::remove(cleanPath);
  }
  if (!info.isDir()) return true;

  // The folder may still reach outside through a linked parent.
  const QString canonicalRoot = QFileInfo(cleanRoot).canonicalFilePath();
  const QString canonicalPath = info.canonicalFilePath();
  if (canonicalRoot.isEmpty() || !IsStrictlyBelow(canonicalPath, canonicalRoot)) return false;
  return RemoveTree(canonicalPath);
}

}  // namespace vedalia
