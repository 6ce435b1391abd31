// Account and results operations through the facade, as the command handler calls them.

#include <gtest/gtest.h>

#include <QDate>
#include <QLocale>
#include <limits>
#include <optional>

#include "PgTestServer.h"
#include "StoreTestUtil.h"
#include "store/StoreErrors.h"
#include "store/uCrypto.h"
#include "store/uDBTransaction.h"

namespace vedalia {
namespace {

using testing::TempDatabase;

// The same operations on both engines: a fresh database file, or a fresh database with
// the two tables on the test run's server.
struct EmptyStore {
  std::optional<TempDatabase> file;
  QString location;
  explicit EmptyStore(const std::string& engine) {
    if (engine == "file") {
      file.emplace();
      location = file->path;
    } else {
      location = testing::PgTestServer::Shared().NewStore();
    }
  }
};

class Store : public ::testing::TestWithParam<std::string> {
 protected:
  EmptyStore db{GetParam()};
  std::optional<TDBTransaction> tx{std::in_place, db.location};

  // A fresh facade, as every movie command gets one.
  TDBTransaction& Reopen() {
    tx.reset();
    tx.emplace(db.location);
    return *tx;
  }
  QString Register(const QString& name, const QString& surname, const QString& letter,
                   const QString& password, int privileges = 0) {
    return tx->AddUser(name + ";Батькович;" + surname + ";1.1.2001;" + name + ";" + password + ";" +
                       letter + ";true;true;8;" + QString::number(privileges));
  }
};

TEST_P(Store, NewIdsFollowTheLastRowAndAFreedLastIdIsReused) {
  EXPECT_EQ(tx->GetUsersList(), QStringLiteral("nil"));
  EXPECT_EQ(Register("Аня", "Иванова", "А", "pw"), QStringLiteral("1"));
  EXPECT_EQ(Register("Боря", "Петров", "Б", "pw"), QStringLiteral("2"));
  EXPECT_EQ(Register("Вова", "Сидоров", "В", "pw"), QStringLiteral("3"));
  EXPECT_EQ(tx->DeleteUser(QStringLiteral("3")), QString());
  EXPECT_EQ(Reopen().DeleteUser(QStringLiteral("1")), QString());
  EXPECT_EQ(Register("Галя", "Орлова", "Г", "pw"), QStringLiteral("3"));
  // Listed in id order whatever the names.
  EXPECT_EQ(Reopen().GetUsersList(), QStringLiteral("Боря,Петров,Б,2;Галя,Орлова,Г,3"));
}

TEST_P(Store, RegistrationStoresTheEncodedPasswordAndTodaysDate) {
  ASSERT_EQ(Register("Аня", "Иванова", "Аб", "секрет"), QStringLiteral("1"));
  const QString code = EncodeStr(QStringLiteral("секрет"), QStringLiteral("QUILL_SEAL"));
  const QString today = QLocale::system().toString(QDate::currentDate(), QLocale::ShortFormat);
  EXPECT_EQ(Reopen().ValidateUser(QStringLiteral("1")),
            "1;Аня;Батькович;Иванова;1.1.2001;true;Аня;" + code + ";8;А;" + today + ";False;0;0");
  EXPECT_EQ(tx->ValidateUser(QStringLiteral("2")), QStringLiteral("nil"));
}

TEST_P(Store, DuplicatesAreJudgedByNameSurnameAndClassLetter) {
  ASSERT_EQ(Register("Аня", "Иванова", "А", "pw"), QStringLiteral("1"));
  EXPECT_EQ(Register("Аня", "Иванова", "А", "other"), QStringLiteral("isalready"));
  EXPECT_EQ(Register("Аня", "Иванова", "Б", "pw"), QStringLiteral("2"));
  EXPECT_EQ(Register("Аня", "Иванова", "Аx", "pw"), QStringLiteral("isalready"))
      << "the class letter is cut to one character before the check";
  EXPECT_EQ(Reopen().GetUsersList(), QStringLiteral("Аня,Иванова,А,1;Аня,Иванова,Б,2"));
}

TEST_P(Store, LogInNeedsTheClassLetterUnlessPrivileged) {
  ASSERT_EQ(Register("Аня", "Иванова", "А", "pw"), QStringLiteral("1"));
  ASSERT_EQ(Register("Мария", "Учитель", "А", "tpw", 1), QStringLiteral("2"));
  EXPECT_TRUE(tx->ValidateUser(QStringLiteral("Иванова;Аня;А;pw")).startsWith("1;Аня;"));
  EXPECT_EQ(tx->ValidateUser(QStringLiteral("Иванова;Аня;Б;pw")), QStringLiteral("nil"));
  EXPECT_EQ(tx->ValidateUser(QStringLiteral("Иванова;Аня;А;PW")), QStringLiteral("nil"));
  EXPECT_EQ(tx->ValidateUser(QStringLiteral("Иванова;Аня;Аx;pw")), QStringLiteral("nil"))
      << "log-in compares the whole class field";
  EXPECT_TRUE(tx->ValidateUser(QStringLiteral("Учитель;Мария;Я;tpw")).startsWith("2;Мария;"));
}

TEST_P(Store, RunningStatisticsRoundHalfToEven) {
  ASSERT_EQ(Register("Аня", "Иванова", "А", "pw"), QStringLiteral("1"));
  EXPECT_EQ(tx->GetUserResults(QStringLiteral("1")), QStringLiteral("nil"));
  EXPECT_EQ(tx->AddTestResult(QStringLiteral("1;2;3;3;1;первая")), QString());
  EXPECT_EQ(tx->GetUserResults(QStringLiteral("1")), QStringLiteral("1/2/3/3/3/3/1/первая"));
  EXPECT_EQ(Reopen().AddTestResult(QStringLiteral("1;2;3;2;1;вторая")), QString());
  EXPECT_EQ(tx->GetUserResults(QStringLiteral("1")), QStringLiteral("1/2/3/2/3/2/2/вторая"))
      << "2.5 is stored as 2";
  EXPECT_EQ(tx->AddTestResult(QStringLiteral("1;2;3;5;1;x")), QString());
  EXPECT_EQ(tx->GetUserResults(QStringLiteral("1")), QStringLiteral("1/2/3/5/5/3/3/x"));

  EXPECT_EQ(tx->AddTestResult(QStringLiteral("1;1;1;5;1;a")), QString());
  EXPECT_EQ(tx->AddTestResult(QStringLiteral("1;1;1;2;1;b")), QString());
  EXPECT_EQ(tx->AddTestResult(QStringLiteral("1;1;2;-3;1;c")), QString());
  EXPECT_EQ(tx->AddTestResult(QStringLiteral("1;1;2;-2;1;d")), QString());
  EXPECT_EQ(Reopen().GetUserResults(QStringLiteral("1")),
            QStringLiteral("1/1/1/2/5/4/2/b;1/1/2/-2/-2/-2/2/d;1/2/3/5/5/3/3/x"))
      << "3.5 goes to 4, -2.5 to -2";
}

TEST(RunningAverage, HalfToEvenForBothSigns) {
  EXPECT_EQ(RoundHalfToEven(5, 2), 2);
  EXPECT_EQ(RoundHalfToEven(7, 2), 4);
  EXPECT_EQ(RoundHalfToEven(-5, 2), -2);
  EXPECT_EQ(RoundHalfToEven(-7, 2), -4);
  EXPECT_EQ(RoundHalfToEven(10, 3), 3);
  EXPECT_EQ(RoundHalfToEven(11, 3), 4);
  EXPECT_EQ(RoundHalfToEven(-11, 3), -4);
}

TEST_P(Store, AnOverflowingScoreSumChangesNothing) {
  ASSERT_EQ(Register("Аня", "Иванова", "А", "pw"), QStringLiteral("1"));
  const QString big = QString::number(std::numeric_limits<qint32>::max());
  ASSERT_EQ(tx->AddTestResult("1;1;1;" + big + ";1;a"), QString());
  EXPECT_EQ(tx->AddTestResult("1;1;1;" + big + ";1;b"), QStringLiteral("false"));
  EXPECT_EQ(Reopen().GetUserResults(QStringLiteral("1")),
            "1/1/1/" + big + "/" + big + "/" + big + "/1/a");
  // Scores that are no 32-bit integers never reach the database.
  EXPECT_THROW(tx->AddTestResult(QStringLiteral("1;1;1;2147483648;1;c")), ConversionError);
  EXPECT_THROW(tx->AddTestResult(QStringLiteral("1;1;1;5.5;1;c")), ConversionError);
  EXPECT_THROW(tx->AddTestResult(QStringLiteral("1;x;1;5;1;c")), ConversionError);
}

TEST_P(Store, DeletingAUserTakesTheirResultsOnly) {
  ASSERT_EQ(Register("Аня", "Иванова", "А", "pw"), QStringLiteral("1"));
  ASSERT_EQ(Register("Боря", "Петров", "Б", "pw"), QStringLiteral("2"));
  ASSERT_EQ(tx->AddTestResult(QStringLiteral("1;1;1;5;1;a")), QString());
  ASSERT_EQ(tx->AddTestResult(QStringLiteral("1;1;1;4;2;b")), QString());
  EXPECT_EQ(tx->DeleteUser(QStringLiteral("1")), QString());
  EXPECT_EQ(tx->DeleteUser(QStringLiteral("99")), QString()) << "an unknown id changes nothing";
  Reopen();
  EXPECT_EQ(tx->GetUserResults(QStringLiteral("1")), QStringLiteral("nil"));
  EXPECT_EQ(tx->GetUserResults(QStringLiteral("2")), QStringLiteral("1/1/1/4/4/4/1/b"));
  EXPECT_EQ(tx->ValidateUser(QStringLiteral("1")), QStringLiteral("nil"));
}

TEST_P(Store, ChangingThePassword) {
  ASSERT_EQ(Register("Аня", "Иванова", "А", "old"), QStringLiteral("1"));
  EXPECT_EQ(tx->SetPassword(QStringLiteral("1;новый")), QString());
  EXPECT_EQ(tx->SetPassword(QStringLiteral("7;x")), QString()) << "an unknown id changes nothing";
  Reopen();
  EXPECT_EQ(tx->ValidateUser(QStringLiteral("Иванова;Аня;А;old")), QStringLiteral("nil"));
  EXPECT_TRUE(tx->ValidateUser(QStringLiteral("Иванова;Аня;А;новый")).startsWith("1;"));
  // An empty new password ("1;;" has two fields) is stored as the empty code.
  EXPECT_EQ(tx->SetPassword(QStringLiteral("1;;")), QString());
  EXPECT_TRUE(tx->ValidateUser(QStringLiteral("1")).contains(";Аня;;8;"))
      << tx->ValidateUser("1").toStdString();
}

TEST_P(Store, QuotesSemicolonsAndCyrillicAreValuesNotStatements) {
  ASSERT_EQ(Register("O'Brien", "д'Артаньян", "'", "p'w"), QStringLiteral("1"));
  EXPECT_TRUE(
      tx->ValidateUser(QStringLiteral("д'Артаньян;O'Brien;';p'w")).startsWith("1;O'Brien;"));
  EXPECT_EQ(tx->ValidateUser(QStringLiteral("x' OR '1'='1;y;А;z")), QStringLiteral("nil"));
  EXPECT_EQ(tx->AddTestResult(QStringLiteral("1;1;1;5;1;it's a/b, \"c\"")), QString());
  EXPECT_EQ(tx->AddTestResult(QStringLiteral("1;1;1;6;1;', R_Best_Res = 99 --")), QString());
  EXPECT_EQ(tx->GetUserResults(QStringLiteral("1")),
            QStringLiteral("1/1/1/6/6/6/2/', R_Best_Res = 99 --"));
  // Ids travel as text: anything but a decimal integer is refused, never run.
  EXPECT_EQ(tx->GetUserResults(QStringLiteral("1 OR 1=1")), QStringLiteral("false"));
  EXPECT_EQ(tx->ValidateUser(QStringLiteral("0 OR U_id>0")), QStringLiteral("false"));
  EXPECT_EQ(tx->AddTestResult(QStringLiteral("1;1;2;5;1 OR 1=1;x")), QStringLiteral("false"));
  EXPECT_EQ(tx->GetUserResults(QStringLiteral("abc")), QStringLiteral("false"));
  EXPECT_EQ(tx->AddTestResult(QStringLiteral("1;1;2;5;abc;x")), QStringLiteral("false"));
  // Characters outside the code page arrive as "?", as the movie will read them back.
  EXPECT_EQ(Register(QStringLiteral("Zoë中"), "Ли", "А", "pw"), QStringLiteral("2"));
  EXPECT_EQ(Reopen().GetUsersList(), QStringLiteral("O'Brien,д'Артаньян,',1;Zo??,Ли,А,2"));
}

TEST_P(Store, RecordsWithTheWrongFieldCountAreRefusedUntouched) {
  ASSERT_EQ(Register("Аня", "Иванова", "А", "pw"), QStringLiteral("1"));
  // Privileges empty: 10 fields.
  EXPECT_EQ(tx->AddUser(QStringLiteral("a;b;c;d;e;f;g;h;i;8;")), QStringLiteral("false"));
  // An empty field inside the record is fine.
  EXPECT_EQ(tx->AddUser(QStringLiteral("Боря;;Петров;;Боря;pw;Б;;;8;0")), QStringLiteral("2"));
  EXPECT_EQ(tx->ValidateUser(QStringLiteral("Иванова;Аня;А;")), QStringLiteral("false"));
  EXPECT_EQ(tx->ValidateUser(QStringLiteral("Иванова;Аня")), QStringLiteral("false"));
  EXPECT_EQ(tx->ValidateUser(QString()), QStringLiteral("false"));
  EXPECT_EQ(tx->AddTestResult(QStringLiteral("1;1;1;5;1;")), QStringLiteral("false"));
  EXPECT_EQ(tx->AddTestResult(QStringLiteral("1;1;1;5;1;a;b")), QStringLiteral("false"));
  EXPECT_EQ(tx->SetPassword(QStringLiteral("1;")), QStringLiteral("false"));
  EXPECT_EQ(tx->DeleteUser(QStringLiteral("1;2")), QStringLiteral("false"));
  EXPECT_EQ(tx->GetUserResults(QStringLiteral(";")), QStringLiteral("false"));
  EXPECT_EQ(Reopen().GetUsersList(), QStringLiteral("Аня,Иванова,А,1;Боря,Петров,Б,2"));
  EXPECT_TRUE(tx->ValidateUser(QStringLiteral("Иванова;Аня;А;pw")).startsWith("1;"));
}

TEST_P(Store, BadIntegerFieldsRaiseBeforeAnythingIsWritten) {
  EXPECT_THROW(tx->AddUser(QStringLiteral("a;b;c;d;e;f;А;h;i;восемь;0")), ConversionError);
  EXPECT_THROW(tx->AddUser(QStringLiteral("a;b;c;d;e;f;А;h;i;8; 1")), ConversionError);
  EXPECT_THROW(tx->AddUser(QStringLiteral("a;b;c;d;e;f;;h;i;8;0")), RangeError);
  EXPECT_THROW(tx->DeleteUser(QStringLiteral("x")), ConversionError);
  EXPECT_THROW(tx->SetPassword(QStringLiteral("x;pw")), ConversionError);
  EXPECT_EQ(Reopen().GetUsersList(), QStringLiteral("nil"));
}

INSTANTIATE_TEST_SUITE_P(Engines, Store, ::testing::Values("file", "postgresql"),
                         [](const auto& info) { return info.param; });

TEST(StoreFile, AFacadeCannotOpenAMissingOrHeldDatabase) {
  TempDatabase db;
  std::optional<TDBTransaction> tx{std::in_place, db.path};
  EXPECT_THROW(TDBTransaction(db.dir.filePath(QStringLiteral("none.adb"))), EngineError);
  EXPECT_THROW(TDBTransaction{db.path}, EngineError) << "the first facade holds it";
  tx.reset();
  EXPECT_NO_THROW(TDBTransaction{db.path});
}

TEST(StoreServer, AFacadeCannotOpenAnUnreachableOrEmptyServer) {
  testing::PgTestServer& server = testing::PgTestServer::Shared();
  EXPECT_THROW(TDBTransaction(server.Url(QStringLiteral("no_such_db"))), EngineError);
  // A database without the tables opens, and every operation answers "false".
  TDBTransaction tx(server.NewDatabase());
  EXPECT_EQ(tx.GetUsersList(), QStringLiteral("false"));
  EXPECT_EQ(tx.AddTestResult(QStringLiteral("1;1;1;5;1;a")), QStringLiteral("false"));
}

}  // namespace
}  // namespace vedalia
