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

// Hex with spaces between fields, for readable expectations.
QByteArray Hex(const char* spaced) { return QByteArray(spaced).replace(' ', ""); }

TEST(SwfActions, AssemblesEachActionAsThePlayerReadsIt) {
  SwfActions body;
  body.Push("a").Op(SwfOp::GetVariable).Op(SwfOp::Return);
  SwfActions loop;  // the If skips the Jump; the Jump goes back to the start
  loop.Label("top").Push(true).If("end").Jump("top").Label("end");
  const struct {
    SwfActions actions;
    const char* hex;
  } cases[] = {
      {SwfActions().Push("ab"), "96 0400 00 616200"},
      {SwfActions().Push(-2), "96 0500 07 feffffff"},
      {SwfActions().Push(1.5), "96 0900 06 0000f83f 00000000"},
      {SwfActions().Push(true).PushNull().PushUndefined(), "96 0200 05 01 96 0100 02 96 0100 03"},
      {SwfActions().ConstantPool({"x", "y"}).Push("y").Push("z"),
       "88 0600 0200 7800 7900 96 0200 08 01 96 0300 00 7a00"},
      {SwfActions().Set("v", 7).Get("v").Op(SwfOp::TypeOf),
       "96 0300 00 7600 96 0500 07 07000000 1d 96 0300 00 7600 1c 44"},
      {std::move(loop), "96 0200 05 01 9d 0200 0500 99 0200 f1ff"},
      {SwfActions().GotoFrame(3).GotoLabel("a").GotoFrame2(true),
       "81 0200 0300 8c 0200 6100 9f 0100 01"},
      {SwfActions().Fscommand("quit", "").GetUrl2(),
       "83 1000 4653436f6d6d616e643a7175697400 00 9a 0100 00"},
      {SwfActions().DefineFunction("f", {"a"}, body),
       "9b 0800 6600 0100 6100 0800 96 0300 00 6100 1c 3e"},
  };
  for (const auto& c : cases) {
    EXPECT_TRUE(c.actions.Valid()) << c.hex;
    EXPECT_EQ(c.actions.Code().toHex(), Hex(c.hex));
    EXPECT_EQ(c.actions.Bytes(), c.actions.Code() + QByteArray(1, '\0'));
  }
  EXPECT_FALSE(SwfActions().Jump("nowhere").Valid());
  EXPECT_FALSE(SwfActions().Label("a").Label("a").Valid());
  EXPECT_FALSE(SwfActions().DefineFunction("f", {}, SwfActions().If("x")).Valid());
}

TEST(SwfActions, TagsCarryTheirActionsWhereThePlayerLooksForThem) {
  const SwfActions stop = SwfActions().Op(SwfOp::Stop);
  const struct {
    QByteArray tag;
    const char* hex;
  } cases[] = {
      {SwfDoActionTag(stop), "0203 0700"},
      {SwfDoInitActionTag(3, stop), "c40e 0300 0700"},
      {SwfFrameLabelTag("b"), "c20a 6200"},
      {SwfButtonTag(5, 4, {{kSwfOnRelease, stop}, {SwfOnKeyPress(13), stop}}),
       "9908 0500 00 0a00 0f 0400 0100 00 00 00 0600 0800 0700 0000 001a 0700"},
      {SwfSpriteTag(3, 2, SwfDoActionTag(stop)), "ce09 0300 0200 0203 0700 4000 4000 0000"},
      {SwfPlaceTag({3, 2, 1, 0, "c", {{kSwfClipLoad, stop}}}),
       "9e06 a6 0200 0300 0ca000 6300 0000 01000000 01000000 02000000 0700 00000000"},
      {SwfPlaceTag({3, 2, 0, 0, "", {{kSwfClipEnterFrame, stop}}}, 5),
       "9406 86 0200 0300 00 0000 0200 0200 02000000 0700 0000"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.tag.toHex(), Hex(c.hex));
}

TEST(SwfActions, FramesGetTheirTagsAndActionsInOrder) {
  SwfMovieSpec movieSpec;
  movieSpec.frameCount = 3;
  movieSpec.frameTags[1] = SwfFrameLabelTag("b");
  movieSpec.frameActions[0] = SwfActions().Op(SwfOp::Stop);
  movieSpec.frameActions[5] = SwfActions().Op(SwfOp::Play);  // beyond the last frame
  const QByteArray movie = WriteSwfMovie(movieSpec);
  std::vector<int> codes;
  for (const Tag& tag : Tags(movie, InspectSwf(movie)->headerLength)) codes.push_back(tag.code);
  EXPECT_EQ(codes, (std::vector<int>{9, 12, 1, 43, 1, 1, 0}));
  EXPECT_TRUE(movie.contains(SwfDoActionTag(SwfActions().Op(SwfOp::Stop))));
}

}  // namespace
}  // namespace vedalia
