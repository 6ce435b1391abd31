// Asking the media framework whether a file can be played as a video.

#include <QCoreApplication>
#include <QEventLoop>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMediaPlayer>
#include <QTimer>
#include <QUrl>
#include <QVideoFrame>
#include <QVideoSink>

#include "desktop/uDesktop.h"
#include "platform/Log.h"

namespace vedalia {

namespace {

// A file the framework neither accepts nor rejects within this time counts as unplayable;
// a healthy local file answers in well under a second.
constexpr int kProbeTimeoutMs = 5000;

// Loads the file, then pauses it so that the whole chain down to the video output prerolls.
// Only a decoded picture proves that a video can be shown: a container the framework opens
// but whose video it cannot decode, or a file without a video stream, is not enough.
bool ProbeForVideoFrame(const QString& filePath) {
  QMediaPlayer player;
  if (!player.isAvailable()) return false;
  QVideoSink sink;
  player.setVideoOutput(&sink);

  QEventLoop loop;
  bool done = false;
  bool framed = false;
  const auto finish = [&](bool result) {
    if (done) return;
    done = true;
    framed = result;
    loop.quit();
  };
  QObject::connect(&player, &QMediaPlayer::mediaStatusChanged, &loop,
                   [&](QMediaPlayer::MediaStatus status) {
                     if (status == QMediaPlayer::InvalidMedia) {
                       finish(false);
                     } else if (status == QMediaPlayer::LoadedMedia) {
                       if (player.hasVideo())
                         player.pause();
                       else
                         finish(false);
                     }
                   });
  QObject::connect(&player, &QMediaPlayer::errorOccurred, &loop,
                   [&](QMediaPlayer::Error error, const QString&) {
                     if (error != QMediaPlayer::NoError) finish(false);
                   });
  QObject::connect(&sink, &QVideoSink::videoFrameChanged, &loop, [&](const QVideoFrame& frame) {
    if (frame.isValid() && !frame.size().isEmpty()) finish(true);
  });
  QTimer timeout;
  timeout.setSingleShot(true);
  QObject::connect(&timeout, &QTimer::timeout, &loop, [&] { finish(false); });

  timeout.start(kProbeTimeoutMs);
  player.setSource(QUrl::fromLocalFile(filePath));
  // The answer may already have arrived inside setSource.
  if (!done) loop.exec(QEventLoop::ExcludeUserInputEvents);
  player.stop();
  return framed;
}

}  // namespace

bool CanRenderMedia(const QString& filePath) {
  try {
    // Video output needs the GUI side of the application.
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) == nullptr) return false;
    const QFileInfo info(filePath);
    if (!info.isFile() || !info.isReadable()) return false;
    return ProbeForVideoFrame(info.absoluteFilePath());
  } catch (...) {
    LogFailure(lcMedia(), "probing a video");
    return false;
  }
}

}  // namespace vedalia
