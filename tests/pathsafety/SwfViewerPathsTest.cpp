// The Flash viewer's save commands with hostile item names, type folders and personal
// folder names, the dialogs answered as a pupil who accepts what is suggested: nothing is
// written outside BaseDir.
#include <QFileInfo>
#include <iostream>

#include "../swfviewer/SwfFixture.h"
#include "HostileNames.h"
#include "TreeSnapshot.h"

namespace vedalia::test {
namespace {

class SwfViewerPaths : public SwfFormTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(sandbox.isValid());
    SwfFormTest::SetUp();
    // The content stays in the fixture's folder; BaseDir moves into a sandbox whose every
    // entry outside the course is watched.
    course = sandbox.path() + "/course/";
    ASSERT_TRUE(QDir().mkpath(course + "folders"));
    SetBaseDir(course);
    outside = sandbox.path() + "/outside";
    ASSERT_TRUE(QDir().mkpath(outside));
    QFile victim(outside + "/victim.txt");
    ASSERT_TRUE(victim.open(QIODevice::WriteOnly));
    victim.write("must stay");
    victim.close();
    // No link is planted here: a folder a pupil reaches through a link in a dialog is his
    // choice. The copies made without a dialog are checked against links elsewhere.
    TFlashPlayerControl::SetRendererFactory(&VariableRenderer::Create);
    // The pupil takes the suggested name, or types a plain one where none is suggested.
    services.dialogs.whileOpen = [this] {
      const RecordedDialog& d = services.dialogs.opened.back();
      const QString name = d.initialName.isEmpty() ? QStringLiteral("notes") : d.initialName;
      services.dialogs.answers.push_back(d.initialDir + "/" + name);
    };
  }

  TreeSnapshot Outside() const {
    TreeSnapshot all = SnapshotTree(sandbox.path());
    all.removeIf([](const auto& entry) { return entry.key().startsWith("course/"); });
    return all;
  }

  QTemporaryDir sandbox;
  QString course, outside;
};

TEST_F(SwfViewerPaths, SaveCommandsStayInsideTheCourse) {
  const QStringList names = FixedHostileNames(outside) + RandomHostileNames(25, 7u);
  int tried = 0;
  for (const QString& name : names) {
    for (int slot = 0; slot < 3; ++slot) {
      FormArgs a;
      a.suggestName = true;
      if (slot == 0) a.objectName = name;
      if (slot == 1) a.userFolder = name;
      if (slot == 2) a.contentName = name;
      TSwfForm* form = Open(a);
      const TreeSnapshot before = Outside();
      for (const char* command :
           {"save_personal", "save_file", "save_other", "save_inf", "save_and_load_inf"})
        Command(form, command, "movie data");
      const std::string context = "slot " + std::to_string(slot) + " name \"" +
                                  QString(name).replace(QChar(0), "\\0").left(60).toStdString() +
                                  "\"";
      ExpectNoChanges(CompareTrees(before, Outside()), context);
      delete form;
      ++tried;
    }
  }
  std::cout << "viewer save commands: " << tried << " windows with hostile names\n";
}

}  // namespace
}  // namespace vedalia::test
