#pragma once
// Small services through which the logic reaches the desktop: message boxes, file dialogs
// and printers. The GUI installs the Qt implementations (the defaults); tests install fakes
// that answer a dialog or record a message without a person.

#include <QString>
#include <QStringList>
#include <memory>

class QWidget;
class QPrinter;

namespace vedalia {

// The icon of a one-button message box.
enum class MessageKind { Plain, Information, Warning, Error };

class IMessageService {
 public:
  virtual ~IMessageService() = default;
  // A modal box with one OK button. `parent` may be null.
  virtual void ShowMessage(QWidget* parent, MessageKind kind, const QString& text,
                           const QString& caption = QString()) = 0;
};

// Filters are Qt filter strings ("Flash Data file (*.fld)").
class IFileDialogService {
 public:
  virtual ~IFileDialogService() = default;
  // The chosen path, or an empty string when cancelled.
  virtual QString GetSaveFileName(QWidget* parent, const QString& title, const QString& initialDir,
                                  const QString& initialName, const QString& filter) = 0;
  virtual QString GetOpenFileName(QWidget* parent, const QString& title, const QString& initialDir,
                                  const QString& filter) = 0;
};

class IPrinterService {
 public:
  virtual ~IPrinterService() = default;
  // Names of the installed printers, the default one first.
  virtual QStringList PrinterNames() = 0;
  // A printer set up on the named printer (empty: the default one), or null when none exists.
  virtual std::unique_ptr<QPrinter> CreatePrinter(const QString& name = QString()) = 0;
  // Shows the print dialog for `printer`, owned by `parent`; false when cancelled.
  virtual bool ExecPrintDialog(QWidget* parent, QPrinter& printer) = 0;
};

struct Services {
  IMessageService* messages = nullptr;
  IFileDialogService* fileDialogs = nullptr;
  IPrinterService* printers = nullptr;
};

// The services in force; never null members (the Qt implementations unless replaced).
const Services& AppServices();
// Replaces the services in force (null members keep the Qt implementation); returns the
// previous set, so that a test can restore it.
Services SetAppServices(const Services& services);

// What opening a course item (OpenMedia) came to.
enum TOpenMediaResult : int {
  kMediaOpened = 0,
  kNoViewer = 1,           // no viewer for the file's extension
  kCannotPlay = 2,         // missing, unsafe name, unreadable or unplayable
  kViewerWindowFailed = 4  // the viewer window could not be created
};
// Tells the user about a failed result with its message box over `parent`; nothing for
// kMediaOpened.
void ReportOpenMediaResult(QWidget* parent, TOpenMediaResult result);

}  // namespace vedalia
