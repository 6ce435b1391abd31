#pragma once
// The pictures of the 3D window's toolbar buttons, drawn at run time.

#include <QPixmap>

namespace vedalia {

enum class TButtonSymbol {
  TurnLeftInPlane,   // counter-clockwise in the screen plane
  TurnRightInPlane,  // clockwise in the screen plane
  AroundVerticalLeft,
  AroundVerticalRight,
  AroundHorizontalUp,
  AroundHorizontalDown,
  Plus,
  Minus,
};

constexpr int kButtonPictureWidth = 37;
constexpr int kButtonPictureHeight = 35;

// A dark brown symbol on an orange face; `locked` gives the faded version.
QPixmap ButtonPicture(TButtonSymbol symbol, bool locked = false);

}  // namespace vedalia
