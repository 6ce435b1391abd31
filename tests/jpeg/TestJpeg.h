#pragma once
// JPEG pictures made by the tests with libjpeg, and fakes of the desktop services.

#include <QByteArray>
#include <QPrinter>
#include <QString>
#include <QStringList>
#include <deque>
#include <memory>
#include <vector>

#include "shell/uServices.h"

namespace vedalia::test {

enum class JpegKind { Rgb, Gray, Cmyk, AdobeCmyk };

// A w x h picture; pixel (x, y) has red = x * 255 / w and green = y * 255 / h (grey: their
// mean; CMYK: the same colour in inks). `progressive` writes a progressive scan.
QByteArray MakeJpeg(int w, int h, JpegKind kind = JpegKind::Rgb, bool progressive = false);

// A copy of `jpeg` whose frame header claims `w` x `h` pixels.
QByteArray WithClaimedSize(QByteArray jpeg, int w, int h);

// Every byte XORed with the content key.
QByteArray Scrambled(QByteArray bytes);

struct Message {
  MessageKind kind;
  QString text;
};

class FakeMessages : public IMessageService {
 public:
  void ShowMessage(QWidget*, MessageKind kind, const QString& text, const QString&) override {
    shown.push_back({kind, text});
  }
  std::vector<Message> shown;
};

class FakeDialogs : public IFileDialogService {
 public:
  QString GetSaveFileName(QWidget*, const QString&, const QString& dir, const QString& name,
                          const QString& filter) override {
    lastDir = dir;
    lastName = name;
    lastFilter = filter;
    ++saves;
    return answer;
  }
  QString GetOpenFileName(QWidget*, const QString&, const QString&, const QString&) override {
    return {};
  }
  QString answer;  // empty: cancelled
  QString lastDir, lastName, lastFilter;
  int saves = 0;
};

// Printers that print into a PDF file.
class FakePrinters : public IPrinterService {
 public:
  QStringList PrinterNames() override { return names; }
  std::unique_ptr<QPrinter> CreatePrinter(const QString& name) override {
    if (names.isEmpty()) return nullptr;
    requested << name;
    auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    printer->setOutputFormat(QPrinter::PdfFormat);
    printer->setOutputFileName(pdfPath);
    printer->setPageSize(QPageSize(QPageSize::A4));
    return printer;
  }
  bool ExecPrintDialog(QWidget*, QPrinter&) override {
    ++dialogs;
    return confirm;
  }
  QStringList names;
  QStringList requested;
  QString pdfPath;
  bool confirm = true;
  int dialogs = 0;
};

// Installs the fakes for one test and restores the previous services afterwards.
class ScopedServices {
 public:
  ScopedServices() : FPrevious(SetAppServices({&messages, &dialogs, &printers})) {}
  ~ScopedServices() { SetAppServices(FPrevious); }
  FakeMessages messages;
  FakeDialogs dialogs;
  FakePrinters printers;

 private:
  Services FPrevious;
};

}  // namespace vedalia::test
