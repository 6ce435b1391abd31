#include "CourseInstall.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>

#include "platform/FileReplace.h"

namespace vedalia::course {

bool ReadInstallRecord(const QString& folder, InstallRecord& record) {
  const QString path = folder + QLatin1Char('/') + QLatin1String(kInstallRecordName);
  if (!QFile::exists(path)) return false;
  QSettings ini(path, QSettings::IniFormat);
  if (ini.status() != QSettings::NoError) return false;
  ini.beginGroup(QStringLiteral("course"));
  record.title = ini.value(QStringLiteral("title")).toString();
  record.mode = ini.value(QStringLiteral("mode")).toString();
  record.source = ini.value(QStringLiteral("source")).toString();
  record.sourceStamp = ini.value(QStringLiteral("source-stamp")).toString();
  record.system = ini.value(QStringLiteral("system")).toBool();
  record.group = ini.value(QStringLiteral("group")).toString();
  record.launchers = ini.value(QStringLiteral("launchers")).toStringList();
  return !record.mode.isEmpty();
}

bool WriteInstallRecord(const QString& folder, const InstallRecord& record, QString* error) {
  // QSettings writes in place; the record is built in a scratch file and replaced whole.
  const QString path = folder + QLatin1Char('/') + QLatin1String(kInstallRecordName);
  const QString scratch = path + QStringLiteral(".new");
  QFile::remove(scratch);
  {
    QSettings ini(scratch, QSettings::IniFormat);
    ini.beginGroup(QStringLiteral("course"));
    ini.setValue(QStringLiteral("title"), record.title);
    ini.setValue(QStringLiteral("mode"), record.mode);
    ini.setValue(QStringLiteral("source"), record.source);
    ini.setValue(QStringLiteral("source-stamp"), record.sourceStamp);
    ini.setValue(QStringLiteral("system"), record.system);
    ini.setValue(QStringLiteral("group"), record.group);
    ini.setValue(QStringLiteral("launchers"), record.launchers);
    ini.endGroup();
    ini.sync();
    if (ini.status() != QSettings::NoError) {
      if (error) *error = scratch + QStringLiteral(": cannot write");
      QFile::remove(scratch);
      return false;
    }
  }
  QFile file(scratch);
  const bool read = file.open(QIODevice::ReadOnly);
  const QByteArray text = file.readAll();
  file.close();
  QFile::remove(scratch);
  return read && ReplaceFileContents(path, text, error);
}

QString UserMenuFolder() {
  return QStandardPaths::writableLocation(QStandardPaths::ApplicationsLocation);
}

QString UserDesktopFolder() {
  const QString fromEnvironment = qEnvironmentVariable("XDG_DESKTOP_DIR");
  if (!fromEnvironment.isEmpty()) return fromEnvironment;
  // Reads the user's user-dirs.dirs (what xdg-user-dir DESKTOP answers), else ~/Desktop.
  return QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
}

QString SystemMenuFolder() {
  const QString fromEnvironment = qEnvironmentVariable("VEDALIA_SYSTEM_APPLICATIONS_DIR");
  return fromEnvironment.isEmpty() ? QStringLiteral("/usr/local/share/applications")
                                   : fromEnvironment;
}

}  // namespace vedalia::course
