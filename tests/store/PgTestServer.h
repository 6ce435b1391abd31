#pragma once
// A private PostgreSQL server for tests, made from Debian's package in a temporary folder
// and reached on a Unix socket there. As root (CI) the server runs as "nobody", because the
// server refuses to run as root. The server stops when its owner is destroyed and also when
// the owning process dies in any way: a watcher process waits for the owner's pipe to close.
//
// Shared(): the server that the test run's fixture started (the file named by the
// environment variable VEDALIA_TEST_PG_INFO names its folder), else a private one for this
// process. Each test makes a database of its own on it.

#include <QString>
#include <memory>

namespace vedalia::testing {

class PgTestServer {
 public:
  // Makes and starts a server; throws std::runtime_error with the server's log on failure.
  // `watched`: stopped by a watcher when this process dies. `durable`: commits reach the
  // disk as on a school's server (benchmarks); tests skip that.
  static std::unique_ptr<PgTestServer> Start(bool watched = true, bool durable = false);
  // Attaches to a running server in `folder` (not stopped by this object).
  static std::unique_ptr<PgTestServer> Attach(const QString& folder);
  static PgTestServer& Shared();
  ~PgTestServer();

  void Stop();     // fast shutdown; connections are cut
  void Restart();  // starts it again on the same folder and socket
  bool Running() const;
  const QString& Folder() const { return folder_; }
  void Detach() { owned_ = false; }  // left running when this object goes

  // libpq's URI of `database` as the superuser "vedalia" (trusted on the socket), or as the
  // role "vedalia_pw", which must give its password.
  QString Url(const QString& database, const QString& user = QStringLiteral("vedalia")) const;
  // A fresh, empty database; returns its URL.
  QString NewDatabase();
  // A fresh database with the store's two tables; returns its URL.
  QString NewStore();
  // Runs one statement as the superuser on the database "postgres".
  void Admin(const QString& statement);

  static constexpr char kPasswordRole[] = "vedalia_pw";
  static constexpr char kPassword[] = "S3cret-for-tests";

 private:
  PgTestServer() = default;
  void Run(const QStringList& command, int timeoutMs) const;
  void StartServer();

  QString folder_;
  bool owned_ = false;
  bool durable_ = false;
  int watcherPipe_ = -1;
};

}  // namespace vedalia::testing
