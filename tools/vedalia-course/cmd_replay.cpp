// replay: runs the main movie's command handler headless on a script of commands, printing
// each reply and each message box, so a course author can check a movie's command
// sequences without the shell's windows.
#include <QDir>
#include <QFile>
#include <QTextStream>
#include <iostream>

#include "CourseCommand.h"
#include "desktop/uServices.h"
#include "dispatch/uPlayerSet.h"
#include "misc/uMisc.h"
#include "shell/uCommandHandler.h"
#include "shell/uSettingsFile.h"
#include "store/PgConnection.h"
#include "store/uChecker.h"
#include "store/uTables.h"

namespace vedalia::course {
namespace {

void printLine(const QString& line) { std::cout << line.toStdString() << std::endl; }

const char* kindName(MessageKind kind) {
  switch (kind) {
    case MessageKind::Plain:
      return "plain";
    case MessageKind::Information:
      return "information";
    case MessageKind::Warning:
      return "warning";
    case MessageKind::Error:
      return "error";
  }
  return "plain";
}

class PrintedMessages : public IMessageService {
 public:
  void ShowMessage(QWidget*, MessageKind kind, const QString& text, const QString&) override {
    printLine(QStringLiteral("message: ") + kindName(kind) + QStringLiteral(": ") + text);
  }
};

class PrintedWindow : public IReplySink, public IMainWindowHost, public IMediaOpener {
 public:
  bool closed = false;
  void ReplyToMovie(const QString& text) override { printLine(QStringLiteral("reply: ") + text); }
  QSize MainWindowOuterSize() const override { return QSize(1024, 768); }
  void CloseMainWindow() override {
    closed = true;
    printLine(QStringLiteral("close: main window"));
  }
  QWidget* MessageParent() const override { return nullptr; }
  // The player set's own checks decide the result; instead of a window, what would open is
  // printed: the viewer kind, its two keys, its frame and where it would be placed.
  TOpenMediaResult OpenMedia(const QString& fileName, const QString& mediaType,
                             const QString& objectName, const QString& userFolderName) override {
    TViewerRequest r;
    const TOpenMediaResult result =
        players.PrepareRequest(fileName, mediaType, objectName, userFolderName, r);
    if (result != kMediaOpened) {
      printLine(QStringLiteral("open: ") + fileName + QStringLiteral(" -> result ") +
                QString::number(result));
      return result;
    }
    if (r.Kind == QLatin1String("browse")) {
      printLine(QStringLiteral("open: desktop handler for ") + r.MovieName);
      return result;
    }
    const QString keys = r.ObjectName + QLatin1Char('|') + r.TypeTitle;
    QString placement;
    if (open.contains(keys)) {
      placement = QStringLiteral("brought back");
    } else {
      // The player set's own rule, on a screen of the main window's size; a headless viewer
      // has no frame, so its outer size is its frame size.
      const QSize outer(r.FrameWidth, r.FrameHeight);
      const QSize screen = MainWindowOuterSize();
      const QPoint centred((screen.width() - outer.width()) / 2,
                           (screen.height() - outer.height()) / 2);
      const bool firstViewer = open.isEmpty();
      const QPoint at = PlaceViewer(firstViewer, outer, centred, screen, firstPosition);
      placement = !firstViewer && at == firstPosition ? QStringLiteral("over the first viewer")
                                                      : QStringLiteral("centred on the work area");
      open << keys;
    }
    printLine(QStringLiteral("open: ") + r.Kind + QStringLiteral(" viewer \"") + r.ObjectName +
              QStringLiteral("\" / \"") + r.TypeTitle + QStringLiteral("\" ") + r.FolderPath +
              r.MovieName + QStringLiteral(", frame ") + QString::number(r.FrameWidth) +
              QLatin1Char('x') + QString::number(r.FrameHeight) + QStringLiteral(", ") + placement +
              QStringLiteral(" for \"") + userFolderName + QStringLiteral("\""));
    return result;
  }

 private:
  // Viewers never close in a replay.
  QStringList open;
  QPoint firstPosition;
  TPlayerSet players{nullptr};
};

int runReplay(const std::vector<std::string>& args) {
  QString base = QDir::currentPath(), content, settings, script, store;
  for (size_t i = 0; i < args.size(); ++i) {
    const QString arg = QString::fromStdString(args[i]);
    const bool hasValue = i + 1 < args.size();
    if (arg == QLatin1String("--base") && hasValue) {
      base = QString::fromStdString(args[++i]);
    } else if (arg == QLatin1String("--content") && hasValue) {
      content = QString::fromStdString(args[++i]);
    } else if (arg == QLatin1String("--settings") && hasValue) {
      settings = QString::fromStdString(args[++i]);
    } else if (arg == QLatin1String("--store") && hasValue) {
      store = QString::fromStdString(args[++i]);
      if (!IsServerUrl(store)) {
        std::cerr << "replay: --store takes a server's URL (postgresql://...)\n";
        return 2;
      }
    } else if (script.isEmpty() && (!arg.startsWith(QLatin1String("--")) || arg == "-")) {
      script = arg;
    } else {
      std::cerr << "replay: unexpected argument " << args[i] << "\n";
      return 2;
    }
  }
  if (script.isEmpty()) {
    std::cerr << "replay: no script given\n";
    return 2;
  }
  if (!QFileInfo(base).isDir()) {
    std::cerr << "replay: no folder " << base.toStdString() << "\n";
    return 1;
  }

  QFile file;
  const bool opened = script == QLatin1String("-")
                          ? file.open(stdin, QIODevice::ReadOnly)
                          : (file.setFileName(script), file.open(QIODevice::ReadOnly));
  if (!opened) {
    std::cerr << "replay: cannot read " << script.toStdString() << "\n";
    return 1;
  }

  SetBaseDir(QDir(base).absolutePath());
  SetContentDir(content.isEmpty() ? BaseDir() : QDir(content).absolutePath());
  // Without --settings the remembered log-in lives only as long as this run, in memory: no
  // scratch file outlives a replay that is killed.
  if (settings.isEmpty()) {
    settings = QStringLiteral("replay settings (memory)");
    KeepSettingsInMemory(settings);
  }

  // The server instead of the course folder's file; its password by libpq's own means.
  if (!store.isEmpty()) SetStoreServer(ServerLocation{store, QString()});

  PrintedMessages messages;
  Services services;
  services.messages = &messages;
  const Services previous = SetAppServices(services);

  PrintedWindow window;
  TMainCommandHandler::Setup setup;
  setup.replies = &window;
  setup.mainWindow = &window;
  setup.players = &window;
  setup.openStore = OpenCourseStore;
  setup.settingsPath = settings;
  setup.databaseAvailable =
      TChecker().CheckDatabase({QStringLiteral("users"), QStringLiteral("results")});
  TMainCommandHandler handler(std::move(setup));
  if (!handler.DatabaseAvailable()) printLine(QStringLiteral("note: no database available"));

  QTextStream in(&file);
  in.setEncoding(QStringConverter::Utf8);
  while (!in.atEnd() && !window.closed) {
    QString line = in.readLine();
    if (line.endsWith(QLatin1Char('\r'))) line.chop(1);
    if (line.trimmed().isEmpty() || line.startsWith(QLatin1Char('#'))) continue;
    const qsizetype tab = line.indexOf(QLatin1Char('\t'));
    const QString command = tab < 0 ? line : line.left(tab);
    const QString commandArgs = tab < 0 ? QString() : line.mid(tab + 1);
    handler.ShPlayerFSCommand(command, commandArgs);
  }
  SetAppServices(previous);
  return 0;
}

const CourseCommandRegistrar registrar({
    "replay",
    "replay [--base DIR] [--content DIR] [--settings FILE] [--store URL] SCRIPT\n"
    "      runs the main movie's commands (lines \"command<TAB>args\", UTF-8; \"-\" reads\n"
    "      standard input) headless and prints each reply and message box; --store uses\n"
    "      the accounts tables on a server instead of the course folder's file",
    runReplay,
});

}  // namespace
}  // namespace vedalia::course
