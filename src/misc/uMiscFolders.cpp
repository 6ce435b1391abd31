// Personal folder trees: creating them level by level and removing them whole, both kept
// inside their root whatever names arrive from pupils' records and whatever links are
// planted in the tree.

#include <QDir>
#include <QFileInfo>
#include <cerrno>

#include "misc/uMisc.h"
#include "platform/SafePath.h"

namespace vedalia {

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
  // The root is never created; below it a level that is a link ends the walk.
  SafeDir dir = OpenConfined(QFileInfo(root).absoluteFilePath());
  return dir.Enter(levels, true);
}

bool DeleteFolderTree(const QString& path) {
  const QString root = PersonalFoldersRoot();
  if (root.isEmpty() || path.isEmpty()) return false;
  const auto levels =
      LevelsBelow(QFileInfo(root).absoluteFilePath(), QFileInfo(path).absoluteFilePath());
  if (!levels || levels->isEmpty()) return false;
  QStringList parents = *levels;
  const QString name = parents.takeLast();
  const SafeDir parent = [&] {
    SafeDir dir = OpenConfined(QFileInfo(root).absoluteFilePath());
    dir.Enter(parents, false);
    return dir;
  }();
  // A missing level means there is no such folder; a linked one is refused.
  if (!parent.isOpen()) return parent.error() == ENOENT;
  return parent.RemoveTree(name);
}

}  // namespace vedalia
