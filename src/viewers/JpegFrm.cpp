#include "viewers/JpegFrm.h"

#include <QAction>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QPrinter>
#include <QScreen>
#include <QWidget>

#include "desktop/uDesktop.h"
#include "desktop/uServices.h"
#include "misc/uMisc.h"
#include "viewers/uJpegDecoder.h"

namespace vedalia {

namespace {

// Title bar and borders assumed when neither this window nor its owner shows a frame yet
// (before the first show, or under a display without a window manager).
constexpr int kFallbackFrameHeight = 30;

const QString kLoadFailed = QStringLiteral("Невозможно загрузить изображение.");
const QString kCopyFailed = QStringLiteral("Не удалось скопировать файл.");

}  // namespace

// The client area: paints the picture and forwards the mouse to the viewer.
class TJpegCanvas final : public QWidget {
 public:
  explicit TJpegCanvas(TJpegForm* form) : QWidget(form), FForm(form) {
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    FForm->CanvasPaint(painter);
  }
  void resizeEvent(QResizeEvent*) override { FForm->CanvasResized(); }
  void mousePressEvent(QMouseEvent* e) override { FForm->CanvasMouseDown(e->position().toPoint()); }
  void mouseMoveEvent(QMouseEvent* e) override { FForm->CanvasMouseMove(e->position().toPoint()); }
  void mouseReleaseEvent(QMouseEvent* e) override { FForm->CanvasMouseUp(e->position().toPoint()); }

 private:
  TJpegForm* FForm;
};

TJpegForm::TJpegForm(QWidget* owner, const TViewerRequest& request)
    : TPlayerForm(owner, request.ObjectName, request.TypeTitle),
      FFileName(request.MovieName),
      FFolderPath(request.FolderPath),
      FUserFolderName(request.UserFolderName),
      FContentStream(request.Stream) {
  QPalette pal = palette();
  pal.setColor(QPalette::Window, Qt::white);
  setPalette(pal);
  FCanvas = new TJpegCanvas(this);
  setCentralWidget(FCanvas);
  BuildMenu();
  resize(kDesignWidth, kDesignHeight);
  FormCreate(FContentStream);
}

TJpegForm::~TJpegForm() = default;

QString TJpegForm::SaveFilter() {
  return QStringLiteral("Изображения в формате JPEG (*.jpg);;Все файлы (*.*)");
}

void TJpegForm::BuildMenu() {
  QMenuBar* bar = menuBar();
  mnuFile = bar->addMenu(QStringLiteral("Файл"));
  mnuExit = mnuFile->addAction(QStringLiteral("Выход"));
  mnuExit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_X));
  connect(mnuExit, &QAction::triggered, this, &TJpegForm::mnuExitClick);

  mnuZoom = bar->addMenu(QStringLiteral("Масштаб"));
  mnuZoomIn = mnuZoom->addAction(QStringLiteral("Увеличить изображение"));
  mnuZoomIn->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
  connect(mnuZoomIn, &QAction::triggered, this, &TJpegForm::mnuZoomInClick);
  mnuZoomOut = mnuZoom->addAction(QStringLiteral("Уменьшить изображение"));
  mnuZoomOut->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Y));
  connect(mnuZoomOut, &QAction::triggered, this, &TJpegForm::mnuZoomOutClick);

  mnuSave = bar->addMenu(QStringLiteral("Сохранение"));
  mnuSavePersonal = mnuSave->addAction(QStringLiteral("Сохранить в личную папку"));
  mnuSavePersonal->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
  connect(mnuSavePersonal, &QAction::triggered, this, &TJpegForm::mnuSavePersonalClick);
  mnuSaveOther = mnuSave->addAction(QStringLiteral("Сохранить в ..."));
  mnuSaveOther->setShortcut(QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_S));
  connect(mnuSaveOther, &QAction::triggered, this, &TJpegForm::mnuSaveOtherClick);

  mnuPrint = bar->addAction(QStringLiteral("Печать"));
  connect(mnuPrint, &QAction::triggered, this, &TJpegForm::mnuPrintClick);
}

void TJpegForm::FormCreate(const QByteArray& contentStream) {
  setWindowTitle(TypeTitle());
  FMetrics = MeasureScreen();
  QString error;
  FViewer = TJpegViewer::Create(contentStream, this, FMetrics, &error);
  if (!FViewer) {
    AppServices().messages->ShowMessage(this, MessageKind::Warning, kLoadFailed);
    // Closed once the dispatcher has placed and shown the window and control is back in
    // the event loop.
    QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
    return;
  }
  FLastClient = ClientSize();
  CenterOnWorkArea(this);
  UpdateMenu();
}

TJpegScreenMetrics TJpegForm::MeasureScreen() {
  QWidget* owner = parentWidget();
  QScreen* scr = owner ? owner->screen() : screen();
  if (!scr) scr = QGuiApplication::primaryScreen();
  TJpegScreenMetrics m;
  if (scr) {
    // The work area is the screen without its panels.
    const QRect avail = scr->availableGeometry();
    m.WorkWidth = avail.width();
    m.WorkHeight = avail.height();
  }
  int frame = frameGeometry().height() - geometry().height();
  if (frame <= 0 && owner && owner->isVisible())
    frame = owner->frameGeometry().height() - owner->geometry().height();
  if (frame <= 0) frame = kFallbackFrameHeight;
  m.NonClientHeight = frame + MenuBarHeight();
  return m;
}

int TJpegForm::MenuBarHeight() const {
  const int h = menuBar()->heightForWidth(width());
  return h > 0 ? h : menuBar()->sizeHint().height();
}

TJpegSize TJpegForm::ClientSize() const {
  if (isVisible()) return {FCanvas->width(), FCanvas->height()};
  return {width(), height() - MenuBarHeight()};
}

void TJpegForm::SetClientSize(TJpegSize size) {
  const int bar = menuBar()->heightForWidth(size.Width);
  const QSize outer(size.Width, size.Height + (bar > 0 ? bar : menuBar()->sizeHint().height()));
  if (FFixedSize)
    setFixedSize(outer);
  else
    resize(outer);
}

void TJpegForm::RemoveMaximizeButton() {
  // A picture at full size has nothing to grow into. Windows at smaller steps stay sizeable:
  // window managers offer no maximise button on a fixed-size window, and maximising is how
  // a pupil enlarges the picture one step.
  FFixedSize = true;
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint);
}

bool TJpegForm::IsMaximizedNow() const { return isMaximized(); }

void TJpegForm::RepaintNow() {
  if (FCanvas->isVisible()) FCanvas->repaint();
}

void TJpegForm::Invalidate() { FCanvas->update(); }

void TJpegForm::CanvasPaint(QPainter& painter) {
  if (FViewer) FViewer->Paint(painter);
}

void TJpegForm::CanvasResized() {
  if (FClosing || !FViewer) return;
  const TJpegSize client = ClientSize();
  if (client == FLastClient) return;
  FLastClient = client;
  if (FViewer->Resize()) UpdateMenu();
}

void TJpegForm::changeEvent(QEvent* event) {
  TPlayerForm::changeEvent(event);
  // The window manager may report the new state after the new size: let the viewer see
  // the maximised state change even when the size event came first.
  if (event->type() == QEvent::WindowStateChange && !FClosing && FViewer) {
    FLastClient = ClientSize();
    if (FViewer->Resize()) UpdateMenu();
  }
}

void TJpegForm::CanvasMouseDown(const QPoint& at) {
  if (FViewer) FViewer->MouseDown(at.x(), at.y());
}

void TJpegForm::CanvasMouseMove(const QPoint& at) {
  if (FViewer) FViewer->Pan(at.x(), at.y());
}

void TJpegForm::CanvasMouseUp(const QPoint& at) {
  if (FViewer) FViewer->MouseUp(at.x(), at.y());
}

void TJpegForm::UpdateMenu() {
  if (!FViewer) return;
  const int idx = FViewer->ScaleIndex();
  const int minIdx = FViewer->MinScaleIndex();
  const int maxIdx = FViewer->MaxScaleIndex();
  mnuZoomIn->setEnabled(idx != maxIdx);
  const bool canZoomOut = idx != minIdx;
  mnuZoomOut->setEnabled(canZoomOut);
  // Above the start step the picture can be dragged.
  FCanvas->setCursor(canZoomOut ? Qt::PointingHandCursor : Qt::ArrowCursor);
  mnuZoom->menuAction()->setVisible(!(idx == maxIdx && maxIdx == minIdx));
}

void TJpegForm::mnuExitClick() { close(); }

void TJpegForm::mnuZoomInClick() {
  if (FViewer && FViewer->ZoomIn()) UpdateMenu();
}

void TJpegForm::mnuZoomOutClick() {
  if (FViewer && FViewer->ZoomOut()) UpdateMenu();
}

void TJpegForm::mnuSavePersonalClick() {
  const bool ok = SaveToPersonalFolder(FFolderPath, FFileName, TypeTitle() + "_" + ObjectName(),
                                       FUserFolderName, QStringLiteral("jpg"));
  if (ok) {
    AppServices().messages->ShowMessage(
        this, MessageKind::Information,
        QStringLiteral("Файл успешно скопирован в Вашу личную директорию."));
  } else {
    AppServices().messages->ShowMessage(this, MessageKind::Warning, kCopyFailed);
  }
}

void TJpegForm::mnuSaveOtherClick() {
  QString dir;
  // A name that leads elsewhere falls back to the personal folders' root, never outside.
  const QString personal = PersonalFolderPath(FUserFolderName);
  if (!PersonalFoldersRoot().isEmpty() && !FUserFolderName.isEmpty() && QDir(personal).exists())
    dir = personal;
  QString path = AppServices().fileDialogs->GetSaveFileName(this, QStringLiteral("Сохранить в ..."),
                                                            dir, ObjectName(), SaveFilter());
  if (path.isEmpty()) return;
  // The dialog's default extension.
  if (QFileInfo(path).suffix().isEmpty()) path += QStringLiteral(".jpg");
  if (SaveCopyAs(FFolderPath, FFileName, path, QStringLiteral("jpg"))) {
    AppServices().messages->ShowMessage(this, MessageKind::Information,
                                        QStringLiteral("Файл успешно скопирован"));
  } else {
    AppServices().messages->ShowMessage(this, MessageKind::Warning, kCopyFailed);
  }
}

void TJpegForm::mnuPrintClick() {
  IPrinterService& printers = *AppServices().printers;
  const QStringList names = printers.PrinterNames();
  std::unique_ptr<QPrinter> printer = names.isEmpty() ? nullptr : printers.CreatePrinter(names[0]);
  if (!printer) {
    AppServices().messages->ShowMessage(
        this, MessageKind::Warning,
        QStringLiteral("Принтеров не обнаружено. Перед началом печати требуется установить "
                       "принтер!"));
    return;
  }
  if (!printers.ExecPrintDialog(this, *printer)) return;
  // The job goes to the first printer, whichever one the dialog showed.
  if (printer->outputFormat() == QPrinter::NativeFormat && printer->printerName() != names[0])
    printer->setPrinterName(names[0]);
  const TJpegDecodeResult full = DecodeJpeg(FContentStream, 1, true);
  if (!full.ok()) return;
  PrintPicture(*printer, full.Image);
}

QRect TJpegForm::PrintRect(QSize picture, QSize page) {
  const int iw = picture.width();
  const int ih = picture.height();
  const int pw = page.width();
  const int ph = page.height();
  if (iw <= 0 || ih <= 0) return {};
  // Across orientations the width decides, otherwise the height.
  float r = ((ih > iw) != (ph > pw)) ? static_cast<float>(pw) / static_cast<float>(iw)
                                     : static_cast<float>(ph) / static_cast<float>(ih);
  // That rule alone can push the other side off the page; then both sides must fit.
  if (RoundHalfEven(iw * static_cast<double>(r)) > pw ||
      RoundHalfEven(ih * static_cast<double>(r)) > ph)
    r = std::min(static_cast<float>(pw) / static_cast<float>(iw),
                 static_cast<float>(ph) / static_cast<float>(ih));
  const int right = RoundHalfEven(iw * static_cast<double>(r)) - 20;
  const int bottom = RoundHalfEven(ih * static_cast<double>(r)) - 20;
  if (right <= 10 || bottom <= 10) return {};
  return QRect(10, 10, right - 10, bottom - 10);
}

bool TJpegForm::PrintPicture(QPrinter& printer, const QImage& picture) {
  if (picture.isNull()) return false;
  QPainter painter;
  if (!painter.begin(&printer)) return false;
  const QRect target = PrintRect(picture.size(), QSize(printer.width(), printer.height()));
  if (!target.isEmpty()) {
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    painter.drawImage(target, picture);
  }
  return painter.end();
}

void TJpegForm::closeEvent(QCloseEvent* event) {
  FClosing = true;
  TPlayerForm::closeEvent(event);
}

}  // namespace vedalia
