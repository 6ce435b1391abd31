#pragma once
// The picture shown in a viewer window: decoded at the current scale step, sized, zoomed
// and panned by the rules of TJpegGeometry, painted into the window's client area.

#include <QByteArray>
#include <QImage>
#include <QString>
#include <memory>

#include "viewers/uJpegGeometry.h"

class QPainter;

namespace vedalia {

// What the viewer needs of its window; the picture window implements it, tests fake it.
class IJpegWindow {
 public:
  virtual ~IJpegWindow() = default;
  virtual TJpegSize ClientSize() const = 0;
  virtual void SetClientSize(TJpegSize size) = 0;
  // A picture shown at full size cannot grow: the window drops its maximise button.
  virtual void RemoveMaximizeButton() = 0;
  // True while the window is maximised.
  virtual bool IsMaximizedNow() const = 0;
  // Paint at once (the background shows while the next step decodes) / schedule a paint.
  virtual void RepaintNow() = 0;
  virtual void Invalidate() = 0;
};

// Screen and frame measured by the window once, at creation.
struct TJpegScreenMetrics {
  int WorkWidth = 0;
  int WorkHeight = 0;
  int NonClientHeight = 0;
};

class TJpegViewer {
 public:
  // Reads and decodes `content` at the start step and fits `window` to it. Null (with
  // `error`) when the bytes do not decode as a JPEG picture.
  static std::unique_ptr<TJpegViewer> Create(const QByteArray& content, IJpegWindow* window,
                                             const TJpegScreenMetrics& metrics,
                                             QString* error = nullptr);

  // Draws the background with its text and the picture stretched into DestRect.
  void Paint(QPainter& painter) const;
  bool ZoomIn();
  bool ZoomOut();
  // Called on every client-size change; true when the step changed.
  bool Resize();
  void MouseDown(int x, int y);
  void Pan(int x, int y);
  void MouseUp(int x, int y);

  const TJpegGeometry& Geometry() const { return FGeometry; }
  int ScaleIndex() const { return FGeometry.ScaleIndex; }
  int MinScaleIndex() const { return FGeometry.MinScaleIndex; }
  int MaxScaleIndex() const { return FGeometry.MaxScaleIndex; }
  // The picture decoded at the current step.
  const QImage& Image() const { return FImage; }

  // The text shown while a step decodes and beside a picture smaller than the window.
  static QString LoadingText();

 private:
  TJpegViewer(const QByteArray& content, IJpegWindow* window);
  // Decodes the content at the current step; false when decoding fails.
  bool DecodeStep(QString* error);
  // After a step change: show the background, decode, repaint. False (and `previous`
  // restored) when the new step cannot be decoded.
  bool ApplyStep(const TJpegGeometry& previous);
  void DrawBackground(QPainter& painter) const;

  QByteArray FContent;
  IJpegWindow* FWindow;
  TJpegGeometry FGeometry;
  QImage FImage;
  int FImageStep = -1;  // the step FImage was decoded at (-1: none)
  bool FWasMaximized = false;
};

}  // namespace vedalia
