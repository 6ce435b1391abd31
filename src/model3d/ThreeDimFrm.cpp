#include "model3d/ThreeDimFrm.h"

#include <QCloseEvent>
#include <QDebug>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>
#include <cmath>
#include <numbers>

#include "desktop/uDesktop.h"
#include "desktop/uServices.h"
#include "media/uDecryptor.h"
#include "misc/uMisc.h"
#include "model3d/ThreeDimButtons.h"
#include "model3d/uMeshView.h"
#include "platform/Log.h"

namespace vedalia {
namespace {

constexpr int kClientWidth = 862;
constexpr int kClientHeight = 606;
constexpr int kModelPanelHeight = 561;
constexpr int kBarHeight = kClientHeight - kModelPanelHeight;
constexpr int kRedrawIntervalMs = 40;
constexpr int kZoomPressMs = 100;
// Rolling only starts this far from the centre, where the angle of a move is meaningful.
constexpr float kRollRadius = 100.0f;

// Turn per timer tick of modes 1..6: angle and screen axis.
struct TTurn {
  float angle, x, y, z;
};
constexpr TTurn kModeTurns[6] = {
    {+4.0f, 0, 0, 1}, {-4.0f, 0, 0, 1}, {+4.0f, 0, 1, 0},
    {-4.0f, 0, 1, 0}, {+4.0f, 1, 0, 0}, {-4.0f, 1, 0, 0},
};

void SetPressed(QFrame* panel, bool pressed) {
  panel->setFrameShape(pressed ? QFrame::Box : QFrame::NoFrame);
}

void AddSeparator(QHBoxLayout* bar, int width) { bar->addSpacing(width); }

}  // namespace

TThreeDimForm::TThreeDimForm(QWidget* owner, const TViewerRequest& request)
    : TPlayerForm(owner, request.ObjectName, request.TypeTitle),
      FFileName(request.MovieName),
      FFolderPath(request.FolderPath) {
  SetCloseAction(TCloseAction::Hide);
  BuildControls();
  RedrawTimer = new QTimer(this);
  RedrawTimer->setInterval(kRedrawIntervalMs);
  connect(RedrawTimer, &QTimer::timeout, this, &TThreeDimForm::RedrawTimerTimer);
  RedrawTimer->start();
  FormCreate();
}

TThreeDimForm::~TThreeDimForm() = default;

void TThreeDimForm::BuildControls() {
  auto* client = new QWidget(this);
  auto* column = new QVBoxLayout(client);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);

  ModelPanel = new QWidget(client);
  ModelPanel->setObjectName(QStringLiteral("ModelPanel"));
  ModelPanel->setFixedSize(kClientWidth, kModelPanelHeight);
  ModelPanel->setCursor(Qt::SizeAllCursor);
  ModelPanel->installEventFilter(this);
  auto* panelLayout = new QVBoxLayout(ModelPanel);
  panelLayout->setContentsMargins(0, 0, 0, 0);
  column->addWidget(ModelPanel);

  ControlesBar = new QFrame(client);
  ControlesBar->setObjectName(QStringLiteral("ControlesBar"));
  ControlesBar->setFixedSize(kClientWidth, kBarHeight);
  ControlesBar->setFrameShape(QFrame::NoFrame);
  ControlesBar->setAutoFillBackground(true);
  QPalette pal = ControlesBar->palette();
  pal.setColor(QPalette::Window, QColor(255, 255, 255));
  ControlesBar->setPalette(pal);
  // Edge lines at top and bottom; the bar itself is white.
  ControlesBar->setStyleSheet(QStringLiteral(
      "#ControlesBar { background: rgb(255, 255, 255); border-top: 1px solid rgb(160, 160, 160);"
      " border-bottom: 1px solid rgb(160, 160, 160); }"));
  auto* bar = new QHBoxLayout(ControlesBar);
  bar->setContentsMargins(0, 5, 0, 5);
  bar->setSpacing(0);

  QLabel *pt, *ppt, *left, *right, *top, *botton, *zoomIn, *zoomOut;
  AddSeparator(bar, 274);
  QFrame* ptPanel = AddPictureButton(bar, 35, int(TButtonSymbol::TurnLeftInPlane), &pt);
  QFrame* pptPanel = AddPictureButton(bar, 34, int(TButtonSymbol::TurnRightInPlane), &ppt);
  AddSeparator(bar, 8);
  QFrame* leftPanel = AddPictureButton(bar, 34, int(TButtonSymbol::AroundVerticalLeft), &left);
  QFrame* rightPanel = AddPictureButton(bar, 34, int(TButtonSymbol::AroundVerticalRight), &right);
  AddSeparator(bar, 8);
  QFrame* topPanel = AddPictureButton(bar, 34, int(TButtonSymbol::AroundHorizontalUp), &top);
  QFrame* bottonPanel =
      AddPictureButton(bar, 34, int(TButtonSymbol::AroundHorizontalDown), &botton);
  AddSeparator(bar, 16);
  QFrame* zoomInPanel =
      AddPictureButton(bar, 34, int(TButtonSymbol::Plus), &zoomIn, &ZoomInImgLocked);
  QFrame* zoomOutPanel =
      AddPictureButton(bar, 34, int(TButtonSymbol::Minus), &zoomOut, &ZoomOutImgLocked);
  AddSeparator(bar, 274);
  bar->addStretch(1);
  column->addWidget(ControlesBar);

  RotImages = {pt, ppt, right, left, botton, top};
  RotPanels = {ptPanel, pptPanel, rightPanel, leftPanel, bottonPanel, topPanel};
  ZoomImages = {zoomIn, zoomOut};
  ZoomPanels = {zoomInPanel, zoomOutPanel};
  for (QLabel* image : RotImages) image->installEventFilter(this);
  for (QLabel* image : ZoomImages) image->installEventFilter(this);

  setCentralWidget(client);
}

QFrame* TThreeDimForm::AddPictureButton(QLayout* bar, int width, int symbol, QLabel** image,
                                        QLabel** locked) {
  auto* panel = new QFrame(ControlesBar);
  panel->setFixedSize(width, kButtonPictureHeight);
  panel->setFrameShadow(QFrame::Plain);
  SetPressed(panel, false);
  auto* grid = new QGridLayout(panel);
  grid->setContentsMargins(0, 0, 0, 0);
  auto makeImage = [&](bool faded) {
    auto* label = new QLabel(panel);
    label->setPixmap(ButtonPicture(static_cast<TButtonSymbol>(symbol), faded));
    label->setScaledContents(true);
    grid->addWidget(label, 0, 0);
    return label;
  };
  *image = makeImage(false);
  // Created after the normal picture, so it lies on top and takes the clicks while visible.
  if (locked) {
    *locked = makeImage(true);
    (*locked)->hide();
  }
  bar->addWidget(panel);
  return panel;
}

void TThreeDimForm::FormCreate() {
  setFixedSize(kClientWidth, kClientHeight);
  CenterOnWorkArea(this);
  QString texturePath = FFolderPath + FFileName.chopped(std::min<qsizetype>(4, FFileName.size())) +
                        QStringLiteral(".bmp");
  // The bitmap's name may differ in letter case from the model's, as any content name may.
  texturePath = ResolveContentFile(texturePath);
  const QString modelPath = FFolderPath + FFileName;
  QString error;
  FView = TMeshView::Create(ModelPanel, modelPath, texturePath, ModelPanel->width(),
                            ModelPanel->height(), ZoomStep * ZoomStep, 1.0f / (ZoomStep * ZoomStep),
                            &error);
  if (!FView) {
    qCWarning(lcModel3d).noquote() << "3D model" << modelPath << "not loaded:" << error;
    AppServices().messages->ShowMessage(this, MessageKind::Warning,
                                        QStringLiteral("Невозможно загрузить 3D модель."));
    // Nothing to show: free the window once its creator has taken it, instead of keeping an
    // empty window that a later request would bring up.
    SetCloseAction(TCloseAction::Free);
    QTimer::singleShot(0, this, [this] { close(); });
    return;
  }
  ModelPanel->layout()->addWidget(FView);
  FView->installEventFilter(this);
  UpdateZoomButtons();
}

void TThreeDimForm::setVisible(bool visible) {
  if (visible && !FView) return;
  TPlayerForm::setVisible(visible);
}

void TThreeDimForm::UpdateZoomButtons() {
  if (!FView) return;
  ZoomInImgLocked->setVisible(!FView->CanZoom(ZoomStep));
  ZoomOutImgLocked->setVisible(!FView->CanZoom(1.0f / ZoomStep));
}

void TThreeDimForm::RedrawTimerTimer() {
  if (!FView) return;
  FView->Draw();
  ControlesBar->update();
  if (FRotationMode >= 1 && FRotationMode <= 6) ApplyRotationMode(FRotationMode);
}

void TThreeDimForm::ApplyRotationMode(int mode) {
  const TTurn& t = kModeTurns[mode - 1];
  FView->Rotate(t.angle, t.x, t.y, t.z);
}

void TThreeDimForm::RotImgClick(QLabel* image) {
  const int i = RotImages.indexOf(image);
  if (!FView || i < 0) return;
  if (FRotationMode == i + 1) {
    FRotationMode = 0;
    SetPressed(RotPanels[i], false);
    return;
  }
  if (FRotationMode > 0) SetPressed(RotPanels[FRotationMode - 1], false);
  SetPressed(RotPanels[i], true);
  FRotationMode = i + 1;
}

void TThreeDimForm::ZoomImgMouseDown(QLabel* image) {
  const int j = ZoomImages.indexOf(image);
  if (!FView || j < 0) return;
  QFrame* panel = ZoomPanels[j];
  SetPressed(panel, true);
  panel->repaint();
  FView->Zoom(j == 0 ? ZoomStep : 1.0f / ZoomStep);
  UpdateZoomButtons();
  // The pressed look stays for a moment; the wait is short enough to block.
  QThread::msleep(kZoomPressMs);
  SetPressed(panel, false);
  panel->repaint();
}

bool TThreeDimForm::eventFilter(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  if (auto* label = qobject_cast<QLabel*>(watched)) {
    if (RotImages.contains(label) && type == QEvent::MouseButtonRelease) {
      auto* me = static_cast<QMouseEvent*>(event);
      if (me->button() == Qt::LeftButton && label->rect().contains(me->position().toPoint()))
        RotImgClick(label);
      return true;
    }
    if (ZoomImages.contains(label) && type == QEvent::MouseButtonPress) {
      ZoomImgMouseDown(label);
      return true;
    }
    return false;
  }
  if (watched == ModelPanel || (FView && watched == FView)) {
    auto* from = static_cast<QWidget*>(watched);
    switch (type) {
      case QEvent::MouseButtonPress:
        ModelMouseDown(static_cast<QMouseEvent*>(event), from);
        return true;
      case QEvent::MouseButtonRelease:
        FDragging = false;
        return true;
      case QEvent::MouseMove:
        ModelMouseMove(static_cast<QMouseEvent*>(event), from);
        return true;
      default:
        break;
    }
  }
  return TPlayerForm::eventFilter(watched, event);
}

void TThreeDimForm::ModelMouseDown(QMouseEvent* event, QWidget* from) {
  if (!FView || event->button() != Qt::LeftButton) return;
  const QPointF pos = from->mapTo(ModelPanel, event->position());
  FPrevX = float(pos.x()) - ModelPanel->width() / 2.0f;
  FPrevY = float(pos.y()) - ModelPanel->height() / 2.0f;
  FDragging = true;
}

void TThreeDimForm::ModelMouseMove(QMouseEvent* event, QWidget* from) {
  if (!FView || !FDragging) return;
  const QPointF pos = from->mapTo(ModelPanel, event->position());
  const float cx = float(pos.x()) - ModelPanel->width() / 2.0f;
  const float cy = float(pos.y()) - ModelPanel->height() / 2.0f;
  const float r0 = std::sqrt(FPrevX * FPrevX + FPrevY * FPrevY);
  const float r1 = std::sqrt(cx * cx + cy * cy);
  // Roll: circling round the centre, far enough out, turns the model in the screen plane.
  if (r0 > kRollRadius && r1 > kRollRadius) {
    const float a =
        std::acos((FPrevX * cx + FPrevY * cy) / (r0 * r1)) * 180.0f / std::numbers::pi_v<float>;
    const float s = (FPrevX * cy - FPrevY * cx >= 0) ? -1.0f : 1.0f;
    if (!std::isnan(a) && a >= -180.0f && a <= 180.0f) FView->Rotate(a, 0, 0, s);
  }
  // Tilt: about the screen axis perpendicular to the move, by half the radial change.
  if (std::fabs(FPrevY - cy) > 1.0f || std::fabs(FPrevX - cx) > 1.0f)
    FView->Rotate(-std::fabs(r1 - r0) / 2.0f, FPrevY - cy, FPrevX - cx, 0.0f);
  FPrevX = cx;
  FPrevY = cy;
}

void TThreeDimForm::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Escape:
      close();
      return;
    case Qt::Key_Left:
      if (FView) FView->Rotate(-RotationStep, 0, 1, 0);
      return;
    case Qt::Key_Right:
      if (FView) FView->Rotate(+RotationStep, 0, 1, 0);
      return;
    case Qt::Key_Up:
      if (FView) FView->Rotate(-RotationStep, 1, 0, 0);
      return;
    case Qt::Key_Down:
      if (FView) FView->Rotate(+RotationStep, 1, 0, 0);
      return;
    default:
      TPlayerForm::keyPressEvent(event);
  }
}

void TThreeDimForm::closeEvent(QCloseEvent* event) {
  if (FRotationMode != 0) {
    SetPressed(RotPanels[FRotationMode - 1], false);
    FRotationMode = 0;
  }
  FDragging = false;
  TPlayerForm::closeEvent(event);
}

void TThreeDimForm::showEvent(QShowEvent* event) {
  TPlayerForm::showEvent(event);
  if (FView) FView->ActivateContext();
  setFocus();
}

void TThreeDimForm::changeEvent(QEvent* event) {
  TPlayerForm::changeEvent(event);
  if (event->type() == QEvent::ActivationChange && isActiveWindow() && FView)
    FView->ActivateContext();
}

}  // namespace vedalia
