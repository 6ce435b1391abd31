// The picture window's two save commands with hostile item names and personal folder
// names: the copy goes into the personal folders or nowhere, and the save dialog never opens
// outside them.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QPointer>
#include <QTemporaryDir>
#include <iostream>

#include "HostileNames.h"
#include "TestJpeg.h"
#include "TreeSnapshot.h"
#include "common/FakeServices.h"
#include "misc/uMisc.h"
#include "viewers/JpegFrm.h"

namespace vedalia::test {
namespace {

class JpegViewerPaths : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(sandbox.isValid());
    course = sandbox.path() + "/course/";
    SetBaseDir(course);
    folder = course + "data/photo/";
    ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_TRUE(QDir().mkpath(course + "folders/8А/Иванов Иван"));
    picture = MakeJpeg(64, 48);
    QFile content(folder + "kreml.jpg");
    ASSERT_TRUE(content.open(QIODevice::WriteOnly));
    content.write(picture);
    content.close();
    outside = sandbox.path() + "/outside";
    ASSERT_TRUE(QDir().mkpath(outside));
    QFile victim(outside + "/victim.txt");
    ASSERT_TRUE(victim.open(QIODevice::WriteOnly));
    victim.write("must stay");
  }
  void TearDown() override { SetBaseDir(QString()); }

  TreeSnapshot Outside() const {
    TreeSnapshot all = SnapshotTree(sandbox.path());
    all.removeIf([](const auto& entry) { return entry.key().startsWith("course/"); });
    return all;
  }

  ScopedFakeServices services;
  QTemporaryDir sandbox;
  QString course, folder, outside;
  QByteArray picture;
};

TEST_F(JpegViewerPaths, SaveCommandsStayInsideTheCourse) {
  const QString root = QDir::cleanPath(PersonalFoldersRoot());
  const QStringList names = FixedHostileNames(outside) + RandomHostileNames(25, 11u);
  int tried = 0;
  for (const QString& name : names) {
    for (int slot = 0; slot < 2; ++slot) {
      const QString objectName = slot == 0 ? name : QStringLiteral("Кремль");
      const QString user = slot == 1 ? name : QStringLiteral("8А/Иванов Иван");
      const std::string context = "slot " + std::to_string(slot) + " name \"" +
                                  QString(name).replace(QChar(0), "\\0").left(60).toStdString() +
                                  "\"";
      QPointer<TJpegForm> form = new TJpegForm(nullptr, {.MovieName = "kreml.jpg",
                                                         .FolderPath = folder,
                                                         .ObjectName = objectName,
                                                         .Stream = picture,
                                                         .TypeTitle = "Фото",
                                                         .UserFolderName = user});
      const TreeSnapshot before = Outside();
      form->mnuSavePersonalClick();
      // The pupil takes the suggested folder and name; where no folder is suggested, the
      // dialog opens in the personal folders' root.
      services.dialogs.answer.clear();
      form->mnuSaveOtherClick();
      ASSERT_FALSE(services.dialogs.opened.empty()) << context;
      const QString dir = services.dialogs.opened.back().initialDir;
      EXPECT_TRUE(dir.isEmpty() || QDir::cleanPath(dir).startsWith(root))
          << context << " " << dir.toStdString();
      const QString base = dir.isEmpty() ? root : dir;
      const QString suggested = services.dialogs.opened.back().initialName;
      const QString typed = IsPlainName(suggested) ? suggested : QStringLiteral("копия");
      services.dialogs.answer = base + "/" + typed;
      form->mnuSaveOtherClick();

      ExpectNoChanges(CompareTrees(before, Outside()), context);
      delete form.data();
      ++tried;
    }
  }
  std::cout << "picture window save commands: " << tried << " windows with hostile names\n";
}

}  // namespace
}  // namespace vedalia::test
