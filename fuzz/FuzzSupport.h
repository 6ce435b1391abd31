#pragma once
// Shared pieces of the fuzz targets: a scratch folder, files written into it, a core
// application for the code that asks for one, and Qt's messages kept quiet.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace vedalia::fuzz {

// A scratch folder for this process; in memory when the machine has one, so that the
// flushes of the database writes cost nothing.
inline QString ScratchDir() {
  static QTemporaryDir dir(QDir(QStringLiteral("/dev/shm")).exists()
                               ? QStringLiteral("/dev/shm/vedalia-fuzz-XXXXXX")
                               : QDir::tempPath() + QStringLiteral("/vedalia-fuzz-XXXXXX"));
  if (!dir.isValid()) {
    std::fprintf(stderr, "no scratch folder\n");
    std::abort();
  }
  return dir.path() + QLatin1Char('/');
}

inline QString WriteScratchFile(const QString& name, const std::uint8_t* data, std::size_t size) {
  const QString path = ScratchDir() + name;
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
      file.write(reinterpret_cast<const char*>(data), qint64(size)) != qint64(size)) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    std::abort();
  }
  return path;
}

// Every refused input logs a warning; thousands a second would drown libFuzzer's report.
inline void QuietQt() {
  qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
    if (type == QtFatalMsg) std::fprintf(stderr, "fatal: %s\n", qPrintable(text));
  });
}

inline void StartCoreApplication() {
  static int argc = 1;
  static char name[] = "vedalia-fuzz";
  static char* argv[] = {name, nullptr};
  if (QCoreApplication::instance() == nullptr) new QCoreApplication(argc, argv);
}

// A property the code under test promises was broken: report and end like a crash.
#define FUZZ_CHECK(cond)                                                               \
  do {                                                                                 \
    if (!(cond)) {                                                                     \
      std::fprintf(stderr, "%s:%d: property broken: %s\n", __FILE__, __LINE__, #cond); \
      std::abort();                                                                    \
    }                                                                                  \
  } while (0)

}  // namespace vedalia::fuzz
