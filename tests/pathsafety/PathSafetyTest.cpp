// Property: whatever names the movie, the database or the content hand over, nothing outside
// BaseDir is created, changed or removed, and nothing outside BaseDir + folders/ is removed.
// The only exceptions are the shell's own launchers on the desktop and its settings file.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QPrinter>
#include <QTemporaryDir>
#include <filesystem>
#include <functional>
#include <iostream>

#include "HostileNames.h"
#include "TreeSnapshot.h"
#include "common/FakeMainWindow.h"
#include "common/FakeServices.h"
#include "desktop/uDesktop.h"
#include "desktop/uServices.h"
#include "misc/uMisc.h"
#include "shell/uCommandHandler.h"
#include "store/SealedFile.h"
#include "store/uDBTransaction.h"
#include "store/uTables.h"

namespace vedalia::test {
namespace {

int namesTried = 0;
int operationsRun = 0;

void Put(const QString& path, const QByteArray& bytes) {
  QDir().mkpath(QFileInfo(path).path());
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
  f.write(bytes);
}

class PathSafety : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    root = dir.path() + "/";
    base = root + "course/";
    Put(root + "outside/victim.txt", "must stay");
    Put(root + "outside/dir/inner.txt", "must stay too");
    Put(root + "desktop/other.desktop", "someone else's launcher");
    Put(root + "vedalia.ini", "[GeneralSettings]\nFWid=800\n");
    Put(base + "folders/8А/Иванов Пётр/work.txt", "a pupil's work");
    Put(base + "data/photo/birch.swf", "movie");
    Put(base + "data/photo/birch.doc", "companion document");
    ASSERT_TRUE(QDir().mkpath(base + "database"));
    // A link planted in the personal folders that leads out of the course.
    ASSERT_TRUE(QFile::link(root + "outside", base + "folders/link-out"));
    SetBaseDir(base);
    SetContentDir(base);
    previousLookup = SetSpecialFolderLookup(
        [this](int location) { return location == 0 ? root + "desktop" : QString(); });
    Services services;
    services.messages = &messages;
    services.printers = &printers;
    previousServices = SetAppServices(services);
    names = FixedHostileNames(root + "outside") + RandomHostileNames(120, 20260101u);
  }
  static void TearDownTestSuite() {
    std::cout << "path safety: " << namesTried << " hostile names, " << operationsRun
              << " operations checked\n";
  }
  void TearDown() override {
    SetAppServices(previousServices);
    SetSpecialFolderLookup(previousLookup);
    SetBaseDir(QString());
    SetContentDir(QString());
  }

  // Runs `operation` and checks the property on everything below the sandbox.
  void Check(const QString& what, const QString& name, const std::function<void()>& operation) {
    const TreeSnapshot before = SnapshotTree(root);
    operation();
    ++operationsRun;
    const TreeChanges c = CompareTrees(before, SnapshotTree(root));
    const std::string context = what.toStdString() + " with name \"" +
                                QString(name).replace(QChar(0), "\\0").left(80).toStdString() +
                                "\"";
    const auto launcher = [](const QString& path) {
      return path.startsWith("desktop/" + ProductTitlePrefix()) && path.endsWith(".desktop") &&
             path.count('/') == 1;
    };
    for (const QString& p : c.created + c.changed)
      EXPECT_TRUE(p.startsWith("course/") || launcher(p) || p == "vedalia.ini")
          << context << " wrote " << p.toStdString();
    for (const QString& p : c.removed)
      EXPECT_TRUE(p.startsWith("course/folders/") || launcher(p))
          << context << " removed " << p.toStdString();
    EXPECT_TRUE(QFileInfo(base + "folders").isDir()) << context << " removed the folders' root";
  }

  std::unique_ptr<TMainCommandHandler> Handler() {
    TMainCommandHandler::Setup setup;
    setup.replies = &window;
    setup.mainWindow = &window;
    setup.openStore = [] { return OpenCourseStore(); };
    setup.databaseAvailable = true;
    setup.settingsPath = root + "vedalia.ini";
    return std::make_unique<TMainCommandHandler>(std::move(setup));
  }

  QTemporaryDir dir;
  QString root, base;
  QStringList names;
  FakeMessages messages;
  FakePrinters printers;  // none installed: printing commands stop after writing their page
  FakeMainWindow window;
  Services previousServices;
  SpecialFolderLookup previousLookup;
};

TEST_F(PathSafety, FolderOperations) {
  for (const QString& name : names) {
    ++namesTried;
    Check("ForceFolderPath", name, [&] { ForceFolderPath(PersonalFoldersRoot(), name); });
    Check("ForceFolderPath in a class", name,
          [&] { ForceFolderPath(PersonalFoldersRoot(), "8А/" + name); });
    Check("DeleteFolderTree", name,
          [&] { (void)DeleteFolderTree(PersonalFoldersRoot() + "8Б/" + name); });
    Check("DeleteFolderTree on the name alone", name, [&] { (void)DeleteFolderTree(name); });
  }
  // The pupil's own work is still there: no name reached it through the class folder.
  EXPECT_TRUE(QFile::exists(base + "folders/8А/Иванов Пётр/work.txt"));
}

TEST_F(PathSafety, CopiesOfContent) {
  const QString src = base + "data/photo/";
  for (const QString& name : names) {
    Check("SaveToPersonalFolder target", name,
          [&] { SaveToPersonalFolder(src, "birch.swf", name, "8А/Иванов Пётр", "doc"); });
    Check("SaveToPersonalFolder user folder", name,
          [&] { SaveToPersonalFolder(src, "birch.swf", "copy", name, "doc"); });
    Check("SaveToPersonalFolder source", name,
          [&] { SaveToPersonalFolder(src, name, "copy", "8А/Иванов Пётр", "doc"); });
    Check("SaveCopyAs source", name,
          [&] { SaveCopyAs(src, name + ".swf", base + "copies/chosen.doc", "doc"); });
  }
}

TEST_F(PathSafety, DesktopLaunchers) {
  for (const QString& name : names) {
    Check("CreateDesktopShortcut", name,
          [&] { CreateDesktopShortcut(PersonalFoldersRoot() + "8А/" + name); });
    Check("DeleteDesktopShortcut", name, [&] { DeleteDesktopShortcut(name); });
  }
  EXPECT_TRUE(QFile::exists(root + "desktop/other.desktop"));
}

TEST_F(PathSafety, CommandsWithNamesFromTheMovie) {
  CreateDatabaseFile(DatabaseFilePath(), sealed::kTestKdfCost);
  auto handler = Handler();
  ASSERT_EQ(window.replies.size(), 0);
  handler->ShPlayerFSCommand("addUser", "Пётр;Петров;А;pw;0");
  ASSERT_EQ(window.replies, QStringList{"registred=1"});
  // Every command is one database open and write: a sample of the random names is enough.
  const QStringList sample = names.mid(0, FixedHostileNames(root + "outside").size() + 30);
  for (const QString& name : sample) {
    const QString plain = "Пётр";
    Check("addUser name", name,
          [&] { handler->ShPlayerFSCommand("addUser", name + ";Петров;А;pw;1"); });
    Check("addUser surname", name,
          [&] { handler->ShPlayerFSCommand("addUser", plain + ";" + name + ";Б;pw;1"); });
    Check("addUser class letter", name,
          [&] { handler->ShPlayerFSCommand("addUser", plain + ";Сидоров;" + name + ";pw;1"); });
    Check("app_exit", name, [&] { handler->ShPlayerFSCommand("app_exit", name + ";a;b;c"); });
    Check("clearUserData", name, [&] { handler->ShPlayerFSCommand("clearUserData", name); });
    // Logged in as a pupil from here on: copies and pages go to the personal folder.
    handler->ShPlayerFSCommand("validateUser", "Петров;Пётр;А;pw");
    Check("save_file source and target", name,
          [&] { handler->ShPlayerFSCommand("save_file", "x;" + name + ";photo;" + name); });
    Check("save_test_to_html", name,
          [&] { handler->ShPlayerFSCommand("save_test_to_html", name + "|<html>75</html>"); });
    Check("saveFavorites folder and file", name, [&] {
      handler->ShPlayerFSCommand("saveFavorites", name + "|" + name + "|a;b");
      handler->ShPlayerFSCommand("saveFavorites", "fav\\" + name + "|list.txt|a;b");
    });
    Check("open_file", name,
          [&] { handler->ShPlayerFSCommand("open_file", name + "|photo|" + name); });
    Check("print_test_result", name,
          [&] { handler->ShPlayerFSCommand("print_test_result", name); });
  }
}

TEST_F(PathSafety, AccountCommandsWithNamesFromTheDatabase) {
  CreateDatabaseFile(DatabaseFilePath(), sealed::kTestKdfCost);
  auto handler = Handler();
  // Accounts written past the shell (another tool, an old version): the names in their
  // records become folder and launcher names when the account logs in or is deleted.
  const QStringList sample = names.mid(0, FixedHostileNames(root + "outside").size() + 20);
  int n = 0;
  for (const QString& name : sample) {
    for (int slot = 0; slot < 3; ++slot) {
      QStringList record = {"Пётр", "Батькович", "Петров", "1.1.2001", "login", "pw",
                            "А",    "true",      "true",   "8",        "0"};
      record[slot == 0 ? 0 : slot == 1 ? 2 : 6] = QString(name).remove(';');
      record[4] = QStringLiteral("login%1").arg(++n);
      QString id;
      try {
        TDBTransaction t;
        id = t.AddUser(record.join(';'));
      } catch (const std::exception&) {
        continue;  // refused by the store itself
      }
      bool numeric = false;
      id.toInt(&numeric);
      if (!numeric) continue;
      Check("validateUser of a stored account", name,
            [&] { handler->ShPlayerFSCommand("validateUser", id); });
      Check("deleteUser of a stored account", name,
            [&] { handler->ShPlayerFSCommand("deleteUser", id); });
    }
  }
}

// Property: links planted at any level of a pupil's tree (the folders' root, the class, the
// person, a favourites folder, each file a command writes) lead no write, copy, listing or
// deletion elsewhere. All that may change is below folders/.
TEST_F(PathSafety, PlantedLinksAtEveryLevel) {
  CreateDatabaseFile(DatabaseFilePath(), sealed::kTestKdfCost);
  Put(base + "data/photo/birch.txt", "plain item");
  Put(base + "database/lorevia_db.adb.bak", "a backup");
  const QString person = "folders/8А/Петров Пётр";
  const QStringList levels = {"folders",
                              "folders/8А",
                              person,
                              person + "/fav",
                              person + "/tmp.html",
                              person + "/test.html",
                              person + "/Фотография_birch.txt",
                              person + "/copy.doc",
                              person + "/fav/list.txt"};
  const QStringList targets = {QString(),
                               root + "outside/victim.txt",
                               root + "outside/dir",
                               root + "outside/gone",
                               base + "database",
                               base + "database/lorevia_db.adb.bak",
                               base + "data/photo"};
  auto handler = Handler();
  const QString database = "course/database/lorevia_db.adb";  // the accounts, and its lock
  int rounds = 0;
  for (const QString& level : levels) {
    for (const QString& target : targets) {
      std::filesystem::remove_all((base + "folders").toStdString());
      ASSERT_TRUE(QDir().mkpath(base + person + "/fav"));
      if (!target.isEmpty()) {
        std::filesystem::remove_all((base + level).toStdString());
        ASSERT_TRUE(QFile::link(target, base + level));
      }
      const std::string context = level.toStdString() + " -> " + target.toStdString();
      const TreeSnapshot before = SnapshotTree(root);
      window.replies.clear();
      handler->ShPlayerFSCommand("addUser", "Пётр;Петров;А;pw;0");
      const QString id = window.replies.value(0).section('=', 1);
      handler->ShPlayerFSCommand("validateUser", id);
      handler->ShPlayerFSCommand("print_test_result", "<html>page</html>");
      handler->ShPlayerFSCommand("save_test_to_html", "test.html|<html>75</html>");
      handler->ShPlayerFSCommand("save_file", "x;birch.txt;photo;birch");
      handler->ShPlayerFSCommand("saveFavorites", "folders\\8А\\Петров Пётр\\fav|list.txt|a");
      SaveToPersonalFolder(base + "data/photo/", "birch.swf", "copy", "8А/Петров Пётр", "doc");
      handler->ShPlayerFSCommand("getUsersFiles", "");
      const QString files = window.replies.last();
      EXPECT_FALSE(files.contains("victim") || files.contains("inner") ||
                   files.contains("lorevia") || files.contains("birch.doc"))
          << context << ": " << files.toStdString();
      // Without a link every command did its work.
      for (const QString& written : levels.mid(4))
        EXPECT_TRUE(!target.isEmpty() || QFileInfo(base + written).isFile())
            << written.toStdString();
      EXPECT_TRUE(!target.isEmpty() || files.contains("photo_birch.txt")) << files.toStdString();
      handler->ShPlayerFSCommand("deleteUser", id);
      EXPECT_EQ(window.replies.last(), "UserDeleted=true") << context;
      const TreeChanges c = CompareTrees(before, SnapshotTree(root));
      for (const QString& p : c.created + c.changed + c.removed)
        EXPECT_TRUE(p.startsWith("course/folders/") || p.startsWith(database))
            << context << " touched " << p.toStdString();
      ++rounds;
    }
  }
  EXPECT_EQ(rounds, levels.size() * targets.size());
}

// Favourites never replace the course's own files, whatever the letter case or the path.
TEST_F(PathSafety, FavoritesNeverReplaceTheCourse) {
  Put(base + "start.swf", "main movie");
  CreateDatabaseFile(DatabaseFilePath(), sealed::kTestKdfCost);
  auto handler = Handler();
  handler->ShPlayerFSCommand("debug", "");  // the database's lock file is there from now on
  const TreeSnapshot before = SnapshotTree(base);
  for (const char* args : {"database|lorevia_db.adb|x", "|start.swf|x", "|START.SWF|x",
                           "\\|start.swf|x", "database\\new|a.txt|x", "data\\photo|birch.doc|x",
                           "data|new.txt|x", "folders\\..\\database|lorevia_db.adb|x"}) {
    handler->ShPlayerFSCommand("saveFavorites", args);
    ExpectNoChanges(CompareTrees(before, SnapshotTree(base)), args);
  }
  handler->ShPlayerFSCommand("saveFavorites", "fav\\data|start.swf|x");  // only the course's own
  EXPECT_TRUE(QFile::exists(base + "fav/data/start.swf"));
  EXPECT_TRUE(window.replies.isEmpty());
}

}  // namespace
}  // namespace vedalia::test
