// install SOURCE TARGET: puts a course from its disc (or a folder) onto this machine. The
// copy is built in a staging folder beside TARGET and renamed into place only when complete,
// so an interrupted or failed run leaves no half course; running the command again resumes
// the staging folder. Each file is copied under a temporary name and renamed when whole.
#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <functional>
#include <iostream>

#include "CourseCommand.h"
#include "CourseInstall.h"
#include "media/uDecryptor.h"
#include "media/uMediaTypes.h"
#include "misc/uMisc.h"
#include "platform/FileReplace.h"

namespace vedalia::course {
namespace {

std::atomic<bool> interrupted{false};
extern "C" void OnStopSignal(int) { interrupted = true; }

void Say(const QString& line) { std::cout << line.toStdString() << std::endl; }
int Refuse(int code, const QString& message) {
  std::cerr << "vedalia-course install: " << message.toStdString() << std::endl;
  return code;
}

QString Size(qint64 bytes) {
  if (bytes < 1024 * 1024) return QString::number((bytes + 1023) / 1024) + QStringLiteral(" KiB");
  return QString::number(double(bytes) / (1024.0 * 1024.0), 'f', 1) + QStringLiteral(" MiB");
}

struct Options {
  QString source, target, title, group = QStringLiteral("users"), launcher = QStringLiteral("menu");
  bool cd = false, system = false;
};

struct Item {
  QString from;  // absolute path in SOURCE
  QString rel;   // path in TARGET
  qint64 size = 0;
  qint64 mtime = 0;  // seconds
  bool dir = false;
};

// Discs written without long names carry upper-case names; the shell asks for these.
QString CanonicalTopName(const QString& name) {
  for (const char* known : {"start.swf", "data", "database", "folders"}) {
    if (name.compare(QLatin1String(known), Qt::CaseInsensitive) == 0) return QLatin1String(known);
  }
  return name;
}

// Lists SOURCE (every entry checked readable), or says which one is not.
bool ListSource(const QString& source, bool cd, QList<Item>& items, QString& error) {
  QDirIterator it(source, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                  QDirIterator::Subdirectories);
  while (it.hasNext()) {
    it.next();
    const QFileInfo info = it.fileInfo();
    if (info.isSymLink()) continue;  // nothing on a course disc is one; a loop would be endless
    QString rel = QDir(source).relativeFilePath(info.filePath());
    const qsizetype slash = rel.indexOf(QLatin1Char('/'));
    rel = CanonicalTopName(slash < 0 ? rel : rel.left(slash)) +
          (slash < 0 ? QString() : rel.mid(slash));
    if (rel.compare(QLatin1String("database/lorevia_db.adb"), Qt::CaseInsensitive) == 0)
      rel = QStringLiteral("database/lorevia_db.adb");
    if (cd && !UnderBaseDir(rel)) continue;
    if (::access(QFile::encodeName(info.filePath()).constData(),
                 R_OK | (info.isDir() ? X_OK : 0)) != 0) {
      error = info.filePath() + QStringLiteral(": cannot be read: ") +
              QString::fromLocal8Bit(strerror(errno));
      return false;
    }
    if (!info.isDir() && !info.isFile()) continue;
    items.append({info.filePath(), rel, info.isDir() ? 0 : info.size(),
                  info.lastModified().toSecsSinceEpoch(), info.isDir()});
  }
  std::sort(items.begin(), items.end(), [](const Item& a, const Item& b) { return a.rel < b.rel; });
  return true;
}

// A playable start.swf, the data/ tree and, when delivered, a database file with the
// database's signature.
int CheckSource(const QString& source, QString& stamp, bool& hasDatabase) {
  const QFileInfo info(source);
  if (!info.exists())
    return Refuse(kInstallBadSource, source + QStringLiteral(": no such folder or disc"));
  if (!info.isDir() || !info.isReadable() || !QDir(source).isReadable())
    return Refuse(kInstallBadSource, source + QStringLiteral(": cannot be read as a folder"));
  const QString start = ResolveContentFile(source + QStringLiteral("/start.swf"));
  if (start.isEmpty())
    return Refuse(kInstallBadSource,
                  source + QStringLiteral(" holds no start.swf: not a course disc"));
  if (!TMediaObjects().IsPlayableMovie(start))
    return Refuse(kInstallBadSource, start + QStringLiteral(": not a playable Flash movie"));
  QString data;
  for (const QString& name : QDir(source).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
    if (name.compare(QLatin1String("data"), Qt::CaseInsensitive) == 0) data = name;
  if (data.isEmpty())
    return Refuse(kInstallBadSource,
                  source + QStringLiteral(" has no data/ folder: not a course disc"));
  const QFileInfo startInfo(start);
  stamp = QString::number(startInfo.size()) + QLatin1Char('@') +
          QString::number(startInfo.lastModified().toSecsSinceEpoch());
  QString database;
  for (const QString& name : QDir(source).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
    if (name.compare(QLatin1String("database"), Qt::CaseInsensitive) == 0)
      database =
          ResolveContentFile(source + QLatin1Char('/') + name + QStringLiteral("/lorevia_db.adb"));
  hasDatabase = !database.isEmpty();
  if (hasDatabase) {
    QFile file(database);
    if (!file.open(QIODevice::ReadOnly))
      return Refuse(kInstallBadSource, database + QStringLiteral(": cannot be read"));
    if (file.read(4).toUpper() != "ACS2")
      return Refuse(kInstallBadSource, database + QStringLiteral(": not a course database"));
  }
  return kInstallOk;
}

// TARGET made absolute with its existing part resolved (symlinks), so that "inside SOURCE"
// is decided on real folders.
QString ResolvedPath(const QString& path) {
  QString existing = path, rest;
  while (!QFileInfo::exists(existing) && existing != QLatin1String("/")) {
    rest = QFileInfo(existing).fileName() + (rest.isEmpty() ? QString() : QLatin1Char('/') + rest);
    existing = QFileInfo(existing).absolutePath();
  }
  const QString real = QFileInfo(existing).canonicalFilePath();
  return QDir::cleanPath(real + (rest.isEmpty() ? QString() : QLatin1Char('/') + rest));
}

int CheckTarget(const QString& source, const QString& target) {
  const QString s = QFileInfo(source).canonicalFilePath();
  const QString t = ResolvedPath(target);
  if (t == s || t.startsWith(s + QLatin1Char('/')) || s == QLatin1String("/"))
    return Refuse(kInstallBadTarget, target + QStringLiteral(" lies inside the source ") + source);
  const QFileInfo info(target);
  if (!info.exists()) return kInstallOk;
  if (!info.isDir())
    return Refuse(kInstallBadTarget, target + QStringLiteral(" exists and is no folder"));
  InstallRecord record;
  if (ReadInstallRecord(target, record)) {
    return Refuse(
        kInstallBadTarget,
        target + QStringLiteral(" already holds the course \"") + record.title +
            QStringLiteral("\" with its pupils' data; it is left as it is (choose another "
                           "folder, or delete it with uninstall --purge first)"));
  }
  if (QFileInfo::exists(target + QStringLiteral("/start.swf")) ||
      QFileInfo::exists(target + QStringLiteral("/database")))
    return Refuse(kInstallBadTarget,
                  target + QStringLiteral(" holds another course; it is left as it is"));
  if (!QDir(target).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot))
    return Refuse(kInstallBadTarget,
                  target + QStringLiteral(" is not empty; choose a new or empty folder"));
  return kInstallOk;
}

// Why the last copy failed: the disk is full (or the file too large for it).
bool noSpace = false;

QString ErrnoText() { return QString::fromLocal8Bit(strerror(errno)); }

// Copies `item` into `to` through a temporary name; false with `error` set on failure (or
// with `error` empty when interrupted).
bool CopyWhole(const Item& item, const QString& to, qint64& copied,
               const std::function<void()>& tick, QString& error) {
  const QString temp = QFileInfo(to).absolutePath() + QStringLiteral("/.") +
                       QFileInfo(to).fileName() + QStringLiteral(".part");
  QFile in(item.from);
  if (!in.open(QIODevice::ReadOnly)) {
    error = item.from + QStringLiteral(": cannot be read: ") + in.errorString();
    return false;
  }
  const QByteArray tempName = QFile::encodeName(temp);
  const int out = ::open(tempName.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (out < 0) {
    error = temp + QStringLiteral(": cannot be written: ") + ErrnoText();
    return false;
  }
  const auto writeFailed = [&] {
    noSpace = errno == ENOSPC || errno == EFBIG || errno == EDQUOT;
    error = temp + QStringLiteral(": write error: ") + ErrnoText();
  };
  QByteArray buffer(1 << 20, Qt::Uninitialized);
  while (error.isEmpty() && !interrupted) {
    const qint64 n = in.read(buffer.data(), buffer.size());
    if (n < 0) error = item.from + QStringLiteral(": read error: ") + in.errorString();
    if (n <= 0) break;
    for (qint64 done = 0; done < n && error.isEmpty();) {
      const ssize_t w = ::write(out, buffer.constData() + done, size_t(n - done));
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) {
        writeFailed();
        break;
      }
      done += w;
      copied += w;
    }
    tick();
  }
  if (error.isEmpty() && !interrupted && ::fsync(out) != 0) writeFailed();
  if (error.isEmpty() && !interrupted) {
    const timespec times[2] = {{0, UTIME_OMIT}, {time_t(item.mtime), 0}};
    ::futimens(out, times);
  }
  ::close(out);
  if (error.isEmpty() && !interrupted &&
      ::rename(tempName.constData(), QFile::encodeName(to).constData()) != 0)
    error = to + QStringLiteral(": cannot be renamed into place: ") + ErrnoText();
  if (!error.isEmpty() || interrupted) {
    ::unlink(tempName.constData());
    return false;
  }
  return true;
}

int ParseOptions(const std::vector<std::string>& args, Options& o) {
  QStringList positional;
  for (size_t i = 0; i < args.size(); ++i) {
    const QString a = QString::fromLocal8Bit(args[i].c_str());
    const bool valued = a == QLatin1String("--title") || a == QLatin1String("--group") ||
                        a == QLatin1String("--launcher");
    if (valued && i + 1 >= args.size())
      return Refuse(kInstallUsage, a + QStringLiteral(" needs a value"));
    if (a == QLatin1String("--cd"))
      o.cd = true;
    else if (a == QLatin1String("--system"))
      o.system = true;
    else if (a == QLatin1String("--title"))
      o.title = QString::fromLocal8Bit(args[++i].c_str());
    else if (a == QLatin1String("--group"))
      o.group = QString::fromLocal8Bit(args[++i].c_str());
    else if (a == QLatin1String("--launcher"))
      o.launcher = QString::fromLocal8Bit(args[++i].c_str());
    else if (a.startsWith(QLatin1String("--")))
      return Refuse(kInstallUsage, QStringLiteral("unknown option ") + a);
    else
      positional << a;
  }
  if (positional.size() != 2)
    return Refuse(kInstallUsage, QStringLiteral("want SOURCE and TARGET"));
  static const QStringList kLaunchers{"desktop", "menu", "both", "none"};
  if (!kLaunchers.contains(o.launcher))
    return Refuse(kInstallUsage, QStringLiteral("--launcher is desktop, menu, both or none"));
  if (o.system && (o.launcher == QLatin1String("desktop") || o.launcher == QLatin1String("both")))
    return Refuse(kInstallUsage,
                  QStringLiteral("--system puts the launcher in every user's menu; "
                                 "a desktop is each user's own (use --launcher menu)"));
  o.source = QDir::cleanPath(QDir::current().absoluteFilePath(positional[0]));
  o.target = QDir::cleanPath(QDir::current().absoluteFilePath(positional[1]));
  if (o.title.isEmpty()) o.title = QFileInfo(o.target).fileName();
  return kInstallOk;
}

int Run(const std::vector<std::string>& args) {
  Options o;
  if (const int code = ParseOptions(args, o)) return code;
  QString stamp;
  bool hasDatabase = false;
  if (const int code = CheckSource(o.source, stamp, hasDatabase)) return code;
  if (const int code = CheckTarget(o.source, o.target)) return code;
  gid_t gid = gid_t(-1);
  if (o.system) {
    const group* g = ::getgrnam(o.group.toLocal8Bit().constData());
    if (!g)
      return Refuse(kInstallUsage,
                    QStringLiteral("no group ") + o.group + QStringLiteral(" on this machine"));
    gid = g->gr_gid;
  }

  QList<Item> items;
  QString error;
  if (!ListSource(o.source, o.cd, items, error)) return Refuse(kInstallBadSource, error);

  const QString parent = QFileInfo(o.target).absolutePath();
  if (!QDir().mkpath(parent))
    return Refuse(kInstallBadTarget,
                  parent + QStringLiteral(": cannot be created (read-only or not permitted)"));
  const QString staging = parent + QStringLiteral("/.") + QFileInfo(o.target).fileName() +
                          QStringLiteral(".vedalia-staging");
  InstallRecord record;
  record.title = o.title;
  record.mode = o.cd ? QStringLiteral("cd") : QStringLiteral("full");
  record.source = o.source;
  record.sourceStamp = stamp;
  record.system = o.system;
  record.group = o.system ? o.group : QString();
  InstallRecord previous;
  if (QFileInfo::exists(staging)) {
    if (ReadInstallRecord(staging, previous) && previous.sourceStamp == stamp &&
        previous.mode == record.mode && previous.source == record.source) {
      Say(QStringLiteral("resuming the copy in ") + staging);
    } else {
      Say(QStringLiteral("starting over: ") + staging +
          QStringLiteral(" is left from another course"));
      if (!QDir(staging).removeRecursively())
        return Refuse(kInstallFailed, staging + QStringLiteral(": cannot be removed"));
    }
  }
  const bool fresh = !QFileInfo::exists(staging);
  if (fresh && ::mkdir(QFile::encodeName(staging).constData(), 0755) != 0) {
    return Refuse(kInstallBadTarget, parent + QStringLiteral(": cannot be written (") +
                                         ErrnoText() + QLatin1Char(')'));
  }
  if (!WriteInstallRecord(staging, record, &error)) {
    if (fresh) QDir(staging).removeRecursively();
    return Refuse(kInstallBadTarget, error);
  }

  // What is still to copy: a file present under its own name was renamed there whole.
  qint64 totalBytes = 0, doneBytes = 0, toCopy = 0;
  int doneFiles = 0, files = 0;
  QList<bool> present;
  for (const Item& item : items) {
    const QFileInfo there(staging + QLatin1Char('/') + item.rel);
    const bool ok = item.dir ? there.isDir()
                             : there.isFile() && there.size() == item.size &&
                                   there.lastModified().toSecsSinceEpoch() == item.mtime;
    present << ok;
    if (item.dir) continue;
    ++files;
    totalBytes += item.size;
    if (ok) {
      ++doneFiles;
      doneBytes += item.size;
    } else {
      toCopy += item.size;
    }
  }
  if (doneFiles > 0)
    Say(QStringLiteral("%1 of %2 files were copied before").arg(doneFiles).arg(files));
  const qint64 available = QStorageInfo(staging).bytesAvailable();
  if (available >= 0 && toCopy + (1 << 20) > available) {
    if (fresh) QDir(staging).removeRecursively();
    return Refuse(kInstallNoSpace, QStringLiteral("not enough space in ") + parent +
                                       QStringLiteral(": ") + Size(toCopy) +
                                       QStringLiteral(" needed, ") + Size(available) +
                                       QStringLiteral(" free"));
  }

  interrupted = false;
  for (int s : {SIGINT, SIGTERM, SIGHUP}) std::signal(s, OnStopSignal);
  const bool terminal = ::isatty(STDOUT_FILENO);
  QElapsedTimer shown;
  shown.start();
  const auto show = [&](bool force) {
    if (!terminal || (!force && shown.elapsed() < 100)) return;
    shown.restart();
    std::cout << "\rcopying: " << doneFiles << "/" << files << " files, "
              << Size(doneBytes).toStdString() << " of " << Size(totalBytes).toStdString() << "   "
              << std::flush;
  };
  for (qsizetype i = 0; i < items.size() && !interrupted; ++i) {
    const Item& item = items[i];
    const QString to = staging + QLatin1Char('/') + item.rel;
    if (present[i]) continue;
    if (item.dir) {
      if (!QDir().mkpath(to)) error = to + QStringLiteral(": cannot be created");
    } else if (CopyWhole(
                   item, to, doneBytes, [&] { show(false); }, error)) {
      ++doneFiles;
    }
    if (!error.isEmpty()) break;
  }
  show(true);
  if (terminal) std::cout << "\n";
  for (int s : {SIGINT, SIGTERM, SIGHUP}) std::signal(s, SIG_DFL);
  if (interrupted) {
    std::cerr << "vedalia-course install: interrupted; " << doneFiles << " of " << files
              << " files are copied in " << staging.toStdString()
              << "; run the same command again to continue" << std::endl;
    return kInstallInterrupted;
  }
  if (!error.isEmpty()) {
    std::cerr << "vedalia-course install: " << error.toStdString()
              << "\n  nothing was installed in " << o.target.toStdString()
              << "; the files copied so far wait in " << staging.toStdString()
              << ": run the same command again to continue" << std::endl;
    return noSpace ? kInstallNoSpace : kInstallFailed;
  }

  // The shell's own folders (BaseDir), then the launchers' paths into the record.
  QDir().mkpath(staging + QStringLiteral("/database"));
  QDir().mkpath(staging + QStringLiteral("/folders"));
  const QString launcherName = LauncherFileName(o.target);
  QStringList launcherFolders;
  if (o.system && o.launcher != QLatin1String("none")) launcherFolders << SystemMenuFolder();
  if (!o.system && (o.launcher == QLatin1String("menu") || o.launcher == QLatin1String("both")))
    launcherFolders << UserMenuFolder();
  if (!o.system && (o.launcher == QLatin1String("desktop") || o.launcher == QLatin1String("both")))
    launcherFolders << UserDesktopFolder();
  for (const QString& folder : launcherFolders)
    record.launchers << folder + QLatin1Char('/') + launcherName;
  if (!WriteInstallRecord(staging, record, &error) ||
      !ApplyPermissions(staging, o.system, gid, error))
    return Refuse(kInstallFailed, error);

  // An empty TARGET (made by the administrator) gives way to the staging folder.
  if (QFileInfo(o.target).isDir()) ::rmdir(QFile::encodeName(o.target).constData());
  if (::rename(QFile::encodeName(staging).constData(), QFile::encodeName(o.target).constData()) !=
      0) {
    return Refuse(kInstallFailed, QStringLiteral("cannot rename ") + staging +
                                      QStringLiteral(" to ") + o.target + QStringLiteral(": ") +
                                      QString::fromLocal8Bit(strerror(errno)));
  }
  Say(QStringLiteral("installed \"%1\" in %2: %3 files, %4%5")
          .arg(o.title, o.target)
          .arg(files)
          .arg(Size(totalBytes),
               o.cd ? QStringLiteral(" (the content stays on the disc)") : QString()));
  if (!hasDatabase) {
    Say(QStringLiteral(
            "note: the course delivers no accounts database; make one with\n  vedalia-course db "
            "create ") +
        o.target + QStringLiteral("/database/lorevia_db.adb"));
  }

  int code = kInstallOk;
  for (const QString& path : record.launchers) {
    if (QDir().mkpath(QFileInfo(path).absolutePath()) &&
        ReplaceFileContents(path, LauncherText(o.title, o.target).toUtf8(), &error)) {
      ::chmod(QFile::encodeName(path).constData(), 0755);  // desktops run only executable launchers
      Say(QStringLiteral("launcher: ") + path);
    } else {
      code = Refuse(kInstallFailed, path + QStringLiteral(": the launcher cannot be written"));
    }
  }
  if (o.cd) {
    if (!o.system) {
      if (ReadInstallMode() != QLatin1String("CD"))
        Say(QStringLiteral("note: the install mode is machine-wide and was not changed; ") +
            QStringLiteral("`--cd --system` (as root) sets InstallMode=CD"));
    } else if (WriteCdMode(error)) {
      Say(QStringLiteral(
          "machine-wide setting: InstallMode=CD (the shell plays the content from the disc)"));
    } else {
      code = Refuse(kInstallFailed, error + QStringLiteral(" (run as root)"));
    }
    if (FindContentDrive() != QFileInfo(o.source).canonicalFilePath())
      Say(QStringLiteral("note: ") + o.source +
          QStringLiteral(" is not a mounted disc; the shell plays a disc holding start.swf"));
  }
  return code;
}

const CourseCommandRegistrar registrar({
    "install",
    "install SOURCE TARGET [--cd] [--launcher desktop|menu|both|none] [--title T]\n"
    "                  [--system [--group G]]\n"
    "      copy a course from its disc (or a folder with start.swf and data/) into TARGET,\n"
    "      resumable; --cd copies only database/ and plays the content from the disc;\n"
    "      --system: a menu entry for every user, pupils' data writable by group G (users).\n"
    "      Exit: 3 not a course, 4 target refused, 5 no space, 130 interrupted",
    &Run,
});

}  // namespace
}  // namespace vedalia::course
