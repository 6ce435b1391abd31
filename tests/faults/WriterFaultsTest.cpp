// The course tool's writers and desktop launchers on a disk that fills mid-write: the call
// fails and the file that was there before stays whole (or none appears).
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "FaultFiles.h"
#include "FileSizeLimit.h"
#include "desktop/uDesktop.h"
#include "flashhost/SwfWriter.h"
#include "misc/uMisc.h"
#include "model3d/ModelFiles.h"

namespace vedalia::test {
namespace {

class WriterFaults : public ::testing::Test {
 protected:
  QTemporaryDir dir;
  QString Path(const char* name) const { return dir.path() + '/' + name; }
};

TEST_F(WriterFaults, MovieWriterKeepsTheOldMovie) {
  SwfMovieSpec small;
  ASSERT_TRUE(WriteSwfMovieFile(Path("m.swf"), small));
  const QByteArray before = ReadAll(Path("m.swf"));
  ASSERT_FALSE(before.isEmpty());

  SwfMovieSpec big;
  big.extraTags = SwfTag(77, QByteArray(3000, 'x'));  // a metadata tag of some size
  {
    // Smaller than a write buffer: a buffered write would only fail inside the commit.
    FileSizeLimit limit(1000);
    EXPECT_FALSE(WriteSwfMovieFile(Path("m.swf"), big));
    EXPECT_FALSE(WriteSwfMovieFile(Path("new.swf"), big));
  }
  EXPECT_EQ(ReadAll(Path("m.swf")), before);
  EXPECT_EQ(Entries(dir.path()), QStringList{"m.swf"});
  EXPECT_TRUE(WriteSwfMovieFile(Path("new.swf"), big));
}

TEST_F(WriterFaults, ModelWriterReportsAndKeepsTheOldModel) {
  TGLMultyMesh set;
  MakeBox(set, true);
  ASSERT_TRUE(WriteGmsFile(set, Path("m.gms")));
  const QByteArray before = ReadAll(Path("m.gms"));

  auto& mesh = *set.Meshes.front();
  for (int i = 0; i < 500; ++i) mesh.Vertices.push_back({float(i), float(i) / 2, 0.25f});
  mesh.NumVerts = std::int32_t(mesh.Vertices.size());
  QString error;
  {
    FileSizeLimit limit(before.size() + 100);
    EXPECT_FALSE(WriteGmsFile(set, Path("m.gms"), &error));
  }
  EXPECT_FALSE(error.isEmpty());
  EXPECT_EQ(ReadAll(Path("m.gms")), before);
  EXPECT_EQ(Entries(dir.path()), QStringList{"m.gms"});
}

TEST_F(WriterFaults, LauncherIsNotLeftShort) {
  const QString target = Path("Петров Пётр");
  ASSERT_TRUE(QDir().mkpath(target));
  const QString folder = Path("menu");
  const QString link = CreateShortcut(target, kShortcutInSubFolder, folder, {}, {}, "short");
  ASSERT_FALSE(link.isEmpty());
  const QByteArray before = ReadAll(link);

  {
    FileSizeLimit limit(before.size() + 50);
    EXPECT_TRUE(
        CreateShortcut(target, kShortcutInSubFolder, folder, {}, {}, QString(2000, 'd')).isEmpty());
  }
  EXPECT_EQ(ReadAll(link), before);
  EXPECT_EQ(Entries(folder).size(), 1);
}

}  // namespace
}  // namespace vedalia::test
