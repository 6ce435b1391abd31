// One flipped bit anywhere in the file: in each field of the header and in every page (its
// start, its data, its authentication tag, its unused tail), or a page of zeros. Each must
// make the start-up check answer false, and no command may read other data than the file
// held: a reply is the true one or "false".

#include <gtest/gtest.h>

#include "StoreTestUtil.h"
#include "store/StoreErrors.h"
#include "store/uChecker.h"

namespace vedalia {
namespace {

TEST(Tamper, EveryFlippedBitIsRefusedAndNeverReadAsOtherData) {
  testing::TempDatabase db;
  db.WriteBytes(testing::SchoolDatabase(60, 3000));
  {
    // A note long enough to need overflow pages, whose data the codec alone vouches for.
    TDBTransaction tx(db.path);
    ASSERT_EQ(tx.AddTestResult("1;1;1;50;1;" + QString(9000, 'n')), QString());
  }
  const QByteArray good = db.Bytes();
  const qsizetype pages = good.size() / 4096 - 1;
  ASSERT_GT(pages, 10);
  const auto replies = [&](TDBTransaction& tx) {
    return QStringList{tx.GetUserResults(QStringLiteral("1")),
                       tx.GetUserResults(QStringLiteral("40")),
                       tx.ValidateUser(QStringLiteral("Иванова;Аня;А;pw")), tx.GetUsersList()};
  };
  const QStringList truth = [&] {
    TDBTransaction tx(db.path);
    return replies(tx);
  }();
  ASSERT_TRUE(truth[0].contains(QString(9000, 'n')) && truth[1].count('/') > 7 &&
              truth[2].startsWith("1;") && truth[3].count(',') > 100);

  // Damage: a flipped bit at a byte, or (negative) a page of zeros, as a file system may
  // hand back after a crash.
  std::vector<qsizetype> damages;
  for (qsizetype at = 0; at < 64; ++at) damages.push_back(at);  // every header field
  damages.insert(damages.end(), {64, 1000, 4095});              // its padding
  for (qsizetype page = 1; page <= pages; ++page) {
    for (qsizetype within : {0, 15, 16, 100, 2048, 4096 - 40, 4095})
      damages.push_back(4096 * page + within);
    damages.push_back(-page);
  }
  const QStringList tables{QStringLiteral("users"), QStringLiteral("results")};
  for (const qsizetype at : damages) {
    SCOPED_TRACE(at < 0 ? "page " + std::to_string(-at) + " zeroed" : "byte " + std::to_string(at));
    QByteArray bad = good;
    if (at < 0) {
      bad.replace(4096 * -at, 4096, QByteArray(4096, 0));
    } else {
      // Bit 5 of the signature is its letter case, which the check ignores by design.
      bad[at] = char(bad[at] ^ char(1 << (at % 8 == 5 && at < 4 ? 6 : at % 8)));
    }
    db.WriteBytes(bad);
    EXPECT_FALSE(TChecker().CheckDatabase(db.path, tables));
    try {
      TDBTransaction tx(db.path);
      const QStringList got = replies(tx);
      for (int i = 0; i < got.size(); ++i) {
        EXPECT_TRUE(got[i] == truth[i] || got[i] == QLatin1String("false"))
            << got[i].left(200).toStdString();
      }
    } catch (const EngineError& e) {
      EXPECT_TRUE(e.kind() == EngineError::Kind::Damaged ||
                  e.kind() == EngineError::Kind::BadSignature)
          << e.what();
    }
  }
  // Two whole pages swapped: each is authentic, but not in that place.
  QByteArray swapped = good;
  swapped.replace(4096 * 3, 4096, good.mid(4096 * 5, 4096));
  swapped.replace(4096 * 5, 4096, good.mid(4096 * 3, 4096));
  db.WriteBytes(swapped);
  EXPECT_FALSE(TChecker().CheckDatabase(db.path, tables));
  db.WriteBytes(good);
  EXPECT_TRUE(TChecker().CheckDatabase(db.path, tables));
}

}  // namespace
}  // namespace vedalia
