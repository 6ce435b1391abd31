// The parts of an installed course that are not copies: permissions for a group of pupils,
// launchers, and the machine-wide install mode.
#include <grp.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <cstring>

#include "CourseInstall.h"
#include "misc/uMisc.h"
#include "platform/FileReplace.h"

namespace vedalia::course {

bool UnderBaseDir(const QString& rel) {
  return rel == QLatin1String("database") || rel == QLatin1String("folders") ||
         rel.startsWith(QLatin1String("database/")) || rel.startsWith(QLatin1String("folders/"));
}

namespace {

// A default ACL (user and group rwx, others r-x): files and folders pupils create below
// inherit group write whatever their umask, so the next pupil can write there too.
void SetSharedDefaultAcl(const QString& dir) {
  struct Entry {
    quint16 tag, perm;
    quint32 id;
  };
  struct {
    quint32 version = 2;
    Entry e[3] = {{0x01, 7, 0xFFFFFFFF}, {0x04, 7, 0xFFFFFFFF}, {0x20, 5, 0xFFFFFFFF}};
  } acl;
  // Best effort: a file system without ACLs still has the setgid folders.
  ::setxattr(QFile::encodeName(dir).constData(), "system.posix_acl_default", &acl, sizeof acl, 0);
}

}  // namespace

// Pupils' part (database/, folders/) writable by `gid` (folders setgid), the rest read-only.
bool ApplyPermissions(const QString& root, bool system, gid_t gid, QString& error) {
  QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                  QDirIterator::Subdirectories);
  QStringList paths{root};
  while (it.hasNext()) paths << it.next();
  for (const QString& path : paths) {
    const QString rel = QDir(root).relativeFilePath(path);
    const bool shared = system && UnderBaseDir(rel);
    const bool dir = QFileInfo(path).isDir();
    const QByteArray p = QFile::encodeName(path);
    mode_t mode = dir ? 0755 : 0644;
    if (shared) {
      mode = dir ? 02775 : 0664;
      if (::chown(p.constData(), uid_t(-1), gid) != 0) {
        error = path + QStringLiteral(": cannot give it to the group: ") +
                QString::fromLocal8Bit(strerror(errno));
        return false;
      }
    }
    if (::chmod(p.constData(), mode) != 0) {
      error = path + QStringLiteral(": cannot set its permissions");
      return false;
    }
    if (shared && dir) SetSharedDefaultAcl(path);
  }
  return true;
}

namespace {

QString DesktopValue(QString value) {
  value.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
  value.replace(QLatin1Char('\n'), QLatin1String("\\n"));
  value.replace(QLatin1Char('\t'), QLatin1String("\\t"));
  value.replace(QLatin1Char('\r'), QLatin1String("\\r"));
  if (value.startsWith(QLatin1Char(' '))) value.replace(0, 1, QLatin1String("\\s"));
  return value;
}

// The shell beside this tool (an installed package: /usr/bin/vedalia).
QString ShellExecutable() {
  const QString beside = QCoreApplication::applicationDirPath() + QStringLiteral("/vedalia");
  return QFileInfo(beside).isExecutable() ? beside : QStringLiteral("/usr/bin/vedalia");
}

}  // namespace

QString LauncherText(const QString& title, const QString& target) {
  QString exec = ShellExecutable();
  if (exec.contains(QLatin1Char(' ')) || exec.contains(QLatin1Char('"')))
    exec =
        QLatin1Char('"') + exec.replace(QLatin1Char('"'), QLatin1String("\\\"")) + QLatin1Char('"');
  exec.replace(QLatin1Char('%'), QLatin1String("%%"));
  return QStringLiteral("[Desktop Entry]\nType=Application\nVersion=1.0\nName=") +
         DesktopValue(title) + QStringLiteral("\nComment=") +
         DesktopValue(QStringLiteral("Course installed in ") + target) + QStringLiteral("\nExec=") +
         DesktopValue(exec) + QStringLiteral("\nPath=") + DesktopValue(target) +
         QStringLiteral("\nIcon=vedalia\nTerminal=false\nCategories=Education;\n");
}

// One launcher file name per course folder, so that two courses never share one.
QString LauncherFileName(const QString& target) {
  QString name;
  for (QChar c : QFileInfo(target).fileName())
    if (c.isLetterOrNumber() && c.unicode() < 128) name += c.toLower();
  const QByteArray hash =
      QCryptographicHash::hash(target.toUtf8(), QCryptographicHash::Sha1).toHex().left(8);
  return QStringLiteral("vedalia-") + (name.isEmpty() ? QString() : name + QLatin1Char('-')) +
         QString::fromLatin1(hash) + QStringLiteral(".desktop");
}

// Sets InstallMode=CD in the machine-wide setting file, keeping its other lines.
bool WriteCdMode(QString& error) {
  QString path = qEnvironmentVariable(kMachineSettingsEnv);
  if (path.isEmpty()) path = QString::fromLatin1(kMachineSettingsFile);
  QFile file(path);
  QStringList lines;
  if (file.open(QIODevice::ReadOnly | QIODevice::Text))
    lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
  file.close();
  if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
  bool done = false;
  QString section;
  for (QString& line : lines) {
    const QString t = line.trimmed();
    if (t.startsWith(QLatin1Char('['))) section = t;
    const bool general =
        section.isEmpty() || section.compare(QLatin1String("[General]"), Qt::CaseInsensitive) == 0;
    if (general &&
        t.section(QLatin1Char('='), 0, 0)
                .trimmed()
                .compare(QLatin1String("InstallMode"), Qt::CaseInsensitive) == 0 &&
        t.contains(QLatin1Char('='))) {
      line = done ? QStringLiteral("# ") + line : QStringLiteral("InstallMode=CD");
      done = true;
    }
  }
  if (!done) {
    // Before the first section, where the shell reads it.
    qsizetype at = 0;
    while (at < lines.size() && !lines[at].trimmed().startsWith(QLatin1Char('['))) ++at;
    lines.insert(at, QStringLiteral("InstallMode=CD"));
  }
  if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
    error = QFileInfo(path).absolutePath() + QStringLiteral(": cannot be created");
    return false;
  }
  if (!ReplaceFileContents(path, (lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8(),
                           &error)) {
    error = path + QStringLiteral(": ") + error;
    return false;
  }
  ::chmod(QFile::encodeName(path).constData(), 0644);
  return true;
}

}  // namespace vedalia::course
