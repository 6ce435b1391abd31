#include "PgTestServer.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QAtomicInt>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <stdexcept>

#include "store/PgConnection.h"
#include "store/PgStore.h"

namespace vedalia::testing {
namespace {

// The newest server that Debian's packages installed (/usr/lib/postgresql/VERSION/bin).
const QString kBin = [] {
  QStringList versions =
      QDir(QStringLiteral("/usr/lib/postgresql")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
  std::sort(versions.begin(), versions.end(),
            [](const QString& a, const QString& b) { return a.toInt() < b.toInt(); });
  return QStringLiteral("/usr/lib/postgresql/%1/bin/")
      .arg(versions.isEmpty() ? QStringLiteral("15") : versions.back());
}();

bool AsRoot() { return geteuid() == 0; }

// The command as the server's user: "nobody" when we are root, else ourselves.
QStringList AsServerUser(const QStringList& command) {
  if (!AsRoot()) return command;
  return QStringList{QStringLiteral("setpriv"), QStringLiteral("--reuid=nobody"),
                     QStringLiteral("--regid=nogroup"), QStringLiteral("--clear-groups")} +
         command;
}

QString ReadAll(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

}  // namespace

void PgTestServer::Run(const QStringList& command, int timeoutMs) const {
  QProcess p;
  p.setProcessChannelMode(QProcess::MergedChannels);
  const QStringList full = AsServerUser(command);
  p.start(full.front(), full.mid(1));
  if (!p.waitForFinished(timeoutMs) || p.exitStatus() != QProcess::NormalExit || p.exitCode()) {
    p.kill();
    p.waitForFinished(1000);
    throw std::runtime_error((command.join(' ') + " failed:\n" + QString::fromUtf8(p.readAll()) +
                              "\nserver log:\n" + ReadAll(folder_ + "/log"))
                                 .toStdString());
  }
}

std::unique_ptr<PgTestServer> PgTestServer::Start(bool watched, bool durable) {
  std::unique_ptr<PgTestServer> server(new PgTestServer);
  server->durable_ = durable;
  QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/vedalia-pg-XXXXXX"));
  if (!dir.isValid()) throw std::runtime_error("no temporary folder for the server");
  dir.setAutoRemove(false);
  server->folder_ = dir.path();
  server->owned_ = true;
  if (AsRoot()) {
    const passwd* nobody = getpwnam("nobody");
    if (!nobody || chown(dir.path().toLocal8Bit().constData(), nobody->pw_uid, nobody->pw_gid))
      throw std::runtime_error("cannot hand the server's folder to nobody");
  }
  if (watched) {
    // The watcher holds the pipe's reading end; when this process ends (even killed), the
    // writing end closes and the watcher stops the server and removes its folder.
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("no pipe for the watcher");
    const QByteArray script = ("read _; " +
                               AsServerUser({kBin + "pg_ctl", "-D", server->folder_ + "/data", "-m",
                                             "immediate", "-w", "stop"})
                                   .join(' ') +
                               " >/dev/null 2>&1; rm -rf '" + server->folder_ + "'")
                                  .toLocal8Bit();
    const pid_t pid = fork();
    if (pid == 0) {
      setsid();
      dup2(fds[0], 0);
      execl("/bin/sh", "sh", "-c", script.constData(), static_cast<char*>(nullptr));
      _exit(127);
    }
    close(fds[0]);
    if (pid < 0) {
      close(fds[1]);
      throw std::runtime_error("cannot start the watcher");
    }
    server->watcherPipe_ = fds[1];
  }
  server->Run({kBin + "initdb", "-D", server->folder_ + "/data", "-U", "vedalia", "-E", "UTF8",
               "--no-locale", "--no-sync", "--auth=trust"},
              120000);
  // One role must give its password (scram), everyone else is trusted on the socket.
  QFile hba(server->folder_ + "/data/pg_hba.conf");
  if (!hba.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
      hba.write(QByteArray("local all ") + kPasswordRole +
                " scram-sha-256\nlocal all all trust\n") < 0)
    throw std::runtime_error("cannot write pg_hba.conf");
  hba.close();
  server->StartServer();
  server->Admin(QStringLiteral("CREATE ROLE %1 LOGIN PASSWORD '%2'")
                    .arg(QLatin1String(kPasswordRole), QLatin1String(kPassword)));
  return server;
}

void PgTestServer::StartServer() {
  Run({kBin + "pg_ctl", "-D", folder_ + "/data", "-l", folder_ + "/log", "-w", "-t", "60", "-o",
       "-k " + folder_ + " -c listen_addresses= -c max_connections=150 -c shared_buffers=16MB" +
           (durable_ ? "" : " -c fsync=off -c synchronous_commit=off"),
       "start"},
      90000);
}

std::unique_ptr<PgTestServer> PgTestServer::Attach(const QString& folder) {
  std::unique_ptr<PgTestServer> server(new PgTestServer);
  server->folder_ = folder;
  return server;
}

PgTestServer& PgTestServer::Shared() {
  static std::unique_ptr<PgTestServer> shared = [] {
    const QString info = qEnvironmentVariable("VEDALIA_TEST_PG_INFO");
    if (!info.isEmpty()) {
      const QString folder = ReadAll(info).trimmed();
      if (!folder.isEmpty()) {
        auto attached = Attach(folder);
        if (attached->Running()) return attached;
      }
    }
    return Start();
  }();
  return *shared;
}

PgTestServer::~PgTestServer() {
  if (owned_) {
    try {
      if (Running()) Stop();
    } catch (...) {
    }
    QDir(folder_).removeRecursively();
  }
  if (watcherPipe_ >= 0) close(watcherPipe_);
}

void PgTestServer::Stop() {
  Run({kBin + "pg_ctl", "-D", folder_ + "/data", "-m", "fast", "-w", "stop"}, 60000);
}

void PgTestServer::Restart() { StartServer(); }

bool PgTestServer::Running() const {
  QProcess p;
  const QStringList full = AsServerUser({kBin + "pg_ctl", "-D", folder_ + "/data", "status"});
  p.start(full.front(), full.mid(1));
  return p.waitForFinished(10000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

QString PgTestServer::Url(const QString& database, const QString& user) const {
  return QStringLiteral("postgresql://%1@/%2?host=%3").arg(user, database, folder_);
}

QString PgTestServer::NewDatabase() {
  static QAtomicInt counter;
  const QString name = QStringLiteral("t%1_%2").arg(getpid()).arg(counter.fetchAndAddOrdered(1));
  Admin(QStringLiteral("CREATE DATABASE %1").arg(name));
  return Url(name);
}

QString PgTestServer::NewStore() {
  const QString url = NewDatabase();
  PgConnection connection;
  connection.Connect(url, QString(), {10, 60000});
  CreateServerSchema(connection);
  return url;
}

void PgTestServer::Admin(const QString& statement) {
  PgConnection connection;
  connection.Connect(Url(QStringLiteral("postgres")), QString(), {10, 60000});
  connection.Exec(statement);
}

}  // namespace vedalia::testing
