// scramble IN OUT: the course's content scrambling (XOR with a repeating key). The same
// operation unscrambles, so running it on a scrambled file gives the plain one back.

#include <QFile>
#include <QFileInfo>
#include <iostream>

#include "ContentArgs.h"
#include "CourseCommand.h"
#include "platform/FileReplace.h"

namespace vedalia::course {
namespace {

const char* KindName(ContentKind kind) {
  switch (kind) {
    case ContentKind::Movie:
      return "Flash movie";
    case ContentKind::Picture:
      return "JPEG picture";
    case ContentKind::Other:
      break;
  }
  return "file";
}

int RunScramble(const std::vector<std::string>& arguments) {
  std::vector<std::string> args = arguments;
  std::string error;
  const QByteArray key = TakeKeyOption(args, error);
  if (error.empty() && args.size() != 2) error = "want IN and OUT";
  if (!error.empty()) {
    std::cerr << "vedalia-course scramble: " << error << "\n";
    return 2;
  }
  const QString in = QString::fromStdString(args[0]);
  const QString out = QString::fromStdString(args[1]);
  QFile source(in);
  if (!QFileInfo(in).isFile() || !source.open(QIODevice::ReadOnly)) {
    std::cerr << "vedalia-course scramble: cannot open " << args[0] << "\n";
    return 1;
  }
  QByteArray bytes = source.readAll();
  if (source.error() != QFileDevice::NoError) {
    std::cerr << "vedalia-course scramble: cannot read " << args[0] << "\n";
    return 1;
  }
  source.close();
  const Detection before = Detect(bytes, key);
  TDecryptor::Unscramble(bytes.data(), bytes.size(), EffectiveKey(key));

  // The old OUT stays until the new one is complete.
  if (!ReplaceFileContents(out, bytes)) {
    std::cerr << "vedalia-course scramble: cannot write " << args[1] << "\n";
    return 1;
  }
  std::cout << args[1] << ": " << bytes.size() << " bytes, key "
            << EffectiveKey(key).toHex().toStdString();
  if (before.kind == ContentKind::Other) {
    std::cout << " (the input is neither a movie nor a picture in either form)\n";
  } else {
    std::cout << ", " << KindName(before.kind) << " now stored "
              << (before.scrambled ? "plain" : "scrambled") << "\n";
  }
  return 0;
}

const CourseCommandRegistrar registrar(
    {"scramble",
     "scramble IN OUT [--key TEXT | --key-hex HEX]\n"
     "      XOR IN with the content key (default b6) into OUT; the same command unscrambles",
     RunScramble});

}  // namespace
}  // namespace vedalia::course
