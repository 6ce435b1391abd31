#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "flashhost/SwfWriter.h"
#include "media/uAssocArray.h"
#include "media/uMediaTypes.h"

namespace vedalia {
namespace {

TEST(AssocStringArray, FirstEqualKeyWinsAndLookupIsExact) {
  TAssocStringArray map;
  EXPECT_EQ(map.Get("a"), QString());
  map.Add("a", "1");
  map.Add("A", "upper");
  map.Add("a", "2");
  map.Add("", "empty key");
  EXPECT_EQ(map.Count(), 4);
  EXPECT_EQ(map.Get("a"), "1");
  EXPECT_EQ(map.Get("A"), "upper");
  EXPECT_EQ(map.Get(""), "empty key");
  EXPECT_EQ(map.Get("b"), QString());
  EXPECT_EQ(map.KeyAt(2), "a");
  EXPECT_EQ(map.ValueAt(2), "2");
}

TEST(MediaObjects, EveryTypeMapsBothWaysWithItsOwnFolder) {
  const TMediaObjects catalogue;
  ASSERT_EQ(catalogue.Count(), 18);
  EXPECT_EQ(catalogue.KeyAt(0), "graphics_3D");
  EXPECT_EQ(catalogue.KeyAt(17), "xrestomatia");
  QStringList titles;
  for (int i = 0; i < catalogue.Count(); ++i) {
    const QString key = catalogue.KeyAt(i);
    const QString title = catalogue.GetTitle(key);
    EXPECT_FALSE(title.isEmpty()) << key.toStdString();
    EXPECT_EQ(catalogue.GetTypeByTitle(title), key);
    EXPECT_EQ(catalogue.GetFolderPath(key), "data/" + key + "/");
    titles << title;
  }
  titles.removeDuplicates();
  EXPECT_EQ(titles.size(), 18);
}

TEST(MediaObjects, LookupsOfKnownAndUnknownKeys) {
  const TMediaObjects catalogue;
  EXPECT_EQ(catalogue.GetTitle("photo"), QString::fromUtf8("Фотография"));
  EXPECT_EQ(catalogue.GetTitle("graphics_3D"), QString::fromUtf8("Трёхмерная модель"));
  EXPECT_EQ(catalogue.GetTypeByTitle(QString::fromUtf8("Фотография")), "photo");
  EXPECT_EQ(catalogue.GetTypeByTitle(QString::fromUtf8("Слайд-шоу")), "slide");
  EXPECT_EQ(catalogue.GetTitle("Photo"), QString());
  EXPECT_EQ(catalogue.GetTypeByTitle(QString::fromUtf8("фотография")), QString());
  EXPECT_EQ(catalogue.GetFolderPath("vocab"), "data/vocab/");
  EXPECT_EQ(catalogue.GetFolderPath(""), "data//");
  EXPECT_EQ(catalogue.GetFolderPath("nonsense"), "data//");
}

TEST(MediaObjects, SuggestedNames) {
  const TMediaObjects catalogue;
  for (const char* key : {"geomap", "geomapcontour", "graphics_3D", "animation", "interact_table",
                          "video", "nonsense", ""})
    EXPECT_FALSE(catalogue.SuggestsName(key)) << key;
  for (const char* key : {"description", "biography", "photo", "vocab", "xrestomatia"})
    EXPECT_TRUE(catalogue.SuggestsName(key)) << key;
}

class PlayableMovie : public ::testing::Test {
 protected:
  QString Write(const QString& name, const QByteArray& bytes) {
    QFile file(dir.filePath(name));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    return file.fileName();
  }
  QTemporaryDir dir;
  TMediaObjects catalogue;
};

TEST_F(PlayableMovie, AMovieWithFramesPlays) {
  SwfMovieSpec movieSpec;
  movieSpec.compression = SwfCompression::Zlib;
  EXPECT_TRUE(catalogue.IsPlayableMovie(Write("start.swf", WriteSwfMovie(movieSpec))));
}

TEST_F(PlayableMovie, MissingEmptyFramelessOrForeignFilesDoNot) {
  EXPECT_FALSE(catalogue.IsPlayableMovie(dir.filePath("start.swf")));
  EXPECT_FALSE(catalogue.IsPlayableMovie(Write("empty.swf", QByteArray())));
  SwfMovieSpec movieSpec;
  movieSpec.frameCount = 0;
  EXPECT_FALSE(catalogue.IsPlayableMovie(Write("noframes.swf", WriteSwfMovie(movieSpec))));
  EXPECT_FALSE(catalogue.IsPlayableMovie(Write("text.swf", "<html>not a movie</html>")));
  // Stored scrambled: the start movie must be plain.
  QByteArray scrambled = WriteSwfMovie(SwfMovieSpec{});
  for (char& c : scrambled) c = char(c ^ 0xB6);
  EXPECT_FALSE(catalogue.IsPlayableMovie(Write("scrambled.swf", scrambled)));
  EXPECT_FALSE(catalogue.IsPlayableMovie(dir.path()));
  EXPECT_FALSE(
      catalogue.IsPlayableMovie(Write("cut.swf", WriteSwfMovie(SwfMovieSpec{}).chopped(1))));
}

TEST_F(PlayableMovie, FoundWhenOnlyTheLetterCaseDiffers) {
  Write("START.SWF", WriteSwfMovie(SwfMovieSpec{}));
  EXPECT_TRUE(catalogue.IsPlayableMovie(dir.filePath("start.swf")));
}

}  // namespace
}  // namespace vedalia
