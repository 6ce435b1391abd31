#include "model3d/ThreeDimButtons.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <cmath>
#include <numbers>

namespace vedalia {
namespace {

const QColor kSymbol(0x4b, 0x26, 0x08);
const QColor kFaceLight(0xff, 0xc0, 0x5a);
const QColor kFaceDark(0xf0, 0x85, 0x00);
const QColor kEdge(0xb8, 0x5c, 0x00);

// An elliptic arc round `c` from `startDeg` over `spanDeg` (counter-clockwise when positive,
// as the screen shows it) ending in an arrowhead.
void ArcArrow(QPainter& p, QPointF c, double rx, double ry, double startDeg, double spanDeg) {
  const QRectF box(c.x() - rx, c.y() - ry, 2 * rx, 2 * ry);
  QPainterPath arc;
  arc.arcMoveTo(box, startDeg);
  arc.arcTo(box, startDeg, spanDeg);
  p.setBrush(Qt::NoBrush);
  p.drawPath(arc);

  const double end = (startDeg + spanDeg) * std::numbers::pi / 180.0;
  const QPointF tip(c.x() + rx * std::cos(end), c.y() - ry * std::sin(end));
  const double dir = spanDeg > 0 ? 1.0 : -1.0;
  QPointF t(-rx * std::sin(end) * dir, -ry * std::cos(end) * dir);
  const double len = std::hypot(t.x(), t.y());
  t /= len;
  const QPointF n(-t.y(), t.x());
  QPolygonF head;
  head << tip + t * 5.0 << tip - t * 2.0 + n * 5.0 << tip - t * 2.0 - n * 5.0;
  p.setBrush(kSymbol);
  p.drawPolygon(head);
}

void DrawSymbol(QPainter& p, TButtonSymbol symbol) {
  const QPointF c(kButtonPictureWidth / 2.0, kButtonPictureHeight / 2.0);
  QPen pen(kSymbol, 3.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
  p.setPen(pen);
  switch (symbol) {
    case TButtonSymbol::TurnLeftInPlane:
      ArcArrow(p, c, 10, 10, -60, 270);
      break;
    case TButtonSymbol::TurnRightInPlane:
      ArcArrow(p, c, 10, 10, 240, -270);
      break;
    case TButtonSymbol::AroundVerticalLeft:
    case TButtonSymbol::AroundVerticalRight: {
      p.setPen(QPen(kSymbol, 2.0));
      p.drawLine(QPointF(c.x(), 4), QPointF(c.x(), kButtonPictureHeight - 4));
      p.setPen(pen);
      // The front of the circle is its lower half.
      if (symbol == TButtonSymbol::AroundVerticalLeft)
        ArcArrow(p, c, 13, 6, 330, -150);
      else
        ArcArrow(p, c, 13, 6, 210, 150);
      break;
    }
    case TButtonSymbol::AroundHorizontalUp:
    case TButtonSymbol::AroundHorizontalDown: {
      p.setPen(QPen(kSymbol, 2.0));
      p.drawLine(QPointF(4, c.y()), QPointF(kButtonPictureWidth - 4, c.y()));
      p.setPen(pen);
      // The front of the circle is its left half, seen slightly from the side.
      if (symbol == TButtonSymbol::AroundHorizontalUp)
        ArcArrow(p, c, 6, 12, 240, -150);
      else
        ArcArrow(p, c, 6, 12, 120, 150);
      break;
    }
    case TButtonSymbol::Plus:
      p.setPen(QPen(kSymbol, 4.0, Qt::SolidLine, Qt::RoundCap));
      p.drawLine(QPointF(c.x() - 9, c.y()), QPointF(c.x() + 9, c.y()));
      p.drawLine(QPointF(c.x(), c.y() - 9), QPointF(c.x(), c.y() + 9));
      break;
    case TButtonSymbol::Minus:
      p.setPen(QPen(kSymbol, 4.0, Qt::SolidLine, Qt::RoundCap));
      p.drawLine(QPointF(c.x() - 9, c.y()), QPointF(c.x() + 9, c.y()));
      break;
  }
}

}  // namespace

QPixmap ButtonPicture(TButtonSymbol symbol, bool locked) {
  QImage image(kButtonPictureWidth, kButtonPictureHeight, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::white);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient face(0, 0, 0, kButtonPictureHeight);
  face.setColorAt(0, kFaceLight);
  face.setColorAt(1, kFaceDark);
  p.setPen(QPen(kEdge, 1.0));
  p.setBrush(face);
  p.drawRoundedRect(QRectF(0.5, 0.5, kButtonPictureWidth - 1, kButtonPictureHeight - 1), 5, 5);
  DrawSymbol(p, symbol);
  if (locked) {
    // Faded: most of the way to white, so the button reads as unavailable.
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 165));
    p.drawRect(image.rect());
  }
  p.end();
  return QPixmap::fromImage(image);
}

}  // namespace vedalia
