// Inputs that once broke the content loader's copies.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <csignal>

#include "media/uDecryptor.h"

namespace vedalia {
namespace {

// A small copy (inside one write buffer) onto a disk that fills after 1000 bytes used to be
// committed cut short, replacing a good older copy with the first 1000 bytes.
TEST(CopyRegression, SmallCopyThatCannotBeWrittenWholeReplacesNothing) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  QFile source(dir.path() + "/notes.txt");
  ASSERT_TRUE(source.open(QIODevice::WriteOnly));
  source.write(QByteArray(2000, 'n'));
  source.close();
  QFile older(dir.path() + "/copy.txt");
  ASSERT_TRUE(older.open(QIODevice::WriteOnly));
  older.write("older copy");
  older.close();

  // Writes past 1000 bytes of any file fail (EFBIG), as on a disk that is full.
  const auto handler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  rlimit limit = saved;
  limit.rlim_cur = 1000;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
  TDecryptor d;
  const bool saved1 = d.SaveContent(dir.path() + "/notes.txt", dir.path() + "/copy.txt", {}, "txt");
  const bool saved2 = d.SaveContent(dir.path() + "/notes.txt", dir.path() + "/new.txt", {}, "txt");
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, handler);

  EXPECT_FALSE(saved1);
  EXPECT_FALSE(saved2);
  ASSERT_TRUE(older.open(QIODevice::ReadOnly));
  EXPECT_EQ(older.readAll(), "older copy");
  EXPECT_FALSE(QFile::exists(dir.path() + "/new.txt"));
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
            (QStringList{"copy.txt", "notes.txt"}));
}

}  // namespace
}  // namespace vedalia
