#pragma once
// The picture window: shows a JPEG picture in scale steps, zooms, pans, saves plain copies
// and prints.

#include <QByteArray>
#include <QString>
#include <memory>

#include "viewers/uJpegViewer.h"
#include "viewers/uPlayerForm.h"

class QAction;
class QMenu;
class QPainter;
class QPrinter;
class QRect;
class QSize;
class QWidget;

namespace vedalia {

class TJpegForm : public TPlayerForm, private IJpegWindow {
  Q_OBJECT

 public:
  // Designed client size before the picture is fitted.
  static constexpr int kDesignWidth = 870;
  static constexpr int kDesignHeight = 640;

  // The window decodes `request.Stream` at once; when it does not decode, it shows
  // "Невозможно загрузить изображение." and closes itself once the event loop runs.
  TJpegForm(QWidget* owner, const TViewerRequest& request);
  ~TJpegForm() override;

  // Null when loading failed.
  TJpegViewer* Viewer() const { return FViewer.get(); }
  bool Closing() const { return FClosing; }
  const QString& FileName() const { return FFileName; }
  const QString& FolderPath() const { return FFolderPath; }
  const QString& UserFolderName() const { return FUserFolderName; }
  // The widget the picture is drawn in (the client area below the menu bar).
  QWidget* Canvas() const { return FCanvas; }
  // Screen and frame measured at creation.
  const TJpegScreenMetrics& Metrics() const { return FMetrics; }

  QMenu* mnuFile = nullptr;
  QAction* mnuExit = nullptr;
  QMenu* mnuZoom = nullptr;
  QAction* mnuZoomIn = nullptr;
  QAction* mnuZoomOut = nullptr;
  QMenu* mnuSave = nullptr;
  QAction* mnuSavePersonal = nullptr;
  QAction* mnuSaveOther = nullptr;
  QAction* mnuPrint = nullptr;

  // The dialog's filter and default extension.
  static QString SaveFilter();

  // Where a picture of `picture` pixels lands on a printable area of `page` pixels: scaled
  // to the page (across orientations by the width, otherwise by the height, never beyond
  // the page), from (10, 10) to the scaled size less 20. Empty when the page is too small.
  static QRect PrintRect(QSize picture, QSize page);
  // Draws `picture` on `printer`'s page by the page-fitting rule with the 10-pixel margin.
  // False when painting could not begin.
  static bool PrintPicture(QPrinter& printer, const QImage& picture);

 public slots:
  void mnuExitClick();
  void mnuZoomInClick();
  void mnuZoomOutClick();
  void mnuSavePersonalClick();
  void mnuSaveOtherClick();
  void mnuPrintClick();
  void UpdateMenu();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  friend class TJpegCanvas;

  void BuildMenu();
  void FormCreate(const QByteArray& contentStream);
  TJpegScreenMetrics MeasureScreen();
  int MenuBarHeight() const;
  // Canvas events.
  void CanvasPaint(QPainter& painter);
  void CanvasResized();
  void CanvasMouseDown(const QPoint& at);
  void CanvasMouseMove(const QPoint& at);
  void CanvasMouseUp(const QPoint& at);

  // IJpegWindow
  TJpegSize ClientSize() const override;
  void SetClientSize(TJpegSize size) override;
  void RemoveMaximizeButton() override;
  bool IsMaximizedNow() const override;
  void RepaintNow() override;
  void Invalidate() override;

  QString FFileName;
  QString FFolderPath;
  QString FUserFolderName;
  std::unique_ptr<TJpegViewer> FViewer;
  QByteArray FContentStream;
  bool FClosing = false;
  bool FFixedSize = false;
  QWidget* FCanvas = nullptr;
  TJpegScreenMetrics FMetrics;
  TJpegSize FLastClient;
};

}  // namespace vedalia
