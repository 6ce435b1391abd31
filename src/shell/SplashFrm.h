#pragma once
// The splash window shown while the main window is built and the database is probed:
// borderless, centred, one picture over the whole client area, and a one-shot timer whose
// firing marks the earliest moment the splash may go.

#include <QPixmap>
#include <QTimer>
#include <QWidget>

namespace vedalia {

class TSplashForm : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kClientWidth = 256;
  static constexpr int kClientHeight = 186;

  explicit TSplashForm(int timerMilliseconds = 2000, QWidget* parent = nullptr);

  // True once the timer has fired (it is then disabled).
  bool TimerFired() const { return !Timer.isActive(); }
  // The picture shown (drawn at the picture's design size, stretched over the client area).
  const QPixmap& Splash() const { return picture; }

  // The splash artwork, 248 x 181.
  static QPixmap DrawSplashPicture();

 protected:
  void paintEvent(QPaintEvent* event) override;

 private slots:
  void TimerTimer();

 private:
  QTimer Timer;
  QPixmap picture;
};

}  // namespace vedalia
