// One flipped bit anywhere in the file: in each field of the header and in every page (its
// start, its data, its authentication tag). Each must make the start-up check answer false,
// and no command may read other data than the file held: a reply is the true one or "false".

#include <gtest/gtest.h>

#include "StoreTestUtil.h"
#include "store/StoreErrors.h"
#include "store/uChecker.h"

namespace vedalia {
namespace {

TEST(Tamper, EveryFlippedBitIsRefusedAndNeverReadAsOtherData) {
  testing::TempDatabase db;
  db.WriteBytes(testing::SchoolDatabase(60, 3000));
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
  ASSERT_TRUE(truth[1].count('/') > 7 && truth[2].startsWith("1;") && truth[3].count(',') > 100);

  std::vector<qsizetype> offsets;
  for (qsizetype at = 0; at < 64; ++at) offsets.push_back(at);  // every header field
  offsets.insert(offsets.end(), {64, 1000, 4095});              // its padding
  for (qsizetype page = 0; page < pages; ++page) {
    for (qsizetype within : {0, 15, 16, 100, 2048, 4096 - 40, 4095})
      offsets.push_back(4096 * (page + 1) + within);
  }
  const QStringList tables{QStringLiteral("users"), QStringLiteral("results")};
  for (const qsizetype at : offsets) {
    SCOPED_TRACE("byte " + std::to_string(at));
    QByteArray bad = good;
    // Bit 5 of the signature is its letter case, which the check ignores by design.
    const char bit = char(1 << (at % 8 == 5 && at < 4 ? 6 : at % 8));
    bad[at] = char(bad[at] ^ bit);
    db.WriteBytes(bad);
    EXPECT_FALSE(TChecker().CheckDatabase(db.path, tables));
    try {
      TDBTransaction tx(db.path);
      const QStringList got = replies(tx);
      for (int i = 0; i < got.size(); ++i) {
        EXPECT_TRUE(got[i] == truth[i] || got[i] == QLatin1String("false")) << got[i].toStdString();
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
