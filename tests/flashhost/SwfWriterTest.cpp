#include <gtest/gtest.h>
#include <zlib.h>

#include <QFile>
#include <QTemporaryDir>

#include "flashhost/SwfInfo.h"
#include "flashhost/SwfWriter.h"

namespace vedalia {
namespace {

struct Tag {
  int code;
  QByteArray payload;
};

// Walks the tag list of an uncompressed movie after its header.
std::vector<Tag> Tags(const QByteArray& movie, int headerLength) {
  std::vector<Tag> tags;
  qsizetype pos = headerLength;
  auto u16 = [&](qsizetype p) { return uint8_t(movie[p]) | uint8_t(movie[p + 1]) << 8; };
  while (pos + 2 <= movie.size()) {
    const int head = u16(pos);
    pos += 2;
    qsizetype length = head & 0x3F;
    if (length == 0x3F) {
      length = qsizetype(u16(pos)) | qsizetype(u16(pos + 2)) << 16;
      pos += 4;
    }
    tags.push_back({head >> 6, movie.mid(pos, length)});
    pos += length;
    if (tags.back().code == 0) break;
  }
  EXPECT_EQ(pos, movie.size()) << "trailing bytes after End";
  return tags;
}

TEST(SwfWriter, PlainMovieHasTheRequestedTagsAndAnExactLength) {
  SwfMovieSpec movieSpec;
  movieSpec.frameCount = 4;
  movieSpec.backgroundColor = 0xF9F0F1;
  movieSpec.extraTags = SwfTag(43, QByteArray("label\0", 6));  // FrameLabel
  const QByteArray movie = WriteSwfMovie(movieSpec);
  const auto info = InspectSwf(movie);
  ASSERT_TRUE(info);
  EXPECT_EQ(info->declaredLength, uint32_t(movie.size()));
  const auto tags = Tags(movie, info->headerLength);
  ASSERT_EQ(tags.size(), 1u + 1u + 4u + 1u);
  EXPECT_EQ(tags[0].code, 9);
  EXPECT_EQ(tags[0].payload, QByteArray("\xF9\xF0\xF1"));
  EXPECT_EQ(tags[1].code, 43);
  for (int i = 2; i < 6; ++i) EXPECT_EQ(tags[i].code, 1);
  EXPECT_EQ(tags.back().code, 0);
}

TEST(SwfWriter, ClassicStageHeaderBytes) {
  // 550 x 400 pixels, 24 fps, 1 frame: the rectangle packs into 15-bit fields.
  const QByteArray movie = WriteSwfMovie(SwfMovieSpec{});
  EXPECT_EQ(movie.mid(8, 13).toHex(), QByteArray("7800055f00000fa00000180100"));
}

TEST(SwfWriter, CompressedBodyInflatesToThePlainBody) {
  SwfMovieSpec movieSpec;
  movieSpec.frameCount = 300;
  const QByteArray plain = WriteSwfMovie(movieSpec);
  movieSpec.compression = SwfCompression::Zlib;
  const QByteArray packed = WriteSwfMovie(movieSpec);
  EXPECT_TRUE(packed.startsWith("CWS"));
  EXPECT_EQ(packed.mid(3, 5), plain.mid(3, 5));  // version and uncompressed length
  QByteArray body(plain.size() - 8, '\0');
  uLongf size = uLongf(body.size());
  ASSERT_EQ(
      uncompress(reinterpret_cast<Bytef*>(body.data()), &size,
                 reinterpret_cast<const Bytef*>(packed.constData() + 8), uLong(packed.size() - 8)),
      Z_OK);
  EXPECT_EQ(body, plain.mid(8));
}

TEST(SwfWriter, LongTagsUseTheLongHeader) {
  EXPECT_EQ(SwfTag(1).toHex(), QByteArray("4000"));
  EXPECT_EQ(SwfTag(9, QByteArray(62, 'x')).left(2).toHex(), QByteArray("7e02"));
  const QByteArray longTag = SwfTag(9, QByteArray(63, 'x'));
  EXPECT_EQ(longTag.left(6).toHex(), QByteArray("7f023f000000"));
  EXPECT_EQ(longTag.size(), 6 + 63);
}

TEST(SwfWriter, OutOfRangeValuesAreClampedIntoAValidHeader) {
  SwfMovieSpec movieSpec;
  movieSpec.version = 0;
  movieSpec.width = -5;
  movieSpec.height = 1 << 30;
  movieSpec.frameRate = 1e9;
  movieSpec.frameCount = 70000;
  const auto info = InspectSwf(WriteSwfMovie(movieSpec));
  ASSERT_TRUE(info);
  EXPECT_EQ(info->version, 1);
  EXPECT_EQ(info->widthPixels(), 0.0);
  EXPECT_GT(info->heightPixels(), 1e7);
  EXPECT_NEAR(info->frameRate, 256.0, 0.01);
  EXPECT_EQ(info->frameCount, 65535);
}

TEST(SwfWriter, WritesFilesAndReportsFailure) {
  QTemporaryDir dir;
  SwfMovieSpec movieSpec;
  movieSpec.compression = SwfCompression::Lzma;
  const QString path = dir.filePath("movie.swf");
  ASSERT_TRUE(WriteSwfMovieFile(path, movieSpec));
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.readAll(), WriteSwfMovie(movieSpec));
  EXPECT_FALSE(WriteSwfMovieFile(dir.filePath("no/such/folder/movie.swf"), movieSpec));
}

}  // namespace
}  // namespace vedalia
