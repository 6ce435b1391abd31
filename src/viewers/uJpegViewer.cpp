#include "viewers/uJpegViewer.h"

#include <QFont>
#include <QPainter>

#include "viewers/uJpegDecoder.h"

namespace vedalia {

QString TJpegViewer::LoadingText() { return QStringLiteral("загрузка изображения ..."); }

TJpegViewer::TJpegViewer(const QByteArray& content, IJpegWindow* window)
    : FContent(content), FWindow(window) {}

std::unique_ptr<TJpegViewer> TJpegViewer::Create(const QByteArray& content, IJpegWindow* window,
                                                 const TJpegScreenMetrics& metrics,
                                                 QString* error) {
  std::unique_ptr<TJpegViewer> v(new TJpegViewer(content, window));
  TJpegGeometry& g = v->FGeometry;
  g.WorkWidth = metrics.WorkWidth;
  g.WorkHeight = metrics.WorkHeight;
  g.NonClientHeight = metrics.NonClientHeight;
  if (!ReadJpegSize(content, g.FullSize, error)) return nullptr;
  const TJpegSize client = g.FitInitial(window->ClientSize());
  // The whole picture is decoded here, so a corrupt scan is refused before the window shows.
  if (!v->DecodeStep(error)) return nullptr;
  if (g.ScaleIndex == g.MaxScaleIndex) window->RemoveMaximizeButton();
  window->SetClientSize(client);
  v->FWasMaximized = window->IsMaximizedNow();
  return v;
}

bool TJpegViewer::DecodeStep(QString* error) {
  const int step = FGeometry.ScaleIndex;
  if (FImageStep == step) return true;
  // Steps 0 and 1 share the 1/8 decoding.
  if (FImageStep >= 0 && ScaleDenominator(FImageStep) == ScaleDenominator(step)) {
    FImageStep = step;
    return true;
  }
  TJpegDecodeResult r = DecodeJpeg(FContent, ScaleDenominator(step));
  if (!r.ok()) {
    if (error) *error = r.Error;
    return false;
  }
  FImage = std::move(r.Image);
  FImageStep = step;
  return true;
}

bool TJpegViewer::ApplyStep(const TJpegGeometry& previous) {
  FWindow->RepaintNow();
  // The bytes decoded once already, but a larger step may still not fit in memory: then
  // the zoom is refused and the previous view stays.
  const bool decoded = DecodeStep(nullptr);
  if (!decoded) FGeometry = previous;
  FWindow->Invalidate();
  return decoded;
}

bool TJpegViewer::ZoomIn() {
  const TJpegGeometry previous = FGeometry;
  if (!FGeometry.StepUp(FWindow->ClientSize())) return false;
  return ApplyStep(previous);
}

bool TJpegViewer::ZoomOut() {
  const TJpegGeometry previous = FGeometry;
  if (!FGeometry.StepDown(FWindow->ClientSize())) return false;
  return ApplyStep(previous);
}

bool TJpegViewer::Resize() {
  const TJpegSize client = FWindow->ClientSize();
  FGeometry.Reposition('0', client);
  FGeometry.ViewWidth = client.Width;
  FGeometry.ViewHeight = client.Height;
  bool result = false;
  const bool maximized = FWindow->IsMaximizedNow();
  // Maximising a picture at its start step shows it one step larger...
  if (maximized && FGeometry.ScaleIndex == FGeometry.MinScaleIndex &&
      FGeometry.MinScaleIndex < FGeometry.MaxScaleIndex && ZoomIn()) {
    FGeometry.AutoZoomed = true;
    result = true;
  }
  // ...and restoring the window takes that step back.
  if (FWasMaximized && !maximized && FGeometry.AutoZoomed && ZoomOut()) {
    FGeometry.AutoZoomed = false;
    result = true;
  }
  FWasMaximized = maximized;
  FWindow->Invalidate();
  return result;
}

void TJpegViewer::MouseDown(int x, int y) { FGeometry.MouseDown(x, y); }

void TJpegViewer::Pan(int x, int y) {
  if (FGeometry.Pan(x, y)) FWindow->Invalidate();
}

void TJpegViewer::MouseUp(int x, int y) { FGeometry.MouseUp(x, y); }

void TJpegViewer::DrawBackground(QPainter& painter) const {
  const int vw = FGeometry.ViewWidth;
  const int vh = FGeometry.ViewHeight;
  painter.setPen(Qt::black);
  painter.setBrush(Qt::white);
  // The outline lies outside the client area.
  painter.drawRect(QRect(QPoint(-10, -10), QPoint(vw + 10, vh + 10)));
  QFont font = painter.font();
  font.setPointSize(12);
  painter.setFont(font);
  // The point is the text's top-left corner, as the text is placed by its cell.
  const QPoint at(RoundHalfEven(vw / 2.0) - 70, RoundHalfEven(vh / 2.0) - 20);
  painter.drawText(QRect(at, QSize(vw + 100, vh + 100)), Qt::AlignLeft | Qt::AlignTop,
                   LoadingText());
}

void TJpegViewer::Paint(QPainter& painter) const {
  DrawBackground(painter);
  if (FImage.isNull() || FImageStep != FGeometry.ScaleIndex) return;
  const TJpegRect& r = FGeometry.DestRect;
  const QRect target(r.Left, r.Top, r.Width(), r.Height());
  if (target.size() != FImage.size()) painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
  painter.drawImage(target, FImage);
}

}  // namespace vedalia
