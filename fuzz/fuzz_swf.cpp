// Flash movie inspection: headers of any bytes, in memory and from a file, and the full
// decoding of compressed bodies, counted and into memory.
#include "FuzzSupport.h"
#include "flashhost/SwfInfo.h"
#include "media/uDecryptor.h"

using namespace vedalia;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::QuietQt();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const QByteArrayView bytes(reinterpret_cast<const char*>(data), qsizetype(size));
  QString error;
  const auto info = InspectSwf(bytes, &error);
  if (info) {
    FUZZ_CHECK(info->headerLength >= 8 + 1 + 4);
    FUZZ_CHECK(info->frameCount >= 0 && info->frameCount <= 65535);
    FUZZ_CHECK(info->version >= 0 && info->version <= 255);
    // An uncompressed header lies within the bytes given.
    if (info->compression == SwfCompression::None) FUZZ_CHECK(info->headerLength <= bytes.size());
  } else {
    FUZZ_CHECK(!error.isEmpty());
  }
  if (const auto length = SwfUncompressedLength(bytes, &error)) {
    FUZZ_CHECK(info.has_value());
    FUZZ_CHECK(*length >= info->headerLength);
  }
  // The body check only ever refuses more than the header check.
  const auto whole = InspectSwf(bytes, &error, SwfCheck::Body);
  FUZZ_CHECK(!whole || info.has_value());
  FUZZ_CHECK(TDecryptor::IsFlashMovie(bytes) == (whole && whole->frameCount > 0));
  // Decoded into memory, a body is whole where the check passes; for LZMA, whose check stops at
  // the declared length, exactly there.
  const auto body = info ? DecodeSwfBody(bytes, *info, 64u << 20) : std::nullopt;
  if (whole && whole->declaredLength <= (64u << 20)) FUZZ_CHECK(body && body->complete);
  if (info && info->compression == SwfCompression::Lzma && info->declaredLength <= (64u << 20))
    FUZZ_CHECK((body && body->complete) == whole.has_value());

  const QString file = fuzz::WriteScratchFile(QStringLiteral("movie.swf"), data, size);
  const auto fromFile = InspectSwfFile(file);
  FUZZ_CHECK(fromFile.has_value() == info.has_value());
  if (fromFile) FUZZ_CHECK(fromFile->frameCount == info->frameCount);
  FUZZ_CHECK(InspectSwfFile(file, nullptr, SwfCheck::Body).has_value() == whole.has_value());
  return 0;
}
