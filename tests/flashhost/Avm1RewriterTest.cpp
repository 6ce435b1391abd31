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
      {"cut short", kFsc.left(kFsc.size() - 1), 8, -1},
      {"jump into an action", act(0x99, u16(1)) + kFsc + '\0', 8, -1},
      {"jump past the end", act(0x99, u16(500)) + kFsc + '\0', 8, -1},
      {"if without offset", act(0x9D, QByteArray(1, 0)) + kFsc + '\0', 8, -1},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    int commands = -1;
    const auto out = RewriteAvm1Actions(row.code, row.version, &commands);
    ASSERT_EQ(out.has_value(), row.commands >= 0);
    if (!out) {
      EXPECT_FALSE(Avm1ControlTargets(row.code));
      continue;
    }
    EXPECT_EQ(commands, row.commands);
    EXPECT_TRUE(row.commands > 0 || *out == row.code);
    ASSERT_TRUE(Avm1ControlTargets(*out));
    EXPECT_EQ(
        Avm1CompareRewrite(row.code, *out, [&](QByteArrayView a) { return Alone(a, row.version); }),
        QString());
    int again = -1;
    EXPECT_EQ(RewriteAvm1Actions(*out, row.version, &again), *out);
    EXPECT_EQ(again, 0);
  }
}

TEST(Avm1Rewriter, TheStreamCheckSeesAnOffsetOrABlockSizeOffByOne) {
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

SwfMovieSpec Layout(int version, int frames, const QByteArray& tags) {
  SwfMovieSpec m;
  m.version = version;
  m.frameCount = frames;
  m.extraTags = tags;
  return m;
}

QByteArray Payload(const QByteArray& tag) {
  return tag.mid((std::uint8_t(tag[0]) & 0x3F) == 0x3F ? 6 : 2);
}

// A PlaceObject3 with a blur filter before its clip actions, as Flash 8 writes a filtered clip.
QByteArray PlaceObject3(int version, const std::vector<SwfClipAction>& clips) {
  SwfPlacement p;
  p.characterId = 3;
  p.clipActions = clips;
  const QByteArray two = Payload(SwfPlaceTag(p, version));  // flags, depth, id, matrix
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
      const auto r = RewriteAvm1Movie(WriteSwfMovie(m));
      ASSERT_TRUE(r);
      EXPECT_EQ(r->commands, 2);
      const QByteArray old = Payload(m.frameTags[0]);
      const qsizetype at = *Avm1ClipActionsOffset(old, three ? 70 : 26);
      const qsizetype start = r->movie.indexOf(old.left(at + 6));  // up to reserved, all events
      ASSERT_GT(start, 0);
      const QByteArray now = r->movie.mid(start);
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
      EXPECT_EQ(now.mid(n, 4), QByteArray(4, '\0'));  // end of clip actions
      EXPECT_EQ(o + 4, old.size());
      EXPECT_EQ(qFromLittleEndian<std::uint32_t>(r->movie.constData() + start - 4), n + 4);
      // Movies in the wild cut the last end flag to two bytes, or none; still rewritten.
      for (int cut : {2, 4}) {
        m.frameTags[0] = SwfTag(three ? 70 : 26, old.chopped(cut));
        EXPECT_EQ(RewriteAvm1Movie(WriteSwfMovie(m))->commands, 2);
      }
    }
  }
}

TEST(Avm1Rewriter, MoviesKeepTheirHeaderAndGetTheirActionsRewritten) {
  const SwfMovieSpec noFrame = Layout(8, 0, SwfTag(24) + SwfTag(12, kFsc + '\0'));  // protected
  const SwfMovieSpec broken = Layout(10, 1, SwfTag(12, kFsc.left(4)) + SwfTag(12, kFsc + '\0'));
  const QByteArray badButton = SwfTag(34, QByteArray("\x02\0\0\0\x01", 5));  // offset past it
  SwfMovieSpec withBadButton = broken;
  withBadButton.extraTags += badButton;
  // 400 frames of actions with a command, and 20 MiB of incompressible media.
  SwfMovieSpec big = Layout(10, 400, u16(100) + QByteArray(4, 0));
  std::mt19937 random(7);
  for (int i = 0; i < 20 << 20; ++i) big.extraTags += char(random());
  big.extraTags = SwfTag(87, big.extraTags);
  for (int i = 0; i < 400; ++i)
    big.frameActions[i].Get("n").If("s").Fscommand("getUsersData", "").Label("s");
  SwfMovieSpec bigCws = big;
  bigCws.version = 6;
  bigCws.compression = SwfCompression::Zlib;
  const struct {
    const char* name;
    QByteArray movie;
    int commands, broken;
  } rows[] = {
      {"no ShowFrame, protected", WriteSwfMovie(noFrame), 1, 0},
      {"broken stream kept", WriteSwfMovie(broken), 1, 1},
      {"broken button kept", WriteSwfMovie(withBadButton), 1, 1},
      {"20 MiB FWS", WriteSwfMovie(big), 400, 0},
      {"20 MiB CWS", WriteSwfMovie(bigCws), 400, 0},
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
  const SwfMovieSpec five = Layout(5, 1, {});
  const SwfMovieSpec avm2 = Layout(10, 1, SwfTag(69, QByteArray("\x08\0\0\0", 4)));
  QByteArray scrambled = WriteSwfMovie(SwfMovieSpec{});
  for (char& c : scrambled) c = char(c ^ 0x5A);
  QByteArray cut = WriteSwfMovie(broken);
  cut.chop(3);
  for (const QByteArray& m :
       {QByteArray("hello"), scrambled, WriteSwfMovie(five), WriteSwfMovie(avm2), cut})
    EXPECT_FALSE(RewriteAvm1Movie(m));
}

TEST(Avm1Rewriter, AStreamEndingBeforeItsLengthIsRewrittenButFailsTheCheck) {
  SwfMovieSpec m = Layout(8, 1, {});
  m.frameActions[0] = SwfActions().Fscommand("a", "");
  const auto movie = [&](SwfCompression c, std::uint32_t extra, int cut) {
    m.compression = c;
    QByteArray swf = WriteSwfMovie(m);
    qToLittleEndian(qFromLittleEndian<std::uint32_t>(swf.constData() + 4) + extra, swf.data() + 4);
    return swf.chopped(cut);
  };
  const auto Z = SwfCompression::Zlib, L = SwfCompression::Lzma;
  const QByteArray plainBody = movie(SwfCompression::None, 0, 0).mid(8);
  const struct {
    const char* name;
    QByteArray swf;
    bool decoded, complete, rewritten, checked;
  } rows[] = {
      {"CWS whole", movie(Z, 0, 0), true, true, true, true},
      {"ZWS whole", movie(L, 0, 0), true, true, true, true},
      {"CWS without its check value", movie(Z, 0, 4), true, true, true, false},
      {"ZWS without its last bytes", movie(L, 0, 4), true, true, true, true},
      {"CWS claiming 64 bytes more", movie(Z, 64, 0), true, false, true, false},
      {"CWS claiming 500 MiB", movie(Z, 500u << 20, 0), true, false, true, false},
      {"CWS cut inside a tag", movie(Z, 0, 12), true, false, false, false},
      {"ZWS claiming 64 bytes more", movie(L, 64, 0), false, false, false, false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const SwfInfo info = InspectSwf(row.swf).value();
    const auto body = DecodeSwfBody(row.swf, info, 512u << 20);
    ASSERT_EQ(body.has_value(), row.decoded);
    if (body) {
      EXPECT_EQ(body->complete, row.complete);
      EXPECT_GT(body->bytes.size(), info.headerLength - 8);
      EXPECT_TRUE(plainBody.startsWith(body->bytes)) << "what decoded is kept";
      EXPECT_LT(body->bytes.capacity(), 1 << 20) << "reserved for a claim, not for its output";
    }
    EXPECT_EQ(InspectSwf(row.swf, nullptr, SwfCheck::Body).has_value(), row.checked);
    EXPECT_EQ(RewriteAvm1Movie(row.swf).has_value(), row.rewritten);
  }
  const auto info = InspectSwf(rows[0].swf);
  EXPECT_FALSE(DecodeSwfBody(rows[0].swf, *info, info->declaredLength - 1)) << "over the limit";
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
  rlimit previous{}, limited{};
  ASSERT_EQ(::getrlimit(RLIMIT_AS, &previous), 0);
  limited = {rlim_t(1) << 30, previous.rlim_max};
  ASSERT_EQ(::setrlimit(RLIMIT_AS, &limited), 0);
  const auto r = RewriteAvm1Movie(zws);
  ::setrlimit(RLIMIT_AS, &previous);
  ASSERT_TRUE(r);
  EXPECT_EQ(r->commands, 1);
#endif
}

}  // namespace
}  // namespace vedalia
