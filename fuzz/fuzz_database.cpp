// The database file opener. The first byte picks what the rest is:
//   even: the file itself (header and sealed body), its derivation cost made cheap so that
//         one run stays short;
//   odd:  a plain SQLite image, sealed here under the right password, then opened and
//         queried as the shell does.
#include <cstring>

#include "FuzzServices.h"
#include "FuzzSupport.h"
#include "store/SealedFile.h"
#include "store/StoreErrors.h"
#include "store/uDBTransaction.h"
#include "store/uTables.h"

using namespace vedalia;

namespace {

// The accounts database's password (the data module keeps it to itself).
constexpr char kPassword[] = "kelp_morrow_key";

QString databasePath() { return fuzz::ScratchDir() + QStringLiteral("opened.adb"); }

void putLe32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = std::uint8_t(v >> (8 * i));
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
  QFile::remove(databasePath());
  if (sealHere) {
    static const sealed::FileKey key =
        sealed::NewFileKey(QLatin1String(kPassword), sealed::kTestKdfCost);
    try {
      sealed::WriteSealedFile(databasePath(), key, body.data(), body.size());
    } catch (const EngineError&) {
      return 0;
    }
  } else {
    if (body.size() >= 16) {
      putLe32(body.data() + 8, sealed::kTestKdfCost.passes);
      putLe32(body.data() + 12, sealed::kTestKdfCost.memoryKiB);
    }
    fuzz::WriteScratchFile(QStringLiteral("opened.adb"), body.data(), body.size());
  }

  try {
    TDBTransaction t(databasePath());
    t.GetUsersList();
    t.ValidateUser(QStringLiteral("1"));
    t.ValidateUser(QStringLiteral("Петров;Иван;А;secret"));
    t.GetUserResults(QStringLiteral("1"));
    t.AddTestResult(QStringLiteral("1;2;3;75;1;extra"));
  } catch (const EngineError&) {
    // Refused as missing, foreign, damaged or unusable: the expected way out.
  } catch (const ConversionError&) {
  }
  return 0;
}
