#include "viewers/uJpegGeometry.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace vedalia {

int ScaleDenominator(int step) {
  switch (step) {
    case 4:
      return 1;
    case 3:
      return 2;
    case 2:
      return 4;
    default:
      return 8;
  }
}

TJpegSize ScaledSize(TJpegSize full, int step) {
  const int d = ScaleDenominator(step);
  return {(full.Width + d - 1) / d, (full.Height + d - 1) / d};
}

int RoundHalfEven(double value) {
  if (std::isnan(value)) return 0;
  // The geometry may divide by zero on a degenerate screen; keep the result an int.
  if (value >= static_cast<double>(std::numeric_limits<int>::max()))
    return std::numeric_limits<int>::max();
  if (value <= static_cast<double>(std::numeric_limits<int>::min()))
    return std::numeric_limits<int>::min();
  const double lower = std::floor(value);
  const double frac = value - lower;
  double r = lower;
  if (frac > 0.5 || (frac == 0.5 && std::fmod(lower, 2.0) != 0.0)) r = lower + 1.0;
  return static_cast<int>(r);
}

namespace {

// One axis of a picture at [low, high) in a view of `view` pixels: a gap at the low edge is
// closed by moving the picture there, else one at the high edge.
void CloseGap(int view, int& low, int& high) {
  if (low > 0) {
    high -= low;
    low = 0;
  } else if (view > high) {
    low += view - high;
    high = view;
  }
}

}  // namespace

int TJpegGeometry::ChooseScale() const {
  int result = 0;
  // Later (smaller) n overwrite earlier ones, so the largest fitting step wins.
  for (int n = 3; n >= 0; --n) {
    const double h = static_cast<double>(FullSize.Height) / (1 << n);
    const double w = static_cast<double>(FullSize.Width) / (1 << n);
    if (WorkHeight > h + NonClientHeight + 2 && WorkWidth > w + 2) result = 4 - n;
  }
  return result;
}

TJpegSize TJpegGeometry::FitTooLarge(TJpegSize current) const {
  const TJpegSize p = ScaledSize(FullSize, 0);
  const double w = p.Width;
  const double h = p.Height;
  auto byWidth = [&] {
    const int cw = WorkWidth - 2;
    return TJpegSize{cw, RoundHalfEven(h * cw / w)};
  };
  auto byHeight = [&] {
    const int ch = WorkHeight - NonClientHeight;
    return TJpegSize{RoundHalfEven(w * ch / h), ch};
  };
  const bool tall = p.Height > WorkHeight;
  const bool wide = p.Width > WorkWidth;
  if (!tall && wide) return byWidth();
  if (tall && !wide) return byHeight();
  if (tall && wide) {
    const double screenRatio = static_cast<double>(WorkHeight) / WorkWidth;
    return h / w > screenRatio ? byHeight() : byWidth();
  }
  return current;
}

TJpegSize TJpegGeometry::FitInitial(TJpegSize currentClient) {
  const int s = ChooseScale();
  MinScaleIndex = static_cast<std::uint8_t>(s);
  TJpegSize client = currentClient;
  if (s == 0) {
    ScaleIndex = 0;
    client = FitTooLarge(currentClient);
  } else {
    ScaleIndex = static_cast<std::uint8_t>(s);
    client = PictureSize();
  }
  // The view is the window's client area from the start: panning before any resize measures
  // against it (a zero view would let a drag push the picture out of the window).
  ViewWidth = client.Width;
  ViewHeight = client.Height;
  DestRect = {0, 0, client.Width, client.Height};
  return client;
}

bool TJpegGeometry::Reposition(char mode, TJpegSize client) {
  const int cw = client.Width;
  const int ch = client.Height;
  const TJpegSize pic = PictureSize();
  bool background = false;
  TJpegRect r = DestRect;
  if (ScaleIndex == MinScaleIndex && pic.Width == ViewWidth) {
    r = {0, 0, cw, ch};
  } else {
    // Zoom about the client centre c: the picture point under c lies (c - left) pixels in
    // from the left edge; after doubling it lies 2 (c - left) in, and for it to stay under c
    // the new edge is left' = c - 2 (c - left) = (left - c) * 2 + c. Halving likewise.
    if (mode == '+') {
      r.Left = RoundHalfEven((r.Left - cw / 2.0) * 2 + cw / 2.0);
      r.Top = RoundHalfEven((r.Top - ch / 2.0) * 2 + ch / 2.0);
    } else if (mode == '-') {
      r.Left = RoundHalfEven((r.Left - cw / 2.0) / 2 + cw / 2.0);
      r.Top = RoundHalfEven((r.Top - ch / 2.0) / 2 + ch / 2.0);
    }
    r.Right = r.Left + pic.Width;
    r.Bottom = r.Top + pic.Height;
    if (pic.Width < cw) {
      r.Left = RoundHalfEven((cw - pic.Width) / 2.0);
      r.Right = r.Left + pic.Width;
      r.Top = RoundHalfEven((ch - pic.Height) / 2.0);
      r.Bottom = r.Top + pic.Height;
      background = true;
    } else {
      CloseGap(cw, r.Left, r.Right);
      CloseGap(ch, r.Top, r.Bottom);
    }
  }
  DestRect = r;
  OffsetX = r.Left;
  OffsetY = r.Top;
  return background || r.Left > 0 || r.Top > 0 || r.Right < cw || r.Bottom < ch;
}

bool TJpegGeometry::StepUp(TJpegSize client) {
  if (ScaleIndex >= MaxScaleIndex) return false;
  ++ScaleIndex;
  Reposition('+', client);
  return true;
}

bool TJpegGeometry::StepDown(TJpegSize client) {
  if (ScaleIndex <= MinScaleIndex) return false;
  --ScaleIndex;
  Reposition('-', client);
  return true;
}

void TJpegGeometry::MouseDown(int x, int y) {
  if (ScaleIndex == MinScaleIndex) return;
  Dragging = true;
  DownX = x;
  DownY = y;
}

void TJpegGeometry::PanAxis(int pos, int size, int view, int& down, int& offset, int& low,
                            int& high) {
  const int l = pos - down + offset;
  // Smaller than the view it stays wholly inside, larger it never leaves a gap at an edge:
  // either way its low edge lies between 0 and view - size. A stop restarts the drag there.
  if (size != view) {
    const int least = std::min(0, view - size);
    const int most = std::max(0, view - size);
    if (l < least || l > most) {
      low = offset = l < least ? least : most;
      down = pos;
    } else {
      low = l;
    }
  }
  high = low + size;
}

bool TJpegGeometry::Pan(int x, int y) {
  if (!Dragging) return false;
  const TJpegSize pic = PictureSize();
  const TJpegRect before = DestRect;
  PanAxis(x, pic.Width, ViewWidth, DownX, OffsetX, DestRect.Left, DestRect.Right);
  PanAxis(y, pic.Height, ViewHeight, DownY, OffsetY, DestRect.Top, DestRect.Bottom);
  return !(before == DestRect);
}

void TJpegGeometry::MouseUp(int x, int y) {
  if (!Dragging) return;
  Dragging = false;
  OffsetX += x - DownX;
  OffsetY += y - DownY;
}

}  // namespace vedalia
