#include "model3d/uBmpCheck.h"

#include <cstdint>
#include <cstdlib>

namespace vedalia {
namespace {

constexpr qint64 kFileHeader = 14;
// Larger images than this are no texture a course ships (and more than the decoder takes).
constexpr qint64 kMaxSide = qint64(1) << 20;
constexpr qint64 kMaxPixels = qint64(1) << 28;

enum Compression : std::uint32_t { kRgb = 0, kRle8 = 1, kRle4 = 2, kBitfields = 3 };

std::uint32_t U16(const unsigned char* p) { return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8; }
std::uint32_t U32(const unsigned char* p) { return U16(p) | U16(p + 2) << 16; }
std::int32_t I32(const unsigned char* p) { return std::int32_t(U32(p)); }

bool Fail(QString* reason, const char* text) {
  if (reason) *reason = QString::fromLatin1(text);
  return false;
}

struct Layout {
  const unsigned char* d = nullptr;
  qint64 size = 0;
  qint64 width = 0;
  qint64 rows = 0;
  int bpp = 0;
  qint64 palette = 0;  // entries actually stored, for depths up to 8
};

bool IndexOk(const Layout& b, std::uint32_t index) { return b.bpp > 8 || index < b.palette; }

// Every index of an uncompressed paletted image must name a stored colour.
bool CheckIndices(const Layout& b, qint64 offBits, qint64 rowBytes, QString* reason) {
  if (b.bpp > 8 || b.palette >= (qint64(1) << b.bpp)) return true;
  for (qint64 y = 0; y < b.rows; ++y) {
    const unsigned char* row = b.d + offBits + y * rowBytes;
    for (qint64 x = 0; x < b.width; ++x) {
      const qint64 bit = x * b.bpp;
      const std::uint32_t index = (row[bit / 8] >> (8 - b.bpp - bit % 8)) & ((1u << b.bpp) - 1);
      if (!IndexOk(b, index)) return Fail(reason, "palette index past the palette");
    }
  }
  return true;
}

// Walks an RLE8 or RLE4 stream over [pos, end): runs stay inside the rows and the image,
// indices inside the palette, and the stream ends with its end-of-bitmap mark.
bool CheckRle(const Layout& b, qint64 pos, qint64 end, QString* reason) {
  const bool four = b.bpp == 4;
  qint64 x = 0, y = 0;
  auto pixelsOk = [&](std::uint32_t value, qint64 n, qint64 first) {
    for (qint64 i = 0; i < n; ++i) {
      const qint64 k = first + i;
      const std::uint32_t index = four ? (k % 2 == 0 ? value >> 4 : value & 15) : value;
      if (!IndexOk(b, index)) return false;
    }
    return true;
  };
  for (;;) {
    if (pos + 2 > end) return Fail(reason, "RLE stream ends without its end mark");
    const std::uint32_t n = b.d[pos], v = b.d[pos + 1];
    pos += 2;
    if (n > 0) {
      if (y >= b.rows || x + n > b.width) return Fail(reason, "RLE run past the image");
      if (!pixelsOk(v, n, 0)) return Fail(reason, "palette index past the palette");
      x += n;
      continue;
    }
    switch (v) {
      case 0:  // end of line
        x = 0;
        if (++y > b.rows) return Fail(reason, "RLE rows past the image");
        break;
      case 1:  // end of bitmap
        return true;
      case 2:  // delta
        if (pos + 2 > end) return Fail(reason, "RLE stream ends inside a delta");
        x += b.d[pos];
        y += b.d[pos + 1];
        pos += 2;
        if (x > b.width || y >= b.rows) return Fail(reason, "RLE delta past the image");
        break;
      default: {  // v pixels stored as they are, padded to an even byte count
        const qint64 bytes = four ? (v + 1) / 2 : v;
        if (pos + bytes + bytes % 2 > end) return Fail(reason, "RLE stream cut inside a run");
        if (y >= b.rows || x + v > b.width) return Fail(reason, "RLE run past the image");
        for (qint64 i = 0; i < v; ++i) {
          const std::uint32_t byte = b.d[pos + (four ? i / 2 : i)];
          if (!pixelsOk(byte, 1, four ? i % 2 : 0)) {
            return Fail(reason, "palette index past the palette");
          }
        }
        x += v;
        pos += bytes + bytes % 2;
      }
    }
  }
}

}  // namespace

bool CheckBitmap(QByteArrayView data, QString* reason) {
  Layout b;
  b.d = reinterpret_cast<const unsigned char*>(data.data());
  b.size = data.size();
  if (b.size < kFileHeader + 12 || b.d[0] != 'B' || b.d[1] != 'M')
    return Fail(reason, "not a bitmap file");
  const qint64 fileSize = U32(b.d + 2);
  const qint64 offBits = U32(b.d + 10);
  const qint64 headerSize = U32(b.d + 14);
  const unsigned char* h = b.d + kFileHeader;
  std::uint32_t planes = 0, compression = kRgb, colours = 0;
  qint64 sizeImage = 0, height = 0;
  int entryBytes = 4;
  qint64 paletteStart = kFileHeader + headerSize;
  if (headerSize == 12) {
    b.width = U16(h + 4);
    height = U16(h + 6);
    planes = U16(h + 8);
    b.bpp = int(U16(h + 10));
    entryBytes = 3;
  } else if (headerSize == 40 || headerSize == 52 || headerSize == 56 || headerSize == 108 ||
             headerSize == 124) {
    if (b.size < kFileHeader + headerSize) return Fail(reason, "file shorter than its header");
    b.width = I32(h + 4);
    height = I32(h + 8);
    planes = U16(h + 12);
    b.bpp = int(U16(h + 14));
    compression = U32(h + 16);
    sizeImage = U32(h + 20);
    if (I32(h + 24) < 0 || I32(h + 28) < 0) return Fail(reason, "impossible pixel density");
    colours = U32(h + 32);
    // A plain info header keeps its three channel masks after it.
    if (headerSize == 40 && compression == kBitfields) paletteStart += 12;
  } else {
    return Fail(reason, "unknown bitmap header");
  }
  if (fileSize > b.size) return Fail(reason, "file shorter than its file-size field");
  if (planes != 1) return Fail(reason, "plane count is not 1");
  if (b.width <= 0 || height == 0 || b.width > kMaxSide || std::llabs(height) > kMaxSide ||
      b.width * std::llabs(height) > kMaxPixels)
    return Fail(reason, "impossible image size");
  b.rows = std::llabs(height);
  const bool rle = compression == kRle8 || compression == kRle4;
  const bool depthOk = compression == kRgb         ? (b.bpp == 1 || b.bpp == 4 || b.bpp == 8 ||
                                              b.bpp == 16 || b.bpp == 24 || b.bpp == 32)
                       : compression == kRle8      ? b.bpp == 8
                       : compression == kRle4      ? b.bpp == 4
                       : compression == kBitfields ? (b.bpp == 16 || b.bpp == 32)
                                                   : false;
  if (!depthOk) return Fail(reason, "unsupported bit depth or compression");
  if (rle && height < 0) return Fail(reason, "RLE bitmap stored top-down");
  if (offBits < paletteStart || offBits > b.size)
    return Fail(reason, "pixel data offset outside the file");
  if (fileSize != 0 && fileSize < offBits) return Fail(reason, "file-size field before the pixels");
  if (b.bpp <= 8) {
    const qint64 most = qint64(1) << b.bpp;
    if (colours > most) return Fail(reason, "more colours than the bit depth holds");
    b.palette = std::min<qint64>(colours ? colours : most, (offBits - paletteStart) / entryBytes);
    if (b.palette == 0) return Fail(reason, "paletted bitmap without a palette");
  }
  if (rle) {
    if (sizeImage > b.size - offBits)
      return Fail(reason, "bits-size field past the end of the file");
    const qint64 end = offBits + (sizeImage ? sizeImage : b.size - offBits);
    if (fileSize != 0 && fileSize < end)
      return Fail(reason, "file-size field before the pixels end");
    return CheckRle(b, offBits, end, reason);
  }
  const qint64 rowBytes = (b.width * b.bpp + 31) / 32 * 4;
  const qint64 needed = rowBytes * b.rows;
  if (needed > b.size - offBits) return Fail(reason, "file shorter than its pixel data");
  if (fileSize != 0 && fileSize < offBits + needed)
    return Fail(reason, "file-size field smaller than the pixel data");
  if (sizeImage != 0 && (sizeImage < needed || sizeImage > b.size - offBits))
    return Fail(reason, "bits-size field does not match the pixel data");
  return CheckIndices(b, offBits, rowBytes, reason);
}

}  // namespace vedalia
