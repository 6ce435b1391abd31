#include <gtest/gtest.h>
#include <sys/resource.h>

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "flashhost/SwfInfo.h"
#include "flashhost/SwfWriter.h"

namespace vedalia {
namespace {

QByteArray Movie(SwfCompression compression, int frames = 3) {
  SwfMovieSpec movieSpec;
  movieSpec.version = 9;
  movieSpec.width = 640;
  movieSpec.height = 480;
  movieSpec.frameRate = 12.5;
  movieSpec.frameCount = frames;
  movieSpec.compression = compression;
  return WriteSwfMovie(movieSpec);
}

QByteArray Bytes(std::initializer_list<int> values) {
  QByteArray out;
  for (int v : values) out.append(char(v));
  return out;
}

class SwfInfoByCompression : public ::testing::TestWithParam<SwfCompression> {};

TEST_P(SwfInfoByCompression, ReadsWhatTheWriterWrote) {
  const QByteArray bytes = Movie(GetParam(), 7);
  QString error;
  const auto info = InspectSwf(bytes, &error);
  ASSERT_TRUE(info) << error.toStdString();
  EXPECT_EQ(info->compression, GetParam());
  EXPECT_EQ(info->version, 9);
  EXPECT_EQ(info->frameCount, 7);
  EXPECT_DOUBLE_EQ(info->frameRate, 12.5);
  EXPECT_DOUBLE_EQ(info->widthPixels(), 640.0);
  EXPECT_DOUBLE_EQ(info->heightPixels(), 480.0);
  if (GetParam() == SwfCompression::None) {
    EXPECT_EQ(info->declaredLength, uint32_t(bytes.size()));
  }
}

TEST_P(SwfInfoByCompression, EveryTruncationFailsCleanlyUntilTheHeaderIsComplete) {
  const QByteArray bytes = Movie(GetParam());
  const auto full = InspectSwf(bytes);
  ASSERT_TRUE(full);
  bool seenValid = false;
  for (qsizetype n = 0; n <= bytes.size(); ++n) {
    const auto info = InspectSwf(QByteArrayView(bytes).first(n));
    if (info) {
      EXPECT_EQ(info->frameCount, full->frameCount) << n;
      seenValid = true;
    } else {
      EXPECT_FALSE(seenValid) << "a longer prefix failed after a shorter one passed, at " << n;
    }
  }
  EXPECT_TRUE(seenValid);
}

TEST_P(SwfInfoByCompression, CorruptedBytesNeverCrash) {
  const QByteArray bytes = Movie(GetParam());
  for (qsizetype i = 0; i < bytes.size(); ++i) {
    for (int flip : {0x01, 0x80, 0xFF}) {
      QByteArray copy = bytes;
      copy[i] = char(copy[i] ^ flip);
      (void)InspectSwf(copy);
    }
  }
}

TEST_P(SwfInfoByCompression, ReadsFromFileAndRefusesEmptyOrMissingFiles) {
  QTemporaryDir dir;
  const QString movie = dir.filePath("m.swf");
  QFile f(movie);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(Movie(GetParam(), 2));
  f.close();
  const auto info = InspectSwfFile(movie);
  ASSERT_TRUE(info);
  EXPECT_EQ(info->frameCount, 2);

  QFile empty(dir.filePath("empty.swf"));
  ASSERT_TRUE(empty.open(QIODevice::WriteOnly));
  empty.close();
  EXPECT_FALSE(InspectSwfFile(empty.fileName()));
  EXPECT_FALSE(InspectSwfFile(dir.filePath("missing.swf")));
  EXPECT_FALSE(InspectSwfFile(dir.path()));  // a directory
  EXPECT_FALSE(InspectSwfFile(QString()));
}

TEST_P(SwfInfoByCompression, WholeBodyCheckFindsCutAndDamagedStreams) {
  const QByteArray bytes = Movie(GetParam(), 500);
  const auto info = InspectSwf(bytes);
  ASSERT_TRUE(info);
  QString error;
  EXPECT_EQ(SwfUncompressedLength(bytes, &error), qint64(info->declaredLength))
      << error.toStdString();
  if (GetParam() == SwfCompression::None) return;
  EXPECT_FALSE(SwfUncompressedLength(bytes.left(bytes.size() / 2 + 10), &error));
  EXPECT_FALSE(error.isEmpty());
  QByteArray damaged = bytes;
  for (qsizetype i = bytes.size() / 2; i < bytes.size(); ++i) damaged[i] = char(0xA5);
  const auto length = SwfUncompressedLength(damaged);
  EXPECT_TRUE(!length || *length != qint64(info->declaredLength));
}

TEST_P(SwfInfoByCompression, BodyCheckRefusesABodyShorterThanDeclared) {
  SwfMovieSpec movieSpec;
  movieSpec.compression = GetParam();
  QByteArray noise(3000, '\0');
  uint32_t x = 99;
  for (char& c : noise) c = char((x = x * 1103515245u + 12345u) >> 24);
  movieSpec.extraTags = SwfTag(77, noise);
  const QByteArray bytes = WriteSwfMovie(movieSpec);
  QTemporaryDir dir;
  const QString path = dir.filePath("m.swf");
  // (bytes kept, whether the body check passes); a longer file than declared is fine. A raw
  // LZMA body has no end of its own: its last flushed bytes may go without losing content.
  const qsizetype justShort = bytes.size() - (GetParam() == SwfCompression::Lzma ? 8 : 1);
  const std::pair<qsizetype, bool> cases[] = {{bytes.size(), true},
                                              {justShort, false},
                                              {bytes.size() / 2, false},
                                              {std::min<qsizetype>(35, bytes.size() - 2), false}};
  for (const auto& [keep, intact] : cases) {
    QByteArray cut = bytes.left(keep);
    if (intact) cut.append("trailing");
    QString error;
    EXPECT_EQ(InspectSwf(cut, &error, SwfCheck::Body).has_value(), intact) << keep;
    EXPECT_EQ(error.isEmpty(), intact) << keep;
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(cut);
    file.close();
    EXPECT_EQ(InspectSwfFile(path, nullptr, SwfCheck::Body).has_value(), intact) << keep;
  }
  // A stream that ends properly but short of the declared length.
  QByteArray longer = bytes;
  const std::uint32_t claimed = InspectSwf(bytes)->declaredLength + 100;
  for (int i = 0; i < 4; ++i) longer[4 + i] = char(claimed >> (8 * i));
  EXPECT_FALSE(InspectSwf(longer, nullptr, SwfCheck::Body));
}

INSTANTIATE_TEST_SUITE_P(All, SwfInfoByCompression,
                         ::testing::Values(SwfCompression::None, SwfCompression::Zlib,
                                           SwfCompression::Lzma));

TEST(SwfInfo, ParsesAHandWrittenHeaderWithNegativeOrigin) {
  // RECT with 16-bit fields: xMin -200, xMax 11000, yMin -20, yMax 8000 (twips).
  // 5 bits of size (16), then four 16-bit signed values, padded to 9 bytes.
  auto pack = [](std::initializer_list<int> fields, int bits) {
    std::vector<int> stream;
    for (int i = 4; i >= 0; --i) stream.push_back((bits >> i) & 1);
    for (int v : fields)
      for (int i = bits - 1; i >= 0; --i) stream.push_back((uint32_t(v) >> i) & 1);
    QByteArray out((stream.size() + 7) / 8, '\0');
    for (size_t i = 0; i < stream.size(); ++i)
      if (stream[i]) out[qsizetype(i / 8)] = char(out[qsizetype(i / 8)] | (0x80 >> (i % 8)));
    return out;
  };
  QByteArray movie = QByteArray("FWS") + char(6) + Bytes({0x40, 0, 0, 0});
  movie += pack({-200, 11000, -20, 8000}, 16);
  movie += Bytes({0x80, 0x1D, 0x05, 0x01});  // 29.5 fps, 261 frames
  const auto info = InspectSwf(movie);
  ASSERT_TRUE(info);
  EXPECT_EQ(info->xMinTwips, -200);
  EXPECT_EQ(info->yMinTwips, -20);
  EXPECT_DOUBLE_EQ(info->widthPixels(), 560.0);
  EXPECT_DOUBLE_EQ(info->heightPixels(), 401.0);
  EXPECT_DOUBLE_EQ(info->frameRate, 29.5);
  EXPECT_EQ(info->frameCount, 261);
  EXPECT_EQ(info->headerLength, 8 + 9 + 4);
}

TEST(SwfInfo, RejectsHeadersThatAreNotMoviesOrContradictThemselves) {
  const QByteArray good = Movie(SwfCompression::None);
  auto with = [&](int index, int value) {
    QByteArray copy = good;
    copy[index] = char(value);
    return copy;
  };
  EXPECT_FALSE(InspectSwf(QByteArray()));
  EXPECT_FALSE(InspectSwf(QByteArray("GIF89a-not-a-movie-at-all-but-long-enough")));
  EXPECT_FALSE(InspectSwf(with(0, 'X')));
  EXPECT_FALSE(InspectSwf(with(3, 0)));  // version 0
  // Declared length shorter than the header itself.
  QByteArray shortLength = good;
  shortLength.replace(4, 4, Bytes({10, 0, 0, 0}));
  QString error;
  EXPECT_FALSE(InspectSwf(shortLength, &error));
  EXPECT_FALSE(error.isEmpty());
  // Stage rectangle with xMax below xMin: 8-bit fields 10, 5, 0, 5.
  const QByteArray inverted =
      QByteArray("FWS") + char(8) + Bytes({100, 0, 0, 0, 0x42, 0x82, 0x80, 0x05, 0, 0, 24, 1, 0});
  EXPECT_FALSE(InspectSwf(inverted));
}

TEST(SwfInfo, BrokenCompressedStreamsFail) {
  QByteArray cws = Movie(SwfCompression::Zlib);
  cws.replace(8, cws.size() - 8, QByteArray(40, char(0xEE)));
  EXPECT_FALSE(InspectSwf(cws));

  QByteArray zws = Movie(SwfCompression::Lzma);
  QByteArray badProps = zws;
  badProps[12] = char(0xFF);  // lc/lp/pb byte out of range
  EXPECT_FALSE(InspectSwf(badProps));
  QByteArray garbage = zws;
  garbage.replace(17, garbage.size() - 17, QByteArray(40, char(0xFF)));
  EXPECT_FALSE(InspectSwf(garbage));
}

TEST(SwfInfo, ALyingLengthIsOnlyReported) {
  for (auto compression : {SwfCompression::Zlib, SwfCompression::Lzma}) {
    QByteArray movie = Movie(compression, 4);
    movie.replace(4, 4, Bytes({0xFF, 0xFF, 0xFF, 0xFF}));
    const auto info = InspectSwf(movie);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->declaredLength, 0xFFFFFFFFu);
    EXPECT_EQ(info->frameCount, 4);
  }
}

TEST(SwfInfo, WholeBodyCheckIgnoresADictionaryClaimOfGigabytes) {
  // Found by fuzzing: a 40-byte header claiming a 4 GiB movie and a 2.8 GB dictionary.
  const QByteArray found = QByteArray::fromBase64("WldTSkAAAP7gVV0AAAAAM6kAACf//KYUFnIA");
  EXPECT_FALSE(SwfUncompressedLength(found));

  // A sound movie whose header lies the same way still decodes under a 1 GiB address-space
  // limit, which a dictionary of the claimed size would not fit in.
  QByteArray zws = Movie(SwfCompression::Lzma);
  const auto honest = SwfUncompressedLength(zws);
  ASSERT_TRUE(honest);
  zws.replace(4, 4, Bytes({0xF0, 0xFF, 0xFF, 0xFF}));
  zws.replace(13, 4, Bytes({0xFF, 0xFF, 0xFF, 0xFF}));
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizer's shadow memory needs an unlimited address space";
#else
  rlimit previous{};
  ASSERT_EQ(::getrlimit(RLIMIT_AS, &previous), 0);
  rlimit limited = previous;
  limited.rlim_cur = rlim_t(1) << 30;
  std::optional<qint64> length;
  QString error;
  ASSERT_EQ(::setrlimit(RLIMIT_AS, &limited), 0);
  length = SwfUncompressedLength(zws, &error);
  ::setrlimit(RLIMIT_AS, &previous);
  EXPECT_EQ(length, honest) << error.toStdString();
#endif
}

TEST(SwfInfo, ZeroFramesIsAValidHeaderWithNoFrames) {
  const auto info = InspectSwf(Movie(SwfCompression::Zlib, 0));
  ASSERT_TRUE(info);
  EXPECT_EQ(info->frameCount, 0);
}

TEST(SwfInfo, InspectsALargeCompressedFileFromItsFirstBytes) {
  // 4 MiB of incompressible-looking payload inside a tag keeps the file large.
  SwfMovieSpec movieSpec;
  movieSpec.compression = SwfCompression::Zlib;
  movieSpec.frameCount = 5;
  QByteArray payload(4 << 20, '\0');
  uint32_t x = 12345;
  for (char& c : payload) c = char((x = x * 1103515245u + 12345u) >> 24);
  movieSpec.extraTags = SwfTag(77, payload);
  QTemporaryDir dir;
  const QString path = dir.filePath("big.swf");
  ASSERT_TRUE(WriteSwfMovieFile(path, movieSpec));
  EXPECT_GT(QFileInfo(path).size(), 4 << 20);
  const auto info = InspectSwfFile(path);
  ASSERT_TRUE(info);
  EXPECT_EQ(info->frameCount, 5);
  EXPECT_GT(info->declaredLength, uint32_t(4 << 20));
}

}  // namespace
}  // namespace vedalia
