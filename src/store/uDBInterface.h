#pragma once
// The account and results queries. Every operation answers one reply text and never throws
// for a database failure: that becomes "false", with any write rolled back.
//
// Replies: "false" (failed, nothing changed), "nil" (a read found nothing), "isalready"
// (AddUser: registered already), "" (a write succeeded), the new id (AddUser), or a record
// or list:
//   account record  the 14 users columns joined by ";" (U_id ... U_Privileges)
//   users list      entries "name,surname,class letter,id" joined by ";"
//   results list    entries "chapter/section/test/last/best/average/attempts/extra" joined by ";"

#include <QString>
#include <memory>

#include "store/uTables.h"

namespace vedalia {

class TDBInt {
 public:
  TDBInt();  // connects DatabaseFilePath(); throws EngineError
  explicit TDBInt(const QString& databasePath);
  ~TDBInt();
  TDBInt(const TDBInt&) = delete;
  TDBInt& operator=(const TDBInt&) = delete;

  // ClassLetter is one character; PasswordCode the encoded password.
  QString AddUser(const QString& Name, const QString& FatherName, const QString& SurName,
                  const QString& BirthDate, const QString& Login, const QString& PasswordCode,
                  const QString& ClassLetter, const QString& Sex, qint32 ClassNumber,
                  qint32 Privileges);
  QString ValidateUser(const QString& SurName, const QString& Name, const QString& ClassLetter,
                       const QString& PasswordCode);
  // The user id travels as text; one that is no decimal integer gives "false".
  QString GetUserById(const QString& UserId);
  QString GetUsersList();
  QString GetUserResults(const QString& UserId);
  QString AddTestResult(qint32 Chapter, qint32 Section, qint32 TestNumber, qint32 Score,
                        const QString& UserId, const QString& ExtraInfo);
  QString DeleteUser(qint32 UserId);
  QString SetPassword(qint32 UserId, const QString& PasswordCode);

  TDM& DataModule() { return *DM; }

 private:
  std::unique_ptr<TDM> DM;
};

// The running average: sum / count rounded to the nearest integer, an exact half to the
// even one. count > 0.
qint64 RoundHalfToEven(qint64 sum, qint64 count);

}  // namespace vedalia
