#include "shell/MainFrm.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

#include "desktop/uDesktop.h"
#include "dispatch/uPlayerSet.h"
#include "flashhost/FlashPlayerControl.h"
#include "media/uDecryptor.h"
#include "misc/uMisc.h"
#include "viewers/uPlayerForm.h"

namespace vedalia {

TMainForm::TMainForm(const QString& settingsPath, QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_QuitOnClose);
  setAutoFillBackground(true);
  QPalette pal = palette();
  pal.setColor(QPalette::Window, Qt::white);
  setPalette(pal);

  player = new TFlashPlayerControl(this);
  player->setObjectName(QStringLiteral("ShPlayer"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(player);

  // FormCreate: the player set of the real viewers, which reach this window through its link.
  playerSet = std::make_unique<TPlayerSet>(this, nullptr, this);

  TMainCommandHandler::Setup setup;
  setup.replies = this;
  setup.mainWindow = this;
  setup.players = this;
  setup.openStore = OpenCourseStore;
  setup.settingsPath = settingsPath;
  handler = std::make_unique<TMainCommandHandler>(std::move(setup));
  connect(player, &TFlashPlayerControl::OnFSCommand, this,
          [this](TFlashPlayerControl* sender, const QString& command, const QString& args) {
            ShPlayerFSCommand(sender, command, args);
          });

  resize(kClientWidth, kClientHeight);
  if (const QScreen* screen = QGuiApplication::primaryScreen())
    move(CenteredTopLeft(screen->availableGeometry(), frameGeometry().size()));
}

TMainForm::~TMainForm() {
  // The viewers hold this window's link: they go while it is still whole, then the player set.
  qDeleteAll(findChildren<TPlayerForm*>(Qt::FindDirectChildrenOnly));
}

void TMainForm::ShPlayerFSCommand(QObject*, const QString& command, const QString& args) {
  handler->ShPlayerFSCommand(command, args);
}

TOpenMediaResult TMainForm::OpenMedia(const QString& fileName, const QString& mediaType,
                                      const QString& objectName, const QString& userFolderName) {
  return playerSet->OpenMedia(fileName, mediaType, objectName, userFolderName);
}

void TMainForm::ReplyToMovie(const QString& text) { player->SetFlashVars(text); }

QSize TMainForm::MainWindowOuterSize() const { return frameGeometry().size(); }

void TMainForm::CloseMainWindow() {
  exitRequested = true;
  close();
}

QWidget* TMainForm::MessageParent() const { return const_cast<TMainForm*>(this); }

void TMainForm::ShowMainWindow() {
  show();
  raise();
  activateWindow();
}

bool TMainForm::event(QEvent* e) {
  if (e->type() == QEvent::WindowActivate) FormActivate();
  return QWidget::event(e);
}

void TMainForm::showEvent(QShowEvent* e) {
  QWidget::showEvent(e);
  // Some desktops never activate a window that was not clicked; being shown counts then.
  if (firstActivation) QTimer::singleShot(0, this, &TMainForm::FormActivate);
}

void TMainForm::FormActivate() {
  if (!firstActivation) return;
  firstActivation = false;
  activateWindow();
  showMaximized();
  setWindowTitle(QStringLiteral("Ведалия"));
  QGuiApplication::setApplicationDisplayName(QStringLiteral("Ведалия"));
  // The start check found the movie, perhaps under another letter case on a disc.
  const QString startMovie = ContentDir() + QStringLiteral("start.swf");
  const QString found = ResolveContentFile(startMovie);
  player->SetMovie(found.isEmpty() ? startMovie : found);
  player->SetMenu(false);
  player->SetBackgroundColor(TFlashPlayerControl::kStageColor);
}

void TMainForm::closeEvent(QCloseEvent* e) {
  if (!exitRequested) {
    // The movie decides: it is told and answers with "app_exit" when it agrees.
    e->ignore();
    handler->SystemCloseRequested();
    return;
  }
  e->accept();
  QCoreApplication::quit();
}

}  // namespace vedalia
