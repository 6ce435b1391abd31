#pragma once
// What a viewer window may ask of the main window. The main window (TMainForm) implements
// this interface; a viewer finds it through its owner:
//   auto* link = dynamic_cast<IMainWindowLink*>(owner);   // null in a test without one
//
// "compare_geomap" (args = file name|media type):
//   link->ShPlayerFSCommand(this, "open_file", args + "|" + ObjectName);
// runs the main movie's own "open_file" for the user logged in at the main window.
//
// "gotoRulers" (args = ruler id):
//   link->MainPlayer()->GotoFrame(6);
//   link->MainPlayer()->SetFlashVars("ChangeActiveRuler=" + args);
//   link->ShowMainWindow();
// and then the viewer closes itself.

#include <QObject>
#include <QString>

namespace vedalia {

class TFlashPlayerControl;

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

}  // namespace vedalia
