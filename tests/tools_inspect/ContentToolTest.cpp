#include <gtest/gtest.h>

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

#include "flashhost/SwfInfo.h"
#include "flashhost/SwfWriter.h"
#include "media/uDecryptor.h"

namespace vedalia {
namespace {

struct ToolRun {
  int code = -1;
  QString out;
  QString err;
};

class ContentTool : public ::testing::Test {
 protected:
  ToolRun Tool(const QStringList& args) {
    QProcess process;
    process.setWorkingDirectory(dir.path());
    process.start(QStringLiteral(VEDALIA_COURSE_TOOL), args);
    EXPECT_TRUE(process.waitForFinished(30000));
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
  }
  QString Path(const QString& name) const { return dir.filePath(name); }
  QByteArray Read(const QString& name) const {
    QFile file(Path(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }
  void Write(const QString& name, const QByteArray& bytes) const {
    QFile file(Path(name));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
  }
  QTemporaryDir dir;
};

TEST_F(ContentTool, MakeMovieWritesWhatWasAskedFor) {
  const ToolRun run = Tool({"make-movie", "start.swf", "--width", "1024", "--height", "700",
                            "--frames", "12", "--fps", "30", "--color", "F9F0F1", "--compress"});
  ASSERT_EQ(run.code, 0) << run.err.toStdString();
  const auto info = InspectSwf(Read("start.swf"));
  ASSERT_TRUE(info);
  EXPECT_EQ(info->compression, SwfCompression::Zlib);
  EXPECT_EQ(info->widthPixels(), 1024.0);
  EXPECT_EQ(info->heightPixels(), 700.0);
  EXPECT_EQ(info->frameCount, 12);
  EXPECT_EQ(info->frameRate, 30.0);

  EXPECT_EQ(Tool({"make-movie", "x.swf", "--width", "wide"}).code, 2);
  EXPECT_EQ(Tool({"make-movie", "x.swf", "--color", "12345"}).code, 2);
  EXPECT_EQ(Tool({"make-movie"}).code, 2);
  EXPECT_FALSE(QFile::exists(Path("x.swf")));
}

TEST_F(ContentTool, ScrambleIsItsOwnInverseAndInspectTellsTheForms) {
  Write("movie.swf", WriteSwfMovie(SwfMovieSpec{}));
  ASSERT_EQ(Tool({"scramble", "movie.swf", "movie.bin"}).code, 0);
  EXPECT_EQ(Read("movie.bin"), TDecryptor::Unscrambled(Read("movie.swf"), "\xB6"));
  ASSERT_EQ(Tool({"scramble", "movie.bin", "again.swf"}).code, 0);
  EXPECT_EQ(Read("again.swf"), Read("movie.swf"));

  const ToolRun plain = Tool({"inspect", "movie.swf"});
  EXPECT_EQ(plain.code, 0);
  EXPECT_TRUE(plain.out.contains("kind: Flash movie")) << plain.out.toStdString();
  EXPECT_TRUE(plain.out.contains("stored: plain"));
  EXPECT_TRUE(plain.out.contains("550 x 400 px, 24 fps, 1 frame(s)"));
  const ToolRun scrambled = Tool({"inspect", "movie.bin"});
  EXPECT_EQ(scrambled.code, 0);
  EXPECT_TRUE(scrambled.out.contains("stored: scrambled (key b6)")) << scrambled.out.toStdString();
}

TEST_F(ContentTool, AGivenKeyIsNeededToRecogniseWhatItScrambled) {
  Write("movie.swf", WriteSwfMovie(SwfMovieSpec{}));
  ASSERT_EQ(Tool({"scramble", "movie.swf", "k.swf", "--key-hex", "0a0b0c"}).code, 0);
  EXPECT_EQ(Tool({"inspect", "k.swf"}).code, 1);
  const ToolRun withKey = Tool({"inspect", "--key-hex", "0a0b0c", "k.swf"});
  EXPECT_EQ(withKey.code, 0);
  EXPECT_TRUE(withKey.out.contains("stored: scrambled (key 0a0b0c)")) << withKey.out.toStdString();
  EXPECT_EQ(Tool({"scramble", "movie.swf", "k.swf", "--key-hex", "0a0"}).code, 2);
  EXPECT_EQ(Tool({"scramble", "movie.swf"}).code, 2);
  EXPECT_EQ(Tool({"scramble", "missing.swf", "out.swf"}).code, 1);
}

TEST_F(ContentTool, InspectReportsFilesThatAreNeitherOrBroken) {
  Write("notes.txt", "just some text");
  SwfMovieSpec movieSpec;
  movieSpec.compression = SwfCompression::Zlib;
  movieSpec.frameCount = 200;
  const QByteArray movie = WriteSwfMovie(movieSpec);
  Write("cut.swf", movie.left(movie.size() - 4));
  Write("empty.jpg", QByteArray());
  const ToolRun run = Tool({"inspect", "notes.txt", "cut.swf", "missing.jpg", "empty.jpg"});
  EXPECT_EQ(run.code, 1);
  EXPECT_TRUE(run.out.contains("kind: neither a Flash movie nor a JPEG picture"))
      << run.out.toStdString();
  EXPECT_TRUE(run.out.contains("body broken"));
  EXPECT_TRUE(run.out.contains("missing.jpg\n  error: no such file"));
  EXPECT_TRUE(run.out.contains("empty.jpg\n  size: 0 bytes"));
  EXPECT_EQ(Tool({"inspect"}).code, 2);
}

TEST_F(ContentTool, InspectJudgesAFolderAsTheShellWould) {
  ASSERT_TRUE(QDir(dir.path()).mkpath("course/data/photo"));
  Write("course/start.swf", WriteSwfMovie(SwfMovieSpec{}));
  SwfMovieSpec many;
  many.frameCount = 300;
  const QByteArray movie = WriteSwfMovie(many);
  Write("course/data/cut.swf", movie.left(movie.size() / 2));
  QByteArray jpeg;
  QBuffer buffer(&jpeg);
  ASSERT_TRUE(buffer.open(QIODevice::WriteOnly) &&
              QImage(8, 8, QImage::Format_RGB32).save(&buffer, "JPG"));
  Write("course/data/photo/ok.jpg", jpeg);
  // A header claiming 60000 x 60000 pixels: more than the viewer decodes.
  const qsizetype sof = jpeg.indexOf("\xFF\xC0");
  ASSERT_GT(sof, 0);
  jpeg.replace(sof + 5, 4, "\xEA\x60\xEA\x60");
  Write("course/data/photo/huge.jpg", jpeg);
  const QByteArray box =
      "New object\nnumverts numfaces\n3 1\nv\n0 0 0\n1 0 0\n0 1 0\n\n\n1 2 3\n"
      "\n\n0 0 1\n\n\n0 0 1\n0 0 1\n0 0 1\n";
  Write("course/data/box.gms", box);
  ASSERT_TRUE(QImage(4, 4, QImage::Format_RGB32).save(Path("course/data/BOX.BMP"), "BMP"));
  Write("course/data/cut.gms", box.left(box.size() - 8));
  Write("course/data/odd.bmp", "BM not a bitmap at all, really");
  const ToolRun run = Tool({"inspect", "course"});
  EXPECT_EQ(run.code, 1);
  const std::string out = run.out.toStdString();
  for (const char* line :
       {"cut.swf\n", "loads: no: Невозможно проиграть файл. (body shorter than declared)",
        "loads: no: Невозможно загрузить изображение.", "1 object(s), 1 triangle(s)",
        "texture: BOX.BMP", "loads: no: Невозможно загрузить 3D модель.",
        "movies: 2 file(s), 1 refused", "pictures: 2 file(s), 1 refused",
        "models: 2 file(s), 1 refused", "textures: 2 file(s), 1 refused"})
    EXPECT_NE(out.find(line), std::string::npos) << line << "\n" << out;
  EXPECT_EQ(Tool({"inspect", "course/start.swf", "course/data/box.gms"}).code, 0);
}

}  // namespace
}  // namespace vedalia
