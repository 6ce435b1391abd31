#include "flashhost/SwfWriter.h"

#include <lzma.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>

#include "platform/FileReplace.h"

namespace vedalia {
namespace {

void PutU16(QByteArray& out, std::uint32_t v) {
  out.append(char(v & 0xFF));
  out.append(char((v >> 8) & 0xFF));
}

void PutU32(QByteArray& out, std::uint32_t v) {
  PutU16(out, v & 0xFFFF);
  PutU16(out, v >> 16);
}

// Bits needed to hold v as a signed field.
int SignedBits(std::int64_t v) {
  int bits = 1;
  while (bits < 32 &&
         (v >= (std::int64_t(1) << (bits - 1)) || v < -(std::int64_t(1) << (bits - 1))))
    ++bits;
  return bits;
}

class BitWriter {
 public:
  explicit BitWriter(QByteArray& out) : out_(out) {}
  void Put(std::uint32_t value, int bits) {
    for (int i = bits - 1; i >= 0; --i) {
      acc_ = std::uint8_t((acc_ << 1) | ((value >> i) & 1));
      if (++used_ == 8) Flush();
    }
  }
  void Flush() {
    if (used_ == 0) return;
    out_.append(char(acc_ << (8 - used_)));
    acc_ = 0;
    used_ = 0;
  }

 private:
  QByteArray& out_;
  std::uint8_t acc_ = 0;
  int used_ = 0;
};

void PutRect(QByteArray& out, std::int32_t xMax, std::int32_t yMax) {
  const int bits = std::max(SignedBits(xMax), SignedBits(yMax));
  BitWriter w(out);
  w.Put(std::uint32_t(bits), 5);
  w.Put(0, bits);
  w.Put(std::uint32_t(xMax), bits);
  w.Put(0, bits);
  w.Put(std::uint32_t(yMax), bits);
  w.Flush();
}

QByteArray Deflate(const QByteArray& body) {
  uLongf size = compressBound(uLong(body.size()));
  QByteArray out(qsizetype(size), Qt::Uninitialized);
  if (compress2(reinterpret_cast<Bytef*>(out.data()), &size,
                reinterpret_cast<const Bytef*>(body.constData()), uLong(body.size()),
                Z_BEST_COMPRESSION) != Z_OK)
    return {};
  out.resize(qsizetype(size));
  return out;
}

// Raw LZMA1 data preceded by its 5 property bytes.
QByteArray LzmaCompress(const QByteArray& body) {
  lzma_options_lzma options;
  if (lzma_lzma_preset(&options, 6)) return {};
  options.dict_size = 1u << 16;
  lzma_filter filters[] = {{LZMA_FILTER_LZMA1, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
  QByteArray out(5, '\0');
  if (lzma_properties_encode(&filters[0], reinterpret_cast<uint8_t*>(out.data())) != LZMA_OK)
    return {};
  lzma_stream strm = LZMA_STREAM_INIT;
  if (lzma_raw_encoder(&strm, filters) != LZMA_OK) return {};
  const qsizetype capacity = body.size() + body.size() / 2 + 1024;
  out.resize(5 + capacity);
  strm.next_in = reinterpret_cast<const uint8_t*>(body.constData());
  strm.avail_in = size_t(body.size());
  strm.next_out = reinterpret_cast<uint8_t*>(out.data()) + 5;
  strm.avail_out = size_t(capacity);
  const lzma_ret ret = lzma_code(&strm, LZMA_FINISH);
  const size_t written = size_t(capacity) - strm.avail_out;
  lzma_end(&strm);
  if (ret != LZMA_STREAM_END) return {};
  out.resize(qsizetype(5 + written));
  return out;
}

}  // namespace

QByteArray SwfTag(int code, const QByteArray& payload) {
  QByteArray out;
  if (payload.size() < 0x3F) {
    PutU16(out, std::uint32_t(code << 6) | std::uint32_t(payload.size()));
  } else {
    PutU16(out, std::uint32_t(code << 6) | 0x3F);
    PutU32(out, std::uint32_t(payload.size()));
  }
  out.append(payload);
  return out;
}

QByteArray WriteSwfMovie(const SwfMovieSpec& movieSpec) {
  constexpr int kMaxPixels = 0x3FFFFFFF / 20;  // keeps twips within a signed 31-bit field
  const int version = std::clamp(movieSpec.version, 1, 255);
  const int width = std::clamp(movieSpec.width, 0, kMaxPixels);
  const int height = std::clamp(movieSpec.height, 0, kMaxPixels);
  const int frames = std::clamp(movieSpec.frameCount, 0, 0xFFFF);
  const double rate = std::isfinite(movieSpec.frameRate)
                          ? std::clamp(movieSpec.frameRate, 0.0, 255.0 + 255.0 / 256.0)
                          : 0.0;

  QByteArray body;  // everything after the 8-byte signature/version/length
  PutRect(body, width * 20, height * 20);
  PutU16(body, std::uint32_t(std::lround(rate * 256.0)));
  PutU16(body, std::uint32_t(frames));
  QByteArray rgb;
  rgb.append(char((movieSpec.backgroundColor >> 16) & 0xFF));
  rgb.append(char((movieSpec.backgroundColor >> 8) & 0xFF));
  rgb.append(char(movieSpec.backgroundColor & 0xFF));
  body.append(SwfTag(9, rgb));  // SetBackgroundColor
  body.append(movieSpec.extraTags);
  const QByteArray showFrame = SwfTag(1);
  for (int i = 0; i < frames; ++i) body.append(showFrame);
  body.append(SwfTag(0));  // End

  QByteArray out;
  const char* signature = movieSpec.compression == SwfCompression::Zlib   ? "CWS"
                          : movieSpec.compression == SwfCompression::Lzma ? "ZWS"
                                                                          : "FWS";
  out.append(signature, 3);
  out.append(char(version));
  PutU32(out, std::uint32_t(body.size() + 8));
  switch (movieSpec.compression) {
    case SwfCompression::None:
      out.append(body);
      break;
    case SwfCompression::Zlib:
      out.append(Deflate(body));
      break;
    case SwfCompression::Lzma: {
      const QByteArray packed = LzmaCompress(body);
      PutU32(out, std::uint32_t(std::max<qsizetype>(packed.size() - 5, 0)));
      out.append(packed);
      break;
    }
  }
  return out;
}

bool WriteSwfMovieFile(const QString& path, const SwfMovieSpec& movieSpec) {
  return ReplaceFileContents(path, WriteSwfMovie(movieSpec));
}

}  // namespace vedalia
