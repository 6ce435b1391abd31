#pragma once
// Media files made for the video tests with GStreamer's command-line tool, once per run.

#include <QString>

namespace vedalia::test {

struct TTestMedia {
  QString Dir;          // ends with "/"
  QString ShortVideo;   // 320x240 MJPEG AVI, 2 s
  QString LongVideo;    // 320x240 MJPEG AVI, 12 s, for playback control
  QString WithSound;    // 320x240 MJPEG AVI with a sound track, 2 s
  QString AudioOnly;    // AVI with only a sound track
  QString Wave;         // WAV sound
  QString RandomBytes;  // random bytes named .avi
  QString Truncated;    // the first 3000 bytes of ShortVideo
  QString Empty;        // zero bytes named .avi
  QString Error;        // why the files could not be made; empty when they were
};

// Makes the files on first use; later calls return the same set.
const TTestMedia& TestMedia();

// The software GL driver that shows the video is unloaded as soon as its last context goes,
// before the leak checker runs, and its own leaks can then no longer be told apart by module.
// Marks every loaded GL driver as never to be unloaded; loads nothing. Returns how many.
int PinLoadedGraphicsDrivers();

}  // namespace vedalia::test
