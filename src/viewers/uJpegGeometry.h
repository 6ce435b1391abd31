#pragma once
// Sizing, zooming and panning of a picture shown in discrete decoder scale steps. Pure
// arithmetic on the client area, so that the rules run (and are tested) without a window.

#include <cstdint>

namespace vedalia {

struct TJpegSize {
  int Width = 0;
  int Height = 0;
  friend bool operator==(const TJpegSize&, const TJpegSize&) = default;
};

struct TJpegRect {
  int Left = 0;
  int Top = 0;
  int Right = 0;
  int Bottom = 0;
  int Width() const { return Right - Left; }
  int Height() const { return Bottom - Top; }
  friend bool operator==(const TJpegRect&, const TJpegRect&) = default;
};

// Steps 1..4 decode at 1/8, 1/4, 1/2, 1/1; step 0 (too large even at 1/8) decodes at 1/8.
inline constexpr int kMaxScaleIndex = 4;
int ScaleDenominator(int step);
// The picture size at `step` as the decoder gives it: the full size divided by the
// denominator, rounded up.
TJpegSize ScaledSize(TJpegSize full, int step);

// Nearest integer, halves to the even neighbour; infinities and NaN are clamped to the
// int range (0 for NaN) instead of overflowing.
int RoundHalfEven(double value);

// The state of one view. Field names follow the viewer's; the window-facing operations
// take the current client size and the picture size at the current step as arguments.
class TJpegGeometry {
 public:
  int WorkWidth = 0;   // usable screen width (screen minus a vertical taskbar)
  int WorkHeight = 0;  // usable screen height (screen minus a horizontal taskbar)
  int ViewWidth = 0;   // client size at the last fit or resize
  int ViewHeight = 0;
  int NonClientHeight = 0;  // window height minus client height
  TJpegSize FullSize;       // the picture at 1/1
  std::uint8_t ScaleIndex = 0;
  std::uint8_t MaxScaleIndex = kMaxScaleIndex;
  std::uint8_t MinScaleIndex = 0;
  bool AutoZoomed = false;
  TJpegRect DestRect;
  bool Dragging = false;
  int DownX = 0;
  int DownY = 0;
  int OffsetX = 0;
  int OffsetY = 0;

  // The picture size at the current step.
  TJpegSize PictureSize() const { return ScaledSize(FullSize, ScaleIndex); }

  // The largest step whose picture, with the frame and 2 pixels to spare, fits the usable
  // screen; 0 when not even 1/8 does.
  int ChooseScale() const;

  // The client size for a picture too large even at 1/8, preserving its aspect ratio;
  // `current` when no axis overflows.
  TJpegSize FitTooLarge(TJpegSize current) const;

  // Chooses the start step and returns the client size the window must take. Sets
  // ScaleIndex, MinScaleIndex, ViewWidth/ViewHeight (the returned size) and DestRect.
  TJpegSize FitInitial(TJpegSize currentClient);

  // Places DestRect after a zoom ('+', '-') or a resize ('0') for client size `client`.
  // Returns true when the picture no longer covers the client area (the background shows).
  bool Reposition(char mode, TJpegSize client);

  // One step up or down; false (nothing changed) at the limit.
  bool StepUp(TJpegSize client);
  bool StepDown(TJpegSize client);

  // Dragging with any button; dragging exists only above the start step.
  void MouseDown(int x, int y);
  // True when DestRect changed (the window must repaint).
  bool Pan(int x, int y);
  void MouseUp(int x, int y);

 private:
  // One axis of Pan: picture extent `size`, view extent `view`, pointer `pos`.
  static void PanAxis(int pos, int size, int view, int& down, int& offset, int& low, int& high);
};

}  // namespace vedalia
