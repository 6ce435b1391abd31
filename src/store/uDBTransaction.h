#pragma once
// The facade the main movie's command handler uses: one object per command. Records are
// the movie's ";"-separated strings; replies are those of TDBInt (uDBInterface.h), passed on
// unchanged, or "false" for a record with the wrong number of fields.
//
// Records (fields from 0):
//   AddUser         11: name; father's name; surname; birth date; login; password (plain);
//                       class letter (first character used); sex; unused; class number;
//                       privileges (1 privileged, 0 ordinary)
//   ValidateUser     4: surname; name; class letter; password (plain)  -> account record
//                    1: user id                                         -> account record
//   GetUserResults   1: user id
//   AddTestResult    6: chapter; section; test number; score; user id; extra information
//   DeleteUser       1: user id
//   SetPassword      2: user id; new password (plain)
// Every ";" ends a field and an empty last field is dropped, so "a;b;" has 2 fields.
//
// Throws (the command then ends without a reply; nothing has been written):
//   EngineError     from the constructor, when the database cannot be opened
//   ConversionError a field that must be a decimal 32-bit integer is not
//   RangeError      AddUser's class letter is empty

#include <QString>
#include <memory>

#include "store/uDBInterface.h"
#include "store/uDBParser.h"

namespace vedalia {

class TDBTransaction {
 public:
  TDBTransaction();  // opens DatabaseFilePath()
  explicit TDBTransaction(const QString& databasePath);
  ~TDBTransaction();
  TDBTransaction(const TDBTransaction&) = delete;
  TDBTransaction& operator=(const TDBTransaction&) = delete;

  QString AddUser(const QString& record);
  QString ValidateUser(const QString& record);
  QString GetUsersList();
  QString GetUserResults(const QString& record);
  QString AddTestResult(const QString& record);
  QString DeleteUser(const QString& record);
  QString SetPassword(const QString& record);

 private:
  // Declared in this order: the parser is freed before the queries close the database.
  std::unique_ptr<TDBInt> DBInt;
  std::unique_ptr<TDBParser> Parser;
};

}  // namespace vedalia
