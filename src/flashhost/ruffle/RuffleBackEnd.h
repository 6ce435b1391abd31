#pragma once
// Inside the movie renderer: the back end of one control, the one object its page calls, and
// the URL scheme that serves its page, the player's files and its movie.

#include <QByteArray>
#include <QHash>
#include <QJsonArray>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QTimer>
#include <QVariantList>
#include <map>

#include "flashhost/FlashPlayerControl.h"

class QEventLoop;
class QWebEngineProfile;
class QWebEngineUrlRequestJob;
class QWebEngineView;

namespace vedalia::ruffle {

inline constexpr char kScheme[] = "vedalia-player";
// Every page lives on this one host (one site: the pages share a render process, which
// compiles the player's code once); each control's page below /ID/.
inline constexpr char kHost[] = "player";

// The one web engine profile every control shares (off the record: nothing on disk).
QWebEngineProfile* SharedProfile();
// Answers with `data`; `name` gives the content type.
void ReplyWith(QWebEngineUrlRequestJob* job, const QString& name, const QByteArray& data);
// The page's and the player's files from the installed runtime package only, under their
// names in the package ("page/...", "ruffle/...").
const QHash<QString, QByteArray>& RuntimeFiles();

class RuffleRenderer;

// The one object the page reaches over the web channel: exactly the calls it makes, each
// handed to the renderer that owns it. The renderer's own slots and properties stay out of
// the page's reach.
class PageBridge : public QObject {
  Q_OBJECT

 public:
  explicit PageBridge(RuffleRenderer& owner) : renderer(owner) {}

 public slots:
  void pageReady();
  void callbackAdded(int generation, const QString& name);
  // [generation, sequence number, command, args] each.
  void fsCommands(const QVariantList& batch);
  // The text of the synchronous command `seq`, too long for its request's address.
  void commandText(int generation, int seq, const QString& args);
  // The page has run the calls of batches up to `number`.
  void delivered(int generation, int number);
  void movieStarted(int generation, int width, int height, int frames);
  void loadFailed(int generation, const QString& message);
  void log(const QString& text);

 private:
  RuffleRenderer& renderer;
};

class RuffleRenderer : public QObject, public IFlashRenderer {
  Q_OBJECT

 public:
  explicit RuffleRenderer(TFlashPlayerControl& control);
  ~RuffleRenderer() override;

  QWidget* View() override;
  bool Load(const QByteArray& movie, const QString& path) override;
  void Unload() override;
  void SetVariable(const QString& name, const QString& value) override;
  bool GetVariable(const QString& name, QString& value) override;
  void SetReturnValue(const QString& value) override;
  bool ReportsMovieReady() const override { return true; }
  void GotoFrame(int frame) override;
  void SetBackgroundColor(const QColor& color) override;
  void SetMenu(bool enabled) override;

  // The renderer whose page lives below /ID/, if any.
  static RuffleRenderer* ForId(const QString& id);
  // Answers a request of this renderer's page for `path` (below its /ID/).
  void Serve(QWebEngineUrlRequestJob* job, const QString& path);

 private:
  friend class PageBridge;
  // What the page tells, through the bridge.
  void pageReady();
  void callbackAdded(int generation, const QString& name);
  void fsCommands(const QVariantList& batch);
  void commandText(int generation, int seq, const QString& args);
  void delivered(int generation, int number);
  void movieStarted(int generation, int width, int height, int frames);
  void loadFailed(int generation, const QString& message);

  struct Event {
    QString command;  // FSCommand word, or the FlashCall request
    QString args;
    int applied = 0;  // of a synchronous command: the last batch the page had run
    bool flashCall = false;
    bool syncCommand = false;  // an AVM1 fscommand the movie waits for
    bool awaitingText = false;
    QPointer<QWebEngineUrlRequestJob> job;
  };
  struct Call {
    QString callback;
    QJsonArray args;
  };

  void loadPage();
  void startMovie();
  void forgetMovie();
  void raiseMovieReady();
  bool pageWaits() const;  // a request of the page waits for its turn
  void queueCall(const QString& callback, const QJsonArray& args);
  void flushCalls();
  QJsonArray callEntry(const Call& call) const;
  void answerCommand(QWebEngineUrlRequestJob* job, int applied);
  void addEvent(int generation, int seq, Event event);
  void scheduleDispatch();
  void dispatchEvents();
  void skipEventGap();
  void sendAck();
  void runScript(const QString& script);
  void renderProcessEnded(int status, int exitCode);
  void showError(const QString& text);

  TFlashPlayerControl& control;
  QString id;
  PageBridge bridge{*this};
  QPointer<QWebEngineView> view;

  bool pageIsReady = false;
  bool pageBroken = false;
  bool startPending = false;
  int generation = 0;
  QByteArray movie;
  QString moviePath;
  bool menu = true;
  QString background;

  QSet<QString> callbacks;                // what the running movie registered
  QHash<QString, QString> actualName;     // host callback -> the injected one serving it
  QList<Call> calls;                      // waiting for the movie's callbacks
  bool injected = false;                  // AVM1 movie with the callbacks put in
  int batchNo = 0;                        // calls go to the page in numbered batches
  std::map<int, QJsonArray> sentBatches;  // sent, not yet run by the page
  bool warnedDroppedCalls = false;
  QTimer noSetVariable;  // warns when a started movie never registers SetVariable

  std::map<int, Event> events;          // by sequence number, waiting for their turn
  std::map<int, QString> commandTexts;  // texts that came before their command
  int nextSeq = 1;
  int lastAcked = 0;
  bool ackPending = false;
  bool setVariableOverdue = false;
  int inFlashCall = 0;               // the page waits for a FlashCall answer: it cannot run script
  int inSyncCommand = 0;             // replies go back with the command's answer
  int waitingForMovie = 0;           // GetVariable waits: events keep their turn until it returns
  QEventLoop* answerLoop = nullptr;  // where GetVariable waits
  QTimer eventGap;
  QTimer dispatchTimer;
  QTimer flushTimer;
};

}  // namespace vedalia::ruffle
