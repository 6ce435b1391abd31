#include <QBuffer>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrlQuery>
#include <QWebChannel>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineView>
#include <algorithm>
#include <memory>
#include <utility>

#include "flashhost/Avm1Rewriter.h"
#include "flashhost/ruffle/RuffleBackEnd.h"
#include "flashhost/ruffle/RuffleRenderer.h"
#include "platform/Log.h"

namespace vedalia::ruffle {

namespace {

// FSCommands held while an earlier event (a FlashCall on its way) has not arrived; a gap
// that stays open this long is skipped rather than stopping the movie's events for good.
constexpr int kEventGapMs = 1000;
constexpr int kMaxHeldEvents = 2000;
// A started movie that has not registered SetVariable by then gets a warning.
constexpr int kSetVariableGraceMs = 5000;

QHash<QString, RuffleRenderer*>& renderers() {
  static QHash<QString, RuffleRenderer*> all;
  return all;
}

// Ruffle's names for the control's design-time settings.
QString scaleName(const QString& scale) {
  const QString lower = scale.toLower();
  if (lower == QLatin1String("noborder")) return QStringLiteral("noBorder");
  if (lower == QLatin1String("exactfit")) return QStringLiteral("exactFit");
  if (lower == QLatin1String("noscale")) return QStringLiteral("noScale");
  return QStringLiteral("showAll");
}

QString qualityName(const QString& quality) {
  const QString lower = quality.toLower();
  for (const char* known : {"low", "medium", "high", "best"})
    if (lower == QLatin1String(known)) return lower;
  return QStringLiteral("high");
}

// Console output of the page: the player reports a movie it cannot play, a panic and its
// own failures there.
class PlayerPage : public QWebEnginePage {
 public:
  using QWebEnginePage::QWebEnginePage;

 protected:
  // The page never leaves the player (the panic screen's links, a movie's own navigation).
  bool acceptNavigationRequest(const QUrl& url, NavigationType, bool isMainFrame) override {
    const QString scheme = url.scheme();
    if (!isMainFrame || scheme == QLatin1String(kScheme) || scheme == QLatin1String("data") ||
        scheme == QLatin1String("about"))
      return true;
    qCInfo(lcMovie, "the player page may not go to %s", qUtf8Printable(url.toString()));
    return false;
  }

  void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString& message,
                                int line, const QString& source) override {
    if (level == InfoMessageLevel) return;
    qCWarning(lcMovie, "the player page: %s (%s:%d)", qUtf8Printable(message),
              qUtf8Printable(source), line);
  }
};

int nextId = 0;

}  // namespace

RuffleRenderer::RuffleRenderer(TFlashPlayerControl& owner)
    : control(owner), id(QStringLiteral("c%1").arg(++nextId)) {
  renderers().insert(id, this);
  menu = control.Menu();

  view = new QWebEngineView(&control);
  view->setContextMenuPolicy(Qt::NoContextMenu);
  auto* page = new PlayerPage(SharedProfile(), view);
  auto* channel = new QWebChannel(page);
  channel->registerObject(QStringLiteral("host"), &bridge);
  page->setWebChannel(channel);
  page->setBackgroundColor(Qt::white);
  view->setPage(page);
  connect(page, &QWebEnginePage::renderProcessTerminated, this,
          [this](QWebEnginePage::RenderProcessTerminationStatus status, int exitCode) {
            renderProcessEnded(int(status), exitCode);
          });
  connect(page, &QWebEnginePage::loadFinished, this, [this](bool ok) {
    if (!ok && !pageBroken)
      qCWarning(lcMovie, "the player page did not load; is the runtime package whole?");
  });

  noSetVariable.setSingleShot(true);
  noSetVariable.setInterval(kSetVariableGraceMs);
  connect(&noSetVariable, &QTimer::timeout, this, [this] {
    if (!callbacks.contains(QStringLiteral("SetVariable")))
      qCWarning(lcMovie, "the movie registered no SetVariable callback; %lld replies wait for it",
                qlonglong(calls.size()));
  });
  flushTimer.setSingleShot(true);
  flushTimer.setInterval(0);
  connect(&flushTimer, &QTimer::timeout, this, &RuffleRenderer::flushCalls);
  dispatchTimer.setSingleShot(true);
  dispatchTimer.setInterval(0);
  connect(&dispatchTimer, &QTimer::timeout, this, &RuffleRenderer::dispatchEvents);
  eventGap.setSingleShot(true);
  eventGap.setInterval(kEventGapMs);
  connect(&eventGap, &QTimer::timeout, this, &RuffleRenderer::skipEventGap);

  loadPage();
}

RuffleRenderer::~RuffleRenderer() {
  renderers().remove(id);
  for (auto& [seq, event] : events)
    if (event.job) event.job->fail(QWebEngineUrlRequestJob::RequestAborted);
  if (view) {
    // The page must stop calling into the bridge before it and this renderer go.
    if (QWebEnginePage* page = view->page()) {
      page->disconnect(this);
      if (QWebChannel* channel = page->webChannel()) channel->deregisterObject(&bridge);
    }
    delete view.data();
  }
}

RuffleRenderer* RuffleRenderer::ForId(const QString& name) { return renderers().value(name); }

QWidget* RuffleRenderer::View() { return view; }

void RuffleRenderer::loadPage() {
  pageIsReady = false;
  pageBroken = false;
  if (view)
    view->page()->load(QUrl(QStringLiteral("%1://%2/%3/player.html").arg(kScheme, kHost, id)));
}

// ---- The movie ------------------------------------------------------------------------------

bool RuffleRenderer::Load(const QByteArray& bytes, const QString& path) {
  forgetMovie();
  // An AVM1 movie gets the host's callbacks injected into the bytes it is played from.
  if (auto rewritten = RewriteAvm1Movie(bytes); rewritten && rewritten->injected) {
    movie = rewritten->movie;
    injected = true;
    if (rewritten->brokenStreams)
      qCWarning(lcMovie,
                "%d action streams of the movie do not parse; they end before the bytes that "
                "do not",
                rewritten->brokenStreams);
  } else {
    movie = bytes;
  }
  moviePath = path;
  if (pageBroken) loadPage();
  // Started from the event loop, so the properties set right after the movie (menu,
  // background) are in the player's configuration from its first frame.
  if (!startPending) {
    startPending = true;
    QTimer::singleShot(0, this, &RuffleRenderer::startMovie);
  }
  return true;
}

void RuffleRenderer::Unload() {
  forgetMovie();
  if (pageIsReady) runScript(QStringLiteral("vedaliaPlayer.unload()"));
}

// What belonged to the movie before: its events, calls and callbacks (late ones carry an
// old generation and are ignored).
void RuffleRenderer::forgetMovie() {
  ++generation;
  movie.clear();
  moviePath.clear();
  injected = false;
  batchNo = 0;
  sentBatches.clear();
  callbacks.clear();
  actualName.clear();
  calls.clear();
  warnedDroppedCalls = false;
  noSetVariable.stop();
  setVariableOverdue = false;
  for (auto& [seq, event] : events)
    if (event.job) event.job->fail(QWebEngineUrlRequestJob::RequestAborted);
  events.clear();
  eventGap.stop();
  commandTexts.clear();
  nextSeq = 1;
  lastAcked = 0;
}

void RuffleRenderer::pageReady() {
  pageIsReady = true;
  if (!movie.isEmpty()) startMovie();
}

void RuffleRenderer::startMovie() {
  startPending = false;
  if (!pageIsReady || movie.isEmpty()) return;
  QJsonObject options;
  const QString base = QStringLiteral("%1://%2/%3/").arg(kScheme, kHost, id);
  if (moviePath.isEmpty()) {
    options[QStringLiteral("data")] = base + QStringLiteral("stream/%1.swf").arg(generation);
  } else {
    const QString name = QFileInfo(moviePath).fileName();
    options[QStringLiteral("url")] =
        base + QStringLiteral("movie/%1/").arg(generation) + QUrl::toPercentEncoding(name);
  }
  options[QStringLiteral("generation")] = generation;
  options[QStringLiteral("menu")] = menu;
  options[QStringLiteral("background")] =
      control.BackgroundColor() < 0 ? QJsonValue() : QJsonValue(control.StageColor().name());
  options[QStringLiteral("scale")] = scaleName(control.Scale());
  options[QStringLiteral("quality")] = qualityName(control.Quality2());
  runScript(QStringLiteral("vedaliaPlayer.load(%1)")
                .arg(QString::fromUtf8(QJsonDocument(options).toJson(QJsonDocument::Compact))));
}

void RuffleRenderer::movieStarted(int gen, int width, int height, int frames) {
  if (gen != generation) return;
  qCDebug(lcMovie, "movie started, %dx%d, %d frames", width, height, frames);
  if (!callbacks.contains(QStringLiteral("SetVariable"))) noSetVariable.start();
}

void RuffleRenderer::loadFailed(int gen, const QString& message) {
  if (gen != generation) return;
  qCWarning(lcMovie, "the player cannot play the movie %s: %s",
            qUtf8Printable(moviePath.isEmpty() ? QStringLiteral("(from memory)") : moviePath),
            qUtf8Printable(message));
}

// ---- Calls of the page over the web channel ---------------------------------------------------

void PageBridge::pageReady() { renderer.pageReady(); }
void PageBridge::callbackAdded(int gen, const QString& name) { renderer.callbackAdded(gen, name); }
void PageBridge::fsCommands(const QVariantList& batch) { renderer.fsCommands(batch); }
void PageBridge::commandText(int gen, int seq, const QString& args) {
  renderer.commandText(gen, seq, args);
}
void PageBridge::delivered(int gen, int number) { renderer.delivered(gen, number); }
void PageBridge::movieStarted(int gen, int width, int height, int frames) {
  renderer.movieStarted(gen, width, height, frames);
}
void PageBridge::loadFailed(int gen, const QString& message) { renderer.loadFailed(gen, message); }
// The page's own failures (a callback of the movie that threw, a flood it cut).
void PageBridge::log(const QString& text) {
  qCWarning(lcMovie, "the player page: %s", qUtf8Printable(text));
}

// ---- Requests of the page --------------------------------------------------------------------

void RuffleRenderer::Serve(QWebEngineUrlRequestJob* job, const QString& path) {
  if (path == QLatin1String("flashcall") || path == QLatin1String("fscommand")) {
    const QUrlQuery query(job->requestUrl());
    auto item = [&](const char* key) {
      return query.queryItemValue(QLatin1String(key), QUrl::FullyDecoded);
    };
    Event event;
    if (path == QLatin1String("flashcall")) {
      event.flashCall = true;
      event.command = item("request");
    } else {
      event.syncCommand = true;
      event.command = item("command");
      event.args = item("args");
      event.applied = item("applied").toInt();
      event.awaitingText = query.hasQueryItem(QStringLiteral("textByChannel"));
    }
    event.job = job;
    addEvent(query.queryItemValue(QStringLiteral("generation")).toInt(),
             query.queryItemValue(QStringLiteral("seq")).toInt(), std::move(event));
    return;
  }
  if (path == QLatin1String("qwebchannel.js")) {
    QFile script(QStringLiteral(":/qtwebchannel/qwebchannel.js"));
    if (script.open(QIODevice::ReadOnly)) return ReplyWith(job, path, script.readAll());
    return job->fail(QWebEngineUrlRequestJob::UrlNotFound);
  }
  // The movie: its own bytes as the control loaded them; files beside it (what the movie
  // loads relative to itself) only from its own folder.
  const QString moviePrefix = QStringLiteral("movie/%1/").arg(generation);
  if (path == QStringLiteral("stream/%1.swf").arg(generation)) return ReplyWith(job, path, movie);
  if (path.startsWith(moviePrefix) && !moviePath.isEmpty()) {
    const QString relative = path.mid(moviePrefix.size());
    const QFileInfo info(moviePath);
    if (relative == info.fileName()) return ReplyWith(job, relative, movie);
    const QString folder = info.absoluteDir().canonicalPath();
    const QString file = QFileInfo(folder + QLatin1Char('/') + relative).canonicalFilePath();
    QFile content(file);
    if (!folder.isEmpty() && file.startsWith(folder + QLatin1Char('/')) &&
        content.open(QIODevice::ReadOnly))
      return ReplyWith(job, file, content.readAll());
    return job->fail(QWebEngineUrlRequestJob::UrlNotFound);
  }
  const QHash<QString, QByteArray>& files = RuntimeFiles();
  if (const auto it = files.constFind(QStringLiteral("page/") + path); it != files.constEnd())
    return ReplyWith(job, path, *it);
  job->fail(QWebEngineUrlRequestJob::UrlNotFound);
}

// ---- Events of the movie -----------------------------------------------------------------------

void RuffleRenderer::fsCommands(const QVariantList& batch) {
  for (const QVariant& item : batch) {
    const QVariantList fields = item.toList();
    if (fields.size() != 4) continue;
    Event event;
    event.command = fields[2].toString();
    event.args = fields[3].toString();
    addEvent(fields[0].toInt(), fields[1].toInt(), std::move(event));
  }
}

void RuffleRenderer::commandText(int gen, int seq, const QString& args) {
  if (gen != generation || seq < nextSeq) return;
  // The text may come before or after its request.
  const auto it = events.find(seq);
  if (it == events.end() || !it->second.awaitingText) {
    commandTexts[seq] = args;
    return;
  }
  it->second.args = args;
  it->second.awaitingText = false;
  scheduleDispatch();
}

void RuffleRenderer::addEvent(int gen, int seq, Event event) {
  if (gen != generation || seq < nextSeq) {
    if (event.job) event.job->fail(QWebEngineUrlRequestJob::RequestAborted);
    return;
  }
  if (int(events.size()) >= kMaxHeldEvents) {
    qCWarning(lcMovie, "%d movie events wait for an earlier one; skipping the gap", kMaxHeldEvents);
    skipEventGap();
  }
  if (event.awaitingText) {
    if (const auto text = commandTexts.find(seq); text != commandTexts.end()) {
      event.args = std::move(text->second);
      event.awaitingText = false;
      commandTexts.erase(text);
    }
  }
  const bool waits = bool(event.job);
  events[seq] = std::move(event);
  // The page stopped to wait for this answer: it will not answer GetVariable before.
  if (waits && answerLoop) answerLoop->quit();
  scheduleDispatch();
}

bool RuffleRenderer::pageWaits() const {
  return std::any_of(events.begin(), events.end(),
                     [](const auto& entry) { return bool(entry.second.job); });
}

void RuffleRenderer::scheduleDispatch() {
  // Handlers never run inside the web engine's own task that brought the event: a handler
  // that waits (a message box, GetVariable) would stall the engine, the page and the
  // answer it waits for.
  if (!dispatchTimer.isActive()) dispatchTimer.start();
}

void RuffleRenderer::skipEventGap() {
  if (events.empty() || events.begin()->first == nextSeq) return;
  qCWarning(lcMovie, "movie events %d to %d never arrived; going on without them", nextSeq,
            events.begin()->first - 1);
  nextSeq = events.begin()->first;
  scheduleDispatch();
}

void RuffleRenderer::dispatchEvents() {
  // GetVariable waits in a local loop; events raised from there would run handlers inside
  // whatever handler asked, so they keep their turn until it returns.
  if (waitingForMovie) return;
  QPointer<RuffleRenderer> self(this);
  const int gen = generation;
  while (!events.empty() && events.begin()->first == nextSeq &&
         !events.begin()->second.awaitingText) {
    Event event = std::move(events.begin()->second);
    events.erase(events.begin());
    ++nextSeq;
    if (event.syncCommand) {
      // Raised while the movie waits; what the handler sends goes back with the answer.
      ++inFlashCall;
      ++inSyncCommand;
      control.RaiseFSCommand(event.command, event.args);
      if (!self) return;
      --inSyncCommand;
      --inFlashCall;
      if (gen != generation) {
        if (event.job) event.job->fail(QWebEngineUrlRequestJob::RequestAborted);
        return;
      }
      if (event.job) answerCommand(event.job, event.applied);
    } else if (event.flashCall) {
      ++inFlashCall;
      const QString answer = control.RaiseFlashCall(event.command);
      if (!self) return;
      --inFlashCall;
      if (event.job) ReplyWith(event.job, QStringLiteral("answer.txt"), answer.toUtf8());
    } else {
      control.RaiseFSCommand(event.command, event.args);
      if (!self) return;
    }
    if (gen != generation) return;  // a handler loaded another movie
  }
  if (!events.empty())
    eventGap.start();
  else
    eventGap.stop();
  if (!ackPending && nextSeq - 1 > lastAcked) {
    ackPending = true;
    QTimer::singleShot(0, this, &RuffleRenderer::sendAck);
  }
}

void RuffleRenderer::sendAck() {
  ackPending = false;
  lastAcked = nextSeq - 1;
  runScript(QStringLiteral("vedaliaPlayer.ack(%1)").arg(lastAcked));
}

// ---- Calls into the movie -----------------------------------------------------------------------

void RuffleRenderer::callbackAdded(int gen, const QString& name) {
  if (gen != generation) return;
  if (name == QLatin1String(kAvm1ReadyCall)) {
    raiseMovieReady();
    return;
  }
  // The injected callbacks stand for the host's own.
  static const QHash<QString, QString> injected{
      {QString::fromLatin1(kAvm1SetCallback), QStringLiteral("SetVariable")},
      {QString::fromLatin1(kAvm1GetCallback), QStringLiteral("GetVariable")},
      {QString::fromLatin1(kAvm1GotoCallback), QStringLiteral("GotoFrame")}};
  if (const auto it = injected.constFind(name); it != injected.constEnd()) {
    actualName.insert(*it, name);
    callbacks.insert(*it);
    flushCalls();
    return;
  }
  if (actualName.contains(name)) return;  // the injected one serves it
  callbacks.insert(name);
  flushCalls();
  if (name == QLatin1String("SetVariable")) raiseMovieReady();
}

// Not inside the web engine's task that brought the word: a handler that asks the movie
// (GetVariable) waits for an answer that task would hold back.
void RuffleRenderer::raiseMovieReady() {
  QMetaObject::invokeMethod(
      this,
      [this, gen = generation] {
        if (gen == generation) control.RaiseMovieReady();
      },
      Qt::QueuedConnection);
}

void RuffleRenderer::SetVariable(const QString& name, const QString& value) {
  queueCall(QStringLiteral("SetVariable"), QJsonArray{name, value});
}

void RuffleRenderer::GotoFrame(int frame) {
  if (!callbacks.isEmpty() && !callbacks.contains(QStringLiteral("GotoFrame"))) {
    qCInfo(lcMovie, "the movie has no GotoFrame callback; frame %d ignored", frame);
    return;
  }
  queueCall(QStringLiteral("GotoFrame"), QJsonArray{frame});
}

void RuffleRenderer::queueCall(const QString& callback, const QJsonArray& args) {
  // An AVM1 movie gets its callbacks with its first frame: everything waits for that, up to
  // a bound far beyond what a shell sends (its first frame may never come).
  const int bound = injected ? 100 * kMaxQueuedReplies : kMaxQueuedReplies;
  if (calls.size() >= bound && (injected || !callbacks.contains(callback))) {
    calls.removeFirst();
    if (!warnedDroppedCalls)
      qCWarning(lcMovie, "%d replies wait for the movie's callbacks; dropping the oldest", bound);
    warnedDroppedCalls = true;
  }
  calls.append({callback, args});
  if (setVariableOverdue && !warnedDroppedCalls && callback == QLatin1String("SetVariable") &&
      calls.size() == 1)
    qCWarning(lcMovie, "the movie registered no SetVariable callback; replies wait for it");
  // A burst of replies goes to the page as one batch.
  if (!flushTimer.isActive()) flushTimer.start();
}

// [callback, arguments] as the page runs it: the injected SetVariable takes its value after
// one character.
QJsonArray RuffleRenderer::callEntry(const Call& call) const {
  const auto it = actualName.constFind(call.callback);
  if (it == actualName.constEnd()) return QJsonArray{call.callback, call.args};
  QJsonArray args = call.args;
  if (call.callback == QLatin1String("SetVariable") && args.size() == 2)
    args[1] = QLatin1Char('.') + args[1].toString();
  return QJsonArray{*it, args};
}

void RuffleRenderer::flushCalls() {
  // While the movie waits for a command, replies go back with its answer.
  if (inSyncCommand) return;
  // Calls go out in order: one whose callback the movie has not registered yet holds back
  // the ones after it. A movie that registered callbacks but not this one never will.
  QJsonArray batch;
  while (!calls.isEmpty() && !callbacks.isEmpty()) {
    const Call call = calls.takeFirst();
    if (callbacks.contains(call.callback)) {
      batch.append(callEntry(call));
    } else if (call.callback != QLatin1String("SetVariable")) {
      qCInfo(lcMovie, "the movie has no %s callback; call ignored", qUtf8Printable(call.callback));
    } else {
      calls.prepend(call);
      break;
    }
  }
  if (batch.isEmpty()) return;
  // Kept until the page has run it: a command's answer that overtakes it brings it along.
  sentBatches[++batchNo] = batch;
  runScript(QStringLiteral("vedaliaPlayer.deliver(%1, %2, %3)")
                .arg(generation)
                .arg(batchNo)
                .arg(QString::fromUtf8(QJsonDocument(batch).toJson(QJsonDocument::Compact))));
}

void RuffleRenderer::delivered(int gen, int number) {
  if (gen != generation) return;
  sentBatches.erase(sentBatches.begin(), sentBatches.upper_bound(number));
}

// The answer of a synchronous command: [[batch number, calls], ...] for the page to run
// before the movie goes on, in order: batches sent earlier that the page has not run yet
// (they wait behind the movie's script), then every reply waiting, the handler's included.
void RuffleRenderer::answerCommand(QWebEngineUrlRequestJob* job, int applied) {
  QJsonArray answer;
  for (auto it = sentBatches.upper_bound(applied); it != sentBatches.end(); ++it)
    answer.append(QJsonArray{it->first, it->second});
  // The movie runs the injected actions (a command comes from them), so its callbacks
  // are there, whether or not their word has come yet.
  if (injected) {
    for (const char* name : {kAvm1SetCallback, kAvm1GetCallback, kAvm1GotoCallback}) {
      const QString actual = QString::fromLatin1(name);
      const QString host = actual.mid(actual.indexOf(QLatin1Char('$')) + 1);
      actualName.insert(host, actual);
      callbacks.insert(host);
    }
  }
  QJsonArray batch;
  while (!calls.isEmpty()) {
    const Call call = calls.takeFirst();
    if (callbacks.contains(call.callback)) batch.append(callEntry(call));
  }
  if (!batch.isEmpty()) answer.append(QJsonArray{++batchNo, batch});
  sentBatches.clear();
  ReplyWith(job, QStringLiteral("answer.txt"),
            QJsonDocument(answer).toJson(QJsonDocument::Compact));
}

bool RuffleRenderer::GetVariable(const QString& name, QString& value) {
  // The control's GetVariable is synchronous and the page answers asynchronously: wait for
  // the movie's answer in a local event loop, bounded by a timeout. Events of the movie
  // arriving meanwhile are held (dispatchEvents), so no command handler runs inside the
  // caller. A page that waits for a FlashCall answer cannot run script at all: then, like
  // without the movie's GetVariable callback, the control answers from its own table.
  if (!callbacks.contains(QStringLiteral("GetVariable")) || inFlashCall || !view || pageBroken ||
      pageWaits())
    return false;
  flushCalls();  // the replies sent before are in when the movie answers
  struct Answer {
    bool done = false;
    QVariant value;
    QPointer<QEventLoop> loop;
  };
  auto answer = std::make_shared<Answer>();
  QEventLoop loop;
  answer->loop = &loop;
  view->page()->runJavaScript(
      QStringLiteral("vedaliaPlayer.call(\"%1\", %2)")
          .arg(actualName.value(QStringLiteral("GetVariable"), QStringLiteral("GetVariable")))
          .arg(QString::fromUtf8(QJsonDocument(QJsonArray{name}).toJson(QJsonDocument::Compact))),
      [answer](const QVariant& result) {
        answer->done = true;
        answer->value = result;
        if (answer->loop) answer->loop->quit();
      });
  QTimer::singleShot(kGetVariableTimeoutMs, &loop, &QEventLoop::quit);
  QPointer<RuffleRenderer> self(this);
  ++waitingForMovie;
  QEventLoop* outer = std::exchange(answerLoop, &loop);
  loop.exec(QEventLoop::ExcludeUserInputEvents);
  if (!self) return false;
  answerLoop = outer;
  --waitingForMovie;
  if (!events.empty()) scheduleDispatch();
  if (!answer->done) {
    if (pageWaits()) return false;  // see addEvent
    qCWarning(lcMovie, "the movie did not answer GetVariable(%s) in %d ms", qUtf8Printable(name),
              kGetVariableTimeoutMs);
    return false;
  }
  if (answer->value.isNull()) return false;
  value = answer->value.toString();
  return true;
}

void RuffleRenderer::SetReturnValue(const QString&) {
  // The control keeps the value; the pending FlashCall's request is answered with it once
  // its handlers have run (dispatchEvents).
}

// ---- Properties
// -----------------------------------------------------------------------------------

void RuffleRenderer::SetBackgroundColor(const QColor& color) {
  background = color.name();
  if (pageIsReady) runScript(QStringLiteral("vedaliaPlayer.setBackground(\"%1\")").arg(background));
}

void RuffleRenderer::SetMenu(bool enabled) {
  menu = enabled;
  if (pageIsReady)
    runScript(QStringLiteral("vedaliaPlayer.setMenu(%1)").arg(enabled ? "true" : "false"));
}

// ---- The page
// -------------------------------------------------------------------------------------

void RuffleRenderer::runScript(const QString& script) {
  if (view && pageIsReady && !pageBroken) view->page()->runJavaScript(script);
}

void RuffleRenderer::renderProcessEnded(int status, int exitCode) {
  if (status == QWebEnginePage::NormalTerminationStatus) return;
  qCWarning(lcMovie,
            "the player's render process ended (status %d, exit code %d); the movie stopped",
            status, exitCode);
  pageBroken = true;
  pageIsReady = false;
  for (auto& [seq, event] : events)
    if (event.job) event.job->fail(QWebEngineUrlRequestJob::RequestAborted);
  events.clear();
  showError(QStringLiteral("Проигрыватель фильма остановился из-за ошибки."));
}

void RuffleRenderer::showError(const QString& text) {
  if (!view) return;
  view->page()->setHtml(
      QStringLiteral("<html><body style=\"margin:0;display:flex;align-items:center;"
                     "justify-content:center;height:100vh;background:#222;color:#eee;"
                     "font:16px sans-serif\"><p>%1</p></body></html>")
          .arg(text.toHtmlEscaped()));
}

}  // namespace vedalia::ruffle
