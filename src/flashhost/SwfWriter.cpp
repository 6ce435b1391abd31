#include "flashhost/SwfWriter.h"

#include <lzma.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/FileReplace.h"

namespace vedalia {
namespace {

void PutU16(QByteArray& out, std::uint32_t v) {
  out.append(char(v & 0xFF));
  out.append(char((v >> 8) & 0xFF));
}

void PutU32(QByteArray& out, std::uint32_t v) {
  PutU16(out, v & 0xFFFF);
  PutU16(out, v >> 16);
}

// Bits needed to hold v as a signed field.
int SignedBits(std::int64_t v) {
  int bits = 1;
  while (bits < 32 &&
         (v >= (std::int64_t(1) << (bits - 1)) || v < -(std::int64_t(1) << (bits - 1))))
    ++bits;
  return bits;
}

class BitWriter {
 public:
  explicit BitWriter(QByteArray& out) : out_(out) {}
  void Put(std::uint32_t value, int bits) {
    for (int i = bits - 1; i >= 0; --i) {
      acc_ = std::uint8_t((acc_ << 1) | ((value >> i) & 1));
      if (++used_ == 8) Flush();
    }
  }
  void Flush() {
    if (used_ == 0) return;
    out_.append(char(acc_ << (8 - used_)));
    acc_ = 0;
    used_ = 0;
  }

 private:
  QByteArray& out_;
  std::uint8_t acc_ = 0;
  int used_ = 0;
};

void PutRect(QByteArray& out, std::int32_t xMax, std::int32_t yMax) {
  const int bits = std::max(SignedBits(xMax), SignedBits(yMax));
  BitWriter w(out);
  w.Put(std::uint32_t(bits), 5);
  w.Put(0, bits);
  w.Put(std::uint32_t(xMax), bits);
  w.Put(0, bits);
  w.Put(std::uint32_t(yMax), bits);
  w.Flush();
}

QByteArray Deflate(const QByteArray& body) {
  uLongf size = compressBound(uLong(body.size()));
  QByteArray out(qsizetype(size), Qt::Uninitialized);
  if (compress2(reinterpret_cast<Bytef*>(out.data()), &size,
                reinterpret_cast<const Bytef*>(body.constData()), uLong(body.size()),
                Z_BEST_COMPRESSION) != Z_OK)
    return {};
  out.resize(qsizetype(size));
  return out;
}

// Raw LZMA1 data preceded by its 5 property bytes.
QByteArray LzmaCompress(const QByteArray& body) {
  lzma_options_lzma options;
  if (lzma_lzma_preset(&options, 6)) return {};
  options.dict_size = 1u << 16;
  lzma_filter filters[] = {{LZMA_FILTER_LZMA1, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
  QByteArray out(5, '\0');
  if (lzma_properties_encode(&filters[0], reinterpret_cast<uint8_t*>(out.data())) != LZMA_OK)
    return {};
  lzma_stream strm = LZMA_STREAM_INIT;
  if (lzma_raw_encoder(&strm, filters) != LZMA_OK) return {};
  const qsizetype capacity = body.size() + body.size() / 2 + 1024;
  out.resize(5 + capacity);
  strm.next_in = reinterpret_cast<const uint8_t*>(body.constData());
  strm.avail_in = size_t(body.size());
  strm.next_out = reinterpret_cast<uint8_t*>(out.data()) + 5;
  strm.avail_out = size_t(capacity);
  const lzma_ret ret = lzma_code(&strm, LZMA_FINISH);
  const size_t written = size_t(capacity) - strm.avail_out;
  lzma_end(&strm);
  if (ret != LZMA_STREAM_END) return {};
  out.resize(qsizetype(5 + written));
  return out;
}

QByteArray CString(const QString& text) { return text.toUtf8() + QByteArray(1, '\0'); }

// A MATRIX record holding only a translation (twips).
void PutTranslation(QByteArray& out, std::int32_t x, std::int32_t y) {
  const int bits = x == 0 && y == 0 ? 0 : std::max(SignedBits(x), SignedBits(y));
  BitWriter w(out);
  w.Put(0, 1);  // no scale
  w.Put(0, 1);  // no rotation
  w.Put(std::uint32_t(bits), 5);
  w.Put(std::uint32_t(x), bits);
  w.Put(std::uint32_t(y), bits);
  w.Flush();
}

}  // namespace

SwfActions& SwfActions::Action(std::uint8_t code, const QByteArray& payload) {
  code_.append(char(code));
  if (code >= 0x80) {  // actions with a length field
    PutU16(code_, std::uint32_t(payload.size()));
    code_.append(payload);
  }
  return *this;
}

SwfActions& SwfActions::PushRecord(std::uint8_t type, const QByteArray& value) {
  return Action(0x96, QByteArray(1, char(type)) + value);
}

SwfActions& SwfActions::ConstantPool(const QStringList& strings) {
  QByteArray payload;
  PutU16(payload, std::uint32_t(strings.size()));
  for (const QString& text : strings) payload.append(CString(text));
  pool_ = strings;
  return Action(0x88, payload);
}

SwfActions& SwfActions::Push(const QString& value) {
  const qsizetype index = pool_.indexOf(value);
  if (index < 0) return PushRecord(0, CString(value));
  QByteArray slot;
  if (index < 256) {
    slot.append(char(index));
    return PushRecord(8, slot);
  }
  PutU16(slot, std::uint32_t(index));
  return PushRecord(9, slot);
}

SwfActions& SwfActions::Push(std::int32_t value) {
  QByteArray bytes;
  PutU32(bytes, std::uint32_t(value));
  return PushRecord(7, bytes);
}

SwfActions& SwfActions::Push(double value) {
  // AVM1 stores a double as its high 32 bits, then its low 32 bits, each little-endian.
  std::uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  QByteArray bytes;
  PutU32(bytes, std::uint32_t(bits >> 32));
  PutU32(bytes, std::uint32_t(bits));
  return PushRecord(6, bytes);
}

SwfActions& SwfActions::Push(bool value) { return PushRecord(5, QByteArray(1, char(value))); }
SwfActions& SwfActions::PushNull() { return PushRecord(2, {}); }
SwfActions& SwfActions::PushUndefined() { return PushRecord(3, {}); }
SwfActions& SwfActions::Op(SwfOp op) { return Action(std::uint8_t(op), {}); }

SwfActions& SwfActions::Label(const QString& label) {
  duplicateLabel_ |= labels_.count(label) > 0;
  labels_[label] = code_.size();
  return *this;
}

SwfActions& SwfActions::Jump(const QString& label) {
  Action(0x99, QByteArray(2, '\0'));
  branches_.push_back({code_.size() - 2, label});
  return *this;
}

SwfActions& SwfActions::If(const QString& label) {
  Action(0x9D, QByteArray(2, '\0'));
  branches_.push_back({code_.size() - 2, label});
  return *this;
}

SwfActions& SwfActions::GotoFrame(int frameIndex) {
  QByteArray payload;
  PutU16(payload, std::uint32_t(std::clamp(frameIndex, 0, 0xFFFF)));
  return Action(0x81, payload);
}

SwfActions& SwfActions::GotoLabel(const QString& label) { return Action(0x8C, CString(label)); }
SwfActions& SwfActions::GotoFrame2(bool play) { return Action(0x9F, QByteArray(1, char(play))); }

SwfActions& SwfActions::GetUrl(const QString& url, const QString& target) {
  return Action(0x83, CString(url) + CString(target));
}

SwfActions& SwfActions::GetUrl2(std::uint8_t flags) {
  return Action(0x9A, QByteArray(1, char(flags)));
}

SwfActions& SwfActions::DefineFunction(const QString& name, const QStringList& params,
                                       const SwfActions& body) {
  const QByteArray bodyCode = body.Code();
  duplicateLabel_ |= !body.Valid();  // an invalid body makes this list invalid too
  QByteArray payload = CString(name);
  PutU16(payload, std::uint32_t(params.size()));
  for (const QString& param : params) payload.append(CString(param));
  PutU16(payload, std::uint32_t(bodyCode.size()));
  Action(0x9B, payload);
  code_.append(bodyCode);
  return *this;
}

std::optional<QByteArray> SwfActions::Resolve() const {
  if (duplicateLabel_) return std::nullopt;
  QByteArray out = code_;
  for (const Branch& branch : branches_) {
    const auto target = labels_.find(branch.label);
    if (target == labels_.end()) return std::nullopt;
    const qsizetype offset = target->second - (branch.offsetAt + 2);
    if (offset < -0x8000 || offset > 0x7FFF) return std::nullopt;
    out[branch.offsetAt] = char(offset & 0xFF);
    out[branch.offsetAt + 1] = char((offset >> 8) & 0xFF);
  }
  return out;
}

QByteArray SwfActions::Code() const { return Resolve().value_or(code_); }
bool SwfActions::Valid() const { return Resolve().has_value(); }

QByteArray SwfDoActionTag(const SwfActions& actions) { return SwfTag(12, actions.Bytes()); }

QByteArray SwfDoInitActionTag(int spriteId, const SwfActions& actions) {
  QByteArray payload;
  PutU16(payload, std::uint32_t(spriteId));
  return SwfTag(59, payload + actions.Bytes());
}

QByteArray SwfFrameLabelTag(const QString& label) { return SwfTag(43, CString(label)); }

QByteArray SwfRectangleShapeTag(int shapeId, int width, int height, std::uint32_t rgb) {
  const std::int32_t w = std::clamp(width, 1, 100000) * 20;
  const std::int32_t h = std::clamp(height, 1, 100000) * 20;
  QByteArray payload;
  PutU16(payload, std::uint32_t(shapeId));
  PutRect(payload, w, h);
  payload.append(char(1));  // one fill style: solid
  payload.append(char(0));
  payload.append(char((rgb >> 16) & 0xFF));
  payload.append(char((rgb >> 8) & 0xFF));
  payload.append(char(rgb & 0xFF));
  payload.append(char(0));     // no line styles
  payload.append(char(0x10));  // 1 fill bit, 0 line bits
  BitWriter bits(payload);
  bits.Put(0b000101, 6);  // style change: fill style 1 and a move to 0,0
  bits.Put(1, 5);
  bits.Put(0, 1);
  bits.Put(0, 1);
  bits.Put(1, 1);  // fill style 1
  const int n = std::max(SignedBits(w), SignedBits(h));
  auto edge = [&](bool vertical, std::int32_t delta) {
    bits.Put(0b11, 2);  // straight edge
    bits.Put(std::uint32_t(n - 2), 4);
    bits.Put(0, 1);  // not a general line
    bits.Put(vertical ? 1 : 0, 1);
    bits.Put(std::uint32_t(delta), n);
  };
  edge(false, w);
  edge(true, h);
  edge(false, -w);
  edge(true, -h);
  bits.Put(0, 6);  // end of shape
  bits.Flush();
  return SwfTag(2, payload);
}

QByteArray SwfButtonTag(int buttonId, int shapeId, const std::vector<SwfButtonAction>& actions) {
  QByteArray records;
  records.append(char(0x0F));  // up, over, down and hit states
  PutU16(records, std::uint32_t(shapeId));
  PutU16(records, 1);  // depth
  PutTranslation(records, 0, 0);
  records.append(char(0));  // colour transform without terms
  records.append(char(0));  // end of characters
  QByteArray payload;
  PutU16(payload, std::uint32_t(buttonId));
  payload.append(char(0));  // not a menu button
  PutU16(payload, actions.empty() ? 0 : std::uint32_t(2 + records.size()));
  payload.append(records);
  for (size_t i = 0; i < actions.size(); ++i) {
    const QByteArray code = actions[i].actions.Bytes();
    const bool last = i + 1 == actions.size();
    PutU16(payload, last ? 0 : std::uint32_t(4 + code.size()));
    PutU16(payload, actions[i].conditions);
    payload.append(code);
  }
  return SwfTag(34, payload);
}

QByteArray SwfSpriteTag(int spriteId, int frameCount, const QByteArray& firstFrameTags) {
  const int frames = std::clamp(frameCount, 1, 0xFFFF);
  QByteArray payload;
  PutU16(payload, std::uint32_t(spriteId));
  PutU16(payload, std::uint32_t(frames));
  payload.append(firstFrameTags);
  for (int i = 0; i < frames; ++i) payload.append(SwfTag(1));
  payload.append(SwfTag(0));
  return SwfTag(39, payload);
}

QByteArray SwfPlaceTag(const SwfPlacement& placement, int swfVersion) {
  const bool wideEvents = swfVersion >= 6;
  auto putEvents = [&](QByteArray& out, std::uint32_t events) {
    wideEvents ? PutU32(out, events) : PutU16(out, events & 0xFFFF);
  };
  std::uint8_t flags = 0x02 | 0x04;  // character, matrix
  if (!placement.name.isEmpty()) flags |= 0x20;
  if (!placement.clipActions.empty()) flags |= 0x80;
  QByteArray payload(1, char(flags));
  PutU16(payload, std::uint32_t(placement.depth));
  PutU16(payload, std::uint32_t(placement.characterId));
  PutTranslation(payload, placement.x * 20, placement.y * 20);
  if (!placement.name.isEmpty()) payload.append(CString(placement.name));
  if (!placement.clipActions.empty()) {
    std::uint32_t all = 0;
    for (const SwfClipAction& clip : placement.clipActions) all |= clip.events;
    PutU16(payload, 0);
    putEvents(payload, all);
    for (const SwfClipAction& clip : placement.clipActions) {
      QByteArray code = clip.actions.Bytes();
      if (wideEvents && (clip.events & kSwfClipKeyPress)) code.prepend(char(clip.keyCode));
      putEvents(payload, clip.events);
      PutU32(payload, std::uint32_t(code.size()));
      payload.append(code);
    }
    putEvents(payload, 0);
  }
  return SwfTag(26, payload);
}

QByteArray SwfTag(int code, const QByteArray& payload) {
  QByteArray out;
  if (payload.size() < 0x3F) {
    PutU16(out, std::uint32_t(code << 6) | std::uint32_t(payload.size()));
  } else {
    PutU16(out, std::uint32_t(code << 6) | 0x3F);
    PutU32(out, std::uint32_t(payload.size()));
  }
  out.append(payload);
  return out;
}

QByteArray WriteSwfMovie(const SwfMovieSpec& movieSpec) {
  constexpr int kMaxPixels = 0x3FFFFFFF / 20;  // keeps twips within a signed 31-bit field
  const int version = std::clamp(movieSpec.version, 1, 255);
  const int width = std::clamp(movieSpec.width, 0, kMaxPixels);
  const int height = std::clamp(movieSpec.height, 0, kMaxPixels);
  const int frames = std::clamp(movieSpec.frameCount, 0, 0xFFFF);
  const double rate = std::isfinite(movieSpec.frameRate)
                          ? std::clamp(movieSpec.frameRate, 0.0, 255.0 + 255.0 / 256.0)
                          : 0.0;

  QByteArray body;  // everything after the 8-byte signature/version/length
  PutRect(body, width * 20, height * 20);
  PutU16(body, std::uint32_t(std::lround(rate * 256.0)));
  PutU16(body, std::uint32_t(frames));
  QByteArray rgb;
  rgb.append(char((movieSpec.backgroundColor >> 16) & 0xFF));
  rgb.append(char((movieSpec.backgroundColor >> 8) & 0xFF));
  rgb.append(char(movieSpec.backgroundColor & 0xFF));
  body.append(SwfTag(9, rgb));  // SetBackgroundColor
  body.append(movieSpec.extraTags);
  const QByteArray showFrame = SwfTag(1);
  for (int i = 0; i < frames; ++i) {
    if (const auto tags = movieSpec.frameTags.find(i); tags != movieSpec.frameTags.end())
      body.append(tags->second);
    if (const auto code = movieSpec.frameActions.find(i); code != movieSpec.frameActions.end())
      body.append(SwfDoActionTag(code->second));
    body.append(showFrame);
  }
  body.append(SwfTag(0));  // End

  QByteArray out;
  const char* signature = movieSpec.compression == SwfCompression::Zlib   ? "CWS"
                          : movieSpec.compression == SwfCompression::Lzma ? "ZWS"
                                                                          : "FWS";
  out.append(signature, 3);
  out.append(char(version));
  PutU32(out, std::uint32_t(body.size() + 8));
  switch (movieSpec.compression) {
    case SwfCompression::None:
      out.append(body);
      break;
    case SwfCompression::Zlib:
      out.append(Deflate(body));
      break;
    case SwfCompression::Lzma: {
      const QByteArray packed = LzmaCompress(body);
      PutU32(out, std::uint32_t(std::max<qsizetype>(packed.size() - 5, 0)));
      out.append(packed);
      break;
    }
  }
  return out;
}

bool WriteSwfMovieFile(const QString& path, const SwfMovieSpec& movieSpec) {
  return ReplaceFileContents(path, WriteSwfMovie(movieSpec));
}

}  // namespace vedalia
