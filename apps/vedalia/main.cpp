// vedalia: the course shell. Takes no command line; everything it needs follows from the
// working directory and the machine-wide install setting.
#include <QApplication>

#include "desktop/uServices.h"
#include "flashhost/FlashPlayerControl.h"
#include "flashhost/ruffle/RuffleRenderer.h"
#include "platform/Log.h"
#include "shell/uStartup.h"

int main(int argc, char** argv) {
  // The movie renderer's URL scheme and the web engine's flags must precede the application.
  vedalia::PrepareMovieRenderer();
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("vedalia"));
  QApplication::setOrganizationName(QStringLiteral("Vantorell"));
  QApplication::setQuitOnLastWindowClosed(false);
  // A school machine has no console: warnings are kept where the administrator can read them.
  const QString warningLog = vedalia::WarningLogPath();
  if (!vedalia::InstallWarningLog(warningLog))
    qCWarning(vedalia::lcShell).noquote()
        << "the warnings log" << warningLog << "cannot be written";

  // The player runtime comes first: without it no movie can play.
  if (!vedalia::InstallPlayerCodeFromResource()) {
    vedalia::AppServices().messages->ShowMessage(
        nullptr, vedalia::MessageKind::Error,
        QString::fromUtf8(vedalia::kPlayerCodeDamagedMessage));
    return 1;
  }
  vedalia::TFlashPlayerControl::SetRendererFactory(vedalia::CreateMovieRenderer);
  return vedalia::RunShell();
}
