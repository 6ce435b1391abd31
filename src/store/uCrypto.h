#pragma once
// The field cipher for passwords and remembered log-in values: every byte of the text is
// XOR-ed with a byte of the key and written as two upper-case hexadecimal digits. Bytes are
// those of the text in Windows-1251, so a code stays the same whatever the platform.

#include <QByteArray>
#include <QString>

namespace vedalia {

// The key every caller passes.
inline constexpr char kFieldCipherKey[] = "QUILL_SEAL";

// Byte i (counted from 1) of the text is combined with key byte (i mod keyLength) + 1.
// An empty key leaves the bytes as they are (callers never pass one).
QByteArray EncodeBytes(const QByteArray& text, const QByteArray& key);
// Reads hexadecimal pairs (either letter case) up to the first pair with another character;
// a lone last digit is ignored. Zero bytes are kept.
QByteArray DecodeBytes(const QByteArray& code, const QByteArray& key);

// The same over Windows-1251 text: characters the code page cannot hold become "?" first.
QString EncodeStr(const QString& text, const QString& key);
QString DecodeStr(const QString& code, const QString& key);

}  // namespace vedalia
