#pragma once
#include <QColor>
#include <cstdlib>

namespace vedalia::test {

// A drawn pixel is `colour` within the few steps that scaling and blending leave.
inline bool NearColour(QRgb pixel, QRgb colour) {
  return std::abs(qRed(pixel) - qRed(colour)) + std::abs(qGreen(pixel) - qGreen(colour)) +
             std::abs(qBlue(pixel) - qBlue(colour)) <=
         12;
}

}  // namespace vedalia::test
