#include "desktop/uServices.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>

namespace vedalia {
namespace {

class QtMessageService final : public IMessageService {
 public:
  void ShowMessage(QWidget* parent, MessageKind kind, const QString& text,
                   const QString& caption) override {
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    switch (kind) {
      case MessageKind::Plain:
        break;
      case MessageKind::Information:
        icon = QMessageBox::Information;
        break;
      case MessageKind::Warning:
        icon = QMessageBox::Warning;
        break;
      case MessageKind::Error:
        icon = QMessageBox::Critical;
        break;
    }
    QMessageBox box(icon, caption.isEmpty() ? QStringLiteral("Ведалия") : caption, text,
                    QMessageBox::Ok, parent);
    box.exec();
  }
};

class QtFileDialogService final : public IFileDialogService {
 public:
  QString GetSaveFileName(QWidget* parent, const QString& title, const QString& initialDir,
                          const QString& initialName, const QString& filter) override {
    const QString start = initialName.isEmpty() ? initialDir : initialDir + '/' + initialName;
    return QFileDialog::getSaveFileName(parent, title, start, filter);
  }
  QString GetOpenFileName(QWidget* parent, const QString& title, const QString& initialDir,
                          const QString& filter) override {
    return QFileDialog::getOpenFileName(parent, title, initialDir, filter);
  }
};

class QtPrinterService final : public IPrinterService {
 public:
  QStringList PrinterNames() override {
    QStringList names;
    const QString def = QPrinterInfo::defaultPrinterName();
    if (!def.isEmpty()) names << def;
    for (const QString& n : QPrinterInfo::availablePrinterNames()) {
      if (n != def) names << n;
    }
    return names;
  }
  std::unique_ptr<QPrinter> CreatePrinter(const QString& name) override {
    const QStringList names = PrinterNames();
    if (names.isEmpty()) return nullptr;
    const QString chosen = name.isEmpty() ? names.front() : name;
    if (!names.contains(chosen)) return nullptr;
    return std::make_unique<QPrinter>(QPrinterInfo::printerInfo(chosen), QPrinter::HighResolution);
  }
  bool ExecPrintDialog(QWidget* parent, QPrinter& printer) override {
    QPrintDialog dialog(&printer, parent);
    return dialog.exec() == QDialog::Accepted;
  }
};

Services& current() {
  static QtMessageService messages;
  static QtFileDialogService dialogs;
  static QtPrinterService printers;
  static Services services{&messages, &dialogs, &printers};
  return services;
}

}  // namespace

const Services& AppServices() { return current(); }

void ReportOpenMediaResult(QWidget* parent, TOpenMediaResult result) {
  IMessageService& messages = *AppServices().messages;
  switch (result) {
    case kMediaOpened:
      break;
    case kNoViewer:
      messages.ShowMessage(parent, MessageKind::Warning,
                           QStringLiteral("Нет такого типа медиаобъектов."));
      break;
    case kCannotPlay:
      messages.ShowMessage(parent, MessageKind::Warning,
                           QStringLiteral("Невозможно проиграть файл."));
      break;
    case kViewerWindowFailed:
      messages.ShowMessage(parent, MessageKind::Error,
                           QStringLiteral("Ошибка при создании формы плеера. Переустановка "
                                          "приложения может решить данную проблему."));
      break;
  }
}

Services SetAppServices(const Services& services) {
  Services& s = current();
  const Services previous = s;
  static const Services defaults = s;  // first call sees the Qt implementations
  s.messages = services.messages ? services.messages : defaults.messages;
  s.fileDialogs = services.fileDialogs ? services.fileDialogs : defaults.fileDialogs;
  s.printers = services.printers ? services.printers : defaults.printers;
  return previous;
}

}  // namespace vedalia
