#pragma once
// The main window: the main movie over the whole client area, and the shell's side of
// the movie's command protocol. The close box only tells the movie "exit=true"; the
// window closes, ending the program, when the movie answers "app_exit".

#include <QWidget>
#include <memory>

#include "shell/uCommandHandler.h"
#include "viewers/ViewerLinks.h"

namespace vedalia {

class TFlashPlayerControl;
class TPlayerSet;

class TMainForm : public QWidget,
                  public IReplySink,
                  public IMainWindowHost,
                  public IMainWindowLink,
                  public IMediaOpener {
  Q_OBJECT

 public:
  static constexpr int kClientWidth = 1014;
  static constexpr int kClientHeight = 731;

  // `settingsPath`: the settings file the protocol reads and writes.
  explicit TMainForm(const QString& settingsPath, QWidget* parent = nullptr);
  ~TMainForm() override;

  TFlashPlayerControl* ShPlayer() const { return player; }
  // The player set of this window: every viewer window it opens is owned by this window.
  TPlayerSet* PlayerSet() const { return playerSet.get(); }
  TMainCommandHandler& Handler() { return *handler; }
  void SetDatabaseAvailable(bool available) { handler->SetDatabaseAvailable(available); }
  // True once the first activation has started the main movie.
  bool MovieStarted() const { return !firstActivation; }

  // IReplySink
  void ReplyToMovie(const QString& text) override;
  // IMainWindowHost
  QSize MainWindowOuterSize() const override;
  void CloseMainWindow() override;
  QWidget* MessageParent() const override;
  // IMainWindowLink, which the viewers of this window are handed
  void ShPlayerFSCommand(QObject* sender, const QString& command, const QString& args) override;
  TFlashPlayerControl* MainPlayer() override { return player; }
  void ShowMainWindow() override;
  // IMediaOpener: the player set's OpenMedia.
  TOpenMediaResult OpenMedia(const QString& fileName, const QString& mediaType,
                             const QString& objectName, const QString& userFolderName) override;

 protected:
  bool event(QEvent* e) override;
  void showEvent(QShowEvent* e) override;
  void closeEvent(QCloseEvent* e) override;

 private:
  void FormActivate();

  TFlashPlayerControl* player = nullptr;
  std::unique_ptr<TPlayerSet> playerSet;
  std::unique_ptr<TMainCommandHandler> handler;
  bool firstActivation = true;
  bool exitRequested = false;
};

}  // namespace vedalia
