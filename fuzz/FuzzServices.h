#pragma once
// Desktop services for the fuzz targets: messages are dropped, there are no printers and
// every dialog is cancelled, so that no code path waits for a person or needs a display.
#include <QPrinter>
#include <memory>

#include "desktop/uServices.h"

namespace vedalia::fuzz {

class QuietServices : public IMessageService, public IFileDialogService, public IPrinterService {
 public:
  void ShowMessage(QWidget*, MessageKind, const QString&, const QString&) override {}
  QString GetSaveFileName(QWidget*, const QString&, const QString&, const QString&,
                          const QString&) override {
    return {};
  }
  QString GetOpenFileName(QWidget*, const QString&, const QString&, const QString&) override {
    return {};
  }
  QStringList PrinterNames() override { return {}; }
  std::unique_ptr<QPrinter> CreatePrinter(const QString&) override { return nullptr; }
  bool ExecPrintDialog(QWidget*, QPrinter&) override { return false; }
};

inline void InstallQuietServices() {
  static QuietServices quiet;
  Services services;
  services.messages = &quiet;
  services.fileDialogs = &quiet;
  services.printers = &quiet;
  SetAppServices(services);
}

}  // namespace vedalia::fuzz
