#pragma once
// The player set: opens a course item in the right viewer window, or brings back the window
// that already shows it, and places new windows over the first one.

#include <QList>
#include <QObject>
#include <QPoint>
#include <QString>

#include "desktop/uServices.h"
#include "media/uMediaTypes.h"
#include "viewers/ViewerLinks.h"
#include "viewers/uPlayerForm.h"

class QWidget;

namespace vedalia {

// Creates viewer windows and reaches the desktop; the real one makes the viewer classes,
// tests substitute their own.
class IViewerFactory {
 public:
  virtual ~IViewerFactory() = default;
  // A new, not yet shown viewer window owned by `owner`, reaching out through `links`.
  // May throw.
  virtual TPlayerForm* CreateViewer(QWidget* owner, const TViewerRequest& request,
                                    const TViewerLinks& links) = 0;
  // Hands a document or address to the desktop's "open" handler.
  virtual void OpenWithDesktop(const QString& target) = 0;
  // Whether the platform can play the video file.
  virtual bool CanRender(const QString& path) = 0;
};

// The factory of the real viewer windows.
IViewerFactory& DefaultViewerFactory();

class TPlayerSet : public QObject {
  Q_OBJECT

 public:
  // `mainWindow` owns every viewer window created here. `factory` null: the real viewers.
  // `link` (may be null) is handed to every viewer; it is the main window's own, so that it
  // lives as long as the viewers do.
  explicit TPlayerSet(QWidget* mainWindow, IViewerFactory* factory = nullptr,
                      IMainWindowLink* link = nullptr);
  ~TPlayerSet() override;

  TOpenMediaResult OpenMedia(const QString& FileName, const QString& MediaType,
                             const QString& ObjectName, const QString& UserFolderName);
  // The checks and loading of OpenMedia before any window is touched: kMediaOpened with
  // `request` filled (Kind "browse" for a request the desktop takes), or the failure.
  TOpenMediaResult PrepareRequest(const QString& FileName, const QString& MediaType,
                                  const QString& ObjectName, const QString& UserFolderName,
                                  TViewerRequest& request);
  // A reference to OpenMedia for the viewers that open further items.
  TOpenMediaFunc OnOpenMedia();

  // The viewer windows that exist, in the order they were created (hidden 3D viewers too).
  QList<TPlayerForm*> OpenWindows() const;
  int FirstLeft = 0;
  int FirstTop = 0;

 private:
  TOpenMediaResult openInWindow(const TViewerRequest& request);
  void place(TPlayerForm* window, bool first);
  void forget(QObject* window);

  QWidget* MainWindow;
  IViewerFactory* Factory;
  IMainWindowLink* Link;
  TMediaObjects Catalogue;
  // Entries leave the list when their window closes or is destroyed, so none dangles; the
  // QObject address is kept so that a window being destroyed is matched without a downcast.
  struct TOpenWindow {
    TPlayerForm* form;
    QObject* object;
  };
  QList<TOpenWindow> FOpenWindows;
};

// The position rule for a new viewer window, without a window: `outer` is the window's
// outer size, `centred` where CenterOnWorkArea would put it, `screen` the screen's size.
// Returns the top-left corner; `first` windows also become the remembered position.
QPoint PlaceViewer(bool first, QSize outer, QPoint centred, QSize screen, QPoint& remembered);

}  // namespace vedalia
