// The player's URL scheme and the shared web engine profile.
#include <unistd.h>

#include <QBuffer>
#include <QCoreApplication>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>
#include <QWebEngineUrlSchemeHandler>

#include "flashhost/ruffle/RuffleBackEnd.h"
#include "flashhost/ruffle/RuffleRenderer.h"

namespace vedalia {

namespace ruffle {
namespace {

QByteArray mimeType(const QString& name) {
  if (name.endsWith(QLatin1String(".html"))) return "text/html";
  if (name.endsWith(QLatin1String(".js"))) return "text/javascript";
  if (name.endsWith(QLatin1String(".wasm"))) return "application/wasm";
  if (name.endsWith(QLatin1String(".swf"))) return "application/x-shockwave-flash";
  if (name.endsWith(QLatin1String(".xml"))) return "text/xml";
  if (name.endsWith(QLatin1String(".txt"))) return "text/plain";
  return "application/octet-stream";
}

// The player's files are the same for every page, below /ruffle/; everything else below
// /ID/ belongs to one control's back end, which serves its page, its movie and its calls.
class SchemeHandler : public QWebEngineUrlSchemeHandler {
 public:
  using QWebEngineUrlSchemeHandler::QWebEngineUrlSchemeHandler;

  void requestStarted(QWebEngineUrlRequestJob* job) override {
    const QUrl url = job->requestUrl();
    const QString path = url.path();
    const qsizetype slash = path.indexOf(QLatin1Char('/'), 1);
    if (url.host() != QLatin1String(kHost) || slash < 0)
      return job->fail(QWebEngineUrlRequestJob::UrlNotFound);
    const QString first = path.mid(1, slash - 1);
    const QString rest = path.mid(slash + 1);
    if (first == QLatin1String("ruffle")) {
      const QHash<QString, QByteArray>& files = RuntimeFiles();
      if (const auto it = files.constFind(QStringLiteral("ruffle/") + rest); it != files.constEnd())
        return ReplyWith(job, rest, *it);
    } else if (RuffleRenderer* renderer = RuffleRenderer::ForId(first)) {
      return renderer->Serve(job, rest);
    }
    job->fail(QWebEngineUrlRequestJob::UrlNotFound);
  }
};

}  // namespace

void ReplyWith(QWebEngineUrlRequestJob* job, const QString& name, const QByteArray& data) {
  auto* buffer = new QBuffer(job);
  buffer->setData(data);
  buffer->open(QIODevice::ReadOnly);
  job->reply(mimeType(name), buffer);
}

const QHash<QString, QByteArray>& RuntimeFiles() {
  // Unpacked once per installed package.
  static QByteArray unpackedFrom;
  static QHash<QString, QByteArray> files;
  const QByteArray package = TFlashPlayerControl::PlayerCode();
  if (package.constData() != unpackedFrom.constData() || package.size() != unpackedFrom.size()) {
    unpackedFrom = package;
    files = TFlashPlayerControl::UnpackPlayerCode(package);
  }
  return files;
}

QWebEngineProfile* SharedProfile() {
  // Chromium's start-up is the expensive part; every control of the process shares it.
  static QPointer<QWebEngineProfile> profile;
  if (!profile) {
    profile = new QWebEngineProfile(QCoreApplication::instance());
    profile->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
    profile->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);
    profile->installUrlSchemeHandler(kScheme, new SchemeHandler(profile));
    QWebEngineSettings* settings = profile->settings();
    settings->setAttribute(QWebEngineSettings::PlaybackRequiresUserGesture, false);
    settings->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
    settings->setAttribute(QWebEngineSettings::LocalStorageEnabled, false);
    settings->setAttribute(QWebEngineSettings::PluginsEnabled, false);
    settings->setAttribute(QWebEngineSettings::ErrorPageEnabled, false);
  }
  return profile;
}

}  // namespace ruffle

void PrepareMovieRenderer(const QStringList& chromiumFlags) {
  QWebEngineUrlScheme scheme(ruffle::kScheme);
  scheme.setSyntax(QWebEngineUrlScheme::Syntax::Host);
  scheme.setFlags(QWebEngineUrlScheme::SecureScheme | QWebEngineUrlScheme::CorsEnabled);
  QWebEngineUrlScheme::registerScheme(scheme);

  // One render process for every page of the player's site: the player's code is compiled
  // once, and each further window costs little memory.
  QStringList flags = chromiumFlags;
  flags << QStringLiteral("--process-per-site");
  // Chromium refuses to start its sandbox as root; as a normal user it stays on.
  if (geteuid() == 0) flags << QStringLiteral("--no-sandbox");
  if (!flags.isEmpty()) {
    QByteArray all = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    for (const QString& flag : flags) {
      if (!all.isEmpty()) all += ' ';
      all += flag.toUtf8();
    }
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", all);
  }
  // The web engine's widgets share GL contexts with the rest of the program.
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
}

std::unique_ptr<IFlashRenderer> CreateMovieRenderer(TFlashPlayerControl& control) {
  return std::make_unique<ruffle::RuffleRenderer>(control);
}

}  // namespace vedalia
