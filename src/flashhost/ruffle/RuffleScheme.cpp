// The player's URL scheme and the shared web engine profile.
#include <unistd.h>

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

// Every control's page has a host of its own (c1, c2, ...); the handler hands each request
// to that control's back end, which serves the runtime's files and its movie.
class SchemeHandler : public QWebEngineUrlSchemeHandler {
 public:
  using QWebEngineUrlSchemeHandler::QWebEngineUrlSchemeHandler;

  void requestStarted(QWebEngineUrlRequestJob* job) override {
    if (RuffleRenderer* renderer = RuffleRenderer::ForHost(job->requestUrl().host()))
      renderer->Serve(job);
    else
      job->fail(QWebEngineUrlRequestJob::UrlNotFound);
  }
};

}  // namespace

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

  QStringList flags = chromiumFlags;
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
