#include <gtest/gtest.h>

#include "platform/Cp1251.h"

using namespace vedalia;

TEST(Cp1251, EveryAssignedByteRoundTrips) {
  for (int b = 0; b < 256; ++b) {
    if (b == 0x98) continue;  // unassigned in the code page
    const char32_t cp = Cp1251ToUnicode(static_cast<unsigned char>(b));
    EXPECT_EQ(UnicodeToCp1251(cp), b) << "byte " << b;
  }
}

TEST(Cp1251, CyrillicAndSpecialLetters) {
  EXPECT_EQ(ToCp1251(QStringLiteral("Ведалия")), QByteArray("\xC2\xE5\xE4\xE0\xEB\xE8\xFF"));
  EXPECT_EQ(ToCp1251(QStringLiteral("Ёё№")), QByteArray("\xA8\xB8\xB9"));
  EXPECT_EQ(FromCp1251(QByteArray("\xC0\xFF\x80\x88")), QStringLiteral("АяЂ€"));
}

TEST(Cp1251, UnrepresentableBecomesQuestionMark) {
  EXPECT_EQ(NarrowToCp1251(QStringLiteral("a€中😀b")), QStringLiteral("a€??b"));
  EXPECT_EQ(Utf8ToCp1251("x\xE4\xB8\xADy"), "x?y");
  // Malformed UTF-8: a lone continuation byte and a truncated sequence.
  EXPECT_EQ(Utf8ToCp1251("\x80z\xD0"), "?z?");
}

TEST(Cp1251, Utf8RoundTrip) {
  const std::string text = "Фотография_Кремль №1 — «да»";
  EXPECT_EQ(Cp1251ToUtf8(Utf8ToCp1251(text)), text);
}
