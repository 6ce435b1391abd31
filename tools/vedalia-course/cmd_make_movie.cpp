// make-movie OUT: writes a minimal valid Flash movie (stage, background, N empty frames).

#include <QString>
#include <iostream>

#include "CourseCommand.h"
#include "MovieArgs.h"
#include "flashhost/SwfWriter.h"

namespace vedalia::course {
namespace {

int RunMakeMovie(const std::vector<std::string>& args) {
  SwfMovieSpec movieSpec;
  std::string error;
  const auto onFlag = [&](const std::string& a) {
    if (a == "--compress" || a == "--zlib")
      movieSpec.compression = SwfCompression::Zlib;
    else if (a == "--lzma")
      movieSpec.compression = SwfCompression::Lzma;
    else
      return false;
    return true;
  };
  const auto onValue = [&](const std::string& a, const std::string& v) {
    bool ok = false;
    if (a == "--width")
      ok = ParseNumberIn(v, movieSpec.width, 0, 100000);
    else if (a == "--height")
      ok = ParseNumberIn(v, movieSpec.height, 0, 100000);
    else if (a == "--frames")
      ok = ParseNumberIn(v, movieSpec.frameCount, 0, 65535);
    else if (a == "--fps")
      ok = ParseNumber(v, movieSpec.frameRate) && movieSpec.frameRate >= 0 &&
           movieSpec.frameRate < 256;
    else if (a == "--version")
      ok = ParseNumberIn(v, movieSpec.version, 1, 255);
    else if (a == "--color")
      ok = v.size() == 6 && ParseNumber(v, movieSpec.backgroundColor, 16);
    else
      return OptionResult::Unknown;
    return ok ? OptionResult::Taken : OptionResult::BadValue;
  };
  const std::string out = TakeOutAndOptions(args, onFlag, onValue, error);
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
