#include <gtest/gtest.h>

// libjpeg's header needs FILE and size_t declared first.
#include <jpeglib.h>
#include <cstddef>
#include <cstdio>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdlib>

#include "flashhost/SwfWriter.h"
#include "media/uDecryptor.h"

namespace vedalia {
namespace {

// A small grey JPEG made with libjpeg.
QByteArray MakeJpeg(int width = 16, int height = 8) {
  jpeg_compress_struct cinfo;
  jpeg_error_mgr err;
  cinfo.err = jpeg_std_error(&err);
  jpeg_create_compress(&cinfo);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &buffer, &size);
  cinfo.image_width = JDIMENSION(width);
  cinfo.image_height = JDIMENSION(height);
  cinfo.input_components = 1;
  cinfo.in_color_space = JCS_GRAYSCALE;
  jpeg_set_defaults(&cinfo);
  jpeg_start_compress(&cinfo, TRUE);
  std::vector<unsigned char> row(size_t(width), 0x80);
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW rows[] = {row.data()};
    jpeg_write_scanlines(&cinfo, rows, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  QByteArray out(reinterpret_cast<const char*>(buffer), qsizetype(size));
  std::free(buffer);
  return out;
}

QByteArray Xor(QByteArray data, const QByteArray& key) {
  for (qsizetype i = 0; i < data.size(); ++i) data[i] = char(data[i] ^ key[(i + 1) % key.size()]);
  return data;
}

const QByteArray kDefault(1, char(0xB6));

TEST(Unscramble, MatchesTheByteRuleForAnyKeyAndLength) {
  // Lengths around the internal pattern sizes and keys of awkward lengths.
  uint32_t seed = 7;
  auto next = [&] { return char((seed = seed * 1664525u + 1013904223u) >> 24); };
  for (int keyLength : {1, 2, 3, 7, 8, 13, 64, 300}) {
    QByteArray key;
    for (int i = 0; i < keyLength; ++i) key.append(next());
    for (int size : {0, 1, 7, 8, 9, 255, 256, 257, 1000, 4099}) {
      QByteArray data;
      for (int i = 0; i < size; ++i) data.append(next());
      const QByteArray scrambled = TDecryptor::Unscrambled(data, key);
      ASSERT_EQ(scrambled, Xor(data, key)) << keyLength << " " << size;
      ASSERT_EQ(TDecryptor::Unscrambled(scrambled, key), data);
    }
  }
}

TEST(Unscramble, AMultiByteKeyStartsAtItsSecondByte) {
  const QByteArray key("\x01\x02\x04", 3);
  const QByteArray out = TDecryptor::Unscrambled(QByteArray(5, '\0'), key);
  EXPECT_EQ(out.toHex(), QByteArray("0204010204"));
  EXPECT_EQ(TDecryptor::Unscrambled("abc", QByteArray()), QByteArray("abc"));
}

TEST(ContentChecks, JpegHeaders) {
  const QByteArray jpeg = MakeJpeg();
  EXPECT_TRUE(TDecryptor::IsJpegImage(jpeg));
  EXPECT_TRUE(TDecryptor::IsJpegImage(QByteArray()));
  // The header up to the first scan is enough; the image data may be cut.
  const qsizetype sos = jpeg.indexOf(QByteArray("\xFF\xDA", 2));
  ASSERT_GT(sos, 0);
  EXPECT_TRUE(TDecryptor::IsJpegImage(jpeg.left(sos + 20)));
  // Cut before the scan, garbage, or a scrambled header: libjpeg refuses, the process lives on.
  EXPECT_FALSE(TDecryptor::IsJpegImage(jpeg.left(sos)));
  EXPECT_FALSE(TDecryptor::IsJpegImage(jpeg.left(2)));
  EXPECT_FALSE(TDecryptor::IsJpegImage(QByteArray("\xFF\xD8\xFF\xE0garbage", 11)));
  EXPECT_FALSE(TDecryptor::IsJpegImage(QByteArray("plain text, not a picture")));
  EXPECT_FALSE(TDecryptor::IsJpegImage(Xor(jpeg, kDefault)));
  // Damage anywhere in the header: an answer either way, never an exit.
  for (qsizetype i = 0; i < sos + 2; ++i) {
    QByteArray damaged = jpeg;
    damaged[i] = char(damaged[i] ^ 0x5A);
    (void)TDecryptor::IsJpegImage(damaged);
  }
}

TEST(ContentChecks, ByFileType) {
  const QByteArray movie = WriteSwfMovie(SwfMovieSpec{});
  SwfMovieSpec empty;
  empty.frameCount = 0;
  EXPECT_TRUE(TDecryptor::IsValidContent(movie, "swf"));
  EXPECT_FALSE(TDecryptor::IsValidContent(WriteSwfMovie(empty), "swf"));
  EXPECT_FALSE(TDecryptor::IsValidContent(QByteArray(), "swf"));
  EXPECT_TRUE(TDecryptor::IsValidContent(QByteArray("x"), "SWF"));  // exact: taken as is
  EXPECT_FALSE(TDecryptor::IsValidContent(movie, "avi"));
  EXPECT_TRUE(TDecryptor::IsValidContent(QByteArray("anything"), "xml"));
}

class Loader : public ::testing::Test {
 protected:
  QString Write(const QString& name, const QByteArray& bytes) {
    QFile file(dir.filePath(name));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    return file.fileName();
  }
  QByteArray Read(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
  }
  QTemporaryDir dir;
  TDecryptor loader;
  const QByteArray movie = WriteSwfMovie(SwfMovieSpec{});
  const QByteArray jpeg = MakeJpeg();
};

TEST_F(Loader, PlainOrScrambledMoviesAndPictures) {
  EXPECT_EQ(loader.LoadContent(Write("a.swf", movie), {}, "swf"), movie);
  EXPECT_EQ(loader.LoadContent(Write("b.swf", Xor(movie, kDefault)), {}, "swf"), movie);
  EXPECT_EQ(loader.LoadContent(Write("a.jpg", jpeg), {}, "jpg"), jpeg);
  EXPECT_EQ(loader.LoadContent(Write("b.jpg", Xor(jpeg, kDefault)), {}, "jpg"), jpeg);
  EXPECT_EQ(loader.Key, kDefault);
  EXPECT_EQ(loader.FileType, "jpg");
  // Neither form passes.
  EXPECT_FALSE(loader.LoadContent(Write("c.swf", "not a movie at all"), {}, "swf"));
  EXPECT_FALSE(loader.LoadContent(Write("c.jpg", "not a picture at all"), {}, "jpg"));
  // A movie is not a picture.
  EXPECT_FALSE(loader.LoadContent(dir.filePath("a.swf"), {}, "jpg"));
  // A movie cut short is damaged in either form.
  for (auto compression : {SwfCompression::None, SwfCompression::Zlib, SwfCompression::Lzma}) {
    SwfMovieSpec movieSpec;
    movieSpec.compression = compression;
    movieSpec.frameCount = 300;
    const QByteArray cut = WriteSwfMovie(movieSpec).chopped(20);
    EXPECT_FALSE(loader.LoadContent(Write("cut.swf", cut), {}, "swf"));
    EXPECT_FALSE(loader.LoadContent(Write("cut.swf", Xor(cut, kDefault)), {}, "swf"));
  }
}

TEST_F(Loader, AGivenKeyIsUsedInsteadOfTheDefault) {
  const QByteArray key("k3y");
  const QString path = Write("k.swf", Xor(movie, key));
  EXPECT_EQ(loader.LoadContent(path, key, "swf"), movie);
  EXPECT_FALSE(loader.LoadContent(path, {}, "swf"));
}

TEST_F(Loader, OtherTypesAreTakenAsStored) {
  const QByteArray scrambledText = Xor("<item>text</item>", kDefault);
  EXPECT_EQ(loader.LoadContent(Write("a.xml", scrambledText), {}, "xml"), scrambledText);
  EXPECT_EQ(loader.LoadContent(Write("a.doc", QByteArray()), {}, "doc"), QByteArray());
}

TEST_F(Loader, EmptyFiles) {
  const QString path = Write("empty", QByteArray());
  const auto picture = loader.LoadContent(path, {}, "jpg");
  ASSERT_TRUE(picture);
  EXPECT_TRUE(picture->isEmpty());
  EXPECT_FALSE(loader.LoadContent(path, {}, "swf"));
}

TEST_F(Loader, VideosNeverLoadAndAreNeverCopied) {
  const QString path = Write("clip.avi", "RIFF....AVI ");
  EXPECT_FALSE(loader.LoadContent(path, {}, "avi"));
  EXPECT_FALSE(loader.SaveContent(path, dir.filePath("copy.avi"), {}, "avi"));
  EXPECT_FALSE(QFile::exists(dir.filePath("copy.avi")));
}

TEST_F(Loader, MissingOrUnreadableFilesYieldNothing) {
  EXPECT_FALSE(loader.LoadContent(dir.filePath("missing.swf"), {}, "swf"));
  EXPECT_FALSE(loader.LoadContent(dir.filePath("missing.xml"), {}, "xml"));
  EXPECT_FALSE(loader.LoadContent(dir.path(), {}, "xml"));  // a folder
  EXPECT_FALSE(loader.LoadContent(QString(), {}, "xml"));
  const QString locked = Write("locked.xml", "secret");
  QFile::setPermissions(locked, QFileDevice::Permissions());
  if (!QFile(locked).open(QIODevice::ReadOnly)) {  // root can read anything
    EXPECT_FALSE(loader.LoadContent(locked, {}, "xml"));
  }
}

TEST_F(Loader, SavedCopiesArePlain) {
  const QString source = Write("s.jpg", Xor(jpeg, kDefault));
  const QString target = dir.filePath("copy.jpg");
  Write("copy.jpg", "old contents");
  EXPECT_TRUE(loader.SaveContent(source, target, {}, "jpg"));
  EXPECT_EQ(Read(target), jpeg);
}

TEST_F(Loader, FailedSavesLeaveTheTargetAlone) {
  const QString target = Write("target.swf", "keep me");
  EXPECT_FALSE(loader.SaveContent(Write("bad.swf", "junk"), target, {}, "swf"));
  EXPECT_FALSE(loader.SaveContent(dir.filePath("missing.swf"), target, {}, "swf"));
  EXPECT_EQ(Read(target), "keep me");
  const QString source = Write("good.swf", movie);
  EXPECT_FALSE(loader.SaveContent(source, dir.filePath("no/such/folder/x.swf"), {}, "swf"));
  EXPECT_FALSE(loader.SaveContent(source, dir.path(), {}, "swf"));
  EXPECT_FALSE(loader.SaveContent(source, QString(), {}, "swf"));
}

TEST_F(Loader, ContentFilesAreFoundWhateverTheirLetterCase) {
  const QString stored = Write(QString::fromUtf8("ФОТО Бора.JPG"), jpeg);
  const QString asked = dir.filePath(QString::fromUtf8("фото бора.jpg"));
  EXPECT_EQ(ResolveContentFile(asked), stored);
  EXPECT_EQ(ResolveContentFile(stored), stored);
  EXPECT_EQ(loader.LoadContent(asked, {}, "jpg"), jpeg);
  EXPECT_TRUE(loader.SaveContent(asked, dir.filePath("copy.jpg"), {}, "jpg"));

  EXPECT_EQ(ResolveContentFile(dir.filePath("other.jpg")), QString());
  EXPECT_EQ(ResolveContentFile(QString()), QString());
  // Only the file name is matched loosely, not the folders above it.
  ASSERT_TRUE(QDir(dir.path()).mkdir("data"));
  Write("data/x.swf", movie);
  EXPECT_EQ(ResolveContentFile(dir.filePath("DATA/x.swf")), QString());
  EXPECT_EQ(ResolveContentFile(dir.filePath("data/X.SWF")), dir.filePath("data/x.swf"));
  // A folder is not a file, whatever its name.
  EXPECT_EQ(ResolveContentFile(dir.filePath("Data")), QString());
}

}  // namespace
}  // namespace vedalia
