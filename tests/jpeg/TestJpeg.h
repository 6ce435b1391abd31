#pragma once
// JPEG pictures made by the tests with libjpeg.

#include <QByteArray>

namespace vedalia::test {

enum class JpegKind { Rgb, Gray, Cmyk, AdobeCmyk };

// A w x h picture; pixel (x, y) has red = x * 255 / w and green = y * 255 / h (grey: their
// mean; CMYK: the same colour in inks). `progressive` writes a progressive scan.
QByteArray MakeJpeg(int w, int h, JpegKind kind = JpegKind::Rgb, bool progressive = false);

// A copy of `jpeg` whose frame header claims `w` x `h` pixels.
QByteArray WithClaimedSize(QByteArray jpeg, int w, int h);

// Every byte XORed with the content key.
QByteArray Scrambled(QByteArray bytes);

}  // namespace vedalia::test
