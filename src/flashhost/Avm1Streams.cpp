#include "flashhost/Avm1Streams.h"

namespace vedalia {

namespace {

std::uint32_t u16(QByteArrayView d, qsizetype at) {
  return std::uint32_t(std::uint8_t(d[at])) | (std::uint32_t(std::uint8_t(d[at + 1])) << 8);
}
std::uint32_t u32(QByteArrayView d, qsizetype at) { return u16(d, at) | (u16(d, at + 2) << 16); }

// A field of a control action that a rewrite may change, and what it means.
struct Field {
  enum Kind { Branch, Block, Skip } kind;
  qsizetype at;  // byte position in the action
  int width;     // bytes
};

// The patchable fields of one action; false when the action is too short to hold them.
bool fieldsOf(QByteArrayView a, std::vector<Field>& out) {
  out.clear();
  const qsizetype payload = a.size() - 3;
  switch (std::uint8_t(a[0])) {
    case 0x99:  // Jump
    case 0x9D:  // If
      if (payload < 2) return false;
      out.push_back({Field::Branch, 3, 2});
      return true;
    case 0x9B:  // DefineFunction
    case 0x8E:  // DefineFunction2: the code size ends the action
      if (payload < 2) return false;
      out.push_back({Field::Block, a.size() - 2, 2});
      return true;
    case 0x94:  // With
      if (payload < 2) return false;
      out.push_back({Field::Block, 3, 2});
      return true;
    case 0x8F:  // Try: try, catch and finally sizes, blocks one after another
      if (payload < 7) return false;
      for (qsizetype at = 4; at <= 8; at += 2) out.push_back({Field::Block, at, 2});
      return true;
    case 0x8A:  // WaitForFrame: frame, skip count
      if (payload < 3) return false;
      out.push_back({Field::Skip, 5, 1});
      return true;
    case 0x8D:  // WaitForFrame2: skip count
      if (payload < 1) return false;
      out.push_back({Field::Skip, 3, 1});
      return true;
    default:
      return true;
  }
}

}  // namespace

std::optional<std::vector<Avm1Action>> Avm1ParseActions(QByteArrayView code) {
  std::vector<Avm1Action> actions;
  qsizetype at = 0;
  while (at < code.size()) {
    const std::uint8_t op = std::uint8_t(code[at]);
    qsizetype size = 1;
    if (op >= 0x80) {
      if (at + 3 > code.size()) return std::nullopt;
      size = 3 + qsizetype(u16(code, at + 1));
      if (at + size > code.size()) return std::nullopt;
    }
    actions.push_back({at, size, op});
    at += size;
    if (op == 0) break;
  }
  return actions;
}

std::optional<std::vector<Avm1Target>> Avm1ControlTargets(QByteArrayView code, QString* error) {
  auto fail = [&](const QString& why) {
    if (error) *error = why;
    return std::nullopt;
  };
  const auto actions = Avm1ParseActions(code);
  if (!actions) return fail(QStringLiteral("an action runs past the stream"));
  const std::size_t n = actions->size();
  const qsizetype end = n ? (*actions)[n - 1].offset + (*actions)[n - 1].size : 0;
  auto indexAt = [&](qsizetype offset) -> std::optional<std::size_t> {
    if (offset == end) return n;
    std::size_t lo = 0, hi = n;
    while (lo < hi) {
      const std::size_t mid = (lo + hi) / 2;
      if ((*actions)[mid].offset < offset)
        lo = mid + 1;
      else
        hi = mid;
    }
    if (lo < n && (*actions)[lo].offset == offset) return lo;
    return std::nullopt;
  };
  std::vector<Avm1Target> targets;
  std::vector<Field> fields;
  for (std::size_t i = 0; i < n; ++i) {
    const Avm1Action& a = (*actions)[i];
    const QByteArrayView bytes = code.sliced(a.offset, a.size);
    if (!fieldsOf(bytes, fields)) return fail(QStringLiteral("action %1 is cut short").arg(i));
    qsizetype blockFrom = a.offset + a.size;
    for (const Field& f : fields) {
      std::optional<std::size_t> to;
      if (f.kind == Field::Skip) {
        to = std::min(n, i + 1 + std::uint8_t(bytes[f.at]));
      } else if (f.kind == Field::Branch) {
        to = indexAt(a.offset + a.size + std::int16_t(u16(bytes, f.at)));
      } else {
        blockFrom += qsizetype(u16(bytes, f.at));
        to = indexAt(blockFrom);
      }
      if (!to) return fail(QStringLiteral("action %1 leads inside an action or out").arg(i));
      targets.push_back({i, *to});
    }
  }
  return targets;
}

QString Avm1CompareRewriteImpl(QByteArrayView before, QByteArrayView after,
                               const std::vector<QByteArray>& replacements) {
  const auto a = Avm1ParseActions(before);
  const auto ta = Avm1ControlTargets(before);
  if (!a || !ta) return after == before ? QString() : QStringLiteral("a broken stream changed");
  QString why;
  const auto b = Avm1ParseActions(after);
  const auto tb = Avm1ControlTargets(after, &why);
  if (!b || !tb) return QStringLiteral("the rewritten stream: ") + why;
  // Old action index -> new one, walking both streams side by side.
  std::vector<std::size_t> map(a->size() + 1);
  std::vector<bool> replaced(a->size(), false);
  std::size_t k = 0;
  std::vector<Field> fields;
  for (std::size_t j = 0; j < a->size(); ++j) {
    const Avm1Action& old = (*a)[j];
    const QByteArrayView bytes = before.sliced(old.offset, old.size);
    QByteArrayView r = replacements[j];
    if (!r.isEmpty()) {  // a replacement already in place around the action stays as it is
      const qsizetype p = r.indexOf(bytes);
      if (p >= 0 && old.offset >= p && old.offset - p + r.size() <= before.size() &&
          before.sliced(old.offset - p, r.size()) == r)
        r = {};
    }
    if (k >= b->size()) return QStringLiteral("the rewritten stream ends early");
    map[j] = k;
    const qsizetype at = (*b)[k].offset;
    if (!r.isEmpty()) {
      replaced[j] = true;
      if (after.size() - at < r.size() || after.sliced(at, r.size()) != r)
        return QStringLiteral("action %1 is not replaced as expected").arg(j);
      while (k < b->size() && (*b)[k].offset < at + r.size()) ++k;
      if (k < b->size() && (*b)[k].offset != at + r.size())
        return QStringLiteral("the replacement of action %1 ends inside an action").arg(j);
      continue;
    }
    const QByteArrayView now = after.sliced(at, (*b)[k].size);
    if (now.size() != bytes.size() || now[0] != bytes[0])
      return QStringLiteral("action %1 changed its kind or size").arg(j);
    fieldsOf(bytes, fields);
    QByteArray x(bytes.data(), bytes.size()), y(now.data(), now.size());
    for (const Field& f : fields)
      for (int w = 0; w < f.width; ++w) x[f.at + w] = y[f.at + w] = 0;
    if (x != y) return QStringLiteral("action %1 changed beyond its offsets").arg(j);
    ++k;
  }
  if (k != b->size()) return QStringLiteral("the rewritten stream has extra actions");
  map[a->size()] = b->size();
  const qsizetype endA = a->empty() ? 0 : a->back().offset + a->back().size;
  const qsizetype endB = b->empty() ? 0 : b->back().offset + b->back().size;
  if (before.sliced(endA) != after.sliced(endB))
    return QStringLiteral("the bytes after End changed");
  // Every old control action leads, in its new place, to where the old target went.
  std::size_t t = 0;
  for (const Avm1Target& old : *ta) {
    if (replaced[old.from]) continue;
    while (t < tb->size() && (*tb)[t].from < map[old.from]) ++t;
    if (t >= tb->size() || (*tb)[t].from != map[old.from] || (*tb)[t].to != map[old.to])
      return QStringLiteral("action %1 no longer leads to action %2").arg(old.from).arg(old.to);
    ++t;
  }
  return {};
}

qsizetype Avm1MatrixBytes(QByteArrayView data, qsizetype at) {
  qsizetype bit = 0;
  auto read = [&](int bits) -> std::int64_t {
    std::int64_t v = 0;
    for (int k = 0; k < bits; ++k, ++bit) {
      const qsizetype byte = at + bit / 8;
      if (byte >= data.size()) return -1;
      v = (v << 1) | ((std::uint8_t(data[byte]) >> (7 - bit % 8)) & 1);
    }
    return v;
  };
  for (int part = 0; part < 2; ++part) {  // scale, rotation
    const std::int64_t has = read(1);
    if (has < 0) return -1;
    if (has) {
      const std::int64_t bits = read(5);
      if (bits < 0) return -1;
      bit += 2 * bits;
    }
  }
  const std::int64_t bits = read(5);  // translation
  if (bits < 0) return -1;
  bit += 2 * bits;
  if (at + (bit + 7) / 8 > data.size()) return -1;
  return (bit + 7) / 8;
}

namespace {

// Bytes of a CXFORMWITHALPHA record.
qsizetype colorTransformBytes(QByteArrayView data, qsizetype at) {
  if (at >= data.size()) return -1;
  const std::uint8_t first = std::uint8_t(data[at]);
  const int terms = ((first >> 7) & 1) + ((first >> 6) & 1);
  const qsizetype bits = 6 + qsizetype(terms) * 4 * ((first >> 2) & 0xF);
  if (at + (bits + 7) / 8 > data.size()) return -1;
  return (bits + 7) / 8;
}

// Bytes of a filter list (PlaceObject3), or -1.
qsizetype filterListBytes(QByteArrayView d, qsizetype at) {
  const qsizetype start = at;
  if (at >= d.size()) return -1;
  const int count = std::uint8_t(d[at++]);
  for (int i = 0; i < count; ++i) {
    if (at >= d.size()) return -1;
    const int id = std::uint8_t(d[at++]);
    qsizetype size = 0;
    switch (id) {
      case 0:
        size = 23;
        break;  // drop shadow
      case 1:
        size = 9;
        break;  // blur
      case 2:
        size = 15;
        break;  // glow
      case 3:
        size = 27;
        break;  // bevel
      case 4:   // gradient glow
      case 7:   // gradient bevel
        if (at >= d.size()) return -1;
        size = 1 + 5 * qsizetype(std::uint8_t(d[at])) + 19;
        break;
      case 5:  // convolution
        if (at + 2 > d.size()) return -1;
        size = 2 + 8 + 4 * qsizetype(std::uint8_t(d[at])) * std::uint8_t(d[at + 1]) + 5;
        break;
      case 6:
        size = 80;
        break;  // colour matrix
      default:
        return -1;
    }
    at += size;
    if (at > d.size()) return -1;
  }
  return at - start;
}

}  // namespace

std::optional<qsizetype> Avm1ClipActionsOffset(QByteArrayView p, int tagCode) {
  const bool three = tagCode == 70;
  if (p.size() < (three ? 4 : 3)) return std::nullopt;
  const std::uint32_t flags =
      three ? u16(p, 0) : std::uint32_t(std::uint8_t(p[0]));  // PlaceObject3: two flag bytes
  if (!(flags & 0x80)) return std::nullopt;
  qsizetype at = three ? 4 : 3;  // flags, depth
  auto string = [&]() {
    const qsizetype z = p.sliced(std::min(at, p.size())).indexOf('\0');
    if (z < 0) return false;
    at += z + 1;
    return true;
  };
  auto skip = [&](qsizetype n) {
    if (n < 0 || at + n > p.size()) return false;
    at += n;
    return true;
  };
  const bool hasCharacter = flags & 0x02;
  if (three && ((flags & 0x0800) || ((flags & 0x1000) && !hasCharacter)) && !string())
    return std::nullopt;  // class name
  if (hasCharacter && !skip(2)) return std::nullopt;
  if ((flags & 0x04) && !skip(Avm1MatrixBytes(p, at))) return std::nullopt;
  if ((flags & 0x08) && !skip(colorTransformBytes(p, at))) return std::nullopt;
  if ((flags & 0x10) && !skip(2)) return std::nullopt;   // ratio
  if ((flags & 0x20) && !string()) return std::nullopt;  // name
  if ((flags & 0x40) && !skip(2)) return std::nullopt;   // clip depth
  if (three) {
    if ((flags & 0x0100) && !skip(filterListBytes(p, at))) return std::nullopt;
    if ((flags & 0x0200) && !skip(1)) return std::nullopt;  // blend mode
    if ((flags & 0x0400) && !skip(1)) return std::nullopt;  // cached as bitmap
    if ((flags & 0x2000) && !skip(1)) return std::nullopt;  // visible
    if ((flags & 0x4000) && !skip(4)) return std::nullopt;  // background colour
  }
  return at;
}

std::optional<std::vector<QByteArrayView>> Avm1MovieStreams(QByteArrayView d, int swfVersion) {
  std::vector<QByteArrayView> streams;
  qsizetype at = 0;
  while (at + 2 <= d.size()) {
    const std::uint32_t head = u16(d, at);
    const int code = int(head >> 6);
    qsizetype length = head & 0x3F;
    at += 2;
    if (length == 0x3F) {
      if (at + 4 > d.size()) return std::nullopt;
      length = qsizetype(u32(d, at));
      at += 4;
    }
    if (length > d.size() - at) return std::nullopt;
    const QByteArrayView p = d.sliced(at, length);
    at += length;
    switch (code) {
      case 12:
        streams.push_back(p);
        break;
      case 59:
        if (p.size() < 2) return std::nullopt;
        streams.push_back(p.sliced(2));
        break;
      case 39: {
        if (p.size() < 4) return std::nullopt;
        const auto inner = Avm1MovieStreams(p.sliced(4), swfVersion);
        if (!inner) return std::nullopt;
        streams.insert(streams.end(), inner->begin(), inner->end());
        break;
      }
      case 7: {
        qsizetype r = 2;
        while (r < p.size() && p[r] != 0) {
          const qsizetype m = Avm1MatrixBytes(p, r + 5);
          if (m < 0) return std::nullopt;
          r += 5 + m;
        }
        if (r >= p.size()) return std::nullopt;
        streams.push_back(p.sliced(r + 1));
        break;
      }
      case 34: {
        if (p.size() < 5) return std::nullopt;
        if (u16(p, 3) == 0) break;
        qsizetype r = 3 + u16(p, 3);
        while (true) {
          if (r + 4 > p.size()) return std::nullopt;
          const qsizetype size = u16(p, r);
          if (size && (size < 4 || r + size > p.size())) return std::nullopt;
          const qsizetype stop = size ? r + size : p.size();
          streams.push_back(p.sliced(r + 4, stop - r - 4));
          if (!size) break;
          r = stop;
        }
        break;
      }
      case 26:
      case 70: {
        const auto clip = Avm1ClipActionsOffset(p, code);
        if (!clip) break;
        const int width = swfVersion >= 6 ? 4 : 2;
        qsizetype r = *clip + 2 + width;  // reserved, all events
        while (true) {
          if (r + width > p.size()) {  // an end flag cut short reads as zeros
            if (r > p.size() || p.sliced(r).count('\0') != p.size() - r) return std::nullopt;
            break;
          }
          const std::uint32_t events = width == 4 ? u32(p, r) : u16(p, r);
          r += width;
          if (!events) break;
          if (r + 4 > p.size()) return std::nullopt;
          qsizetype size = qsizetype(u32(p, r));
          r += 4;
          if (size > p.size() - r) return std::nullopt;
          const qsizetype key = (width == 4 && (events & 0x20000)) ? 1 : 0;
          if (size < key) return std::nullopt;
          streams.push_back(p.sliced(r + key, size - key));
          r += size;
        }
        break;
      }
      default:
        break;
    }
    if (code == 0) break;
  }
  return streams;
}

}  // namespace vedalia
