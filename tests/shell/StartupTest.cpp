// Start-up up to the start movie check: the instance lock, the two roots, CD install mode,
// the start movie, and the player runtime.
#include <sys/wait.h>
#include <unistd.h>

#include <QBuffer>
#include <QLockFile>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryFile>

#include "ShellFixture.h"
#include "flashhost/FlashPlayerControl.h"
#include "flashhost/SwfWriter.h"
#include "shell/uStartup.h"

namespace vedalia::testing {
namespace {

class Startup : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    work = dir.path() + "/work";
    ASSERT_TRUE(QDir().mkpath(work));
    options.lockPath = dir.path() + "/global_tovk_8.lock";
    options.workingDir = work;
    Services services;
    services.messages = &messages;
    previousServices = SetAppServices(services);
    machineFile = dir.path() + "/machine.conf";
    qputenv(kMachineSettingsEnv, machineFile.toUtf8());
    previousLister = SetVolumeLister([this] { return volumes; });
  }
  void TearDown() override {
    SetVolumeLister(previousLister);
    qunsetenv(kMachineSettingsEnv);
    SetAppServices(previousServices);
    SetBaseDir(QString());
    SetContentDir(QString());
  }
  void writeMovie(const QString& path, int frames) {
    SwfMovieSpec movieSpec;
    movieSpec.frameCount = frames;
    ASSERT_TRUE(QDir().mkpath(QFileInfo(path).absolutePath()));
    ASSERT_TRUE(WriteSwfMovieFile(path, movieSpec));
  }
  void setInstallMode(const QByteArray& mode) {
    QFile file(machineFile);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[General]\nInstallMode=" + mode + "\n");
  }
  MountedVolume disc(const QString& root) {
    MountedVolume v;
    v.rootPath = root;
    v.optical = v.readOnly = v.valid = v.ready = true;
    v.bytesTotal = 650 * 1024 * 1024;
    return v;
  }
  bool prepare() {
    std::unique_ptr<QLockFile> lock;
    const bool ok = PrepareStart(options, lock);
    EXPECT_EQ(ok, lock != nullptr);
    return ok;
  }

  QTemporaryDir dir;
  QString work, machineFile;
  StartupOptions options;
  FakeMessages messages;
  Services previousServices;
  QList<MountedVolume> volumes;
  VolumeLister previousLister;
};

TEST_F(Startup, RootsFollowTheWorkingDirectoryAndAPlayableStartMovieStarts) {
  writeMovie(work + "/start.swf", 3);
  EXPECT_TRUE(prepare());
  EXPECT_EQ(BaseDir(), work + "/");
  EXPECT_EQ(ContentDir(), work + "/");
  EXPECT_TRUE(messages.shown.empty());
}

TEST_F(Startup, SecondInstanceIsRefusedWithItsMessage) {
  writeMovie(work + "/start.swf", 1);
  QLockFile first(options.lockPath);
  ASSERT_TRUE(first.tryLock(0));
  EXPECT_FALSE(prepare());
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].kind, MessageKind::Warning);
  EXPECT_EQ(messages.shown[0].text, "Приложение уже запущено. Одновременный запуск невозможен.");
  first.unlock();
  EXPECT_TRUE(prepare());
}

// The lock sits at one path of the machine whatever TMPDIR says: a second shell started with
// another TMPDIR is refused while the first runs.
TEST_F(Startup, SecondInstanceIsRefusedWhateverTmpdirSays) {
  writeMovie(work + "/start.swf", 1);
  options.lockPath.clear();
  QTemporaryDir tmpFirst, tmpSecond;
  const QByteArray tmpdir = qgetenv("TMPDIR");
  const auto restore = qScopeGuard([&] { qputenv("TMPDIR", tmpdir); });
  qputenv("TMPDIR", tmpFirst.path().toUtf8());
  const QString name = "/global_tovk_8-" + QString::number(getuid()) + ".lock";
  const QString path = InstanceLockPath();
  EXPECT_TRUE(path == "/run/lock" + name || path == "/tmp" + name) << path.toStdString();
  if (!TakeInstanceLock(path)) GTEST_SKIP() << "a shell of this account runs on the machine";

  int toParent[2], toChild[2];
  ASSERT_TRUE(pipe(toParent) == 0 && pipe(toChild) == 0);
  const pid_t pid = fork();
  if (pid == 0) {
    close(toParent[0]);
    close(toChild[1]);
    const auto lock = TakeInstanceLock(InstanceLockPath());
    char held = lock != nullptr, done = 0;
    if (write(toParent[1], &held, 1) == 1 && read(toChild[0], &done, 1) >= 0) _exit(0);
    _exit(1);
  }
  close(toParent[1]);
  close(toChild[0]);
  qputenv("TMPDIR", tmpSecond.path().toUtf8());
  char held = 0;
  EXPECT_EQ(read(toParent[0], &held, 1), 1);
  if (!held) {
    close(toChild[1]);
    close(toParent[0]);
    waitpid(pid, nullptr, 0);
    GTEST_SKIP() << "a shell of this account took the lock meanwhile";
  }
  EXPECT_FALSE(prepare());
  EXPECT_EQ(messages.shown.size(), 1u);
  close(toChild[1]);  // the first shell ends
  close(toParent[0]);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(prepare());
}

TEST_F(Startup, LockOfAProcessThatEndedIsTakenOver) {
  writeMovie(work + "/start.swf", 1);
  // A lock file naming a process that has ended counts as stale.
  QProcess finished;
  finished.start("true");
  ASSERT_TRUE(finished.waitForFinished());
  const qint64 deadPid = finished.processId() ? finished.processId() : 999999;
  QFile stale(options.lockPath);
  ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
  stale.write(QByteArray::number(deadPid) + "\nvedalia\n" + QSysInfo::machineHostName().toUtf8() +
              "\n");
  stale.close();
  EXPECT_TRUE(prepare());
  EXPECT_TRUE(messages.shown.empty());
}

TEST_F(Startup, MissingOrFramelessStartMovieEndsWithItsMessage) {
  EXPECT_FALSE(prepare());
  writeMovie(work + "/start.swf", 0);
  EXPECT_FALSE(prepare());
  QFile junk(work + "/start.swf");
  ASSERT_TRUE(junk.open(QIODevice::WriteOnly | QIODevice::Truncate));
  junk.write("FWS not a movie");
  junk.close();
  EXPECT_FALSE(prepare());
  ASSERT_EQ(messages.shown.size(), 3u);
  for (const auto& m : messages.shown) {
    EXPECT_EQ(m.kind, MessageKind::Error);
    EXPECT_EQ(m.text, "Базовый файл start.swf не найден или поврежден!");
  }
  // The refused start released the lock.
  QLockFile again(options.lockPath);
  EXPECT_TRUE(again.tryLock(0));
}

TEST_F(Startup, CdInstallModeTakesContentFromTheLastDiscHoldingTheStartMovie) {
  const QString discA = dir.path() + "/media/a", discB = dir.path() + "/media/b";
  const QString discC = dir.path() + "/media/c";
  writeMovie(discA + "/start.swf", 1);
  writeMovie(discB + "/start.swf", 1);
  ASSERT_TRUE(QDir().mkpath(discC));  // no start movie there
  volumes = {disc(discA), disc(discB), disc(discC)};
  setInstallMode("CD");
  EXPECT_TRUE(prepare());  // the working directory holds no start movie, the disc does
  EXPECT_EQ(BaseDir(), work + "/");
  EXPECT_EQ(ContentDir(), discB + "/");
}

TEST_F(Startup, OtherInstallModesOrNoReadyDiscKeepContentInTheWorkingDirectory) {
  const QString disc1 = dir.path() + "/media/a";
  writeMovie(disc1 + "/start.swf", 1);
  writeMovie(work + "/start.swf", 1);
  volumes = {disc(disc1)};
  for (const QByteArray& mode : {QByteArray("cd"), QByteArray("HDD"), QByteArray("")}) {
    setInstallMode(mode);
    SettleDirectories(work);
    EXPECT_EQ(ContentDir(), work + "/") << mode.constData();
  }
  setInstallMode("CD");
  volumes[0].ready = false;
  volumes[0].bytesTotal = -1;
  SettleDirectories(work);
  EXPECT_EQ(ContentDir(), work + "/");
}

TEST(PlayerRuntime, TheCompiledRuntimeInstallsAndDamageIsDetected) {
  EXPECT_TRUE(InstallPlayerCodeFromResource());
  EXPECT_TRUE(TFlashPlayerControl::PlayerCodeInstalled());
  EXPECT_FALSE(InstallPlayerCodeFromResource(":/no/such/runtime"));

  QFile resource(TFlashPlayerControl::PlayerCodeResource());
  ASSERT_TRUE(resource.open(QIODevice::ReadOnly));
  const QByteArray good = resource.readAll();
  QTemporaryFile damaged;
  ASSERT_TRUE(damaged.open());
  QByteArray bad = good;
  bad[bad.size() / 2] = char(bad[bad.size() / 2] ^ 0x20);
  damaged.write(bad);
  damaged.close();
  EXPECT_FALSE(InstallPlayerCodeFromResource(damaged.fileName()));
  EXPECT_EQ(TFlashPlayerControl::PlayerCode(), good);  // the good runtime stays
}

}  // namespace
}  // namespace vedalia::testing
