#pragma once
// What a viewer window may reach outside itself. Whoever creates the viewer (the player set)
// hands these in; a viewer created without them (tests, tools) has none and its movie's
// requests for them do nothing.

#include <QObject>
#include <QString>
#include <functional>

#include "desktop/uServices.h"

namespace vedalia {

class TFlashPlayerControl;

// The player set's OpenMedia: (file name, media type, object name, user folder name).
using TOpenMediaFunc =
    std::function<TOpenMediaResult(const QString& fileName, const QString& mediaType,
                                   const QString& objectName, const QString& userFolderName)>;

// What a viewer may ask of the main window, which implements this interface.
//
// "compare_geomap" (args = file name|media type):
//   link->ShPlayerFSCommand(viewer, "open_file", args + "|" + ObjectName);
// runs the main movie's own "open_file" for the user logged in at the main window.
//
// "gotoRulers" (args = ruler id):
//   link->MainPlayer()->GotoFrame(6);
//   link->MainPlayer()->SetFlashVars("ChangeActiveRuler=" + args);
//   link->ShowMainWindow();
// and then the viewer closes itself.
class IMainWindowLink {
 public:
  virtual ~IMainWindowLink() = default;
  // Runs the main movie's command handler as if the main movie had raised the command.
  // `sender` is the window asking (for the record; the handler answers the main movie).
  virtual void ShPlayerFSCommand(QObject* sender, const QString& command, const QString& args) = 0;
  // The main window's player control (never null while the main window exists).
  virtual TFlashPlayerControl* MainPlayer() = 0;
  // Shows the main window (and raises it).
  virtual void ShowMainWindow() = 0;
};

struct TViewerLinks {
  TOpenMediaFunc OpenMedia{};  // opens further items; empty: none
  // Null: no main window. The link must outlive the viewer, so it is the window that owns the
  // viewer (or lives longer than it).
  IMainWindowLink* MainWindow = nullptr;
};

}  // namespace vedalia
