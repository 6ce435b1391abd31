#include "store/uChecker.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QByteArray>
#include <QtGlobal>

#include "platform/Log.h"
#include "store/RegularFile.h"
#include "store/uTables.h"

namespace vedalia {

namespace {

// Each table opens through the data module's table component, or the check fails.
void OpenEach(TDM& dm, const QStringList& tableNames) {
  for (const QString& name : tableNames) {
    dm.Table.SetTableName(name);
    dm.Table.Open();
    dm.Table.Close();
  }
}

}  // namespace

bool TChecker::CheckDatabase(const QStringList& tableNames) const {
  try {
    // A configured server is asked for the tables; the file is not looked at then.
    if (const std::optional<ServerLocation> server = StoreServer()) {
      TDM dm(*server);
      OpenEach(dm, tableNames);
      return true;
    }
  } catch (...) {
    // The pupils only see a course without accounts; the administrator needs the reason.
    LogFailure(lcStore(), "opening the accounts database on the server");
    return false;
  }
  return CheckDatabase(DatabaseFilePath(), tableNames);
}

bool TChecker::CheckDatabase(const QString& filePath, const QStringList& tableNames) const {
  try {
    // Without blocking, and only a regular file: a FIFO there must not hang the start-up.
    struct stat st {};
    const int fd = OpenRegularFile(filePath.toLocal8Bit().constData(), st);
    if (fd < 0) return false;
    char head[4] = {};
    const bool read = ::pread(fd, head, sizeof head, 0) == ssize_t(sizeof head);
    ::close(fd);
    if (!read || QByteArray(head, sizeof head).toUpper() != "ACS2") return false;
    TDM dm(filePath);
    OpenEach(dm, tableNames);
    // Once per run: every page proves itself, so damage anywhere is found now.
    dm.Database.Verify();
    return true;
  } catch (...) {
    LogFailure(lcStore(), "checking the database file");
    return false;
  }
}

}  // namespace vedalia
