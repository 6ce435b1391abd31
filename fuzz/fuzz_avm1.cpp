// The AVM1 rewriter: any bytes as a movie (when they start like one) or, after a version
// byte, as one action stream. Beyond "no crash": a rewritten movie inspects again with the
// same header; each stream of it (from a plain, CWS or ZWS movie) is its original with every
// fscommand replaced as that action alone would be, every branch, block and skip count leading
// to the same action as before; rewriting a rewritten stream changes nothing.
#include "FuzzSupport.h"
#include "flashhost/Avm1Rewriter.h"
#include "flashhost/Avm1Streams.h"
#include "flashhost/SwfInfo.h"

using namespace vedalia;

namespace {

// The replacement of one action on its own (empty when it stays).
QByteArray alone(QByteArrayView action, int version) {
  int count = 0;
  const auto r =
      RewriteAvm1Actions(QByteArray(action.data(), action.size()) + '\0', version, &count);
  return r && count == 1 ? r->chopped(1) : QByteArray();
}

void checkStream(QByteArrayView before, const QByteArray& after, int version, int count) {
  if (version < 6 || count == 0) {
    FUZZ_CHECK(after == before);
    return;
  }
  FUZZ_CHECK(Avm1ControlTargets(after).has_value());
  const QString broken =
      Avm1CompareRewrite(before, after, [&](QByteArrayView a) { return alone(a, version); });
  if (!broken.isEmpty()) std::fprintf(stderr, "%s\n", qPrintable(broken));
  FUZZ_CHECK(broken.isEmpty());
  int again = -1;
  const auto twice = RewriteAvm1Actions(after, version, &again);
  FUZZ_CHECK(twice && again == 0 && *twice == after);
}

// The tag list after the header, decoded for CWS and ZWS (as far as the stream goes); nothing
// for a broken body.
std::optional<QByteArray> tagList(QByteArrayView swf, const SwfInfo& info) {
  auto body = DecodeSwfBody(swf, info, 64u << 20);
  const qsizetype rest = info.headerLength - 8;
  if (!body || body->bytes.size() < rest) return std::nullopt;
  return body->bytes.sliced(rest);
}

void checkMovie(QByteArrayView swf) {
  const auto r = RewriteAvm1Movie(swf);
  if (!r) return;
  const auto info = InspectSwf(swf);
  FUZZ_CHECK(info && r->injected && r->movie.startsWith("FWS"));
  const auto now = InspectSwf(r->movie, nullptr, SwfCheck::Body);
  FUZZ_CHECK(now.has_value());
  FUZZ_CHECK(now->declaredLength == std::uint32_t(r->movie.size()));
  FUZZ_CHECK(now->version == info->version && now->frameCount == info->frameCount);
  FUZZ_CHECK(now->frameRate == info->frameRate && now->xMinTwips == info->xMinTwips &&
             now->xMaxTwips == info->xMaxTwips && now->yMinTwips == info->yMinTwips &&
             now->yMaxTwips == info->yMaxTwips);
  const int version = info->version;
  const auto after = Avm1MovieStreams(QByteArrayView(r->movie).sliced(now->headerLength), version);
  const auto tags = tagList(swf, *info);
  const auto before = tags ? Avm1MovieStreams(*tags, version) : std::nullopt;
  if (!before) return;
  FUZZ_CHECK(after.has_value());
  // The injected prologue and ready actions come first of their kind; the rest pair up.
  std::vector<QByteArrayView> own = *after;
  for (const QByteArray& injected : {Avm1PrologueActions(version), Avm1ReadyActions()}) {
    for (auto it = own.begin(); it != own.end(); ++it)
      if (*it == injected) {
        own.erase(it);
        break;
      }
  }
  FUZZ_CHECK(own.size() == before->size());
  int commands = 0;
  for (std::size_t i = 0; i < own.size(); ++i) {
    int count = 0;
    bool cut = false;
    const QByteArray expected = RewriteAvm1Stream((*before)[i], version, &count, &cut);
    const QByteArray got(own[i].data(), own[i].size());
    if (got == (*before)[i]) continue;  // left alone (a container it would not fit)
    FUZZ_CHECK(got == expected);
    commands += count;
    if (!cut) checkStream((*before)[i], got, version, count);
  }
  FUZZ_CHECK(commands == r->commands);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::QuietQt();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const QByteArrayView bytes(reinterpret_cast<const char*>(data), qsizetype(size));
  if (bytes.size() >= 3 && bytes.sliced(1, 2) == "WS") {
    checkMovie(bytes);
    return 0;
  }
  if (bytes.isEmpty()) return 0;
  const int version = 5 + std::uint8_t(bytes[0]) % 6;
  const QByteArrayView code = bytes.sliced(1);
  int count = -1;
  if (const auto out = RewriteAvm1Actions(code, version, &count))
    checkStream(code, *out, version, count);
  return 0;
}
