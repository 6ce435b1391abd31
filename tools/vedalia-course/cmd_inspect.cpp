// inspect FILE...: what each content file is, whether it is stored scrambled, and whether the
// shell would load it.

#include <QFile>
#include <QFileInfo>
#include <cstdio>
#include <iostream>

#include "ContentArgs.h"
#include "CourseCommand.h"

namespace vedalia::course {
namespace {

QString KeyHex(const QByteArray& key) { return QString::fromLatin1(EffectiveKey(key).toHex()); }

std::string Fps(double rate) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", rate);
  return text;
}

// Prints the report of one file; true when it is a movie or picture that loads intact.
bool InspectOne(const std::string& name, const QByteArray& key) {
  std::cout << name << "\n";
  const QString path = QString::fromStdString(name);
  QFile file(path);
  if (!QFileInfo(path).isFile()) {
    std::cout << "  error: no such file\n";
    return false;
  }
  if (!file.open(QIODevice::ReadOnly)) {
    std::cout << "  error: cannot open: " << file.errorString().toStdString() << "\n";
    return false;
  }
  const QByteArray stored = file.readAll();
  if (file.error() != QFileDevice::NoError) {
    std::cout << "  error: cannot read: " << file.errorString().toStdString() << "\n";
    return false;
  }
  std::cout << "  size: " << stored.size() << " bytes\n";
  const Detection found = Detect(stored, key);
  const std::string storedAs =
      found.scrambled ? "scrambled (key " + KeyHex(key).toStdString() + ")" : "plain";
  switch (found.kind) {
    case ContentKind::Movie: {
      QString error;
      const auto info = InspectSwf(found.plain, &error);
      std::cout << "  kind: Flash movie\n  stored: " << storedAs << "\n";
      std::cout << "  movie: " << SwfSignatureName(info->compression).toStdString() << ", version "
                << info->version << ", stage " << info->widthPixels() << " x "
                << info->heightPixels() << " px, " << Fps(info->frameRate) << " fps, "
                << info->frameCount << " frame(s)\n";
      const auto length = SwfUncompressedLength(found.plain, &error);
      std::cout << "  length: " << info->declaredLength << " bytes declared, ";
      if (length) {
        std::cout << *length << " bytes "
                  << (info->compression == SwfCompression::None ? "stored" : "uncompressed")
                  << "\n";
      } else {
        std::cout << "body broken: " << error.toStdString() << "\n";
      }
      const bool loads = info->frameCount > 0;
      std::cout << "  loads: " << (loads ? "yes" : "no (the movie has no frames)") << "\n";
      return loads && length.has_value();
    }
    case ContentKind::Picture: {
      const auto info = ReadJpegHeader(found.plain);
      std::cout << "  kind: JPEG picture\n  stored: " << storedAs << "\n";
      std::cout << "  picture: " << info->width << " x " << info->height << " px, "
                << info->components << " component(s), "
                << (info->progressive ? "progressive" : "sequential") << "\n";
      std::cout << "  loads: yes\n";
      return true;
    }
    case ContentKind::Other:
      break;
  }
  std::cout << "  kind: neither a Flash movie nor a JPEG picture, as stored or unscrambled"
            << " (key " << KeyHex(key).toStdString() << ")\n";
  std::cout << "  loads: only as a document (types other than swf, jpg and avi are taken as "
               "stored)\n";
  return false;
}

int RunInspect(const std::vector<std::string>& arguments) {
  std::vector<std::string> args = arguments;
  std::string error;
  const QByteArray key = TakeKeyOption(args, error);
  if (!error.empty() || args.empty()) {
    std::cerr << "vedalia-course inspect: " << (error.empty() ? "no file given" : error) << "\n";
    return 2;
  }
  bool allGood = true;
  for (const auto& name : args) allGood = InspectOne(name, key) && allGood;
  return allGood ? 0 : 1;
}

const CourseCommandRegistrar registrar({"inspect",
                                        "inspect FILE... [--key TEXT | --key-hex HEX]\n"
                                        "      kind, stored form, movie or picture facts of each "
                                        "file; exit 1 unless all are\n"
                                        "      movies or pictures that load intact",
                                        RunInspect});

}  // namespace
}  // namespace vedalia::course
