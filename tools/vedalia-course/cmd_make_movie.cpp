// make-movie OUT: writes a minimal valid Flash movie (stage, background, N empty frames).

#include <QString>
#include <charconv>
#include <iostream>

#include "CourseCommand.h"
#include "flashhost/SwfWriter.h"

namespace vedalia::course {
namespace {

template <typename T>
bool ParseNumber(const std::string& text, T& value, int base = 10) {
  const char* end = text.data() + text.size();
  std::from_chars_result r;
  if constexpr (std::is_floating_point_v<T>) {
    r = std::from_chars(text.data(), end, value);
  } else {
    r = std::from_chars(text.data(), end, value, base);
  }
  return !text.empty() && r.ec == std::errc() && r.ptr == end;
}

int RunMakeMovie(const std::vector<std::string>& args) {
  SwfMovieSpec movieSpec;
  std::string out;
  std::string error;
  for (size_t i = 0; i < args.size() && error.empty(); ++i) {
    const std::string& a = args[i];
    if (a == "--compress" || a == "--zlib") {
      movieSpec.compression = SwfCompression::Zlib;
      continue;
    }
    if (a == "--lzma") {
      movieSpec.compression = SwfCompression::Lzma;
      continue;
    }
    if (a.rfind("--", 0) != 0) {
      if (!out.empty()) error = "more than one OUT";
      out = a;
      continue;
    }
    if (i + 1 >= args.size()) {
      error = a + " needs a value";
      break;
    }
    const std::string& v = args[++i];
    bool ok = false;
    if (a == "--width") {
      ok = ParseNumber(v, movieSpec.width) && movieSpec.width >= 0 && movieSpec.width <= 100000;
    } else if (a == "--height") {
      ok = ParseNumber(v, movieSpec.height) && movieSpec.height >= 0 && movieSpec.height <= 100000;
    } else if (a == "--frames") {
      ok = ParseNumber(v, movieSpec.frameCount) && movieSpec.frameCount >= 0 &&
           movieSpec.frameCount <= 65535;
    } else if (a == "--fps") {
      ok = ParseNumber(v, movieSpec.frameRate) && movieSpec.frameRate >= 0 &&
           movieSpec.frameRate < 256;
    } else if (a == "--version") {
      ok = ParseNumber(v, movieSpec.version) && movieSpec.version >= 1 && movieSpec.version <= 255;
    } else if (a == "--color") {
      ok = v.size() == 6 && ParseNumber(v, movieSpec.backgroundColor, 16);
    } else {
      error = "unknown option " + a;
      break;
    }
    if (!ok) error = "bad value for " + a + ": " + v;
  }
  if (error.empty() && out.empty()) error = "no OUT given";
  if (!error.empty()) {
    std::cerr << "vedalia-course make-movie: " << error << "\n";
    return 2;
  }
  if (!WriteSwfMovieFile(QString::fromStdString(out), movieSpec)) {
    std::cerr << "vedalia-course make-movie: cannot write " << out << "\n";
    return 1;
  }
  return 0;
}

const CourseCommandRegistrar registrar(
    {"make-movie",
     "make-movie OUT [--width PX] [--height PX] [--frames N] [--fps R] [--color RRGGBB]\n"
     "      [--version N] [--compress | --lzma]\n"
     "      write a minimal Flash movie (defaults: 550 x 400, 1 frame, 24 fps, white, FWS 10)",
     RunMakeMovie});

}  // namespace
}  // namespace vedalia::course
