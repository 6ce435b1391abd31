#pragma once
// Plays one video file inside a given window: the video output becomes a child at the window's
// top left with the video's own size. Every operation is harmless when the file could not be
// played; the sizes then stay 0.

#include <QPointer>
#include <QString>
#include <QVideoWidget>
#include <memory>

class QAudioOutput;
class QMediaPlayer;
class QWidget;

namespace vedalia {

class TVideoViewer {
 public:
  // Builds the playback pipeline for `filePath` and embeds its output in `owner`. Waits a
  // bounded time for the first picture, which gives the size; never throws for a bad file.
  TVideoViewer(QWidget* owner, const QString& filePath);
  ~TVideoViewer();
  TVideoViewer(const TVideoViewer&) = delete;
  TVideoViewer& operator=(const TVideoViewer&) = delete;

  // Size of the video output after building; 0 when the file could not be rendered.
  int VideoHeight = 0;
  int VideoWidth = 0;

  void Play();
  void Pause();
  // Back to the first picture; the owner window is repainted at once.
  void Stop();
  void SetVideoWidth(int width);
  void SetVideoHeight(int height);

  // True when the pipeline was built (the operations above act).
  bool IsBuilt() const { return Graph != nullptr; }
  // The pipeline and the video output, for the window and for checks; null when not built.
  QMediaPlayer* MediaControl() const { return Graph.get(); }
  QVideoWidget* VideoWindow() const { return FVideoWindow.data(); }

  // How long building waits for the framework before giving up on a file.
  static constexpr int kBuildTimeoutMs = 8000;

 private:
  bool Build(QWidget* owner, const QString& filePath);
  void Release();

  // Declared before the pipeline so that it outlives it.
  std::unique_ptr<QAudioOutput> Audio;
  std::unique_ptr<QMediaPlayer> Graph;
  // Child of the owner window; the owner may delete it first.
  QPointer<QVideoWidget> FVideoWindow;
  QPointer<QWidget> Owner;
};

}  // namespace vedalia
