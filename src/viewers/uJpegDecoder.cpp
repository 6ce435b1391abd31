#include "viewers/uJpegDecoder.h"

// jpeglib.h needs size_t and FILE declared first.
#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <vector>

#include <jpeglib.h>

#include "media/uDecryptor.h"

namespace vedalia {
namespace {

// Errors jump back to the caller instead of ending the process; warnings (a truncated
// scan, for instance) are ignored so that what was decoded is still shown.
struct TErrorManager {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

void OnError(j_common_ptr cinfo) {
  auto* err = reinterpret_cast<TErrorManager*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, err->message);
  std::longjmp(err->jump, 1);
}

void OnMessage(j_common_ptr, int) {}

struct TDecodeJob {
  jpeg_decompress_struct cinfo{};
  TErrorManager err{};
  bool created = false;
  bool cmyk = false;
  int rowsRead = 0;

  TDecodeJob() {
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = OnError;
    err.pub.emit_message = OnMessage;
    err.message[0] = '\0';
  }
  ~TDecodeJob() {
    if (created) jpeg_destroy_decompress(&cinfo);
  }
  TDecodeJob(const TDecodeJob&) = delete;
  TDecodeJob& operator=(const TDecodeJob&) = delete;
};

// The functions that call setjmp hold no objects with destructors, so a long jump out of
// libjpeg skips nothing that needed cleaning up.
bool StartHeader(TDecodeJob& job, const QByteArray& bytes) {
  if (setjmp(job.err.jump)) return false;
  jpeg_create_decompress(&job.cinfo);
  job.created = true;
  jpeg_mem_src(&job.cinfo, reinterpret_cast<const unsigned char*>(bytes.constData()),
               static_cast<unsigned long>(bytes.size()));
  jpeg_read_header(&job.cinfo, TRUE);
  return true;
}

bool PrepareOutput(TDecodeJob& job, int denominator, bool smooth) {
  if (setjmp(job.err.jump)) return false;
  jpeg_decompress_struct& c = job.cinfo;
  c.scale_num = 1;
  c.scale_denom = static_cast<unsigned>(denominator);
  c.dct_method = JDCT_ISLOW;
  c.do_fancy_upsampling = TRUE;
  c.do_block_smoothing = smooth ? TRUE : FALSE;
  job.cmyk = c.jpeg_color_space == JCS_CMYK || c.jpeg_color_space == JCS_YCCK;
  if (job.cmyk) {
    c.out_color_space = JCS_CMYK;
  } else {
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
    c.out_color_space = JCS_EXT_BGRA;
#else
    c.out_color_space = JCS_EXT_ARGB;
#endif
  }
  jpeg_calc_output_dimensions(&c);
  return true;
}

// Inks as stored by Adobe applications are inverted (0 = full ink).
void CmykRowToRgb32(const JSAMPLE* src, QRgb* dst, int width, bool inverted) {
  for (int x = 0; x < width; ++x, src += 4) {
    int c = src[0], m = src[1], y = src[2], k = src[3];
    if (!inverted) {
      c = 255 - c;
      m = 255 - m;
      y = 255 - y;
      k = 255 - k;
    }
    dst[x] = qRgb(c * k / 255, m * k / 255, y * k / 255);
  }
}

bool ReadPixels(TDecodeJob& job, uchar* bits, qsizetype bytesPerLine, JSAMPLE* cmykRow) {
  if (setjmp(job.err.jump)) return false;
  jpeg_decompress_struct& c = job.cinfo;
  jpeg_start_decompress(&c);
  const bool inverted = c.saw_Adobe_marker;
  while (c.output_scanline < c.output_height) {
    uchar* line = bits + static_cast<qsizetype>(c.output_scanline) * bytesPerLine;
    if (job.cmyk) {
      JSAMPROW row = cmykRow;
      if (jpeg_read_scanlines(&c, &row, 1) != 1) break;
      CmykRowToRgb32(cmykRow, reinterpret_cast<QRgb*>(line), static_cast<int>(c.output_width),
                     inverted);
    } else {
      JSAMPROW row = line;
      if (jpeg_read_scanlines(&c, &row, 1) != 1) break;
    }
  }
  job.rowsRead = static_cast<int>(c.output_scanline);
  if (c.output_scanline < c.output_height)
    jpeg_abort_decompress(&c);
  else
    jpeg_finish_decompress(&c);
  return true;
}

QString ErrorText(const TDecodeJob& job, const char* fallback) {
  return job.err.message[0] != '\0' ? QString::fromLocal8Bit(job.err.message)
                                    : QString::fromLatin1(fallback);
}

}  // namespace

bool ReadJpegSize(const QByteArray& bytes, TJpegSize& size, QString* error) {
  const std::optional<JpegHeaderInfo> header = ReadJpegHeader(bytes, error);
  if (!header) return false;
  const qint64 pixels = qint64{header->width} * header->height;
  if (pixels <= 0) {
    if (error) *error = QStringLiteral("empty picture");
    return false;
  }
  if (pixels * 4 > kMaxDecodedBytes) {
    if (error) *error = QStringLiteral("picture too large to decode");
    return false;
  }
  size = {header->width, header->height};
  return true;
}

TJpegDecodeResult DecodeJpeg(const QByteArray& bytes, int denominator, bool smooth) {
  TJpegDecodeResult result;
  // The header is judged first, so that an absurd size is refused before any allocation.
  TJpegSize full;
  if (!ReadJpegSize(bytes, full, &result.Error)) return result;
  TDecodeJob job;
  if (!StartHeader(job, bytes)) {
    result.Error = ErrorText(job, "not a JPEG picture");
    return result;
  }
  if (!PrepareOutput(job, denominator, smooth)) {
    result.Error = ErrorText(job, "unsupported JPEG picture");
    return result;
  }
  QImage image(static_cast<int>(job.cinfo.output_width), static_cast<int>(job.cinfo.output_height),
               QImage::Format_RGB32);
  if (image.isNull()) {
    result.Error = QStringLiteral("out of memory");
    return result;
  }
  std::vector<JSAMPLE> cmykRow(job.cmyk ? std::size_t{job.cinfo.output_width} * 4 : 0);
  if (!ReadPixels(job, image.bits(), image.bytesPerLine(), cmykRow.data())) {
    result.Error = ErrorText(job, "corrupt JPEG picture");
    return result;
  }
  // Rows the decoder never delivered stay grey rather than uninitialised.
  for (int y = job.rowsRead; y < image.height(); ++y)
    std::fill_n(reinterpret_cast<QRgb*>(image.scanLine(y)), image.width(), qRgb(128, 128, 128));
  result.Image = std::move(image);
  return result;
}

}  // namespace vedalia
