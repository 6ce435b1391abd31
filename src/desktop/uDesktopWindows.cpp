// Placing windows on the desktop's work area.

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include "desktop/uDesktop.h"

namespace vedalia {

QPoint CenteredTopLeft(const QRect& workArea, const QSize& windowSize) {
  // Integer halves of each size separately (truncating), so that odd sizes land exactly
  // where the course's layouts expect them.
  const int top = workArea.height() > windowSize.height()
                      ? workArea.top() + workArea.height() / 2 - windowSize.height() / 2
                      : 0;
  const int left = workArea.width() > windowSize.width()
                       ? workArea.left() + workArea.width() / 2 - windowSize.width() / 2
                       : 0;
  return QPoint(left, top);
}

void CenterOnWorkArea(QWidget* window) {
  if (window == nullptr) return;
  QScreen* screen = window->screen();
  if (screen == nullptr) screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return;
  window->move(CenteredTopLeft(screen->availableGeometry(), window->frameGeometry().size()));
}

}  // namespace vedalia
