#pragma once
// The Flash movie viewer: one media item's movie (or the template movie showing an XML
// item) in a window of its own, answering the movie's own commands: copying the item's
// companion document or picture, printing the window, keeping the movie's data in Flash
// data files, opening further items and steering the main window.

#include <QBuffer>
#include <QByteArray>
#include <QRect>
#include <QSize>
#include <QString>

#include "desktop/uServices.h"
#include "viewers/SaveAndLoadInf.h"
#include "viewers/ViewerLinks.h"
#include "viewers/uPlayerForm.h"

class QPrinter;

namespace vedalia {

class TFlashPlayerControl;

// ---- Rules of the window, kept apart so they can be checked without one --------------------

// Client size: the fixed frame, or the movie's stage variables when they both hold positive
// whole numbers, else the frame again.
QSize SwfClientSize(bool fixedSize, int frameWidth, int frameHeight, const QString& stageWidth,
                    const QString& stageHeight);

// The folder name of a type folder path ("/c/data/photo/" -> "photo").
QString TypeFolderName(const QString& folderPath);

// The window's client area (w x h) fitted into a page: as tall as the page unless that makes
// it wider than the page, then as wide as the page. Placed at the page's top-left corner.
// Empty for an empty client area.
QRect PrintedImageRect(const QSize& client, const QSize& page);

// "open_file" arguments: file name, media type and object name separated by single blanks;
// missing pieces are empty.
struct TOpenFileArgs {
  QString fileName;
  QString mediaType;
  QString objectName;
};
TOpenFileArgs SplitOpenFileArgs(const QString& args);

// ---- The window ------------------------------------------------------------------------------

class TSwfForm : public TPlayerForm {
  Q_OBJECT

 public:
  // The save dialog of "save_other", kept for the window's life.
  struct TSaveDialogSettings {
    QString defaultExt;
    QString filter;  // Qt syntax
    QString fileName;
  };

  // Plays `request.Stream`; SuggestName presets the save dialog's name and is not kept.
  // `links`: how the movie opens further items and steers the main window.
  TSwfForm(QWidget* owner, TViewerLinks links, const TViewerRequest& request);
  ~TSwfForm() override;

  // How long a new window listens for its movie's first frame (tests shorten it).
  static void SetStageWait(int ms);

  TFlashPlayerControl* ShPlayer() const { return FShPlayer; }
  const TSaveDialogSettings& sdSaveOther() const { return FSaveOther; }

  const QString& MovieName() const { return FMovieName; }
  const QString& FolderPath() const { return FFolderPath; }
  const QString& ContentName() const { return FContentName; }
  const QString& UserFolderName() const { return FUserFolderName; }
  const QString& SaveExtension() const { return FSaveExtension; }
  bool FixedSize() const { return FFixedSize; }
  int FrameWidth() const { return FFrameWidth; }
  int FrameHeight() const { return FFrameHeight; }

 public slots:
  void ShPlayerFSCommand(vedalia::TFlashPlayerControl* sender, const QString& command,
                         const QString& args);
  void ShPlayerFlashCall(vedalia::TFlashPlayerControl* sender, const QString& request);

 private:
  void FormCreate();
  // Sizes the client area from the movie's stage variables (or the frame).
  void TakeStageSize();
  void Reply(const QString& text);
  TReplySink Sink();
  QString PersonalFolder() const;

  void SaveCompanion(const QString& targetName, const QString& ext);
  void SaveOther();
  void OpenFile(const QString& args);
  void Print();
  void PrintPage();
  bool PrintClientArea(QPrinter& printer);
  void CompareGeomap(const QString& args);
  void GotoRulers(const QString& args);

  TFlashPlayerControl* FShPlayer = nullptr;
  TSaveDialogSettings FSaveOther;
  TViewerLinks FLinks;
  QString FMovieName;
  QString FFolderPath;
  QString FContentName;
  QByteArray FStreamBytes;
  QBuffer FStream;
  QString FUserFolderName;
  QString FSaveExtension;
  bool FFixedSize;
  int FFrameWidth;
  int FFrameHeight;
};

}  // namespace vedalia
