#include "shell/uStartup.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLockFile>

#include "desktop/uServices.h"
#include "flashhost/FlashPlayerControl.h"
#include "media/uMediaTypes.h"
#include "misc/uMisc.h"
#include "shell/MainFrm.h"
#include "shell/SplashFrm.h"
#include "shell/uSettingsFile.h"
#include "store/uChecker.h"

namespace vedalia {

const char* const kPlayerCodeDamagedMessage =
    "Файл драйвера Flash9c.ocx повреждён или удалён. Переустановка приложения может решить "
    "эту проблему.";
const char* const kAlreadyRunningMessage =
    "Приложение уже запущено. Одновременный запуск невозможен.";
const char* const kStartMovieMessage = "Базовый файл start.swf не найден или поврежден!";

bool InstallPlayerCodeFromResource(const QString& resourcePath) {
  QFile resource(resourcePath);
  if (!resource.open(QIODevice::ReadOnly)) return false;
  QBuffer stream;
  stream.setData(resource.readAll());
  if (!stream.open(QIODevice::ReadOnly)) return false;
  return TFlashPlayerControl::InstallPlayerCode(stream);
}

bool InstallPlayerCodeFromResource() {
  return InstallPlayerCodeFromResource(TFlashPlayerControl::PlayerCodeResource());
}

QString InstanceLockPath() {
  // A fixed folder, never one named by the environment, so every process of the machine
  // finds the same lock. Both are shared and sticky: each account makes and takes over only
  // its own file, so one account's lock never keeps another's course from starting.
  struct stat st {};
  const bool runLock = ::stat("/run/lock", &st) == 0 && S_ISDIR(st.st_mode) &&
                       (st.st_mode & S_ISVTX) && ::access("/run/lock", W_OK | X_OK) == 0;
  return QLatin1String(runLock ? "/run/lock" : "/tmp") + QStringLiteral("/global_tovk_8-") +
         QString::number(::getuid()) + QStringLiteral(".lock");
}

std::unique_ptr<QLockFile> TakeInstanceLock(const QString& lockPath) {
  auto lock = std::make_unique<QLockFile>(lockPath);
  // Only a lock whose process is gone counts as stale, however old it is.
  lock->setStaleLockTime(0);
  if (!lock->tryLock(0)) return nullptr;
  return lock;
}

void SettleDirectories(const QString& workingDir) {
  SetBaseDir(QDir(workingDir).absolutePath());
  QString content;
  if (ReadInstallMode() == QLatin1String("CD")) content = FindContentDrive();
  SetContentDir(content.isEmpty() ? BaseDir() : content);
}

bool StartMovieIsPlayable() {
  const TMediaObjects catalogue;
  return catalogue.IsPlayableMovie(ContentDir() + QStringLiteral("start.swf"));
}

bool PrepareStart(const StartupOptions& options, std::unique_ptr<QLockFile>& lock) {
  lock = TakeInstanceLock(options.lockPath.isEmpty() ? InstanceLockPath() : options.lockPath);
  if (!lock) {
    AppServices().messages->ShowMessage(nullptr, MessageKind::Warning,
                                        QString::fromUtf8(kAlreadyRunningMessage));
    return false;
  }
  SettleDirectories(options.workingDir.isEmpty() ? QDir::currentPath() : options.workingDir);
  if (!StartMovieIsPlayable()) {
    AppServices().messages->ShowMessage(nullptr, MessageKind::Error,
                                        QString::fromUtf8(kStartMovieMessage));
    lock.reset();
    return false;
  }
  return true;
}

int RunShell(const StartupOptions& options) {
  std::unique_ptr<QLockFile> lock;
  if (!PrepareStart(options, lock)) return 1;

  auto splash = std::make_unique<TSplashForm>(options.splashMilliseconds);
  splash->show();
  splash->repaint();
  QApplication::processEvents();

  TMainForm mainForm(options.settingsPath.isEmpty() ? SettingsFilePath() : options.settingsPath);

  const bool databaseAvailable =
      options.checkDatabase
          ? options.checkDatabase()
          : TChecker().CheckDatabase({QStringLiteral("users"), QStringLiteral("results")});
  mainForm.SetDatabaseAvailable(databaseAvailable);

  // The splash stays at least its timer's time; the loop keeps both windows responsive.
  while (!splash->TimerFired()) QApplication::processEvents(QEventLoop::WaitForMoreEvents);
  splash->hide();
  splash.reset();

  mainForm.show();
  return QApplication::exec();
}

}  // namespace vedalia
