// The main movie's command handler: a command word and its argument text against a course
// below a scratch BaseDir with a real accounts database; messages go to a fake. After each
// command nothing may have appeared or vanished beside the course, the desktop and the
// settings file.
#include <QDirIterator>
#include <QPrinter>
#include <QSet>
#include <memory>

#include "FuzzServices.h"
#include "FuzzSupport.h"
#include "desktop/uDesktop.h"
#include "desktop/uServices.h"
#include "misc/uMisc.h"
#include "shell/uCommandHandler.h"
#include "store/SealedFile.h"
#include "store/uTables.h"

using namespace vedalia;

namespace {

class FakeWindow : public IReplySink, public IMainWindowHost {
 public:
  void ReplyToMovie(const QString&) override {}
  QSize MainWindowOuterSize() const override { return QSize(1030, 770); }
  void CloseMainWindow() override {}
  QWidget* MessageParent() const override { return nullptr; }
};

class FakePlayers : public IMediaOpener {
 public:
  TOpenMediaResult OpenMedia(const QString&, const QString&, const QString&,
                             const QString&) override {
    return kMediaOpened;
  }
};

struct Sandbox {
  QString root = fuzz::ScratchDir() + QStringLiteral("sandbox/");
  QString base = root + QStringLiteral("course/");
  FakeWindow window;
  FakePlayers players;
  std::unique_ptr<TMainCommandHandler> handler;

  Sandbox() {
    QDir().mkpath(base + QStringLiteral("database"));
    QDir().mkpath(base + QStringLiteral("folders"));
    QDir().mkpath(root + QStringLiteral("desktop"));
    SetBaseDir(base);
    SetContentDir(base);
    SetSpecialFolderLookup([this](int location) {
      return location == 0 ? root + QStringLiteral("desktop") : QString();
    });
    renew();
  }

  void renew() {
    handler.reset();
    QDir(base + QStringLiteral("folders")).removeRecursively();
    QDir().mkpath(base + QStringLiteral("folders"));
    QDir(root + QStringLiteral("desktop")).removeRecursively();
    QDir().mkpath(root + QStringLiteral("desktop"));
    QFile::remove(DatabaseFilePath());
    CreateDatabaseFile(DatabaseFilePath(), sealed::kTestKdfCost);
    TMainCommandHandler::Setup setup;
    setup.replies = &window;
    setup.mainWindow = &window;
    setup.players = &players;
    setup.openStore = [] { return OpenCourseStore(); };
    setup.databaseAvailable = true;
    setup.settingsPath = root + QStringLiteral("vedalia.ini");
    handler = std::make_unique<TMainCommandHandler>(std::move(setup));
  }

  // Everything below the sandbox that is not below the course: the desktop's launchers and
  // the settings file, nothing else.
  void checkNothingOutside() const {
    const QStringList top =
        QDir(root).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& name : top)
      FUZZ_CHECK(name == QLatin1String("course") || name == QLatin1String("desktop") ||
                 name == QLatin1String("vedalia.ini"));
    FUZZ_CHECK(QFileInfo(base + QStringLiteral("database")).isDir());
    FUZZ_CHECK(QFileInfo(base + QStringLiteral("folders")).isDir());
    const QStringList launchers =
        QDir(root + QStringLiteral("desktop"))
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& name : launchers) {
      FUZZ_CHECK(name.endsWith(QLatin1String(".desktop")));
      FUZZ_CHECK(QFileInfo(root + QStringLiteral("desktop/") + name).isFile());
    }
  }
};

Sandbox* sandbox = nullptr;

const char* const kCommands[] = {
    "debug",         "askLogin",     "addUser",     "validateUser",      "getUsersData",
    "clearUserData", "deleteUser",   "setPassword", "app_exit",          "getUserResults",
    "addTestResult", "open_file",    "save_file",   "save_test_to_html", "print_test_result",
    "getUsersFiles", "saveFavorites"};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::QuietQt();
  fuzz::InstallQuietServices();
  fuzz::StartCoreApplication();
  sandbox = new Sandbox;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  // A first byte below 32 picks a known command word; otherwise the word is the first line.
  QString command;
  QByteArray args;
  if (data[0] < 32) {
    command = QLatin1String(kCommands[data[0] % std::size(kCommands)]);
    args = QByteArray(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
  } else {
    const QByteArray all(reinterpret_cast<const char*>(data), qsizetype(size));
    const qsizetype end = all.indexOf('\n');
    command = QString::fromUtf8(end < 0 ? all : all.left(end));
    args = end < 0 ? QByteArray() : all.mid(end + 1);
  }
  static int runs = 0;
  if (++runs % 300 == 0) sandbox->renew();
  sandbox->handler->ShPlayerFSCommand(command, QString::fromUtf8(args));
  sandbox->checkNothingOutside();
  return 0;
}
