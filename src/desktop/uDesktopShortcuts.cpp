// Launchers to personal folders: freedesktop .desktop files in the user's folders.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QUrl>

#include "desktop/uDesktop.h"
#include "misc/uMisc.h"
#include "platform/FileReplace.h"

namespace vedalia {

namespace {

SpecialFolderLookup& InstalledLookup() {
  static SpecialFolderLookup lookup;
  return lookup;
}

QString DefaultSpecialFolder(int location) {
  switch (location) {
    case kShortcutDesktop:
      return QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    case kShortcutStartMenu:
      return QStandardPaths::writableLocation(QStandardPaths::ApplicationsLocation);
    default:
      // Quick Launch and SendTo have no counterpart on this desktop.
      return QString();
  }
}

QString WithoutTrailingSlash(QString path) {
  while (path.size() > 1 && path.endsWith(QLatin1Char('/'))) path.chop(1);
  return path;
}

// A value of type string in a desktop entry: these escapes keep it on one line.
QString EscapeValue(const QString& value) {
  QString out;
  out.reserve(value.size());
  for (QChar c : value) {
    switch (c.unicode()) {
      case '\\':
        out += QLatin1String("\\\\");
        break;
      case '\n':
        out += QLatin1String("\\n");
        break;
      case '\t':
        out += QLatin1String("\\t");
        break;
      case '\r':
        out += QLatin1String("\\r");
        break;
      default:
        out += c;
    }
  }
  if (out.startsWith(QLatin1Char(' '))) out.replace(0, 1, QLatin1String("\\s"));
  return out;
}

// One argument of an Exec line, quoted as the desktop entry rules want.
QString QuoteExecArgument(const QString& arg) {
  QString out = QStringLiteral("\"");
  for (QChar c : arg) {
    if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') ||
        c == QLatin1Char('\\'))
      out += QLatin1Char('\\');
    if (c == QLatin1Char('%')) out += QLatin1Char('%');
    out += c;
  }
  return out + QLatin1Char('"');
}

QString LauncherText(const QString& target, const QString& name, const QString& workDir,
                     const QString& arguments, const QString& description) {
  QString text = QStringLiteral("[Desktop Entry]\nVersion=1.0\n");
  if (arguments.isEmpty()) {
    text += QStringLiteral("Type=Link\n");
    text += QStringLiteral("URL=") +
            EscapeValue(QString::fromLatin1(QUrl::fromLocalFile(target).toEncoded())) +
            QLatin1Char('\n');
    if (QFileInfo(target).isDir()) text += QStringLiteral("Icon=folder\n");
  } else {
    QString args = arguments;
    args.replace(QLatin1Char('%'), QLatin1String("%%"));
    text += QStringLiteral("Type=Application\n");
    text += QStringLiteral("Exec=") +
            EscapeValue(QuoteExecArgument(target) + QLatin1Char(' ') + args) + QLatin1Char('\n');
    text += QStringLiteral("Path=") + EscapeValue(workDir) + QLatin1Char('\n');
  }
  text += QStringLiteral("Name=") + EscapeValue(name) + QLatin1Char('\n');
  if (!description.isEmpty())
    text += QStringLiteral("Comment=") + EscapeValue(description) + QLatin1Char('\n');
  return text;
}

}  // namespace

QString SpecialFolder(int location) {
  const SpecialFolderLookup& lookup = InstalledLookup();
  return lookup ? lookup(location) : DefaultSpecialFolder(location);
}

SpecialFolderLookup SetSpecialFolderLookup(SpecialFolderLookup lookup) {
  SpecialFolderLookup previous = std::move(InstalledLookup());
  InstalledLookup() = std::move(lookup);
  return previous;
}

QString ShortcutFileName(const QString& target) {
  const QString cleanTarget = WithoutTrailingSlash(target);
  const QFileInfo info(cleanTarget);
  QString name = info.fileName();
  if (name.isEmpty()) return QString();
  // A folder's name has no extension: "Petrov A. Ivan" keeps its whole name, so that the
  // launcher can be found again by the person's name.
  if (!info.isDir()) {
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot >= 0) name.truncate(dot);
  }
  return ProductTitlePrefix() + name + QStringLiteral(".desktop");
}

QString CreateShortcut(const QString& target, int location, const QString& subFolder,
                       const QString& workDir, const QString& arguments,
                       const QString& description) {
  QString folder;
  if (location == kShortcutInSubFolder)
    folder = subFolder;
  else if (location >= kShortcutDesktop && location <= kShortcutStartMenu)
    folder = SpecialFolder(location);
  if (folder.isEmpty()) return QString();

  const QString cleanTarget = WithoutTrailingSlash(target);
  const QString fileName = ShortcutFileName(cleanTarget);
  // A NUL would cut the name short on its way to the file system, and the file would land
  // under another name, without its extension.
  if (fileName.isEmpty() || fileName.contains(QChar(0))) return QString();

  QString dir = WithoutTrailingSlash(folder);
  if (!subFolder.isEmpty() && location != kShortcutInSubFolder)
    dir += QLatin1Char('/') + WithoutTrailingSlash(subFolder);
  if (!QDir().mkpath(dir)) return QString();
  const QString linkPath = dir + QLatin1Char('/') + fileName;

  QString effectiveWorkDir = workDir;
  if (effectiveWorkDir.isEmpty()) effectiveWorkDir = QFileInfo(cleanTarget).absolutePath() + '/';
  const QString name = fileName.chopped(int(qstrlen(".desktop")));

  if (!ReplaceFileContents(
          linkPath,
          LauncherText(cleanTarget, name, effectiveWorkDir, arguments, description).toUtf8()))
    return QString();
  // Desktops run (and show) only launchers that are marked executable.
  QFile::setPermissions(linkPath, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                      QFileDevice::ExeOwner | QFileDevice::ReadGroup |
                                      QFileDevice::ExeGroup | QFileDevice::ReadOther |
                                      QFileDevice::ExeOther);
  return linkPath;
}

QString CreateDesktopShortcut(const QString& target) {
  return CreateShortcut(target, kShortcutDesktop, QString(), QString(), QString(),
                        QStringLiteral("Description"));
}

void DeleteDesktopShortcut(const QString& personName) {
  if (!IsPlainName(personName)) return;
  const QString desktop = SpecialFolder(kShortcutDesktop);
  if (desktop.isEmpty()) return;
  QFile::remove(WithoutTrailingSlash(desktop) + QLatin1Char('/') + ProductTitlePrefix() +
                personName + QStringLiteral(".desktop"));
}

}  // namespace vedalia
