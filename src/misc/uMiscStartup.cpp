// The start-up probes: the machine-wide install mode and the content medium.

#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>
#include <QTextStream>
#include <algorithm>

#include "media/uDecryptor.h"
#include "misc/uMisc.h"

namespace vedalia {

namespace {

VolumeLister& InstalledLister() {
  static VolumeLister lister;
  return lister;
}

// The block device's own "removable" flag; a partition asks its disk.
bool IsRemovableDevice(const QByteArray& device) {
  if (!device.startsWith("/dev/")) return false;
  QString node = QFileInfo(QString::fromLocal8Bit(device)).canonicalFilePath();
  if (node.isEmpty()) node = QString::fromLocal8Bit(device);
  const QString sysPath =
      QFileInfo(QStringLiteral("/sys/class/block/") + QFileInfo(node).fileName())
          .canonicalFilePath();
  if (sysPath.isEmpty()) return false;
  for (const QString& flag :
       {sysPath + QStringLiteral("/removable"), sysPath + QStringLiteral("/../removable")}) {
    QFile file(flag);
    if (file.open(QIODevice::ReadOnly)) return file.readAll().trimmed() == "1";
  }
  return false;
}

QList<MountedVolume> SystemVolumes() {
  QList<MountedVolume> volumes;
  for (const QStorageInfo& storage : QStorageInfo::mountedVolumes()) {
    MountedVolume volume;
    volume.rootPath = storage.rootPath();
    volume.readOnly = storage.isReadOnly();
    volume.valid = storage.isValid();
    volume.ready = storage.isReady();
    volume.bytesTotal = volume.valid && volume.ready ? storage.bytesTotal() : -1;
    const QByteArray type = storage.fileSystemType().toLower();
    const QByteArray device = storage.device();
    volume.optical = type == "iso9660" || type == "udf" || device.startsWith("/dev/sr") ||
                     device.startsWith("/dev/cdrom");
    volume.removable = IsRemovableDevice(device);
    volumes.append(volume);
  }
  return volumes;
}

QString WithoutTrailingSlash(QString path) {
  while (path.size() > 1 && path.endsWith(QLatin1Char('/'))) path.chop(1);
  return path;
}

bool IsVolumeReady(const MountedVolume& volume) {
  return volume.valid && volume.ready && volume.bytesTotal >= 0;
}

// Discs written without long-name extensions show "START.SWF".
bool HasStartMovie(const QString& root) {
  return !ResolveContentFile(WithoutTrailingSlash(root) + QStringLiteral("/start.swf")).isEmpty();
}

}  // namespace

QString MachineSettingsPath() {
  const QString path = qEnvironmentVariable(kMachineSettingsEnv);
  return path.isEmpty() ? QString::fromLatin1(kMachineSettingsFile) : path;
}

QString ReadMachineSetting(const QString& key) {
  QFile file(MachineSettingsPath());
  if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return QString();

  // A plain INI file: the key sits before any section or in [General].
  QTextStream in(&file);
  QString section;
  while (!in.atEnd()) {
    const QString line = in.readLine().trimmed();
    if (line.isEmpty() || line.startsWith(QLatin1Char(';')) || line.startsWith(QLatin1Char('#')))
      continue;
    if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
      section = line.mid(1, line.size() - 2).trimmed();
      continue;
    }
    const qsizetype eq = line.indexOf(QLatin1Char('='));
    if (eq < 0) continue;
    if (!section.isEmpty() && section.compare(QLatin1String("General"), Qt::CaseInsensitive) != 0)
      continue;
    if (line.left(eq).trimmed().compare(key, Qt::CaseInsensitive) != 0) continue;
    QString value = line.mid(eq + 1).trimmed();
    if (value.size() >= 2 && value.startsWith(QLatin1Char('"')) && value.endsWith(QLatin1Char('"')))
      value = value.mid(1, value.size() - 2);
    return value;
  }
  return QString();
}

QString ReadInstallMode() { return ReadMachineSetting(QStringLiteral("InstallMode")); }

QList<MountedVolume> MountedVolumes() {
  const VolumeLister& lister = InstalledLister();
  return lister ? lister() : SystemVolumes();
}

VolumeLister SetVolumeLister(VolumeLister lister) {
  VolumeLister previous = std::move(InstalledLister());
  InstalledLister() = std::move(lister);
  return previous;
}

bool IsDriveReady(const QString& drive) {
  const QString wanted = WithoutTrailingSlash(drive);
  if (wanted.isEmpty()) return false;
  const QList<MountedVolume> volumes = MountedVolumes();
  return std::any_of(volumes.begin(), volumes.end(), [&](const MountedVolume& volume) {
    return WithoutTrailingSlash(volume.rootPath) == wanted && IsVolumeReady(volume);
  });
}

QString FindContentDrive() {
  QList<MountedVolume> volumes = MountedVolumes();
  std::stable_sort(volumes.begin(), volumes.end(),
                   [](const MountedVolume& a, const MountedVolume& b) {
                     return WithoutTrailingSlash(a.rootPath) < WithoutTrailingSlash(b.rootPath);
                   });
  QString found;  // the last match wins
  for (const MountedVolume& volume : volumes) {
    const bool medium = (volume.optical && volume.readOnly) || volume.removable;
    if (!medium || volume.rootPath.isEmpty() || !IsVolumeReady(volume)) continue;
    if (HasStartMovie(volume.rootPath)) found = WithoutTrailingSlash(volume.rootPath);
  }
  return found;
}

}  // namespace vedalia
