#include "store/uDBTransaction.h"

#include <QStringList>

#include "misc/uMisc.h"
#include "platform/Cp1251.h"
#include "store/StoreErrors.h"
#include "store/uCrypto.h"

namespace vedalia {
namespace {

const QString kFalse = QStringLiteral("false");

qint32 IntField(const QString& field) {
  bool ok = false;
  const int value = field.toInt(&ok, 10);
  // toInt tolerates blanks around the digits; a decimal field may not have them.
  if (!ok || field.front().isSpace() || field.back().isSpace()) {
    throw ConversionError("'" + field.toStdString() + "' is not a valid integer value");
  }
  return value;
}

QString Encoded(const QString& password) {
  return EncodeStr(password, QLatin1String(kFieldCipherKey));
}

}  // namespace

TDBTransaction::TDBTransaction()
    : DBInt(std::make_unique<TDBInt>()), Parser(std::make_unique<TDBParser>(&SplitString)) {}

TDBTransaction::TDBTransaction(const QString& databasePath)
    : DBInt(std::make_unique<TDBInt>(databasePath)),
      Parser(std::make_unique<TDBParser>(&SplitString)) {}

TDBTransaction::~TDBTransaction() {
  Parser.reset();
  DBInt.reset();
}

// Records are narrowed to the database's code page first, so a stored name reads back as
// the movie will see it and password codes match however the text arrived.

QString TDBTransaction::AddUser(const QString& record) {
  QStringList f;
  if (Parser->Parse(f, NarrowToCp1251(record)) != 11) return kFalse;
  const QString code = Encoded(f[5]);
  const qint32 classNumber = IntField(f[9]);
  const qint32 privileges = IntField(f[10]);
  if (f[6].isEmpty()) throw RangeError("the class letter is empty");
  return DBInt->AddUser(f[0], f[1], f[2], f[3], f[4], code, f[6].left(1), f[7], classNumber,
                        privileges);
}

QString TDBTransaction::ValidateUser(const QString& record) {
  QStringList f;
  const int count = Parser->Parse(f, NarrowToCp1251(record));
  if (count == 1) return DBInt->GetUserById(f[0]);
  if (count != 4) return kFalse;
  return DBInt->ValidateUser(f[0], f[1], f[2], Encoded(f[3]));
}

QString TDBTransaction::GetUsersList() { return DBInt->GetUsersList(); }

QString TDBTransaction::GetUserResults(const QString& record) {
  QStringList f;
  if (Parser->Parse(f, NarrowToCp1251(record)) != 1) return kFalse;
  return DBInt->GetUserResults(f[0]);
}

QString TDBTransaction::AddTestResult(const QString& record) {
  QStringList f;
  if (Parser->Parse(f, NarrowToCp1251(record)) != 6) return kFalse;
  const qint32 chapter = IntField(f[0]);
  const qint32 section = IntField(f[1]);
  const qint32 test = IntField(f[2]);
  const qint32 score = IntField(f[3]);
  return DBInt->AddTestResult(chapter, section, test, score, f[4], f[5]);
}

QString TDBTransaction::DeleteUser(const QString& record) {
  QStringList f;
  if (Parser->Parse(f, NarrowToCp1251(record)) != 1) return kFalse;
  return DBInt->DeleteUser(IntField(f[0]));
}

QString TDBTransaction::SetPassword(const QString& record) {
  QStringList f;
  if (Parser->Parse(f, NarrowToCp1251(record)) != 2) return kFalse;
  const QString code = Encoded(f[1]);
  return DBInt->SetPassword(IntField(f[0]), code);
}

}  // namespace vedalia
