#include <gtest/gtest.h>

#include "desktop/uDesktop.h"
#include "misc/uMisc.h"

namespace vedalia {
namespace {

TEST(CenteredTopLeft, CentresWithTruncatedHalves) {
  // 1280x984 work area under a 40-pixel top panel.
  EXPECT_EQ(CenteredTopLeft(QRect(0, 40, 1280, 984), QSize(1014, 731)),
            QPoint(133, 40 + 492 - 365));
  // Odd sizes: each half is truncated on its own (1001/2 - 301/2 = 500 - 150).
  EXPECT_EQ(CenteredTopLeft(QRect(0, 0, 1001, 1001), QSize(301, 301)), QPoint(350, 350));
  // A work area that starts right of a side panel.
  EXPECT_EQ(CenteredTopLeft(QRect(64, 0, 1000, 800), QSize(200, 100)), QPoint(64 + 400, 350));
}

TEST(CenteredTopLeft, WindowNotSmallerThanWorkAreaGoesToZero) {
  EXPECT_EQ(CenteredTopLeft(QRect(50, 30, 800, 600), QSize(900, 700)), QPoint(0, 0));
  EXPECT_EQ(CenteredTopLeft(QRect(50, 30, 800, 600), QSize(800, 600)), QPoint(0, 0));
  // Each axis on its own: too wide, but fits in height.
  EXPECT_EQ(CenteredTopLeft(QRect(50, 30, 800, 600), QSize(1000, 200)), QPoint(0, 30 + 200));
}

}  // namespace
}  // namespace vedalia
