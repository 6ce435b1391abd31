// The movie's record strings: splitting them, and every operation of the facade on a real
// database with the fields they give.
#include <stdexcept>

#include "FuzzServices.h"
#include "FuzzSupport.h"
#include "misc/uMisc.h"
#include "store/SealedFile.h"
#include "store/StoreErrors.h"
#include "store/uDBParser.h"
#include "store/uDBTransaction.h"
#include "store/uTables.h"

using namespace vedalia;

namespace {

QString databasePath() { return fuzz::ScratchDir() + QStringLiteral("records.adb"); }

// A fresh database now and then, so the tables stay small and each run stays fast.
void renewDatabase() {
  QFile::remove(databasePath());
  CreateDatabaseFile(databasePath(), sealed::kTestKdfCost);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::QuietQt();
  fuzz::InstallQuietServices();
  renewDatabase();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const int operation = data[0] % 8;
  const QString text =
      QString::fromUtf8(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));

  // Splitting keeps every character: the pieces joined give the text back, less one
  // closing separator.
  QStringList pieces{QStringLiteral("kept")};
  const int count = SplitString(pieces, text, QLatin1Char(';'));
  FUZZ_CHECK(count == pieces.size());
  FUZZ_CHECK(pieces.first() == QLatin1String("kept"));
  pieces.removeFirst();
  QString joined = pieces.join(QLatin1Char(';'));
  if (text.endsWith(QLatin1Char(';'))) joined += QLatin1Char(';');
  FUZZ_CHECK(joined == text);

  QStringList fields{QStringLiteral("old")};
  const TDBParser parser(&SplitString);
  FUZZ_CHECK(parser.Parse(fields, text) == fields.size());
  FUZZ_CHECK(fields == pieces);

  static int runs = 0;
  if (++runs % 200 == 0) renewDatabase();
  try {
    TDBTransaction t(databasePath());
    QString reply;
    switch (operation) {
      case 0:
        reply = t.AddUser(text);
        break;
      case 1:
        reply = t.ValidateUser(text);
        break;
      case 2:
        reply = t.GetUserResults(text);
        break;
      case 3:
        reply = t.AddTestResult(text);
        break;
      case 4:
        reply = t.DeleteUser(text);
        break;
      case 5:
        reply = t.SetPassword(text);
        break;
      case 6:
        reply = t.GetUsersList();
        break;
      default:
        // Registered, then looked up by the same record's name fields.
        reply = t.AddUser(text);
        if (fields.size() >= 7)
          reply = t.ValidateUser(fields[2] + ';' + fields[0] + ';' + fields[6] + ';' + fields[5]);
        break;
    }
  } catch (const ConversionError&) {
  } catch (const RangeError&) {
  }
  // An EngineError here means the database broke under a record: that is a fault, and
  // escapes as one.
  return 0;
}
