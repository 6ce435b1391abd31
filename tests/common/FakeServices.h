#pragma once
// Fakes of the desktop services, shared by the widget tests: dialogs answered from a script,
// messages and printing recorded, so that a window's commands run without a person.

#include <QPrinter>
#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <memory>
#include <ostream>
#include <vector>

#include "common/FakeMessages.h"
#include "desktop/uServices.h"

// Readable failure output for Qt strings.
inline void PrintTo(const QString& text, std::ostream* os) {
  *os << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QStringList& list, std::ostream* os) {
  *os << '{';
  for (qsizetype i = 0; i < list.size(); ++i)
    *os << (i ? ", \"" : "\"") << list[i].toStdString() << '"';
  *os << '}';
}

namespace vedalia::test {

struct RecordedDialog {
  bool save;
  QWidget* parent;
  QString initialDir;
  QString initialName;
  QString filter;
};

// Each dialog takes the next scripted answer, with none left the standing `answer`; an empty
// answer is a cancel.
class FakeFileDialogs : public IFileDialogService {
 public:
  QString GetSaveFileName(QWidget* parent, const QString&, const QString& initialDir,
                          const QString& initialName, const QString& filter) override {
    opened.push_back({true, parent, initialDir, initialName, filter});
    return next();
  }
  QString GetOpenFileName(QWidget* parent, const QString&, const QString& initialDir,
                          const QString& filter) override {
    opened.push_back({false, parent, initialDir, QString(), filter});
    return next();
  }
  std::deque<QString> answers;
  QString answer;
  std::vector<RecordedDialog> opened;
  // Runs while a dialog is open (as the message loop would run other events).
  std::function<void()> whileOpen;

 private:
  QString next() {
    if (whileOpen) whileOpen();
    if (answers.empty()) return answer;
    QString a = answers.front();
    answers.pop_front();
    return a;
  }
};

// Printers that print into a PDF file.
class FakePrinters : public IPrinterService {
 public:
  FakePrinters() = default;
  FakePrinters(QStringList names, QString pdfPath)
      : names(std::move(names)), pdfPath(std::move(pdfPath)) {}
  QStringList PrinterNames() override { return names; }
  std::unique_ptr<QPrinter> CreatePrinter(const QString& name) override {
    if (names.isEmpty()) return nullptr;
    requested << name;
    auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    printer->setOutputFormat(QPrinter::PdfFormat);
    printer->setOutputFileName(pdfPath);
    printer->setPageSize(QPageSize(QPageSize::A4));
    ++created;
    return printer;
  }
  bool ExecPrintDialog(QWidget* parent, QPrinter&) override {
    dialogParents.push_back(parent);
    if (whileOpen) whileOpen();
    return confirm;
  }
  QStringList names;
  QStringList requested;  // the printer names asked for, in order
  QString pdfPath;
  bool confirm = true;
  int created = 0;
  std::function<void()> whileOpen;
  std::vector<QWidget*> dialogParents;
};

// Installs the fakes for one test and restores the previous services afterwards.
class ScopedFakeServices {
 public:
  ScopedFakeServices() : previous_(SetAppServices({&messages, &dialogs, &printers})) {}
  ~ScopedFakeServices() { SetAppServices(previous_); }
  ScopedFakeServices(const ScopedFakeServices&) = delete;
  ScopedFakeServices& operator=(const ScopedFakeServices&) = delete;

  FakeMessages messages;
  FakeFileDialogs dialogs;
  FakePrinters printers;

 private:
  Services previous_;
};

}  // namespace vedalia::test
