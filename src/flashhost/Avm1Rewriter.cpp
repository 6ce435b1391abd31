#include "flashhost/Avm1Rewriter.h"

#include <QString>
#include <algorithm>
#include <cstring>
#include <vector>

#include "flashhost/Avm1Streams.h"
#include "flashhost/SwfInfo.h"
#include "flashhost/SwfWriter.h"

namespace vedalia {

namespace {

// Injected names: '$' makes them impossible as ActionScript identifiers of a movie.
constexpr char kEi[] = "$vedalia$ei";
constexpr char kFsc[] = "$vedalia$fsc";
constexpr char kUrl2[] = "$vedalia$url2";
// The player hides flash.external below SWF 8 through this version bit of its properties.
constexpr std::int32_t kVersion8Flag = 0x1000;
// A movie whose header claims more is not inflated (the renderer refuses it anyway).
constexpr std::uint32_t kMaxMovieBytes = 512u * 1024 * 1024;

std::uint16_t u16(const char* p) {
  return std::uint16_t(std::uint8_t(p[0]) | (std::uint8_t(p[1]) << 8));
}
void putU16(char* p, std::uint32_t v) {
  p[0] = char(v & 0xFF);
  p[1] = char((v >> 8) & 0xFF);
}
void appendU16(QByteArray& out, std::uint32_t v) {
  out.append(char(v & 0xFF));
  out.append(char((v >> 8) & 0xFF));
}
void appendU32(QByteArray& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.append(char((v >> (8 * i)) & 0xFF));
}

SwfActions& propFlags(SwfActions& a, const char* object, const char* names, std::int32_t set,
                      std::int32_t clear) {
  return a.Push(clear)
      .Push(set)
      .Push(names)
      .Get(object)
      .Push(std::int32_t(4))
      .Push("ASSetPropFlags")
      .Op(SwfOp::CallFunction)
      .Op(SwfOp::Pop);
}

// ei.addCallback(name, null, <function on the stack below>)
SwfActions& addCallback(SwfActions& a, const char* name, const QStringList& params,
                        const SwfActions& body) {
  return a.DefineFunction(QString(), params, body)
      .PushNull()
      .Push(name)
      .Push(std::int32_t(3))
      .Get(kEi)
      .Push("addCallback")
      .Op(SwfOp::CallMethod)
      .Op(SwfOp::Pop);
}

struct Action {
  qsizetype offset;
  qsizetype size;
  std::uint8_t code;
};

std::optional<std::vector<Action>> parseActions(QByteArrayView code, qsizetype& end) {
  std::vector<Action> actions;
  qsizetype at = 0;
  while (at < code.size()) {
    const std::uint8_t op = std::uint8_t(code[at]);
    qsizetype size = 1;
    if (op >= 0x80) {
      if (at + 3 > code.size()) return std::nullopt;
      size = 3 + u16(code.data() + at + 1);
      if (at + size > code.size()) return std::nullopt;
    }
    actions.push_back({at, size, op});
    at += size;
    if (op == 0) break;
  }
  end = at;
  return actions;
}

bool startsWithFscommand(QByteArrayView url) {
  return url.size() >= 10 &&
         QByteArrayView(url.data(), 10).compare("FSCommand:", Qt::CaseInsensitive) == 0;
}

// What an fscommand action becomes: the injected call when the prologue has run, else the
// action itself (init actions of the first frame run before the prologue):
//   if (typeof fsc == "function") goto call; <action>; goto done; call: <call>; done:
std::optional<QByteArray> replacement(QByteArrayView action) {
  const std::uint8_t op = std::uint8_t(action[0]);
  SwfActions call;
  if (op == 0x83) {
    const QByteArrayView payload = action.sliced(3);
    const qsizetype urlEnd = payload.indexOf('\0');
    if (urlEnd < 0) return std::nullopt;
    const QByteArrayView url = payload.first(urlEnd);
    const QByteArrayView rest = payload.sliced(urlEnd + 1);
    const qsizetype targetEnd = rest.indexOf('\0');
    if (targetEnd < 0 || !startsWithFscommand(url)) return std::nullopt;
    call.Push(QString::fromUtf8(rest.first(targetEnd)))
        .Push(QString::fromUtf8(url.sliced(10)))
        .Push(std::int32_t(2))
        .Push(kFsc)
        .Op(SwfOp::CallFunction)
        .Op(SwfOp::Pop);
  } else if (op == 0x9A && action.size() == 4 && action[3] == 0) {
    call.Push(std::int32_t(2)).Push(kUrl2).Op(SwfOp::CallFunction).Op(SwfOp::Pop);
  } else {
    return std::nullopt;
  }
  const QByteArray callCode = call.Code();
  SwfActions check;
  check.Get(kFsc).Op(SwfOp::TypeOf).Push("function").Op(SwfOp::StringEquals);
  QByteArray out = check.Code();
  out.append(char(0x9D));
  appendU16(out, 2);
  appendU16(out, std::uint32_t(action.size() + 5));
  out.append(action.data(), action.size());
  out.append(char(0x99));
  appendU16(out, 2);
  appendU16(out, std::uint32_t(callCode.size()));
  out.append(callCode);
  return out;
}

// True when the action already sits inside its replacement (a stream rewritten before): the
// kept original of a rewrite is not rewritten again.
bool alreadyReplaced(QByteArrayView code, const Action& act, QByteArrayView replaced) {
  const qsizetype p = replaced.indexOf(code.sliced(act.offset, act.size));
  return p >= 0 && act.offset >= p && act.offset - p + replaced.size() <= code.size() &&
         code.sliced(act.offset - p, replaced.size()) == replaced;
}

}  // namespace

QByteArray Avm1PrologueActions(int swfVersion) {
  SwfActions a;
  const bool hidden = swfVersion < 8;
  if (hidden) propFlags(a, "_global", "flash", 0, kVersion8Flag);
  a.Get("_global")
      .Push(kEi)
      .Get("_global")
      .Push("flash")
      .Op(SwfOp::GetMember)
      .Push("external")
      .Op(SwfOp::GetMember)
      .Push("ExternalInterface")
      .Op(SwfOp::GetMember)
      .Op(SwfOp::SetMember);
  if (hidden) {
    propFlags(a, kEi, "addCallback", 0, kVersion8Flag);
    propFlags(a, "_global", "flash", kVersion8Flag, 0);
  }

  // set(name, value): paths resolve from _level0, where it is defined. The host sends the
  // value after one character, since the player turns an empty or blank string passed in
  // into "null" below SWF 9.
  SwfActions set;
  set.Get("vedalia$n")
      .Push(std::int32_t(1))
      .Push(std::int32_t(1))
      .Get("vedalia$v")
      .Push("substr")
      .Op(SwfOp::CallMethod)
      .Op(SwfOp::SetVariable);
  addCallback(a, kAvm1SetCallback, {"vedalia$n", "vedalia$v"}, set);
  SwfActions get;
  get.Get("vedalia$n").Op(SwfOp::GetVariable).Op(SwfOp::Return);
  addCallback(a, kAvm1GetCallback, {"vedalia$n"}, get);
  SwfActions go;  // frames count from 0 for the host, from 1 in the movie
  go.Get("vedalia$f")
      .Push(std::int32_t(1))
      .Op(SwfOp::Add2)
      .Push(std::int32_t(1))
      .Get("_level0")
      .Push("gotoAndStop")
      .Op(SwfOp::CallMethod)
      .Op(SwfOp::Pop);
  addCallback(a, kAvm1GotoCallback, {"vedalia$f"}, go);

  // fsc(command, args): the host runs the replies of its handler through the callbacks above
  // before the call returns.
  SwfActions fsc;
  fsc.Get("vedalia$a")
      .Get("vedalia$c")
      .Push(kAvm1CommandCall)
      .Push(std::int32_t(3))
      .Get(kEi)
      .Push("call")
      .Op(SwfOp::CallMethod)
      .Op(SwfOp::Pop);
  a.Get("_global")
      .Push(kFsc)
      .DefineFunction(QString(), {"vedalia$c", "vedalia$a"}, fsc)
      .Op(SwfOp::SetMember);

  // url2(target, url): GetURL2 whose URL is known only when it runs.
  SwfActions url2;
  url2.Push(std::int32_t(0))
      .Push(std::int32_t(10))
      .Push(std::int32_t(0))
      .Push(std::int32_t(2))
      .Get("vedalia$u")
      .Push("substr")
      .Op(SwfOp::CallMethod)
      .Push("toLowerCase")
      .Op(SwfOp::CallMethod)
      .Push("fscommand:")
      .Op(SwfOp::StringEquals)
      .If("command");
  url2.Get("vedalia$u").Get("vedalia$t").GetUrl2(0).Jump("end");
  url2.Label("command")
      .Get("vedalia$t")
      .Push(std::int32_t(10))
      .Push(std::int32_t(1))
      .Get("vedalia$u")
      .Push("substr")
      .Op(SwfOp::CallMethod)
      .Push(std::int32_t(2))
      .Push(kFsc)
      .Op(SwfOp::CallFunction)
      .Op(SwfOp::Pop)
      .Label("end");
  a.Get("_global")
      .Push(kUrl2)
      .DefineFunction(QString(), {"vedalia$t", "vedalia$u"}, url2)
      .Op(SwfOp::SetMember);

  propFlags(a, "_global", "$vedalia$ei,$vedalia$fsc,$vedalia$url2", 1, 0);  // not enumerable
  return a.Bytes();
}

QByteArray Avm1ReadyActions() {
  SwfActions a;
  a.Push(kAvm1ReadyCall)
      .Push(std::int32_t(1))
      .Get(kEi)
      .Push("call")
      .Op(SwfOp::CallMethod)
      .Op(SwfOp::Pop);
  return a.Bytes();
}

std::optional<QByteArray> RewriteAvm1Actions(QByteArrayView code, int swfVersion, int* commands) {
  if (commands) *commands = 0;
  if (swfVersion < 6) return QByteArray(code.data(), code.size());
  qsizetype end = 0;
  const auto parsed = parseActions(code, end);
  if (!parsed) return std::nullopt;
  const std::vector<Action>& actions = *parsed;
  const qsizetype n = qsizetype(actions.size());

  std::vector<std::optional<QByteArray>> replaced(actions.size());
  std::vector<int> newCount(actions.size(), 1);  // actions each old one became
  int rewrites = 0;
  for (qsizetype i = 0; i < n; ++i) {
    const Action& act = actions[i];
    if (act.code != 0x83 && act.code != 0x9A) continue;
    replaced[i] = replacement(code.sliced(act.offset, act.size));
    if (replaced[i] && alreadyReplaced(code, act, *replaced[i])) replaced[i].reset();
    if (!replaced[i]) continue;
    ++rewrites;
    qsizetype e = 0;
    newCount[i] = int(parseActions(*replaced[i], e)->size());
  }
  if (commands) *commands = rewrites;
  if (!rewrites) return QByteArray(code.data(), code.size());

  // Old boundary offset -> new offset (-1: inside an action).
  std::vector<qsizetype> map(end + 1, -1);
  qsizetype at = 0;
  for (qsizetype i = 0; i < n; ++i) {
    map[actions[i].offset] = at;
    at += replaced[i] ? replaced[i]->size() : actions[i].size;
  }
  map[end] = at;
  auto mapped = [&](qsizetype old) -> qsizetype { return old >= 0 && old <= end ? map[old] : -1; };

  QByteArray out;
  out.reserve(at + (code.size() - end));
  for (qsizetype i = 0; i < n; ++i) {
    const Action& act = actions[i];
    if (replaced[i]) {
      out.append(*replaced[i]);
      continue;
    }
    const qsizetype newAt = out.size();
    out.append(code.data() + act.offset, act.size);
    char* p = out.data() + newAt;
    const qsizetype oldNext = act.offset + act.size;
    const qsizetype newNext = newAt + act.size;
    const qsizetype payload = act.size - 3;
    // A block of `size` bytes starting at `from` (old), rewritten in the field at `field`.
    auto fixSize = [&](qsizetype field, qsizetype from, qsizetype size, qsizetype newFrom) {
      const qsizetype b = mapped(from + size);
      if (b < 0 || b - newFrom > 0xFFFF) return false;
      putU16(p + field, std::uint32_t(b - newFrom));
      return true;
    };
    switch (act.code) {
      case 0x99:    // Jump
      case 0x9D: {  // If
        if (payload < 2) return std::nullopt;
        const qsizetype target = oldNext + std::int16_t(u16(p + 3));
        const qsizetype t = mapped(target);
        if (t < 0) return std::nullopt;
        const qsizetype branch = t - newNext;
        if (branch < -32768 || branch > 32767) return std::nullopt;
        putU16(p + 3, std::uint32_t(std::uint16_t(std::int16_t(branch))));
        break;
      }
      case 0x9B:    // DefineFunction
      case 0x8E: {  // DefineFunction2: code size is the last field of both
        if (payload < 2) return std::nullopt;
        if (!fixSize(act.size - 2, oldNext, u16(p + act.size - 2), newNext)) return std::nullopt;
        break;
      }
      case 0x94:  // With
        if (payload < 2 || !fixSize(3, oldNext, u16(p + 3), newNext)) return std::nullopt;
        break;
      case 0x8F: {  // Try: try, catch and finally blocks follow one another
        if (payload < 7) return std::nullopt;
        qsizetype from = oldNext;
        qsizetype newFrom = newNext;
        for (int field = 4; field <= 8; field += 2) {
          const qsizetype size = u16(p + field);
          if (!fixSize(field, from, size, newFrom)) return std::nullopt;
          from += size;
          newFrom = mapped(from);
        }
        break;
      }
      case 0x8A:    // WaitForFrame: frame, skip count
      case 0x8D: {  // WaitForFrame2: skip count
        const qsizetype field = act.code == 0x8A ? 5 : 3;
        if (payload < field - 2) return std::nullopt;
        const int skip = std::uint8_t(p[field]);
        int count = 0;
        for (qsizetype k = i + 1; k <= i + skip && k < n; ++k) count += newCount[k];
        if (count > 255) return std::nullopt;
        p[field] = char(count);
        break;
      }
      default:
        break;
    }
  }
  out.append(code.data() + end, code.size() - end);
  return out;
}

QByteArray RewriteAvm1Stream(QByteArrayView code, int swfVersion, int* commands, bool* cut) {
  *commands = 0;
  *cut = false;
  if (auto r = RewriteAvm1Actions(code, swfVersion, commands)) return *r;
  *cut = true;
  qsizetype at = 0;
  while (at < code.size()) {
    const qsizetype size = std::uint8_t(code[at]) < 0x80 ? 1
                           : at + 3 <= code.size()       ? 3 + u16(code.data() + at + 1)
                                                         : code.size();
    if (at + size > code.size()) break;
    at += size;
  }
  const QByteArray valid = QByteArray(code.data(), at) + QByteArray(1, '\0');
  if (auto r = RewriteAvm1Actions(valid, swfVersion, commands)) return *r;
  *commands = 0;
  return valid;
}

namespace {

struct Walk {
  int version = 0;
  int commands = 0;
  int broken = 0;
  bool avm2 = false;
};

void appendTag(QByteArray& out, int code, QByteArrayView payload) {
  appendU16(out, std::uint32_t(code << 6) | 0x3F);
  appendU32(out, std::uint32_t(payload.size()));
  out.append(payload.data(), payload.size());
}

QByteArray actionsOrSame(Walk& w, QByteArrayView code) {
  int count = 0;
  bool cut = false;
  QByteArray out = RewriteAvm1Stream(code, w.version, &count, &cut);
  w.commands += count;
  if (cut) ++w.broken;
  return out;
}

std::optional<QByteArray> button(Walk& w, int code, QByteArrayView p) {
  if (code == 7) {  // DefineButton: records up to a 0 byte, then one action stream
    qsizetype at = 2;
    while (at < p.size() && p[at] != 0) {
      at += 5;
      const qsizetype m = Avm1MatrixBytes(p, at);
      if (m < 0) return std::nullopt;
      at += m;
    }
    if (at >= p.size()) return std::nullopt;
    ++at;
    return QByteArray(p.data(), at) + actionsOrSame(w, p.sliced(at));
  }
  // DefineButton2: condition records, each sized to the next (0: the last).
  if (p.size() < 5) return std::nullopt;
  const qsizetype first = u16(p.data() + 3);
  if (first == 0) return QByteArray(p.data(), p.size());
  qsizetype at = 3 + first;
  if (at > p.size()) return std::nullopt;
  QByteArray out(p.data(), at);
  while (true) {
    if (at + 4 > p.size()) return std::nullopt;
    const qsizetype size = u16(p.data() + at);
    const qsizetype stop = size ? at + size : p.size();
    if (size && (size < 4 || stop > p.size())) return std::nullopt;
    const QByteArray actions = actionsOrSame(w, p.sliced(at + 4, stop - at - 4));
    const qsizetype recordAt = out.size();
    out.append(p.data() + at, 4);
    out.append(actions);
    if (size) {
      if (out.size() - recordAt > 0xFFFF) return std::nullopt;
      putU16(out.data() + recordAt, std::uint32_t(out.size() - recordAt));
    }
    if (!size) break;
    at = stop;
  }
  return out;
}

// Clip event handlers of a placed clip (PlaceObject2/3): each handler's actions are rewritten
// and its record size fixed. Event flags are 16 bits before SWF 6, 32 from SWF 6 on, where a
// key-press handler's key code is counted in its record size. Nothing when there are no clip
// actions or they do not parse (the tag then stays as it is).
std::optional<QByteArray> clipEvents(Walk& w, int code, QByteArrayView p) {
  const auto clip = Avm1ClipActionsOffset(p, code);
  const int width = w.version >= 6 ? 4 : 2;
  if (!clip || *clip + 2 + width > p.size()) return std::nullopt;
  auto u32 = [&](qsizetype at) {
    return std::uint32_t(u16(p.data() + at)) | (std::uint32_t(u16(p.data() + at + 2)) << 16);
  };
  qsizetype at = *clip + 2 + width;  // reserved, all events
  QByteArray out(p.data(), at);
  while (true) {
    if (at + width > p.size()) {
      // Movies in the wild cut the last end flag short; the player reads zeros for it.
      if (at > p.size() || p.sliced(at).count('\0') != p.size() - at) return std::nullopt;
      out.append(p.data() + at, p.size() - at);
      return out;
    }
    const std::uint32_t events = width == 4 ? u32(at) : u16(p.data() + at);
    out.append(p.data() + at, width);
    at += width;
    if (!events) break;
    if (at + 4 > p.size()) return std::nullopt;
    const qsizetype size = qsizetype(u32(at));
    at += 4;
    const qsizetype key = (width == 4 && (events & 0x20000)) ? 1 : 0;
    if (size > p.size() - at || size < key) return std::nullopt;
    const QByteArray actions = actionsOrSame(w, p.sliced(at + key, size - key));
    appendU32(out, std::uint32_t(actions.size() + key));
    out.append(p.data() + at, key);
    out.append(actions);
    at += size;
  }
  out.append(p.data() + at, p.size() - at);
  return out;
}

// Rewrites the tags in `data` into `out`; the root also gets the injected frame actions.
bool walkTags(Walk& w, QByteArrayView data, QByteArray& out, bool root) {
  qsizetype at = 0;
  bool prologueDone = !root;
  bool readyDone = !root;
  while (at < data.size()) {
    if (at + 2 > data.size()) return false;
    const std::uint16_t head = u16(data.data() + at);
    const int code = head >> 6;
    qsizetype length = head & 0x3F;
    qsizetype headSize = 2;
    if (length == 0x3F) {
      if (at + 6 > data.size()) return false;
      length = qsizetype(u16(data.data() + at + 2)) | (qsizetype(u16(data.data() + at + 4)) << 16);
      headSize = 6;
    }
    if (length < 0 || at + headSize + length > data.size()) return false;
    const QByteArrayView payload = data.sliced(at + headSize, length);
    const QByteArrayView whole = data.sliced(at, headSize + length);
    at += headSize + length;

    if (code == 69 && !payload.isEmpty() && (std::uint8_t(payload[0]) & 0x08)) {
      w.avm2 = true;
      return true;
    }
    if (!prologueDone && code != 69) {
      appendTag(out, 12, Avm1PrologueActions(w.version));
      prologueDone = true;
    }
    if (!readyDone && (code == 1 || code == 0)) {
      appendTag(out, 12, Avm1ReadyActions());
      readyDone = true;
    }
    switch (code) {
      case 12:
        appendTag(out, 12, actionsOrSame(w, payload));
        break;
      case 59:
        if (payload.size() < 2) return false;
        appendTag(out, 59, QByteArray(payload.data(), 2) + actionsOrSame(w, payload.sliced(2)));
        break;
      case 39: {
        if (payload.size() < 4) return false;
        QByteArray sprite(payload.data(), 4);
        if (!walkTags(w, payload.sliced(4), sprite, false)) return false;
        appendTag(out, 39, sprite);
        break;
      }
      case 26:
      case 70:
      case 7:
      case 34: {
        const Walk before = w;  // a tag kept as it is counts none of its streams
        if (auto b = code == 26 || code == 70 ? clipEvents(w, code, payload)
                                              : button(w, code, payload)) {
          appendTag(out, code, *b);
        } else {
          w = before;
          out.append(whole.data(), whole.size());
        }
        break;
      }
      default:
        out.append(whole.data(), whole.size());
    }
    if (code == 0) break;
  }
  return true;
}

}  // namespace

std::optional<Avm1Rewrite> RewriteAvm1Movie(QByteArrayView swf) {
  const auto info = InspectSwf(swf);
  if (!info || info->version < 6 || info->headerLength < 8) return std::nullopt;
  QByteArray inflated;
  QByteArrayView body;
  if (info->compression == SwfCompression::None) {
    body = swf.sliced(8);
  } else {
    // A stream cut short keeps what it decoded: the tags it holds are still rewritten.
    auto b = DecodeSwfBody(swf, *info, kMaxMovieBytes);
    if (!b) return std::nullopt;
    inflated = std::move(b->bytes);
    body = inflated;
  }
  const qsizetype headerRest = info->headerLength - 8;  // stage, rate, frame count
  if (body.size() < headerRest) return std::nullopt;
  Walk w;
  w.version = info->version;
  QByteArray out;
  // Room for the growth of the rewritten actions: reserving costs no pages, growing past it
  // copies the whole movie again.
  out.reserve(8 + body.size() + body.size() / 8 + 65536);
  out.append("FWS");
  out.append(char(info->version));
  appendU32(out, 0);
  out.append(body.data(), headerRest);
  if (!walkTags(w, body.sliced(headerRest), out, true) || w.avm2) return std::nullopt;
  const std::uint32_t length = std::uint32_t(out.size());
  for (int i = 0; i < 4; ++i) out[4 + i] = char((length >> (8 * i)) & 0xFF);
  Avm1Rewrite result;
  result.movie = std::move(out);
  result.injected = true;
  result.commands = w.commands;
  result.brokenStreams = w.broken;
  return result;
}

}  // namespace vedalia
