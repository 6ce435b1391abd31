#pragma once
// The Windows-1251 code page: the course's 8-bit text (database fields, settings,
// Flash data files, files written as 8-bit text).

#include <QByteArray>
#include <QString>
#include <string>
#include <string_view>

namespace vedalia {

// Unicode code point of a Windows-1251 byte (0x98, the one unassigned byte, maps to U+FFFD).
char32_t Cp1251ToUnicode(unsigned char byte);
// Windows-1251 byte of a code point, or '?' when the code page cannot hold it.
unsigned char UnicodeToCp1251(char32_t codePoint);

QByteArray ToCp1251(const QString& text);
QString FromCp1251(const QByteArray& bytes);
// The text as it survives a trip through Windows-1251: every character the code page
// cannot hold becomes '?'.
QString NarrowToCp1251(const QString& text);

// The same for UTF-8 std::string (invalid UTF-8 sequences count as unrepresentable).
std::string Utf8ToCp1251(std::string_view utf8);
std::string Cp1251ToUtf8(std::string_view bytes);

}  // namespace vedalia
