// The test run's shared server: "start FILE" makes one and writes its folder into FILE
// (stopping one that an earlier, interrupted run left there); "stop FILE" stops it and
// removes its folder. CTest runs these as the fixture around the server tests.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <iostream>

#include "PgTestServer.h"

using vedalia::testing::PgTestServer;

namespace {

void StopRecorded(const QString& info) {
  QFile f(info);
  if (!f.open(QIODevice::ReadOnly)) return;
  const QString folder = QString::fromUtf8(f.readAll()).trimmed();
  f.close();
  QFile::remove(info);
  if (folder.isEmpty() || !QFile::exists(folder + "/data/PG_VERSION")) return;
  auto server = PgTestServer::Attach(folder);
  if (server->Running()) server->Stop();
  QDir(folder).removeRecursively();
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const QStringList args = app.arguments();
  if (args.size() != 3 || (args[1] != "start" && args[1] != "stop")) {
    std::cerr << "usage: pg_test_server start|stop INFO-FILE\n";
    return 2;
  }
  try {
    StopRecorded(args[2]);
    if (args[1] == "stop") return 0;
    auto server = PgTestServer::Start(false);
    QFile f(args[2]);
    if (!f.open(QIODevice::WriteOnly) || f.write(server->Folder().toUtf8()) < 0) return 1;
    std::cout << "server in " << server->Folder().toStdString() << "\n";
    // Left running for the tests; the "stop" fixture ends it.
    server->Detach();
    return 0;
  } catch (const std::exception& e) {
    std::cerr << e.what() << "\n";
    return 1;
  }
}
