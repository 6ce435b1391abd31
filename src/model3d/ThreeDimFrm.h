#pragma once
// The viewer window of a 3D model: the model turning in front of a fixed camera, a toolbar of
// rotation and zoom buttons, arrow keys and mouse dragging. Closing only hides it.

#include <QList>
#include <QString>

#include "viewers/uPlayerForm.h"

class QFrame;
class QLabel;
class QTimer;
class QMouseEvent;

namespace vedalia {

class TMeshView;

class TThreeDimForm : public TPlayerForm {
  Q_OBJECT

 public:
  static constexpr float ZoomStep = 1.3f;
  static constexpr float RotationStep = 4.0f;

  // Loads FolderPath + MovieName (and the bitmap of the same name beside it, when there is
  // one). On failure the window tells the user, never shows and closes itself (freed) right
  // after.
  TThreeDimForm(QWidget* owner, const TViewerRequest& request);
  ~TThreeDimForm() override;

  // Null when the model could not be loaded.
  TMeshView* View() const { return FView; }
  int RotationMode() const { return FRotationMode; }
  bool Dragging() const { return FDragging; }
  const QString& FileName() const { return FFileName; }
  const QString& FolderPath() const { return FFolderPath; }

  QWidget* ModelPanel = nullptr;
  QFrame* ControlesBar = nullptr;
  QTimer* RedrawTimer = nullptr;
  QLabel* ZoomInImgLocked = nullptr;
  QLabel* ZoomOutImgLocked = nullptr;
  // In the order PT, PPT, Right, Left, Botton, Top.
  QList<QLabel*> RotImages;
  QList<QFrame*> RotPanels;
  // Zoom in, zoom out.
  QList<QLabel*> ZoomImages;
  QList<QFrame*> ZoomPanels;

  void setVisible(bool visible) override;

 public slots:
  void RotImgClick(QLabel* image);
  void ZoomImgMouseDown(QLabel* image);
  void RedrawTimerTimer();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void BuildControls();
  QFrame* AddPictureButton(QLayout* bar, int width, int symbol, QLabel** image,
                           QLabel** locked = nullptr);
  void FormCreate();
  void UpdateZoomButtons();
  void ModelMouseDown(QMouseEvent* event, QWidget* from);
  void ModelMouseMove(QMouseEvent* event, QWidget* from);
  void ApplyRotationMode(int mode);

  QString FFileName;
  QString FFolderPath;
  TMeshView* FView = nullptr;
  float FPrevX = 0.0f;
  float FPrevY = 0.0f;
  int FRotationMode = 0;
  bool FDragging = false;
};

}  // namespace vedalia
