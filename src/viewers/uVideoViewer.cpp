#include "viewers/uVideoViewer.h"

#include <QAudioOutput>
#include <QEventLoop>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMediaPlayer>
#include <QTimer>
#include <QUrl>
#include <QVideoFrame>
#include <QVideoSink>
#include <QVideoWidget>
#include <QWidget>
#include <algorithm>

#include "platform/Log.h"

namespace vedalia {

TVideoViewer::TVideoViewer(QWidget* owner, const QString& filePath) : Owner(owner) {
  try {
    if (!Build(owner, filePath)) Release();
  } catch (...) {
    LogFailure(lcViewers(), "building the video viewer");
    Release();
  }
}

TVideoViewer::~TVideoViewer() { Release(); }

bool TVideoViewer::Build(QWidget* owner, const QString& filePath) {
  if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) == nullptr) return false;
  const QFileInfo info(filePath);
  if (!info.isFile() || !info.isReadable()) return false;

  Graph = std::make_unique<QMediaPlayer>();
  if (!Graph->isAvailable()) return false;
  Audio = std::make_unique<QAudioOutput>();
  Graph->setAudioOutput(Audio.get());
  FVideoWindow = new QVideoWidget(owner);
  FVideoWindow->move(0, 0);
  Graph->setVideoOutput(FVideoWindow.data());

  // The size is known only once a picture has been decoded, so the file is loaded and paused
  // here: the pipeline prerolls its first picture and stays at the start until Play.
  QEventLoop loop;
  bool done = false;
  QSize size;
  const auto finish = [&](const QSize& result) {
    if (done) return;
    done = true;
    size = result;
    loop.quit();
  };
  QMediaPlayer* player = Graph.get();
  QObject::connect(player, &QMediaPlayer::mediaStatusChanged, &loop,
                   [&](QMediaPlayer::MediaStatus status) {
                     if (status == QMediaPlayer::InvalidMedia) {
                       finish(QSize());
                     } else if (status == QMediaPlayer::LoadedMedia) {
                       if (player->hasVideo())
                         player->pause();
                       else
                         finish(QSize());
                     }
                   });
  QObject::connect(player, &QMediaPlayer::errorOccurred, &loop,
                   [&](QMediaPlayer::Error error, const QString&) {
                     if (error != QMediaPlayer::NoError) finish(QSize());
                   });
  QObject::connect(FVideoWindow->videoSink(), &QVideoSink::videoFrameChanged, &loop,
                   [&](const QVideoFrame& frame) {
                     if (frame.isValid() && !frame.size().isEmpty()) finish(frame.size());
                   });
  QTimer timeout;
  timeout.setSingleShot(true);
  QObject::connect(&timeout, &QTimer::timeout, &loop, [&] { finish(QSize()); });

  timeout.start(kBuildTimeoutMs);
  player->setSource(QUrl::fromLocalFile(info.absoluteFilePath()));
  if (!done) loop.exec(QEventLoop::ExcludeUserInputEvents);
  if (size.isEmpty()) return false;

  FVideoWindow->resize(size);
  VideoHeight = size.height();
  VideoWidth = size.width();
  return true;
}

void TVideoViewer::Release() {
  if (Graph) {
    Graph->stop();
    Graph->setVideoOutput(nullptr);
  }
  delete FVideoWindow.data();
  Graph.reset();
  Audio.reset();
  VideoHeight = 0;
  VideoWidth = 0;
}

void TVideoViewer::Play() {
  if (Graph) Graph->play();
}

void TVideoViewer::Pause() {
  if (Graph) Graph->pause();
}

void TVideoViewer::Stop() {
  if (!Graph) return;
  Graph->setPosition(0);
  if (Owner) Owner->repaint();
  Graph->stop();
}

void TVideoViewer::SetVideoWidth(int width) {
  if (Graph && FVideoWindow) FVideoWindow->resize(std::max(width, 0), FVideoWindow->height());
}

void TVideoViewer::SetVideoHeight(int height) {
  if (Graph && FVideoWindow) FVideoWindow->resize(FVideoWindow->width(), std::max(height, 0));
}

}  // namespace vedalia
