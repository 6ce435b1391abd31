#include "TestMedia.h"

#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QStringList>
#include <QTemporaryDir>

#include <dlfcn.h>
#include <link.h>

namespace vedalia::test {

namespace {

QString RunPipeline(const QString& pipeline) {
  const QString tool = QStandardPaths::findExecutable(QStringLiteral("gst-launch-1.0"));
  if (tool.isEmpty()) return QStringLiteral("gst-launch-1.0 is not installed");
  QProcess process;
  process.setProcessChannelMode(QProcess::MergedChannels);
  process.start(tool, QStringList{QStringLiteral("-q")} + QProcess::splitCommand(pipeline));
  if (!process.waitForFinished(60000)) {
    process.kill();
    process.waitForFinished(5000);
    return QStringLiteral("timed out: ") + pipeline;
  }
  if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
    return pipeline + QStringLiteral(": ") + QString::fromLocal8Bit(process.readAll());
  return {};
}

QString MjpegVideo(const QString& path, int buffers) {
  return QStringLiteral(
             "videotestsrc pattern=ball num-buffers=%1 ! "
             "video/x-raw,width=320,height=240,framerate=25/1 ! jpegenc ! avimux ! "
             "filesink location=%2")
      .arg(buffers)
      .arg(path);
}

bool WriteBytes(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

TTestMedia Make() {
  static QTemporaryDir dir;
  TTestMedia media;
  if (!dir.isValid()) {
    media.Error = QStringLiteral("no temporary folder");
    return media;
  }
  media.Dir = dir.path() + QLatin1Char('/');
  media.ShortVideo = media.Dir + QStringLiteral("short.avi");
  media.LongVideo = media.Dir + QStringLiteral("long.avi");
  media.WithSound = media.Dir + QStringLiteral("sound.avi");
  media.AudioOnly = media.Dir + QStringLiteral("audio.avi");
  media.Wave = media.Dir + QStringLiteral("audio.wav");
  media.RandomBytes = media.Dir + QStringLiteral("random.avi");
  media.Truncated = media.Dir + QStringLiteral("truncated.avi");
  media.Empty = media.Dir + QStringLiteral("empty.avi");

  const QStringList pipelines{
      MjpegVideo(media.ShortVideo, 50),
      MjpegVideo(media.LongVideo, 300),
      QStringLiteral("videotestsrc num-buffers=50 ! "
                     "video/x-raw,width=320,height=240,framerate=25/1 ! jpegenc ! mux. "
                     "audiotestsrc num-buffers=90 ! audioconvert ! avimux name=mux ! "
                     "filesink location=%1")
          .arg(media.WithSound),
      QStringLiteral("audiotestsrc num-buffers=50 ! audioconvert ! avimux ! filesink location=%1")
          .arg(media.AudioOnly),
      QStringLiteral("audiotestsrc num-buffers=50 ! wavenc ! filesink location=%1").arg(media.Wave),
  };
  for (const QString& pipeline : pipelines) {
    media.Error = RunPipeline(pipeline);
    if (!media.Error.isEmpty()) return media;
  }

  QByteArray noise(20000, '\0');
  QRandomGenerator generator(20261209);
  for (char& byte : noise) byte = static_cast<char>(generator.bounded(256));
  QFile shortVideo(media.ShortVideo);
  if (!shortVideo.open(QIODevice::ReadOnly) || !WriteBytes(media.RandomBytes, noise) ||
      !WriteBytes(media.Truncated, shortVideo.read(3000)) || !WriteBytes(media.Empty, {}))
    media.Error = QStringLiteral("cannot write the broken files");
  return media;
}

}  // namespace

int PinLoadedGraphicsDrivers() {
  QStringList drivers;
  dl_iterate_phdr(
      [](dl_phdr_info* info, size_t, void* data) {
        const QString name = QString::fromLocal8Bit(info->dlpi_name);
        if (name.endsWith(QStringLiteral("_dri.so"))) static_cast<QStringList*>(data)->append(name);
        return 0;
      },
      &drivers);
  int pinned = 0;
  for (const QString& driver : drivers) {
    if (dlopen(driver.toLocal8Bit().constData(), RTLD_LAZY | RTLD_NOLOAD | RTLD_NODELETE) !=
        nullptr)
      ++pinned;
  }
  return pinned;
}

const TTestMedia& TestMedia() {
  static const TTestMedia media = Make();
  return media;
}

}  // namespace vedalia::test
