#include "flashhost/SwfInfo.h"

#include <lzma.h>
#include <zlib.h>

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace vedalia {
namespace {

// The uncompressed header after the first 8 bytes: RECT (at most 17 bytes) + rate + count.
constexpr int kMaxBodyHeader = 17 + 4;
// How much compressed input a header may take before we give up on the stream.
constexpr qint64 kMaxCompressedHeaderInput = 256 * 1024;
constexpr int kChunk = 4096;
// Largest dictionary the whole-body check gives the LZMA decoder. A header may claim up to
// 4 GiB; a movie that really needs matches farther back than this is reported as broken
// rather than letting a few bytes of header reserve gigabytes.
constexpr std::uint32_t kMaxLzmaDictionary = 256u * 1024 * 1024;

class Reader {
 public:
  virtual ~Reader() = default;
  // Up to `max` bytes; 0 at the end, -1 on a read error.
  virtual qint64 Read(char* buffer, qint64 max) = 0;

  // Total size of the input, and moving back to an offset for a second pass.
  virtual qint64 Size() const = 0;
  virtual bool Seek(qint64 pos) = 0;

  // The next piece of input, at most `max` bytes: read into `buffer` (kChunk bytes), or where
  // the input is in memory, pointing into it without a copy. 0 at the end, -1 on a read error.
  virtual qint64 Next(const unsigned char** piece, unsigned char* buffer, qint64 max) {
    *piece = buffer;
    return Read(reinterpret_cast<char*>(buffer), std::min<qint64>(max, kChunk));
  }

  // Exactly `size` bytes, or fewer at the end; -1 on a read error.
  qint64 ReadFull(char* buffer, qint64 size) {
    qint64 done = 0;
    while (done < size) {
      const qint64 n = Read(buffer + done, size - done);
      if (n < 0) return -1;
      if (n == 0) break;
      done += n;
    }
    return done;
  }
};

class BytesReader final : public Reader {
 public:
  explicit BytesReader(QByteArrayView data) : data_(data) {}
  qint64 Read(char* buffer, qint64 max) override {
    const qint64 n = std::min<qint64>(max, data_.size() - pos_);
    if (n > 0) std::memcpy(buffer, data_.data() + pos_, size_t(n));
    pos_ += n;
    return n;
  }
  qint64 Next(const unsigned char** piece, unsigned char*, qint64 max) override {
    const qint64 n = std::min<qint64>(max, data_.size() - pos_);
    *piece = reinterpret_cast<const unsigned char*>(data_.data()) + pos_;
    pos_ += n;
    return n;
  }
  qint64 Size() const override { return data_.size(); }
  bool Seek(qint64 pos) override {
    if (pos < 0 || pos > data_.size()) return false;
    pos_ = pos;
    return true;
  }

 private:
  QByteArrayView data_;
  qint64 pos_ = 0;
};

class FileReader final : public Reader {
 public:
  explicit FileReader(QFile& file) : file_(file) {}
  qint64 Read(char* buffer, qint64 max) override { return file_.read(buffer, max); }
  qint64 Size() const override { return file_.size(); }
  bool Seek(qint64 pos) override { return file_.seek(pos); }

 private:
  QFile& file_;
};

std::optional<SwfInfo> Fail(QString* error, const char* reason) {
  if (error) *error = QString::fromLatin1(reason);
  return std::nullopt;
}

// Decodes a compressed body from `in`. Header mode (`whole` false): fills `out` with up to
// `outSize` bytes and stops. Whole mode: decodes the entire stream, up to `limit` bytes, through
// `out` as a scratch buffer, counting, or with `keep` into that array: first `outSize` bytes,
// then grown by as much as it holds, so a length claimed but never produced costs nothing.
// Returns the bytes produced, or -1 with `reason` set; `ended` tells whether the stream's own
// end was reached.
struct DecodeRequest {
  unsigned char* out;
  int outSize;
  bool whole;
  qint64 limit;
  QByteArray* keep = nullptr;
};

// Largest piece of input or output handed to a decoder at once (zlib counts in 32 bits).
constexpr qint64 kMaxWindow = qint64(1) << 30;

template <typename Stream, typename Step>
qint64 DecodeLoop(Reader& in, Stream& strm, const DecodeRequest& req, Step step,
                  const char** reason, bool* ended) {
  unsigned char chunk[kChunk];
  qint64 produced = 0;  // before the current output window
  qint64 window = 0;
  auto nextWindow = [&] {
    if (req.keep) {
      const qint64 grow = std::clamp<qint64>(produced, req.outSize, kMaxWindow);
      const qint64 size = std::min(req.limit, produced + grow);
      req.keep->reserve(size);  // exactly: resize alone rounds up to a power of two
      req.keep->resize(size);
      strm.next_out = reinterpret_cast<unsigned char*>(req.keep->data()) + produced;
      window = req.keep->size() - produced;
    } else {
      strm.next_out = req.out;
      window = req.whole ? std::min<qint64>(req.outSize, req.limit - produced) : req.outSize;
    }
    strm.avail_out = decltype(strm.avail_out)(window);
  };
  nextWindow();
  qint64 consumed = 0;
  *ended = false;
  auto total = [&] { return produced + window - qint64(strm.avail_out); };
  for (;;) {
    if (strm.avail_out == 0) {
      if (!req.whole || total() >= req.limit) return total();
      produced = total();
      nextWindow();
    }
    if (strm.avail_in == 0) {
      if (!req.whole && consumed >= kMaxCompressedHeaderInput) {
        *reason = "compressed header does not end";
        return -1;
      }
      const unsigned char* piece = nullptr;
      const qint64 n = in.Next(&piece, chunk, req.whole ? kMaxWindow : kChunk);
      if (n < 0) {
        *reason = "read error";
        return -1;
      }
      if (n == 0) return total();  // input ended
      consumed += n;
      strm.next_in = const_cast<unsigned char*>(piece);  // zlib's field lacks the const
      strm.avail_in = decltype(strm.avail_in)(n);
    }
    const int ret = step(strm);  // 1 stream end, 0 go on, -1 error
    if (ret < 0) return -1;
    if (ret > 0) {
      *ended = true;
      return total();
    }
  }
}

qint64 InflateBody(Reader& in, const DecodeRequest& req, const char** reason, bool* ended) {
  z_stream strm{};
  if (inflateInit(&strm) != Z_OK) {
    *reason = "zlib cannot start";
    return -1;
  }
  const qint64 result = DecodeLoop(
      in, strm, req,
      [&](z_stream& z) {
        const int ret = inflate(&z, Z_NO_FLUSH);
        if (ret == Z_STREAM_END) return 1;
        if (ret == Z_OK || ret == Z_BUF_ERROR) return 0;
        *reason = "broken zlib stream";
        return -1;
      },
      reason, ended);
  inflateEnd(&strm);
  return result;
}

// The raw LZMA body after its 5 property bytes. `dictionaryCap` bounds the dictionary the
// decoder allocates, whatever the file asks for.
qint64 LzmaBody(Reader& in, const unsigned char* props, std::uint32_t dictionaryCap,
                const DecodeRequest& req, const char** reason, bool* ended) {
  lzma_filter filter{LZMA_FILTER_LZMA1, nullptr};
  if (lzma_properties_decode(&filter, nullptr, props, 5) != LZMA_OK) {
    *reason = "bad LZMA properties";
    return -1;
  }
  auto* options = static_cast<lzma_options_lzma*>(filter.options);
  options->dict_size =
      std::max<std::uint32_t>(LZMA_DICT_SIZE_MIN, std::min(options->dict_size, dictionaryCap));
  lzma_filter filters[] = {filter, {LZMA_VLI_UNKNOWN, nullptr}};
  lzma_stream strm = LZMA_STREAM_INIT;
  const lzma_ret init = lzma_raw_decoder(&strm, filters);
  std::free(filter.options);
  if (init != LZMA_OK) {
    *reason = "LZMA decoder cannot start";
    return -1;
  }
  const qint64 result = DecodeLoop(
      in, strm, req,
      [&](lzma_stream& z) {
        const lzma_ret ret = lzma_code(&z, LZMA_RUN);
        if (ret == LZMA_STREAM_END) return 1;
        if (ret == LZMA_OK) return 0;
        *reason = ret == LZMA_MEM_ERROR ? "LZMA dictionary too large" : "broken LZMA stream";
        return -1;
      },
      reason, ended);
  lzma_end(&strm);
  return result;
}

std::int32_t SignExtend(std::uint32_t v, int bits) {
  if (bits == 0) return 0;
  const std::uint32_t sign = 1u << (bits - 1);
  return std::int32_t((v ^ sign) - sign);
}

// Output past the declared length that a zlib body may still decode before its end: the player
// ignores it, so the check stops there instead of letting a small file inflate for minutes.
constexpr qint64 kZlibSlackPastDeclared = 1 << 20;

// Decodes a whole compressed body (zlib after the first 8 bytes; LZMA after its length and
// property bytes) as `req` asks. The LZMA dictionary is capped at the declared length, which
// decodes the same, and at kMaxLzmaDictionary.
qint64 DecodeWholeBody(Reader& in, const SwfInfo& info, const DecodeRequest& req,
                       const char** reason, bool* ended) {
  if (info.compression == SwfCompression::Zlib) {
    if (!in.Seek(8)) return *reason = "read error", -1;
    return InflateBody(in, req, reason, ended);
  }
  unsigned char props[5];
  if (!in.Seek(12) || in.ReadFull(reinterpret_cast<char*>(props), 5) != 5)
    return *reason = "truncated header", -1;
  const std::uint32_t cap = std::clamp<std::uint32_t>(info.declaredLength, 1, kMaxLzmaDictionary);
  return LzmaBody(in, props, cap, req, reason, ended);
}

// Checks that the body reaches the declared length, decoding compressed bodies through a
// scratch buffer. A zlib stream must also end properly (its check value is its last bytes); a
// raw LZMA body carries no end of its own, so reaching the declared length is all it can show.
bool BodyReachesDeclaredLength(Reader& in, const SwfInfo& info, const char** reason) {
  const qint64 declaredBody = qint64(info.declaredLength) - 8;
  if (info.compression == SwfCompression::None) {
    if (in.Size() - 8 >= declaredBody) return true;
    *reason = "body shorter than declared";
    return false;
  }
  std::vector<unsigned char> scratch(64 * 1024);
  const bool zlib = info.compression == SwfCompression::Zlib;
  const qint64 limit = zlib ? declaredBody + kZlibSlackPastDeclared : declaredBody;
  bool ended = false;
  const qint64 body =
      DecodeWholeBody(in, info, {scratch.data(), int(scratch.size()), true, limit}, reason, &ended);
  if (body >= limit) return true;
  if (body < 0) return false;
  if (!ended)
    *reason = "compressed stream cut short";
  else if (body < declaredBody)
    *reason = "compressed body shorter than declared";
  else
    return true;
  return false;
}

std::optional<SwfInfo> Inspect(Reader& in, QString* error, SwfCheck check) {
  unsigned char head[8];
  const qint64 got = in.ReadFull(reinterpret_cast<char*>(head), 8);
  if (got < 0) return Fail(error, "read error");
  if (got == 0) return Fail(error, "empty");
  if (got < 3) return Fail(error, "not a Flash movie");

  SwfInfo info;
  if (head[1] != 'W' || head[2] != 'S') return Fail(error, "not a Flash movie");
  switch (head[0]) {
    case 'F':
      info.compression = SwfCompression::None;
      break;
    case 'C':
      info.compression = SwfCompression::Zlib;
      break;
    case 'Z':
      info.compression = SwfCompression::Lzma;
      break;
    default:
      return Fail(error, "not a Flash movie");
  }
  if (got < 8) return Fail(error, "truncated header");
  info.version = head[3];
  if (info.version == 0) return Fail(error, "version 0");
  info.declaredLength = std::uint32_t(head[4]) | std::uint32_t(head[5]) << 8 |
                        std::uint32_t(head[6]) << 16 | std::uint32_t(head[7]) << 24;

  unsigned char body[kMaxBodyHeader];
  unsigned char lzmaHead[9];  // compressed length (ignored) + 5 property bytes
  int bodyLength = 0;
  const char* reason = "truncated header";
  bool ended = false;
  switch (info.compression) {
    case SwfCompression::None: {
      const qint64 n = in.ReadFull(reinterpret_cast<char*>(body), kMaxBodyHeader);
      if (n < 0) return Fail(error, "read error");
      bodyLength = int(n);
      break;
    }
    case SwfCompression::Zlib:
      bodyLength = int(InflateBody(in, {body, kMaxBodyHeader, false, 0}, &reason, &ended));
      break;
    case SwfCompression::Lzma: {
      const qint64 n = in.ReadFull(reinterpret_cast<char*>(lzmaHead), 9);
      if (n < 0) return Fail(error, "read error");
      if (n < 9) return Fail(error, "truncated header");
      // Only the first bytes are decoded and matches reach back only into those, so the
      // smallest dictionary suffices.
      bodyLength = int(LzmaBody(in, lzmaHead + 4, LZMA_DICT_SIZE_MIN,
                                {body, kMaxBodyHeader, false, 0}, &reason, &ended));
      break;
    }
  }
  if (bodyLength < 0) return Fail(error, reason);
  if (bodyLength < 1) return Fail(error, "truncated header");

  const int bits = body[0] >> 3;
  const int rectBytes = (5 + 4 * bits + 7) / 8;
  if (bodyLength < rectBytes + 4) return Fail(error, "truncated header");
  // Bit reader over the rectangle, most significant bit first, after the 5-bit size.
  int bitPos = 5;
  auto take = [&](int n) {
    std::uint32_t v = 0;
    for (int i = 0; i < n; ++i, ++bitPos)
      v = (v << 1) | ((body[bitPos >> 3] >> (7 - (bitPos & 7))) & 1u);
    return v;
  };
  info.xMinTwips = SignExtend(take(bits), bits);
  info.xMaxTwips = SignExtend(take(bits), bits);
  info.yMinTwips = SignExtend(take(bits), bits);
  info.yMaxTwips = SignExtend(take(bits), bits);
  const unsigned char* tail = body + rectBytes;
  info.frameRate = tail[1] + tail[0] / 256.0;
  info.frameCount = tail[2] | tail[3] << 8;
  info.headerLength = 8 + rectBytes + 4;

  if (info.declaredLength < std::uint32_t(info.headerLength))
    return Fail(error, "declared length shorter than the header");
  if (info.xMaxTwips < info.xMinTwips || info.yMaxTwips < info.yMinTwips)
    return Fail(error, "inverted stage rectangle");
  if (check == SwfCheck::Body && !BodyReachesDeclaredLength(in, info, &reason))
    return Fail(error, reason);
  if (error) error->clear();
  return info;
}

}  // namespace

QString SwfSignatureName(SwfCompression compression) {
  switch (compression) {
    case SwfCompression::Zlib:
      return QStringLiteral("CWS");
    case SwfCompression::Lzma:
      return QStringLiteral("ZWS");
    case SwfCompression::None:
      break;
  }
  return QStringLiteral("FWS");
}

std::optional<SwfInfo> InspectSwf(QByteArrayView data, QString* error, SwfCheck check) {
  BytesReader reader(data);
  return Inspect(reader, error, check);
}

std::optional<qint64> SwfUncompressedLength(QByteArrayView data, QString* error) {
  const auto info = InspectSwf(data, error);
  if (!info) return std::nullopt;
  if (info->compression == SwfCompression::None) return data.size();
  // Without an end marker an LZMA stream stops where the declared length says.
  const bool zlib = info->compression == SwfCompression::Zlib;
  const qint64 declaredBody = qint64(info->declaredLength) - 8;
  const char* reason = "";
  bool ended = false;
  std::vector<unsigned char> scratch(64 * 1024);
  BytesReader in(data);
  const qint64 body = DecodeWholeBody(
      in, *info, {scratch.data(), int(scratch.size()), true, zlib ? qint64(1) << 40 : declaredBody},
      &reason, &ended);
  if (body < 0) return Fail(error, reason), std::nullopt;
  if (!ended && (zlib || body < declaredBody))
    return Fail(error, "compressed stream cut short"), std::nullopt;
  return 8 + body;
}

std::optional<SwfBody> DecodeSwfBody(QByteArrayView swf, const SwfInfo& info,
                                     std::uint32_t maxLength, QString* error) {
  const qint64 declaredBody = qint64(info.declaredLength) - 8;
  if (swf.size() < 8 || declaredBody <= 0) return Fail(error, "truncated header"), std::nullopt;
  if (info.declaredLength > maxLength)
    return Fail(error, "declared length over the limit"), std::nullopt;
  if (error) error->clear();
  SwfBody body;
  if (info.compression == SwfCompression::None) {
    body.bytes = swf.sliced(8).toByteArray();
    body.complete = body.bytes.size() >= declaredBody;
    return body;
  }
  // The first guess for the output is a few times the stored bytes; it grows as output comes.
  const int first = int(std::min<qint64>(4 * qint64(swf.size()) + 65536, kMaxWindow));
  const char* reason = "";
  bool ended = false;
  BytesReader in(swf);
  const qint64 n =
      DecodeWholeBody(in, info, {nullptr, first, true, declaredBody, &body.bytes}, &reason, &ended);
  if (n < 0) return Fail(error, reason), std::nullopt;
  // An LZMA body is as long as declared (the stream carries no length): an end marker before
  // that contradicts the header.
  if (info.compression == SwfCompression::Lzma && ended && n < declaredBody)
    return Fail(error, "LZMA stream ends before the declared length"), std::nullopt;
  body.bytes.truncate(n);
  body.complete = n >= declaredBody;
  return body;
}

std::optional<SwfInfo> InspectSwfFile(const QString& path, QString* error, SwfCheck check) {
  if (path.isEmpty() || !QFileInfo(path).isFile()) return Fail(error, "no such file");
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) return Fail(error, "cannot open");
  FileReader reader(file);
  return Inspect(reader, error, check);
}

}  // namespace vedalia
