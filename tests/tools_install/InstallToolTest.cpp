#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>

#include "faults/FileSizeLimit.h"
#include "faults/Mounts.h"
#include "flashhost/SwfWriter.h"

namespace vedalia {
namespace {

struct ToolRun {
  int code = -1;
  QString out, err;
};

class InstallTool : public ::testing::Test {
 protected:
  void SetUp() override {
    env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_DATA_HOME", Path("home/share"));
    env.insert("XDG_DESKTOP_DIR", Path("home/Desktop"));
    env.insert("VEDALIA_SYSTEM_APPLICATIONS_DIR", Path("system/applications"));
    env.insert("VEDALIA_MACHINE_SETTINGS", Path("system/lorevia_8_zelta.conf"));
    MakeCourse("disc", 3);
  }
  ToolRun Tool(const QStringList& args, bool interrupt = false) {
    QProcess p;
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(dir.path());
    p.start(QStringLiteral(VEDALIA_COURSE_TOOL), args);
    if (interrupt) {
      p.waitForStarted();
      ::kill(pid_t(p.processId()), SIGINT);
    }
    EXPECT_TRUE(p.waitForFinished(60000));
    const int code = p.exitStatus() == QProcess::CrashExit ? -1 : p.exitCode();
    return {code, QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
  }
  QString Path(const QString& rel) const { return dir.filePath(rel); }
  void Write(const QString& rel, const QByteArray& bytes) const {
    QDir().mkpath(QFileInfo(Path(rel)).absolutePath());
    QFile f(Path(rel));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
  }
  // A course folder: start.swf, data/ with `bigFiles` MiB-sized items, a delivered database.
  void MakeCourse(const QString& name, int bigFiles) const {
    Write(name + "/start.swf", WriteSwfMovie(SwfMovieSpec{}));
    Write(name + "/data/photo/a.jpg", QByteArray(1000, 'j'));
    for (int i = 0; i < bigFiles; ++i)
      Write(name + QStringLiteral("/data/video/v%1.avi").arg(i),
            QByteArray(1 << 20, char('a' + i)));
    Write(name + "/database/lorevia_db.adb", "ACS2" + QByteArray(5000, 'd'));
  }
  // Every file below `root` with its bytes, the install record left out.
  QMap<QString, QByteArray> Tree(const QString& root) const {
    QMap<QString, QByteArray> tree;
    QDirIterator it(Path(root), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
      QFile f(it.next());
      f.open(QIODevice::ReadOnly);
      const QString rel = QDir(Path(root)).relativeFilePath(f.fileName());
      if (rel != ".vedalia-course.ini") tree[rel] = f.readAll();
    }
    return tree;
  }
  QTemporaryDir dir;
  QProcessEnvironment env;
};

TEST_F(InstallTool, FullInstallCopiesTheCourseAndWritesLaunchers) {
  const ToolRun run =
      Tool({"install", "disc", "school/Geo", "--launcher", "both", "--title", "География 8"});
  ASSERT_EQ(run.code, 0) << run.err.toStdString();
  EXPECT_EQ(Tree("school/Geo"), Tree("disc"));
  EXPECT_TRUE(QFileInfo(Path("school/Geo/folders")).isDir());
  EXPECT_FALSE(QFileInfo::exists(Path("school/.Geo.vedalia-staging")));
  const QStringList menu = QDir(Path("home/share/applications")).entryList({"*.desktop"});
  const QStringList desk = QDir(Path("home/Desktop")).entryList({"*.desktop"});
  ASSERT_EQ(menu.size(), 1);
  ASSERT_EQ(desk, menu);
  QSettings entry(Path("home/share/applications/" + menu[0]), QSettings::IniFormat);
  EXPECT_EQ(entry.value("Desktop Entry/Path").toString(), Path("school/Geo"));
  EXPECT_EQ(entry.value("Desktop Entry/Name").toString(), QStringLiteral("География 8"));
  EXPECT_TRUE(entry.value("Desktop Entry/Exec").toString().endsWith("/vedalia"));

  // Without --purge the pupils' data stays; with it everything goes.
  Write("school/Geo/folders/8А/Петров Иван/notes.txt", "mine");
  ASSERT_EQ(Tool({"uninstall", "school/Geo"}).code, 0);
  EXPECT_TRUE(QDir(Path("home/Desktop")).isEmpty());
  EXPECT_TRUE(QFile::exists(Path("school/Geo/folders/8А/Петров Иван/notes.txt")));
  const ToolRun purge = Tool({"uninstall", "school/Geo", "--purge"});
  ASSERT_EQ(purge.code, 0);
  EXPECT_TRUE(purge.out.contains("lorevia_db.adb")) << purge.out.toStdString();
  EXPECT_FALSE(QFileInfo::exists(Path("school/Geo")));
  EXPECT_EQ(Tool({"uninstall", "disc"}).code, 3);
}

TEST_F(InstallTool, CdModeCopiesOnlyTheDatabaseAndSetsTheMachineWideMode) {
  Write("system/lorevia_8_zelta.conf", "# comment\nInstallMode=full\nStore=file\n");
  const group* own = ::getgrgid(::getegid());
  ASSERT_NE(own, nullptr);
  const ToolRun run =
      Tool({"install", "disc", "school/Geo", "--cd", "--system", "--group", own->gr_name});
  ASSERT_EQ(run.code, 0) << run.err.toStdString();
  EXPECT_EQ(Tree("school/Geo").keys(), QStringList{"database/lorevia_db.adb"});
  QFile conf(Path("system/lorevia_8_zelta.conf"));
  ASSERT_TRUE(conf.open(QIODevice::ReadOnly));
  EXPECT_EQ(conf.readAll(), "# comment\nInstallMode=CD\nStore=file\n");
  EXPECT_EQ(QDir(Path("system/applications")).entryList({"*.desktop"}).size(), 1);
  // Pupils with other accounts of the group write the database and create folders.
  struct stat st {};
  ASSERT_EQ(::stat(Path("school/Geo/folders").toLocal8Bit().constData(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 02775u);
  ASSERT_EQ(::stat(Path("school/Geo/database/lorevia_db.adb").toLocal8Bit().constData(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0664u);
  const mode_t umask = ::umask(077);  // a pupil's strict umask yields to the folders' ACL
  QDir().mkpath(Path("school/Geo/folders/8А"));
  ::umask(umask);
  ASSERT_EQ(::stat(Path("school/Geo/folders/8А").toLocal8Bit().constData(), &st), 0);
  EXPECT_EQ(st.st_mode & 0070, 0070u);
  EXPECT_EQ(Tool({"install", "disc", "x", "--system", "--launcher", "desktop"}).code, 2);
}

TEST_F(InstallTool, BadInputIsRefusedAndNothingIsInstalledOrDamaged) {
  Write("nomovie/data/photo/a.jpg", "x");
  SwfMovieSpec frameless;
  frameless.frameCount = 0;
  Write("framesless/start.swf", WriteSwfMovie(frameless));
  QDir().mkpath(Path("framesless/data"));
  Write("nodata/start.swf", WriteSwfMovie(SwfMovieSpec{}));
  MakeCourse("baddb", 0);
  Write("baddb/database/lorevia_db.adb", "SQLite format 3");
  Write("afile", "x");
  MakeCourse("other", 0);
  ASSERT_EQ(Tool({"install", "other", "installed"}).code, 0);
  Write("occupied/notes.txt", "keep");
  const QMap<QString, QByteArray> installed = Tree("installed");
  const struct {
    QStringList args;
    int code;
  } cases[] = {
      {{"nomovie", "t"}, 3},
      {{"framesless", "t"}, 3},
      {{"nodata", "t"}, 3},
      {{"baddb", "t"}, 3},
      {{"missing", "t"}, 3},
      {{"afile", "t"}, 3},
      {{"disc", "disc/t"}, 4},
      {{"disc", "installed"}, 4},
      {{"disc", "occupied"}, 4},
      {{"disc", "afile"}, 4},
      {{"disc"}, 2},
      {{"disc", "t", "--launcher", "tray"}, 2},
  };
  for (const auto& c : cases) {
    const ToolRun run = Tool(QStringList{"install"} + c.args);
    EXPECT_EQ(run.code, c.code) << c.args.join(' ').toStdString() << ": " << run.err.toStdString();
    EXPECT_FALSE(run.err.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(Path("t")));
  }
  EXPECT_EQ(Tree("installed"), installed);
  EXPECT_EQ(Tree("occupied").keys(), QStringList{"notes.txt"});
}

TEST_F(InstallTool, AnInterruptedCopyResumesWithoutCopyingAgain) {
  {
    // The first 1 MiB item cannot be written whole: the disk "fills up" midway.
    test::FileSizeLimit limit((1 << 20) - 1);
    const ToolRun failed = Tool({"install", "disc", "Geo"});
    EXPECT_EQ(failed.code, 5) << failed.err.toStdString();
  }
  EXPECT_FALSE(QFileInfo::exists(Path("Geo")));
  QDirIterator parts(Path(".Geo.vedalia-staging"), {"*.part"}, QDir::Files | QDir::Hidden,
                     QDirIterator::Subdirectories);
  EXPECT_FALSE(parts.hasNext()) << "a half-copied file is left";
  const ToolRun resumed = Tool({"install", "disc", "Geo"});
  ASSERT_EQ(resumed.code, 0) << resumed.err.toStdString();
  EXPECT_TRUE(resumed.out.contains("files were copied before")) << resumed.out.toStdString();
  EXPECT_EQ(Tree("Geo"), Tree("disc"));

  // Stopped at whatever moment, a run leaves the course whole or not there at all.
  const ToolRun stopped = Tool({"install", "disc", "Two"}, true);
  if (stopped.code != 0) {
    EXPECT_FALSE(QFileInfo::exists(Path("Two")));
  }
  ASSERT_EQ(Tool({"install", "disc", "Two"}).code, 0);
  EXPECT_EQ(Tree("Two"), Tree("Geo"));
}

TEST_F(InstallTool, NoSpaceAndReadOnlyTargetsAreRefused) {
  if (!test::Mount::Available()) GTEST_SKIP() << "this machine grants no mounts";
  QDir().mkpath(Path("small"));
  QDir().mkpath(Path("ro"));
  const test::Mount small = test::Mount::Tmpfs(Path("small"), 1024);
  const test::Mount readOnly = test::Mount::ReadOnly(Path("ro"));
  ASSERT_TRUE(small.Ok() && readOnly.Ok());
  const ToolRun full = Tool({"install", "disc", "small/Geo"});
  EXPECT_EQ(full.code, 5) << full.err.toStdString();
  EXPECT_TRUE(QDir(Path("small")).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
  const ToolRun ro = Tool({"install", "disc", "ro/Geo"});
  EXPECT_EQ(ro.code, 4) << ro.err.toStdString();
  EXPECT_TRUE(ro.err.contains("Read-only")) << ro.err.toStdString();
}

}  // namespace
}  // namespace vedalia
