#include "platform/Log.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>
#include <algorithm>
#include <exception>

namespace vedalia {

Q_LOGGING_CATEGORY(lcPlatform, "vedalia.platform")
Q_LOGGING_CATEGORY(lcMovie, "vedalia.movie")
Q_LOGGING_CATEGORY(lcMedia, "vedalia.media")
Q_LOGGING_CATEGORY(lcStore, "vedalia.store")
Q_LOGGING_CATEGORY(lcViewers, "vedalia.viewers")
Q_LOGGING_CATEGORY(lcModel3d, "vedalia.model3d")
Q_LOGGING_CATEGORY(lcShell, "vedalia.shell")

namespace {

struct TWarningLog {
  QMutex mutex;
  QFile file;
  qint64 maxBytes = 0;
  int keep = 0;
  bool installed = false;
  QtMessageHandler previous = nullptr;
};

// Never freed: a message may arrive from static destructors after main returns.
TWarningLog& Log() {
  static TWarningLog* log = new TWarningLog;
  return *log;
}

const char* LevelName(QtMsgType type) {
  switch (type) {
    case QtWarningMsg:
      return "warning";
    case QtCriticalMsg:
      return "critical";
    case QtFatalMsg:
      return "fatal";
    default:
      return "info";
  }
}

// path.<keep> is dropped, each path.<n> becomes path.<n+1>, the file itself path.1.
void Rotate(TWarningLog& log) {
  const QString path = log.file.fileName();
  log.file.close();
  QFile::remove(path + QLatin1Char('.') + QString::number(log.keep));
  for (int n = log.keep - 1; n >= 1; --n)
    QFile::rename(path + QLatin1Char('.') + QString::number(n),
                  path + QLatin1Char('.') + QString::number(n + 1));
  if (log.keep >= 1)
    QFile::rename(path, path + QStringLiteral(".1"));
  else
    QFile::remove(path);
  log.file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text);
}

void Handle(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  TWarningLog& log = Log();
  QtMessageHandler previous = nullptr;
  {
    QMutexLocker lock(&log.mutex);
    previous = log.previous;
    if (log.installed && type != QtDebugMsg && type != QtInfoMsg && log.file.isOpen()) {
      const QByteArray line = QDateTime::currentDateTime().toString(Qt::ISODateWithMs).toUtf8() +
                              ' ' + LevelName(type) + ' ' +
                              (context.category ? context.category : "default") + ": " +
                              message.toUtf8() + '\n';
      log.file.write(line);
      log.file.flush();
      if (log.file.size() >= log.maxBytes) Rotate(log);
    }
  }
  if (previous) previous(type, context, message);
}

}  // namespace

void LogFailure(const QLoggingCategory& category, const char* operation) noexcept {
  try {
    throw;
  } catch (const std::exception& e) {
    qCWarning(category, "%s failed: %s", operation, e.what());
  } catch (...) {
    qCWarning(category, "%s failed for an unknown reason", operation);
  }
}

QString WarningLogPath() {
  QString state = qEnvironmentVariable("XDG_STATE_HOME");
  // The base folder must be absolute; a relative one is ignored as the XDG rules say.
  if (state.isEmpty() || QDir::isRelativePath(state))
    state = QDir::homePath() + QStringLiteral("/.local/state");
  return state + QStringLiteral("/vedalia/warnings.log");
}

bool InstallWarningLog(const QString& path, qint64 maxBytes, int keep) {
  TWarningLog& log = Log();
  QMutexLocker lock(&log.mutex);
  if (log.file.isOpen()) log.file.close();
  log.maxBytes = std::max<qint64>(maxBytes, 1);
  log.keep = std::max(keep, 0);
  QDir().mkpath(QFileInfo(path).absolutePath());
  log.file.setFileName(path);
  const bool opened = log.file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text);
  if (!log.installed) {
    log.installed = true;
    lock.unlock();
    // The handler takes the mutex itself; it must not be held while Qt swaps handlers.
    QtMessageHandler previous = qInstallMessageHandler(Handle);
    QMutexLocker again(&log.mutex);
    log.previous = previous;
  }
  return opened;
}

void RemoveWarningLog() {
  TWarningLog& log = Log();
  QtMessageHandler previous = nullptr;
  {
    QMutexLocker lock(&log.mutex);
    if (!log.installed) return;
    log.installed = false;
    log.file.close();
    previous = log.previous;
    log.previous = nullptr;
  }
  qInstallMessageHandler(previous);
}

}  // namespace vedalia
