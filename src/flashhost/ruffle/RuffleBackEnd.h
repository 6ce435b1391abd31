#pragma once
// Inside the movie renderer: the back end of one control, and the URL scheme that serves
// its page, the player's files and its movie.

#include <QByteArray>
#include <QHash>
#include <QJsonArray>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QTimer>
#include <map>

#include "flashhost/FlashPlayerControl.h"

class QWebEngineProfile;
class QWebEngineUrlRequestJob;
class QWebEngineView;

namespace vedalia::ruffle {

inline constexpr char kScheme[] = "vedalia-player";

// The one web engine profile every control shares (off the record: nothing on disk).
QWebEngineProfile* SharedProfile();

class RuffleRenderer : public QObject, public IFlashRenderer {
  Q_OBJECT

 public:
  explicit RuffleRenderer(TFlashPlayerControl& control);
  ~RuffleRenderer() override;

  QWidget* View() override;
  bool Load(const QByteArray& movie, const QString& path) override;
  void SetVariable(const QString& name, const QString& value) override;
  bool GetVariable(const QString& name, QString& value) override;
  void SetReturnValue(const QString& value) override;
  void GotoFrame(int frame) override;
  void SetBackgroundColor(const QColor& color) override;
  void SetMenu(bool enabled) override;

  // The renderer whose page lives at this URL host, if any.
  static RuffleRenderer* ForHost(const QString& host);
  // Answers a request of this renderer's page (from the scheme handler).
  void Serve(QWebEngineUrlRequestJob* job);

 public slots:
  // Called by the page over the web channel.
  void pageReady();
  void callbackAdded(int generation, const QString& name);
  void fsCommand(int generation, int seq, const QString& command, const QString& args);
  void movieStarted(int generation, int width, int height, int frames);
  void loadFailed(int generation, const QString& message);
  void log(const QString& text);

 private:
  struct Event {
    QString command;  // FSCommand word, or the FlashCall request
    QString args;
    bool flashCall = false;
    QPointer<QWebEngineUrlRequestJob> job;
  };
  struct Call {
    QString callback;
    QJsonArray args;
  };

  void loadPage();
  void startMovie();
  void queueCall(const QString& callback, const QJsonArray& args);
  void flushCalls();
  void addEvent(int generation, int seq, Event event);
  void dispatchEvents();
  void skipEventGap();
  void sendAck();
  void runScript(const QString& script);
  void renderProcessEnded(int status, int exitCode);
  void showError(const QString& text);

  TFlashPlayerControl& control;
  QString host;
  QPointer<QWebEngineView> view;

  bool pageIsReady = false;
  bool pageBroken = false;
  bool startPending = false;
  int generation = 0;
  QByteArray movie;
  QString moviePath;
  bool menu = true;
  QString background;

  QSet<QString> callbacks;  // what the running movie registered
  QList<Call> calls;        // waiting for the movie's callbacks
  bool warnedDroppedCalls = false;
  QTimer noSetVariable;  // warns when a started movie never registers SetVariable

  std::map<int, Event> events;  // by sequence number, waiting for their turn
  int nextSeq = 1;
  int lastAcked = 0;
  bool ackPending = false;
  int inFlashCall = 0;      // the page waits for a FlashCall answer: it cannot run script
  int waitingForMovie = 0;  // GetVariable waits: events keep their turn until it returns
  QTimer eventGap;
};

}  // namespace vedalia::ruffle
