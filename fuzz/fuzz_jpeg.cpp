// JPEG pictures: the content loader's header check and the viewer's scaled decoding.
#include "FuzzServices.h"
#include "FuzzSupport.h"
#include "media/uDecryptor.h"
#include "viewers/uJpegDecoder.h"

using namespace vedalia;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::QuietQt();
  fuzz::InstallQuietServices();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  // The first byte picks the scale and the quality; the rest is the file.
  const int denominator = 1 << (data[0] & 3);
  const bool smooth = (data[0] & 4) != 0;
  const QByteArray bytes(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));

  const auto header = ReadJpegHeader(bytes);
  FUZZ_CHECK(TDecryptor::IsJpegImage(bytes) == (bytes.isEmpty() || header.has_value()));
  if (header) FUZZ_CHECK(header->width > 0 && header->height > 0);

  TJpegSize jpegSize{};
  QString error;
  if (!ReadJpegSize(bytes, jpegSize, &error)) return 0;
  // A few header bytes can claim a picture of hundreds of megabytes, which then decodes
  // (grey) that far; the full-size decoding of such claims only costs time here.
  const qint64 pixels = qint64(jpegSize.Width) * jpegSize.Height;
  const int used = pixels > 4'000'000 ? 8 : denominator;
  const TJpegDecodeResult result = DecodeJpeg(bytes, used, smooth);
  if (result.ok()) {
    FUZZ_CHECK(result.Image.width() <= (jpegSize.Width + used - 1) / used + 1);
    FUZZ_CHECK(result.Image.height() <= (jpegSize.Height + used - 1) / used + 1);
  } else {
    FUZZ_CHECK(!result.Error.isEmpty());
  }
  return 0;
}
