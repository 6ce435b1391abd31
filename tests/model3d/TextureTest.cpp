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

}  // namespace
}  // namespace vedalia
