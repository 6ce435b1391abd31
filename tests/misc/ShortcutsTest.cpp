#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QUrl>

#include "desktop/uDesktop.h"
#include "misc/uMisc.h"

namespace vedalia {
namespace {

QString ReadText(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return QString();
  return QString::fromUtf8(file.readAll());
}

class ShortcutTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(temp.isValid());
    desktop = temp.path() + "/Desktop";
    menu = temp.path() + "/applications";
    previous = SetSpecialFolderLookup([this](int location) {
      if (location == kShortcutDesktop) return desktop;
      if (location == kShortcutStartMenu) return menu;
      return QString();
    });
    person = temp.path() + "/base/folders/8А/Иванов Иван";
    ASSERT_TRUE(QDir().mkpath(person));
  }
  void TearDown() override { SetSpecialFolderLookup(previous); }

  QTemporaryDir temp;
  QString desktop, menu, person;
  SpecialFolderLookup previous;
};

TEST_F(ShortcutTest, DesktopLauncherToPersonalFolderAndItsRemoval) {
  const QString link = CreateDesktopShortcut(person);
  EXPECT_EQ(link, desktop + "/Ведалия Иванов Иван.desktop");
  const QString text = ReadText(link);
  EXPECT_TRUE(text.startsWith("[Desktop Entry]\n"));
  EXPECT_TRUE(text.contains("\nType=Link\n"));
  EXPECT_TRUE(text.contains("\nName=Ведалия Иванов Иван\n"));
  EXPECT_TRUE(text.contains("\nComment=Description\n"));
  const qsizetype urlAt = text.indexOf("\nURL=");
  ASSERT_GE(urlAt, 0);
  const QString url = text.mid(urlAt + 5, text.indexOf('\n', urlAt + 1) - urlAt - 5);
  EXPECT_EQ(QUrl::fromEncoded(url.toLatin1()).toLocalFile(), person);
  EXPECT_TRUE(QFileInfo(link).permissions() & QFileDevice::ExeOwner);

  DeleteDesktopShortcut("Иванов Иван");
  EXPECT_FALSE(QFileInfo::exists(link));
  DeleteDesktopShortcut("Иванов Иван");  // a missing file is fine
}

TEST_F(ShortcutTest, FolderNameWithDotRoundTrips) {
  const QString dotted = temp.path() + "/base/folders/8А/Петров А. Пётр";
  ASSERT_TRUE(QDir().mkpath(dotted));
  const QString link = CreateDesktopShortcut(dotted + "/");
  EXPECT_EQ(QFileInfo(link).fileName(), "Ведалия Петров А. Пётр.desktop");
  DeleteDesktopShortcut("Петров А. Пётр");
  EXPECT_FALSE(QFileInfo::exists(link));
}

TEST_F(ShortcutTest, FileTargetLosesItsExtension) {
  EXPECT_EQ(ShortcutFileName("/opt/course/run.sh"), "Ведалия run.desktop");
  EXPECT_EQ(ShortcutFileName("/opt/course/archive.tar.gz"), "Ведалия archive.tar.desktop");
  EXPECT_EQ(ShortcutFileName("/opt/course/readme"), "Ведалия readme.desktop");
}

TEST_F(ShortcutTest, LocationsDecideTheFolder) {
  // No counterpart: nothing written, empty result.
  EXPECT_TRUE(CreateShortcut(person, kShortcutQuickLaunch, "", "", "", "d").isEmpty());
  EXPECT_TRUE(CreateShortcut(person, kShortcutSendTo, "", "", "", "d").isEmpty());
  EXPECT_TRUE(CreateShortcut(person, 7, "", "", "", "d").isEmpty());
  EXPECT_TRUE(CreateShortcut(person, -1, "", "", "", "d").isEmpty());
  EXPECT_FALSE(QFileInfo::exists(desktop));

  EXPECT_EQ(CreateShortcut(person, kShortcutStartMenu, "Курс", "", "", "d"),
            menu + "/Курс/Ведалия Иванов Иван.desktop");
  EXPECT_EQ(CreateShortcut(person, kShortcutDesktop, "Курс", "", "", "d"),
            desktop + "/Курс/Ведалия Иванов Иван.desktop");
  const QString own = temp.path() + "/own";
  EXPECT_EQ(CreateShortcut(person, kShortcutInSubFolder, own, "", "", "d"),
            own + "/Ведалия Иванов Иван.desktop");
  EXPECT_TRUE(QFileInfo::exists(own + "/Ведалия Иванов Иван.desktop"));
}

TEST_F(ShortcutTest, ExistingLauncherIsReplaced) {
  const QString first = CreateShortcut(person, kShortcutDesktop, "", "", "", "old");
  const QString second = CreateShortcut(person, kShortcutDesktop, "", "", "", "new");
  EXPECT_EQ(first, second);
  EXPECT_TRUE(ReadText(second).contains("\nComment=new\n"));
  EXPECT_FALSE(ReadText(second).contains("Comment=old"));
}

TEST_F(ShortcutTest, ArgumentsMakeARunnableLauncher) {
  const QString program = temp.path() + "/bin/my tool";
  ASSERT_TRUE(QDir().mkpath(temp.path() + "/bin"));
  const QString link = CreateShortcut(program, kShortcutDesktop, "", "", "--level 100%", "");
  const QString text = ReadText(link);
  EXPECT_TRUE(text.contains("\nType=Application\n"));
  EXPECT_TRUE(text.contains("\nExec=\"" + program + "\" --level 100%%\n")) << text.toStdString();
  EXPECT_TRUE(text.contains("\nPath=" + temp.path() + "/bin/\n")) << text.toStdString();
  EXPECT_FALSE(text.contains("Comment="));
}

TEST_F(ShortcutTest, LineBreaksInTextsStayEscaped) {
  const QString link = CreateShortcut(person, kShortcutDesktop, "", "", "", "two\nlines\\");
  EXPECT_TRUE(ReadText(link).contains("\nComment=two\\nlines\\\\\n"));
}

TEST_F(ShortcutTest, DeleteIgnoresNamesThatLeadElsewhere) {
  ASSERT_TRUE(QDir().mkpath(desktop + "/Ведалия x"));
  QFile victim(temp.path() + "/victim.desktop");
  ASSERT_TRUE(victim.open(QIODevice::WriteOnly));
  victim.close();
  DeleteDesktopShortcut("x/../../victim");
  DeleteDesktopShortcut("");
  EXPECT_TRUE(QFileInfo::exists(temp.path() + "/victim.desktop"));
}

}  // namespace
}  // namespace vedalia
