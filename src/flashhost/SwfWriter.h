#pragma once
// Writes small, valid Flash movies: a header, SetBackgroundColor, optional extra tags, N
// frames (ShowFrame each) and End. Used by tests, the course tool ("make-movie") and the demo
// build, wherever a real movie file is needed without an authoring tool.
//
//   vedalia::SwfMovieSpec movieSpec;
//   movieSpec.width = 800; movieSpec.height = 600; movieSpec.frameCount = 3;
//   movieSpec.compression = vedalia::SwfCompression::Zlib;
//   QByteArray bytes = vedalia::WriteSwfMovie(movieSpec);

#include <QByteArray>
#include <QString>
#include <cstdint>

#include "flashhost/SwfInfo.h"

namespace vedalia {

struct SwfMovieSpec {
  int version = 10;  // 1..255
  int width = 550;   // stage in pixels, 0..107374182
  int height = 400;
  double frameRate = 24.0;                   // 0..255.996 (8.8 fixed point)
  int frameCount = 1;                        // 0..65535 ShowFrame tags, and the header's count
  std::uint32_t backgroundColor = 0xFFFFFF;  // 0xRRGGBB
  SwfCompression compression = SwfCompression::None;
  // Complete tags (see SwfTag) placed after SetBackgroundColor, before the first ShowFrame.
  QByteArray extraTags;
};

// One tag: record header (short form below 63 bytes of payload, else long form) + payload.
QByteArray SwfTag(int code, const QByteArray& payload = QByteArray());

// The movie's bytes. Values outside the ranges above are clamped into them.
QByteArray WriteSwfMovie(const SwfMovieSpec& movieSpec);

// Writes the movie to `path` (replacing the file); false when it cannot be written.
bool WriteSwfMovieFile(const QString& path, const SwfMovieSpec& movieSpec);

}  // namespace vedalia
