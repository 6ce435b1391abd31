// inspect FILE|FOLDER...: what each content file is, whether it is stored scrambled, and
// whether the shell would show it, judged by the same checks the shell runs (movie body,
// picture viewer, texture loader, mesh reader) with the message the shell would show.

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <cstdio>
#include <iostream>
#include <map>

#include "ContentArgs.h"
#include "CourseCommand.h"
#include "desktop/uServices.h"
#include "model3d/uMesh.h"
#include "model3d/uTextureGL.h"
#include "viewers/uJpegViewer.h"

namespace vedalia::course {
namespace {

const char* const kCannotPlay = "Невозможно проиграть файл.";
const char* const kStartBroken = "Базовый файл start.swf не найден или поврежден!";
const char* const kPictureFailed = "Невозможно загрузить изображение.";
const char* const kModelFailed = "Невозможно загрузить 3D модель.";

QString KeyHex(const QByteArray& key) { return QString::fromLatin1(EffectiveKey(key).toHex()); }

std::string Fps(double rate) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", rate);
  return text;
}

// Messages a model file raises while it is read are printed, not shown.
class PrintedMessages : public IMessageService {
 public:
  void ShowMessage(QWidget*, MessageKind, const QString& text, const QString&) override {
    std::cout << "  message: " << text.toStdString() << "\n";
  }
};

// A window of no size: the picture viewer measures and fits against it.
class NoWindow : public IJpegWindow {
 public:
  TJpegSize ClientSize() const override { return size; }
  void SetClientSize(TJpegSize s) override { size = s; }
  void RemoveMaximizeButton() override {}
  bool IsMaximizedNow() const override { return false; }
  void RepaintNow() override {}
  void Invalidate() override {}
  TJpegSize size;
};

struct Tally {
  int files = 0;
  int refused = 0;
};
using Tallies = std::map<std::string, Tally>;

// Prints the verdict line; true when the shell would show the file.
bool Verdict(bool loads, const std::string& message, const QString& reason) {
  if (loads) {
    std::cout << "  loads: yes\n";
  } else {
    std::cout << "  loads: no: " << message;
    if (!reason.isEmpty()) std::cout << " (" << reason.toStdString() << ")";
    std::cout << "\n";
  }
  return loads;
}

bool Movie(const QString& path, const Detection& found, const std::string& storedAs) {
  QString error;
  const auto info = InspectSwf(found.plain, &error);
  std::cout << "  kind: Flash movie\n  stored: " << storedAs << "\n";
  std::cout << "  movie: " << SwfSignatureName(info->compression).toStdString() << ", version "
            << info->version << ", stage " << info->widthPixels() << " x " << info->heightPixels()
            << " px, " << Fps(info->frameRate) << " fps, " << info->frameCount << " frame(s)\n";
  const auto length = SwfUncompressedLength(found.plain, &error);
  std::cout << "  length: " << info->declaredLength << " bytes declared, ";
  if (length) {
    std::cout << *length << " bytes "
              << (info->compression == SwfCompression::None ? "stored" : "uncompressed") << "\n";
  } else {
    std::cout << "body broken: " << error.toStdString() << "\n";
  }
  // The start movie is read as stored; items go through the content loader.
  const bool start = QFileInfo(path).fileName().compare("start.swf", Qt::CaseInsensitive) == 0;
  const std::string message = start ? kStartBroken : kCannotPlay;
  if (start && found.scrambled) return Verdict(false, message, "the start movie must be plain");
  if (!InspectSwf(found.plain, &error, SwfCheck::Body)) return Verdict(false, message, error);
  if (info->frameCount <= 0) return Verdict(false, message, "the movie has no frames");
  return Verdict(true, {}, {});
}

bool Picture(const Detection& found, const std::string& storedAs) {
  const auto info = ReadJpegHeader(found.plain);
  std::cout << "  kind: JPEG picture\n  stored: " << storedAs << "\n";
  std::cout << "  picture: " << info->width << " x " << info->height << " px, " << info->components
            << " component(s), " << (info->progressive ? "progressive" : "sequential") << "\n";
  NoWindow window;
  QString error;
  const auto viewer =
      TJpegViewer::Create(found.plain, &window, TJpegScreenMetrics{1920, 1040, 30}, &error);
  return Verdict(viewer != nullptr, kPictureFailed, error);
}

bool Texture(const QString& path) {
  std::cout << "  kind: texture bitmap\n";
  TTextureGL texture;
  QString error;
  const bool loads = texture.LoadFromFile(path, &error);
  if (loads) std::cout << "  bitmap: " << texture.Width << " x " << texture.Height << " px\n";
  return Verdict(loads, kModelFailed, error);
}

bool Model(const QString& path) {
  std::cout << "  kind: 3D model\n";
  TGLMultyMesh mesh;
  QString error;
  if (!mesh.LoadFromFile(path, &error)) return Verdict(false, kModelFailed, error);
  long long triangles = 0;
  for (const auto& m : mesh.Meshes) triangles += m->NumFaces;
  std::cout << "  model: " << mesh.Meshes.size() << " object(s), " << triangles
            << " triangle(s), first object " << mesh.Meshes.front()->NumFaces << ", "
            << (mesh.Textured ? "textured" : "untextured") << "\n";
  // The window loads the bitmap beside the model with it; a broken one fails the model.
  const QString bitmap = ResolveContentFile(path.chopped(std::min<qsizetype>(4, path.size())) +
                                            QStringLiteral(".bmp"));
  if (bitmap.isEmpty()) {
    std::cout << "  texture: none beside the model\n";
    return Verdict(true, {}, {});
  }
  std::cout << "  texture: " << QFileInfo(bitmap).fileName().toStdString() << "\n";
  TTextureGL texture;
  return Verdict(texture.LoadFromFile(bitmap, &error), kModelFailed, error);
}

// Prints the report of one file and counts it under its kind; true when the shell shows it.
bool InspectOne(const QString& path, const QByteArray& key, Tallies& tallies) {
  std::cout << path.toStdString() << "\n";
  const std::string suffix = QFileInfo(path).suffix().toLower().toStdString();
  auto count = [&](const std::string& kind, bool loads) {
    ++tallies[kind].files;
    if (!loads) ++tallies[kind].refused;
    return loads;
  };
  QFile file(path);
  if (!QFileInfo(path).isFile()) {
    std::cout << "  error: no such file\n";
    return count("missing", false);
  }
  if (!file.open(QIODevice::ReadOnly)) {
    std::cout << "  error: cannot open: " << file.errorString().toStdString() << "\n";
    return count("unreadable", false);
  }
  std::cout << "  size: " << file.size() << " bytes\n";
  if (suffix == "bmp") return count("textures", Texture(path));
  if (suffix == "gms") return count("models", Model(path));
  if (suffix == "avi") {
    std::cout << "  kind: video (played by the video viewer; not judged here)\n";
    return count("videos", true);
  }
  const QByteArray stored = file.readAll();
  if (file.error() != QFileDevice::NoError) {
    std::cout << "  error: cannot read: " << file.errorString().toStdString() << "\n";
    return count("unreadable", false);
  }
  // The loader passes an empty picture on to the viewer, which cannot show it.
  if (suffix == "jpg" && stored.isEmpty())
    return count("pictures", Verdict(false, kPictureFailed, "empty file"));
  const Detection found = Detect(stored, key);
  const std::string storedAs =
      found.scrambled ? "scrambled (key " + KeyHex(key).toStdString() + ")" : "plain";
  switch (found.kind) {
    case ContentKind::Movie:
      return count("movies", Movie(path, found, storedAs));
    case ContentKind::Picture:
      return count("pictures", Picture(found, storedAs));
    case ContentKind::Other:
      break;
  }
  std::cout << "  kind: neither a Flash movie nor a JPEG picture, as stored or unscrambled"
            << " (key " << KeyHex(key).toStdString() << ")\n";
  if (suffix == "swf") return count("movies", Verdict(false, kCannotPlay, "not a Flash movie"));
  if (suffix == "jpg") return count("pictures", Verdict(false, kCannotPlay, "not a JPEG picture"));
  std::cout << "  loads: as a document (types other than swf, jpg and avi are taken as stored)\n";
  return count("documents", true);
}

int RunInspect(const std::vector<std::string>& arguments) {
  std::vector<std::string> args = arguments;
  std::string error;
  const QByteArray key = TakeKeyOption(args, error);
  if (!error.empty() || args.empty()) {
    std::cerr << "vedalia-course inspect: " << (error.empty() ? "no file given" : error) << "\n";
    return 2;
  }
  PrintedMessages messages;
  Services services = AppServices();
  services.messages = &messages;
  const Services previous = SetAppServices(services);
  Tallies tallies;
  bool allGood = true;
  for (const auto& name : args) {
    const QString path = QString::fromStdString(name);
    if (!QFileInfo(path).isDir()) {
      allGood = InspectOne(path, key, tallies) && allGood;
      continue;
    }
    // A folder: every file below it, in a stable order.
    QStringList files;
    QDirIterator it(path, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) files << it.next();
    files.sort();
    for (const QString& f : files) allGood = InspectOne(f, key, tallies) && allGood;
  }
  SetAppServices(previous);
  for (const auto& [kind, t] : tallies)
    std::cout << kind << ": " << t.files << " file(s), " << t.refused << " refused\n";
  return allGood ? 0 : 1;
}

const CourseCommandRegistrar registrar(
    {"inspect",
     "inspect FILE|FOLDER... [--key TEXT | --key-hex HEX]\n"
     "      kind, stored form and facts of each file (folders: every file below them), and\n"
     "      whether the shell shows it, with the message it would give; exit 1 when any\n"
     "      file would be refused",
     RunInspect});

}  // namespace
}  // namespace vedalia::course
