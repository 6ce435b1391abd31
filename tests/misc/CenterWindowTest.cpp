#include <gtest/gtest.h>
#include "common/WaitFor.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTest>
#include <QWidget>

#include "desktop/uDesktop.h"
#include "misc/uMisc.h"

namespace vedalia {
namespace {

TEST(CenterOnWorkArea, PlacesTheShownWindowOnItsScreen) {
  QWidget window;
  window.resize(301, 201);
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  CenterOnWorkArea(&window);
  const QRect area = window.screen()->availableGeometry();
  VEDALIA_WAIT_EQ(window.frameGeometry().topLeft(),
                  CenteredTopLeft(area, window.frameGeometry().size()));
  CenterOnWorkArea(nullptr);
}

TEST(CenterOnWorkArea, WindowLargerThanTheWorkAreaGoesToTheCorner) {
  QWidget window;
  const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
  window.resize(area.width() + 50, area.height() + 50);
  CenterOnWorkArea(&window);
  EXPECT_EQ(window.frameGeometry().topLeft(), QPoint(0, 0));
}

}  // namespace
}  // namespace vedalia
