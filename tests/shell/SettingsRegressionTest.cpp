// Settings files that once broke the reader.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "shell/uSettingsFile.h"

namespace vedalia {
namespace {

// A key present twice in its section (an edited file): deleting it, as leaving without
// remembering the log-in does, left the second copy readable, password code included.
TEST(SettingsRegression, DeletingAKeyRemovesEveryCopyOfIt) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString path = dir.path() + "/settings.ini";
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(
      "; comment\n[usersettings]\n lastname = 0A\n lastname = 0B\nLastPassword=1C\n[Other]\nk=v\n");
  f.close();
  TIniFile ini(path);
  EXPECT_TRUE(ini.DeleteKey("UserSettings", "LastName"));
  EXPECT_FALSE(ini.ValueExists("UserSettings", "LastName"));
  const TIniFile reread(path);
  EXPECT_FALSE(reread.ValueExists("UserSettings", "LastName"));
  EXPECT_EQ(reread.ReadString("UserSettings", "LastPassword"), "1C");
  EXPECT_EQ(reread.ReadString("Other", "k"), "v");
}

}  // namespace
}  // namespace vedalia
