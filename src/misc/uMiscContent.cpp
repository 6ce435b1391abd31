// Copies of content files, written plain, into a personal folder or to a chosen file.

#include <QDir>
#include <QFileInfo>
#include <exception>

#include "media/uDecryptor.h"
#include "media/uMediaTypes.h"
#include "misc/uMisc.h"
#include "platform/Log.h"

namespace vedalia {

namespace {

// The file beside `srcFile` (a name with a three-letter extension) with the extension `ext`.
QString CompanionPath(const QString& srcDir, const QString& srcFile, const QString& ext) {
  QString dir = srcDir;
  if (!dir.endsWith(QLatin1Char('/'))) dir += QLatin1Char('/');
  return dir + srcFile.left(qMax<qsizetype>(0, srcFile.size() - 3)) + ext;
}

}  // namespace

bool SaveToPersonalFolder(const QString& srcDir, const QString& srcFile, const QString& targetName,
                          const QString& userFolderName, const QString& ext) {
  try {
    const QString root = PersonalFoldersRoot();
    if (root.isEmpty() || !IsPlainName(targetName + QLatin1Char('.') + ext)) return false;

    QString userFolder = userFolderName;
    userFolder.replace(QLatin1Char('\\'), QLatin1Char('/'));
    QStringList levels;
    SplitString(levels, userFolder, QLatin1Char('/'));
    levels.removeAll(QString());
    for (const QString& level : levels) {
      if (!IsPlainName(level)) return false;
    }

    QString dir = root + levels.join(QLatin1Char('/'));
    if (!QFileInfo(dir).isDir()) ForceFolderPath(root, userFolder);
    // The copy is written through the folder levels themselves, so a level or a name that
    // is a link never leads it out of the root.
    if (!dir.endsWith(QLatin1Char('/'))) dir += QLatin1Char('/');
    const QString target = dir + targetName + QLatin1Char('.') + ext;
    TDecryptor decryptor;
    return decryptor.SaveContent(CompanionPath(srcDir, srcFile, ext), target, QByteArray(), ext);
  } catch (const std::exception&) {
    LogFailure(lcMedia(), "saving a content copy");
    return false;
  }
}

bool SaveCopyAs(const QString& srcDir, const QString& srcFile, const QString& targetPath,
                const QString& ext) {
  if (targetPath.isEmpty()) return false;
  try {
    TDecryptor decryptor;
    return decryptor.SaveContent(CompanionPath(srcDir, srcFile, ext), targetPath, QByteArray(),
                                 ext);
  } catch (const std::exception&) {
    LogFailure(lcMedia(), "saving a content copy");
    return false;
  }
}

QString SavedFileDisplayName(const QString& fileName) {
  QStringList pieces;
  SplitString(pieces, fileName, QLatin1Char('_'));
  const QString title = pieces.isEmpty() ? fileName : pieces.first();
  return TMediaObjects().GetTypeByTitle(title) + fileName.mid(title.size());
}

}  // namespace vedalia
