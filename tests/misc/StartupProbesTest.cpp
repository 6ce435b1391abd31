#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "misc/uMisc.h"

namespace vedalia {
namespace {

void WriteFile(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
  file.write(bytes);
}

class InstallModeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(temp.isValid());
    file = temp.path() + "/machine.conf";
    qputenv(kMachineSettingsEnv, file.toLocal8Bit());
  }
  void TearDown() override { qunsetenv(kMachineSettingsEnv); }
  QString Read(const QByteArray& text) {
    WriteFile(file, text);
    return ReadInstallMode();
  }
  QTemporaryDir temp;
  QString file;
};

TEST_F(InstallModeTest, ReadsTheValueAsWritten) {
  EXPECT_EQ(Read("InstallMode=CD\n"), "CD");
  EXPECT_EQ(Read("[General]\r\nInstallMode = cd \r\n"), "cd");
  EXPECT_EQ(Read("; machine-wide\n[General]\nInstallMode=\"CD, HD\"\n"), "CD, HD");
  EXPECT_EQ(Read("Other=1\ninstallmode=HD\n"), "HD");
}

TEST_F(InstallModeTest, MissingFileKeyOrForeignSectionGivesEmpty) {
  EXPECT_EQ(ReadInstallMode(), "");  // no file yet
  EXPECT_EQ(Read(""), "");
  EXPECT_EQ(Read("Other=CD\n"), "");
  EXPECT_EQ(Read("[Elsewhere]\nInstallMode=CD\n"), "");
  EXPECT_EQ(Read("InstallMode\n"), "");
}

class ContentDriveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(temp.isValid());
    previous = SetVolumeLister([this] { return volumes; });
  }
  void TearDown() override { SetVolumeLister(previous); }

  // A mounted medium backed by a temporary folder, optionally holding start.swf.
  MountedVolume& AddVolume(const QString& name, const char* startMovie = "start.swf") {
    const QString root = temp.path() + "/" + name;
    EXPECT_TRUE(QDir().mkpath(root));
    if (startMovie != nullptr) WriteFile(root + "/" + startMovie, "FWS");
    MountedVolume volume;
    volume.rootPath = root;
    volume.optical = true;
    volume.readOnly = true;
    volume.valid = true;
    volume.ready = true;
    volume.bytesTotal = 700 << 20;
    volumes.append(volume);
    return volumes.last();
  }
  QString Root(const QString& name) const { return temp.path() + "/" + name; }

  QTemporaryDir temp;
  QList<MountedVolume> volumes;
  VolumeLister previous;
};

TEST_F(ContentDriveTest, LastMediumInMountOrderWins) {
  AddVolume("cdrom1");
  AddVolume("cdrom0");
  EXPECT_EQ(FindContentDrive(), Root("cdrom1"));
}

TEST_F(ContentDriveTest, OnlyReadyMediaWithTheStartMovieCount) {
  AddVolume("a-disc");
  AddVolume("b-notready").ready = false;
  AddVolume("c-unknown-size").bytesTotal = -1;
  AddVolume("d-invalid").valid = false;
  AddVolume("e-empty", nullptr);
  AddVolume("f-fixed-disk").optical = false;
  AddVolume("g-writable-optical").readOnly = false;
  EXPECT_EQ(FindContentDrive(), Root("a-disc"));
  EXPECT_TRUE(IsDriveReady(Root("a-disc")));
  EXPECT_TRUE(IsDriveReady(Root("a-disc") + "/"));
  EXPECT_FALSE(IsDriveReady(Root("b-notready")));
  EXPECT_FALSE(IsDriveReady(Root("c-unknown-size")));
  EXPECT_FALSE(IsDriveReady(Root("not-mounted")));
  EXPECT_FALSE(IsDriveReady(""));
}

TEST_F(ContentDriveTest, RemovableMediaAndUpperCaseNamesCount) {
  MountedVolume& stick = AddVolume("usb", "START.SWF");
  stick.optical = false;
  stick.readOnly = false;
  stick.removable = true;
  EXPECT_EQ(FindContentDrive(), Root("usb"));
}

TEST_F(ContentDriveTest, NoMediumGivesEmpty) {
  EXPECT_EQ(FindContentDrive(), "");
  AddVolume("empty", nullptr);
  EXPECT_EQ(FindContentDrive(), "");
}

TEST(SystemVolumes, RootFileSystemIsListedAndNoContentMedium) {
  // The build machine has no course disc; the real probe must still answer.
  const QList<MountedVolume> volumes = MountedVolumes();
  EXPECT_TRUE(std::any_of(volumes.begin(), volumes.end(),
                          [](const MountedVolume& v) { return v.rootPath == "/"; }));
  EXPECT_TRUE(IsDriveReady("/"));
}

}  // namespace
}  // namespace vedalia
