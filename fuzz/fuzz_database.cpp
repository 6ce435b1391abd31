// The database file opener. The first byte picks what the rest is:
//   bit 0 clear: the file itself, header and encrypted pages. Its header stays authentic
//         when left alone (the seeds are real files), so changes reach the pages; a cost
//         other than the cheapest is skipped, so that one run stays short. With bit 1 set,
//         three bytes (little-endian) give the file's length and the rest is the log a
//         crash left beside it.
//   bit 0 set: a plain SQLite image, sealed here in format 1 under the right password, then
//         opened and queried as the shell does; its first write converts it to the current
//         format, which must then open again.
// A file that passes the start-up check must open for the commands.
#include <algorithm>

#include "FuzzServices.h"
#include "FuzzSupport.h"
#include "store/SealedFile.h"
#include "store/StoreErrors.h"
#include "store/uChecker.h"
#include "store/uDBTransaction.h"
#include "store/uTables.h"

using namespace vedalia;

namespace {

// The accounts database's password (the data module keeps it to itself).
constexpr char kPassword[] = "kelp_morrow_key";

QString databasePath() { return fuzz::ScratchDir() + QStringLiteral("opened.adb"); }

std::uint32_t getLe32(const std::uint8_t* p) {
  return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
         std::uint32_t(p[3]) << 24;
}

int formatVersion() {
  QFile f(databasePath());
  const QByteArray head = f.open(QIODevice::ReadOnly) ? f.read(6) : QByteArray();
  return head.size() == 6 ? std::uint8_t(head[4]) | std::uint8_t(head[5]) << 8 : -1;
}

// The shell's queries; true when the result was stored.
bool runQueries() {
  TDBTransaction t(databasePath());
  t.GetUsersList();
  t.ValidateUser(QStringLiteral("1"));
  t.ValidateUser(QStringLiteral("Петров;Иван;А;secret"));
  t.GetUserResults(QStringLiteral("1"));
  return t.AddTestResult(QStringLiteral("1;2;3;75;1;extra")).isEmpty();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::QuietQt();
  fuzz::InstallQuietServices();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const bool sealHere = (data[0] & 1) != 0;
  std::vector<std::uint8_t> body(data + 1, data + size);
  for (const char* suffix : {"", "-wal", "-journal"})
    QFile::remove(databasePath() + QLatin1String(suffix));
  if (sealHere) {
    static const sealed::FileKey key =
        sealed::NewFileKey(QLatin1String(kPassword), sealed::kTestKdfCost);
    try {
      sealed::WriteSealedFile(databasePath(), key, body.data(), body.size());
    } catch (const EngineError&) {
      return 0;
    }
  } else {
    std::size_t fileBytes = body.size();
    std::size_t skip = 0;
    if (data[0] & 2) {
      if (body.size() < 3) return 0;
      skip = 3;
      fileBytes = std::min(body.size() - 3, std::size_t(body[0] | body[1] << 8 | body[2] << 16));
    }
    const std::uint8_t* file = body.data() + skip;
    if (fileBytes >= 16 && (getLe32(file + 8) != sealed::kTestKdfCost.passes ||
                            getLe32(file + 12) != sealed::kTestKdfCost.memoryKiB))
      return 0;
    fuzz::WriteScratchFile(QStringLiteral("opened.adb"), file, fileBytes);
    if (data[0] & 2) {
      fuzz::WriteScratchFile(QStringLiteral("opened.adb-wal"), file + fileBytes,
                             body.size() - skip - fileBytes);
    }
  }

  const bool checked = TChecker().CheckDatabase(
      databasePath(), {QStringLiteral("users"), QStringLiteral("results")});
  bool stored = false;
  try {
    stored = runQueries();
  } catch (const EngineError& e) {
    // Refused as missing, foreign, damaged or unusable: the expected way out, but not for a
    // file the check let through.
    FUZZ_CHECK(!checked || e.kind() == EngineError::Kind::Sql);
  } catch (const ConversionError&) {
  }
  if (stored) {
    // A write left the current format, complete and flushed, whatever the file was before.
    FUZZ_CHECK(formatVersion() == 2);
    try {
      runQueries();
    } catch (const EngineError& e) {
      FUZZ_CHECK(e.kind() == EngineError::Kind::Sql);
    } catch (const ConversionError&) {
    }
  }
  return 0;
}
