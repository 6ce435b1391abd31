// make-picture: a test picture (JPEG or bitmap) for demo courses and model textures.

#include <QColor>
#include <QImage>
#include <QString>
#include <iostream>

#include "CourseCommand.h"

namespace vedalia::course {
namespace {

int runMakePicture(const std::vector<std::string>& args) {
  if (args.empty()) {
    std::cerr << "usage: vedalia-course make-picture OUT.jpg|OUT.bmp [WIDTH HEIGHT]\n";
    return 2;
  }
  const QString out = QString::fromStdString(args[0]);
  const int width = args.size() > 2 ? std::stoi(args[1]) : 640;
  const int height = args.size() > 2 ? std::stoi(args[2]) : 480;
  if (width < 1 || height < 1 || width > 20000 || height > 20000) {
    std::cerr << "vedalia-course make-picture: size out of range\n";
    return 2;
  }
  // Colour bands across, darkening downwards, with a checker so that zoom and texture
  // orientation are visible.
  QImage image(width, height, QImage::Format_RGB32);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const int hue = 360 * x / width;
      const int value = 255 - 155 * y / height;
      const bool checker = ((x / 32) + (y / 32)) % 2 == 0;
      image.setPixel(x, y, QColor::fromHsv(hue % 360, checker ? 200 : 120, value).rgb());
    }
  }
  const char* format = out.endsWith(QLatin1String(".bmp"), Qt::CaseInsensitive) ? "BMP" : "JPG";
  if (!image.save(out, format, 90)) {
    std::cerr << "vedalia-course make-picture: cannot write " << out.toStdString() << "\n";
    return 1;
  }
  return 0;
}

const CourseCommandRegistrar registrar({"make-picture",
                                        "make-picture OUT.jpg|OUT.bmp [WIDTH HEIGHT]   "
                                        "write a test picture",
                                        &runMakePicture});

}  // namespace
}  // namespace vedalia::course
