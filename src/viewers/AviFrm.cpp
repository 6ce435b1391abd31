#include "viewers/AviFrm.h"

#include <QAction>
#include <QCloseEvent>
#include <QKeySequence>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QResizeEvent>
#include <QShowEvent>
#include <QWidget>
#include <algorithm>
#include <cstdint>
#include <limits>

namespace vedalia {

int ProportionalWindowHeight(int videoWidth, int videoHeight, int extraWidth, int extraHeight,
                             int newWidth) {
  // Exact integer arithmetic: a double would misjudge halves for large sizes.
  const std::int64_t clientWidth = std::max<std::int64_t>(std::int64_t{newWidth} - extraWidth, 0);
  const std::int64_t numerator = std::int64_t{videoHeight} * clientWidth;
  std::int64_t denominator = videoWidth;
  std::int64_t quotient = numerator / denominator;
  std::int64_t remainder = numerator % denominator;
  if (denominator < 0) {
    denominator = -denominator;
    remainder = -remainder;
    quotient = -quotient;
  }
  // Here numerator/denominator == quotient + remainder/denominator with |remainder| < denominator.
  if (2 * remainder > denominator || (2 * remainder == denominator && quotient % 2 != 0))
    ++quotient;
  else if (-2 * remainder > denominator || (-2 * remainder == denominator && quotient % 2 != 0))
    --quotient;
  const std::int64_t height = quotient + extraHeight;
  return static_cast<int>(std::clamp<std::int64_t>(height, std::numeric_limits<int>::min(),
                                                   std::numeric_limits<int>::max()));
}

TAviForm::TAviForm(QWidget* owner, const TViewerRequest& request)
    : TPlayerForm(owner, request.ObjectName, request.TypeTitle),
      FFrameWidth(request.FrameWidth),
      FFrameHeight(request.FrameHeight) {
  mnuFile = menuBar()->addMenu(QStringLiteral("Файл"));
  mnuExit = mnuFile->addAction(QStringLiteral("Выход"));
  mnuExit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_X));
  mnuVideo = menuBar()->addMenu(QStringLiteral("Видео"));
  mnuPlay = mnuVideo->addAction(QStringLiteral("Играть"));
  mnuPlay->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_G));
  mnuPause = mnuVideo->addAction(QStringLiteral("Пауза"));
  mnuPause->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
  mnuStop = mnuVideo->addAction(QStringLiteral("Стоп"));
  mnuStop->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
  connect(mnuExit, &QAction::triggered, this, &TAviForm::mnuExitClick);
  connect(mnuPlay, &QAction::triggered, this, &TAviForm::mnuPlayClick);
  connect(mnuPause, &QAction::triggered, this, &TAviForm::mnuPauseClick);
  connect(mnuStop, &QAction::triggered, this, &TAviForm::mnuStopClick);

  FClient = new QWidget(this);
  setCentralWidget(FClient);
  resize(696, 480);

  FPlayer = std::make_unique<TVideoViewer>(FClient, request.FolderPath + request.MovieName);
  MeasureExtras();
  FFollowing = true;
  if (FPlayer->IsBuilt()) {
    resize(FPlayer->VideoWidth + FExtraWidth - FrameOnlyWidth(),
           FPlayer->VideoHeight + FExtraHeight - FrameOnlyHeight());
  } else {
    // Nothing to show: only the frame and the menu remain, wide enough to read the menu.
    resize(menuBar()->sizeHint().width(), FExtraHeight - FrameOnlyHeight());
  }
  FFollowing = false;
  FPlayer->Play();
  FormCreate();
}

TAviForm::~TAviForm() = default;

void TAviForm::FormCreate() {
  if (!FPlayer) {
    close();
    return;
  }
  setWindowTitle(TypeTitle());
  MeasureExtras();
}

int TAviForm::FrameOnlyWidth() const { return frameGeometry().width() - width(); }

int TAviForm::FrameOnlyHeight() const { return frameGeometry().height() - height(); }

void TAviForm::MeasureExtras() {
  // Worked out from the menu bar rather than from the client widget: the main window layout
  // leaves a client of no size where it was, and it lays out nothing before the first show.
  const QMenuBar* bar = menuBar();
  int menuHeight = 0;
  if (!bar->isHidden()) {
    menuHeight = bar->heightForWidth(std::max(width(), bar->minimumWidth()));
    if (menuHeight < 0) menuHeight = bar->sizeHint().height();
  }
  FExtraWidth = FrameOnlyWidth();
  FExtraHeight = FrameOnlyHeight() + menuHeight;
  // Place the client now, so that it has the video's size before the first show too.
  if (layout() != nullptr) {
    layout()->invalidate();
    layout()->activate();
  }
}

void TAviForm::showEvent(QShowEvent* event) {
  TPlayerForm::showEvent(event);
  // Restoring a minimised window is a spontaneous show: a paused video stays paused.
  if (FPlayer && !event->spontaneous()) FPlayer->Play();
}

void TAviForm::closeEvent(QCloseEvent* event) {
  TPlayerForm::closeEvent(event);
  if (event->isAccepted()) FPlayer.reset();
}

void TAviForm::resizeEvent(QResizeEvent* event) {
  TPlayerForm::resizeEvent(event);
  FollowVideoProportions();
}

void TAviForm::FollowVideoProportions() {
  if (FFollowing || !FPlayer || FPlayer->VideoHeight == 0 || FPlayer->VideoWidth == 0) return;
  if (windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen)) {
    // The desktop decides this size; the video fills the client, keeping its proportions inside.
    FPlayer->SetVideoWidth(FClient->width());
    FPlayer->SetVideoHeight(FClient->height());
    return;
  }
  MeasureExtras();
  // Qt sizes a window without its frame; the rule works on the outer size, so the frame is
  // added here and taken off again for the resize.
  const int newWidth = width() + FrameOnlyWidth();
  const int newHeight = ProportionalWindowHeight(FPlayer->VideoWidth, FPlayer->VideoHeight,
                                                 FExtraWidth, FExtraHeight, newWidth);
  FPlayer->SetVideoHeight(newHeight - FExtraHeight);
  FPlayer->SetVideoWidth(newWidth - FExtraWidth);
  const int targetHeight = newHeight - FrameOnlyHeight();
  if (targetHeight != height()) {
    FFollowing = true;
    resize(width(), targetHeight);
    FFollowing = false;
  }
}

void TAviForm::mnuExitClick() { close(); }

void TAviForm::mnuPlayClick() {
  if (FPlayer) FPlayer->Play();
}

void TAviForm::mnuPauseClick() {
  if (FPlayer) FPlayer->Pause();
}

void TAviForm::mnuStopClick() {
  if (FPlayer) FPlayer->Stop();
}

}  // namespace vedalia
