#pragma once
// Native inspection of Flash movie headers: signature, version, stage, frame rate and frame
// count, without any renderer. For the header, compressed movies are inflated only as far as
// it reaches (a few dozen bytes); the body check streams through a small buffer, so a huge or
// lying file never costs memory in proportion to its size. DecodeSwfBody, for those who need
// the movie's tags, holds what the stream decodes, up to a limit the caller sets.
//
// Typical use (the validity probe of a movie file):
//   if (auto info = vedalia::InspectSwfFile(path, nullptr, vedalia::SwfCheck::Body);
//       info && info->frameCount > 0) { ... }

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <cstdint>
#include <optional>

namespace vedalia {

// How the body after the first 8 bytes is stored: "FWS" plain, "CWS" zlib, "ZWS" LZMA.
enum class SwfCompression { None, Zlib, Lzma };

// "FWS", "CWS" or "ZWS".
QString SwfSignatureName(SwfCompression compression);

struct SwfInfo {
  SwfCompression compression = SwfCompression::None;
  int version = 0;
  // The header's file length: the size of the whole movie uncompressed, header included.
  // Only declared; nothing is read or allocated according to it.
  std::uint32_t declaredLength = 0;
  // Stage rectangle in twips (1/20 pixel).
  std::int32_t xMinTwips = 0;
  std::int32_t xMaxTwips = 0;
  std::int32_t yMinTwips = 0;
  std::int32_t yMaxTwips = 0;
  double frameRate = 0;  // frames per second (8.8 fixed point in the file)
  int frameCount = 0;
  // Size in bytes of the uncompressed header (signature up to the frame count).
  int headerLength = 0;

  double widthPixels() const { return (double(xMaxTwips) - double(xMinTwips)) / 20.0; }
  double heightPixels() const { return (double(yMaxTwips) - double(yMinTwips)) / 20.0; }
};

// How far an inspection reads. Header: the first bytes only. Body: also that the stored body
// reaches the declared length (for compressed movies: the stream decodes that far, through a
// small scratch buffer, and stops there), which is what the shell's validity checks need.
enum class SwfCheck { Header, Body };

// Inspects a movie held in memory. Nothing when the signature is unknown, the header is
// truncated or self-contradictory, or the compressed stream is broken; with SwfCheck::Body
// also when the body is shorter than declared. `error`, when given, receives a short English
// reason on failure.
std::optional<SwfInfo> InspectSwf(QByteArrayView data, QString* error = nullptr,
                                  SwfCheck check = SwfCheck::Header);

// Decodes the whole movie body to check that it is intact: the uncompressed length of the
// movie, header included (compare with SwfInfo::declaredLength), or nothing when the header
// fails or the compressed stream is broken or cut short. Costs time in proportion to the movie;
// meant for authoring tools, not for probes.
std::optional<qint64> SwfUncompressedLength(QByteArrayView data, QString* error = nullptr);

// The same for a file; with SwfCheck::Header reads only a bounded prefix of it, with
// SwfCheck::Body streams it in small chunks (never the whole file at once). Nothing also when
// the file is missing, unreadable, a directory or empty.
std::optional<SwfInfo> InspectSwfFile(const QString& path, QString* error = nullptr,
                                      SwfCheck check = SwfCheck::Header);

// A movie body decoded into memory.
struct SwfBody {
  // The bytes after the first 8: a plain body as stored; a compressed one as far as its stream
  // decodes, never past the declared length.
  QByteArray bytes;
  // The body reaches the declared length. A stream cut short, or a zlib stream ending early,
  // still gives what it decoded; a caller that needs the whole movie refuses it.
  bool complete = false;
};

// Decodes the whole body of `swf`, whose header InspectSwf gave as `info`. Nothing when the
// declared length exceeds `maxLength` or the compressed stream is broken (an LZMA end marker
// before the declared length counts as broken). The output buffer
// grows as output arrives, so a header claiming more than its stream holds costs nothing; the
// LZMA dictionary is capped as for the body check.
std::optional<SwfBody> DecodeSwfBody(QByteArrayView swf, const SwfInfo& info,
                                     std::uint32_t maxLength, QString* error = nullptr);

}  // namespace vedalia
