// The field cipher: decoding any text, and encoding that decodes back to the same bytes.
#include "FuzzSupport.h"
#include "platform/Cp1251.h"
#include "store/uCrypto.h"

using namespace vedalia;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::QuietQt();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  // The first byte splits key from text; an empty key is the callers' "never", still legal.
  const std::size_t keyLength = std::min<std::size_t>(data[0] % 16, size - 1);
  const QByteArray key(reinterpret_cast<const char*>(data + 1), qsizetype(keyLength));
  const QByteArray text(reinterpret_cast<const char*>(data + 1 + keyLength),
                        qsizetype(size - 1 - keyLength));

  // Whatever a settings file holds in place of a code.
  DecodeStr(QString::fromUtf8(text), QString::fromLatin1(key));
  const QByteArray decoded = DecodeBytes(text, key);
  FUZZ_CHECK(decoded.size() <= text.size() / 2);

  const QByteArray code = EncodeBytes(text, key);
  FUZZ_CHECK(code.size() == 2 * text.size());
  FUZZ_CHECK(DecodeBytes(code, key) == text);
  FUZZ_CHECK(DecodeBytes(code.toLower(), key) == text);

  // Text round trip: what survives narrowing comes back unchanged.
  const QString unicode = QString::fromUtf8(text);
  const QString narrowed = FromCp1251(ToCp1251(unicode));
  FUZZ_CHECK(DecodeStr(EncodeStr(unicode, kFieldCipherKey), kFieldCipherKey) == narrowed);
  return 0;
}
