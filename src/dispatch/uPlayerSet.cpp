#include "dispatch/uPlayerSet.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QWidget>

#include "desktop/uDesktop.h"
#include "media/uDecryptor.h"
#include "misc/uMisc.h"
#include "platform/Log.h"
#include "viewers/uPlayerForm.h"

namespace vedalia {
namespace {

bool isTemplateType(const QString& mediaType) {
  return mediaType == QLatin1String("biography") || mediaType == QLatin1String("interest") ||
         mediaType == QLatin1String("xrestomatia") || mediaType == QLatin1String("vocab");
}

}  // namespace

QPoint PlaceViewer(bool first, QSize outer, QPoint centred, QSize screen, QPoint& remembered) {
  if (first) {
    remembered = centred;
    return centred;
  }
  if (outer.width() + remembered.x() > screen.width() ||
      outer.height() + remembered.y() > screen.height()) {
    return centred;
  }
  return remembered;
}

TPlayerSet::TPlayerSet(QWidget* mainWindow, IViewerFactory* factory, IMainWindowLink* link)
    : QObject(mainWindow),
      MainWindow(mainWindow),
      Factory(factory ? factory : &DefaultViewerFactory()),
      Link(link) {}

TPlayerSet::~TPlayerSet() = default;

TOpenMediaFunc TPlayerSet::OnOpenMedia() {
  QPointer<TPlayerSet> self(this);
  return [self](const QString& fileName, const QString& mediaType, const QString& objectName,
                const QString& userFolderName) {
    return self ? self->OpenMedia(fileName, mediaType, objectName, userFolderName)
                : kViewerWindowFailed;
  };
}

QList<TPlayerForm*> TPlayerSet::OpenWindows() const {
  QList<TPlayerForm*> windows;
  for (const auto& w : FOpenWindows) windows << w.form;
  return windows;
}

TOpenMediaResult TPlayerSet::PrepareRequest(const QString& FileName, const QString& MediaType,
                                            const QString& ObjectName,
                                            const QString& UserFolderName, TViewerRequest& r) {
  r = TViewerRequest();
  if (MediaType == QLatin1String("browse")) {
    r.Kind = MediaType;
    r.MovieName = FileName;
    return kMediaOpened;
  }
  r.FolderPath = ContentDir() + Catalogue.GetFolderPath(MediaType);
  const QString ext = FileName.right(3);
  const bool templateCase = isTemplateType(MediaType) && ext == QLatin1String("xml");
  r.MovieName = templateCase ? MediaType + QStringLiteral("_tmpl.swf") : FileName;
  r.ObjectName = ObjectName;
  r.TypeTitle = Catalogue.GetTitle(MediaType);
  r.SuggestName = Catalogue.SuggestsName(MediaType);
  r.UserFolderName = UserFolderName;
  const bool vocab = MediaType == QLatin1String("vocab");
  r.FrameWidth = vocab ? 400 : 800;
  r.FrameHeight = vocab ? 300 : 600;

  // A movie names a file inside its type's folder; a name that could leave it is no file.
  if (!IsPlainName(r.MovieName)) return kCannotPlay;
  // Course discs may differ in letter case from the names the movies ask for.
  const QString path = ResolveContentFile(r.FolderPath + r.MovieName);
  if (path.isEmpty() || !QFileInfo(path).isFile()) return kCannotPlay;
  r.MovieName = QFileInfo(path).fileName();

  if (ext == QLatin1String("avi") && !Factory->CanRender(path)) return kCannotPlay;
  if (ext == QLatin1String("swf") || ext == QLatin1String("jpg") || ext == QLatin1String("xml")) {
    TDecryptor loader;
    auto content = loader.LoadContent(path, QByteArray(), ext);
    if (!content) return kCannotPlay;
    r.Stream = std::move(*content);
  }

  if (ext == QLatin1String("swf") || ext == QLatin1String("xml")) {
    r.Kind = QStringLiteral("swf");
    r.ContentName = templateCase ? FileName : QStringLiteral("none");
    r.SaveExtension =
        (MediaType == QLatin1String("photo") || MediaType == QLatin1String("picture")) &&
                !templateCase
            ? QStringLiteral("jpg")
            : QStringLiteral("doc");
    r.FixedSize = MediaType != QLatin1String("video") && MediaType != QLatin1String("reference");
  } else if (ext == QLatin1String("avi") || ext == QLatin1String("gms") ||
             ext == QLatin1String("jpg")) {
    r.Kind = ext;
  } else {
    return kNoViewer;
  }
  return kMediaOpened;
}

TOpenMediaResult TPlayerSet::OpenMedia(const QString& FileName, const QString& MediaType,
                                       const QString& ObjectName, const QString& UserFolderName) {
  TViewerRequest request;
  const TOpenMediaResult result =
      PrepareRequest(FileName, MediaType, ObjectName, UserFolderName, request);
  if (result != kMediaOpened) return result;
  if (request.Kind == QLatin1String("browse")) {
    Factory->OpenWithDesktop(request.MovieName);
    return kMediaOpened;
  }
  return openInWindow(request);
}

TOpenMediaResult TPlayerSet::openInWindow(const TViewerRequest& request) {
  try {
    const bool first = OpenWindows().isEmpty();
    for (TPlayerForm* w : OpenWindows()) {
      if (w->HasKeys(request.ObjectName, request.TypeTitle)) {
        w->setWindowState(w->windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized));
        if (request.Kind == QLatin1String("gms")) w->show();
        w->raise();
        w->activateWindow();
        return kMediaOpened;
      }
    }
    TPlayerForm* w = Factory->CreateViewer(MainWindow, request, {OnOpenMedia(), Link});
    if (!w) return kViewerWindowFailed;
    FOpenWindows << TOpenWindow{w, w};
    connect(w, &TPlayerForm::Released, this, [this](TPlayerForm* f) { forget(f); });
    connect(w, &QObject::destroyed, this, [this](QObject* o) { forget(o); });
    // Viewers stay above the main movie and get their own taskbar entry.
    w->setWindowFlags(w->windowFlags() | Qt::Window | Qt::WindowStaysOnTopHint);
    place(w, first);
    w->show();
    return kMediaOpened;
  } catch (...) {
    LogFailure(lcMedia(), "opening a viewer window");
    return kViewerWindowFailed;
  }
}

void TPlayerSet::place(TPlayerForm* window, bool first) {
  CenterOnWorkArea(window);
  const QPoint centred = window->pos();
  QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
  const QSize screenSize = screen ? screen->geometry().size() : QSize(1024, 768);
  QPoint remembered(FirstLeft, FirstTop);
  window->move(PlaceViewer(first, window->frameGeometry().size(), centred, screenSize, remembered));
  FirstLeft = remembered.x();
  FirstTop = remembered.y();
}

void TPlayerSet::forget(QObject* window) {
  FOpenWindows.removeIf([window](const TOpenWindow& w) { return w.object == window; });
}

}  // namespace vedalia
