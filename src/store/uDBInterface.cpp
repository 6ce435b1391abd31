#include "store/uDBInterface.h"

#include <QDate>
#include <QLocale>
#include <QRegularExpression>
#include <limits>

#include "platform/Log.h"
#include "store/StoreErrors.h"

namespace vedalia {
namespace {

const QString kFalse = QStringLiteral("false");
const QString kNil = QStringLiteral("nil");
const QString kAlready = QStringLiteral("isalready");

// Ids travel as text; only a plain decimal integer names an account.
bool IsDecimalInteger(const QString& text) {
  static const QRegularExpression pattern(QStringLiteral("^[+-]?[0-9]+$"));
  return pattern.match(text).hasMatch();
}

const char* const kAccountFields[] = {
    "U_id",           "U_name",          "U_Father_Name",     "U_SurName",
    "U_Birth_date",   "U_sex",           "U_login",           "U_password",
    "U_class_numb",   "U_class_literal", "U_last_enter_date", "U_is_passwd_remem",
    "U_last_test_id", "U_Privileges"};

QString AccountRecord(const SqlRowSet& rows) {
  QStringList fields;
  for (const char* name : kAccountFields) fields << rows.FieldText(QLatin1String(name));
  return fields.join(';');
}

bool PassesClassRule(const SqlRowSet& rows, const QString& classLetter) {
  return rows.FieldText(QStringLiteral("U_Privileges")) == QLatin1String("1") ||
         rows.FieldText(QStringLiteral("U_class_literal")) == classLetter;
}

// Runs one SELECT and makes the reply from its rows: "nil" when there are none, "false"
// when the engine fails.
template <typename Read>
QString SelectReply(SqlQuery& query, const QString& statement, const SqlBindings& values,
                    Read read) {
  try {
    query.Clear();
    query.AddLine(statement);
    for (const auto& [name, value] : values) query.Bind(name, value);
    query.Open();
    const QString reply = query.IsEmpty() ? kNil : read(query);
    query.Close();
    return reply;
  } catch (...) {
    LogFailure(lcStore(), "reading");
    query.Close();
    return kFalse;
  }
}

// After a failed change: nothing of it may stay, and a second failure here changes nothing
// about the reply.
void AbandonChange(TDM& dm) {
  try {
    dm.Table.Close();
    dm.Query.Close();
    dm.Database.Rollback();
  } catch (...) {
    LogFailure(lcStore(), "rolling back a failed change");
  }
}

// A new row goes in through the table, inside the caller's transaction: StartInsert opens
// the table, FinishInsert stores the row and commits.
SqlTable& StartInsert(TDM& dm, const QString& table) {
  dm.Table.SetTableName(table);
  dm.Table.Open();
  return dm.Table;
}

void FinishInsert(TDM& dm) {
  dm.Table.Post();
  dm.Table.Close();
  dm.Database.Commit();
}

// A decimal id that fits the 64-bit values the engines store.
bool ToId(const QString& text, qint64& id) {
  bool ok = false;
  id = text.toLongLong(&ok, 10);
  return ok && IsDecimalInteger(text);
}

// Runs a write that must stay whole against other connections. On a server a concurrent
// transaction may win a race (two first attempts of the same test inserting the same row);
// the loser's work is rolled back and the whole operation runs again, now seeing the
// winner's row. Any other failure, or a race lost too often, is the reply "false".
template <typename Body>
QString WholeWrite(TDM& dm, const char* operation, Body body) {
  constexpr int kAttempts = 8;
  for (int attempt = 1;; ++attempt) {
    try {
      return body();
    } catch (const EngineError& e) {
      const bool retry = e.kind() == EngineError::Kind::Conflict && attempt < kAttempts;
      if (!retry) LogFailure(lcStore(), operation);
      AbandonChange(dm);
      if (!retry) return kFalse;
    } catch (...) {
      LogFailure(lcStore(), operation);
      AbandonChange(dm);
      return kFalse;
    }
  }
}

qint32 ToInt32(const QString& text) {
  bool ok = false;
  const int value = text.toInt(&ok, 10);
  if (!ok || !IsDecimalInteger(text))
    throw ConversionError("not an integer: " + text.toStdString());
  return value;
}

}  // namespace

qint64 RoundHalfToEven(qint64 sum, qint64 count) {
  qint64 quotient = sum / count;
  qint64 remainder = sum % count;
  if (remainder < 0) {  // floor division
    --quotient;
    remainder += count;
  }
  const qint64 twice = 2 * remainder;
  if (twice > count || (twice == count && (quotient & 1) != 0)) ++quotient;
  return quotient;
}

TDBInt::TDBInt() : DM(std::make_unique<TDM>()) {}

TDBInt::TDBInt(const QString& databasePath) : DM(std::make_unique<TDM>(databasePath)) {}

TDBInt::~TDBInt() = default;

QString TDBInt::AddUser(const QString& Name, const QString& FatherName, const QString& SurName,
                        const QString& BirthDate, const QString& Login, const QString& PasswordCode,
                        const QString& ClassLetter, const QString& Sex, qint32 ClassNumber,
                        qint32 Privileges) {
  SqlQuery& query = DM->Query;
  return WholeWrite(*DM, "adding an account", [&] {
    QString reply;
    // The duplicate check and the new id belong to one transaction that holds the table
    // against other writers, so that two registrations at once cannot both pass the check
    // or take the same id.
    DM->Database.StartTransaction();
    DM->Database.LockTable(QStringLiteral("users"));
    query.Clear();
    query.AddLine(
        QStringLiteral("SELECT * FROM `users` WHERE U_name = :Name AND U_SurName = "
                       ":SurName AND U_class_literal = :ClassLetter"));
    query.BindText(QStringLiteral("Name"), Name);
    query.BindText(QStringLiteral("SurName"), SurName);
    query.BindText(QStringLiteral("ClassLetter"), ClassLetter);
    query.Open();
    // Every row is visited; a privileged namesake blocks whatever its class letter.
    for (query.First(); !query.Eof(); query.Next()) {
      if (PassesClassRule(query, ClassLetter)) reply = kAlready;
    }
    if (reply != kAlready) {
      SqlTable& table = StartInsert(*DM, QStringLiteral("users"));
      table.Last();
      const qint32 lastId = table.IsEmpty() ? 0 : table.FieldInt(QStringLiteral("U_id"));
      if (lastId == std::numeric_limits<qint32>::max())
        throw EngineError(EngineError::Kind::Sql, "no id left");
      table.Insert();
      table.SetInt(QStringLiteral("U_id"), lastId + 1);
      table.SetText(QStringLiteral("U_name"), Name);
      table.SetText(QStringLiteral("U_Father_Name"), FatherName);
      table.SetText(QStringLiteral("U_SurName"), SurName);
      table.SetText(QStringLiteral("U_Birth_date"), BirthDate);
      table.SetText(QStringLiteral("U_sex"), Sex);
      table.SetText(QStringLiteral("U_login"), Login);
      table.SetText(QStringLiteral("U_password"), PasswordCode);
      table.SetInt(QStringLiteral("U_class_numb"), ClassNumber);
      table.SetText(QStringLiteral("U_class_literal"), ClassLetter);
      table.SetText(QStringLiteral("U_last_enter_date"),
                    QLocale::system().toString(QDate::currentDate(), QLocale::ShortFormat));
      table.SetBool(QStringLiteral("U_is_passwd_remem"), false);
      table.SetInt(QStringLiteral("U_last_test_id"), 0);
      table.SetInt(QStringLiteral("U_Privileges"), Privileges);
      FinishInsert(*DM);
      reply = QString::number(lastId + 1);
    } else {
      DM->Database.Rollback();
    }
    query.Close();
    return reply;
  });
}

QString TDBInt::ValidateUser(const QString& SurName, const QString& Name,
                             const QString& ClassLetter, const QString& PasswordCode) {
  return SelectReply(DM->Query,
                     QStringLiteral("SELECT * FROM `users` WHERE U_SurName = :SurName AND "
                                    "U_name = :Name AND U_password = :PasswordCode"),
                     {{QStringLiteral("SurName"), SqlValue::Str(SurName)},
                      {QStringLiteral("Name"), SqlValue::Str(Name)},
                      {QStringLiteral("PasswordCode"), SqlValue::Str(PasswordCode)}},
                     [&](SqlQuery& query) {
                       QString reply = kNil;
                       for (query.First(); !query.Eof(); query.Next()) {
                         if (PassesClassRule(query, ClassLetter)) reply = AccountRecord(query);
                       }
                       return reply;
                     });
}

QString TDBInt::GetUserById(const QString& UserId) {
  qint64 id = 0;
  if (!ToId(UserId, id)) return kFalse;
  return SelectReply(DM->Query, QStringLiteral("SELECT * FROM `users` WHERE U_id = :UserId"),
                     {{QStringLiteral("UserId"), SqlValue::Int(id)}}, [](SqlQuery& query) {
                       query.Last();
                       return AccountRecord(query);
                     });
}

QString TDBInt::GetUsersList() {
  return SelectReply(DM->Query,
                     QStringLiteral("SELECT U_name, U_SurName, U_class_literal, U_id FROM `users`"),
                     {}, [](SqlQuery& query) {
                       QStringList entries;
                       for (query.First(); !query.Eof(); query.Next()) {
                         entries << query.FieldText(0) + ',' + query.FieldText(1) + ',' +
                                        query.FieldText(2) + ',' + query.FieldText(3);
                       }
                       return entries.join(';');
                     });
}

QString TDBInt::GetUserResults(const QString& UserId) {
  qint64 id = 0;
  if (!ToId(UserId, id)) return kFalse;
  return SelectReply(DM->Query, QStringLiteral("SELECT * FROM `results` WHERE U_id = :UserId"),
                     {{QStringLiteral("UserId"), SqlValue::Int(id)}}, [](SqlQuery& query) {
                       static const char* const fields[] = {
                           "R_Glava",    "R_Razv",    "R_Test_Num", "R_Last_Res",
                           "R_Best_Res", "R_Avg_Res", "R_Num_Pop",  "R_Dop_Inf"};
                       QStringList entries;
                       for (query.First(); !query.Eof(); query.Next()) {
                         QStringList values;
                         for (const char* name : fields)
                           values << query.FieldText(QLatin1String(name));
                         entries << values.join('/');
                       }
                       return entries.join(';');
                     });
}

QString TDBInt::AddTestResult(qint32 Chapter, qint32 Section, qint32 TestNumber, qint32 Score,
                              const QString& UserId, const QString& ExtraInfo) {
  SqlQuery& query = DM->Query;
  qint64 id = 0;
  if (!ToId(UserId, id)) return kFalse;
  return WholeWrite(*DM, "storing a test result", [&] {
    const QString where = QStringLiteral(
        "WHERE U_id =:UserId AND R_Glava = :Chapter AND R_Razv = :Section AND R_Test_Num = "
        ":TestNumber");
    const auto bindTest = [&] {
      query.BindInt(QStringLiteral("UserId"), id);
      query.BindInt(QStringLiteral("Chapter"), Chapter);
      query.BindInt(QStringLiteral("Section"), Section);
      query.BindInt(QStringLiteral("TestNumber"), TestNumber);
    };
    // The row is read and rewritten in one transaction with the row locked, so that shells
    // recording the same test at once never lose an attempt.
    DM->Database.StartTransaction();
    query.Clear();
    query.AddLine("SELECT * FROM `results` " + where);
    bindTest();
    query.OpenForUpdate();
    if (!query.IsEmpty()) {
      query.First();
      qint32 best = query.FieldInt(QStringLiteral("R_Best_Res"));
      const qint32 n = query.FieldInt(QStringLiteral("R_Num_Pop"));
      const qint32 avg = query.FieldInt(QStringLiteral("R_Avg_Res"));
      qint32 product = 0;
      qint32 sum = 0;
      qint32 count = 0;
      if (__builtin_mul_overflow(avg, n, &product) ||
          __builtin_add_overflow(product, Score, &sum) || __builtin_add_overflow(n, 1, &count)) {
        throw EngineError(EngineError::Kind::Sql, "score sum overflows");
      }
      // A stored attempt count below zero would divide by zero or flip the sign.
      if (count <= 0) throw EngineError(EngineError::Kind::Sql, "bad attempt count");
      const qint64 average = RoundHalfToEven(sum, count);
      if (best < Score) best = Score;
      query.Clear();
      query.AddLine(
          "UPDATE `results` SET R_Num_Pop = :Count, R_Best_Res = :Best, R_Last_Res = "
          ":Score, R_Dop_Inf = :ExtraInfo, R_Avg_Res = :Average " +
          where);
      bindTest();
      query.BindInt(QStringLiteral("Count"), count);
      query.BindInt(QStringLiteral("Best"), best);
      query.BindInt(QStringLiteral("Score"), Score);
      query.BindText(QStringLiteral("ExtraInfo"), ExtraInfo);
      query.BindInt(QStringLiteral("Average"), average);
      query.ExecSQL();
      DM->Database.Commit();
    } else {
      SqlTable& table = StartInsert(*DM, QStringLiteral("results"));
      table.Insert();
      table.SetInt(QStringLiteral("U_id"), ToInt32(UserId));
      table.SetInt(QStringLiteral("R_Glava"), Chapter);
      table.SetInt(QStringLiteral("R_Razv"), Section);
      table.SetInt(QStringLiteral("R_Test_Num"), TestNumber);
      table.SetInt(QStringLiteral("R_Last_Res"), Score);
      table.SetInt(QStringLiteral("R_Best_Res"), Score);
      table.SetInt(QStringLiteral("R_Avg_Res"), Score);
      table.SetInt(QStringLiteral("R_Num_Pop"), 1);
      table.SetText(QStringLiteral("R_Dop_Inf"), ExtraInfo);
      FinishInsert(*DM);
    }
    query.Close();
    return QString();
  });
}

QString TDBInt::DeleteUser(qint32 UserId) {
  SqlQuery& query = DM->Query;
  try {
    DM->Database.StartTransaction();
    query.Clear();
    query.AddLine(QStringLiteral("DELETE FROM `results` WHERE U_id = :UserId"));
    query.BindInt(QStringLiteral("UserId"), UserId);
    query.ExecSQL();
    query.Clear();
    query.AddLine(QStringLiteral("DELETE FROM `users` WHERE U_id = :UserId"));
    query.BindInt(QStringLiteral("UserId"), UserId);
    query.ExecSQL();
    DM->Database.Commit();
    return QString();
  } catch (...) {
    LogFailure(lcStore(), "deleting an account");
    AbandonChange(*DM);
    return kFalse;
  }
}

QString TDBInt::SetPassword(qint32 UserId, const QString& PasswordCode) {
  SqlQuery& query = DM->Query;
  try {
    DM->Database.StartTransaction();
    query.Clear();
    query.AddLine(
        QStringLiteral("UPDATE `users` SET U_password=:PasswordCode WHERE U_id = :UserId;"));
    query.BindText(QStringLiteral("PasswordCode"), PasswordCode);
    query.BindInt(QStringLiteral("UserId"), UserId);
    query.ExecSQL();
    DM->Database.Commit();
    return QString();
  } catch (...) {
    LogFailure(lcStore(), "setting a password");
    AbandonChange(*DM);
    return kFalse;
  }
}

}  // namespace vedalia
