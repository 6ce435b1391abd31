// uninstall TARGET [--purge]: removes the launchers of a course that install put there; the
// course folder with the pupils' data stays unless --purge, which first lists what goes.
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <iostream>

#include "CourseCommand.h"
#include "CourseInstall.h"

namespace vedalia::course {
namespace {

void Say(const QString& line) { std::cout << line.toStdString() << std::endl; }
int Refuse(int code, const QString& message) {
  std::cerr << "vedalia-course uninstall: " << message.toStdString() << std::endl;
  return code;
}

int Run(const std::vector<std::string>& args) {
  QString target;
  bool purge = false;
  for (const std::string& arg : args) {
    if (arg == "--purge") {
      purge = true;
    } else if (arg.rfind("--", 0) == 0 || !target.isEmpty()) {
      return Refuse(kInstallUsage,
                    QStringLiteral("unexpected argument ") + QString::fromLocal8Bit(arg.c_str()));
    } else {
      target =
          QDir::cleanPath(QDir::current().absoluteFilePath(QString::fromLocal8Bit(arg.c_str())));
    }
  }
  if (target.isEmpty()) return Refuse(kInstallUsage, QStringLiteral("want TARGET"));
  InstallRecord record;
  if (!ReadInstallRecord(target, record))
    return Refuse(kInstallBadSource,
                  target + QStringLiteral(" holds no course installed by vedalia-course install"));

  int code = kInstallOk;
  for (const QString& launcher : record.launchers) {
    if (!QFileInfo::exists(launcher)) {
      Say(QStringLiteral("launcher already gone: ") + launcher);
    } else if (QFile::remove(launcher)) {
      Say(QStringLiteral("removed launcher: ") + launcher);
    } else {
      code = Refuse(kInstallFailed, launcher + QStringLiteral(": cannot be removed"));
    }
  }

  const QString database = target + QStringLiteral("/database/lorevia_db.adb");
  const QStringList people =
      QDir(target + QStringLiteral("/folders")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
  if (!purge) {
    Say(QStringLiteral("kept: ") + target +
        QStringLiteral(" with the pupils' data (the accounts database and folders/); "
                       "--purge deletes it"));
    return code;
  }
  qint64 files = 0, bytes = 0;
  QDirIterator it(target, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
  while (it.hasNext()) {
    it.next();
    ++files;
    bytes += it.fileInfo().size();
  }
  Say(QStringLiteral("deleting %1: %2 files, %3 bytes, among them:")
          .arg(target)
          .arg(files)
          .arg(bytes));
  if (QFileInfo::exists(database))
    Say(QStringLiteral("  the accounts database with every pupil's results: ") + database);
  Say(QStringLiteral("  %1 class or personal folder(s) in %2/folders")
          .arg(people.size())
          .arg(target));
  if (!QDir(target).removeRecursively())
    return Refuse(kInstallFailed, target + QStringLiteral(": not everything could be deleted"));
  Say(QStringLiteral("deleted ") + target);
  return code;
}

const CourseCommandRegistrar registrar({
    "uninstall",
    "uninstall TARGET [--purge]\n"
    "      remove the launchers of a course put there by install; --purge also deletes the\n"
    "      course folder with the pupils' database and folders/ (listed first).\n"
    "      Exit: 1 something could not be removed, 3 TARGET holds no installed course",
    &Run,
});

}  // namespace
}  // namespace vedalia::course
