#include "shell/SplashFrm.h"

#include <QGuiApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>

namespace vedalia {

TSplashForm::TSplashForm(int timerMilliseconds, QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint), picture(DrawSplashPicture()) {
  setFixedSize(kClientWidth, kClientHeight);
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->geometry();
    move(area.center() - QPoint(kClientWidth / 2, kClientHeight / 2));
  }
  Timer.setSingleShot(true);
  connect(&Timer, &QTimer::timeout, this, &TSplashForm::TimerTimer);
  Timer.start(timerMilliseconds);
}

void TSplashForm::TimerTimer() { Timer.stop(); }

void TSplashForm::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  painter.drawPixmap(rect(), picture);
}

QPixmap TSplashForm::DrawSplashPicture() {
  constexpr int w = 248, h = 181;
  QPixmap pixmap(w, h);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);

  // Evening sky over a field: the colours of the course's cover.
  QLinearGradient sky(0, 0, 0, h);
  sky.setColorAt(0.0, QColor(0x1f, 0x3b, 0x73));
  sky.setColorAt(0.65, QColor(0x5b, 0x86, 0xc5));
  sky.setColorAt(1.0, QColor(0xf4, 0xd9, 0x9b));
  p.fillRect(0, 0, w, h, sky);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0xf9, 0xf0, 0xf1, 200));
  p.drawEllipse(QPointF(196, 40), 16, 16);

  // An open book.
  const QPointF spine(w / 2.0, 150);
  for (int side : {-1, 1}) {
    QPainterPath page;
    page.moveTo(spine);
    page.cubicTo(spine + QPointF(side * 30, -14), spine + QPointF(side * 62, -10),
                 spine + QPointF(side * 88, -2));
    page.lineTo(spine + QPointF(side * 88, -58));
    page.cubicTo(spine + QPointF(side * 62, -66), spine + QPointF(side * 30, -70),
                 spine + QPointF(0, -56));
    page.closeSubpath();
    p.setBrush(QColor(0xfb, 0xf7, 0xee));
    p.setPen(QPen(QColor(0x7a, 0x5c, 0x3a), 1.5));
    p.drawPath(page);
    p.setPen(QPen(QColor(0xb8, 0xa8, 0x90), 1));
    for (int line = 0; line < 5; ++line) {
      const double y = -48 + line * 8;
      p.drawLine(spine + QPointF(side * 14, y + 2), spine + QPointF(side * 76, y + 6));
    }
  }

  // The title.
  QFont font(QStringLiteral("Serif"));
  font.setPixelSize(30);
  font.setBold(true);
  p.setFont(font);
  p.setPen(QColor(0x10, 0x1c, 0x36, 140));
  p.drawText(QRectF(2, 12, w, 44), Qt::AlignCenter, QStringLiteral("Ведалия"));
  p.setPen(QColor(0xfb, 0xf7, 0xee));
  p.drawText(QRectF(0, 10, w, 44), Qt::AlignCenter, QStringLiteral("Ведалия"));
  p.end();
  return pixmap;
}

}  // namespace vedalia
