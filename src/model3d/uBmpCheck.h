#pragma once
// Checks that bytes are one complete, consistent Windows bitmap before a decoder sees them:
// the decoder fills what is missing or wrong with zeros, and a texture made of that is no
// texture the author made.

#include <QByteArrayView>
#include <QString>

namespace vedalia {

// True when `data` is a bitmap file whose headers agree with each other and with the file's
// size, whose pixel data is all there and whose palette indices and RLE stream stay inside
// the palette and the image. Otherwise false with a short English reason.
bool CheckBitmap(QByteArrayView data, QString* reason = nullptr);

}  // namespace vedalia
