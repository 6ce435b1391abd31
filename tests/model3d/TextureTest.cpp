#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include "model3d/uTextureGL.h"

namespace vedalia {
namespace {

class TextureFile : public ::testing::Test {
 protected:
  QString Save(const QImage& image, const char* name, const char* format = "BMP") {
    const QString path = dir.filePath(name);
    EXPECT_TRUE(image.save(path, format));
    return path;
  }
  QTemporaryDir dir;
};

std::vector<std::uint8_t> Bytes(std::initializer_list<int> values) {
  return std::vector<std::uint8_t>(values.begin(), values.end());
}

TEST_F(TextureFile, RedBluePixelsGiveRgbBytesInOrder) {
  QImage image(2, 1, QImage::Format_RGB32);
  image.setPixel(0, 0, qRgb(255, 0, 0));
  image.setPixel(1, 0, qRgb(0, 0, 255));
  TTextureGL texture;
  QString error;
  ASSERT_TRUE(texture.LoadFromFile(Save(image, "rb.bmp"), &error)) << error.toStdString();
  EXPECT_EQ(texture.Width, 2);
  EXPECT_EQ(texture.Height, 1);
  EXPECT_EQ(texture.Pixels, Bytes({0xFF, 0, 0, 0, 0, 0xFF}));
}

TEST_F(TextureFile, TopRowComesFirstWhateverTheBitDepth) {
  // Bitmap files store rows bottom-up; the buffer holds the top row first.
  QImage image(4, 2, QImage::Format_RGB32);
  image.fill(qRgb(10, 20, 30));
  for (int x = 0; x < 4; ++x) image.setPixel(x, 0, qRgb(255, 255, 255));
  image.setPixel(3, 1, qRgb(0, 128, 0));
  for (QImage::Format format : {QImage::Format_RGB32, QImage::Format_Indexed8}) {
    TTextureGL texture;
    const QImage converted = image.convertToFormat(format);
    ASSERT_TRUE(texture.LoadFromFile(Save(converted, "rows.bmp")));
    ASSERT_EQ(texture.Pixels.size(), 4u * 2u * 3u);
    EXPECT_TRUE(std::all_of(texture.Pixels.begin(), texture.Pixels.begin() + 12,
                            [](std::uint8_t b) { return b == 0xFF; }))
        << format;
    EXPECT_EQ(std::vector<std::uint8_t>(texture.Pixels.begin() + 12, texture.Pixels.begin() + 15),
              Bytes({10, 20, 30}));
    EXPECT_EQ(std::vector<std::uint8_t>(texture.Pixels.end() - 3, texture.Pixels.end()),
              Bytes({0, 128, 0}));
  }
}

TEST_F(TextureFile, WhatIsNoBitmapIsRefused) {
  QImage image(2, 2, QImage::Format_RGB32);
  image.fill(Qt::red);
  TTextureGL texture;
  ASSERT_TRUE(texture.LoadFromFile(Save(image, "good.bmp")));

  // A picture of another format under a bitmap's name, text, an empty file, nothing.
  QString error;
  EXPECT_FALSE(texture.LoadFromFile(Save(image, "png.bmp", "PNG"), &error));
  EXPECT_FALSE(error.isEmpty());
  EXPECT_EQ(texture.Width, 0);
  EXPECT_TRUE(texture.Pixels.empty());
  QFile text(dir.filePath("text.bmp"));
  ASSERT_TRUE(text.open(QIODevice::WriteOnly));
  text.write("BM this is not a bitmap at all");
  text.close();
  EXPECT_FALSE(texture.LoadFromFile(text.fileName()));
  QFile empty(dir.filePath("empty.bmp"));
  ASSERT_TRUE(empty.open(QIODevice::WriteOnly));
  empty.close();
  EXPECT_FALSE(texture.LoadFromFile(empty.fileName()));
  EXPECT_FALSE(texture.LoadFromFile(dir.filePath("missing.bmp")));
}

// A 4 x 2 bitmap of depth 8 with a two-colour palette (info header of 40 bytes).
QByteArray Bitmap8(const QByteArray& bits, std::uint32_t compression = 0, int height = 2) {
  auto u32 = [](QByteArray& b, qint64 v) {
    for (int i = 0; i < 4; ++i) b.append(char(v >> (8 * i)));
  };
  const QByteArray palette("\0\0\xFF\0\xFF\0\0\0", 8);
  QByteArray b("BM");
  u32(b, 14 + 40 + 8 + bits.size());
  u32(b, 0);
  u32(b, 14 + 40 + 8);
  u32(b, 40);
  u32(b, 4);
  u32(b, height);
  b.append("\x01\0\x08\0", 4);
  u32(b, compression);
  u32(b, bits.size());
  for (int v : {2835, 2835, 2, 0}) u32(b, v);
  return b + palette + bits;
}

TEST_F(TextureFile, IncompleteOrInconsistentBitmapsAreRefused) {
  const QByteArray plain("\0\1\1\0\1\0\0\1", 8);
  // RLE8: a run of four 1s, end of line, 0 1 0 1 stored absolutely, end of bitmap.
  const QByteArray rle("\x04\x01\0\0\0\x04\0\1\0\1\0\x01", 12);
  auto patched = [](QByteArray b, int at, std::initializer_list<int> bytes) {
    for (int v : bytes) b[at++] = char(v);
    return b;
  };
  const std::pair<QByteArray, const char*> cases[] = {
      {Bitmap8(plain), nullptr},
      {Bitmap8(rle, 1), nullptr},
      {Bitmap8(plain).chopped(1), "file shorter"},
      {patched(Bitmap8(plain), 2, {0xFF}), "file shorter than its file-size"},
      {patched(Bitmap8(plain), 2, {30}), "file-size field"},
      {patched(Bitmap8(plain), 34, {3}), "bits-size"},
      {patched(Bitmap8(plain), 41, {0x80}), "density"},
      {Bitmap8(QByteArray("\0\1\2\0\1\0\0\1", 8)), "palette index"},
      {Bitmap8(QByteArray("\x05\x01\0\0\0\x01", 6), 1), "RLE run"},
      {Bitmap8(rle.chopped(2), 1), "end mark"},
      {Bitmap8(QByteArray("\x04\x03\0\x01", 4), 1), "palette index"},
      {Bitmap8(rle, 1, -2), "top-down"},
  };
  for (const auto& [bytes, refusal] : cases) {
    QFile file(dir.filePath("t.bmp"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
    file.close();
    TTextureGL texture;
    QString error;
    EXPECT_EQ(texture.LoadFromFile(file.fileName(), &error), refusal == nullptr)
        << (refusal ? refusal : "valid") << ": " << error.toStdString();
    if (refusal) {
      EXPECT_NE(error.indexOf(refusal), -1) << refusal << ": " << error.toStdString();
    }
  }
}

}  // namespace
}  // namespace vedalia
