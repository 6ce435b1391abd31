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
  head << tip + t * 4.0 << tip - t * 2.0 + n * 4.0 << tip - t * 2.0 - n * 4.0;
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
      // The axis, the circle's back half thin, its front (lower) half with the arrow.
      const QPointF o(c.x(), c.y() + 3);
      p.setPen(QPen(kSymbol, 2.0, Qt::SolidLine, Qt::RoundCap));
      p.drawLine(QPointF(c.x(), 5), QPointF(c.x(), kButtonPictureHeight - 5));
      p.setPen(QPen(kSymbol, 1.2));
      p.drawArc(QRectF(o.x() - 11, o.y() - 5, 22, 10), 0, 180 * 16);
      p.setPen(pen);
      if (symbol == TButtonSymbol::AroundVerticalLeft)
        ArcArrow(p, o, 11, 5, 340, -135);
      else
        ArcArrow(p, o, 11, 5, 200, 135);
      break;
    }
    case TButtonSymbol::AroundHorizontalUp:
    case TButtonSymbol::AroundHorizontalDown: {
      const QPointF o(c.x() - 3, c.y());
      p.setPen(QPen(kSymbol, 2.0, Qt::SolidLine, Qt::RoundCap));
      p.drawLine(QPointF(6, c.y()), QPointF(kButtonPictureWidth - 6, c.y()));
      p.setPen(QPen(kSymbol, 1.2));
      p.drawArc(QRectF(o.x() - 5, o.y() - 11, 10, 22), -90 * 16, 180 * 16);
      p.setPen(pen);
      if (symbol == TButtonSymbol::AroundHorizontalUp)
        ArcArrow(p, o, 5, 11, 250, -135);
      else
        ArcArrow(p, o, 5, 11, 110, 135);
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
