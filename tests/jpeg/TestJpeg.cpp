#include "TestJpeg.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

#include <jpeglib.h>

namespace vedalia::test {

QByteArray MakeJpeg(int w, int h, JpegKind kind, bool progressive) {
  jpeg_compress_struct c{};
  jpeg_error_mgr err{};
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  unsigned char* out = nullptr;
  unsigned long outSize = 0;
  jpeg_mem_dest(&c, &out, &outSize);
  c.image_width = static_cast<JDIMENSION>(w);
  c.image_height = static_cast<JDIMENSION>(h);
  switch (kind) {
    case JpegKind::Rgb:
      c.input_components = 3;
      c.in_color_space = JCS_RGB;
      break;
    case JpegKind::Gray:
      c.input_components = 1;
      c.in_color_space = JCS_GRAYSCALE;
      break;
    case JpegKind::Cmyk:
    case JpegKind::AdobeCmyk:
      c.input_components = 4;
      c.in_color_space = JCS_CMYK;
      break;
  }
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, 95, TRUE);
  // libjpeg writes an Adobe marker for every CMYK file; a plain (non-inverted) one has none.
  if (kind == JpegKind::Cmyk) c.write_Adobe_marker = FALSE;
  if (progressive) jpeg_simple_progression(&c);
  jpeg_start_compress(&c, TRUE);
  std::vector<JSAMPLE> row(static_cast<std::size_t>(w) * c.input_components);
  while (c.next_scanline < c.image_height) {
    const int y = static_cast<int>(c.next_scanline);
    for (int x = 0; x < w; ++x) {
      const int r = x * 255 / w;
      const int g = y * 255 / h;
      JSAMPLE* p = &row[static_cast<std::size_t>(x) * c.input_components];
      switch (kind) {
        case JpegKind::Rgb:
          p[0] = static_cast<JSAMPLE>(r);
          p[1] = static_cast<JSAMPLE>(g);
          p[2] = 0;
          break;
        case JpegKind::Gray:
          p[0] = static_cast<JSAMPLE>((r + g) / 2);
          break;
        case JpegKind::Cmyk:  // inks: 255 = full
          p[0] = static_cast<JSAMPLE>(255 - r);
          p[1] = static_cast<JSAMPLE>(255 - g);
          p[2] = 255;
          p[3] = 0;
          break;
        case JpegKind::AdobeCmyk:  // inverted inks: 0 = full
          p[0] = static_cast<JSAMPLE>(r);
          p[1] = static_cast<JSAMPLE>(g);
          p[2] = 0;
          p[3] = 255;
          break;
      }
    }
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&c, rows, 1);
  }
  jpeg_finish_compress(&c);
  QByteArray bytes(reinterpret_cast<const char*>(out), static_cast<qsizetype>(outSize));
  jpeg_destroy_compress(&c);
  std::free(out);
  return bytes;
}

QByteArray WithClaimedSize(QByteArray jpeg, int w, int h) {
  // SOF0..SOF2: marker, length (2), precision (1), height (2), width (2).
  for (qsizetype i = 2; i + 9 < jpeg.size(); ++i) {
    const auto m = static_cast<unsigned char>(jpeg[i + 1]);
    if (static_cast<unsigned char>(jpeg[i]) == 0xFF && m >= 0xC0 && m <= 0xC2) {
      jpeg[i + 5] = static_cast<char>(h >> 8);
      jpeg[i + 6] = static_cast<char>(h & 0xFF);
      jpeg[i + 7] = static_cast<char>(w >> 8);
      jpeg[i + 8] = static_cast<char>(w & 0xFF);
      break;
    }
  }
  return jpeg;
}

QByteArray Scrambled(QByteArray bytes) {
  for (char& b : bytes) b = static_cast<char>(b ^ static_cast<char>(0xB6));
  return bytes;
}

}  // namespace vedalia::test
