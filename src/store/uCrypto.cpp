#include "store/uCrypto.h"

#include "platform/Cp1251.h"

namespace vedalia {
namespace {

void XorWithKey(QByteArray& bytes, const QByteArray& key) {
  const qsizetype keyLength = key.size();
  if (keyLength == 0) return;
  // Position i (from 1) uses key position (i mod L) + 1, i.e. zero-based key index i mod L.
  for (qsizetype i = 0; i < bytes.size(); ++i) bytes[i] = char(bytes[i] ^ key[(i + 1) % keyLength]);
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

QByteArray EncodeBytes(const QByteArray& text, const QByteArray& key) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  QByteArray bytes = text;
  XorWithKey(bytes, key);
  QByteArray code(bytes.size() * 2, Qt::Uninitialized);
  for (qsizetype i = 0; i < bytes.size(); ++i) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    code[2 * i] = kDigits[b >> 4];
    code[2 * i + 1] = kDigits[b & 0x0F];
  }
  return code;
}

QByteArray DecodeBytes(const QByteArray& code, const QByteArray& key) {
  QByteArray bytes;
  bytes.reserve(code.size() / 2);
  for (qsizetype i = 0; i + 1 < code.size(); i += 2) {
    const int high = HexValue(code[i]);
    const int low = HexValue(code[i + 1]);
    if (high < 0 || low < 0) break;
    bytes.append(char((high << 4) | low));
  }
  XorWithKey(bytes, key);
  return bytes;
}

QString EncodeStr(const QString& text, const QString& key) {
  return QString::fromLatin1(EncodeBytes(ToCp1251(text), ToCp1251(key)));
}

QString DecodeStr(const QString& code, const QString& key) {
  // A non-Latin-1 character can never be a hex digit; '?' stops the reading just the same.
  return FromCp1251(DecodeBytes(ToCp1251(code), ToCp1251(key)));
}

}  // namespace vedalia
