#pragma once
// The video viewer window: a sizeable window with a File and a Video menu whose client area is
// exactly the video, and which keeps the video's proportions when the user resizes it.

#include <QString>
#include <memory>

#include "viewers/uPlayerForm.h"
#include "viewers/uVideoViewer.h"

class QAction;
class QMenu;
class QWidget;

namespace vedalia {

// The outer window height that gives a window `newWidth` wide a client area in the video's
// proportions: Round(videoHeight * (newWidth - extraWidth) / videoWidth) + extraHeight, rounding
// halves to even. A client width below 0 counts as 0. `videoWidth` must not be 0.
int ProportionalWindowHeight(int videoWidth, int videoHeight, int extraWidth, int extraHeight,
                             int newWidth);

class TAviForm : public TPlayerForm {
  Q_OBJECT

 public:
  // Plays FolderPath + MovieName; the window takes the video's size and plays before it is
  // shown. The frame size is kept as received; the video decides the window's size.
  TAviForm(QWidget* owner, const TViewerRequest& request);
  ~TAviForm() override;

  // Menu, as designed.
  QMenu* mnuFile = nullptr;
  QAction* mnuExit = nullptr;
  QMenu* mnuVideo = nullptr;
  QAction* mnuPlay = nullptr;
  QAction* mnuPause = nullptr;
  QAction* mnuStop = nullptr;

  // Null once the window has closed.
  TVideoViewer* Player() const { return FPlayer.get(); }
  // Window size minus client size: frame, caption and menu bar.
  int ExtraWidth() const { return FExtraWidth; }
  int ExtraHeight() const { return FExtraHeight; }
  int FrameWidth() const { return FFrameWidth; }
  int FrameHeight() const { return FFrameHeight; }
  // The area below the menu bar that holds the video.
  QWidget* Client() const { return FClient; }

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void FormCreate();
  void mnuExitClick();
  void mnuPlayClick();
  void mnuPauseClick();
  void mnuStopClick();
  void MeasureExtras();
  int FrameOnlyWidth() const;
  int FrameOnlyHeight() const;
  void FollowVideoProportions();

  QWidget* FClient = nullptr;
  std::unique_ptr<TVideoViewer> FPlayer;
  int FExtraWidth = 0;
  int FExtraHeight = 0;
  int FFrameWidth = 0;
  int FFrameHeight = 0;
  bool FFollowing = false;
};

}  // namespace vedalia
