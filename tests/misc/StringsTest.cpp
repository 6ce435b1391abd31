#include <gtest/gtest.h>

#include "misc/uMisc.h"

namespace vedalia {
namespace {

QStringList Split(const QString& text, QChar sep) {
  QStringList list;
  SplitString(list, text, sep);
  return list;
}

TEST(SplitString, PiecesEmptyEntriesAndTrailingSeparator) {
  EXPECT_EQ(Split("one;two", ';'), QStringList({"one", "two"}));
  EXPECT_EQ(Split("one;", ';'), QStringList({"one"}));
  EXPECT_EQ(Split(";", ';'), QStringList({""}));
  EXPECT_EQ(Split(";two", ';'), QStringList({"", "two"}));
  EXPECT_EQ(Split("a;;b", ';'), QStringList({"a", "", "b"}));
  EXPECT_EQ(Split("a;;", ';'), QStringList({"a", ""}));
  EXPECT_TRUE(Split("", ';').isEmpty());
  EXPECT_EQ(Split("no separator", ';'), QStringList({"no separator"}));
}

TEST(SplitString, AppendsToExistingListAndCountsAll) {
  QStringList list{"kept"};
  EXPECT_EQ(SplitString(list, "x|y", '|'), 3);
  EXPECT_EQ(list, QStringList({"kept", "x", "y"}));
  EXPECT_EQ(SplitString(list, "", '|'), 3);
}

TEST(SplitString, OtherSeparatorsAndCyrillic) {
  EXPECT_EQ(Split("8А\\Иванов Иван", '\\'), QStringList({"8А", "Иванов Иван"}));
  EXPECT_EQ(Split("Фотография_Берёза_1", '_'), QStringList({"Фотография", "Берёза", "1"}));
  EXPECT_EQ(Split("Иванов Иван", ' '), QStringList({"Иванов", "Иван"}));
}

TEST(RemoveChars, DeletesEveryOccurrenceKeepingOrder) {
  EXPECT_EQ(RemoveChars("\"Иванов\"|\"Иван\"", "\""), "Иванов|Иван");
  EXPECT_EQ(RemoveChars("a-b_c-d", "-_"), "abcd");
  EXPECT_EQ(RemoveChars("abc", ""), "abc");
  EXPECT_EQ(RemoveChars("\"\"", "\""), "");
}

TEST(IsPlainName, RefusesNamesThatLeadElsewhere) {
  EXPECT_TRUE(IsPlainName("Иванов Иван"));
  EXPECT_TRUE(IsPlainName("..hidden"));
  EXPECT_TRUE(IsPlainName("a.b"));
  EXPECT_FALSE(IsPlainName(""));
  EXPECT_FALSE(IsPlainName("."));
  EXPECT_FALSE(IsPlainName(".."));
  EXPECT_FALSE(IsPlainName("a/b"));
  EXPECT_FALSE(IsPlainName("a\\b"));
  EXPECT_FALSE(IsPlainName(QString("a") + QChar(0) + "b"));
}

TEST(Roots, SettersAddTheTrailingSlash) {
  SetBaseDir("/tmp/base");
  SetContentDir("/media/disc/");
  EXPECT_EQ(BaseDir(), "/tmp/base/");
  EXPECT_EQ(ContentDir(), "/media/disc/");
  EXPECT_EQ(PersonalFoldersRoot(), "/tmp/base/folders/");
  SetBaseDir("");
  SetContentDir("");
  EXPECT_TRUE(PersonalFoldersRoot().isEmpty());
}

}  // namespace
}  // namespace vedalia
