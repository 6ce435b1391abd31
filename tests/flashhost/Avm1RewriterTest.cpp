#include <gtest/gtest.h>
#include <sys/resource.h>

#include <QtEndian>
#include <algorithm>
#include <random>

#include "flashhost/Avm1Rewriter.h"
#include "flashhost/Avm1Streams.h"
#include "flashhost/SwfInfo.h"
#include "flashhost/SwfWriter.h"

namespace vedalia {
namespace {

QByteArray act(std::uint8_t code, const QByteArray& payload) {
  QByteArray a(1, char(code));
  return a.append(char(payload.size() & 0xFF)).append(char(payload.size() >> 8)).append(payload);
}
QByteArray u16(qsizetype v) { return QByteArray(1, char(v & 0xFF)) + char((v >> 8) & 0xFF); }

const QByteArray kFsc = SwfActions().Fscommand("getUsersData", "").Code();
const QByteArray kPush = SwfActions().Push("x").Code();

// The replacement of one action alone (empty: it stays).
QByteArray Alone(QByteArrayView a, int version) {
  int n = 0;
  const auto r = RewriteAvm1Actions(QByteArray(a.data(), a.size()) + '\0', version, &n);
  return r && n == 1 ? r->chopped(1) : QByteArray();
}

// Rewritten, the stream keeps every control action's target action, and again changes nothing.
void ExpectSoundRewrite(const QByteArray& before, const QByteArray& after, int version) {
  EXPECT_EQ(Avm1CompareRewrite(before, after, [&](QByteArrayView a) { return Alone(a, version); }),
            QString());
  int again = -1;
  EXPECT_EQ(RewriteAvm1Actions(after, version, &again), after);
  EXPECT_EQ(again, 0);
}

TEST(Avm1Rewriter, EveryControlActionStillLeadsToItsActionAfterARewrite) {
  SwfActions branches;  // If forward over a command, Jump backward over one
  branches.Push(true).If("over").Fscommand("getUsersData", "").Label("over").Push("y");
  branches.Label("top").Fscommand("a", "b").Push(false).If("top").Jump("top");
  SwfActions fn;
  fn.Fscommand("inner", "").Push("r").Op(SwfOp::Return);
  const QByteArray f2Head = QByteArray("g\0", 2) + u16(0) + char(3) + u16(0x0002);
  const struct {
    const char* name;
    QByteArray code;
    int version, commands;
  } rows[] = {
      {"branches", branches.Bytes(), 8, 2},
      {"function", SwfActions().DefineFunction("f", {"a"}, fn).Fscommand("b", "").Bytes(), 6, 2},
      {"function2", act(0x8E, f2Head + u16(kFsc.size() + kPush.size())) + kFsc + kPush + '\0', 8,
       1},
      {"with", kPush + act(0x94, u16(kFsc.size())) + kFsc + kPush + '\0', 7, 1},
      {"try/catch/finally",
       act(0x8F, QByteArray(1, 3) + u16(kFsc.size()) + u16(kPush.size()) + u16(kFsc.size()) + "e" +
                     '\0') +
           kFsc + kPush + kFsc + kPush + '\0',
       9, 2},
      {"wait skips a command", act(0x8A, u16(2) + char(2)) + kPush + kFsc + kPush + kFsc + '\0', 10,
       2},
      {"wait2 skips past the end", kPush + act(0x8D, QByteArray(1, 9)) + kFsc + '\0', 8, 1},
      {"url from a variable", SwfActions().FscommandFromVariable("save", "v").Bytes(), 8, 1},
      {"plain url stays", SwfActions().GetUrl("http://x", "_blank").Bytes(), 8, 0},
      {"flagged url2 stays", kPush + kPush + act(0x9A, QByteArray(1, 0x40)) + '\0', 8, 0},
      {"SWF 5 stays", branches.Bytes(), 5, 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    int commands = -1;
    const auto out = RewriteAvm1Actions(row.code, row.version, &commands);
    ASSERT_TRUE(out);
    EXPECT_EQ(commands, row.commands);
    if (row.commands == 0) {
      EXPECT_EQ(*out, row.code);
    }
    ASSERT_TRUE(Avm1ControlTargets(*out));
    ExpectSoundRewrite(row.code, *out, row.version);
  }
}

TEST(Avm1Rewriter, BrokenStreamsAreRefusedAndTheCheckSeesMisplacedOffsets) {
  const QByteArray cut = kFsc.left(kFsc.size() - 1);
  const QByteArray intoAction = act(0x99, u16(1)) + kFsc + '\0';  // lands inside the GetURL
  const QByteArray pastEnd = act(0x99, u16(500)) + kFsc + '\0';   // beyond the stream
  const QByteArray shortIf = act(0x9D, QByteArray(1, 0)) + kFsc + '\0';
  for (const QByteArray& code : {cut, intoAction, pastEnd, shortIf}) {
    EXPECT_FALSE(RewriteAvm1Actions(code, 8));
    EXPECT_FALSE(Avm1ControlTargets(code));
  }
  // The check is not fooled: one offset off by one, or a block size changed, is reported.
  const QByteArray good = kPush + act(0x9D, u16(kFsc.size())) + kFsc + kPush +
                          act(0x94, u16(kPush.size())) + kPush + '\0';
  const QByteArray out = *RewriteAvm1Actions(good, 8);
  const qsizetype ifAt = kPush.size(), withAt = out.size() - 1 - kPush.size() - 5;
  for (qsizetype field : {ifAt + 3, withAt + 3}) {
    QByteArray bad = out;
    bad[field] = char(bad[field] + 1);
    EXPECT_NE(Avm1CompareRewrite(good, bad, [](QByteArrayView a) { return Alone(a, 8); }),
              QString());
  }
}

struct Tag {
  int code;
  QByteArray payload;
};
std::vector<Tag> Tags(QByteArrayView tags) {
  std::vector<Tag> out;
  for (qsizetype at = 0; at + 2 <= tags.size();) {
    const int head = std::uint8_t(tags[at]) | std::uint8_t(tags[at + 1]) << 8;
    qsizetype length = head & 0x3F, h = 2;
    if (length == 0x3F) length = qFromLittleEndian<std::uint32_t>(tags.data() + at + 2), h = 6;
    out.push_back({head >> 6, QByteArray(tags.data() + at + h, length)});
    at += h + length;
  }
  return out;
}

// A PlaceObject3 with a blur filter before its clip actions, as Flash 8 writes a filtered clip.
QByteArray PlaceObject3(int version, const std::vector<SwfClipAction>& clips) {
  SwfPlacement p;
  p.characterId = 3;
  p.clipActions = clips;
  const QByteArray two = Tags(SwfPlaceTag(p, version))[0].payload;  // flags, depth, id, matrix
  const qsizetype clip = *Avm1ClipActionsOffset(two, 26);
  QByteArray payload = QByteArray(1, two[0]) + char(0x01) + two.mid(1, clip - 1);
  payload += char(1) + QByteArray(1, 1) + QByteArray(9, '\x10') + two.mid(clip);
  return SwfTag(70, payload);
}

TEST(Avm1Rewriter, ClipEventHandlersAreRewrittenWithTheirRecordSizes) {
  const SwfActions handler = SwfActions().Fscommand("key", "k").Push("after");
  const std::vector<SwfClipAction> clips = {{kSwfClipLoad, handler},
                                            {kSwfClipKeyPress | kSwfClipEnterFrame, handler, 'k'}};
  for (int version : {6, 8}) {
    for (bool three : {false, true}) {
      SCOPED_TRACE(testing::Message() << version << (three ? " PlaceObject3" : " PlaceObject2"));
      SwfPlacement p;
      p.characterId = 3;
      p.name = "clip";
      p.clipActions = clips;
      SwfMovieSpec m;
      m.version = version;
      m.extraTags = SwfSpriteTag(3, 1);
      m.frameTags[0] = three ? PlaceObject3(version, clips) : SwfPlaceTag(p, version);
      const QByteArray movie = WriteSwfMovie(m);
      const auto r = RewriteAvm1Movie(movie);
      ASSERT_TRUE(r);
      EXPECT_EQ(r->commands, 2);
      const int header = InspectSwf(movie)->headerLength;
      auto find = [&](QByteArrayView swf) {
        for (const Tag& t : Tags(swf.sliced(header)))
          if (t.code == (three ? 70 : 26)) return t.payload;
        return QByteArray();
      };
      const QByteArray old = find(movie), now = find(r->movie);
      const qsizetype at = *Avm1ClipActionsOffset(old, three ? 70 : 26);
      ASSERT_EQ(now.left(at + 6), old.left(at + 6));  // fields before, reserved, all events
      const QByteArray rewritten = *RewriteAvm1Actions(handler.Bytes(), version);
      qsizetype o = at + 6, n = at + 6;
      for (const SwfClipAction& c : clips) {
        const int key = (c.events & kSwfClipKeyPress) ? 1 : 0;
        EXPECT_EQ(now.mid(n, 4), old.mid(o, 4));  // event flags
        EXPECT_EQ(qFromLittleEndian<std::uint32_t>(now.constData() + n + 4),
                  std::uint32_t(key + rewritten.size()));
        EXPECT_EQ(now.mid(n + 8, key), old.mid(o + 8, key));  // key code
        EXPECT_EQ(now.mid(n + 8 + key, rewritten.size()), rewritten);
        o += 8 + qFromLittleEndian<std::uint32_t>(old.constData() + o + 4);
        n += 8 + key + rewritten.size();
      }
      EXPECT_EQ(now.mid(n), QByteArray(4, '\0'));  // end of clip actions
      EXPECT_EQ(o + 4, old.size());
    }
  }
  // Before SWF 6 the flags are 16 bits and there is no key code.
  SwfPlacement p5;
  p5.characterId = 3;
  p5.clipActions = {{kSwfClipLoad, handler}};
  const QByteArray five = Tags(SwfPlaceTag(p5, 5))[0].payload;
  const QByteArray placed = SwfPlaceTag(p5, 5);
  const auto streams = Avm1MovieStreams(placed, 5);
  ASSERT_TRUE(streams && streams->size() == 1);
  EXPECT_EQ((*streams)[0], handler.Bytes());
  EXPECT_EQ(five.size(),
            *Avm1ClipActionsOffset(five, 26) + 2 + 2 + 2 + 4 + handler.Bytes().size() + 2);
}

// A course movie of `mib` MiB: frames of actions with commands, and incompressible media.
QByteArray BigMovie(int version, SwfCompression kind, int mib) {
  SwfMovieSpec m;
  m.version = version;
  m.compression = kind;
  m.frameCount = 400;
  SwfActions a;
  a.Push("n").Op(SwfOp::GetVariable).If("s").Fscommand("getUsersData", "").Label("s");
  for (int i = 0; i < m.frameCount; ++i) m.frameActions[i] = a;
  std::mt19937 random(7);
  QByteArray blob(mib * 1024 * 1024 / 8, Qt::Uninitialized);
  for (char& c : blob) c = char(random());
  for (int i = 0; i < 8; ++i)
    m.frameTags[i * 50] = SwfTag(87, u16(100 + i) + QByteArray(4, 0) + blob);
  return WriteSwfMovie(m);
}

TEST(Avm1Rewriter, MoviesKeepTheirHeaderAndGetTheirActionsRewritten) {
  SwfMovieSpec noFrame;
  noFrame.version = 8;
  noFrame.frameCount = 0;
  noFrame.extraTags = SwfTag(24) + SwfTag(12, SwfActions().Fscommand("a", "").Bytes());  // Protect
  SwfMovieSpec broken = noFrame;
  broken.frameCount = 1;
  broken.extraTags = SwfTag(12, kFsc.left(4)) + SwfTag(12, kFsc + '\0');
  const QByteArray badButton = SwfTag(34, QByteArray("\x02\0\0\0\x01", 5));  // offset past it
  SwfMovieSpec withBadButton = broken;
  withBadButton.extraTags += badButton;
  const QByteArray big = BigMovie(10, SwfCompression::None, 20);
  const QByteArray bigCws = BigMovie(6, SwfCompression::Zlib, 20);
  const struct {
    const char* name;
    QByteArray movie;
    int commands, broken;
  } rows[] = {
      {"no ShowFrame, protected", WriteSwfMovie(noFrame), 1, 0},
      {"broken stream kept", WriteSwfMovie(broken), 1, 1},
      {"broken button kept", WriteSwfMovie(withBadButton), 1, 1},
      {"20 MiB FWS", big, 400, 0},
      {"20 MiB CWS", bigCws, 400, 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const auto r = RewriteAvm1Movie(row.movie);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->commands, row.commands);
    EXPECT_EQ(r->brokenStreams, row.broken);
    const auto before = InspectSwf(row.movie),
               after = InspectSwf(r->movie, nullptr, SwfCheck::Body);
    ASSERT_TRUE(after);
    EXPECT_EQ(after->compression, SwfCompression::None);
    EXPECT_EQ(after->declaredLength, std::uint32_t(r->movie.size()));
    EXPECT_EQ(std::tie(after->version, after->frameCount, after->xMaxTwips, after->yMaxTwips,
                       after->frameRate),
              std::tie(before->version, before->frameCount, before->xMaxTwips, before->yMaxTwips,
                       before->frameRate));
    const auto streams =
        Avm1MovieStreams(QByteArrayView(r->movie).sliced(after->headerLength), after->version);
    if (r->movie.contains(badButton)) {
      EXPECT_FALSE(streams) << "the button does not parse";
      continue;
    }
    ASSERT_TRUE(streams);
    EXPECT_EQ((*streams)[0], Avm1PrologueActions(after->version));
    EXPECT_EQ(std::count(streams->begin(), streams->end(), Avm1ReadyActions()), 1);
    for (const QByteArrayView s : *streams) {
      if (s == Avm1PrologueActions(after->version)) continue;
      int again = -1;
      const QByteArray same(s.data(), s.size());  // a broken stream does not parse again
      EXPECT_EQ(RewriteAvm1Actions(s, after->version, &again).value_or(same), same);
      EXPECT_LE(again, 0) << "rewrites a rewrite";
    }
  }
  // Not for the rewriter: not a movie, scrambled, SWF 5, AVM2, a tag running past the end.
  SwfMovieSpec five;
  five.version = 5;
  SwfMovieSpec avm2;
  avm2.extraTags = SwfTag(69, QByteArray("\x08\0\0\0", 4));
  QByteArray scrambled = WriteSwfMovie(SwfMovieSpec{});
  for (char& c : scrambled) c = char(c ^ 0x5A);
  QByteArray cut = WriteSwfMovie(broken);
  cut.chop(3);
  for (const QByteArray& m :
       {QByteArray("hello"), scrambled, WriteSwfMovie(five), WriteSwfMovie(avm2), cut})
    EXPECT_FALSE(RewriteAvm1Movie(m));
}

TEST(Avm1Rewriter, ADictionaryClaimOfGigabytesIsNotReserved) {
  SwfMovieSpec m;
  m.version = 8;
  m.compression = SwfCompression::Lzma;
  m.frameActions[0] = SwfActions().Fscommand("a", "");
  QByteArray zws = WriteSwfMovie(m);
  zws.replace(13, 4, QByteArray(4, '\xFF'));
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizer's shadow memory needs an unlimited address space";
#else
  rlimit previous{};
  ASSERT_EQ(::getrlimit(RLIMIT_AS, &previous), 0);
  rlimit limited = previous;
  limited.rlim_cur = rlim_t(1) << 30;
  ASSERT_EQ(::setrlimit(RLIMIT_AS, &limited), 0);
  const auto r = RewriteAvm1Movie(zws);
  ::setrlimit(RLIMIT_AS, &previous);
  ASSERT_TRUE(r);
  EXPECT_EQ(r->commands, 1);
#endif
}

}  // namespace
}  // namespace vedalia
