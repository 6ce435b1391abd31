#include <gtest/gtest.h>

#include "store/uCrypto.h"

namespace vedalia {
namespace {

const QString kKey = QString::fromLatin1(kFieldCipherKey);

TEST(FieldCipher, KeyBytesStartAtTheSecondAndWrapToTheFirst) {
  // With key "ABC": text positions 1,2,3,4 use key bytes B,C,A,B.
  const QByteArray code = EncodeBytes(QByteArray(4, '\0'), "ABC");
  EXPECT_EQ(code, "42434142");
  // A one-byte key applies to every byte.
  EXPECT_EQ(EncodeBytes("ab", "\x01"), "6063");
}

TEST(FieldCipher, CodesAreUpperCaseHexTwoDigitsPerByte) {
  const QString text = QStringLiteral("Пароль-1 zz");
  const QString code = EncodeStr(text, kKey);
  ASSERT_EQ(code.size(), 2 * text.size());
  for (QChar c : code)
    EXPECT_TRUE(QStringLiteral("0123456789ABCDEF").contains(c)) << code.toStdString();
  EXPECT_EQ(EncodeStr(text, kKey), code) << "equal texts must give equal codes";
  EXPECT_TRUE(EncodeStr(QString(), kKey).isEmpty());
  EXPECT_TRUE(DecodeStr(QString(), kKey).isEmpty());
}

TEST(FieldCipher, RoundTripsCyrillicAndBytesEqualToTheKey) {
  for (const QString& text : {QStringLiteral("Иванова"), QStringLiteral("a;b'c\"d"),
                              QStringLiteral("ёЁ№"), QStringLiteral("UILL_SEALQ")}) {
    EXPECT_EQ(DecodeStr(EncodeStr(text, kKey), kKey), text) << text.toStdString();
  }
  // "UILL" lines up with key bytes 2..5, so its code starts with zero bytes, which must
  // not cut the decoded text short.
  const QByteArray code = EncodeBytes("UILL_SEALQx", "QUILL_SEAL");
  EXPECT_TRUE(code.startsWith("00000000000000000000"));
  EXPECT_EQ(DecodeBytes(code, "QUILL_SEAL"), "UILL_SEALQx");
}

TEST(FieldCipher, DecodingIsLenientAboutCaseOddLengthAndJunk) {
  const QString code = EncodeStr(QStringLiteral("Secret"), kKey);
  EXPECT_EQ(DecodeStr(code.toLower(), kKey), QStringLiteral("Secret"));
  EXPECT_EQ(DecodeStr(code + "7", kKey), QStringLiteral("Secret"));
  // Reading stops at the first pair holding a non-hex character.
  EXPECT_EQ(DecodeStr(code.left(4) + "G1" + code.mid(6), kKey), QStringLiteral("Se"));
  EXPECT_EQ(DecodeStr(code.left(4) + "Ж", kKey), QStringLiteral("Se"));
}

}  // namespace
}  // namespace vedalia
