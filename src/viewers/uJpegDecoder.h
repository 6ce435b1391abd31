#pragma once
// JPEG decoding for the picture viewer: header probing and scaled decoding (1/8 .. 1/1)
// into a QImage. Errors come back as results; the decoder never ends the process.

#include <QByteArray>
#include <QImage>
#include <QString>

#include "viewers/uJpegGeometry.h"

namespace vedalia {

// Pictures whose full-size decoding would take more memory than this are refused: a
// corrupt or hostile header can claim up to 65500 x 65500 pixels.
inline constexpr qint64 kMaxDecodedBytes = qint64{512} * 1024 * 1024;

struct TJpegDecodeResult {
  QImage Image;   // null on failure
  QString Error;  // why, when Image is null
  bool ok() const { return !Image.isNull(); }
};

// The full-size picture dimensions from the header. False (with `error`) when the bytes
// are no JPEG or the picture is absurdly large.
bool ReadJpegSize(const QByteArray& bytes, TJpegSize& size, QString* error = nullptr);

// Decodes at 1/`denominator` (1, 2, 4 or 8). `smooth` asks for the best quality (slow
// integer DCT, fancy upsampling, block smoothing of progressive pictures). Grayscale and
// CMYK pictures come out as RGB32; a truncated picture decodes as far as its data goes.
TJpegDecodeResult DecodeJpeg(const QByteArray& bytes, int denominator, bool smooth = false);

}  // namespace vedalia
